// SDL audio driver: the default output device at 44100 Hz, 16-bit stereo; SDL converts when the
// hardware differs, and its audio thread calls the mixer. Without a sound server the device does
// not open and the sound library reports failure; scripts that run without one choose SDL's dummy
// or disk driver through SDL_AUDIODRIVER.
// Relies on: SDL2, sdl_service.h, audio_driver.h.
#include <SDL.h>

#include "runtime/platform/audio/audio_driver.h"
#include "runtime/platform/sdl/sdl_service.h"

namespace {
SDL_AudioDeviceID device = 0;
AudioMixCallback mix = nullptr;
void* mix_context = nullptr;

void SDLCALL fill(void*, Uint8* stream, int length) {
    mix(mix_context, reinterpret_cast<int16_t*>(stream), length / 4);
}

int open(AudioMixCallback callback, void* context, int32_t* rate) {
    if (device || !sdl_service_acquire(SDL_INIT_AUDIO)) return 0;
    mix = callback;
    mix_context = context;
    SDL_AudioSpec want = {};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = fill;
    SDL_AudioSpec have;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device) {
        sdl_service_release(SDL_INIT_AUDIO);
        mix = nullptr;
        mix_context = nullptr;
        return 0;
    }
    *rate = have.freq;
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

void close() {
    if (!device) return;
    SDL_CloseAudioDevice(device);  // waits for a running callback
    device = 0;
    mix = nullptr;
    mix_context = nullptr;
    sdl_service_release(SDL_INIT_AUDIO);
}
}  // namespace

extern const AudioDriver sdl_audio_driver;
const AudioDriver sdl_audio_driver = {open, close};
