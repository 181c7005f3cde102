// The software GDI: coverage of rectangles and ellipses, raster operations, flood fill, pixel
// formats, BitBlt and FillRect, and the font engine's start and stop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "runtime/platform/gdi/gdi.h"

namespace {

// A 32-bit or 16-bit pixel buffer with a context over it.
struct Canvas {
    int32_t width, height, pitch;
    GdiPixelLayout layout;
    std::vector<uint8_t> bytes;
    HDC dc;
    Canvas(int32_t w, int32_t h, GdiPixelLayout l = GDI_PIXELS_XRGB8888, uint8_t* row_marks = nullptr)
        : width(w), height(h), pitch(w * (l == GDI_PIXELS_XRGB8888 ? 4 : 2) + 8), layout(l), bytes(size_t(pitch) * h, 0) {
        dc = gdi_create_surface_dc(bytes.data(), w, h, pitch, l, row_marks);
    }
    ~Canvas() { gdi_delete_dc(dc); }
    COLORREF at(int32_t x, int32_t y) const { return gdi_get_pixel(dc, x, y); }
    int32_t count(COLORREF c) const {
        int32_t n = 0;
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++) n += at(x, y) == c;
        return n;
    }
};

constexpr COLORREF RED = 0x0000FF, WHITE = 0xFFFFFF, BLACK = 0;

// Selects a pen and brush of the given colours; deletes them when it goes.
struct Tools {
    HDC dc;
    HPEN pen;
    HBRUSH brush;
    HGDIOBJ old_pen, old_brush;
    Tools(HDC d, COLORREF pen_colour, COLORREF brush_colour, bool null_brush = false) : dc(d) {
        pen = gdi_create_pen(PS_SOLID, 0, pen_colour);
        brush = null_brush ? nullptr : gdi_create_solid_brush(brush_colour);
        old_pen = gdi_select_object(dc, pen);
        old_brush = gdi_select_object(dc, null_brush ? gdi_get_stock_object(NULL_BRUSH) : brush);
    }
    ~Tools() {
        gdi_select_object(dc, old_pen);
        gdi_select_object(dc, old_brush);
        gdi_delete_object(pen);
        if (brush) gdi_delete_object(brush);
    }
};

TEST(GdiShapes, RectangleCoversLeftTopInclusiveRightBottomExclusive) {
    Canvas c(8, 8);
    {
        Tools t(c.dc, WHITE, WHITE);
        ASSERT_TRUE(gdi_rectangle(c.dc, 0, 0, 3, 3));
    }
    EXPECT_EQ(c.count(WHITE), 9);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 3; x++) EXPECT_EQ(c.at(x, y), WHITE) << x << "," << y;

    // The pen outlines on the inside edge, the brush fills the rest.
    Canvas d(8, 8);
    {
        Tools t(d.dc, RED, WHITE);
        gdi_rectangle(d.dc, 1, 1, 6, 5);
    }
    EXPECT_EQ(d.count(RED), 14);  // 5 + 5 on top and bottom, 2 + 2 at the sides
    EXPECT_EQ(d.count(WHITE), 6);  // 3 x 2 inside
    EXPECT_EQ(d.at(3, 2), WHITE);
    EXPECT_EQ(d.at(5, 4), RED);
    EXPECT_EQ(d.at(6, 4), BLACK);

    // Reversed corners are normalised; an empty box draws nothing.
    Canvas e(8, 8);
    {
        Tools t(e.dc, WHITE, WHITE);
        gdi_rectangle(e.dc, 4, 4, 2, 2);
        gdi_rectangle(e.dc, 6, 6, 6, 8);
    }
    EXPECT_EQ(e.count(WHITE), 4);
    EXPECT_EQ(e.at(2, 2), WHITE);
}

TEST(GdiShapes, OutlineOnlyWithTheNullBrush) {
    Canvas c(8, 8);
    {
        Tools t(c.dc, RED, 0, true);
        gdi_rectangle(c.dc, 0, 0, 4, 4);
    }
    EXPECT_EQ(c.count(RED), 12);
    EXPECT_EQ(c.at(1, 1), BLACK);
}

