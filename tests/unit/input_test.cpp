// Keyboard and mouse on the headless input driver: once-only release reports, re-acquisition
// after the focus comes back, folding of mouse events, clamping, the overflow rule, capture retry,
// and the DirectInput stand-in's buffer underneath.
#include "runtime/media/display.h"
#include "runtime/media/keyboard.h"
#include "runtime/media/mouse.h"
#include "runtime/platform/headless/headless_input.h"
#include "support/runtime_fixture.h"

namespace {
constexpr int kEscape = 1, kF12 = 88, kA = 0x1E;

class InputTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        headless_input_reset();
        display_state = {};
        display_state.screen_window = 0x100;
        display_state.screen_active = 1;
        display_state.display_width = 800;
        display_state.display_height = 600;
    }
    void TearDown() override {
        mouse_release();
        key_release();
        EXPECT_EQ(headless_input().open_count, 0);  // the event source is closed with the last device
        display_state = {};
        RuntimeTest::TearDown();
    }
    // One frame of the page loop: snapshot, then the two questions the menu asks.
    static int frame_key(int code) {
        key_examine();
        return key_released(code);
    }
};
}  // namespace

TEST_F(InputTest, HeldKeyReportsOnceInFirstFrameAfterRelease) {
    ASSERT_NE(key_init(), 0);
    headless_input_key(kEscape, true);
    for (int frame = 0; frame < 4; frame++) EXPECT_EQ(frame_key(kEscape), 0) << frame;
    headless_input_key(kEscape, false);
    EXPECT_EQ(key_examine(), 1);
    EXPECT_EQ(key_released(kEscape), 1);
    EXPECT_EQ(key_released(kEscape), 0);  // second query in the same frame
    EXPECT_EQ(frame_key(kEscape), 0);
    EXPECT_EQ(frame_key(kEscape), 0);
}

TEST_F(InputTest, AnyKeyQueryConsumesTheRelease) {
    ASSERT_NE(key_init(), 0);
    // 254 is the last key the any-key query scans; 255 it leaves out, but answers when asked for.
    for (int code : {kF12, 254, 255}) {
        headless_input_key(uint8_t(code), true);
        EXPECT_EQ(frame_key(code), 0);
        headless_input_key(uint8_t(code), false);
        key_examine();
        EXPECT_EQ(key_released(-1), code == 255 ? 0 : 1) << code;
        EXPECT_EQ(key_released(code), code == 255 ? 1 : 0) << code;
        EXPECT_EQ(key_released(-1), 0);
    }
}

TEST_F(InputTest, TapBetweenTwoSnapshotsAndUnqueriedKeysAreNotReported) {
    ASSERT_NE(key_init(), 0);
    EXPECT_EQ(frame_key(kA), 0);
    headless_input_key(kA, true);
    headless_input_key(kA, false);
    EXPECT_EQ(frame_key(kA), 0);
    EXPECT_EQ(frame_key(-1), 0);

    // Down while nobody asked about it: its release is not reported.
    headless_input_key(kF12, true);
    EXPECT_EQ(frame_key(kEscape), 0);
    headless_input_key(kF12, false);
    EXPECT_EQ(frame_key(kF12), 0);
}

TEST_F(InputTest, KeyboardReacquiresAfterFocusReturns) {
    ASSERT_NE(key_init(), 0);
    EXPECT_EQ(keyboard_state.stage, 1);
    headless_input_key(kEscape, true);
    EXPECT_EQ(frame_key(kEscape), 0);
    EXPECT_EQ(keyboard_state.stage, 2);

    headless_input_set_focus(false);  // releases Escape elsewhere
    EXPECT_EQ(key_examine(), 0);
    EXPECT_EQ(keyboard_state.stage, 1);
    EXPECT_EQ(key_released(kEscape), 0);  // nothing is reported while the snapshot fails
    EXPECT_EQ(key_examine(), 0);          // acquisition refused without the focus
    EXPECT_EQ(keyboard_state.stage, 1);

    headless_input_set_focus(true);
    EXPECT_EQ(key_examine(), 1);
    EXPECT_EQ(keyboard_state.stage, 2);
    headless_input_key(kEscape, true);
    EXPECT_EQ(frame_key(kEscape), 0);
    headless_input_key(kEscape, false);
    EXPECT_EQ(frame_key(kEscape), 1);
}

