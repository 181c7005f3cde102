// The display: the program's one window, the full-screen device on it, the frame loop with its
// message pump and device-loss recovery, and the back buffer as a drawing target.
// Relies on: the Direct3D 9 and GDI stand-ins, the registry (sprite table), the 2D drawing library.
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"
#include "runtime/platform/system/system.h"

struct DisplayState {
    int32_t initialised;
    int32_t window_class_registered;
    WindowHandle main_window;
    WindowHandle screen_window;
    int32_t opened;
    int32_t screen_active;
    int32_t scene_open;
    int32_t display_width, display_height;
    int32_t output_width, output_height;
    int32_t display_depth;
    int32_t pixel_format_code;
    int32_t refresh_hz;
    int32_t state_cache[4];
    ObjectTable* sprites;
};

extern DisplayState display_state;

int screen_window_create();
int screen_is_active();
