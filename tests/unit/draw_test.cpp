// 2D drawing and fonts over a memory surface: one-pixel boxes, the pointer picture (outlined
// circle filled up to its border), invert mode, text position and measuring, the menu fonts'
// sizes and styles, umlauts, and the font table's lifetime.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/media/draw.h"
#include "runtime/platform/gdi/gdi.h"
#include "tests/support/runtime_fixture.h"

namespace {

class DrawTest : public RuntimeTest {
public:
    int32_t releases = 0;

protected:
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    static DrawTest* self;

    void SetUp() override {
        RuntimeTest::SetUp();
        self = this;
        draw_init();
        font_init();
    }
    void TearDown() override {
        draw_end();
        font_free_all();
        EXPECT_EQ(gdi_font_engine_users(), 0);
        RuntimeTest::TearDown();
    }
    // A drawing pass on a 32-bit memory surface, the way an output hands one out.
    DrawTarget* begin(int32_t w, int32_t h) {
        width = w, height = h;
        pixels.assign(size_t(w) * h, 0);
        DrawTarget* t = draw_target_create();
        t->kind = DRAW_TARGET_SURFACE;
        t->width = w, t->height = h, t->bits_per_pixel = 32, t->pixel_format = 64;
        t->dc = gdi_create_surface_dc(pixels.data(), w, h, w * 4, GDI_PIXELS_XRGB8888);
        t->release = [](DrawTarget* target, int32_t) {
            gdi_delete_dc(target->dc);
            target->dc = nullptr;
            self->releases++;
        };
        EXPECT_NE(draw_begin(t), 0);
        return t;
    }
    uint32_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }  // 0x00RRGGBB
    int32_t count(uint32_t rgb) const {
        int32_t n = 0;
        for (uint32_t p : pixels) n += (p & 0xFFFFFF) == rgb;
        return n;
    }
    int32_t lit() const {
        int32_t n = 0;
        for (uint32_t p : pixels) n += (p & 0xFFFFFF) != 0;
        return n;
    }
    static int32_t rgb(int32_t r, int32_t g, int32_t b) { return r + 256 * g + 65536 * b; }
    void load_menu_fonts() {
        const int32_t sizes[][2] = {{10, 0}, {12, 0}, {12, FONT_BOLD}, {14, 0}, {24, 0}, {28, 0}};
        for (int32_t i = 0; i < 6; i++) ASSERT_NE(font_load(i, u"Monotype Corsiva", sizes[i][0], sizes[i][1]), 0);
    }
};
DrawTest* DrawTest::self = nullptr;

TEST_F(DrawTest, OnePixelBoxesInAllFourDirections) {
    begin(10, 10);
    draw_box(4, 4, 1, 1, rgb(255, 0, 0));
    EXPECT_EQ(at(4, 4), 0xFF0000u);
    draw_box(4, 4, -1, -1, rgb(0, 255, 0));
    EXPECT_EQ(at(3, 3), 0x00FF00u);
    draw_box(7, 7, 1, -1, rgb(0, 0, 255));
    EXPECT_EQ(at(7, 6), 0x0000FFu);
    draw_box(7, 7, -1, 1, rgb(0, 0, 255));
    EXPECT_EQ(at(6, 7), 0x0000FFu);
    EXPECT_EQ(lit(), 4);
    draw_circle(8, 1, 1, rgb(0, 255, 0));  // radius 1: one pixel
    EXPECT_EQ(at(8, 1), 0x00FF00u);
    EXPECT_EQ(lit(), 5);
    draw_set_opacity(200);
    EXPECT_EQ(draw_state.current->opacity, 200);
    // A 3 x 3 box: exactly nine pixels.
    draw_box(0, 0, 3, 3, rgb(255, 255, 255));
    EXPECT_EQ(count(0xFFFFFF), 9);
}

TEST_F(DrawTest, PointerPictureIsAFilledRingOnBlack) {
    begin(24, 24);
    draw_set_mode(DRAW_MODE_OUTLINE);
    draw_circle(12, 12, 6, rgb(255, 0, 0));
    // Outline mode: only the ring.
    EXPECT_EQ(at(12, 12), 0u);
    EXPECT_EQ(at(12, 6), 0xFF0000u);
    EXPECT_EQ(at(18, 12), 0xFF0000u);
    draw_fill(12, 12, rgb(255, 0, 0), rgb(120, 100, 100));
    EXPECT_EQ(draw_state.current->mode, DRAW_MODE_OUTLINE);  // the mode is back
    const uint32_t fill = 0x786464;
    for (int32_t y = 0; y < 24; y++)
        for (int32_t x = 0; x < 24; x++) {
            int32_t dx = x - 12, dy = y - 12, d2 = dx * dx + dy * dy;
            if (d2 <= 16) {
                EXPECT_EQ(at(x, y), fill) << x << "," << y;
            } else if (d2 >= 49) {
                EXPECT_EQ(at(x, y), 0u) << x << "," << y;
            } else {
                EXPECT_TRUE(at(x, y) == fill || at(x, y) == 0xFF0000u || at(x, y) == 0) << x << "," << y;
            }
        }
    // A ring: red on every ray from the centre, filled inside it.
    EXPECT_GT(count(0xFF0000), 20);
    EXPECT_GT(count(fill), 60);
    // Also after a later colour change the outline mode holds (no brush fills the next circle).
    draw_circle(3, 3, 2, rgb(0, 255, 0));
    EXPECT_EQ(at(3, 3), 0u);
}