TEST_F(InputTest, KeyboardWithoutDevice) {
    EXPECT_EQ(key_examine(), 0);
    EXPECT_EQ(key_released(-1), 0);
    EXPECT_EQ(key_released(kEscape), 0);
}

TEST_F(InputTest, SharedDirectInputObjectLivesWhileEitherDeviceDoes) {
    ASSERT_NE(mouse_init(), 0);
    ASSERT_NE(key_init(), 0);
    EXPECT_EQ(dinput_state.dinput_users, 2);
    EXPECT_EQ(headless_input().open_count, 1);
    mouse_release();
    EXPECT_NE(dinput_state.dinput, nullptr);
    key_release();
    EXPECT_EQ(dinput_state.dinput, nullptr);
    EXPECT_EQ(dinput_state.dinput_users, 0);
}

TEST_F(InputTest, MissingInputDriverFailsBothInitialisations) {
    PlatformBackend without_input = headless_backend;
    without_input.input = nullptr;
    platform_use_backend(&without_input);
    EXPECT_EQ(mouse_init(), 0);
    EXPECT_EQ(key_init(), 0);
    EXPECT_EQ(mouse_examine(), 0);
    EXPECT_EQ(key_examine(), 0);
    mouse_release();
    key_release();
    EXPECT_EQ(dinput_state.dinput_users, 0);
    platform_use_backend(&headless_backend);
}

TEST_F(InputTest, MouseMovesAndClampsToTheScreen) {
    ASSERT_NE(mouse_init(), 0);
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_TRUE(headless_input().captured);
    headless_input_motion(30, 40);
    headless_input_motion(-10, 5);
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_state.dx, 20);
    EXPECT_EQ(mouse_state.dy, 45);
    EXPECT_EQ(mouse_x(), 20);
    EXPECT_EQ(mouse_y(), 45);

    headless_input_motion(5000, 4000);
    mouse_examine();
    EXPECT_EQ(mouse_x(), 799);
    EXPECT_EQ(mouse_y(), 599);
    headless_input_motion(-9000, -9000);
    mouse_examine();
    EXPECT_EQ(mouse_x(), 0);
    EXPECT_EQ(mouse_y(), 0);
    EXPECT_EQ(mouse_examine(), 1);  // a frame without events still reads
    EXPECT_EQ(mouse_state.dx, 0);
}

TEST_F(InputTest, SetPositionIsKeptUnclampedUntilTheNextMovement) {
    ASSERT_NE(mouse_init(), 0);
    display_state.display_height = 480;
    mouse_set_position(400, 580);
    headless_input_button(0, true);  // events, but no movement
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_x(), 400);
    EXPECT_EQ(mouse_y(), 580);  // not clamped
    mouse_examine();
    EXPECT_EQ(mouse_y(), 580);
    headless_input_motion(1, 0);
    mouse_examine();
    EXPECT_EQ(mouse_x(), 401);
    EXPECT_EQ(mouse_y(), 479);
}

TEST_F(InputTest, ButtonsHeldFromPressFrameToReleaseFrame) {
    ASSERT_NE(mouse_init(), 0);
    mouse_examine();
    headless_input_button(0, true);
    headless_input_button(2, true);
    mouse_examine();
    for (int frame = 0; frame < 3; frame++) {
        EXPECT_EQ(mouse_button(1), 1);
        EXPECT_EQ(mouse_button(3), 1);
        EXPECT_EQ(mouse_button(2), 0);
        headless_input_motion(3, 3);
        mouse_examine();
    }
    headless_input_button(0, false);
    mouse_examine();
    EXPECT_EQ(mouse_button(1), 0);
    EXPECT_EQ(mouse_button(3), 1);
    // Press and release in one frame leave the button released.
    headless_input_button(1, true);
    headless_input_button(1, false);
    mouse_examine();
    EXPECT_EQ(mouse_button(2), 0);
    EXPECT_EQ(mouse_button(4), 0);
}

