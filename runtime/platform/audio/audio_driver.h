// The audio driver: the output device under the DirectSound stand-in. The device plays 16-bit
// stereo at the rate it reports and asks for sound through a callback, which the SDL driver calls
// on SDL's audio thread and the headless driver calls when a test pulls samples. The runtime
// starts no thread of its own.
// Relies on: backend.h (the record hangs off PlatformBackend).
#pragma once
#include <cstdint>

// Fills frames interleaved left/right 16-bit frames at out.
using AudioMixCallback = void (*)(void* context, int16_t* out, int32_t frames);

struct AudioDriver {
    // Opens the default output device and starts calling back; *rate receives its frame rate.
    // 1 on success, 0 when no device can be opened. One device at a time.
    int (*open)(AudioMixCallback callback, void* context, int32_t* rate);
    // Stops the callbacks (none runs after it returns) and closes the device.
    void (*close)();
};
