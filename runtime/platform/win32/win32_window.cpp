// The Windows backend's window: class "MultimediaBase Class", a borderless popup; its procedure
// turns activation into focus events, a close request into a close event (the window stays), key
// messages into scan-code events and mouse messages (Raw Input where the system delivers it) into
// relative motion, buttons and wheel steps. Also the backend's pure helpers (letterbox, scan
// codes, mode choice).
// Relies on: user32, win32_window.h.
#include "runtime/platform/win32/win32_window.h"

#include <windows.h>

#include <climits>
#include <cstdlib>

namespace {
Win32WindowState state;
constexpr wchar_t kClassName[] = L"MultimediaBase Class";
bool class_registered = false;

uint32_t now() { return GetTickCount(); }

void push_input(InputEventKind kind, uint8_t code, int32_t dx, int32_t dy) {
    if (state.input_events.size() >= 4096) state.input_events.pop_front();  // nobody reads: keep the newest
    state.input_events.push_back({kind, code, dx, dy, now()});
}

// Mouse buttons of the window messages, in DirectInput's order.
struct ButtonMessage {
    UINT message;
    uint8_t button;
    bool down;
};
constexpr ButtonMessage kButtonMessages[] = {
    {WM_LBUTTONDOWN, 0, true}, {WM_LBUTTONUP, 0, false}, {WM_RBUTTONDOWN, 1, true},
    {WM_RBUTTONUP, 1, false},  {WM_MBUTTONDOWN, 2, true}, {WM_MBUTTONUP, 2, false},
};

// While the pointer is captured the hidden system pointer is kept in the middle of the window,
// whatever reported the motion (Raw Input or mouse messages): it then never stops at an edge of
// the screen, so the motion reported never depends on where it was (Wine's raw deltas follow the
// system pointer and stop with it). (x, y): where the system pointer is, in client coordinates.
// Where a warp may not land where it aimed (a clip rectangle, a display mode being changed, Wine
// mapping its screen), the place it landed counts as the middle: warping again from there would
// make every warp's own mouse message warp once more, without end.
POINT warp_landed = {INT_MIN, INT_MIN};

void keep_centred(int32_t x, int32_t y) {
    if (!state.captured || !state.hwnd) return;
    RECT r;
    if (!GetClientRect(HWND(state.hwnd), &r)) return;
    POINT centre = {(r.right - r.left) / 2, (r.bottom - r.top) / 2};
    if ((x == centre.x && y == centre.y) || (x == warp_landed.x && y == warp_landed.y)) return;
    // Back to the middle only once the pointer has left the window's middle half: far enough
    // from every edge for any one motion, and a warp (a round trip through the system) is rare.
    if (std::abs(x - centre.x) < centre.x / 2 && std::abs(y - centre.y) < centre.y / 2) return;
    state.last_x = centre.x;
    state.last_y = centre.y;
    state.have_last = true;
    ClientToScreen(HWND(state.hwnd), &centre);
    SetCursorPos(centre.x, centre.y);
    POINT landed;
    // Still where it was: the warp is not through yet (Wine applies it later), nothing learnt.
    if (GetCursorPos(&landed) && ScreenToClient(HWND(state.hwnd), &landed) && (landed.x != x || landed.y != y))
        warp_landed = landed;
}

void raw_input(LPARAM lparam) {
    RAWINPUT raw;
    UINT size = sizeof raw;
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) ==
            UINT(-1) ||
        raw.header.dwType != RIM_TYPEMOUSE)
        return;
    const RAWMOUSE& m = raw.data.mouse;
    if (!(m.usFlags & MOUSE_MOVE_ABSOLUTE) && (m.lLastX || m.lLastY)) {
        state.raw_mouse = true;
        push_input(INPUT_MOUSE_MOTION, 0, m.lLastX, m.lLastY);
        POINT at;
        if (state.captured && GetCursorPos(&at) && ScreenToClient(HWND(state.hwnd), &at)) keep_centred(at.x, at.y);
    }
}

