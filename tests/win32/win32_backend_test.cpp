// The Windows backend's pure pieces: the letterbox rectangle, the scan codes of key messages and
// the choice of a display mode.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/platform/win32/win32_window.h"

namespace {

TEST(Win32Backend, LetterboxKeepsTheFramesShapeCentred) {
    const struct {
        int32_t fw, fh, tw, th;
        Win32Rect expected;
    } cases[] = {
        {1024, 768, 1024, 768, {0, 0, 1024, 768}},     // the mode itself: no bars
        {1024, 768, 1920, 1080, {240, 0, 1440, 1080}}, // wider desktop: bars left and right
        {800, 600, 1280, 1024, {0, 32, 1280, 960}},    // taller desktop: bars above and below
        {1280, 720, 1280, 1024, {0, 152, 1280, 720}},
        {640, 480, 1366, 768, {171, 0, 1024, 768}},    // odd leftover: the extra pixel on the right
        {1024, 768, 0, 0, {0, 0, 0, 0}},               // a minimised window
    };
    for (const auto& c : cases) {
        Win32Rect r = win32_letterbox(c.fw, c.fh, c.tw, c.th);
        EXPECT_EQ(r.x, c.expected.x) << c.fw << "x" << c.fh << " in " << c.tw << "x" << c.th;
        EXPECT_EQ(r.y, c.expected.y) << c.fw << "x" << c.fh << " in " << c.tw << "x" << c.th;
        EXPECT_EQ(r.width, c.expected.width) << c.fw << "x" << c.fh << " in " << c.tw << "x" << c.th;
        EXPECT_EQ(r.height, c.expected.height) << c.fw << "x" << c.fh << " in " << c.tw << "x" << c.th;
    }
}

TEST(Win32Backend, KeyMessagesBecomeDirectInputScanCodes) {
    // lParam of WM_KEYDOWN: repeat count in bits 0-15, scan code 16-23, extended key 24.
    auto key = [](uint32_t scan, bool extended) { return 1u | scan << 16 | (extended ? 1u << 24 : 0u); };
    const struct {
        uint32_t lparam;
        uint8_t code;
    } cases[] = {
        {key(0x01, false), 1},     // Escape
        {key(0x58, false), 88},    // F12
        {key(0x1C, false), 0x1C},  // Return
        {key(0x1C, true), 0x9C},   // keypad Enter
        {key(0x1D, true), 0x9D},   // right Control
        {key(0x38, true), 0xB8},   // right Alt
        {key(0x48, true), 0xC8},   // cursor up
        {key(0x48, false), 0x48},  // keypad 8
        {key(0x53, true), 0xD3},   // Delete
        {key(0x00, false), 0},     // no scan code: no key
        {key(0xE0, false), 0},     // a prefix byte, not a key
        {key(0x1E, false) | 1u << 30 | 1u << 31, 0x1E},  // release flags do not change the code
    };
    for (const auto& c : cases) EXPECT_EQ(win32_scan_code(c.lparam), c.code) << std::hex << c.lparam;
}

TEST(Win32Backend, ModeChoiceNeedsTheExactSizeAndRate) {
    const std::vector<Win32Mode> modes = {
        {800, 600, 32, 60}, {800, 600, 32, 75}, {1024, 768, 32, 60}, {1024, 768, 16, 75}, {1024, 768, 32, 70},
    };
    const int n = int(modes.size());
    EXPECT_EQ(win32_choose_mode(modes.data(), n, 800, 600, 32, 75), 1);
    EXPECT_EQ(win32_choose_mode(modes.data(), n, 800, 600, 32, 0), 1);     // no rate asked: the highest
    EXPECT_EQ(win32_choose_mode(modes.data(), n, 1024, 768, 32, 75), -1);  // 75 Hz only in 16 bits
    EXPECT_EQ(win32_choose_mode(modes.data(), n, 1024, 768, 16, 75), 3);
    EXPECT_EQ(win32_choose_mode(modes.data(), n, 1280, 1024, 32, 60), -1);
    EXPECT_EQ(win32_choose_mode(modes.data(), 0, 800, 600, 32, 60), -1);
}

}  // namespace
