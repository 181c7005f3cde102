// What a presenter takes from the flip chain: which rows a frame changed since the frame presented
// before it, and which refresh tick a frame that presents nothing ends on.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/platform/d3d/frame_changes.h"

namespace {
// Two frames laid out alike, as the flip chain's two buffers: rows `pitch` bytes apart, the bytes
// past each row's pixels padding.
struct FramePair {
    int32_t width, height, pitch, format;
    std::vector<uint8_t> now, before;

    FramePair(int32_t w, int32_t h, int32_t format = 22, int32_t padding = 0)
        : width(w), height(h), pitch(w * (format == 22 ? 4 : 2) + padding), format(format),
          now(size_t(pitch) * size_t(h), 0x11), before(now) {}
    VideoFrame view(bool with_previous = true) const {
        return {now.data(), pitch, width, height, format, with_previous ? before.data() : nullptr, nullptr};
    }
    void poke(int32_t x, int32_t y, uint8_t value) { now[size_t(y) * size_t(pitch) + size_t(x)] = value; }
};

bool same_span(RowSpan a, RowSpan b) { return a.first == b.first && a.count == b.count; }
}  // namespace

TEST(FrameChangesTest, TheSpanFromTheFirstToTheLastChangedRow) {
    // Each case pokes bytes (x in bytes, y in rows) into a copy of the previous frame.
    struct Case {
        const char* what;
        int32_t format, padding;
        std::vector<std::pair<int32_t, int32_t>> pokes;
        RowSpan expected;
    };
    const Case cases[] = {
        {"unchanged", 22, 0, {}, {0, 0}},
        {"one byte in row 5", 22, 0, {{3, 5}}, {5, 1}},
        {"rows 2 and 7: everything between goes too", 22, 0, {{0, 2}, {39, 7}}, {2, 6}},
        {"the first and the last row", 22, 0, {{10, 0}, {20, 11}}, {0, 12}},
        {"the last byte of the last row", 22, 8, {{39, 11}}, {11, 1}},
        {"only the padding past the rows", 22, 8, {{40, 4}, {47, 9}}, {0, 0}},
        {"16-bit rows are half as long", 23, 20, {{19, 6}}, {6, 1}},
        {"16-bit padding does not count", 24, 20, {{20, 6}, {39, 3}}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FramePair frames(10, 12, c.format, c.padding);
        for (auto [x, y] : c.pokes) frames.poke(x, y, 0x77);
        RowSpan got = frame_changed_rows(frames.view());
        EXPECT_TRUE(same_span(got, c.expected)) << got.first << "+" << got.count;
    }
}

TEST(FrameChangesTest, RowsToldUnchangedAreNotCompared) {
    // The stand-in's per-row hint: rows it marks 0 count as unchanged whatever they hold (it knows
    // both buffers drew the same there); rows marked 1 are compared.
    struct Case {
        const char* what;
        std::vector<int32_t> told_changed;  // rows marked 1
        std::vector<int32_t> poked;         // rows that really differ
        RowSpan expected;
    };
    const Case cases[] = {
        {"all told unchanged", {}, {}, {0, 0}},
        {"told changed but equal", {3, 4, 9}, {}, {0, 0}},
        {"told changed and changed", {3, 4, 9}, {4}, {4, 1}},
        {"the outermost changed rows set the span", {1, 3, 10}, {1, 10}, {1, 10}},
        {"a change in a row told unchanged is not looked at", {2}, {2, 7}, {2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FramePair frames(10, 12);
        std::vector<uint8_t> hint(12, 0);
        for (int32_t y : c.told_changed) hint[size_t(y)] = 1;
        for (int32_t y : c.poked) frames.poke(5, y, 0x77);
        VideoFrame view = frames.view();
        view.changed_rows = hint.data();
        RowSpan got = frame_changed_rows(view);
        EXPECT_TRUE(same_span(got, c.expected)) << got.first << "+" << got.count;
    }
}

TEST(FrameChangesTest, WithoutAPreviousFrameOrAKnownFormatEveryRowCounts) {
    FramePair frames(8, 6);
    EXPECT_TRUE(same_span(frame_changed_rows(frames.view(false)), {0, 6}));
    VideoFrame unknown = frames.view();
    unknown.format = 21;
    EXPECT_TRUE(same_span(frame_changed_rows(unknown), {0, 6}));
}

TEST(RefreshPacerTest, PeriodFollowsTheRate) {
    const std::pair<int32_t, uint64_t> rates[] = {{60, 16667}, {75, 13333}, {85, 11765}, {0, 16667}, {-1, 16667}};
    for (auto [hz, period] : rates) {
        RefreshPacer pacer;
        pacer.set_rate(hz);
        EXPECT_EQ(pacer.period_us(), period) << hz;
    }
}

TEST(RefreshPacerTest, FramesThatPresentNothingEndOnTheTicks) {
    // Clock readings in microseconds; P is the 60 Hz period.
    constexpr uint64_t P = 16667;
    struct Step {
        const char* what;
        bool present;  // a present that waited for the vertical blank returned at `now`
        uint64_t now;
        uint64_t tick;  // the tick a frame without present at `now` ends on
    };
    const Step steps[] = {
        {"nothing anchored yet: one period on", false, 1000, 1000 + P},
        {"right at that tick: the next one", false, 1000 + P, 1000 + 2 * P},
        {"a present anchors the ticks", true, 50000, 0},
        {"early in the period", false, 50000 + 100, 50000 + P},
        {"the frame's work took a while", false, 50000 + P + 9000, 50000 + 2 * P},
        {"two and a half periods of work", false, 50000 + 2 * P + 2 * P + P / 2, 50000 + 5 * P},
        {"a clock read before the last tick", false, 50000 + 4 * P, 50000 + 6 * P},
        {"another present", true, 200000, 0},
        {"the ticks follow it", false, 200001, 200000 + P},
    };
    RefreshPacer pacer;
    pacer.set_rate(60);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.present) {
            pacer.presented(step.now);
            continue;
        }
        EXPECT_EQ(pacer.next_tick(step.now), step.tick);
    }
}