TEST_F(InputTest, FastMotionFoldsButTooManyButtonEventsOverflow) {
    ASSERT_NE(mouse_init(), 0);
    mouse_examine();
    // Hundreds of motion steps fold into one X and one Y record.
    for (int i = 0; i < 500; i++) headless_input_motion(1, 1);
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_x(), 500);
    EXPECT_EQ(mouse_y(), 500);

    headless_input_button(0, true);
    headless_input_button(1, true);
    mouse_examine();
    ASSERT_EQ(mouse_button(1), 1);
    ASSERT_EQ(mouse_button(2), 1);
    headless_input_button(2, true);
    mouse_examine();
    // 13 motion runs separated by 12 clicks of the middle button: 25 records.
    for (int i = 0; i < 12; i++) {
        headless_input_motion(10, 0);
        headless_input_button(2, i % 2 != 0);
    }
    headless_input_motion(10, 0);
    EXPECT_EQ(mouse_examine(), 0);
    EXPECT_EQ(mouse_button(1), 0);
    EXPECT_EQ(mouse_button(2), 0);
    EXPECT_EQ(mouse_button(3), 1);  // kept
    EXPECT_EQ(mouse_x(), 500);      // that frame's movement is ignored
    EXPECT_EQ(mouse_examine(), 1);  // the next frame reads normally
    EXPECT_EQ(mouse_x(), 500);
}

TEST_F(InputTest, DeviceBufferKeepsMotionOrderAroundButtons) {
    ASSERT_NE(mouse_init(), 0);
    mouse_examine();
    headless_input_motion(5, 0);
    headless_input_motion(2, -1);
    headless_input_button(0, true);
    headless_input_motion(3, 0);
    headless_input_wheel(120);
    headless_input_motion(1, 0);
    headless_input_button(0, false);
    DiDeviceObjectData records[24];
    uint32_t count = 24;
    ASSERT_EQ(mouse_state.device->get_device_data(sizeof records[0], records, &count, 0), DI_OK);
    const uint32_t expected[][2] = {{0, 7}, {4, uint32_t(-1)}, {12, 0x80}, {0, 4}, {8, 120}, {12, 0}};
    ASSERT_EQ(count, 6u);
    for (uint32_t i = 0; i < count; i++) {
        EXPECT_EQ(records[i].offset, expected[i][0]) << i;
        EXPECT_EQ(records[i].data, expected[i][1]) << i;
        if (i) {
            EXPECT_GT(records[i].sequence, records[i - 1].sequence);
        }
    }
    // A short read leaves the rest for the next one, in order.
    headless_input_button(1, true);
    headless_input_motion(1, 0);
    headless_input_button(1, false);
    count = 2;
    ASSERT_EQ(mouse_state.device->get_device_data(sizeof records[0], records, &count, 0), DI_OK);
    ASSERT_EQ(count, 2u);
    headless_input_motion(1, 0);  // starts a new record: the old run is behind a button
    count = 24;
    ASSERT_EQ(mouse_state.device->get_device_data(sizeof records[0], records, &count, 0), DI_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(records[0].offset, 13u);
    EXPECT_EQ(records[1].offset, 0u);
    // The wheel records of one read add up (a button between them keeps them apart; a motion
    // does not, the stand-in merges a run of movement into one record per axis).
    headless_input_wheel(120);
    headless_input_button(0, true);
    headless_input_wheel(-240);
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_state.wheel, -120);
}

