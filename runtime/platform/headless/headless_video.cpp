// Headless video driver: display modes set by tests, the last few presented frames kept in
// memory (each with whether the frame handed over as presented before was the last one kept), window requests recorded, focus changes, close requests and device loss on request.
// Relies on: headless_video.h.
#include "runtime/platform/headless/headless_video.h"

#include <cstring>

namespace {

HeadlessVideo state;
bool state_made = false;

std::vector<HeadlessVideoModes> default_modes() {
    const VideoMode sizes[] = {{800, 600, 60},   {800, 600, 75},    {1024, 768, 60},  {1024, 768, 75},
                               {1280, 720, 60},  {1280, 720, 75},   {1280, 1024, 60}, {1280, 1024, 75}};
    std::vector<HeadlessVideoModes> all;
    for (int32_t format : {22, 23, 24}) {
        HeadlessVideoModes m;
        m.format = format;
        m.modes.assign(std::begin(sizes), std::end(sizes));
        all.push_back(m);
    }
    return all;
}

HeadlessVideo& video() {
    if (!state_made) {
        state.modes = default_modes();
        state_made = true;
    }
    return state;
}

const HeadlessVideoModes* modes_of(int32_t format) {
    for (const HeadlessVideoModes& m : video().modes)
        if (m.format == format) return &m;
    return nullptr;
}

int start() {
    if (!video().available) return 0;
    video().users++;
    return 1;
}

void stop() {
    if (video().users > 0) video().users--;
}

int32_t mode_count(int32_t format) {
    const HeadlessVideoModes* m = modes_of(format);
    return m ? int32_t(m->modes.size()) : 0;
}

int mode_get(int32_t format, int32_t index, VideoMode* mode) {
    const HeadlessVideoModes* m = modes_of(format);
    if (!m || index < 0 || size_t(index) >= m->modes.size() || !mode) return 0;
    *mode = m->modes[size_t(index)];
    return 1;
}

void window_show(int shown) { video().window_shown = shown != 0; }
void window_set_title(const char* utf8) { video().title = utf8 ? utf8 : ""; }
void cursor_show(int shown) { video().cursor_shown = shown != 0; }

int screen_open(int32_t width, int32_t height, int32_t format, int32_t refresh_hz, int vsync) {
    HeadlessVideo& v = video();
    v.screen_opened = true;
    v.screen_width = width;
    v.screen_height = height;
    v.screen_format = format;
    v.screen_refresh = refresh_hz;
    v.screen_vsync = vsync;
    return 1;
}

void screen_close() { video().screen_opened = false; }

// Whether `previous` holds the frame kept last, row for row.
bool previous_is_last_frame(const HeadlessVideo& v, const VideoFrame& frame) {
    if (v.frames.empty()) return false;
    const HeadlessVideoFrame& last = v.frames.back();
    if (last.width != frame.width || last.height != frame.height || last.format != frame.format) return false;
    for (int32_t y = 0; y < frame.height; y++)
        if (std::memcmp(last.pixels.data() + size_t(y) * last.pitch, frame.previous + intptr_t(y) * frame.pitch,
                        size_t(last.pitch)) != 0)
            return false;
    return true;
}

int present(const VideoFrame* frame) {
    HeadlessVideo& v = video();
    if (!frame || !v.present_result) return 0;
    v.presented++;
    if (frame->changed_rows && frame->previous) {
        size_t row_bytes = size_t(frame->width) * (frame->format == 22 ? 4 : 2);
        for (int32_t y = 0; y < frame->height; y++) {
            if (frame->changed_rows[y]) continue;
            v.rows_told_unchanged++;
            if (std::memcmp(frame->pixels + intptr_t(y) * frame->pitch, frame->previous + intptr_t(y) * frame->pitch,
                            row_bytes) != 0)
                v.rows_told_unchanged_wrongly++;
        }
    }
    HeadlessVideoFrame::Previous previous = !frame->previous              ? HeadlessVideoFrame::PREVIOUS_NONE
                                            : previous_is_last_frame(v, *frame) ? HeadlessVideoFrame::PREVIOUS_SAME
                                                                              : HeadlessVideoFrame::PREVIOUS_DIFFERENT;
    HeadlessVideoFrame kept;
    if (v.frames.size() >= v.frames_kept && !v.frames.empty()) {
        kept = std::move(v.frames.front());  // reuse the oldest frame's storage
        v.frames.pop_front();
    }
    int32_t bytes = frame->format == 22 ? 4 : 2;
    kept.pitch = frame->width * bytes;
    kept.width = frame->width;
    kept.height = frame->height;
    kept.format = frame->format;
    kept.sequence = v.presented;
    kept.previous = previous;
    kept.pixels.resize(size_t(kept.pitch) * size_t(frame->height));
    for (int32_t y = 0; y < frame->height; y++)
        std::memcpy(kept.pixels.data() + size_t(y) * kept.pitch, frame->pixels + intptr_t(y) * frame->pitch, size_t(kept.pitch));
    if (v.frames_kept > 0) v.frames.push_back(std::move(kept));
    return 1;
}

int poll_event(VideoEvent* event) {
    HeadlessVideo& v = video();
    if (v.events.empty() && v.on_pump) v.on_pump();
    if (v.events.empty() || !event) return 0;
    *event = v.events.front();
    v.events.pop_front();
    return 1;
}

int32_t device_state() { return video().device_state; }

int device_reset() {
    HeadlessVideo& v = video();
    if (v.device_state == VIDEO_DEVICE_LOST || v.device_state == VIDEO_DEVICE_INTERNAL_ERROR) return 0;
    v.device_state = VIDEO_DEVICE_OK;
    return 1;
}

}  // namespace