TEST_F(DrawTest, InvertModeInvertsTwiceBack) {
    begin(8, 8);
    draw_box(0, 0, 8, 8, rgb(10, 20, 30));
    draw_set_mode(DRAW_MODE_INVERT);
    draw_box(2, 2, 4, 4, rgb(99, 99, 99));
    EXPECT_EQ(at(3, 3), 0xF5EBE1u);  // 0x0A141E inverted
    EXPECT_EQ(at(0, 0), 0x0A141Eu);
    draw_box(2, 2, 4, 4, rgb(99, 99, 99));
    EXPECT_EQ(at(3, 3), 0x0A141Eu);
    // Outline mode draws no inside: the colour underneath shows through the circle.
    draw_set_mode(DRAW_MODE_OUTLINE);
    draw_circle(4, 4, 3, rgb(0, 0, 255));
    EXPECT_EQ(at(4, 1), 0x0000FFu);
    EXPECT_EQ(at(4, 4), 0x0A141Eu);
}

TEST_F(DrawTest, EndReleasesTheTargetAndFailedBeginFreesIt) {
    begin(4, 4);
    draw_end();
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(draw_state.current, nullptr);
    draw_end();  // nothing current: nothing happens
    EXPECT_EQ(releases, 1);
    // An output without a context: begin fails, releases and frees the target.
    DrawTarget* t = draw_target_create();
    t->release = [](DrawTarget*, int32_t ended) { self->releases += ended ? 100 : 10; };
    EXPECT_EQ(draw_begin(t), 0);
    EXPECT_EQ(releases, 11);
    EXPECT_EQ(draw_state.current, nullptr);
    EXPECT_EQ(draw_begin(nullptr), 0);
}

TEST_F(DrawTest, TextIsMeasuredAndDrawnAtItsPosition) {
    load_menu_fonts();
    begin(400, 80);
    draw_set_mode(DRAW_MODE_TRANSPARENT);
    draw_set_font(font_handle(3));
    int32_t w = draw_text_width(u"Optionen");
    int32_t h = draw_text_height(u"Optionen");
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    EXPECT_GT(draw_text_width(u"Optionen und mehr"), w);
    EXPECT_EQ(draw_text(20, 10, u"Optionen", rgb(250, 250, 250)), 20 + w);
    // Drawn inside its cell: nothing left of x or above y, something inside.
    int32_t inside = 0;
    for (int32_t y = 0; y < 80; y++)
        for (int32_t x = 0; x < 400; x++) {
            if (!at(x, y)) continue;
            EXPECT_TRUE(x >= 18 && y >= 10 && y < 10 + h) << x << "," << y;  // italic overhang allows a little
            inside++;
        }
    EXPECT_GT(inside, 50);
    // The empty string measures 0 and draws nothing.
    EXPECT_EQ(draw_text(5, 5, u"", rgb(255, 255, 255)), 5);
    EXPECT_EQ(draw_text_width(u""), 0);
    EXPECT_EQ(draw_text_height(nullptr), 0);
    // Opaque text fills its cell with the back colour (black at creation) over what was there.
    draw_box(0, 0, 400, 80, rgb(0, 0, 255));
    draw_set_mode(0);
    draw_text(20, 10, u"Optionen", rgb(250, 250, 250));
    int32_t back = 0;
    for (int32_t y = 10; y < 10 + h; y++)
        for (int32_t x = 20; x < 20 + w; x++) back += at(x, y) == 0;
    EXPECT_GT(back, w * h / 2);
}

TEST_F(DrawTest, EmptyStringsDoNotTouchTheContext) {
    // With only the stock font, measuring a real text starts the font engine through the
    // context; an empty one must not get that far.
    begin(50, 20);
    EXPECT_EQ(draw_text_width(u""), 0);
    EXPECT_EQ(draw_text_height(u""), 0);
    EXPECT_EQ(gdi_font_engine_users(), 0);
    EXPECT_EQ(draw_text_height(u"x"), 16);
    EXPECT_EQ(gdi_font_engine_users(), 1);
    draw_end();
    EXPECT_EQ(gdi_font_engine_users(), 0);
}

TEST_F(DrawTest, MenuFontSizesAndBoldDiffer) {
    load_menu_fonts();
    begin(10, 10);
    std::vector<int32_t> heights;
    for (int32_t font : {0, 1, 3, 4, 5}) {
        draw_set_font(font_handle(font));
        heights.push_back(draw_text_height(u"Hauptmenü"));
    }
    for (size_t i = 1; i < heights.size(); i++) EXPECT_GT(heights[i], heights[i - 1]) << i;
    draw_set_font(font_handle(1));
    int32_t normal = draw_text_width(u"Neues Spiel");
    draw_set_font(font_handle(2));
    int32_t bold = draw_text_width(u"Neues Spiel");
    EXPECT_GT(bold, normal);
    // 12 points at 96 dpi: a 16-pixel character height, so the cell is at least that.
    EXPECT_GE(heights[1], 16);
    // Back to the system font with -1.
    draw_set_font(-1);
    EXPECT_EQ(draw_text_height(u"A"), 16);
}