TEST_F(InputTest, DeactivationKeepsPositionAndReacquires) {
    ASSERT_NE(mouse_init(), 0);
    mouse_examine();
    headless_input_motion(100, 50);
    mouse_examine();
    display_state.screen_active = 0;
    EXPECT_EQ(mouse_examine(), 0);  // an inactive screen gives the device up by itself
    EXPECT_FALSE(headless_input().captured);
    headless_input_set_focus(false);
    mouse_unacquire();  // what the window procedure does on deactivation
    EXPECT_FALSE(headless_input().captured);
    headless_input_motion(300, 300);  // not ours while unacquired
    EXPECT_EQ(mouse_examine(), 0);
    EXPECT_EQ(mouse_x(), 100);
    EXPECT_EQ(mouse_y(), 50);

    headless_input_set_focus(true);
    display_state.screen_active = 1;
    EXPECT_EQ(mouse_examine(), 0);  // reports not acquired, and acquires
    EXPECT_TRUE(headless_input().captured);
    headless_input_motion(1, 1);
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_x(), 101);
    EXPECT_EQ(mouse_y(), 51);
}

TEST_F(InputTest, FocusLossWithoutDeactivationReportsInputLost) {
    ASSERT_NE(mouse_init(), 0);
    mouse_examine();
    headless_input_button(0, true);
    mouse_examine();
    headless_input_set_focus(false);
    EXPECT_EQ(mouse_examine(), 0);
    EXPECT_FALSE(headless_input().captured);
    headless_input_set_focus(true);
    EXPECT_EQ(mouse_examine(), 0);
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_button(1), 1);  // as of the last event seen
}

TEST_F(InputTest, RefusedCaptureIsRetriedEveryFrame) {
    headless_input().capture_granted = false;  // the old instance still holds the pointer
    ASSERT_NE(mouse_init(), 0);
    for (int frame = 0; frame < 3; frame++) {
        headless_input_motion(10, 10);
        EXPECT_EQ(mouse_examine(), 0);
        EXPECT_EQ(mouse_state.stage, 1);
    }
    int requests = headless_input().capture_requests;
    EXPECT_GE(requests, 3);
    headless_input().capture_granted = true;
    EXPECT_EQ(mouse_examine(), 1);
    EXPECT_EQ(mouse_state.stage, 2);
    EXPECT_TRUE(headless_input().captured);
    EXPECT_EQ(mouse_x(), 0);  // movement before the capture is not ours
    headless_input_motion(10, 10);
    mouse_examine();
    EXPECT_EQ(mouse_x(), 10);
}

TEST_F(InputTest, StandInRefusesMalformedFormatsAndLevels) {
    DirectInput* dinput = dinput_open();
    ASSERT_NE(dinput, nullptr);
    DirectInputDevice* device = nullptr;
    ASSERT_EQ(dinput->create_device_ex(GUID_SysKeyboard, &device, nullptr), DI_OK);
    DiObjectDataFormat objects[1] = {{&GUID_Key, 300, DIDFT_BUTTON | (1 << 8), 0}};
    DiDataFormat format = {DIDATAFORMAT_SIZE, DIOBJECTDATAFORMAT_SIZE, DIDF_RELAXIS, 256, 1, objects};
    EXPECT_EQ(device->set_data_format(&format), DIERR_INVALIDPARAM);  // offset outside the state
    objects[0].offset = 1;
    format.size = 32;
    EXPECT_EQ(device->set_data_format(&format), DIERR_INVALIDPARAM);
    format.size = DIDATAFORMAT_SIZE;
    EXPECT_EQ(device->set_data_format(&format), DI_OK);
    EXPECT_EQ(device->set_cooperative_level(0x100, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DIERR_INVALIDPARAM);
    EXPECT_EQ(device->set_cooperative_level(0x100, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DIERR_INVALIDPARAM);
    EXPECT_EQ(device->set_cooperative_level(0x100, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    uint8_t state[256];
    EXPECT_EQ(device->get_device_state(sizeof state, state), DIERR_NOTACQUIRED);
    EXPECT_EQ(device->acquire(), DI_OK);
    headless_input_key(1, true);
    EXPECT_EQ(device->get_device_state(sizeof state, state), DI_OK);
    EXPECT_EQ(state[1], 0x80);  // key 1 lands at the offset its object names
    EXPECT_EQ(device->get_device_state(16, state), DIERR_INVALIDPARAM);
    device->release();
    dinput_release();
    EXPECT_EQ(headless_input().open_count, 0);
}
