// SDL video driver: the program window as a desktop-sized full-screen window with the back buffer
// letterboxed at its own aspect ratio (a real mode switch only when the display offers exactly the
// size and refresh rate asked for), vertical sync on or off as asked, the window class
// "MultimediaBase Class", focus changes as window events that also lose the device, close requests
// passed on (the program ignores them). Only window and render events are taken from SDL's queue.
// The presenter shows only what changed: the texture holds the frame last presented, so a frame
// uploads just the rows in which it differs from that one (the flip chain hands over both) and
// presents; a frame without change is not presented again and, with vertical sync, waits for the
// next refresh tick instead, as the present would have. An uncovered window is repainted from the
// texture.
// Relies on: SDL2, sdl_service.h, video_driver.h, frame_changes.h, POSIX monotonic clock.
#include <SDL.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/platform/d3d/frame_changes.h"
#include "runtime/platform/d3d/video_driver.h"
#include "runtime/platform/sdl/sdl_service.h"

namespace {

enum : int32_t { FORMAT_X8R8G8B8 = 22, FORMAT_R5G6B5 = 23, FORMAT_X1R5G5B5 = 24 };

struct SdlVideo {
    int32_t users;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    int32_t width, height, format;
    std::string title;
    bool shown;
    bool cursor_shown;
    int32_t device_state;
    bool vsync;
    bool texture_current;  // the texture holds the frame last handed to present
    bool repaint;          // the next present uploads and shows the whole frame, changed or not
    RefreshPacer pacer;
};

SdlVideo video = {0,     nullptr, nullptr, nullptr, 0, 0, 0, std::string(), true, true, VIDEO_DEVICE_OK,
                  false, false,   false,   RefreshPacer()};

// Window events after which the window's contents must be drawn again.
constexpr uint8_t kRepaintEvents[] = {SDL_WINDOWEVENT_SHOWN, SDL_WINDOWEVENT_EXPOSED, SDL_WINDOWEVENT_SIZE_CHANGED,
                                      SDL_WINDOWEVENT_MAXIMIZED, SDL_WINDOWEVENT_RESTORED};

uint64_t now_us() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

void sleep_until_us(uint64_t when_us) {
    timespec ts{time_t(when_us / 1000000u), long(when_us % 1000000u) * 1000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// The refresh rate the window is shown at: its display mode's, else the desktop's (0: unknown).
int32_t window_refresh_hz() {
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(video.window, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
    return 0;
}

// Shows the texture letterboxed on black.
void show_texture() {
    SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
    SDL_RenderClear(video.renderer);
    SDL_RenderCopy(video.renderer, video.texture, nullptr, nullptr);
    SDL_RenderPresent(video.renderer);
    if (video.vsync) video.pacer.presented(now_us());
}

// The display's modes, each size and rate once. Every mode serves every back-buffer format: the
// presenter converts, so 16-bit screens work on 24-bit desktops.
std::vector<VideoMode> display_modes() {
    std::vector<VideoMode> modes;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        VideoMode mode = {m.w, m.h, m.refresh_rate};
        bool seen = false;
        for (const VideoMode& other : modes)
            seen |= other.width == mode.width && other.height == mode.height && other.refresh_hz == mode.refresh_hz;
        if (!seen) modes.push_back(mode);
    }
    return modes;
}

bool known_format(int32_t format) {
    return format == FORMAT_X8R8G8B8 || format == FORMAT_R5G6B5 || format == FORMAT_X1R5G5B5;
}

int start() {
    if (video.users == 0) {
        // X11 takes the window class from this variable when the window is made.
        setenv("SDL_VIDEO_X11_WMCLASS", "MultimediaBase Class", 1);
        if (!sdl_service_acquire(SDL_INIT_VIDEO)) return 0;
    }
    video.users++;
    return 1;
}

void destroy_screen() {
    video.texture_current = false;
    if (video.texture) SDL_DestroyTexture(video.texture);
    if (video.renderer) SDL_DestroyRenderer(video.renderer);
    if (video.window) SDL_DestroyWindow(video.window);
    video.texture = nullptr;
    video.renderer = nullptr;
    video.window = nullptr;
}

void stop() {
    if (video.users == 0) return;
    if (--video.users > 0) return;
    destroy_screen();
    if (!video.cursor_shown) SDL_ShowCursor(SDL_ENABLE);
    sdl_service_release(SDL_INIT_VIDEO);
    video = SdlVideo{0,     nullptr, nullptr, nullptr, 0, 0, 0, std::string(), true, true, VIDEO_DEVICE_OK,
                     false, false,   false,   RefreshPacer()};
}

int32_t mode_count(int32_t format) { return known_format(format) ? int32_t(display_modes().size()) : 0; }

int mode_get(int32_t format, int32_t index, VideoMode* mode) {
    if (!known_format(format) || !mode) return 0;
    std::vector<VideoMode> modes = display_modes();
    if (index < 0 || size_t(index) >= modes.size()) return 0;
    *mode = modes[size_t(index)];
    return 1;
}

void window_show(int shown) {
    video.shown = shown != 0;
    if (!video.window) return;
    if (shown) {
        SDL_ShowWindow(video.window);
        SDL_RaiseWindow(video.window);
    } else {
        SDL_HideWindow(video.window);
    }
}

void window_set_title(const char* utf8) {
    video.title = utf8 ? utf8 : "";
    if (video.window) SDL_SetWindowTitle(video.window, video.title.c_str());
}

void cursor_show(int shown) {
    video.cursor_shown = shown != 0;
    if (video.users > 0) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

// A real mode switch for the exact size and rate, if the display has it; false otherwise.
bool switch_mode(int32_t width, int32_t height, int32_t refresh_hz) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) return false;
    if (desktop.w == width && desktop.h == height && (refresh_hz == 0 || desktop.refresh_rate == refresh_hz)) return false;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        if (m.w != width || m.h != height || (refresh_hz != 0 && m.refresh_rate != refresh_hz)) continue;
        if (SDL_SetWindowDisplayMode(video.window, &m) != 0) return false;
        if (SDL_SetWindowFullscreen(video.window, SDL_WINDOW_FULLSCREEN) != 0) return false;
        // SDL falls back silently when the mode does not take: compare with what was asked.
        SDL_DisplayMode got;
        if (SDL_GetWindowDisplayMode(video.window, &got) == 0 && got.w == width && got.h == height) return true;
        SDL_SetWindowFullscreen(video.window, 0);
        return false;
    }
    return false;
}

int screen_open(int32_t width, int32_t height, int32_t format, int32_t refresh_hz, int vsync) {
    if (video.users == 0 || !known_format(format) || width <= 0 || height <= 0) return 0;
    destroy_screen();
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) desktop.w = width, desktop.h = height;
    uint32_t flags = SDL_WINDOW_BORDERLESS | (video.shown ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    video.window = SDL_CreateWindow(video.title.c_str(), 0, 0, desktop.w, desktop.h, flags);
    if (!video.window) return 0;
    if (!switch_mode(width, height, refresh_hz)) SDL_SetWindowFullscreen(video.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    // The mouse device reports the mouse's own motion, as a buffered mouse device does. A renderer
    // with a logical size would otherwise scale relative motion by the letterboxing of a screen
    // smaller than the desktop (0.8 for 1024x768 on 1280x1024); it reads this hint when it is made.
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_SCALING, "0");
    uint32_t renderer_flags = vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
    video.renderer = SDL_CreateRenderer(video.window, -1, renderer_flags);
    if (!video.renderer) video.renderer = SDL_CreateRenderer(video.window, -1, renderer_flags | SDL_RENDERER_SOFTWARE);
    if (!video.renderer) {
        destroy_screen();
        return 0;
    }
    SDL_RenderSetLogicalSize(video.renderer, width, height);  // letterboxed at the back buffer's aspect
    uint32_t pixel_format = format == FORMAT_X8R8G8B8 ? SDL_PIXELFORMAT_RGB888
                            : format == FORMAT_R5G6B5 ? SDL_PIXELFORMAT_RGB565
                                                      : SDL_PIXELFORMAT_RGB555;
    video.texture = SDL_CreateTexture(video.renderer, pixel_format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!video.texture) {
        destroy_screen();
        return 0;
    }
    video.width = width;
    video.height = height;
    video.format = format;
    video.device_state = VIDEO_DEVICE_OK;
    video.vsync = vsync != 0;
    video.texture_current = false;
    video.repaint = true;
    video.pacer = RefreshPacer();
    video.pacer.set_rate(window_refresh_hz());
    SDL_ShowCursor(video.cursor_shown ? SDL_ENABLE : SDL_DISABLE);
    if (video.shown) SDL_RaiseWindow(video.window);
    return 1;
}

void screen_close() { destroy_screen(); }

int present(const VideoFrame* frame) {
    if (!video.texture || !frame || frame->width != video.width || frame->height != video.height) return 0;
    RowSpan changed = {0, video.height};
    if (video.texture_current && !video.repaint) changed = frame_changed_rows(*frame);
    if (changed.count == 0) {
        // The frame on screen stays: no upload, no present. With vertical sync the present would
        // have waited for the next refresh, so the frame does.
        if (video.vsync) sleep_until_us(video.pacer.next_tick(now_us()));
        return 1;
    }
    SDL_Rect rows = {0, changed.first, video.width, changed.count};
    if (SDL_UpdateTexture(video.texture, &rows, frame->pixels + intptr_t(changed.first) * frame->pitch,
                          frame->pitch) != 0) {
        video.texture_current = false;  // it may hold part of the frame: upload everything next time
        return 0;
    }
    video.texture_current = true;
    video.repaint = false;
    show_texture();
    return 1;
}

int poll_event(VideoEvent* event) {
    if (video.users == 0 || !event) return 0;
    SDL_PumpEvents();
    SDL_Event e;
    // Window and render events only; the keyboard and mouse drivers take their own event types.
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_QUIT, SDL_QUIT) == 1 ||
           SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT) == 1 ||
           SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_RENDER_TARGETS_RESET, SDL_RENDER_DEVICE_RESET) == 1) {
        if (e.type == SDL_QUIT) {
            event->kind = VIDEO_EVENT_CLOSE;
            return 1;
        }
        if (e.type != SDL_WINDOWEVENT) {
            // The renderer lost what it held: the next present uploads and shows the whole frame.
            video.texture_current = false;
            continue;
        }
        bool repaint = false;
        for (uint8_t kind : kRepaintEvents) repaint |= e.window.event == kind;
        if (repaint) {
            // Uncovered (or shown, or resized): the frame on screen is drawn again at once, also
            // while the program is switched away and presents nothing.
            if (video.texture && video.texture_current) show_texture();
            continue;
        }
        switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            if (video.device_state == VIDEO_DEVICE_LOST) video.device_state = VIDEO_DEVICE_NOT_RESET;
            event->kind = VIDEO_EVENT_FOCUS_GAINED;
            return 1;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (video.texture && video.device_state == VIDEO_DEVICE_OK) video.device_state = VIDEO_DEVICE_LOST;
            event->kind = VIDEO_EVENT_FOCUS_LOST;
            return 1;
        case SDL_WINDOWEVENT_CLOSE:
            event->kind = VIDEO_EVENT_CLOSE;
            return 1;
        default:
            break;  // moves, enter and leave: nothing to do
        }
    }
    return 0;
}

int32_t device_state() { return video.device_state; }

int device_reset() {
    if (video.device_state == VIDEO_DEVICE_LOST || video.device_state == VIDEO_DEVICE_INTERNAL_ERROR) return 0;
    video.device_state = VIDEO_DEVICE_OK;
    video.repaint = true;  // the first frame after the reset is shown whole
    return 1;
}

}  // namespace

extern const VideoDriver sdl_video_driver;
const VideoDriver sdl_video_driver = {start,        stop,        mode_count,   mode_get,     window_show,
                                      window_set_title, cursor_show, screen_open, screen_close, present,
                                      poll_event,   device_state, device_reset};
