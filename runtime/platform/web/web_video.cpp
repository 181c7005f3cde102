// Web video driver: the program's screen is a 2D canvas on the page, as big as the back buffer and
// scaled by the page to its window with the aspect kept (web_page.js). A frame is converted to
// RGBA with alpha 255 (X8R8G8B8 frames may hold anything in their fourth byte) and only its rows
// that differ from the frame shown are put on the canvas; every present then waits for the
// browser's next animation frame, so the program runs at the browser's refresh whatever rate the
// settings ask, and stops while the tab is hidden (the browser gives no animation frames then).
// The modes offered are the four layouts' sizes at the usual rates. A hidden page is a lost focus
// (and a lost device), a shown one a gained focus.
// Relies on: emscripten (EM_JS, EM_ASYNC_JS under ASYNCIFY), the page's script (web_page.js),
// video_driver.h, frame_changes.h.
#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/platform/d3d/frame_changes.h"
#include "runtime/platform/d3d/video_driver.h"

EM_JS(int, web_canvas_open, (int width, int height), { return Module.tarnwoodVideo.open(width, height); });
EM_JS(void, web_canvas_close, (), { Module.tarnwoodVideo.close(); });
EM_JS(void, web_canvas_put, (const uint8_t* rgba, int width, int height, int first, int count),
      { Module.tarnwoodVideo.put(rgba, width, height, first, count); });
EM_ASYNC_JS(void, web_next_animation_frame, (), { await Module.tarnwoodVideo.nextFrame(); });
EM_JS(void, web_set_title, (const char* utf8), { document.title = UTF8ToString(utf8); });
EM_JS(void, web_cursor_show, (int shown), { Module.tarnwoodVideo.showCursor(shown); });
EM_JS(int, web_take_page_event, (), { return Module.tarnwoodVideo.takeEvent(); });

namespace {

enum : int32_t { FORMAT_X8R8G8B8 = 22, FORMAT_R5G6B5 = 23, FORMAT_X1R5G5B5 = 24 };

// The sizes of the four layouts, each at these rates; the page shows them at the browser's own.
constexpr int32_t kSizes[][2] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
constexpr int32_t kRates[] = {60, 75, 85, 100, 120};
constexpr int32_t kModeCount = int32_t(sizeof kSizes / sizeof kSizes[0] * (sizeof kRates / sizeof kRates[0]));

struct WebVideo {
    int32_t users = 0;
    bool open = false;
    int32_t width = 0, height = 0, format = 0;
    bool canvas_current = false;  // the canvas shows the frame last handed to present
    bool repaint = true;
    int32_t device_state = VIDEO_DEVICE_OK;
    std::vector<uint8_t> rgba;
};

WebVideo video;

bool known_format(int32_t format) {
    return format == FORMAT_X8R8G8B8 || format == FORMAT_R5G6B5 || format == FORMAT_X1R5G5B5;
}

// A 5- or 6-bit channel widened to 8 bits by repeating its top bits.
inline uint8_t widen5(uint32_t v) { return uint8_t(v << 3 | v >> 2); }
inline uint8_t widen6(uint32_t v) { return uint8_t(v << 2 | v >> 4); }

void convert_rows(const VideoFrame& frame, int32_t first, int32_t count) {
    for (int32_t y = first; y < first + count; y++) {
        const uint8_t* src = frame.pixels + intptr_t(y) * frame.pitch;
        uint8_t* dst = video.rgba.data() + size_t(y) * size_t(frame.width) * 4;
        if (frame.format == FORMAT_X8R8G8B8) {
            for (int32_t x = 0; x < frame.width; x++, src += 4, dst += 4) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                dst[3] = 255;
            }
            continue;
        }
        for (int32_t x = 0; x < frame.width; x++, src += 2, dst += 4) {
            uint32_t v = uint32_t(src[0]) | uint32_t(src[1]) << 8;
            if (frame.format == FORMAT_R5G6B5) {
                dst[0] = widen5(v >> 11 & 31);
                dst[1] = widen6(v >> 5 & 63);
            } else {
                dst[0] = widen5(v >> 10 & 31);
                dst[1] = widen5(v >> 5 & 31);
            }
            dst[2] = widen5(v & 31);
            dst[3] = 255;
        }
    }
}

int start() {
    video.users++;
    return 1;
}

void screen_close() {
    if (video.open) web_canvas_close();
    video.open = false;
    video.canvas_current = false;
    video.rgba.clear();
    video.rgba.shrink_to_fit();
}

void stop() {
    if (video.users == 0 || --video.users > 0) return;
    screen_close();
    video = WebVideo();
}

int32_t mode_count(int32_t format) { return known_format(format) ? kModeCount : 0; }

int mode_get(int32_t format, int32_t index, VideoMode* mode) {
    if (!known_format(format) || !mode || index < 0 || index >= kModeCount) return 0;
    constexpr int32_t rates = int32_t(sizeof kRates / sizeof kRates[0]);
    *mode = {kSizes[index / rates][0], kSizes[index / rates][1], kRates[index % rates]};
    return 1;
}

void window_show(int) {}

void window_set_title(const char* utf8) { web_set_title(utf8 ? utf8 : ""); }

void cursor_show(int shown) { web_cursor_show(shown); }

int screen_open(int32_t width, int32_t height, int32_t format, int32_t, int) {
    if (video.users == 0 || !known_format(format) || width <= 0 || height <= 0) return 0;
    screen_close();
    video.rgba.assign(size_t(width) * size_t(height) * 4, 0);
    if (!web_canvas_open(width, height)) return 0;
    video.open = true;
    video.width = width;
    video.height = height;
    video.format = format;
    video.repaint = true;
    video.device_state = VIDEO_DEVICE_OK;
    return 1;
}

int present(const VideoFrame* frame) {
    if (!video.open || !frame || frame->width != video.width || frame->height != video.height) return 0;
    RowSpan changed = {0, video.height};
    if (video.canvas_current && !video.repaint) changed = frame_changed_rows(*frame);
    if (changed.count > 0) {
        convert_rows(*frame, changed.first, changed.count);
        web_canvas_put(video.rgba.data(), video.width, video.height, changed.first, changed.count);
        video.canvas_current = true;
        video.repaint = false;
    }
    web_next_animation_frame();
    return 1;
}

int poll_event(VideoEvent* event) {
    if (video.users == 0 || !event) return 0;
    int kind = web_take_page_event();
    if (kind == VIDEO_EVENT_FOCUS_LOST && video.open && video.device_state == VIDEO_DEVICE_OK)
        video.device_state = VIDEO_DEVICE_LOST;
    if (kind == VIDEO_EVENT_FOCUS_GAINED && video.device_state == VIDEO_DEVICE_LOST)
        video.device_state = VIDEO_DEVICE_NOT_RESET;
    event->kind = kind;
    return kind != VIDEO_EVENT_NONE;
}

int32_t device_state() { return video.device_state; }

int device_reset() {
    if (video.device_state == VIDEO_DEVICE_LOST || video.device_state == VIDEO_DEVICE_INTERNAL_ERROR) return 0;
    video.device_state = VIDEO_DEVICE_OK;
    video.repaint = true;
    return 1;
}

}  // namespace

extern const VideoDriver web_video_driver;
const VideoDriver web_video_driver = {start,        stop,        mode_count,   mode_get,     window_show,
                                      window_set_title, cursor_show, screen_open, screen_close, present,
                                      poll_event,   device_state, device_reset};
