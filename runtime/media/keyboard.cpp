// The keyboard snapshot and the shared DirectInput object.
// Relies on: keyboard.h, display.h (screen_window), registry.h (obj_alloc/obj_free).
#include "runtime/media/keyboard.h"

#include <cstring>

#include "runtime/foundation/registry.h"
#include "runtime/media/display.h"
#include "runtime/platform/system/backend.h"

DInputState dinput_state = {};
KeyboardState keyboard_state = {};

namespace {
constexpr uint32_t kKeyboardLevel = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY;  // 0x16
}

DirectInput* dinput_open() {
    if (!dinput_state.dinput) {
        dinput_state.dinput_library = platform_backend()->input;
        if (dinput_state.dinput_library) direct_input_create_ex(DIRECTINPUT_VERSION_7, &dinput_state.dinput);
    }
    dinput_state.dinput_users++;
    return dinput_state.dinput;
}

void dinput_release() {
    dinput_state.dinput_users--;
    if (dinput_state.dinput && dinput_state.dinput_users == 0) {
        dinput_state.dinput->release();
        dinput_state.dinput = nullptr;
        dinput_state.dinput_library = nullptr;
    }
    if (dinput_state.dinput_users <= 0) dinput_state = {};
}

int key_init() {
    KeyboardState& k = keyboard_state;
    DirectInput* dinput = dinput_open();
    k.initialised = 1;
    if (!dinput) return 0;
    if (k.stage != 0) return 1;

    // The standard keyboard layout: key i reports in byte i of the 256-byte state.
    if (!k.format_objects)
        k.format_objects = static_cast<DiObjectDataFormat*>(obj_alloc(256 * sizeof(DiObjectDataFormat), nullptr));
    if (!k.format_objects) return 0;
    for (uint32_t i = 0; i < 256; i++)
        k.format_objects[i] = {&GUID_Key, i, DIDFT_OPTIONAL | DIDFT_BUTTON | (i << 8), 0};
    DiDataFormat format = {DIDATAFORMAT_SIZE, DIOBJECTDATAFORMAT_SIZE, DIDF_RELAXIS, 256, 256, k.format_objects};

    if (dinput->create_device_ex(GUID_SysKeyboard, &k.device, nullptr) != DI_OK) {
        k.device = nullptr;
        return 0;
    }
    if (k.device->set_data_format(&format) != DI_OK) return 0;
    k.stage = 1;
    return 1;
}

int key_examine() {
    KeyboardState& k = keyboard_state;
    if (!k.device) return 0;
    if (k.stage == 1) {
        // The window exists only once the screen is open, after key_init; results are not
        // checked: a failed acquisition shows up as a failed read below.
        k.device->set_cooperative_level(display_state.screen_window, kKeyboardLevel);
        k.device->acquire();
        k.stage = 2;
    }
    if (k.device->get_device_state(sizeof k.keys, k.keys) != DI_OK) {
        k.stage = 1;  // lost the foreground: set the level and acquire again next time
        return 0;
    }
    return 1;
}

int key_released(int32_t code) {
    KeyboardState& k = keyboard_state;
    if (k.stage != 2) return 0;
    if (code == -1) {
        int released = 0;
        for (int key = 0; key < 255; key++) {  // 255 is not scanned
            if (k.keys[key] & 0x80) {
                k.held[key] = 1;
            } else if (k.held[key]) {
                k.held[key] = 0;
                released = 1;
            }
        }
        return released;
    }
    if (code < 0 || code > 255) return 0;
    if (k.keys[code] & 0x80) {
        k.held[code] = 1;
        return 0;
    }
    if (k.held[code]) {
        k.held[code] = 0;
        return 1;
    }
    return 0;
}

void key_release() {
    KeyboardState& k = keyboard_state;
    if (!k.initialised) return;
    if (k.device) {
        k.device->unacquire();
        k.device->release();
        k.device = nullptr;
    }
    dinput_release();
    obj_free(k.format_objects);
    k = {};
}
