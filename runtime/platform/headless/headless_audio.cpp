// Headless audio driver: the device callback runs on the test's thread when it pulls.
// Relies on: headless_audio.h.
#include "runtime/platform/headless/headless_audio.h"

namespace {
HeadlessAudio state;

int open(AudioMixCallback callback, void* context, int32_t* rate) {
    if (!state.open_allowed || state.open) return 0;
    state.open = true;
    state.callback = callback;
    state.context = context;
    *rate = state.rate;
    return 1;
}

void close() {
    state.open = false;
    state.callback = nullptr;
    state.context = nullptr;
}
}  // namespace

extern const AudioDriver headless_audio_driver;
const AudioDriver headless_audio_driver = {open, close};

HeadlessAudio& headless_audio() { return state; }

void headless_audio_reset() { state = HeadlessAudio(); }

std::vector<int16_t> headless_audio_pull(int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2, 0);
    if (state.open && state.callback && frames > 0) state.callback(state.context, out.data(), frames);
    return out;
}
