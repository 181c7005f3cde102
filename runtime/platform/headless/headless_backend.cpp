// The headless backend: every driver that keeps its output for tests.
// Relies on: the headless drivers beside this file.
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/d3d/video_driver.h"

extern const SystemDriver headless_system_driver;
extern const InputDriver headless_input_driver;
extern const AudioDriver headless_audio_driver;

const PlatformBackend headless_backend = {
    "headless",
    &headless_system_driver,
    &headless_video_driver,
    &headless_input_driver,
    &headless_audio_driver,
};
