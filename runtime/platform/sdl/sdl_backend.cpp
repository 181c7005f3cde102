// The SDL backend: the drivers the real program runs on.
// Relies on: the SDL drivers beside this file.
#include "runtime/platform/system/backend.h"

extern const SystemDriver sdl_system_driver;
extern const VideoDriver sdl_video_driver;
extern const InputDriver sdl_input_driver;
extern const AudioDriver sdl_audio_driver;

extern const PlatformBackend sdl_backend;
const PlatformBackend sdl_backend = {
    "sdl",
    &sdl_system_driver,
    &sdl_video_driver,
    &sdl_input_driver,
    &sdl_audio_driver,
};
