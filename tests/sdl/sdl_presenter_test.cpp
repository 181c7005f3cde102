// The SDL presenter with SDL's dummy video driver and its software renderer: what reaches the
// window after whole frames, frames with a few changed rows and unchanged frames; unchanged frames
// not presented again (a mark painted onto the window behind the presenter's back stays) but
// paced to the refresh with vertical sync; the kept frame painted again when the window is
// uncovered and after a device reset.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "runtime/platform/d3d/video_driver.h"

extern const VideoDriver sdl_video_driver;

namespace {
constexpr int32_t kWidth = 64, kHeight = 48;
constexpr int32_t kX8R8G8B8 = 22;

class SdlPresenterTest : public ::testing::Test {
protected:
    const VideoDriver& video = sdl_video_driver;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t(kWidth) * kHeight, 0x00FF0000u);
    std::vector<uint32_t> previous;  // the frame presented last, empty before the first
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;

    void open(int vsync) {
        ASSERT_EQ(SDL_strcmp(SDL_getenv("SDL_VIDEODRIVER"), "dummy"), 0) << "run with SDL_VIDEODRIVER=dummy";
        ASSERT_EQ(video.start(), 1);
        ASSERT_EQ(video.screen_open(kWidth, kHeight, kX8R8G8B8, 0, vsync), 1);
        // The program's window is the only one.
        for (uint32_t id = 1; id < 1000 && !window; id++) window = SDL_GetWindowFromID(id);
        ASSERT_NE(window, nullptr);
        renderer = SDL_GetRenderer(window);
        ASSERT_NE(renderer, nullptr);
        drain_events();
    }
    void TearDown() override {
        video.screen_close();
        video.stop();
    }

    void drain_events() {
        VideoEvent event;
        while (video.poll_event(&event)) {
        }
    }
    // Presents `pixels` with the frame presented before as the flip chain hands it over.
    int present() {
        VideoFrame frame = {reinterpret_cast<const uint8_t*>(pixels.data()), kWidth * 4, kWidth, kHeight, kX8R8G8B8,
                            previous.empty() ? nullptr : reinterpret_cast<const uint8_t*>(previous.data()), nullptr};
        int result = video.present(&frame);
        previous = pixels;
        return result;
    }
    void fill_rows(int32_t first, int32_t count, uint32_t colour) {
        for (int32_t y = first; y < first + count; y++)
            for (int32_t x = 0; x < kWidth; x++) pixels[size_t(y) * kWidth + size_t(x)] = colour;
    }
    // The colour shown for frame pixel x, y (0x00RRGGBB), read from the window's middle of it.
    uint32_t shown(int32_t x, int32_t y) {
        int w = 0, h = 0;
        SDL_GetRendererOutputSize(renderer, &w, &h);
        // Letterboxed at the frame's aspect ratio: the scale is the smaller one, the rest centred.
        double scale = std::min(double(w) / kWidth, double(h) / kHeight);
        int px = int((w - kWidth * scale) / 2 + (x + 0.5) * scale);
        int py = int((h - kHeight * scale) / 2 + (y + 0.5) * scale);
        SDL_Rect one = {px, py, 1, 1};
        uint32_t value = 0xDEADBEEF;
        if (SDL_RenderReadPixels(renderer, &one, SDL_PIXELFORMAT_ARGB8888, &value, 4) != 0) return 0xDEADBEEF;
        return value & 0x00FFFFFFu;
    }
    // Paints a mark straight onto the window at frame pixel x, y, as something covering it would.
    void mark(int32_t x, int32_t y) {
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        ASSERT_NE(surface, nullptr);
        int w = 0, h = 0;
        SDL_GetRendererOutputSize(renderer, &w, &h);
        double scale = std::min(double(w) / kWidth, double(h) / kHeight);
        SDL_Rect r = {int((w - kWidth * scale) / 2 + x * scale), int((h - kHeight * scale) / 2 + y * scale),
                      int(scale) + 1, int(scale) + 1};
        SDL_FillRect(surface, &r, SDL_MapRGB(surface->format, 0, 255, 0));
        ASSERT_EQ(shown(x, y), 0x00FF00u);
    }
    void push_window_event(uint8_t kind) {
        SDL_Event e = {};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(window);
        e.window.event = kind;
        SDL_PushEvent(&e);
    }
    // Milliseconds that `count` presents of the unchanged frame take.
    double unchanged_presents_ms(int count) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; i++) EXPECT_EQ(present(), 1);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
};
}  // namespace

