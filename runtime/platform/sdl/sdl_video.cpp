// SDL video driver: the program window as a desktop-sized full-screen window at 0,0, the back
// buffer letterboxed into it at its own aspect ratio (a real mode switch only when the display
// offers the exact size and refresh rate), vertical sync as asked, the cursor hidden while the
// screen is open, focus changes as window events that also lose and recover the device.
// The window's X11 class is "MultimediaBase Class".
// Relies on: SDL2 (video subsystem through sdl_service.h), video_driver.h.
#include <SDL.h>

#include <cstdlib>

#include "runtime/platform/d3d/video_driver.h"
#include "runtime/platform/sdl/sdl_service.h"

namespace {
struct SdlVideo {
    bool started;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    int32_t width, height, format;
    int vsync;
    bool mode_switched;
    int32_t device_state;
};
SdlVideo video = {};

// Back-buffer formats and the SDL pixel formats that show them unchanged.
struct FormatPair {
    int32_t d3d;
    Uint32 sdl;
};
constexpr FormatPair kFormats[] = {
    {22, SDL_PIXELFORMAT_RGB888},  // X8R8G8B8
    {23, SDL_PIXELFORMAT_RGB565},  // R5G6B5
    {24, SDL_PIXELFORMAT_RGB555},  // X1R5G5B5
};

Uint32 sdl_format(int32_t d3d) {
    for (const auto& f : kFormats)
        if (f.d3d == d3d) return f.sdl;
    return SDL_PIXELFORMAT_UNKNOWN;
}

int start() {
    if (video.started) return 1;
    // Read by SDL's X11 driver when it creates the window.
    setenv("SDL_VIDEO_X11_WMCLASS", "MultimediaBase Class", 0);
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_WARP_MOTION, "0");
    if (!sdl_service_acquire(SDL_INIT_VIDEO)) return 0;
    SDL_DisplayMode desktop;
    int w = 1, h = 1;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        w = desktop.w;
        h = desktop.h;
    }
    video.window = SDL_CreateWindow("", 0, 0, w, h, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (!video.window) {
        sdl_service_release(SDL_INIT_VIDEO);
        return 0;
    }
    video.started = true;
    video.device_state = VIDEO_DEVICE_OK;
    return 1;
}

void close_screen() {
    if (video.texture) SDL_DestroyTexture(video.texture);
    if (video.renderer) SDL_DestroyRenderer(video.renderer);
    video.texture = nullptr;
    video.renderer = nullptr;
    if (video.mode_switched && video.window) SDL_SetWindowFullscreen(video.window, 0);
    video.mode_switched = false;
}

void stop() {
    if (!video.started) return;
    close_screen();
    SDL_DestroyWindow(video.window);
    sdl_service_release(SDL_INIT_VIDEO);
    video = SdlVideo{};
}

int32_t mode_count(int32_t format) {
    if (!video.started || sdl_format(format) == SDL_PIXELFORMAT_UNKNOWN) return 0;
    // Every frame is converted for the display, so each back-buffer format can use every mode.
    int n = SDL_GetNumDisplayModes(0);
    return n > 0 ? n : 0;
}

int mode_get(int32_t format, int32_t index, VideoMode* mode) {
    SDL_DisplayMode m;
    if (!mode || index < 0 || index >= mode_count(format) || SDL_GetDisplayMode(0, index, &m) != 0) return 0;
    *mode = {m.w, m.h, m.refresh_rate};
    return 1;
}

void window_show(int shown) {
    if (!video.window) return;
    if (shown) {
        SDL_ShowWindow(video.window);
        SDL_RaiseWindow(video.window);
    } else {
        SDL_HideWindow(video.window);
    }
}

void window_set_title(const char* utf8) {
    if (video.window) SDL_SetWindowTitle(video.window, utf8 ? utf8 : "");
}

