// SDL system driver: real clock and sleep, real process starts, and the message box, which falls
// back to standard error where no box can be shown (no display, or SDL's dummy video driver, with
// which a box would block on X while DISPLAY is set). The box draws a tab as a glyph, so the
// text's tab runs are laid out with spaces first (sdl_box_text).
// Relies on: SDL2, spawn.h.
#include <SDL.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#include "runtime/platform/sdl/sdl_service.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/instance.h"
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
    if (can_show_box() &&
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, sdl_box_text(text).c_str(), nullptr) == 0)
        return 1;
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return 1;
}
// Characters of a UTF-8 text: the box's font gives each the same width.
size_t columns(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}
}  // namespace

// A line "label<tabs>value" becomes the label padded with spaces to the column two past the
// longest label of the text, then the value: the values of one message stand one under the other
// whatever number of tabs each label was given. Tabs after the first run become one space.
std::string sdl_box_text(const char* text) {
    std::vector<std::string> lines;
    for (const char* p = text ? text : "";;) {
        const char* end = std::strchr(p, '\n');
        lines.emplace_back(p, end ? size_t(end - p) : std::strlen(p));
        if (!end) break;
        p = end + 1;
    }
    size_t column = 0;
    for (const std::string& line : lines) {
        size_t tab = line.find('\t');
        if (tab != std::string::npos) column = std::max(column, columns(line.substr(0, tab)) + 2);
    }
    std::string out;
    for (size_t i = 0; i < lines.size(); i++) {
        std::string line = lines[i];
        size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            size_t value = line.find_first_not_of('\t', tab);
            std::string rest = value == std::string::npos ? std::string() : line.substr(value);
            for (char& c : rest) c = c == '\t' ? ' ' : c;
            line = line.substr(0, tab);
            line.append(column - columns(line), ' ');
            line += rest;
        }
        out += line;
        if (i + 1 < lines.size()) out += '\n';
    }
    return out;
}

extern const SystemDriver sdl_system_driver;
const SystemDriver sdl_system_driver = {tick_count, sleep_ms, message_box, spawn_program, spawn_shell, nullptr,
                                           instance_claim_for_process, nullptr, nullptr};