TEST_F(SdlPresenterTest, ChangedRowsReachTheWindowAndUnchangedOnesStay) {
    open(0);
    // Each step changes some rows, presents, and checks a row inside and the rows around.
    struct Step {
        int32_t first, count;
        uint32_t colour;
    };
    const Step steps[] = {{0, 0, 0}, {10, 3, 0x0000FFu}, {0, 1, 0xFFFFFFu}, {47, 1, 0x123456u}, {20, 20, 0x00FF00u}};
    std::vector<uint32_t> expected_rows(kHeight, 0xFF0000u);
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "rows " << step.first << "+" << step.count);
        fill_rows(step.first, step.count, step.colour);
        for (int32_t y = step.first; y < step.first + step.count; y++) expected_rows[size_t(y)] = step.colour;
        ASSERT_EQ(present(), 1);
        for (int32_t y = 0; y < kHeight; y++) {
            EXPECT_EQ(shown(5, y), expected_rows[size_t(y)]) << "row " << y;
            EXPECT_EQ(shown(kWidth - 1, y), expected_rows[size_t(y)]) << "row " << y;
        }
    }
}

TEST_F(SdlPresenterTest, AnUnchangedFrameIsNotPresentedAgainButAnUncoveredWindowIsRepainted) {
    open(0);
    ASSERT_EQ(present(), 1);
    mark(30, 20);
    ASSERT_EQ(present(), 1);
    EXPECT_EQ(shown(30, 20), 0x00FF00u) << "an unchanged frame was presented again";
    // A change elsewhere presents the whole kept frame again, the mark included.
    fill_rows(2, 1, 0x0000FFu);
    ASSERT_EQ(present(), 1);
    EXPECT_EQ(shown(30, 20), 0xFF0000u);
    EXPECT_EQ(shown(30, 2), 0x0000FFu);

    mark(30, 20);
    push_window_event(SDL_WINDOWEVENT_EXPOSED);
    drain_events();
    EXPECT_EQ(shown(30, 20), 0xFF0000u) << "the uncovered window was not repainted";
}

TEST_F(SdlPresenterTest, TheFirstFrameAfterADeviceResetIsShownWhole) {
    open(0);
    ASSERT_EQ(present(), 1);
    push_window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    drain_events();
    EXPECT_EQ(video.device_state(), VIDEO_DEVICE_LOST);
    mark(10, 10);
    push_window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    drain_events();
    ASSERT_EQ(video.device_state(), VIDEO_DEVICE_NOT_RESET);
    ASSERT_EQ(video.device_reset(), 1);
    ASSERT_EQ(present(), 1);
    EXPECT_EQ(shown(10, 10), 0xFF0000u);
}

TEST_F(SdlPresenterTest, UnchangedFramesWaitForTheRefreshOnlyWithVerticalSync) {
    // With vertical sync each unchanged frame ends on the next refresh tick (85 Hz at most here);
    // without it, at once.
    for (int vsync : {1, 0}) {
        SCOPED_TRACE(testing::Message() << "vsync " << vsync);
        open(vsync);
        ASSERT_EQ(present(), 1);
        double ms = unchanged_presents_ms(6);
        if (vsync)
            EXPECT_GE(ms, 6 * 11.0);
        else
            EXPECT_LT(ms, 40.0);
        video.screen_close();
        video.stop();
        window = nullptr;
        previous.clear();
    }
}
