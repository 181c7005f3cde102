// Fuzz target for the WAVE loader: any bytes as a sound image. What loads is also played looped
// through the mixer for a moment, so odd formats and sizes reach the resampler too.
// Relies on: sound.h on the headless backend (its audio is pulled here).
#include <cstddef>
#include <cstdint>

#include "runtime/foundation/heap.h"
#include "runtime/media/sound.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        platform_use_backend(&headless_backend);
        runtime_heap = heap_create(4096, true);
        return sound_init() != 0;
    }();
    if (!ready) return 0;
    if (sound_load_from_memory(1, data, size)) {
        sound_play(1, SOUND_LOOP);
        sound_play(1, SOUND_EXTRA_COPY);
        headless_audio_pull(300);
        sound_free(1);
    }
    return 0;
}
