// The display on the headless backend: back-buffer format choice, presentation parameters, the
// window and its procedure, the frame loop's focus handling and device-loss recovery (with the
// refresh-tick wait of flips that present nothing), the back buffer as a drawing target, and the
// release returning everything to its start.
#include <gtest/gtest.h>

#include "game/startup/game_main.h"
#include "runtime/platform/system/backend.h"
#include "support/display_fixture.h"

namespace {
// Start-up and shutdown only: no menu runs between them.
void no_main_loop() {}
}  // namespace

namespace {
int deactivations = 0;
void count_deactivation() { ++deactivations; }

// Offers display modes only in the given formats.
void offer_formats(std::initializer_list<int32_t> formats) {
    headless_video().modes.clear();
    for (int32_t format : formats) headless_video().modes.push_back({format, {{320, 240, 60}, {800, 600, 60}}});
}
}  // namespace

TEST_F(DisplayTest, SixteenBitDepthPrefersX1R5G5B5AndFallsBackToR5G6B5) {
    offer_formats({D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8});
    ASSERT_TRUE(open_screen(320, 240, 16));
    EXPECT_EQ(display_state.present_params.BackBufferFormat, D3DFMT_X1R5G5B5);
    EXPECT_EQ(display_state.pixel_format_code, 2);
    EXPECT_EQ(display_state.display_depth, 16);
    EXPECT_EQ(headless_video().screen_format, D3DFMT_X1R5G5B5);
    // The back buffer as a drawing target: the screen's depth, the scene ended for GDI.
    ASSERT_EQ(screen_begin_scene(), 1);
    DrawTarget* target = screen_output();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->bits_per_pixel, 16);
    EXPECT_EQ(display_state.scene_open, 0);
    ASSERT_NE(draw_begin(target), 0);
    draw_end();
    screen_library_release();

    offer_formats({D3DFMT_R5G6B5});
    ASSERT_TRUE(open_screen(320, 240, 16));
    EXPECT_EQ(display_state.present_params.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(display_state.pixel_format_code, 4);
    EXPECT_EQ(display_state.display_depth, 16);
    screen_library_release();

    offer_formats({D3DFMT_X8R8G8B8});
    ASSERT_TRUE(open_screen(320, 240, 32));
    EXPECT_EQ(display_state.pixel_format_code, 64);
    EXPECT_EQ(display_state.display_depth, 32);
}

TEST_F(DisplayTest, UnsupportedDepthFailsAndFreesEverySprite) {
    ASSERT_TRUE(open_screen(320, 240, 32));
    ASSERT_TRUE(sprite_create(3, 8, 8));
    ASSERT_TRUE(sprite_create(AUTO_NUMBER, 8, 8));
    EXPECT_EQ(screen_open(320, 240, 24, u"Tarnwood", 1, -1), 0);
    EXPECT_EQ(display_state.device, nullptr);
    EXPECT_EQ(obj_find(display_state.sprites, 3), nullptr);
    EXPECT_EQ(display_state.sprites->auto_list, nullptr);
    // Without a device everything that needs one does nothing.
    EXPECT_EQ(screen_output(), nullptr);
    EXPECT_EQ(sprite_create(4, 8, 8), nullptr);
    EXPECT_EQ(screen_begin_scene(), 0);
    screen_clear(0);
    EXPECT_EQ(screen_flip(), 1);
    // Width, height and depth are 16-bit values: 65536 + 32 is depth 32.
    EXPECT_EQ(screen_open(320, 240, 65536 + 32, u"Tarnwood", 1, -1), 1);
}

TEST_F(DisplayTest, PresentationParametersFollowVsyncAndRefresh) {
    ASSERT_TRUE(screen_init());
    ASSERT_TRUE(screen_open(800, 600, 32, u"Tarnwood", 1, -1));
    const D3DPRESENT_PARAMETERS& p = display_state.present_params;
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_ONE);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.Flags, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
    EXPECT_EQ(p.Windowed, 0);
    EXPECT_EQ(p.hDeviceWindow, display_state.main_window);
    EXPECT_EQ(headless_video().screen_vsync, 1);
    EXPECT_EQ(headless_video().screen_refresh, 0);
    EXPECT_EQ(display_state.output_width, 800);
    EXPECT_EQ(display_state.output_height, 600);

    ASSERT_TRUE(screen_open(800, 600, 32, u"Tarnwood", 0, 75));
    EXPECT_EQ(display_state.present_params.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(display_state.present_params.FullScreen_RefreshRateInHz, 75u);
    EXPECT_EQ(headless_video().screen_vsync, 0);
    EXPECT_EQ(headless_video().screen_refresh, 75);
}

