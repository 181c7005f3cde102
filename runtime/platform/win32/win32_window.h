// The Windows backend's one real window, shared by its video and input drivers: created hidden
// with the video driver's start, its messages pumped by whoever asks for events. Window events
// (focus, close) queue for the video driver, key and mouse events for the input driver.
// Also the pure pieces of the backend that tests reach: the scan-code folding of key messages,
// the letterbox rectangle and the choice of a display mode.
// Relies on: video_driver.h, input_driver.h (event records); windows.h only in the .cpp files.
#pragma once
#include <cstdint>
#include <deque>

#include "runtime/platform/d3d/video_driver.h"
#include "runtime/platform/input/input_driver.h"

struct Win32Rect {
    int32_t x, y, width, height;
};

// The largest rectangle of the frame's shape centred in the target (whole pixels; bars left and
// right or above and below).
Win32Rect win32_letterbox(int32_t frame_width, int32_t frame_height, int32_t target_width, int32_t target_height);

// A key message's DirectInput scan code: bits 16..23 of lParam, with 0x80 added for extended keys
// (bit 24), as DirectInput numbers the right-hand and cursor-block keys. 0: no key.
uint8_t win32_scan_code(uint32_t lparam);

// The display-mode entry that matches the size and rate asked for (rate 0: the highest one of that
// size), or -1.
struct Win32Mode {
    int32_t width, height, bits, refresh_hz;
};
int win32_choose_mode(const Win32Mode* modes, int count, int32_t width, int32_t height, int32_t bits, int32_t refresh_hz);

// --- the window ---------------------------------------------------------------------------------
struct Win32WindowState {
    void* hwnd;  // HWND
    bool active;
    bool raw_mouse;      // raw input arrives: motion comes from it, not from pointer moves
    bool captured;
    int32_t last_x, last_y;  // pointer position for motion without raw input
    bool have_last;
    // Part of the window lost its picture (uncovered, shown again, activated, resized): the next
    // present draws the whole frame even when it equals the one drawn before.
    bool needs_repaint;
    std::deque<VideoEvent> window_events;
    std::deque<InputEvent> input_events;
};
Win32WindowState& win32_window();

bool win32_window_create();
void win32_window_destroy();
// Dispatches every message waiting for the window's thread.
void win32_window_pump();
// Called by the window procedure on activation changes (the video driver switches modes).
extern void (*win32_on_activate)(bool active);
