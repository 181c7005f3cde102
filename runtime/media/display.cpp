// The display: window class and window procedure, Direct3D object and full-screen device, frame
// loop with message pump and device-loss recovery (a flip that presents nothing waits for the next
// refresh tick, or for a window message where the system can wake it on one), the back buffer as
// a drawing target.
// Relies on: d3d9.h, user_window.h, system.h (ticks, sleep), draw.h, sprite.h (the sprite table's
// records and free operation), registry.h.
#include "runtime/media/display.h"

#include "runtime/media/sprite.h"
#include "runtime/platform/system/user_window.h"

DisplayState display_state = {};

namespace {
const char16_t kWindowClassName[] = u"MultimediaBase Class";
constexpr intptr_t kModuleInstance = 1;  // the program's one module
constexpr int32_t kSpriteSlots = 64;
constexpr uint32_t kLostWaitMs = 32;  // how long screen_flip waits for a lost device to come back
constexpr uint32_t kAwayWaitMs = 100;  // the longest rest of a frame loop that presents nothing
constexpr int32_t kDefaultRefreshHz = 60;  // the refresh assumed when the adapter's default is asked for

// Back-buffer candidates per requested depth, in test order: the last that passes wins.
struct DepthFormats {
    int32_t depth;
    D3DFORMAT candidates[2];
    int32_t count;
};
constexpr DepthFormats kDepthFormats[] = {
    {16, {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}, 2},
    {32, {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN}, 1},
};

// Bits per pixel and pixel-format code of each back-buffer format.
struct BackBufferLayout {
    D3DFORMAT format;
    int32_t bits;
    int32_t code;
};
constexpr BackBufferLayout kBackBufferLayouts[] = {
    {D3DFMT_X8R8G8B8, 32, PIXEL_FORMAT_X8R8G8B8},
    {D3DFMT_R5G6B5, 16, PIXEL_FORMAT_R5G6B5},
    {D3DFMT_X1R5G5B5, 16, PIXEL_FORMAT_X1R5G5B5},
};

// The formats whose display modes screen_init counts.
constexpr D3DFORMAT kModeFormats[] = {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};

// Presentation interval by vertical sync (0 off, 1 on).
constexpr uint32_t kPresentIntervals[2] = {D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_ONE};

// --- window procedure ---------------------------------------------------------------------------
using MessageHandler = LRESULT (*)(WindowHandle, uint32_t, WPARAM, LPARAM);

LRESULT on_activate(WindowHandle, uint32_t, WPARAM wparam, LPARAM) {
    if (wparam & 0xFFFF) {
        display_state.screen_active = 1;
    } else {
        display_state.screen_active = 0;
        if (display_state.on_deactivate) display_state.on_deactivate();
    }
    return 0;
}

LRESULT on_paint(WindowHandle window, uint32_t, WPARAM, LPARAM) {
    PAINTSTRUCT paint;
    begin_paint(window, &paint);
    end_paint(window, &paint);
    return 1;
}

LRESULT answer_0(WindowHandle, uint32_t, WPARAM, LPARAM) { return 0; }
LRESULT answer_1(WindowHandle, uint32_t, WPARAM, LPARAM) { return 1; }

struct WindowMessage {
    uint32_t message;
    MessageHandler handler;
};
// Every message not listed goes to DefWindowProcW. WM_CLOSE is answered here, so a close request
// never destroys the window.
constexpr WindowMessage kWindowMessages[] = {
    {WM_ACTIVATE, on_activate},   {WM_PAINT, on_paint},        {WM_CLOSE, answer_0},
    {WM_ERASEBKGND, answer_1},    {WM_KEYUP, answer_0},        {WM_SYSKEYUP, answer_0},
    {WM_LBUTTONDOWN, answer_0},   {WM_LBUTTONUP, answer_0},    {WM_RBUTTONDOWN, answer_0},
    {WM_RBUTTONUP, answer_0},
};

// --- helpers ------------------------------------------------------------------------------------
void reset_state_cache() {
    for (int32_t& value : display_state.state_cache) value = -1;
}

const BackBufferLayout* layout_of(D3DFORMAT format) {
    for (const BackBufferLayout& layout : kBackBufferLayouts)
        if (layout.format == format) return &layout;
    return nullptr;
}

void free_all_sprites() {
    if (display_state.sprites) obj_free_all(display_state.sprites);
}

// Frees every sprite and the table's own memory.
void destroy_sprite_table() {
    ObjectTable* table = display_state.sprites;
    if (!table) return;
    obj_free_all(table);
    while (table->auto_list) obj_list_remove(&table->auto_list, obj_list_payload(table->auto_list));
    obj_free(table->slots);
    obj_free(table);
    display_state.sprites = nullptr;
}

void release_device() {
    if (display_state.back_buffer) display_state.back_buffer->release();
    if (display_state.device) display_state.device->release();
    display_state.back_buffer = nullptr;
    display_state.device = nullptr;
    display_state.scene_open = 0;
}

int open_failed() {
    free_all_sprites();
    return 0;
}

// A flip that presents nothing (switched away, device lost, no screen) waits for the next refresh
// tick, as a present with vertical sync would, instead of letting the frame loop spin.
void wait_for_refresh_tick() {
    int32_t hz = display_state.refresh_hz > 0 ? display_state.refresh_hz : kDefaultRefreshHz;
    uint32_t period = uint32_t((1000 + hz / 2) / hz);
    uint32_t now = sys_get_tick_count();
    uint32_t since = now - display_state.idle_tick;
    uint32_t wait = display_state.idle_ticking && since < period ? period - since : period;
    sys_sleep(wait);
    display_state.idle_tick = now + wait;
    display_state.idle_ticking = 1;
}
}  // namespace