TEST_F(DisplayTest, WindowHasItsClassTitleAndIgnoresCloseRequests) {
    ASSERT_TRUE(open_screen(320, 240, 32));
    UserWindowInfo info;
    ASSERT_TRUE(user_window_info(display_state.main_window, &info));
    EXPECT_EQ(std::u16string(info.class_name), u"MultimediaBase Class");
    EXPECT_STREQ(info.title, "Tarnwood");
    EXPECT_EQ(headless_video().title, "Tarnwood");
    EXPECT_TRUE(info.visible);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_FALSE(headless_video().cursor_shown);
    EXPECT_EQ(user_timer_period_requests(), 1);

    headless_video_request_close();
    EXPECT_EQ(screen_flip(), 1);
    EXPECT_TRUE(is_window(display_state.main_window));
    // The default procedure would destroy it: the close reaches the window procedure as WM_CLOSE.
    EXPECT_EQ(screen_window_proc(display_state.main_window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(is_window(display_state.main_window));
    EXPECT_EQ(screen_window_proc(display_state.main_window, WM_ERASEBKGND, 0, 0), 1);
    // Deactivation of a minimised window: the low word says inactive, the high word minimised.
    EXPECT_EQ(screen_window_proc(display_state.main_window, WM_ACTIVATE, 0x10000, 0), 0);
    EXPECT_EQ(screen_is_active(), 0);
    // Window creation happens once.
    WindowHandle window = display_state.main_window;
    EXPECT_EQ(screen_window_create(), 1);
    EXPECT_EQ(display_state.main_window, window);
}

TEST_F(DisplayTest, ReleaseReturnsWindowTimerCursorAndStateToTheStart) {
    display_state.on_deactivate = count_deactivation;
    ASSERT_TRUE(open_screen(320, 240, 32));
    ASSERT_TRUE(sprite_create(1, 4, 4));
    screen_library_release();
    EXPECT_EQ(user_window_class_count(), 0);
    EXPECT_EQ(user_timer_period_requests(), 0);
    EXPECT_EQ(user_cursor_count(), 0);
    EXPECT_TRUE(headless_video().cursor_shown);
    EXPECT_EQ(headless_video().users, 0);
    EXPECT_EQ(display_state.initialised, 0);
    EXPECT_EQ(display_state.main_window, 0);
    EXPECT_EQ(display_state.sprites, nullptr);
    EXPECT_EQ(display_state.on_deactivate, count_deactivation);  // belongs to the mouse
    display_state.on_deactivate = nullptr;
    // A second start-up in the same process works the same.
    ASSERT_TRUE(open_screen(320, 240, 32));
    EXPECT_EQ(screen_init(), 0);  // already initialised; the new table is empty
    EXPECT_EQ(obj_find(display_state.sprites, 1), nullptr);
}

TEST_F(DisplayTest, InitFailsWithoutVideoOrModes) {
    headless_video().available = false;
    EXPECT_EQ(screen_init(), 0);
    EXPECT_NE(display_state.main_window, 0);  // the window exists for the sound library
    screen_library_release();
    headless_video().available = true;
    offer_formats({D3DFMT_A8R8G8B8});
    EXPECT_EQ(screen_init(), 0);
    EXPECT_EQ(headless_video().users, 0);  // the object was released again
}

TEST_F(DisplayTest, RgbAndClearConvertTheColourOrder) {
    EXPECT_EQ(screen_rgb(120, 100, 100), 0x646478);
    ASSERT_TRUE(open_screen(320, 240, 32));
    screen_clear(screen_rgb(120, 100, 100));
    ASSERT_EQ(screen_flip(), 1);
    EXPECT_EQ(frame_pixel(0, 0), 0x786464u);
    EXPECT_EQ(frame_pixel(319, 239), 0x786464u);
}

TEST_F(DisplayTest, InactiveScreenPumpsMessagesButPresentsNothing) {
    display_state.on_deactivate = count_deactivation;
    deactivations = 0;
    ASSERT_TRUE(open_screen(320, 240, 32));
    ASSERT_EQ(screen_flip(), 1);
    uint32_t presented = headless_video().presented;

    headless_video_focus(false);
    EXPECT_EQ(screen_flip(), 1);
    EXPECT_EQ(screen_is_active(), 0);
    EXPECT_EQ(deactivations, 1);
    EXPECT_EQ(screen_flip(), 1);
    EXPECT_EQ(headless_video().presented, presented);
    display_state.on_deactivate = nullptr;
    // Active again, a Present that fails leaves the screen inactive.
    headless_video_focus(true);
    headless_video().present_result = 0;
    EXPECT_EQ(screen_flip(), 1);
    EXPECT_EQ(screen_is_active(), 0);
}

TEST_F(DisplayTest, DeviceResetAfterReactivationKeepsSprites) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    std::vector<uint32_t> pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    ASSERT_TRUE(load(2, make_bmp(2, 2, pixels), 0));
    auto draw_frame = [] {
        screen_clear(screen_rgb(10, 20, 30));
        sprite_display(2, 5, 7);
        return screen_flip();
    };
    ASSERT_EQ(draw_frame(), 1);
    HeadlessVideoFrame before = *last_frame();

    headless_video_focus(false);
    EXPECT_EQ(draw_frame(), 1);  // switched away: nothing presented
    headless_video_focus(true);  // the device comes back not-reset
    EXPECT_EQ(draw_frame(), 1);  // activation, reset, present
    EXPECT_EQ(screen_is_active(), 1);
    ASSERT_EQ(headless_video().device_state, VIDEO_DEVICE_OK);
    EXPECT_EQ(display_state.state_cache[STATE_CACHE_FVF], -1);  // the reset forgot the states
    EXPECT_EQ(draw_frame(), 1);  // the first frame drawn on the reset device
    const HeadlessVideoFrame* after = last_frame();
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->pixels, before.pixels);
    EXPECT_EQ(after->pixel(5, 7), 0xFF0000u);
    EXPECT_EQ(after->pixel(6, 8), 0xFFFFFFu);
}

