// Headless system driver: recorded message boxes and process starts, a virtual clock.
// Relies on: headless.h.
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_video.h"

namespace {
HeadlessSystem state;

uint32_t tick_count() { return state.clock_ms; }
void sleep_ms(uint32_t ms) { state.clock_ms += ms; }

int message_box(const char* caption, const char* text) {
    if (state.on_message_box) state.on_message_box();
    state.message_boxes.push_back({caption ? caption : "", text ? text : "", headless_video().screen_opened});
    return 1;
}

int spawn(const char* program, const char* folder) {
    state.process_starts.push_back({program ? program : "", folder ? folder : "", false, state.clock_ms});
    return state.spawn_result;
}

int shell_spawn(const char* file, const char* folder) {
    state.process_starts.push_back({file ? file : "", folder ? folder : "", true, state.clock_ms});
    return state.shell_result;
}
}  // namespace

extern const SystemDriver headless_system_driver;
const SystemDriver headless_system_driver = {tick_count, sleep_ms, message_box, spawn, shell_spawn, nullptr, nullptr, nullptr, nullptr};

HeadlessSystem& headless_system() { return state; }

void headless_system_reset() { state = HeadlessSystem(); }

void headless_advance_clock(uint32_t ms) { state.clock_ms += ms; }
