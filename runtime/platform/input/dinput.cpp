// DirectInput stand-in: devices, formats, acquisition and the event routing from the backend's
// input driver. Relies on: dinput.h, backend.h.
#include "runtime/platform/input/dinput.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "runtime/platform/system/backend.h"

const DiGuid GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const DiGuid GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const DiGuid GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const DiGuid GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const DiGuid GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const DiGuid GUID_Key = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

enum class DeviceKind { keyboard, mouse };

constexpr int kMouseButtons = 4;
constexpr int kKeys = 256;

struct DiDeviceData {
    DeviceKind kind;
    DirectInput* parent;
    uint32_t references;
    bool has_format;
    uint32_t data_size;
    uint32_t cooperative;
    WindowHandle window;
    bool acquired;
    // Keyboard: the keys held now (from the key events) and where each lands in the state.
    uint8_t key_down[kKeys];
    int32_t key_offset[kKeys];
    // Mouse: where each axis and button lands, the buffer and its overflow mark.
    int32_t axis_offset[3];  // x, y, wheel
    int32_t button_offset[kMouseButtons];
    uint32_t buffer_size;
    std::vector<DiDeviceObjectData> buffer;
    bool overflow;
    int32_t run_index[3];  // records of the current run of movement, -1 when none
    uint32_t sequence;
};

namespace {
std::vector<DirectInputDevice*> live_devices;

bool same_guid(const DiGuid* a, const DiGuid& b) { return a && std::memcmp(a, &b, sizeof b) == 0; }

void reset_run(DiDeviceData* d) { std::fill(std::begin(d->run_index), std::end(d->run_index), -1); }

void push_record(DiDeviceData* d, int32_t offset, uint32_t data, uint32_t time) {
    if (d->buffer.size() >= d->buffer_size) {
        d->overflow = true;
        return;
    }
    d->buffer.push_back({uint32_t(offset), data, time, d->sequence++});
}

// Motion between two button records folds into one record per axis, so that a fast mouse does
// not fill the buffer with small steps; the order against the button records is kept.
void add_axis(DiDeviceData* d, int axis, int32_t amount, uint32_t time) {
    if (amount == 0 || d->axis_offset[axis] < 0) return;
    int32_t index = d->run_index[axis];
    if (index >= 0) {
        DiDeviceObjectData& r = d->buffer[size_t(index)];
        r.data = uint32_t(int32_t(r.data) + amount);
        r.time_stamp = time;
        return;
    }
    size_t before = d->buffer.size();
    push_record(d, d->axis_offset[axis], uint32_t(amount), time);
    if (d->buffer.size() > before) d->run_index[axis] = int32_t(before);
}

void route_to_mouse(DiDeviceData* d, const InputEvent& e) {
    if (!d->acquired) return;  // an unacquired device buffers nothing
    switch (e.kind) {
        case INPUT_MOUSE_MOTION:
            add_axis(d, 0, e.dx, e.time_ms);
            add_axis(d, 1, e.dy, e.time_ms);
            break;
        case INPUT_MOUSE_WHEEL:
            add_axis(d, 2, e.dx, e.time_ms);
            break;
        case INPUT_BUTTON_DOWN:
        case INPUT_BUTTON_UP:
            if (e.code >= kMouseButtons || d->button_offset[e.code] < 0) return;
            reset_run(d);
            push_record(d, d->button_offset[e.code], e.kind == INPUT_BUTTON_DOWN ? 0x80u : 0u, e.time_ms);
            break;
        default:
            break;
    }
}

// Takes every pending event from the driver and hands it to the devices it concerns.
void pump(const InputDriver* driver) {
    InputEvent events[64];
    for (;;) {
        int n = driver->read_events(events, 64);
        for (int i = 0; i < n; i++) {
            const InputEvent& e = events[i];
            for (DirectInputDevice* device : live_devices) {
                DiDeviceData* d = device->d;
                if (d->kind == DeviceKind::keyboard) {
                    if (e.kind == INPUT_KEY_DOWN) d->key_down[e.code] = 1;
                    if (e.kind == INPUT_KEY_UP) d->key_down[e.code] = 0;
                } else {
                    route_to_mouse(d, e);
                }
            }
        }
        if (n < 64) return;
    }
}

void drop_acquisition(DiDeviceData* d) {
    if (d->acquired && (d->cooperative & DISCL_EXCLUSIVE) && d->kind == DeviceKind::mouse)
        d->parent->driver->set_capture(0);
    d->acquired = false;
}

// Before a read: fresh events, and a foreground device loses its acquisition with the focus.
DiResult prepare_read(DiDeviceData* d) {
    pump(d->parent->driver);
    if (!d->acquired) return DIERR_NOTACQUIRED;
    if ((d->cooperative & DISCL_FOREGROUND) && !d->parent->driver->has_focus()) {
        drop_acquisition(d);
        return DIERR_INPUTLOST;
    }
    return DI_OK;
}

DiResult keyboard_format(DiDeviceData* d, const DiDataFormat* f) {
    std::fill(std::begin(d->key_offset), std::end(d->key_offset), -1);
    for (uint32_t i = 0; i < f->object_count; i++) {
        const DiObjectDataFormat& o = f->objects[i];
        uint32_t instance = (o.type >> 8) & 0xFFFF;
        bool usable = (o.type & DIDFT_BUTTON) && (!o.guid || same_guid(o.guid, GUID_Key)) && instance < kKeys &&
                      o.offset < f->data_size;
        if (usable) {
            d->key_offset[instance] = int32_t(o.offset);
        } else if (!(o.type & DIDFT_OPTIONAL)) {
            return DIERR_INVALIDPARAM;
        }
    }
    return DI_OK;
}

DiResult mouse_format(DiDeviceData* d, const DiDataFormat* f) {
    std::fill(std::begin(d->axis_offset), std::end(d->axis_offset), -1);
    std::fill(std::begin(d->button_offset), std::end(d->button_offset), -1);
    int next_button = 0;
    for (uint32_t i = 0; i < f->object_count; i++) {
        const DiObjectDataFormat& o = f->objects[i];
        bool placed = false;
        if (o.offset < f->data_size && (o.type & DIDFT_AXIS) && !(o.type & DIDFT_BUTTON)) {
            const DiGuid* axes[3] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis};
            for (int a = 0; a < 3 && !placed; a++) {
                if (same_guid(o.guid, *axes[a]) && d->axis_offset[a] < 0) {
                    d->axis_offset[a] = int32_t(o.offset);
                    placed = true;
                }
            }
        } else if (o.offset < f->data_size && (o.type & DIDFT_BUTTON)) {
            uint32_t instance = (o.type >> 8) & 0xFFFF;
            int button = instance == 0xFFFF ? next_button : int(instance);
            if (button < kMouseButtons && d->button_offset[button] < 0) {
                d->button_offset[button] = int32_t(o.offset);
                next_button = button + 1;
                placed = true;
            }
        }
        if (!placed && !(o.type & DIDFT_OPTIONAL)) return DIERR_INVALIDPARAM;
    }
    return DI_OK;
}
}  // namespace

