// The rows a frame changed and the refresh pacing of frames that present nothing.
// Relies on: frame_changes.h.
#include "runtime/platform/d3d/frame_changes.h"

#include <cstring>

namespace {
// Bytes per pixel of each back-buffer format (Direct3D format values).
struct FormatBytes {
    int32_t format;
    int32_t bytes;
};
constexpr FormatBytes kFormatBytes[] = {{22, 4}, {23, 2}, {24, 2}};

int32_t bytes_per_pixel(int32_t format) {
    for (const FormatBytes& f : kFormatBytes)
        if (f.format == format) return f.bytes;
    return 0;
}
}  // namespace

RowSpan frame_changed_rows(const VideoFrame& frame) {
    int32_t height = frame.height > 0 ? frame.height : 0;
    int32_t bytes = bytes_per_pixel(frame.format);
    if (!frame.pixels || !frame.previous || bytes == 0 || frame.width <= 0) return {0, height};
    size_t row_bytes = size_t(frame.width) * size_t(bytes);
    const uint8_t* hint = frame.changed_rows;
    auto same = [&](int32_t y) {
        return (hint && !hint[y]) ||
               std::memcmp(frame.pixels + intptr_t(y) * frame.pitch, frame.previous + intptr_t(y) * frame.pitch,
                           row_bytes) == 0;
    };
    int32_t first = 0;
    while (first < height && same(first)) first++;
    if (first == height) return {0, 0};
    int32_t last = height - 1;
    while (last > first && same(last)) last--;
    return {first, last - first + 1};
}

void RefreshPacer::set_rate(int32_t hz) {
    if (hz <= 0) hz = 60;
    period_us_ = (1000000u + uint64_t(hz) / 2) / uint64_t(hz);
}

uint64_t RefreshPacer::next_tick(uint64_t now_us) {
    if (!anchored_) {
        anchored_ = true;
        anchor_us_ = now_us;
    }
    // A clock read before the last tick (a wait that ended early) still ends on the tick after it.
    uint64_t since = now_us > anchor_us_ ? now_us - anchor_us_ : 0;
    anchor_us_ += (since / period_us_ + 1) * period_us_;
    return anchor_us_;
}

void RefreshPacer::presented(uint64_t now_us) {
    anchored_ = true;
    anchor_us_ = now_us;
}
