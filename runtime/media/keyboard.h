// Keyboard input: the DirectInput object shared with the mouse, and the system keyboard read as a
// 256-key snapshot once per frame, with release reports that come exactly once per release.
// Key codes are DirectInput scan codes (1 Escape, 59-68 F1-F10, 87 F11, 88 F12).
// Relies on: the DirectInput stand-in, the display (the window the keyboard is read for),
// the object heap (the data-format table).
#pragma once
#include <cstdint>

#include "runtime/platform/input/dinput.h"

// The DirectInput object the keyboard and the mouse share.
struct DInputState {
    const InputDriver* dinput_library;  // the backend's input driver, taken on first use
    DirectInput* dinput;                // null if creation failed
    int32_t dinput_users;               // dinput_open calls not yet matched by dinput_release
};
extern DInputState dinput_state;

struct KeyboardState {
    int32_t initialised;  // key_init was called (also when it failed)
    DirectInputDevice* device;
    int32_t stage;  // 0 no device; 1 level and acquisition to do; 2 acquired and readable
    uint8_t keys[256];  // last snapshot; bit 7 set = key down
    uint8_t held[256];  // 1 if the last query of the key (or of any key) saw it down
    DiObjectDataFormat* format_objects;  // the data-format table, from the object heap
};
extern KeyboardState keyboard_state;

DirectInput* dinput_open();
void dinput_release();

int key_init();
int key_examine();
int key_released(int32_t code);  // code -1: any key
void key_release();