TEST_F(DrawTest, UmlautsRender) {
    load_menu_fonts();
    for (const char16_t* word : {u"Zurück", u"Menü Info", u"Auflösung"}) {
        // The word with its umlaut against the word with the plain vowel and with an unmapped
        // character: the umlaut adds ink (its dots) and is not a missing-glyph box.
        std::u16string text = word, plain = word, missing = word;
        for (char16_t& c : plain) c = c == u'ü' ? u'u' : c == u'ö' ? u'o' : c;
        for (char16_t& c : missing) c = (c == u'ü' || c == u'ö') ? char16_t(0xE000) : c;
        int32_t ink[3];
        std::vector<uint32_t> pictures[3];
        const std::u16string* texts[3] = {&text, &plain, &missing};
        for (int i = 0; i < 3; i++) {
            begin(300, 60);
            draw_set_mode(DRAW_MODE_TRANSPARENT);
            draw_set_font(font_handle(3));
            draw_text(5, 5, texts[i]->c_str(), rgb(255, 255, 255));
            ink[i] = lit();
            pictures[i] = pixels;
            draw_end();
        }
        EXPECT_GT(ink[0], ink[1]) << str_to_utf8(word);
        EXPECT_NE(pictures[0], pictures[2]) << str_to_utf8(word);
    }
}

TEST_F(DrawTest, UnderlineDrawsALineUnderTheWholeText) {
    // Plain, underlined, struck out, italic: rows lit across the text, the first of them, the ink.
    const int32_t flags[] = {0, FONT_UNDERLINE, FONT_STRIKEOUT, FONT_ITALIC};
    int32_t rows[4] = {}, first_row[4] = {};
    std::vector<uint32_t> pictures[4];
    for (int i = 0; i < 4; i++) {
        ASSERT_NE(font_load(i, u"DejaVu Sans", 12, flags[i]), 0);
        begin(200, 40);
        draw_set_mode(DRAW_MODE_TRANSPARENT);
        draw_set_font(font_handle(i));
        int32_t w = draw_text_width(u"one two");
        draw_text(10, 5, u"one two", rgb(255, 255, 255));
        // Rows lit across the whole width of the text (the space included).
        for (int32_t y = 0; y < 40; y++) {
            bool full = true;
            for (int32_t x = 10; x < 10 + w; x++) full &= at(x, y) != 0;
            if (full && !rows[i]++) first_row[i] = y;
        }
        pictures[i] = pixels;
        draw_end();
    }
    EXPECT_EQ(rows[0], 0);
    EXPECT_GE(rows[1], 1);
    EXPECT_GE(rows[2], 1);
    EXPECT_LT(first_row[2], first_row[1]);  // the stroke lies above the underline
    EXPECT_EQ(rows[3], 0);
    EXPECT_NE(pictures[3], pictures[0]);
}

TEST_F(DrawTest, ReloadingANumberReplacesTheFontAndFreeAllStopsTheEngine) {
    intptr_t first = font_load(2, u"Monotype Corsiva", 12, FONT_BOLD);
    ASSERT_NE(first, 0);
    EXPECT_EQ(font_handle(2), first);
    int32_t users = gdi_font_engine_users();
    intptr_t second = font_load(2, u"Monotype Corsiva", 14);
    ASSERT_NE(second, 0);
    EXPECT_EQ(font_handle(2), second);
    EXPECT_EQ(gdi_font_engine_users(), users);  // the first font went
    intptr_t automatic = font_load(AUTO_NUMBER, u"DejaVu Sans", 10);
    ASSERT_NE(automatic, 0);
    EXPECT_NE(font_handle(automatic), 0);
    EXPECT_EQ(font_handle(7), 0);
    font_free(2);
    EXPECT_EQ(font_handle(2), 0);
    font_free_all();
    EXPECT_EQ(gdi_font_engine_users(), 0);
}

}  // namespace

#include "game/startup/game_main.h"

namespace {

// The start-up loads the six menu fonts and the shutdown frees them and stops the font engine,
// so a second start-up in the same process starts clean.
TEST(DrawStartup, MenuFontsLiveFromStartUpToShutdown) {
    platform_use_backend(&headless_backend);
    headless_system_reset();
    headless_video_reset();
    for (int run = 0; run < 2; run++) {
        // In place of the menu: the six fonts are loaded by the time the main loop runs.
        EXPECT_EQ(game_run([] {
                      for (intptr_t n = 0; n < 6; n++) EXPECT_NE(font_handle(n), 0) << n;
                  }),
                  0);
        EXPECT_EQ(draw_state.fonts, nullptr);
        EXPECT_EQ(draw_state.current, nullptr);
        EXPECT_EQ(gdi_font_engine_users(), 0);
    }
}

}  // namespace
