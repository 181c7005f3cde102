// The input driver: what a backend gives the DirectInput stand-in. Key events already carry
// DirectInput keyboard scan codes, mouse events are relative motion, wheel steps and buttons in
// DirectInput's order (0 left, 1 right, 2 middle, 3 fourth). The driver takes only key and mouse
// events from the platform, oldest first, so that the display's message pump keeps its own.
// Relies on: backend.h (the record hangs off PlatformBackend).
#pragma once
#include <cstdint>

enum InputEventKind : uint8_t {
    INPUT_KEY_DOWN,
    INPUT_KEY_UP,
    INPUT_MOUSE_MOTION,   // dx, dy in mickeys (relative pixels)
    INPUT_MOUSE_WHEEL,    // dx = wheel movement, 120 per notch, positive away from the user
    INPUT_BUTTON_DOWN,    // code = button 0..3
    INPUT_BUTTON_UP,
};

struct InputEvent {
    InputEventKind kind;
    uint8_t code;  // scan code for keys, button number for buttons
    int32_t dx, dy;
    uint32_t time_ms;
};

struct InputDriver {
    // Starts the event source for the devices; 1 on success. Balanced by close.
    int (*open)();
    void (*close)();
    // Takes the pending key and mouse events (up to capacity); returns how many were written.
    int (*read_events)(InputEvent* out, int capacity);
    // Whether the program's window has the input focus (the foreground, for DirectInput).
    int (*has_focus)();
    // Exclusive capture of the pointer (on: 1) or its release (0); 1 on success.
    int (*set_capture)(int on);
};
