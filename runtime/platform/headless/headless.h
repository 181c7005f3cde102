// The headless backend's controls for tests: what the program asked of the system (message boxes,
// process starts) is recorded instead of shown or started, and the clock only moves when the
// program sleeps or a test advances it. Each driver of the backend adds its own controls beside
// this file.
// Relies on: backend.h.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform/system/backend.h"

struct HeadlessMessageBox {
    std::string caption;
    std::string text;
    bool screen_open;  // whether the full-screen display was open when the box showed
};

struct HeadlessProcessStart {
    std::string program;         // program path, or the file given to the shell
    std::string working_folder;  // empty: the caller's
    bool through_shell;
    uint32_t clock_ms;  // the virtual clock when it was asked for
};

struct HeadlessSystem {
    uint32_t clock_ms = 0;
    std::vector<HeadlessMessageBox> message_boxes;
    std::vector<HeadlessProcessStart> process_starts;
    int spawn_result = 1;  // what a direct start answers (0 forces the shell fallback)
    int shell_result = 1;
    std::function<void()> on_message_box;  // called while a message box shows
};

HeadlessSystem& headless_system();
void headless_system_reset();
void headless_advance_clock(uint32_t ms);
