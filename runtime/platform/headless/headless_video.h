// The headless video driver's controls for tests: display modes offered per format, the last few
// presented frames, the window's title/visibility/cursor as the program set them, and focus
// changes, close requests and device loss provoked on request.
// Relies on: video_driver.h.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform/d3d/video_driver.h"

struct HeadlessVideoFrame {
    std::vector<uint8_t> pixels;  // rows of `pitch` bytes, as presented
    int32_t pitch = 0;
    int32_t width = 0, height = 0;
    int32_t format = 0;
    uint32_t sequence = 0;  // 1 for the first frame presented since the reset
    // What came as the frame presented before it: nothing, the frame presented last (as laid out
    // and held by the flip chain's other buffer), or something else.
    enum Previous : int32_t { PREVIOUS_NONE, PREVIOUS_SAME, PREVIOUS_DIFFERENT };
    Previous previous = PREVIOUS_NONE;

    // The pixel at x, y as 0x00RRGGBB (16-bit formats expanded by replicating the top bits).
    uint32_t pixel(int32_t x, int32_t y) const;
};

struct HeadlessVideoModes {
    int32_t format = 0;
    std::vector<VideoMode> modes;
};

struct HeadlessVideo {
    bool available = true;                 // start() answers 1
    // Called each time the display's message pump finds no window event left, which is once per
    // frame (twice in a frame whose pump also delivered a paint message): scenario tests push the
    // next frame's input from here.
    std::function<void()> on_pump;
    std::vector<HeadlessVideoModes> modes;  // default: the menu's four sizes at 60 and 75 Hz in 22, 23, 24
    size_t frames_kept = 4;
    std::deque<HeadlessVideoFrame> frames;  // oldest first
    uint32_t presented = 0;                 // frames presented since the reset
    // Rows the Direct3D stand-in told unchanged from the previous frame (VideoFrame::changed_rows),
    // and how many of those differed after all (each one a row a presenter would leave stale).
    uint64_t rows_told_unchanged = 0;
    uint64_t rows_told_unchanged_wrongly = 0;
    std::deque<VideoEvent> events;
    int32_t device_state = VIDEO_DEVICE_OK;
    int present_result = 1;
    int32_t users = 0;  // start() minus stop()

    // What the program asked of the window and the screen.
    std::string title;
    bool window_shown = false;
    bool cursor_shown = true;
    bool screen_opened = false;
    int32_t screen_width = 0, screen_height = 0, screen_format = 0, screen_refresh = 0;
    int screen_vsync = -1;
};

HeadlessVideo& headless_video();
void headless_video_reset();
// Focus leaves (the device becomes lost) or returns (a lost device becomes not-reset); the window
// event is queued for the display's message pump.
void headless_video_focus(bool gained);
void headless_video_request_close();
void headless_video_set_device_state(int32_t state);
// The frame presented `back` frames before the last one (0 = the last), or null.
const HeadlessVideoFrame* headless_video_frame(size_t back = 0);
