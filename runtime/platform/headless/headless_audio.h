// Test controls of the headless audio driver: no sound card, the mixer runs when a test pulls
// samples, so every test hears exactly the same frames. A test can also refuse the device.
// Relies on: audio_driver.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/platform/audio/audio_driver.h"

struct HeadlessAudio {
    bool open_allowed = true;  // false: the device cannot be opened
    int32_t rate = 44100;
    bool open = false;
    AudioMixCallback callback = nullptr;
    void* context = nullptr;
};

HeadlessAudio& headless_audio();
void headless_audio_reset();
// Runs the device callback for frames stereo frames (silence when no device is open).
std::vector<int16_t> headless_audio_pull(int32_t frames);
