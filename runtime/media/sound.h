// Sound playback: RIFF/WAVE images loaded from memory into DirectSound buffers under a sound
// number, played once or looped, extra overlapping copies on request, stopped and rewound, freed
// by number or all at shutdown.
// Relies on: the DirectSound stand-in, the registry (sound table, copy lists), the display (the
// window given to the cooperative level).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/foundation/registry.h"
#include "runtime/platform/audio/dsound.h"

constexpr int32_t SOUND_LOOP = 1;        // repeat until stopped
constexpr int32_t SOUND_EXTRA_COPY = 2;  // play a new copy beside those playing

struct SoundRecord {
    DirectSoundBuffer* buffer;  // first field: non-zero while the sound exists
    ListNode* copies;           // payload of each node: one duplicated DirectSoundBuffer*
    int32_t pan;
    uint32_t frequency;
    int32_t volume;
};

struct SoundState {
    ObjectTable* sounds;
    const AudioDriver* library;  // the backend's audio driver, taken at initialisation
    DirectSound* dsound;
    DirectSoundBuffer* primary;
    WindowHandle window;
};
extern SoundState sound_state;

int sound_init();
// data/size: a RIFF/WAVE image and its length in bytes. Returns the buffer for a given number,
// the record's address for AUTO_NUMBER, 0 on failure (nothing is read outside data[0, size)).
intptr_t sound_load_from_memory(intptr_t number, const void* data, size_t size);
// Returns 1 / 0 without SOUND_EXTRA_COPY, else the new copy's id (0 on failure).
intptr_t sound_play(intptr_t number, int32_t flags);
// copy: 0 the sound's own buffer, -1 the buffer and every copy, else a copy id. number -1: every
// sound's own buffer. Returns 1 if the sound exists.
int sound_stop(intptr_t number, intptr_t copy = 0);
int sound_free(intptr_t number);
void sound_shutdown();
