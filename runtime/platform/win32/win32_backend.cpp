// The Windows backend: the drivers the program runs on under Windows.
// Relies on: the win32 drivers beside this file.
#include "runtime/platform/system/backend.h"

extern const SystemDriver win32_system_driver;
extern const VideoDriver win32_video_driver;
extern const InputDriver win32_input_driver;
extern const AudioDriver win32_audio_driver;

extern const PlatformBackend win32_backend;
const PlatformBackend win32_backend = {
    "win32",
    &win32_system_driver,
    &win32_video_driver,
    &win32_input_driver,
    &win32_audio_driver,
};
