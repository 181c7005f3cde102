// The video driver record each backend provides beneath the Direct3D stand-in and the display's
// window: display modes, the program window's title, visibility and cursor, the full-screen
// presentation of finished frames, window events (focus, close requests) and the device-loss state
// that a focus change causes (or a test provokes).
// Relies on: backend.h (the record is reached as platform_backend()->video).
#pragma once
#include <cstdint>

#include "runtime/platform/system/backend.h"

struct VideoMode {
    int32_t width, height;
    int32_t refresh_hz;
};

enum VideoEventKind : int32_t {
    VIDEO_EVENT_NONE = 0,
    VIDEO_EVENT_FOCUS_GAINED = 1,  // stands in for WM_ACTIVATE with activation
    VIDEO_EVENT_FOCUS_LOST = 2,    // WM_ACTIVATE with deactivation
    VIDEO_EVENT_CLOSE = 3,         // a close request (Alt+F4, window manager); the program ignores it
};

struct VideoEvent {
    int32_t kind;
};

// A finished frame: rows `pitch` bytes apart, top row first, in a Direct3D back-buffer format
// (D3DFMT_X8R8G8B8 22, D3DFMT_R5G6B5 23, D3DFMT_X1R5G5B5 24). `previous` is the frame handed to
// the last present of the same screen, unchanged since and laid out alike (the flip chain's other
// buffer), or null when there is none: a presenter whose screen still shows that frame need only
// show the rows that differ from it. `changed_rows`, when not null, holds a byte per row that is 0
// where the Direct3D stand-in knows the row equals the one in `previous` (both buffers hold the
// same drawing there), so only the other rows need comparing.
struct VideoFrame {
    const uint8_t* pixels;
    int32_t pitch;
    int32_t width, height;
    int32_t format;
    const uint8_t* previous;
    const uint8_t* changed_rows;
};

// Device states as the Direct3D stand-in reports them (values of its HRESULTs).
enum : int32_t {
    VIDEO_DEVICE_OK = 0,
    VIDEO_DEVICE_LOST = int32_t(0x88760868u),           // D3DERR_DEVICELOST
    VIDEO_DEVICE_NOT_RESET = int32_t(0x88760869u),      // D3DERR_DEVICENOTRESET
    VIDEO_DEVICE_INTERNAL_ERROR = int32_t(0x88760827u), // D3DERR_DRIVERINTERNALERROR
};

struct VideoDriver {
    // Started by Direct3DCreate9, stopped when the Direct3D object is released (the Direct3D
    // stand-in counts its users). start returns 1 when video is available.
    int (*start)();
    void (*stop)();

    // Display modes of adapter 0 in a format (Direct3D format value).
    int32_t (*mode_count)(int32_t format);
    int (*mode_get)(int32_t format, int32_t index, VideoMode* mode);

    // The program window.
    void (*window_show)(int shown);
    void (*window_set_title)(const char* utf8);
    void (*cursor_show)(int shown);

    // Full-screen presentation: opened by CreateDevice at the back buffer's size and format, with
    // the refresh rate (0 = default) and vertical sync (1 on, 0 off); closed when the device goes.
    int (*screen_open)(int32_t width, int32_t height, int32_t format, int32_t refresh_hz, int vsync);
    void (*screen_close)();
    int (*present)(const VideoFrame* frame);  // 1 when shown (or still on screen)

    // Takes the next window event of the queue; 0 when there is none. Focus changes also move the
    // device state (lost when the focus goes, not-reset when it returns).
    int (*poll_event)(VideoEvent* event);

    // The device state TestCooperativeLevel reports, and the reset that brings a not-reset device
    // back (returns 1 and the state becomes OK; 0 while still lost or after an internal error).
    int32_t (*device_state)();
    int (*device_reset)();
};

extern const VideoDriver headless_video_driver;
