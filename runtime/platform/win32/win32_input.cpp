// The Windows input driver: the key and mouse events the backend's window procedure queued
// (scan codes, Raw Input motion, buttons, wheel), the window's focus, and the pointer capture:
// hidden and confined to the window while captured, free again on release.
// Relies on: user32, win32_window.h, input_driver.h.
#include <windows.h>

#include "runtime/platform/input/input_driver.h"
#include "runtime/platform/win32/win32_window.h"

namespace {
int open_count = 0;

int open() {
    ++open_count;
    return 1;
}

void release_capture() {
    Win32WindowState& w = win32_window();
    if (!w.captured) return;
    w.captured = false;
    ClipCursor(nullptr);
}

void close() {
    if (open_count > 0 && --open_count == 0) release_capture();
}

int read_events(InputEvent* out, int capacity) {
    win32_window_pump();
    auto& events = win32_window().input_events;
    int n = 0;
    while (n < capacity && !events.empty()) {
        out[n++] = events.front();
        events.pop_front();
    }
    return n;
}

int has_focus() {
    HWND hwnd = HWND(win32_window().hwnd);
    return hwnd && win32_window().active && GetForegroundWindow() == hwnd;
}

int set_capture(int on) {
    Win32WindowState& w = win32_window();
    HWND hwnd = HWND(w.hwnd);
    if (!on) {
        release_capture();
        return 1;
    }
    if (!hwnd || !has_focus()) return 0;
    RECT r;
    GetClientRect(hwnd, &r);
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    MapWindowPoints(hwnd, nullptr, corners, 2);
    RECT screen = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    if (!ClipCursor(&screen)) return 0;
    w.captured = true;
    w.have_last = false;
    return 1;
}
}  // namespace

extern const InputDriver win32_input_driver;
const InputDriver win32_input_driver = {open, close, read_events, has_focus, set_capture};
