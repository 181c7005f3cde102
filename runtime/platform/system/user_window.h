// Stand-ins for the Win32 USER window calls and the WINMM timer calls the display makes: a window
// class with its window procedure, the program's popup window (title, size, visibility), the
// cursor's show count, the thread's message queue (PeekMessageA/TranslateMessage/DispatchMessageA)
// fed by the video driver's window events, DefWindowProcW, BeginPaint/EndPaint, and
// timeBeginPeriod/timeEndPeriod.
// Focus changes arrive as WM_ACTIVATE, a close request (Alt+F4, the window manager) as
// WM_SYSCOMMAND/SC_CLOSE, which DefWindowProcW turns into WM_CLOSE as Windows does.
// Relies on: system.h (the window list the message requester walks), video_driver.h (the window's
// title, visibility and cursor, and its events), gdi.h (brush and context types).
#pragma once
#include <cstdint>

#include "runtime/platform/gdi/gdi.h"
#include "runtime/platform/system/system.h"

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);

enum : uint32_t {
    WM_DESTROY = 0x0002,
    WM_ACTIVATE = 0x0006,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_ERASEBKGND = 0x0014,
    WM_KEYUP = 0x0101,
    WM_SYSKEYUP = 0x0105,
    WM_SYSCOMMAND = 0x0112,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
};
enum : uint32_t { WA_INACTIVE = 0, WA_ACTIVE = 1 };
constexpr WPARAM SC_CLOSE = 0xF060;
enum : int32_t { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_MAXIMIZE = 3 };
constexpr uint32_t CS_DBLCLKS = 0x0008;
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t PM_REMOVE = 1;

struct WNDCLASSEXW {
    uint32_t cbSize;
    uint32_t style;
    WNDPROC lpfnWndProc;
    int32_t cbClsExtra;
    int32_t cbWndExtra;
    intptr_t hInstance;
    intptr_t hIcon;
    intptr_t hCursor;
    HBRUSH hbrBackground;
    const char16_t* lpszMenuName;
    const char16_t* lpszClassName;
    intptr_t hIconSm;
};

struct MSG {
    WindowHandle hwnd;
    uint32_t message;
    WPARAM wParam;
    LPARAM lParam;
    uint32_t time;
    POINT pt;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

// Returns the class atom (non-zero), or 0 when the name is missing, the procedure is null or a
// class of that name exists.
uint16_t register_class_ex_w(const WNDCLASSEXW* window_class);
BOOL unregister_class_w(const char16_t* class_name, intptr_t instance);  // 0 while a window uses it
// The program carries no icon resources: always 0.
intptr_t load_icon_w(intptr_t instance, intptr_t resource);

WindowHandle create_window_ex_w(uint32_t ex_style, const char16_t* class_name, const char16_t* title, uint32_t style,
                                int32_t x, int32_t y, int32_t width, int32_t height, WindowHandle parent,
                                intptr_t menu, intptr_t instance, void* param);
BOOL destroy_window(WindowHandle window);  // sends WM_DESTROY
BOOL is_window(WindowHandle window);
BOOL set_window_text_w(WindowHandle window, const char16_t* text);
BOOL move_window(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height, BOOL repaint);
BOOL show_window(WindowHandle window, int32_t command);  // returns whether it was visible before
// The thread's cursor show count: shown while >= 0. Returns the new count.
int32_t show_cursor(BOOL show);

// Takes the next message of the thread's queue (window events of the video driver, then a pending
// WM_PAINT); filters are not supported (0, 0 = all messages). Returns 0 when there is none.
BOOL peek_message_a(MSG* message, WindowHandle window, uint32_t filter_min, uint32_t filter_max, uint32_t remove);
BOOL translate_message(const MSG* message);  // no character messages are made: always 0
LRESULT dispatch_message_a(const MSG* message);
LRESULT send_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);
LRESULT def_window_proc_w(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);
HDC begin_paint(WindowHandle window, PAINTSTRUCT* paint);  // validates the window; no context (null)
BOOL end_paint(WindowHandle window, const PAINTSTRUCT* paint);

// WINMM: the 1 ms timer resolution. Returns 0 (TIMERR_NOERROR).
uint32_t time_begin_period(uint32_t ms);
uint32_t time_end_period(uint32_t ms);

// For tests and the presenter: a window's class name (null if none), title (UTF-8), size and
// visibility; how many timer-resolution requests are outstanding; the cursor show count.
struct UserWindowInfo {
    const char16_t* class_name;
    const char* title;
    int32_t x, y, width, height;
    bool visible;
    bool needs_paint;
};
bool user_window_info(WindowHandle window, UserWindowInfo* info);
int32_t user_timer_period_requests();
int32_t user_cursor_count();
int32_t user_window_class_count();