intptr_t screen_window_proc(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    for (const WindowMessage& entry : kWindowMessages)
        if (entry.message == message) return entry.handler(window, message, wparam, lparam);
    return def_window_proc_w(window, message, wparam, lparam);
}

int screen_window_create() {
    if (display_state.window_class_registered || display_state.screen_window)
        return display_state.window_class_registered;
    WNDCLASSEXW window_class = {};
    window_class.cbSize = 48;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = screen_window_proc;
    window_class.hInstance = kModuleInstance;
    window_class.hIcon = load_icon_w(kModuleInstance, 1);
    window_class.hbrBackground = gdi_get_stock_object(BLACK_BRUSH);
    window_class.lpszClassName = kWindowClassName;
    if (!register_class_ex_w(&window_class)) return 0;
    WindowHandle window =
        create_window_ex_w(0, kWindowClassName, u"", WS_POPUP, 0, 0, 1, 1, 0, 0, kModuleInstance, nullptr);
    if (!window) {
        // Leave nothing behind, so that a later call can try again.
        unregister_class_w(kWindowClassName, kModuleInstance);
        return 0;
    }
    display_state.main_window = window;
    display_state.window_class_registered = 1;
    return 1;
}

int screen_is_active() { return display_state.screen_active; }

int screen_init() {
    // A new, empty sprite table on every call; sprites of an earlier table are freed first so
    // their textures are not lost.
    destroy_sprite_table();
    display_state.sprites = obj_table_create(int32_t(sizeof(SpriteRecord)), kSpriteSlots, sprite_free);
    if (!display_state.sprites) return 0;
    if (!screen_window_create()) return 0;
    if (display_state.initialised) return 0;
    // The Direct3D library is part of the program here: a backend without video stands for a
    // missing "d3d9.dll".
    Direct3D9* d3d = direct3d_create9(D3D_SDK_VERSION);
    if (!d3d) return 0;
    uint32_t modes = 0;
    for (D3DFORMAT format : kModeFormats) modes += d3d->get_adapter_mode_count(D3DADAPTER_DEFAULT, format);
    if (modes == 0) {
        d3d->release();
        return 0;
    }
    display_state.d3d = d3d;
    display_state.initialised = 1;
    return 1;
}

D3DFORMAT screen_back_buffer_format(Direct3D9* d3d, int32_t depth) {
    D3DFORMAT chosen = D3DFMT_UNKNOWN;
    if (!d3d) return chosen;
    for (const DepthFormats& entry : kDepthFormats) {
        if (entry.depth != depth) continue;
        for (int32_t i = 0; i < entry.count; ++i) {
            D3DFORMAT format = entry.candidates[i];
            if (d3d->check_device_type(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, format, format, 0) == D3D_OK)
                chosen = format;
        }
    }
    return chosen;
}

