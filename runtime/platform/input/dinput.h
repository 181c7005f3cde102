// Stand-in for the DirectInput 7 calls the keyboard and mouse libraries make: the DirectInput
// object, the system keyboard as a 256-byte snapshot and the system mouse as a buffer of
// (offset, data) event records, with data formats, cooperative levels, acquisition and the
// results DirectInput gives for a lost or unacquired device and an overflowing buffer.
// Events come from the backend's InputDriver; every device read first takes the pending events
// and routes them: keys into each keyboard's state (so a key held across frames reads down),
// mouse events into the buffer of each acquired mouse. A device with a foreground cooperative
// level loses its acquisition when the window loses the focus; an exclusive mouse holds the
// pointer capture while it is acquired.
// Relies on: input_driver.h, backend.h, system.h (window handles).
#pragma once
#include <cstdint>

#include "runtime/platform/input/input_driver.h"
#include "runtime/platform/system/system.h"

using DiResult = int32_t;
constexpr DiResult DI_OK = 0;
constexpr DiResult DI_NOEFFECT = 1;
constexpr DiResult DI_BUFFEROVERFLOW = 1;
constexpr DiResult DIERR_OTHERAPPHASPRIO = int32_t(0x80070005);
constexpr DiResult DIERR_NOTACQUIRED = int32_t(0x8007000C);
constexpr DiResult DIERR_NOTINITIALIZED = int32_t(0x80070015);
constexpr DiResult DIERR_INPUTLOST = int32_t(0x8007001E);
constexpr DiResult DIERR_INVALIDPARAM = int32_t(0x80070057);
constexpr DiResult DIERR_ACQUIRED = int32_t(0x800700AA);
constexpr DiResult DIERR_DEVICENOTREG = int32_t(0x80040154);
constexpr DiResult DIERR_OLDDIRECTINPUTVERSION = int32_t(0x8007047E);

constexpr uint32_t DIRECTINPUT_VERSION_7 = 0x0700;

// Cooperative levels.
constexpr uint32_t DISCL_EXCLUSIVE = 0x01;
constexpr uint32_t DISCL_NONEXCLUSIVE = 0x02;
constexpr uint32_t DISCL_FOREGROUND = 0x04;
constexpr uint32_t DISCL_BACKGROUND = 0x08;
constexpr uint32_t DISCL_NOWINKEY = 0x10;

// Data-format flags and object types.
constexpr uint32_t DIDF_ABSAXIS = 1;
constexpr uint32_t DIDF_RELAXIS = 2;
constexpr uint32_t DIDFT_AXIS = 0x00000003;
constexpr uint32_t DIDFT_BUTTON = 0x0000000C;
constexpr uint32_t DIDFT_ANYINSTANCE = 0x00FFFF00;
constexpr uint32_t DIDFT_OPTIONAL = 0x80000000;

// The sizes the interface declares for DIDATAFORMAT and DIOBJECTDATAFORMAT (its 32-bit layout);
// callers write them into the records and the stand-in checks them, whatever the native size.
constexpr uint32_t DIDATAFORMAT_SIZE = 24;
constexpr uint32_t DIOBJECTDATAFORMAT_SIZE = 16;
constexpr uint32_t DIPROPHEADER_SIZE = 16;
constexpr uint32_t DIPROPDWORD_SIZE = 20;
constexpr uint32_t DIPH_DEVICE = 0;

struct DiGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
extern const DiGuid GUID_SysKeyboard, GUID_SysMouse, GUID_Key, GUID_XAxis, GUID_YAxis, GUID_ZAxis;

struct DiObjectDataFormat {
    const DiGuid* guid;  // null: any object of the type
    uint32_t offset;     // where the object's value lands in the device's data
    uint32_t type;       // DIDFT_* | instance << 8
    uint32_t flags;
};

struct DiDataFormat {
    uint32_t size;         // DIDATAFORMAT_SIZE
    uint32_t object_size;  // DIOBJECTDATAFORMAT_SIZE
    uint32_t flags;        // DIDF_RELAXIS / DIDF_ABSAXIS
    uint32_t data_size;    // bytes of a device state
    uint32_t object_count;
    const DiObjectDataFormat* objects;
};

// One buffered event, as GetDeviceData returns it (16 bytes).
struct DiDeviceObjectData {
    uint32_t offset;  // the object's offset in the data format
    uint32_t data;    // axis: signed movement; button: bit 7 set while down
    uint32_t time_stamp;
    uint32_t sequence;
};

struct DiPropHeader {
    uint32_t size;         // DIPROPDWORD_SIZE
    uint32_t header_size;  // DIPROPHEADER_SIZE
    uint32_t object;       // 0 with DIPH_DEVICE
    uint32_t how;
};
struct DiPropDword {
    DiPropHeader header;
    uint32_t data;
};
enum DiProperty : uint32_t { DIPROP_BUFFERSIZE = 1 };

struct DirectInput;
struct DiDeviceData;

// IDirectInputDevice7.
struct DirectInputDevice {
    DiResult set_data_format(const DiDataFormat* format);
    DiResult set_cooperative_level(WindowHandle window, uint32_t flags);
    DiResult set_property(DiProperty property, const DiPropHeader* header);
    DiResult acquire();
    DiResult unacquire();
    DiResult get_device_state(uint32_t size, void* data);
    DiResult get_device_data(uint32_t record_size, DiDeviceObjectData* records, uint32_t* count, uint32_t flags);
    uint32_t release();

    DiDeviceData* d;  // the device's state, private to the stand-in
};

// IDirectInput7.
struct DirectInput {
    DiResult create_device_ex(const DiGuid& guid, DirectInputDevice** device, void* outer);
    uint32_t release();

    const InputDriver* driver;
    uint32_t references;
};

// DirectInputCreateEx: fails when the backend has no input driver or its event source does not
// start (as a missing or broken DINPUT.DLL would).
DiResult direct_input_create_ex(uint32_t version, DirectInput** out);
