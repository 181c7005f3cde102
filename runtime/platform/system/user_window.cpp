// Win32 USER window and WINMM timer stand-ins: a few window classes and windows in fixed tables,
// the thread's message queue fed by the video driver's window events. The classes, windows, cursor
// count and timer requests return to their start when the last window and class are gone; timer
// requests also reach the backend's timer_period where it has one.
// Relies on: system.h (window list), video_driver.h through backend.h, strings.h (UTF-8 titles).
#include "runtime/platform/system/user_window.h"

#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/d3d/video_driver.h"
#include "runtime/platform/system/backend.h"

namespace {
constexpr int kMaxClasses = 4;
constexpr int kMaxWindows = 4;

struct WindowClass {
    std::u16string name;  // empty: free entry
    WNDPROC proc;
    intptr_t instance;
};

struct Window {
    WindowHandle handle;  // 0: free entry
    int class_index;
    std::string title;
    int32_t x, y, width, height;
    bool visible;
    bool needs_paint;
};

struct UserState {
    WindowClass classes[kMaxClasses];
    Window windows[kMaxWindows];
    int32_t cursor_count;
    int32_t timer_requests;
};
UserState user;

// How the video driver's window events reach the window procedure.
struct EventMessage {
    int32_t event_kind;
    uint32_t message;
    WPARAM wparam;
};
constexpr EventMessage kEventMessages[] = {
    {VIDEO_EVENT_FOCUS_GAINED, WM_ACTIVATE, WA_ACTIVE},
    {VIDEO_EVENT_FOCUS_LOST, WM_ACTIVATE, WA_INACTIVE},
    {VIDEO_EVENT_CLOSE, WM_SYSCOMMAND, SC_CLOSE},
};

const VideoDriver* video() { return platform_backend()->video; }

int find_class(const char16_t* name) {
    if (!name || !*name) return -1;
    for (int i = 0; i < kMaxClasses; ++i)
        if (!user.classes[i].name.empty() && user.classes[i].name == name) return i;
    return -1;
}

Window* find_window(WindowHandle handle) {
    if (!handle) return nullptr;
    for (auto& w : user.windows)
        if (w.handle == handle) return &w;
    return nullptr;
}

// The window that receives the video driver's events: the program has one top-level window.
Window* event_window() {
    for (auto& w : user.windows)
        if (w.handle) return &w;
    return nullptr;
}

bool any_window() { return event_window() != nullptr; }
}  // namespace

uint16_t register_class_ex_w(const WNDCLASSEXW* window_class) {
    if (!window_class || !window_class->lpfnWndProc || !window_class->lpszClassName || !*window_class->lpszClassName)
        return 0;
    if (find_class(window_class->lpszClassName) >= 0) return 0;
    for (int i = 0; i < kMaxClasses; ++i) {
        if (user.classes[i].name.empty()) {
            user.classes[i] = {window_class->lpszClassName, window_class->lpfnWndProc, window_class->hInstance};
            return uint16_t(0xC000 + i);
        }
    }
    return 0;
}

BOOL unregister_class_w(const char16_t* class_name, intptr_t) {
    int index = find_class(class_name);
    if (index < 0) return 0;
    for (auto& w : user.windows)
        if (w.handle && w.class_index == index) return 0;
    user.classes[index] = {};
    return 1;
}

intptr_t load_icon_w(intptr_t, intptr_t) { return 0; }

WindowHandle create_window_ex_w(uint32_t, const char16_t* class_name, const char16_t* title, uint32_t, int32_t x,
                                int32_t y, int32_t width, int32_t height, WindowHandle, intptr_t, intptr_t, void*) {
    int index = find_class(class_name);
    if (index < 0) return 0;
    Window* slot = nullptr;
    for (auto& w : user.windows)
        if (!w.handle) {
            slot = &w;
            break;
        }
    if (!slot) return 0;
    // The handle comes from the system's window list, so the message requester sees the window.
    WindowHandle handle = sys_window_create();
    if (!handle) return 0;
    *slot = {handle, index, str_to_utf8(title), x, y, width, height, false, false};
    if (video() && !slot->title.empty()) video()->window_set_title(slot->title.c_str());
    return handle;
}

BOOL destroy_window(WindowHandle window) {
    Window* w = find_window(window);
    if (!w) return 0;
    send_message(window, WM_DESTROY, 0, 0);
    if (w->visible && video()) video()->window_show(0);
    sys_window_destroy(window);
    *w = {};
    if (!any_window()) {
        // The cursor count lives with the program's windows: gone with the last one, so a later
        // start-up in this process starts with the cursor shown.
        if (user.cursor_count < 0 && video()) video()->cursor_show(1);
        user.cursor_count = 0;
    }
    return 1;
}