DiResult DirectInputDevice::set_data_format(const DiDataFormat* f) {
    if (!f || f->size != DIDATAFORMAT_SIZE || f->object_size != DIOBJECTDATAFORMAT_SIZE || f->data_size == 0 ||
        f->data_size % 4 != 0 || (f->object_count && !f->objects))
        return DIERR_INVALIDPARAM;
    if (d->acquired) return DIERR_ACQUIRED;
    DiResult r = d->kind == DeviceKind::keyboard ? keyboard_format(d, f) : mouse_format(d, f);
    d->has_format = r == DI_OK;
    d->data_size = r == DI_OK ? f->data_size : 0;
    return r;
}

DiResult DirectInputDevice::set_cooperative_level(WindowHandle window, uint32_t flags) {
    bool exclusive = flags & DISCL_EXCLUSIVE, shared = flags & DISCL_NONEXCLUSIVE;
    bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
    if (exclusive == shared || foreground == background) return DIERR_INVALIDPARAM;
    if ((flags & DISCL_NOWINKEY) && exclusive) return DIERR_INVALIDPARAM;
    if (!window && (foreground || exclusive)) return DIERR_INVALIDPARAM;
    // An exclusive keyboard in the background would take every key of the desktop.
    if (d->kind == DeviceKind::keyboard && exclusive && background) return DIERR_INVALIDPARAM;
    if (d->acquired) return DIERR_ACQUIRED;
    d->cooperative = flags;
    d->window = window;
    return DI_OK;
}

DiResult DirectInputDevice::set_property(DiProperty property, const DiPropHeader* header) {
    if (!header || header->header_size != DIPROPHEADER_SIZE) return DIERR_INVALIDPARAM;
    if (property != DIPROP_BUFFERSIZE || header->size != DIPROPDWORD_SIZE || header->how != DIPH_DEVICE ||
        header->object != 0)
        return DIERR_INVALIDPARAM;
    if (d->acquired) return DIERR_ACQUIRED;
    d->buffer_size = reinterpret_cast<const DiPropDword*>(header)->data;
    return DI_OK;
}