TEST_F(DisplayTest, DeviceStillLostAfter32MsFailsTheFlip) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_EQ(screen_flip(), 1);
    uint32_t presented = headless_video().presented;
    uint32_t start = headless_system().clock_ms;
    headless_video_set_device_state(VIDEO_DEVICE_LOST);
    EXPECT_EQ(screen_flip(), 0);
    EXPECT_GE(headless_system().clock_ms - start, 32u);
    EXPECT_LE(headless_system().clock_ms - start, 34u);
    EXPECT_EQ(screen_is_active(), 0);
    EXPECT_EQ(screen_flip(), 1);  // silent until the next activation
    EXPECT_EQ(headless_video().presented, presented);

    headless_video_set_device_state(VIDEO_DEVICE_INTERNAL_ERROR);
    headless_video_focus(true);
    EXPECT_EQ(screen_flip(), 0);
}

TEST_F(DisplayTest, FlipsThatPresentNothingWaitForTheNextRefreshTick) {
    // The virtual clock moves only when the program sleeps: each flip's wait shows in it.
    struct Case {
        int32_t refresh;  // as given to screen_open (-1: the adapter's default)
        int32_t vsync;
        uint32_t period;  // ms a flip waits while nothing is presented
    };
    const Case cases[] = {{-1, 1, 17}, {60, 1, 17}, {75, 1, 13}, {85, 1, 12}, {75, 0, 13}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.refresh << " Hz, vsync " << c.vsync);
        headless_video_reset();
        ASSERT_TRUE(screen_init());
        ASSERT_TRUE(screen_open(64, 48, 32, u"Tarnwood", c.vsync, c.refresh));
        uint32_t& clock = headless_system().clock_ms;
        auto flip_takes = [&clock](int expected_result) {
            uint32_t start = clock;
            EXPECT_EQ(screen_flip(), expected_result);
            return clock - start;
        };
        // Presenting: no wait of the display's own (a present with vertical sync is the backend's).
        EXPECT_EQ(flip_takes(1), 0u);
        EXPECT_EQ(flip_takes(1), 0u);

        uint32_t presented = headless_video().presented;
        headless_video_focus(false);
        for (int i = 0; i < 4; i++) EXPECT_EQ(flip_takes(1), c.period) << "switched away, flip " << i;
        // Work between two flips shortens the wait to the rest of the period.
        headless_advance_clock(5);
        EXPECT_EQ(flip_takes(1), c.period - 5);
        // Work longer than a period: the next tick is one period on.
        headless_advance_clock(c.period + 3);
        EXPECT_EQ(flip_takes(1), c.period);
        EXPECT_EQ(headless_video().presented, presented);

        headless_video_focus(true);
        EXPECT_EQ(flip_takes(1), 0u) << "back: the reset device presents at once";
        EXPECT_EQ(headless_video().presented, presented + 1);

        // A device lost while active: the flip waits up to 32 ms for it, fails, and the flips
        // after it wait a refresh each.
        headless_video_set_device_state(VIDEO_DEVICE_LOST);
        uint32_t lost_wait = flip_takes(0);
        EXPECT_GE(lost_wait, 32u);
        EXPECT_LE(lost_wait, 34u);
        for (int i = 0; i < 3; i++) EXPECT_EQ(flip_takes(1), c.period) << "device lost, flip " << i;
        headless_video_focus(true);
        EXPECT_EQ(flip_takes(1), 0u);
        EXPECT_EQ(screen_is_active(), 1);
        screen_library_release();
    }
}