BOOL is_window(WindowHandle window) { return find_window(window) != nullptr; }

BOOL set_window_text_w(WindowHandle window, const char16_t* text) {
    Window* w = find_window(window);
    if (!w) return 0;
    w->title = str_to_utf8(text);
    if (video()) video()->window_set_title(w->title.c_str());
    return 1;
}

BOOL move_window(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height, BOOL repaint) {
    Window* w = find_window(window);
    if (!w) return 0;
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    if (repaint && w->visible) w->needs_paint = true;
    return 1;
}

BOOL show_window(WindowHandle window, int32_t command) {
    Window* w = find_window(window);
    if (!w) return 0;
    bool was_visible = w->visible;
    w->visible = command != SW_HIDE;
    if (w->visible && !was_visible) w->needs_paint = true;
    if (!w->visible) w->needs_paint = false;
    sys_window_set_visible(window, w->visible);
    if (w->visible) sys_window_set_foreground(window);
    if (video() && w->visible != was_visible) video()->window_show(w->visible ? 1 : 0);
    return was_visible;
}

int32_t show_cursor(BOOL show) {
    int32_t before = user.cursor_count;
    user.cursor_count += show ? 1 : -1;
    bool was_shown = before >= 0, shown = user.cursor_count >= 0;
    if (was_shown != shown && video()) video()->cursor_show(shown ? 1 : 0);
    return user.cursor_count;
}

BOOL peek_message_a(MSG* message, WindowHandle, uint32_t, uint32_t, uint32_t remove) {
    if (!message) return 0;
    *message = {};
    // Window events first; WM_PAINT only when nothing else waits, as Windows orders them. The
    // queue is taken from the driver, so a peek without PM_REMOVE leaves it alone.
    if (video() && (remove & PM_REMOVE)) {
        VideoEvent event = {};
        while (video()->poll_event(&event)) {
            Window* w = event_window();
            if (!w) continue;  // no window to receive it: dropped, as the system would
            for (const EventMessage& m : kEventMessages) {
                if (m.event_kind != event.kind) continue;
                message->hwnd = w->handle;
                message->message = m.message;
                message->wParam = m.wparam;
                message->time = sys_get_tick_count();
                return 1;
            }
        }
    }
    for (auto& w : user.windows) {
        if (w.handle && w.needs_paint) {
            message->hwnd = w.handle;
            message->message = WM_PAINT;
            message->time = sys_get_tick_count();
            return 1;  // stays pending until BeginPaint (or DefWindowProcW) validates the window
        }
    }
    return 0;
}

BOOL translate_message(const MSG*) { return 0; }

LRESULT dispatch_message_a(const MSG* message) {
    if (!message) return 0;
    return send_message(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT send_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
    Window* w = find_window(window);
    if (!w) return 0;
    return user.classes[w->class_index].proc(window, message, wparam, lparam);
}

LRESULT def_window_proc_w(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
    Window* w = find_window(window);
    if (!w) return 0;
    (void)lparam;
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE) send_message(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        destroy_window(window);
        return 0;
    case WM_PAINT:
        w->needs_paint = false;
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return 0;
    }
}

HDC begin_paint(WindowHandle window, PAINTSTRUCT* paint) {
    Window* w = find_window(window);
    if (paint) *paint = {};
    if (!w) return nullptr;
    w->needs_paint = false;
    if (paint) paint->rcPaint = {0, 0, w->width, w->height};
    return nullptr;
}

BOOL end_paint(WindowHandle window, const PAINTSTRUCT*) { return is_window(window); }

uint32_t time_begin_period(uint32_t ms) {
    if (ms == 0) return 97;  // TIMERR_NOCANDO
    ++user.timer_requests;
    if (auto period = platform_backend()->system->timer_period) period(ms, true);
    return 0;
}

uint32_t time_end_period(uint32_t ms) {
    if (ms == 0 || user.timer_requests == 0) return 97;
    --user.timer_requests;
    if (auto period = platform_backend()->system->timer_period) period(ms, false);
    return 0;
}

bool user_window_info(WindowHandle window, UserWindowInfo* info) {
    Window* w = find_window(window);
    if (!w || !info) return false;
    *info = {user.classes[w->class_index].name.c_str(), w->title.c_str(), w->x, w->y, w->width, w->height,
             w->visible, w->needs_paint};
    return true;
}

int32_t user_timer_period_requests() { return user.timer_requests; }
int32_t user_cursor_count() { return user.cursor_count; }

int32_t user_window_class_count() {
    int32_t count = 0;
    for (auto& c : user.classes)
        if (!c.name.empty()) ++count;
    return count;
}
