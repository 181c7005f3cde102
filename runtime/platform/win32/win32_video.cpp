// The Windows video driver: display modes from EnumDisplaySettingsW, a real mode switch
// (ChangeDisplaySettingsExW, exact size and rate) when the monitor has the mode, else a borderless
// window over the whole desktop with the frame letterboxed; frames drawn with StretchDIBits.
// Deactivation gives the desktop mode back and loses the device; activation switches again and
// leaves the device not-reset until the stand-in resets it. Closing, and a crash, give the desktop
// mode back too. Vertical sync: one frame per refresh
// (DwmFlush where composition runs, else a wait to the next refresh period). A frame equal to the
// one on screen is not drawn again unless the window lost its picture (WM_PAINT, activation).
// Relies on: user32, gdi32, win32_window.h, video_driver.h, frame_changes.h (which rows changed).
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/foundation/strings.h"
#include "runtime/platform/d3d/frame_changes.h"
#include "runtime/platform/d3d/video_driver.h"
#include "runtime/platform/win32/win32_window.h"

namespace {
struct VideoState {
    int users;
    bool screen_open;
    bool switched;  // the display mode is ours
    DEVMODEW mode;  // the one switched to
    int32_t width, height, format, refresh_hz;
    int vsync;
    int32_t device_state;
    bool cursor_shown;
    LARGE_INTEGER next_frame;
};
VideoState video = {};

// Direct3D formats and the colour depths they need.
int32_t bits_of(int32_t format) { return format == 22 ? 32 : (format == 23 || format == 24) ? 16 : 0; }

std::vector<Win32Mode> all_modes() {
    std::vector<Win32Mode> out;
    DEVMODEW dm = {};
    dm.dmSize = sizeof dm;
    for (DWORD i = 0; EnumDisplaySettingsW(nullptr, i, &dm); ++i)
        out.push_back({int32_t(dm.dmPelsWidth), int32_t(dm.dmPelsHeight), int32_t(dm.dmBitsPerPel),
                       int32_t(dm.dmDisplayFrequency)});
    return out;
}

std::vector<Win32Mode> modes_of(int32_t format) {
    std::vector<Win32Mode> out;
    int32_t bits = bits_of(format);
    for (const Win32Mode& m : all_modes()) {
        if (m.bits != bits) continue;
        bool seen = false;
        for (const Win32Mode& o : out) seen = seen || (o.width == m.width && o.height == m.height && o.refresh_hz == m.refresh_hz);
        if (!seen) out.push_back(m);
    }
    return out;
}

HWND window() { return HWND(win32_window().hwnd); }

bool switch_mode() {
    std::vector<Win32Mode> modes = all_modes();
    int bits = bits_of(video.format);
    int index = win32_choose_mode(modes.data(), int(modes.size()), video.width, video.height, bits, video.refresh_hz);
    if (index < 0) index = win32_choose_mode(modes.data(), int(modes.size()), video.width, video.height, 32, video.refresh_hz);
    if (index < 0) return false;
    DEVMODEW dm = {};
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = DWORD(modes[size_t(index)].width);
    dm.dmPelsHeight = DWORD(modes[size_t(index)].height);
    dm.dmBitsPerPel = DWORD(modes[size_t(index)].bits);
    dm.dmDisplayFrequency = DWORD(modes[size_t(index)].refresh_hz);
    dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | (dm.dmDisplayFrequency ? DM_DISPLAYFREQUENCY : 0);
    if (ChangeDisplaySettingsExW(nullptr, &dm, nullptr, CDS_FULLSCREEN, nullptr) != DISP_CHANGE_SUCCESSFUL) return false;
    video.mode = dm;
    return true;
}

void restore_mode() {
    if (!video.switched) return;
    ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
}

// The window over the whole monitor (the switched mode's, or the desktop's).
void cover_monitor() {
    HMONITOR monitor = MonitorFromWindow(window(), MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    RECT r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(monitor, &info)) r = info.rcMonitor;
    SetWindowPos(window(), HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_SHOWWINDOW);
}

void on_activate(bool active) {
    if (!video.screen_open) return;
    if (active) {
        if (video.switched) switch_mode();
        ShowWindow(window(), SW_RESTORE);
        cover_monitor();
        if (video.device_state == VIDEO_DEVICE_LOST) video.device_state = VIDEO_DEVICE_NOT_RESET;
    } else {
        video.device_state = VIDEO_DEVICE_LOST;
        restore_mode();
        // Out of the way of the program switched to; the desktop mode is back.
        SetWindowPos(window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ShowWindow(window(), SW_MINIMIZE);
    }
}

// A crash must not leave the player in the game's display mode either.
LONG WINAPI restore_on_crash(EXCEPTION_POINTERS*) {
    if (video.switched) ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
    return EXCEPTION_CONTINUE_SEARCH;
}

int start() {
    if (video.users++ > 0) return 1;
    SetUnhandledExceptionFilter(restore_on_crash);
    if (!win32_window_create()) {
        video.users = 0;
        return 0;
    }
    win32_on_activate = on_activate;
    video.cursor_shown = true;
    return 1;
}

void screen_close_now();

void stop() {
    if (video.users <= 0 || --video.users > 0) return;
    screen_close_now();
    win32_on_activate = nullptr;
    if (!video.cursor_shown) ShowCursor(TRUE);
    win32_window_destroy();
    video = VideoState();
}

int32_t mode_count(int32_t format) { return int32_t(modes_of(format).size()); }

int mode_get(int32_t format, int32_t index, VideoMode* mode) {
    std::vector<Win32Mode> modes = modes_of(format);
    if (!mode || index < 0 || size_t(index) >= modes.size()) return 0;
    *mode = {modes[size_t(index)].width, modes[size_t(index)].height, modes[size_t(index)].refresh_hz};
    return 1;
}

void window_show(int shown) {
    if (!window()) return;
    ShowWindow(window(), shown ? SW_SHOW : SW_HIDE);
    if (shown) {
        SetForegroundWindow(window());
        SetFocus(window());
    }
}

void window_set_title(const char* utf8) {
    if (!window() || !utf8) return;
    std::u16string title = str_from_utf8(utf8, std::strlen(utf8));
    std::wstring wide(title.begin(), title.end());
    SetWindowTextW(window(), wide.c_str());
}

void cursor_show(int shown) {
    if (bool(shown) == video.cursor_shown) return;
    video.cursor_shown = shown != 0;
    ShowCursor(shown ? TRUE : FALSE);
}

int screen_open(int32_t width, int32_t height, int32_t format, int32_t refresh_hz, int vsync) {
    if (!window() || !bits_of(format)) return 0;
    screen_close_now();
    video.width = width;
    video.height = height;
    video.format = format;
    video.refresh_hz = refresh_hz;
    video.vsync = vsync;
    video.switched = switch_mode();
    video.screen_open = true;
    video.device_state = VIDEO_DEVICE_OK;
    video.next_frame.QuadPart = 0;
    win32_window().needs_repaint = true;
    cover_monitor();
    SetForegroundWindow(window());
    return 1;
}

void screen_close_now() {
    if (!video.screen_open) return;
    restore_mode();
    video.switched = false;
    video.screen_open = false;
    if (window()) ShowWindow(window(), SW_HIDE);
}

void screen_close() { screen_close_now(); }

// One frame per refresh: the compositor's beat where it runs, else the refresh period.
void pace() {
    using DwmFlushFn = HRESULT(WINAPI*)();
    using DwmEnabledFn = HRESULT(WINAPI*)(BOOL*);
    static HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    static auto flush = dwm ? reinterpret_cast<DwmFlushFn>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmFlush"))) : nullptr;
    static auto enabled = dwm ? reinterpret_cast<DwmEnabledFn>(
                                    reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")))
                              : nullptr;
    BOOL composing = FALSE;
    if (flush && enabled && enabled(&composing) == S_OK && composing && flush() == S_OK) return;
    int32_t hz = video.refresh_hz > 0 ? video.refresh_hz : int32_t(video.mode.dmDisplayFrequency);
    if (hz <= 0) hz = 60;
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    LONGLONG period = frequency.QuadPart / hz;
    if (video.next_frame.QuadPart == 0 || now.QuadPart - video.next_frame.QuadPart > period)
        video.next_frame.QuadPart = now.QuadPart;  // first frame, or far behind: no catching up
    // One sleep to the tick, rounded up (the timer period is 1 ms while the screen is open): a
    // frame may end up to a millisecond late, but the wait never spins.
    if (now.QuadPart < video.next_frame.QuadPart) {
        LONGLONG ms = ((video.next_frame.QuadPart - now.QuadPart) * 1000 + frequency.QuadPart - 1) / frequency.QuadPart;
        Sleep(DWORD(ms));
    }
    video.next_frame.QuadPart += period;
}

// Whether the frame equals the one presented before it (the flip chain's other buffer, laid out
// alike), which the window still shows.
bool unchanged(const VideoFrame* frame) { return frame->previous && frame_changed_rows(*frame).count == 0; }

int present(const VideoFrame* frame) {
    if (!frame || !video.screen_open || video.device_state != VIDEO_DEVICE_OK || !window()) return 0;
    // A frame like the one on screen is not drawn again: a menu at rest then costs the comparison
    // alone. With vertical sync it still takes its refresh, as the present would have.
    if (!win32_window().needs_repaint && unchanged(frame)) {
        if (video.vsync) pace();
        return 1;
    }
    RECT client;
    GetClientRect(window(), &client);
    Win32Rect box = win32_letterbox(frame->width, frame->height, client.right, client.bottom);
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info = {};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = frame->pitch / (frame->format == 22 ? 4 : 2);
    info.header.biHeight = -frame->height;  // top row first
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(bits_of(frame->format));
    info.header.biCompression = frame->format == 22 ? BI_RGB : BI_BITFIELDS;
    if (frame->format == 23) {
        info.masks[0] = 0xF800;
        info.masks[1] = 0x07E0;
        info.masks[2] = 0x001F;
    } else if (frame->format == 24) {
        info.masks[0] = 0x7C00;
        info.masks[1] = 0x03E0;
        info.masks[2] = 0x001F;
    }
    if (video.vsync) pace();
    HDC dc = GetDC(window());
    if (!dc) return 0;
    // The bars around the picture.
    HBRUSH black = HBRUSH(GetStockObject(BLACK_BRUSH));
    RECT bars[4] = {{0, 0, client.right, box.y},
                    {0, box.y + box.height, client.right, client.bottom},
                    {0, box.y, box.x, box.y + box.height},
                    {box.x + box.width, box.y, client.right, box.y + box.height}};
    for (const RECT& bar : bars)
        if (bar.right > bar.left && bar.bottom > bar.top) FillRect(dc, &bar, black);
    SetStretchBltMode(dc, COLORONCOLOR);
    int lines = StretchDIBits(dc, box.x, box.y, box.width, box.height, 0, 0, frame->width, frame->height,
                              frame->pixels, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(window(), dc);
    if (lines > 0) win32_window().needs_repaint = false;
    static bool first = true;
    if (first && lines > 0) {
        // A mark for debuggers and start-up measurements (under Wine: WINEDEBUG=+debugstr).
        first = false;
        OutputDebugStringW(L"Tarnwood: first frame presented\n");
    }
    return lines > 0 ? 1 : 0;
}

int poll_event(VideoEvent* event) {
    win32_window_pump();
    auto& events = win32_window().window_events;
    if (events.empty()) return 0;
    if (event) *event = events.front();
    events.pop_front();
    return 1;
}

int32_t device_state() { return video.device_state; }

int device_reset() {
    if (video.device_state == VIDEO_DEVICE_NOT_RESET) video.device_state = VIDEO_DEVICE_OK;
    return video.device_state == VIDEO_DEVICE_OK;
}
}  // namespace

extern const VideoDriver win32_video_driver;
const VideoDriver win32_video_driver = {start,       stop,         mode_count, mode_get,   window_show,
                                        window_set_title, cursor_show, screen_open, screen_close, present,
                                        poll_event,  device_state, device_reset};
