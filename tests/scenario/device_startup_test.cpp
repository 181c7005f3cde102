// Start-up and shutdown of the input and sound devices through game_run on the headless backend:
// the German start-up messages in their order, start-up going on after a failure, and every
// device record back at its initial state afterwards.
#include <gtest/gtest.h>

#include "game/startup/game_main.h"
#include "runtime/media/display.h"
#include "runtime/media/keyboard.h"
#include "runtime/media/mouse.h"
#include "runtime/media/sound.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_audio.h"
#include "runtime/platform/headless/headless_input.h"

namespace {
// Start-up and shutdown only: no menu runs between them.
void no_main_loop() {}
}  // namespace

namespace {
class DeviceStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_use_backend(&headless_backend);
        headless_system_reset();
        headless_input_reset();
        headless_audio_reset();
    }
    void TearDown() override {
        screen_library_release();  // the window sound_init made, and its class
        platform_use_backend(&headless_backend);
    }
    static std::vector<std::string> texts() {
        std::vector<std::string> t;
        for (const auto& box : headless_system().message_boxes) {
            EXPECT_EQ(box.caption, "Tarnwood");
            t.push_back(box.text);
        }
        return t;
    }
    static void expect_released() {
        EXPECT_EQ(mouse_state.initialised, 0);
        EXPECT_EQ(keyboard_state.initialised, 0);
        EXPECT_EQ(dinput_state.dinput, nullptr);
        EXPECT_EQ(dinput_state.dinput_users, 0);
        EXPECT_EQ(sound_state.dsound, nullptr);
        EXPECT_EQ(sound_state.sounds, nullptr);
        EXPECT_FALSE(headless_audio().open);
        EXPECT_EQ(headless_input().open_count, 0);
    }
};
}  // namespace

TEST_F(DeviceStartupTest, AllDevicesStartQuietlyAndAreReleased) {
    EXPECT_EQ(game_run(no_main_loop), 0);
    EXPECT_TRUE(texts().empty());
    expect_released();
}

TEST_F(DeviceStartupTest, FailuresAreReportedInOrderAndStartUpGoesOn) {
    PlatformBackend bare = headless_backend;
    bare.input = nullptr;
    platform_use_backend(&bare);
    headless_audio().open_allowed = false;
    EXPECT_EQ(game_run(no_main_loop), 0);
    std::vector<std::string> expected = {"Mouse konnte nicht initialisiert werden",
                                         "Keyboard konnte nicht initialisiert werden",
                                         "Sound konnte nicht initialisiert werden"};
    EXPECT_EQ(texts(), expected);
    expect_released();

    // The next start-up in the same process finds every device again.
    headless_system_reset();
    headless_audio().open_allowed = true;
    platform_use_backend(&headless_backend);
    screen_library_release();
    EXPECT_EQ(game_run(no_main_loop), 0);
    EXPECT_TRUE(texts().empty());
    expect_released();
}