TEST(GdiShapes, EllipseIsSymmetricAndInsideItsBox) {
    const RECT boxes[] = {{0, 0, 13, 13}, {2, 3, 13, 10}, {1, 1, 9, 5}, {0, 0, 2, 2}, {3, 2, 4, 9}, {0, 0, 24, 17}};
    for (const RECT& box : boxes) {
        Canvas c(30, 30);
        {
            Tools t(c.dc, WHITE, WHITE);
            gdi_ellipse(c.dc, box.left, box.top, box.right, box.bottom);
        }
        int32_t min_x = 99, max_x = -1, min_y = 99, max_y = -1;
        for (int32_t y = 0; y < 30; y++)
            for (int32_t x = 0; x < 30; x++) {
                if (c.at(x, y) != WHITE) continue;
                min_x = std::min(min_x, x), max_x = std::max(max_x, x);
                min_y = std::min(min_y, y), max_y = std::max(max_y, y);
                int32_t mx = box.left + box.right - 1 - x, my = box.top + box.bottom - 1 - y;
                EXPECT_EQ(c.at(mx, y), WHITE) << "mirror x of " << x << "," << y;
                EXPECT_EQ(c.at(x, my), WHITE) << "mirror y of " << x << "," << y;
            }
        // Inside the box, and touching all four sides of it.
        EXPECT_EQ(min_x, box.left);
        EXPECT_EQ(max_x, box.right - 1);
        EXPECT_EQ(min_y, box.top);
        EXPECT_EQ(max_y, box.bottom - 1);
    }
}

TEST(GdiShapes, RasterOperationNotInvertsAndIsUndoneByRepeating) {
    Canvas c(6, 6);
    gdi_set_pixel_v(c.dc, 2, 2, 0x123456);
    Tools t(c.dc, RED, WHITE);
    ASSERT_EQ(gdi_set_rop2(c.dc, R2_NOT), R2_COPYPEN);
    gdi_rectangle(c.dc, 1, 1, 5, 5);
    EXPECT_EQ(c.at(2, 2), 0xEDCBA9u);  // 0x123456 inverted, whatever the brush colour
    EXPECT_EQ(c.at(1, 1), WHITE);      // black under the pen inverted
    EXPECT_EQ(c.at(0, 0), BLACK);
    gdi_rectangle(c.dc, 1, 1, 5, 5);
    EXPECT_EQ(c.at(2, 2), 0x123456u);
    EXPECT_EQ(c.count(BLACK), 35);
}

TEST(GdiFill, BorderAndSurfaceModes) {
    Canvas c(10, 10);
    {
        Tools t(c.dc, RED, 0, true);
        gdi_rectangle(c.dc, 2, 2, 8, 8);
    }
    // Border mode fills up to the red outline, not past it.
    HBRUSH green = gdi_create_solid_brush(0x00FF00);
    HGDIOBJ old = gdi_select_object(c.dc, green);
    EXPECT_TRUE(gdi_ext_flood_fill(c.dc, 4, 4, RED, FLOODFILLBORDER));
    EXPECT_EQ(c.count(0x00FF00), 16);
    EXPECT_EQ(c.at(1, 1), BLACK);
    // Starting on the border colour does nothing.
    EXPECT_FALSE(gdi_ext_flood_fill(c.dc, 2, 2, RED, FLOODFILLBORDER));
    // Surface mode: the black outside area, which is one region around the box.
    EXPECT_TRUE(gdi_ext_flood_fill(c.dc, 0, 0, BLACK, FLOODFILLSURFACE));
    EXPECT_EQ(c.count(BLACK), 0);
    EXPECT_EQ(c.count(RED), 20);
    // Filling an area with its own colour ends.
    EXPECT_TRUE(gdi_ext_flood_fill(c.dc, 0, 0, 0x00FF00, FLOODFILLSURFACE));
    gdi_select_object(c.dc, old);
    gdi_delete_object(green);
}

TEST(GdiFill, DoesNotLeakThroughDiagonalGaps) {
    Canvas c(5, 5);
    // A diagonal line of red splits the square for a 4-connected fill.
    for (int32_t i = 0; i < 5; i++) gdi_set_pixel_v(c.dc, i, i, RED);
    HBRUSH blue = gdi_create_solid_brush(0xFF0000);
    HGDIOBJ old = gdi_select_object(c.dc, blue);
    gdi_ext_flood_fill(c.dc, 4, 0, RED, FLOODFILLBORDER);
    gdi_select_object(c.dc, old);
    gdi_delete_object(blue);
    EXPECT_EQ(c.count(0xFF0000), 10);
    EXPECT_EQ(c.at(0, 4), BLACK);
}

