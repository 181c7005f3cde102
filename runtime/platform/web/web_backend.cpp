// The browser backend: the drivers the page runs on (one thread; the program waits for the
// browser under ASYNCIFY). Relies on: the web drivers beside this file.
#include "runtime/platform/system/backend.h"
#include "runtime/platform/web/web_page.h"

extern const SystemDriver web_system_driver;
extern const VideoDriver web_video_driver;
extern const InputDriver web_input_driver;
extern const AudioDriver web_audio_driver;

const PlatformBackend web_backend = {
    "web",
    &web_system_driver,
    &web_video_driver,
    &web_input_driver,
    &web_audio_driver,
};