DiResult DirectInputDevice::acquire() {
    if (!d->has_format) return DIERR_INVALIDPARAM;
    if (d->acquired) return DI_NOEFFECT;
    const InputDriver* driver = d->parent->driver;
    if ((d->cooperative & DISCL_FOREGROUND) && !driver->has_focus()) return DIERR_OTHERAPPHASPRIO;
    if (d->kind == DeviceKind::mouse && (d->cooperative & DISCL_EXCLUSIVE) && !driver->set_capture(1))
        return DIERR_OTHERAPPHASPRIO;
    pump(driver);  // what happened before the acquisition is not the device's
    d->acquired = true;
    d->buffer.clear();
    d->overflow = false;
    reset_run(d);
    return DI_OK;
}

DiResult DirectInputDevice::unacquire() {
    if (!d->acquired) return DI_NOEFFECT;
    drop_acquisition(d);
    return DI_OK;
}

DiResult DirectInputDevice::get_device_state(uint32_t size, void* data) {
    if (!data || !d->has_format || size != d->data_size) return DIERR_INVALIDPARAM;
    if (d->kind != DeviceKind::keyboard) return DIERR_INVALIDPARAM;  // no caller reads a mouse state
    DiResult r = prepare_read(d);
    if (r != DI_OK) return r;
    auto* bytes = static_cast<uint8_t*>(data);
    std::memset(bytes, 0, size);
    for (int key = 0; key < kKeys; key++)
        if (d->key_offset[key] >= 0 && d->key_down[key]) bytes[d->key_offset[key]] = 0x80;
    return DI_OK;
}

DiResult DirectInputDevice::get_device_data(uint32_t record_size, DiDeviceObjectData* records, uint32_t* count,
                                            uint32_t flags) {
    if (!count || record_size != sizeof(DiDeviceObjectData) || flags != 0 || (!records && *count))
        return DIERR_INVALIDPARAM;
    if (d->kind != DeviceKind::mouse || !d->has_format) return DIERR_INVALIDPARAM;
    DiResult r = prepare_read(d);
    if (r != DI_OK) {
        *count = 0;
        return r;
    }
    size_t n = std::min<size_t>(*count, d->buffer.size());
    std::copy(d->buffer.begin(), d->buffer.begin() + std::ptrdiff_t(n), records);
    d->buffer.erase(d->buffer.begin(), d->buffer.begin() + std::ptrdiff_t(n));
    for (int32_t& index : d->run_index) index = index >= int32_t(n) ? index - int32_t(n) : -1;
    *count = uint32_t(n);
    bool overflowed = d->overflow;
    d->overflow = false;
    return overflowed ? DI_BUFFEROVERFLOW : DI_OK;
}

uint32_t DirectInputDevice::release() {
    if (--d->references) return d->references;
    drop_acquisition(d);
    live_devices.erase(std::remove(live_devices.begin(), live_devices.end(), this), live_devices.end());
    DirectInput* parent = d->parent;
    delete d;
    delete this;
    parent->release();
    return 0;
}

DiResult DirectInput::create_device_ex(const DiGuid& guid, DirectInputDevice** device, void* outer) {
    if (!device || outer) return DIERR_INVALIDPARAM;
    *device = nullptr;
    DeviceKind kind;
    if (same_guid(&guid, GUID_SysKeyboard))
        kind = DeviceKind::keyboard;
    else if (same_guid(&guid, GUID_SysMouse))
        kind = DeviceKind::mouse;
    else
        return DIERR_DEVICENOTREG;
    auto* d = new DiDeviceData();
    d->kind = kind;
    d->parent = this;
    d->references = 1;
    std::fill(std::begin(d->key_offset), std::end(d->key_offset), -1);
    std::fill(std::begin(d->axis_offset), std::end(d->axis_offset), -1);
    std::fill(std::begin(d->button_offset), std::end(d->button_offset), -1);
    reset_run(d);
    auto* created = new DirectInputDevice{d};
    references++;
    live_devices.push_back(created);
    *device = created;
    return DI_OK;
}

uint32_t DirectInput::release() {
    if (--references) return references;
    driver->close();
    delete this;
    return 0;
}

DiResult direct_input_create_ex(uint32_t version, DirectInput** out) {
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (version < DIRECTINPUT_VERSION_7) return DIERR_OLDDIRECTINPUTVERSION;
    const InputDriver* driver = platform_backend()->input;
    if (!driver || !driver->open()) return DIERR_NOTINITIALIZED;
    *out = new DirectInput{driver, 1};
    return DI_OK;
}
