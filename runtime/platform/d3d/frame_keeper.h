// What a presenter keeps of the frame on screen so that it shows only what changed: a copy of the
// frame's rows, compared row by row with each new frame (changed rows are copied in and reported,
// so that only they are uploaded; a frame without change need not be presented at all), and the
// pacing of the presents skipped that way: one frame per refresh tick, as a present with vertical
// sync would have waited. Both are plain data a backend drives with its own upload and clock.
// Relies on: video_driver.h (VideoFrame).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/platform/d3d/video_driver.h"

// Rows first .. first + count - 1; count 0 when nothing changed.
struct RowSpan {
    int32_t first;
    int32_t count;
};

class KeptFrame {
public:
    // Compares the frame with the copy, copies the rows that differ into it and returns the span
    // from the first to the last of them. A frame of another size or format, and the first frame
    // after forget(), count as wholly changed.
    RowSpan take(const VideoFrame& frame);
    // The copy no longer stands for what is on screen (a failed upload, a lost texture).
    void forget() { valid_ = false; }
    bool valid() const { return valid_; }
    // The kept rows, `pitch()` bytes apart (each exactly one row of pixels).
    const uint8_t* row(int32_t y) const { return pixels_.data() + size_t(y) * size_t(row_bytes_); }
    int32_t pitch() const { return row_bytes_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // Gives the memory back (the screen closed).
    void release();

private:
    std::vector<uint8_t> pixels_;
    int32_t width_ = 0, height_ = 0, format_ = 0, row_bytes_ = 0;
    bool valid_ = false;
};

// Refresh ticks on a monotonic clock in microseconds. A present that waited for the vertical
// blank anchors the ticks at its return; a frame that presents nothing waits for the next tick.
class RefreshPacer {
public:
    // The refresh rate in Hz; 0 or less stands for the usual 60 Hz.
    void set_rate(int32_t hz);
    uint64_t period_us() const { return period_us_; }
    // The tick a frame that presents nothing at `now_us` ends on: the first tick after now (the
    // first tick one period after now when nothing anchored the ticks yet). The caller waits
    // until then; the ticks go on from there.
    uint64_t next_tick(uint64_t now_us);
    // A present that waited for the vertical blank returned at `now_us`.
    void presented(uint64_t now_us);

private:
    uint64_t period_us_ = 16667;
    uint64_t anchor_us_ = 0;
    bool anchored_ = false;
};