TEST(GdiPixels, SixteenBitFormatsRoundTrip) {
    for (GdiPixelLayout layout : {GDI_PIXELS_XRGB1555, GDI_PIXELS_RGB565}) {
        Canvas c(4, 4, layout);
        // Colours whose channels are exact in 5 (6) bits come back unchanged.
        const COLORREF exact[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x841084};
        for (COLORREF colour : exact) {
            gdi_set_pixel_v(c.dc, 1, 1, colour);
            EXPECT_EQ(c.at(1, 1), colour) << std::hex << colour;
        }
        // Other colours come back with the low bits replicated from the high ones; a second
        // round trip is stable.
        gdi_set_pixel_v(c.dc, 2, 2, 0x123456);
        COLORREF once = c.at(2, 2);
        gdi_set_pixel_v(c.dc, 2, 2, once);
        EXPECT_EQ(c.at(2, 2), once);
    }
    // The native layouts: red in bits 10-14 (1555) and 11-15 (565).
    Canvas a(1, 1, GDI_PIXELS_XRGB1555), b(1, 1, GDI_PIXELS_RGB565);
    gdi_set_pixel_v(a.dc, 0, 0, RED);
    gdi_set_pixel_v(b.dc, 0, 0, RED);
    EXPECT_EQ(a.bytes[0] | (a.bytes[1] << 8), 0x7C00);
    EXPECT_EQ(b.bytes[0] | (b.bytes[1] << 8), 0xF800);
    // The 32-bit layout stores 0x00RRGGBB.
    Canvas d(1, 1);
    gdi_set_pixel_v(d.dc, 0, 0, 0x00332211);
    EXPECT_EQ(d.bytes[0], 0x33);
    EXPECT_EQ(d.bytes[2], 0x11);
}

TEST(GdiPixels, ColourOrderConversion) {
    EXPECT_EQ(gdi_colour_swap(0x00112233u), 0x00332211u);
    EXPECT_EQ(gdi_colour_swap(gdi_colour_swap(0x00ABCDEFu)), 0x00ABCDEFu);
    EXPECT_EQ(gdi_colour_swap(0x646478u), 0x786464u);
}

TEST(GdiPixels, OutsideTheSurfaceIsIgnored) {
    Canvas c(4, 4);
    EXPECT_FALSE(gdi_set_pixel_v(c.dc, 4, 0, WHITE));
    EXPECT_FALSE(gdi_set_pixel_v(c.dc, -1, 0, WHITE));
    EXPECT_EQ(gdi_get_pixel(c.dc, 0, 4), CLR_INVALID);
    Tools t(c.dc, WHITE, WHITE);
    gdi_rectangle(c.dc, -10, -10, 2, 2);
    gdi_ellipse(c.dc, 2, 2, 40, 40);
    EXPECT_EQ(c.at(0, 0), WHITE);
}

TEST(GdiBlit, CopiesBetweenFormatsWithClipping) {
    Canvas src(4, 4), dst(6, 6, GDI_PIXELS_XRGB1555);
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 4; x++) gdi_set_pixel_v(src.dc, x, y, x == y ? WHITE : RED);
    EXPECT_TRUE(gdi_bit_blt(dst.dc, 3, 3, 4, 4, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.at(3, 3), WHITE);
    EXPECT_EQ(dst.at(5, 5), WHITE);
    EXPECT_EQ(dst.at(4, 3), RED);
    EXPECT_EQ(dst.at(2, 2), BLACK);
    RECT r;
    set_rect(&r, 1, 1, 3, 2);
    HBRUSH brush = gdi_create_solid_brush(0x00FF00);
    EXPECT_TRUE(gdi_fill_rect(src.dc, &r, brush));
    gdi_delete_object(brush);
    EXPECT_EQ(src.count(0x00FF00), 2);
    RECT a = {0, 0, 4, 4}, b = {2, 2, 6, 6}, out;
    EXPECT_TRUE(intersect_rect(&out, &a, &b));
    EXPECT_EQ(out.left, 2);
    EXPECT_EQ(out.right, 4);
    RECT far = {10, 10, 12, 12};
    EXPECT_FALSE(intersect_rect(&out, &a, &far));
}

