// Web audio driver: a WebAudio context at 44100 Hz whose script processor asks the mixer for each
// block as it plays (web_page.js calls web_audio_pull between the program's frames: the page has
// one thread, and the program is waiting for the browser whenever the processor runs). While the
// page is hidden the context is suspended: no sound, and the mixer is not asked. Browsers start
// sound only after the player's first gesture on the page; until then the context waits.
// Relies on: emscripten (EM_JS, EMSCRIPTEN_KEEPALIVE), the page's script (web_page.js), audio_driver.h.
#include <emscripten.h>

#include <cstdint>
#include <vector>

#include "runtime/platform/audio/audio_driver.h"

EM_JS(int, web_audio_open, (), { return Module.tarnwoodAudio.open(); });
EM_JS(void, web_audio_close, (), { Module.tarnwoodAudio.close(); });

namespace {
AudioMixCallback mix = nullptr;
void* mix_context = nullptr;
std::vector<int16_t> block;

int open(AudioMixCallback callback, void* context, int32_t* rate) {
    if (mix || !callback || !rate) return 0;
    mix = callback;
    mix_context = context;
    int opened_rate = web_audio_open();
    if (opened_rate <= 0) {
        mix = nullptr;
        mix_context = nullptr;
        return 0;
    }
    *rate = opened_rate;
    return 1;
}

void close() {
    if (!mix) return;
    web_audio_close();  // the processor is disconnected: no pull comes after this
    mix = nullptr;
    mix_context = nullptr;
    block.clear();
    block.shrink_to_fit();
}
}  // namespace

// The next `frames` stereo frames of the mix (silence when no device is open), for the page.
extern "C" EMSCRIPTEN_KEEPALIVE int16_t* web_audio_pull(int32_t frames) {
    if (frames <= 0) return nullptr;
    block.assign(size_t(frames) * 2, 0);
    if (mix) mix(mix_context, block.data(), frames);
    return block.data();
}

extern const AudioDriver web_audio_driver;
const AudioDriver web_audio_driver = {open, close};
