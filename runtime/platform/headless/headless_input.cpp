// Headless input driver: a queue of events filled by the tests. Relies on: headless_input.h.
#include "runtime/platform/headless/headless_input.h"

#include <algorithm>

#include "runtime/platform/headless/headless.h"

namespace {
HeadlessInput state;
bool held[256];

void push(InputEventKind kind, uint8_t code, int32_t dx, int32_t dy) {
    state.pending.push_back({kind, code, dx, dy, headless_system().clock_ms});
}

int open() {
    state.open_count++;
    return 1;
}

void close() {
    if (state.open_count > 0) state.open_count--;
}

int read_events(InputEvent* out, int capacity) {
    int n = std::min<int>(capacity, int(state.pending.size()));
    std::copy(state.pending.begin(), state.pending.begin() + n, out);
    state.pending.erase(state.pending.begin(), state.pending.begin() + n);
    return n;
}

int has_focus() { return state.focus; }

int set_capture(int on) {
    if (on) {
        state.capture_requests++;
        if (!state.capture_granted || !state.focus) return 0;
    }
    state.captured = on != 0;
    return 1;
}
}  // namespace

extern const InputDriver headless_input_driver;
const InputDriver headless_input_driver = {open, close, read_events, has_focus, set_capture};

HeadlessInput& headless_input() { return state; }

void headless_input_reset() {
    state = HeadlessInput();
    std::fill(std::begin(held), std::end(held), false);
}

void headless_input_key(uint8_t scan_code, bool down) {
    held[scan_code] = down;
    push(down ? INPUT_KEY_DOWN : INPUT_KEY_UP, scan_code, 0, 0);
}

void headless_input_motion(int32_t dx, int32_t dy) { push(INPUT_MOUSE_MOTION, 0, dx, dy); }

void headless_input_wheel(int32_t amount) { push(INPUT_MOUSE_WHEEL, 0, amount, 0); }

void headless_input_button(int button, bool down) {
    push(down ? INPUT_BUTTON_DOWN : INPUT_BUTTON_UP, uint8_t(button), 0, 0);
}

void headless_input_set_focus(bool focus) {
    if (!focus)
        for (int code = 0; code < 256; code++)
            if (held[code]) headless_input_key(uint8_t(code), false);
    if (!focus) state.captured = false;
    state.focus = focus;
}