TEST(GdiObjects, DeletingASelectedObjectWaitsForItsContext) {
    Canvas c(4, 4);
    HBRUSH brush = gdi_create_solid_brush(RED);
    HGDIOBJ old = gdi_select_object(c.dc, brush);
    EXPECT_TRUE(gdi_delete_object(brush));  // still usable while selected
    gdi_rectangle(c.dc, 0, 0, 4, 4);
    EXPECT_EQ(c.at(1, 1), RED);
    gdi_select_object(c.dc, old);  // now it goes (the sanitizer run sees no leak)
    EXPECT_EQ(mul_div(12, 96, 72), 16);
    EXPECT_EQ(mul_div(10, 96, 72), 13);
    EXPECT_EQ(mul_div(1, 1, 0), -1);
}

TEST(GdiFonts, EngineStartsWithTheFirstUserAndStopsAfterTheLast) {
    ASSERT_EQ(gdi_font_engine_users(), 0);
    HDC info = gdi_create_dc_w(u"DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(gdi_get_device_caps(info, LOGPIXELSY), 96);
    HFONT font = gdi_create_font_w(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Monotype Corsiva");
    ASSERT_NE(font, nullptr);
    gdi_delete_dc(info);
    EXPECT_EQ(gdi_font_engine_users(), 1);
    // A calligraphic face stands in (or the real one where it is installed).
    std::string family = gdi_font_family(font);
    EXPECT_TRUE(family == "Monotype Corsiva" || family == "Z003" || family == "TeX Gyre Chorus") << family;
    gdi_delete_object(font);
    EXPECT_EQ(gdi_font_engine_users(), 0);
    EXPECT_EQ(gdi_create_dc_w(u"PRINTER", nullptr, nullptr, nullptr), nullptr);
}

TEST(GdiFonts, StockFontHasASixteenPixelCell) {
    Canvas c(200, 40);
    SIZE size = {};
    ASSERT_TRUE(gdi_get_text_extent_point32_w(c.dc, u"Menu", 4, &size));
    EXPECT_EQ(size.cy, 16);
    EXPECT_GT(size.cx, 20);
    gdi_set_bk_mode(c.dc, TRANSPARENT);
    gdi_set_text_color(c.dc, WHITE);
    gdi_set_text_align(c.dc, TA_UPDATECP);
    gdi_move_to_ex(c.dc, 5, 5, nullptr);
    ASSERT_TRUE(gdi_text_out_w(c.dc, 0, 0, u"Menu", 4));
    POINT end;
    gdi_move_to_ex(c.dc, 0, 0, &end);
    EXPECT_EQ(end.x, 5 + size.cx);  // the current position moved to the end of the text
    EXPECT_GT(c.count(WHITE), 20);  // bold glyphs have solid cores
    for (int32_t x = 0; x < 200; x++) EXPECT_EQ(c.at(x, 4), BLACK);  // nothing above the cell
}

TEST(GdiFonts, OpaqueBackgroundFillsTheCell) {
    Canvas c(100, 30);
    gdi_set_bk_color(c.dc, 0x0000FF);
    gdi_set_text_color(c.dc, WHITE);
    ASSERT_TRUE(gdi_text_out_w(c.dc, 2, 3, u"ab", 2));
    SIZE size;
    gdi_get_text_extent_point32_w(c.dc, u"ab", 2, &size);
    EXPECT_EQ(c.at(2, 3), 0x0000FFu);
    EXPECT_EQ(c.at(1, 3), BLACK);
    EXPECT_EQ(c.at(2 + size.cx, 3), BLACK);
    EXPECT_EQ(c.at(2, 3 + size.cy), BLACK);
}

}  // namespace

namespace {

TEST(GdiShapes, HugeShapesAreClippedNotWalked) {
    Canvas c(16, 16);
    Tools t(c.dc, RED, WHITE);
    EXPECT_TRUE(gdi_rectangle(c.dc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
    EXPECT_EQ(c.count(WHITE), 256);  // the whole surface lies inside the outline
    EXPECT_TRUE(gdi_ellipse(c.dc, -2000000000, -2000000000, 2000000000, 2000000000));
    RECT r = {INT32_MIN, -5, INT32_MAX, 3};
    HBRUSH brush = gdi_create_solid_brush(0x00FF00);
    EXPECT_TRUE(gdi_fill_rect(c.dc, &r, brush));
    gdi_delete_object(brush);
    EXPECT_EQ(c.count(0x00FF00), 48);
}

}  // namespace

TEST(GdiRowMarks, EveryRowADrawingChangesIsMarkedAndNoRowOutsideIt) {
    // Each primitive on a black canvas: the rows it changed must all be marked (the Direct3D
    // stand-in redraws and compares only marked rows), and no row outside its box.
    struct Case {
        const char* what;
        int32_t top, bottom;  // rows the drawing may touch
        std::function<void(HDC)> draw;
    };
    const Case cases[] = {
        {"rectangle", 3, 9, [](HDC dc) { Tools t(dc, WHITE, RED); gdi_rectangle(dc, 2, 3, 20, 9); }},
        {"rectangle under R2_NOT", 5, 6, [](HDC dc) { Tools t(dc, WHITE, RED); gdi_set_rop2(dc, R2_NOT); gdi_rectangle(dc, 0, 5, 30, 6); }},
        {"ellipse", 10, 22, [](HDC dc) { Tools t(dc, WHITE, RED); gdi_ellipse(dc, 4, 10, 16, 22); }},
        {"pixel", 17, 18, [](HDC dc) { gdi_set_pixel_v(dc, 3, 17, RED); }},
        {"fill rect", 12, 15, [](HDC dc) { RECT r = {1, 12, 9, 15}; gdi_fill_rect(dc, &r, static_cast<HBRUSH>(gdi_get_stock_object(0))); }},
        {"flood fill of the whole canvas", 0, 32, [](HDC dc) { Tools t(dc, WHITE, RED); gdi_ext_flood_fill(dc, 5, 5, BLACK, FLOODFILLSURFACE); }},
        {"text, transparent", 6, 6 + 20,
         [](HDC dc) {
             gdi_set_bk_mode(dc, TRANSPARENT);
             gdi_set_text_color(dc, WHITE);
             gdi_text_out_w(dc, 1, 6, u"Wg", 2);
         }},
        {"text, opaque cell", 20, 20 + 20, [](HDC dc) { gdi_text_out_w(dc, 1, 20, u"-", 1); }},
        {"blit from another canvas", 25, 29,
         [](HDC dc) {
             Canvas from(4, 4);
             gdi_set_pixel_v(from.dc, 0, 0, RED), gdi_set_pixel_v(from.dc, 3, 3, RED);
             gdi_bit_blt(dc, 2, 25, 4, 4, from.dc, 0, 0, SRCCOPY);
         }},
        {"blit between formats", 25, 29,
         [](HDC dc) {
             Canvas from(4, 4, GDI_PIXELS_RGB565);
             gdi_set_pixel_v(from.dc, 1, 1, RED);
             gdi_bit_blt(dc, 2, 25, 4, 4, from.dc, 0, 0, SRCCOPY);
         }},
    };
    for (GdiPixelLayout layout : {GDI_PIXELS_XRGB8888, GDI_PIXELS_XRGB1555}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            std::vector<uint8_t> marks(32, 0);
            Canvas canvas(32, 32, layout, marks.data());
            std::vector<uint8_t> before = canvas.bytes;
            c.draw(canvas.dc);
            int32_t changed_rows = 0;
            for (int32_t y = 0; y < 32; y++) {
                bool changed = std::memcmp(&canvas.bytes[size_t(y) * canvas.pitch], &before[size_t(y) * canvas.pitch],
                                           size_t(canvas.pitch)) != 0;
                changed_rows += changed;
                if (changed) {
                    EXPECT_EQ(marks[size_t(y)], 1) << "row " << y << " changed unmarked";
                }
                if (y < c.top || y >= c.bottom) {
                    EXPECT_EQ(marks[size_t(y)], 0) << "row " << y << " marked outside";
                }
            }
            EXPECT_GT(changed_rows, 0);
        }
    }
}