int screen_open(int32_t width_in, int32_t height_in, int32_t depth_in, const char16_t* title, int32_t vsync,
                int32_t refresh) {
    // Width, height and depth are 16-bit values.
    int32_t width = int16_t(width_in), height = int16_t(height_in), depth = int16_t(depth_in);

    // A second open replaces the first screen rather than leaking its device.
    if (display_state.opened) screen_close();

    display_state.screen_window = display_state.main_window;
    set_window_text_w(display_state.screen_window, title);
    move_window(display_state.screen_window, 0, 0, width, height, 1);
    if (!display_state.screen_window || !display_state.d3d) return open_failed();

    display_state.display_depth = depth;
    reset_state_cache();
    display_state.output_width = display_state.display_width = width;
    display_state.output_height = display_state.display_height = height;
    display_state.refresh_hz = refresh == -1 ? 0 : refresh;

    show_cursor(0);

    D3DPRESENT_PARAMETERS& params = display_state.present_params;
    params = {};
    params.BackBufferWidth = uint32_t(width);
    params.BackBufferHeight = uint32_t(height);
    params.BackBufferFormat = screen_back_buffer_format(display_state.d3d, depth);
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.hDeviceWindow = display_state.screen_window;
    params.Windowed = 0;
    params.EnableAutoDepthStencil = 0;
    params.AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    params.FullScreen_RefreshRateInHz = uint32_t(display_state.refresh_hz);
    params.PresentationInterval = kPresentIntervals[vsync ? 1 : 0];

    D3DCAPS9 caps = {};
    if (display_state.d3d->get_device_caps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps) != D3D_OK) return open_failed();
    uint32_t behaviour = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_MIXED_VERTEXPROCESSING
                                                                          : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    Direct3DDevice9* device = nullptr;
    if (display_state.d3d->create_device(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, display_state.screen_window, behaviour,
                                         &params, &device) != D3D_OK ||
        !device)
        return open_failed();
    display_state.device = device;

    const BackBufferLayout* layout = layout_of(params.BackBufferFormat);
    if (layout) {
        display_state.pixel_format_code = layout->code;
        display_state.display_depth = layout->bits;
    }

    if (device->get_back_buffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &display_state.back_buffer) != D3D_OK ||
        !display_state.back_buffer) {
        release_device();
        return open_failed();
    }
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0.0f, 0);
    screen_set_default_states();

    time_begin_period(1);
    show_window(display_state.screen_window, SW_MAXIMIZE);
    display_state.opened = 1;
    display_state.screen_active = 1;
    return 1;
}

void screen_clear(int32_t colour) {
    if (!display_state.device) return;
    display_state.device->clear(0, nullptr, D3DCLEAR_TARGET, gdi_colour_swap(uint32_t(colour)), 0.0f, 0);
}

int screen_flip() {
    MSG message;
    while (peek_message_a(&message, 0, 0, 0, PM_REMOVE)) {
        translate_message(&message);
        dispatch_message_a(&message);
    }
    Direct3DDevice9* device = display_state.device;
    // Switched away, or activated without a screen: nothing is presented. Where the system can
    // wake the loop on a window message, the loop rests until one comes (the activation that
    // brings the screen back is one) or kAwayWaitMs pass: frames nobody sees are not made at the
    // refresh rate. Elsewhere it keeps the refresh beat.
    if (!display_state.screen_active || !device) {
        if (!sys_wait_message(kAwayWaitMs)) wait_for_refresh_tick();
        return 1;
    }

    HRESULT r = device->test_cooperative_level();
    if (r == D3DERR_DRIVERINTERNALERROR) {
        display_state.screen_active = 0;
        return 0;
    }
    if (r == D3DERR_DEVICELOST) {
        uint32_t first = sys_get_tick_count();
        do {
            sys_sleep(1);
            r = device->test_cooperative_level();
            if (r == D3DERR_DRIVERINTERNALERROR) {
                display_state.screen_active = 0;
                return 0;
            }
            if (r == D3D_OK || r == D3DERR_DEVICENOTRESET) break;
        } while (uint32_t(sys_get_tick_count() - first) < kLostWaitMs);
        if (r == D3DERR_DEVICELOST) {
            display_state.screen_active = 0;
            return 0;
        }
    }
    if (r == D3DERR_DEVICENOTRESET) {
        // The reset wants no outstanding reference to the back buffer; it is fetched anew after.
        display_state.scene_open = 0;
        if (display_state.back_buffer) display_state.back_buffer->release();
        display_state.back_buffer = nullptr;
        if (device->reset(&display_state.present_params) != D3D_OK) {
            display_state.screen_active = 0;
            return 0;
        }
        device->get_back_buffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &display_state.back_buffer);
        reset_state_cache();
    }
    screen_end_scene();
    display_state.screen_active = device->present(nullptr, nullptr, 0, nullptr) == D3D_OK ? 1 : 0;
    display_state.idle_ticking = 0;
    return 1;
}