void cursor_show(int shown) {
    if (video.started) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

// Switches the display mode only when it offers exactly the size and refresh rate asked for, and
// only keeps the switch when the mode in force afterwards is that one.
bool switch_mode(int32_t width, int32_t height, int32_t refresh_hz) {
    int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        if (m.w != width || m.h != height || (refresh_hz && m.refresh_rate != refresh_hz)) continue;
        if (SDL_SetWindowDisplayMode(video.window, &m) != 0) return false;
        if (SDL_SetWindowFullscreen(video.window, SDL_WINDOW_FULLSCREEN) != 0) return false;
        SDL_DisplayMode now;
        if (SDL_GetWindowDisplayMode(video.window, &now) == 0 && now.w == width && now.h == height &&
            (!refresh_hz || now.refresh_rate == refresh_hz))
            return true;
        SDL_SetWindowFullscreen(video.window, 0);
        return false;
    }
    return false;
}

int screen_open(int32_t width, int32_t height, int32_t format, int32_t refresh_hz, int vsync) {
    if (!video.started) return 0;
    close_screen();
    Uint32 pixel_format = sdl_format(format);
    if (pixel_format == SDL_PIXELFORMAT_UNKNOWN) return 0;
    video.mode_switched = switch_mode(width, height, refresh_hz);
    if (!video.mode_switched) {
        SDL_DisplayMode desktop;
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            SDL_SetWindowPosition(video.window, 0, 0);
            SDL_SetWindowSize(video.window, desktop.w, desktop.h);
        }
    }
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, vsync ? "1" : "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    video.renderer = SDL_CreateRenderer(video.window, -1, vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (!video.renderer) video.renderer = SDL_CreateRenderer(video.window, -1, SDL_RENDERER_SOFTWARE);
    if (!video.renderer) return 0;
    SDL_RenderSetLogicalSize(video.renderer, width, height);
    video.texture = SDL_CreateTexture(video.renderer, pixel_format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!video.texture) {
        close_screen();
        return 0;
    }
    video.width = width;
    video.height = height;
    video.format = format;
    video.vsync = vsync;
    video.device_state = VIDEO_DEVICE_OK;
    return 1;
}

int present(const VideoFrame* frame) {
    if (!video.renderer || !frame || frame->width != video.width || frame->height != video.height ||
        frame->format != video.format)
        return 0;
    if (SDL_UpdateTexture(video.texture, nullptr, frame->pixels, frame->pitch) != 0) return 0;
    SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
    SDL_RenderClear(video.renderer);
    SDL_RenderCopy(video.renderer, video.texture, nullptr, nullptr);
    SDL_RenderPresent(video.renderer);
    return 1;
}

int poll_event(VideoEvent* event) {
    if (!video.started) return 0;
    SDL_PumpEvents();
    SDL_Event e;
    // Only window and quit events: keyboard and mouse events stay queued for the input devices.
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_QUIT, SDL_SYSWMEVENT) > 0) {
        if (e.type == SDL_QUIT) {
            event->kind = VIDEO_EVENT_CLOSE;
            return 1;
        }
        if (e.type != SDL_WINDOWEVENT) continue;
        switch (e.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                if (video.device_state == VIDEO_DEVICE_LOST) video.device_state = VIDEO_DEVICE_NOT_RESET;
                event->kind = VIDEO_EVENT_FOCUS_GAINED;
                return 1;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                if (video.renderer) video.device_state = VIDEO_DEVICE_LOST;
                event->kind = VIDEO_EVENT_FOCUS_LOST;
                return 1;
            case SDL_WINDOWEVENT_CLOSE:
                event->kind = VIDEO_EVENT_CLOSE;
                return 1;
            default:
                break;
        }
    }
    return 0;
}

int32_t device_state() { return video.device_state; }

int device_reset() {
    if (video.device_state == VIDEO_DEVICE_LOST || video.device_state == VIDEO_DEVICE_INTERNAL_ERROR) return 0;
    video.device_state = VIDEO_DEVICE_OK;
    return 1;
}
}  // namespace

extern const VideoDriver sdl_video_driver;
const VideoDriver sdl_video_driver = {start,        stop,          mode_count,  mode_get, window_show,
                                      window_set_title, cursor_show, screen_open, close_screen, present,
                                      poll_event,   device_state,  device_reset};
