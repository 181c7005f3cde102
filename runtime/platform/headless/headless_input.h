// Test controls of the headless input driver: tests push key and mouse events between frames
// (the devices take them at their next read), switch the window's focus and decide whether the
// exclusive pointer capture is granted (a refused capture stands for another program, such as the
// ending old instance after a restart, still holding the pointer).
// Relies on: input_driver.h.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/platform/input/input_driver.h"

struct HeadlessInput {
    std::vector<InputEvent> pending;
    bool focus = true;
    bool capture_granted = true;
    bool captured = false;
    int open_count = 0;
    int capture_requests = 0;  // every set_capture(1), granted or not
};

HeadlessInput& headless_input();
void headless_input_reset();

void headless_input_key(uint8_t scan_code, bool down);
void headless_input_motion(int32_t dx, int32_t dy);
void headless_input_wheel(int32_t amount);
void headless_input_button(int button, bool down);  // 0 left, 1 right, 2 middle
// Losing the focus releases the held keys, as the window system does.
void headless_input_set_focus(bool focus);
