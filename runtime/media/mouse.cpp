// The mouse position and buttons from buffered DirectInput events.
// Relies on: mouse.h, keyboard.h (dinput_open/dinput_release), display.h.
#include "runtime/media/mouse.h"

#include "runtime/media/display.h"
#include "runtime/media/keyboard.h"

MouseState mouse_state = {};

namespace {
constexpr uint32_t kMouseLevel = DISCL_EXCLUSIVE | DISCL_FOREGROUND;  // 5

// The standard mouse layout: X, Y and wheel as 32-bit values, then four button bytes.
const DiObjectDataFormat kMouseObjects[] = {
    {&GUID_XAxis, 0, 0x00FFFF03, 0},
    {&GUID_YAxis, 4, 0x00FFFF03, 0},
    {&GUID_ZAxis, 8, 0x80FFFF03, 0},
    {nullptr, 12, 0x00FFFF0C, 0},
    {nullptr, 13, 0x00FFFF0C, 0},
    {nullptr, 14, 0x80FFFF0C, 0},
    {nullptr, 15, 0x80FFFF0C, 0},
};
const DiDataFormat kMouseFormat = {DIDATAFORMAT_SIZE, DIOBJECTDATAFORMAT_SIZE, DIDF_RELAXIS, 16, 7, kMouseObjects};

int32_t clamp_to(int32_t value, int32_t size) {
    if (value < 0) return 0;
    if (value >= size) return size - 1;
    return value;
}
}  // namespace

int mouse_init() {
    MouseState& m = mouse_state;
    DirectInput* dinput = dinput_open();
    m.initialised = 1;
    if (!dinput) return 0;
    if (dinput->create_device_ex(GUID_SysMouse, &m.device, nullptr) != DI_OK) {
        m.device = nullptr;
        return 0;
    }
    if (m.device->set_data_format(&kMouseFormat) != DI_OK) return 0;
    m.stage = 1;
    // The display's window procedure lets go of the mouse when the program loses the focus.
    display_state.on_deactivate = mouse_unacquire;
    return 1;
}

int mouse_examine() {
    MouseState& m = mouse_state;
    m.dx = m.dy = m.wheel = 0;
    if (!m.device) return 0;
    if (!screen_is_active()) {
        m.device->unacquire();
        return 0;
    }
    if (m.stage == 1) {
        // Retried every frame until it holds: a program that is still ending (such as the old
        // instance after a restart) may keep the pointer for a moment.
        DiPropDword size = {{DIPROPDWORD_SIZE, DIPROPHEADER_SIZE, 0, DIPH_DEVICE}, MOUSE_EVENT_BUFFER};
        if (m.device->set_cooperative_level(display_state.screen_window, kMouseLevel) == DI_OK &&
            m.device->set_property(DIPROP_BUFFERSIZE, &size.header) == DI_OK && m.device->acquire() == DI_OK)
            m.stage = 2;
    }
    uint32_t count = MOUSE_EVENT_BUFFER;
    DiResult r = m.device->get_device_data(sizeof(DiDeviceObjectData), m.events, &count, 0);
    if (r == DI_OK) {
        for (uint32_t i = 0; i < count; i++) {
            const DiDeviceObjectData& e = m.events[i];
            int32_t value = int32_t(e.data);
            int32_t down = (e.data & 0x80) ? 1 : 0;
            switch (e.offset) {
                case 0: m.dx += value; break;
                case 4: m.dy += value; break;
                case 8: m.wheel += value; break;
                case 12: m.button1 = down; break;
                case 13: m.button2 = down; break;
                case 14: m.button3 = down; break;
                default: break;  // the fourth button
            }
        }
        // A position given by mouse_set_position stays as given until the pointer moves.
        if (m.dx || m.dy) {
            m.x = clamp_to(m.x + m.dx, display_state.display_width);
            m.y = clamp_to(m.y + m.dy, display_state.display_height);
        }
        return 1;
    }
    if (r == DI_BUFFEROVERFLOW) {
        // Events were lost: a release may be among them, so the two main buttons read up.
        m.button1 = m.button2 = 0;
        return 0;
    }
    if ((r == DIERR_INPUTLOST || r == DIERR_NOTACQUIRED) && screen_is_active()) m.device->acquire();
    return 0;
}

int32_t mouse_x() { return mouse_state.x; }
int32_t mouse_y() { return mouse_state.y; }

int32_t mouse_button(int32_t n) {
    switch (n) {
        case 1: return mouse_state.button1;
        case 2: return mouse_state.button2;
        case 3: return mouse_state.button3;
        default: return 0;
    }
}

void mouse_set_position(int32_t x, int32_t y) {
    mouse_state.x = x;
    mouse_state.y = y;
}

void mouse_unacquire() {
    if (mouse_state.device) mouse_state.device->unacquire();
}

void mouse_release() {
    MouseState& m = mouse_state;
    if (!m.initialised) return;
    // The pointer is confined only by the device's capture, which its release ends.
    if (m.device) {
        m.device->release();
        m.device = nullptr;
    }
    if (display_state.on_deactivate == mouse_unacquire) display_state.on_deactivate = nullptr;
    dinput_release();
    m = {};
}
