// The display: the program's one window with its window procedure, the full-screen Direct3D device
// on it, the frame loop (message pump, device-loss recovery, present), the back buffer as a drawing
// target for the 2D library, and the render-state cache shared with sprites and 3D sprites.
// Relies on: the Direct3D 9 stand-in (d3d9.h), the USER window stand-in (user_window.h), the 2D
// drawing library (draw.h: DrawTarget), the registry (the sprite table, whose records belong to
// sprite.h). screen_library_release must run before the object heap is destroyed.
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"
#include "runtime/media/draw.h"
#include "runtime/platform/d3d/d3d9.h"
#include "runtime/platform/system/system.h"

// Indices of DisplayState::state_cache.
enum : int32_t {
    STATE_CACHE_ALPHA_BLEND = 0,
    STATE_CACHE_SRC_BLEND = 1,
    STATE_CACHE_DEST_BLEND = 2,
    STATE_CACHE_FVF = 3,
};

// Pixel-format codes handed to the drawing library for the back buffer.
enum : int32_t {
    PIXEL_FORMAT_X1R5G5B5 = 2,
    PIXEL_FORMAT_R5G6B5 = 4,
    PIXEL_FORMAT_X8R8G8B8 = 64,
};

struct DisplayState {
    int32_t initialised;              // screen_init succeeded: the Direct3D object exists
    int32_t window_class_registered;  // the class is registered and the window created
    WindowHandle main_window;         // the popup window
    WindowHandle screen_window;       // the window the screen was opened on
    Direct3D9* d3d;
    Direct3DDevice9* device;          // null while no screen is open
    Direct3DSurface9* back_buffer;    // back buffer 0, held while the screen is open
    D3DPRESENT_PARAMETERS present_params;  // kept for the device reset
    int32_t opened;
    int32_t screen_active;  // the screen may present
    int32_t scene_open;     // a BeginScene is outstanding
    int32_t display_width, display_height;  // 0 while closed
    int32_t output_width, output_height;
    int32_t display_depth;      // requested depth, then the back buffer's bits per pixel
    int32_t pixel_format_code;  // PIXEL_FORMAT_*
    int32_t refresh_hz;         // 0 = the adapter's default
    int32_t state_cache[4];     // STATE_CACHE_*; -1 = not yet set
    // While nothing is presented, each screen_flip waits for the next refresh tick: the tick
    // count of the last such tick, valid while idle_ticking is set (cleared by a present).
    uint32_t idle_tick;
    int32_t idle_ticking;
    ObjectTable* sprites;       // SpriteRecord table (64 slots, free operation sprite_free)
    // Called when the window is deactivated, after screen_active is cleared: the mouse library
    // sets it in mouse_init (to Unacquire its device) and clears it in mouse_release. The display
    // never changes it, and keeps it across screen_library_release.
    void (*on_deactivate)();
};

extern DisplayState display_state;

// Operations for the game.
int screen_init();
int screen_open(int32_t width, int32_t height, int32_t depth, const char16_t* title, int32_t vsync, int32_t refresh);
void screen_clear(int32_t colour);
int screen_flip();
DrawTarget* screen_output();
int32_t screen_rgb(int32_t r, int32_t g, int32_t b);
void screen_delay(uint32_t ms);
void screen_library_release();

// Operations for the rest of the runtime.
int screen_window_create();
int screen_is_active();
int screen_begin_scene();
void screen_end_scene();
void screen_set_default_states();
void screen_close();

// The back buffer target's operations (installed by screen_output).
HDC screen_target_get_dc(DrawTarget* target);
void* screen_target_lock(DrawTarget* target, int32_t* pitch);
void screen_target_release(DrawTarget* target, int32_t ended);

// The window procedure of "MultimediaBase Class".
intptr_t screen_window_proc(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Back-buffer format for a requested depth (D3DFMT_UNKNOWN when none passes CheckDeviceType).
D3DFORMAT screen_back_buffer_format(Direct3D9* d3d, int32_t depth);
