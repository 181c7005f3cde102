// Stand-in for the DirectSound calls the sound library makes: the DirectSound object with its
// cooperative level and primary buffer, static secondary buffers made from a WAVE format and a
// byte size (PCM, 8 or 16 bits, mono or stereo, any rate from 100 to 200000 Hz), lock and
// unlock, play once or looped, stop, position, status, duplicates sharing the samples, and
// frequency, volume and pan controls. A mixer plays every playing buffer into the backend's
// audio device, resampled to the device rate, in the device's callback; the buffers' shared
// state is guarded by the object's lock.
// Relies on: audio_driver.h, backend.h, system.h (window handles).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/platform/audio/audio_driver.h"
#include "runtime/platform/system/system.h"

using DsResult = int32_t;
constexpr DsResult DS_OK = 0;
constexpr DsResult DSERR_OUTOFMEMORY = int32_t(0x8007000E);
constexpr DsResult DSERR_INVALIDPARAM = int32_t(0x80070057);
constexpr DsResult DSERR_ALLOCATED = int32_t(0x8878000A);
constexpr DsResult DSERR_CONTROLUNAVAIL = int32_t(0x8878001E);
constexpr DsResult DSERR_INVALIDCALL = int32_t(0x88780032);
constexpr DsResult DSERR_PRIOLEVELNEEDED = int32_t(0x88780046);
constexpr DsResult DSERR_BADFORMAT = int32_t(0x88780064);
constexpr DsResult DSERR_NODRIVER = int32_t(0x88780078);

constexpr uint32_t DSSCL_NORMAL = 1;
constexpr uint32_t DSSCL_PRIORITY = 2;
constexpr uint32_t DSSCL_EXCLUSIVE = 3;
constexpr uint32_t DSSCL_WRITEPRIMARY = 4;

constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x00001;
constexpr uint32_t DSBCAPS_STATIC = 0x00002;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x00020;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x00040;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x00080;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x08000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

constexpr uint32_t DSBPLAY_LOOPING = 1;
constexpr uint32_t DSBSTATUS_PLAYING = 1;
constexpr uint32_t DSBSTATUS_LOOPING = 4;
constexpr uint32_t DSBLOCK_ENTIREBUFFER = 2;

constexpr int32_t DSBVOLUME_MIN = -10000;  // silence
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_RIGHT = 10000;
constexpr uint32_t DSBFREQUENCY_ORIGINAL = 0;
constexpr uint32_t DSBFREQUENCY_MIN = 100;
constexpr uint32_t DSBFREQUENCY_MAX = 200000;
constexpr uint32_t DSBSIZE_MIN = 4;
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFF;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
// The size the interface declares for DSBUFFERDESC (its 32-bit layout): callers write it, the
// stand-in checks it.
constexpr uint32_t DSBUFFERDESC_SIZE = 36;

struct WaveFormatEx {
    uint16_t format_tag;
    uint16_t channels;
    uint32_t samples_per_sec;
    uint32_t avg_bytes_per_sec;
    uint16_t block_align;
    uint16_t bits_per_sample;
    uint16_t extra_size;  // bytes of extra format data after the record (0 for PCM)
};

struct DsBufferDesc {
    uint32_t size;  // DSBUFFERDESC_SIZE
    uint32_t flags;
    uint32_t buffer_bytes;  // 0 for the primary buffer
    uint32_t reserved;
    const WaveFormatEx* format;  // null for the primary buffer
};

struct DsBufferData;
struct DirectSound;

// IDirectSoundBuffer.
struct DirectSoundBuffer {
    DsResult lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2, uint32_t* bytes2,
                  uint32_t flags);
    DsResult unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
    DsResult play(uint32_t reserved, uint32_t priority, uint32_t flags);
    DsResult stop();
    DsResult set_current_position(uint32_t byte_offset);
    DsResult get_current_position(uint32_t* play_cursor, uint32_t* write_cursor);
    DsResult get_status(uint32_t* status);
    DsResult set_frequency(uint32_t hz);
    DsResult get_frequency(uint32_t* hz);
    DsResult set_volume(int32_t hundredths_db);
    DsResult get_volume(int32_t* hundredths_db);
    DsResult set_pan(int32_t pan);
    DsResult get_pan(int32_t* pan);
    uint32_t release();

    DsBufferData* d;  // private to the stand-in
};

struct DsObjectData;

// IDirectSound.
struct DirectSound {
    DsResult set_cooperative_level(WindowHandle window, uint32_t level);
    DsResult create_sound_buffer(const DsBufferDesc* desc, DirectSoundBuffer** buffer, void* outer);
    DsResult duplicate_sound_buffer(DirectSoundBuffer* original, DirectSoundBuffer** duplicate);
    // The last release closes the device and frees any buffer still alive.
    uint32_t release();

    DsObjectData* d;  // private to the stand-in
};

// DirectSoundCreate on the default device: fails when the backend has no audio driver or its
// device cannot be opened (as a missing DSOUND.DLL or sound card would), or when an object
// exists already.
DsResult direct_sound_create(const void* device_guid, DirectSound** out, void* outer);

// The mixer step on its own, for benchmarks and tests: mixes frames of every playing buffer of
// the object into out as the device callback does.
void direct_sound_mix(DirectSound* object, int16_t* out, int32_t frames);