void pointer_moved(LPARAM lparam) {
    int32_t x = int16_t(LOWORD(lparam)), y = int16_t(HIWORD(lparam));
    // With Raw Input the motion comes from there; the messages only tell where the pointer is.
    if (!state.raw_mouse && state.have_last && (x != state.last_x || y != state.last_y))
        push_input(INPUT_MOUSE_MOTION, 0, x - state.last_x, y - state.last_y);
    state.last_x = x;
    state.last_y = y;
    state.have_last = true;
    keep_centred(x, y);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ACTIVATEAPP: {
            bool active = wparam != 0;
            if (active) state.needs_repaint = true;
            if (active != state.active) {
                state.active = active;
                state.window_events.push_back({active ? VIDEO_EVENT_FOCUS_GAINED : VIDEO_EVENT_FOCUS_LOST});
                if (win32_on_activate) win32_on_activate(active);
            }
            return 0;
        }
        case WM_CLOSE:
            state.window_events.push_back({VIDEO_EVENT_CLOSE});
            return 0;
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_KEYMENU || (wparam & 0xFFF0) == SC_SCREENSAVE) return 0;
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            uint8_t code = win32_scan_code(uint32_t(lparam));
            bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
            if (code) push_input(down ? INPUT_KEY_DOWN : INPUT_KEY_UP, code, 0, 0);
            if (message == WM_SYSKEYDOWN && wparam == VK_F4) break;  // Alt+F4 becomes WM_CLOSE
            return 0;
        }
        case WM_INPUT:
            raw_input(lparam);
            break;  // DefWindowProc cleans up after the raw input
        case WM_MOUSEMOVE:
            pointer_moved(lparam);
            return 0;
        case WM_MOUSEWHEEL:
            push_input(INPUT_MOUSE_WHEEL, 0, int16_t(HIWORD(wparam)), 0);
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lparam) == HTCLIENT) {
                SetCursor(nullptr);
                return TRUE;
            }
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            // The frame is drawn by the next present, which the frame loop makes within a refresh.
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            state.needs_repaint = true;
            return 0;
        }
        case WM_SIZE:
            state.needs_repaint = true;
            break;
        default:
            for (const ButtonMessage& b : kButtonMessages) {
                if (b.message == message) {
                    push_input(b.down ? INPUT_BUTTON_DOWN : INPUT_BUTTON_UP, b.button, 0, 0);
                    if (b.down) SetCapture(hwnd);
                    else ReleaseCapture();
                    return 0;
                }
            }
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}
}  // namespace

void (*win32_on_activate)(bool active) = nullptr;

Win32Rect win32_letterbox(int32_t fw, int32_t fh, int32_t tw, int32_t th) {
    if (fw <= 0 || fh <= 0 || tw <= 0 || th <= 0) return {0, 0, 0, 0};
    // Compare fw/fh with tw/th in integers: the wider side decides.
    int32_t w, h;
    if (int64_t(tw) * fh <= int64_t(th) * fw) {
        w = tw;
        h = int32_t(int64_t(fh) * tw / fw);
    } else {
        h = th;
        w = int32_t(int64_t(fw) * th / fh);
    }
    return {(tw - w) / 2, (th - h) / 2, w, h};
}

uint8_t win32_scan_code(uint32_t lparam) {
    uint32_t code = (lparam >> 16) & 0xFF;
    if (code == 0 || code >= 0x80) return 0;
    if (lparam & (1u << 24)) code |= 0x80;
    return uint8_t(code);
}

int win32_choose_mode(const Win32Mode* modes, int count, int32_t width, int32_t height, int32_t bits, int32_t refresh) {
    int chosen = -1;
    for (int i = 0; i < count; ++i) {
        const Win32Mode& m = modes[i];
        if (m.width != width || m.height != height || m.bits != bits) continue;
        if (refresh > 0) {
            if (m.refresh_hz == refresh) return i;
        } else if (chosen < 0 || m.refresh_hz > modes[chosen].refresh_hz) {
            chosen = i;
        }
    }
    return chosen;
}

Win32WindowState& win32_window() { return state; }

bool win32_window_create() {
    if (state.hwnd) return true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!class_registered) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = window_proc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        wc.hbrBackground = HBRUSH(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc)) return false;
        class_registered = true;
    }
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, kClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                                nullptr);
    if (!hwnd) return false;
    state = Win32WindowState();
    state.hwnd = hwnd;
    // Raw mouse motion, unaccelerated; the window messages still carry buttons and the wheel.
    RAWINPUTDEVICE mouse = {0x01, 0x02, 0, hwnd};
    RegisterRawInputDevices(&mouse, 1, sizeof mouse);
    return true;
}

void win32_window_destroy() {
    if (!state.hwnd) return;
    DestroyWindow(HWND(state.hwnd));
    state = Win32WindowState();
    win32_window_pump();
}

void win32_window_pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