const VideoDriver headless_video_driver = {start,        stop,        mode_count, mode_get,   window_show,
                                           window_set_title, cursor_show, screen_open, screen_close, present,
                                           poll_event,   device_state, device_reset};

uint32_t HeadlessVideoFrame::pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* p = pixels.data() + size_t(y) * pitch;
    if (format == 22) {
        uint32_t v;
        std::memcpy(&v, p + size_t(x) * 4, 4);
        return v & 0x00FFFFFFu;
    }
    uint16_t v;
    std::memcpy(&v, p + size_t(x) * 2, 2);
    auto e5 = [](uint32_t c) { return (c << 3) | (c >> 2); };
    if (format == 23) return (e5(v >> 11) << 16) | ((((v >> 5) & 63) << 2 | ((v >> 5) & 63) >> 4) << 8) | e5(v & 31);
    return (e5((v >> 10) & 31) << 16) | (e5((v >> 5) & 31) << 8) | e5(v & 31);
}

HeadlessVideo& headless_video() { return video(); }

void headless_video_reset() {
    state = HeadlessVideo();
    state.modes = default_modes();
    state_made = true;
}

void headless_video_focus(bool gained) {
    HeadlessVideo& v = video();
    v.events.push_back({gained ? VIDEO_EVENT_FOCUS_GAINED : VIDEO_EVENT_FOCUS_LOST});
    if (!gained) {
        if (v.device_state == VIDEO_DEVICE_OK || v.device_state == VIDEO_DEVICE_NOT_RESET) v.device_state = VIDEO_DEVICE_LOST;
    } else if (v.device_state == VIDEO_DEVICE_LOST) {
        v.device_state = VIDEO_DEVICE_NOT_RESET;
    }
}

void headless_video_request_close() { video().events.push_back({VIDEO_EVENT_CLOSE}); }

void headless_video_set_device_state(int32_t device_state) { video().device_state = device_state; }

const HeadlessVideoFrame* headless_video_frame(size_t back) {
    HeadlessVideo& v = video();
    if (back >= v.frames.size()) return nullptr;
    return &v.frames[v.frames.size() - 1 - back];
}