TEST_F(DisplayTest, FlipWithoutAScreenWaitsARefreshInsteadOfSpinning) {
    ASSERT_TRUE(screen_init());
    uint32_t start = headless_system().clock_ms;
    display_state.screen_active = 1;  // activated, but no screen was ever opened
    EXPECT_EQ(screen_flip(), 1);
    EXPECT_EQ(screen_flip(), 1);
    EXPECT_EQ(headless_system().clock_ms - start, 34u);
    screen_delay(10);
    EXPECT_EQ(headless_system().clock_ms - start, 44u);
}

TEST_F(DisplayTest, BackBufferTargetDrawsAndLocks) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    screen_clear(0);
    DrawTarget* target = screen_output();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->kind, 7);
    EXPECT_EQ(target->pixel_format, 64);
    EXPECT_EQ(target->width, 64);
    EXPECT_EQ(target->bits_per_pixel, 32);
    ASSERT_NE(draw_begin(target), 0);
    draw_box(10, 10, 5, 5, screen_rgb(255, 0, 0));
    // Direct pixel access: the lock gives up the context, get_dc takes it back.
    int32_t pitch = 0;
    auto* pixels = static_cast<uint32_t*>(target->lock(target, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_GE(pitch, 64 * 4);
    EXPECT_EQ(pixels[12 * (pitch / 4) + 12] & 0xFFFFFFu, 0xFF0000u);
    pixels[0] = 0x0000FF00u;
    EXPECT_NE(target->get_dc(target), nullptr);
    EXPECT_EQ(target->pixels, nullptr);
    draw_end();
    ASSERT_EQ(screen_flip(), 1);
    EXPECT_EQ(frame_pixel(12, 12), 0xFF0000u);
    EXPECT_EQ(frame_pixel(0, 0), 0x00FF00u);
}

// The start-up and shutdown orders: the screen and 3D sprites come up on the headless backend
// without a message; without video the screen's message shows, start-up goes on, and both runs
// leave the display's record at its start.
class DisplayStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_use_backend(&headless_backend);
        headless_system_reset();
        headless_video_reset();
    }
    void TearDown() override { headless_video_reset(); }
};

TEST_F(DisplayStartupTest, MissingVideoIsReportedAndStartUpGoesOn) {
    EXPECT_EQ(game_run(no_main_loop), 0);
    for (const HeadlessMessageBox& box : headless_system().message_boxes) {
        EXPECT_NE(box.text, "Sprite konnte nicht initialisiert werden");
        EXPECT_NE(box.text, "Sprite3D konnte nicht initialisiert werden");
    }
    EXPECT_EQ(display_state.main_window, 0);
    EXPECT_EQ(headless_video().users, 0);

    headless_system_reset();
    headless_video().available = false;
    EXPECT_EQ(game_run(no_main_loop), 0);
    int sprite_messages = 0;
    for (const HeadlessMessageBox& box : headless_system().message_boxes) {
        if (box.text == "Sprite konnte nicht initialisiert werden") {
            ++sprite_messages;
            EXPECT_EQ(box.caption, "Tarnwood");
        }
        EXPECT_NE(box.text, "Sprite3D konnte nicht initialisiert werden");
    }
    EXPECT_EQ(sprite_messages, 1);
    EXPECT_EQ(display_state.initialised, 0);
    EXPECT_EQ(user_window_class_count(), 0);
    EXPECT_EQ(sprite3d_state.table, nullptr);
}

namespace {
// On a system that can wake the frame loop on a window message (Windows), a flip that presents
// nothing rests in that wait (up to 100 ms) instead of sleeping one refresh period, and the
// presenting flips do not wait in it.
std::vector<uint32_t> message_waits;
void record_wait(uint32_t ms) { message_waits.push_back(ms); }

TEST_F(DisplayTest, SwitchedAwayFlipsRestUntilAWindowMessageWhereTheSystemCan) {
    SystemDriver driver = *headless_backend.system;
    driver.wait_message = record_wait;
    PlatformBackend backend = headless_backend;
    backend.system = &driver;
    platform_use_backend(&backend);
    message_waits.clear();
    ASSERT_TRUE(open_screen(64, 48, 32));
    EXPECT_EQ(screen_flip(), 1);
    headless_video_focus(false);
    uint32_t start = headless_system().clock_ms;
    for (int i = 0; i < 3; i++) EXPECT_EQ(screen_flip(), 1);
    EXPECT_EQ(headless_system().clock_ms, start) << "slept a refresh period besides";
    EXPECT_EQ(message_waits, (std::vector<uint32_t>{100, 100, 100}));
    platform_use_backend(&headless_backend);
}
}  // namespace
