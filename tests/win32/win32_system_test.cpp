// The Win32 system driver's clock and sleep, and the glyphs the system's GDI gives the GDI
// stand-in: anti-aliased or one-bit coverage, blank glyphs with an advance, bold heavier than
// regular, the 96-dpi character height, and a usable face whatever is installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>

#include "runtime/platform/system/backend.h"
#include "runtime/platform/win32/win32_glyphs.h"

extern const SystemDriver win32_system_driver;

namespace {

TEST(Win32SystemDriver, SleepAdvancesTheMillisecondClock) {
    win32_system_driver.timer_period(1, true);
    for (uint32_t ms : {5u, 30u}) {
        uint32_t before = win32_system_driver.tick_count();
        win32_system_driver.sleep(ms);
        uint32_t elapsed = win32_system_driver.tick_count() - before;
        EXPECT_GE(elapsed + 1, ms);  // a tick may fall just before the sleep began
        EXPECT_LT(elapsed, ms + 1000);
    }
    win32_system_driver.timer_period(1, false);
}

struct FaceCase {
    const char16_t* family;
    int32_t height, weight;
    bool antialiased;
};

uint64_t ink(const Win32GlyphBitmap& g) { return std::accumulate(g.coverage.begin(), g.coverage.end(), uint64_t(0)); }

TEST(Win32Glyphs, FacesGiveCoverageAtTheAskedSize) {
    // The menu's face (whatever stands in for it), the default face, and a cell-height request.
    const FaceCase cases[] = {
        {u"Monotype Corsiva", -16, 400, true},
        {u"Monotype Corsiva", -21, 700, true},
        {u"", -16, 400, true},
        {u"", 16, 700, false},
    };
    for (const FaceCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.height) + " " + std::to_string(c.weight));
        Win32Face* face = win32_face_open(c.family, c.height, c.weight, false, false, false, c.antialiased);
        ASSERT_NE(face, nullptr);
        EXPECT_FALSE(win32_face_family(face).empty());
        Win32FaceMetrics m = win32_face_metrics(face);
        if (c.height > 0) EXPECT_EQ(m.height, c.height);  // the cell as asked
        else EXPECT_GE(m.height, -c.height);              // the character height plus the leading
        EXPECT_EQ(m.ascent + m.descent, m.height);

        Win32GlyphBitmap w;
        ASSERT_TRUE(win32_face_glyph(face, 'W', w));
        EXPECT_GT(w.width, 0);
        EXPECT_GT(w.height, 0);
        EXPECT_GT(w.advance, 0);
        EXPECT_LE(w.top, m.ascent + 1);
        ASSERT_EQ(w.coverage.size(), size_t(w.width) * size_t(w.height));
        EXPECT_EQ(*std::max_element(w.coverage.begin(), w.coverage.end()), 255);
        bool grey = std::any_of(w.coverage.begin(), w.coverage.end(), [](uint8_t v) { return v != 0 && v != 255; });
        EXPECT_EQ(grey, c.antialiased);

        Win32GlyphBitmap space;
        ASSERT_TRUE(win32_face_glyph(face, ' ', space));
        EXPECT_GT(space.advance, 0);
        EXPECT_EQ(ink(space), 0u);

        Win32GlyphBitmap umlaut;
        ASSERT_TRUE(win32_face_glyph(face, 0x00FC, umlaut));  // ü
        EXPECT_GT(ink(umlaut), 0u);

        Win32GlyphBitmap beyond;
        EXPECT_FALSE(win32_face_glyph(face, 0x1D11E, beyond));
        win32_face_close(face);
    }
}

TEST(Win32Glyphs, BoldIsHeavierThanRegular) {
    for (const char16_t* family : {u"Monotype Corsiva", u""}) {
        Win32Face* regular = win32_face_open(family, -21, 400, false, false, false, true);
        Win32Face* bold = win32_face_open(family, -21, 700, false, false, false, true);
        ASSERT_NE(regular, nullptr);
        ASSERT_NE(bold, nullptr);
        uint64_t light = 0, heavy = 0;
        for (char16_t c : std::u16string(u"Optionen")) {
            Win32GlyphBitmap a, b;
            ASSERT_TRUE(win32_face_glyph(regular, c, a));
            ASSERT_TRUE(win32_face_glyph(bold, c, b));
            light += ink(a);
            heavy += ink(b);
        }
        EXPECT_GT(heavy, light + light / 10) << win32_face_family(bold);
        win32_face_close(regular);
        win32_face_close(bold);
    }
}

}  // namespace
