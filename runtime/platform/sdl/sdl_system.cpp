// SDL system driver: real clock and sleep, real process starts, and the message box, which falls
// back to standard error where no box can be shown (no display, or SDL's dummy video driver, with
// which a box would block on X while DISPLAY is set).
// Relies on: SDL2, spawn.h.
#include <SDL.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/spawn.h"

namespace {
uint32_t tick_count() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void sleep_ms(uint32_t ms) {
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

bool can_show_box() {
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0)) return false;
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

int message_box(const char* caption, const char* text) {
    if (can_show_box() && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text, nullptr) == 0) return 1;
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return 1;
}
}  // namespace

extern const SystemDriver sdl_system_driver;
const SystemDriver sdl_system_driver = {tick_count, sleep_ms, message_box, spawn_program, spawn_shell, nullptr, nullptr};