DrawTarget* screen_output() {
    if (!display_state.device || !display_state.back_buffer) return nullptr;
    screen_end_scene();
    HDC dc = nullptr;
    if (display_state.back_buffer->get_dc(&dc) != D3D_OK || !dc) return nullptr;
    DrawTarget* target = draw_target_create();
    if (!target) {
        display_state.back_buffer->release_dc(dc);
        return nullptr;
    }
    target->kind = DRAW_TARGET_SURFACE;
    target->dc = dc;
    target->pixels = nullptr;
    target->pixel_format = display_state.pixel_format_code;
    target->width = display_state.display_width;
    target->height = display_state.display_height;
    target->bits_per_pixel = display_state.display_depth;
    target->get_dc = screen_target_get_dc;
    target->lock = screen_target_lock;
    target->release = screen_target_release;
    return target;
}

HDC screen_target_get_dc(DrawTarget* target) {
    if (!target) return nullptr;
    if (target->dc) return target->dc;
    Direct3DSurface9* surface = display_state.back_buffer;
    if (!surface) return nullptr;
    if (target->pixels) {
        surface->unlock_rect();
        target->pixels = nullptr;
    }
    HDC dc = nullptr;
    if (surface->get_dc(&dc) != D3D_OK) dc = nullptr;
    target->dc = dc;
    return dc;
}

void* screen_target_lock(DrawTarget* target, int32_t* pitch) {
    if (!target) return nullptr;
    Direct3DSurface9* surface = display_state.back_buffer;
    if (!surface) return nullptr;
    if (target->dc) {
        surface->release_dc(target->dc);
        target->dc = nullptr;
    }
    if (target->pixels) {
        // Already locked by this target: hand out the same view.
        if (pitch) *pitch = target->pitch;
        return target->pixels;
    }
    D3DLOCKED_RECT locked = {};
    if (surface->lock_rect(&locked, nullptr, 0) != D3D_OK) return nullptr;
    target->pixels = locked.pBits;
    target->pitch = locked.Pitch;
    if (pitch) *pitch = locked.Pitch;
    return target->pixels;
}

void screen_target_release(DrawTarget* target, int32_t) {
    if (!target) return;
    Direct3DSurface9* surface = display_state.back_buffer;
    if (target->dc && surface) surface->release_dc(target->dc);
    if (target->pixels && surface) surface->unlock_rect();
    target->dc = nullptr;
    target->pixels = nullptr;
}

int32_t screen_rgb(int32_t r, int32_t g, int32_t b) {
    // Unmasked, as the game writes its colours: wrapping arithmetic keeps an out-of-range value defined.
    return int32_t(uint32_t(r) + 256u * uint32_t(g) + 65536u * uint32_t(b));
}

void screen_delay(uint32_t ms) { sys_sleep(ms); }

int screen_begin_scene() {
    if (!display_state.device) return 0;
    if (display_state.scene_open) return 1;
    if (display_state.device->begin_scene() == D3D_OK) display_state.scene_open = 1;
    return display_state.scene_open;
}

void screen_end_scene() {
    if (!display_state.scene_open) return;
    display_state.scene_open = 0;
    if (display_state.device) display_state.device->end_scene();
}

void screen_set_default_states() {
    Direct3DDevice9* device = display_state.device;
    if (!device) return;
    device->set_texture_stage_state(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->set_texture_stage_state(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->set_software_vertex_processing(0);
    device->set_sampler_state(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->set_sampler_state(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->set_render_state(D3DRS_MULTISAMPLEANTIALIAS, 0);
}

void screen_close() {
    if (!display_state.opened) return;
    free_all_sprites();
    if (display_state.device) {
        screen_end_scene();
        release_device();
    }
    display_state.display_width = display_state.display_height = 0;
    if (display_state.screen_window) show_cursor(1);
    time_end_period(1);
    show_window(display_state.screen_window, SW_HIDE);
    display_state.opened = 0;
}

void screen_library_release() {
    if (display_state.initialised) {
        screen_close();
        if (display_state.d3d) display_state.d3d->release();
        display_state.d3d = nullptr;
        display_state.initialised = 0;
    }
    // Last release of the library: the window, its class and the sprite table go too, so the
    // record is back at its start for a later start-up in this process. The mouse's hook stays.
    destroy_sprite_table();
    if (display_state.main_window) destroy_window(display_state.main_window);
    if (display_state.window_class_registered) unregister_class_w(kWindowClassName, kModuleInstance);
    void (*on_deactivate)() = display_state.on_deactivate;
    display_state = {};
    display_state.on_deactivate = on_deactivate;
}
