// The kept frame of a presenter and its refresh pacing. Relies on: frame_keeper.h.
#include "runtime/platform/d3d/frame_keeper.h"

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

RowSpan KeptFrame::take(const VideoFrame& frame) {
    int32_t bytes = bytes_per_pixel(frame.format);
    if (!frame.pixels || bytes == 0 || frame.width <= 0 || frame.height <= 0) {
        valid_ = false;
        return {0, 0};
    }
    int32_t row_bytes = frame.width * bytes;
    if (frame.width != width_ || frame.height != height_ || frame.format != format_) {
        width_ = frame.width;
        height_ = frame.height;
        format_ = frame.format;
        row_bytes_ = row_bytes;
        pixels_.assign(size_t(row_bytes) * size_t(frame.height), 0);
        valid_ = false;
    }
    if (!valid_) {
        for (int32_t y = 0; y < height_; y++)
            std::memcpy(pixels_.data() + size_t(y) * size_t(row_bytes_), frame.pixels + intptr_t(y) * frame.pitch,
                        size_t(row_bytes_));
        valid_ = true;
        return {0, height_};
    }
    int32_t first = -1, last = -1;
    for (int32_t y = 0; y < height_; y++) {
        uint8_t* kept = pixels_.data() + size_t(y) * size_t(row_bytes_);
        const uint8_t* given = frame.pixels + intptr_t(y) * frame.pitch;
        if (std::memcmp(kept, given, size_t(row_bytes_)) == 0) continue;
        std::memcpy(kept, given, size_t(row_bytes_));
        if (first < 0) first = y;
        last = y;
    }
    if (first < 0) return {0, 0};
    return {first, last - first + 1};
}

void KeptFrame::release() {
    std::vector<uint8_t>().swap(pixels_);
    width_ = height_ = format_ = row_bytes_ = 0;
    valid_ = false;
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
