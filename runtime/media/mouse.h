// Mouse input: the system mouse read through DirectInput in exclusive, buffered mode. Once per
// frame the buffered movement and button events fold into a position that the runtime keeps
// itself, clamped to the open screen, and into three button states.
// Relies on: keyboard.h (the shared DirectInput object), the display (window, size, activity).
#pragma once
#include <cstdint>

#include "runtime/platform/input/dinput.h"

constexpr int MOUSE_EVENT_BUFFER = 24;

struct MouseState {
    int32_t initialised;  // mouse_init was called (also when it failed)
    DirectInputDevice* device;
    int32_t stage;  // 0 no device; 1 level, buffer size and acquisition to do; 2 acquired
    int32_t x, y;
    int32_t dx, dy;
    int32_t wheel;
    int32_t button1, button2, button3;  // left, right, middle
    DiDeviceObjectData events[MOUSE_EVENT_BUFFER];
};
extern MouseState mouse_state;

int mouse_init();
int mouse_examine();
int32_t mouse_x();
int32_t mouse_y();
int32_t mouse_button(int32_t n);  // 1 left, 2 right, 3 middle
void mouse_set_position(int32_t x, int32_t y);
void mouse_release();
// For the display's window procedure: on deactivation the mouse device gives up the pointer.
void mouse_unacquire();
