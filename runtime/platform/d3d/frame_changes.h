// What a presenter needs to show only what changed: the rows in which a frame differs from the
// frame presented before it (the flip chain hands both over, so nothing is copied or kept), and
// the pacing of the presents skipped because nothing changed: one frame per refresh tick, as a
// present with vertical sync would have waited. Plain data a backend drives with its own upload
// and clock.
// Relies on: video_driver.h (VideoFrame).
#pragma once
#include <cstdint>

#include "runtime/platform/d3d/video_driver.h"

// Rows first .. first + count - 1; count 0 when nothing changed.
struct RowSpan {
    int32_t first;
    int32_t count;
};

// The span from the first to the last row in which the frame's pixels differ from its `previous`
// frame (the bytes past each row's pixels do not count); rows that `changed_rows` tells unchanged
// are not compared. Without a previous frame, or in a format of unknown size, every row counts as
// changed.
RowSpan frame_changed_rows(const VideoFrame& frame);

// Refresh ticks on a monotonic clock in microseconds. A present that waited for the vertical
// blank anchors the ticks at its return; a frame that presents nothing waits for the next tick.
class RefreshPacer {
public:
    // The refresh rate in Hz; 0 or less stands for the usual 60 Hz.
    void set_rate(int32_t hz);
    uint64_t period_us() const { return period_us_; }
    // The tick a frame that presents nothing at `now_us` ends on: the first tick after now (one
    // period after now when nothing anchored the ticks yet). The caller waits until then; the
    // ticks go on from there.
    uint64_t next_tick(uint64_t now_us);
    // A present that waited for the vertical blank returned at `now_us`.
    void presented(uint64_t now_us);

private:
    uint64_t period_us_ = 16667;
    uint64_t anchor_us_ = 0;
    bool anchored_ = false;
};
