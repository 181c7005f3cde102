// The headless backend: every driver that keeps its output for tests.
// Relies on: the headless drivers beside this file.
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/d3d/video_driver.h"

extern const SystemDriver headless_system_driver;

const PlatformBackend headless_backend = {
    "headless",
    &headless_system_driver,
    &headless_video_driver,
    nullptr,  // input
    nullptr,  // audio
};
