// The presenter's kept frame (which rows changed since the frame on screen) and its refresh pacing
// (which tick a frame that presents nothing ends on).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/platform/d3d/frame_keeper.h"

namespace {
// A frame of 32-bit pixels with rows `pitch` bytes apart; the bytes past each row are padding.
struct TestFrame {
    int32_t width, height, pitch, format;
    std::vector<uint8_t> bytes;

    TestFrame(int32_t w, int32_t h, int32_t format = 22, int32_t padding = 0)
        : width(w), height(h), pitch(w * (format == 22 ? 4 : 2) + padding), format(format),
          bytes(size_t(pitch) * size_t(h), 0x11) {}
    VideoFrame view() const { return {bytes.data(), pitch, width, height, format}; }
    void poke(int32_t x, int32_t y, uint8_t value) { bytes[size_t(y) * size_t(pitch) + size_t(x)] = value; }
};

bool same_span(RowSpan a, RowSpan b) { return a.first == b.first && a.count == b.count; }
}  // namespace

TEST(KeptFrameTest, ReportsTheSpanOfChangedRowsAndKeepsThem) {
    // Each step changes some bytes (x in bytes, y in rows) of the frame and takes it.
    struct Step {
        const char* what;
        std::vector<std::pair<int32_t, int32_t>> pokes;
        RowSpan expected;
    };
    const Step steps[] = {
        {"the first frame is wholly new", {}, {0, 12}},
        {"the same frame again", {}, {0, 0}},
        {"one byte in row 5", {{3, 5}}, {5, 1}},
        {"taken again: nothing new", {}, {0, 0}},
        {"rows 2 and 7", {{0, 2}, {39, 7}}, {2, 6}},
        {"the first and the last row", {{10, 0}, {20, 11}}, {0, 12}},
        {"only the padding past the rows", {{40, 4}, {47, 9}}, {0, 0}},
        {"the last byte of the last row", {{39, 11}}, {11, 1}},
    };
    TestFrame frame(10, 12, 22, 8);
    KeptFrame kept;
    uint8_t value = 0x20;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        for (auto [x, y] : step.pokes) frame.poke(x, y, value++);
        RowSpan got = kept.take(frame.view());
        EXPECT_TRUE(same_span(got, step.expected)) << got.first << "+" << got.count;
        ASSERT_TRUE(kept.valid());
        ASSERT_EQ(kept.pitch(), 40);
        for (int32_t y = 0; y < frame.height; y++)
            EXPECT_EQ(std::memcmp(kept.row(y), frame.bytes.data() + size_t(y) * size_t(frame.pitch), 40), 0) << y;
    }
}

TEST(KeptFrameTest, AnotherSizeOrFormatOrAForgottenCopyCountsAsWhollyChanged) {
    struct Case {
        const char* what;
        int32_t width, height, format;
        bool forget;
        RowSpan expected;
    };
    const Case cases[] = {
        {"same again", 8, 6, 22, false, {0, 0}},
        {"forgotten", 8, 6, 22, true, {0, 6}},
        {"taller", 8, 7, 22, false, {0, 7}},
        {"wider", 9, 7, 22, false, {0, 7}},
        {"16-bit", 9, 7, 23, false, {0, 7}},
        {"the other 16-bit format", 9, 7, 24, false, {0, 7}},
        {"same 16-bit frame", 9, 7, 24, false, {0, 0}},
    };
    KeptFrame kept;
    TestFrame first(8, 6);
    kept.take(first.view());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.forget) kept.forget();
        TestFrame frame(c.width, c.height, c.format);
        RowSpan got = kept.take(frame.view());
        EXPECT_TRUE(same_span(got, c.expected)) << got.first << "+" << got.count;
        EXPECT_EQ(kept.width(), c.width);
        EXPECT_EQ(kept.height(), c.height);
        EXPECT_EQ(kept.pitch(), c.width * (c.format == 22 ? 4 : 2));
    }
}

TEST(KeptFrameTest, AFrameItCannotReadLeavesNothingKept) {
    KeptFrame kept;
    TestFrame frame(4, 4);
    kept.take(frame.view());
    VideoFrame unknown = frame.view();
    unknown.format = 21;
    EXPECT_EQ(kept.take(unknown).count, 0);
    EXPECT_FALSE(kept.valid());
    EXPECT_EQ(kept.take(frame.view()).count, 4) << "the next readable frame is wholly new";
    kept.release();
    EXPECT_FALSE(kept.valid());
    EXPECT_EQ(kept.height(), 0);
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
