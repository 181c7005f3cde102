// Software GDI: contexts over surface pixels, objects and selection, the raster primitives
// (pixels, rectangles, ellipses, flood fill, FillRect, BitBlt) and text output over the font
// engine of gdi_font.cpp.
// Relies on: gdi_internal.h.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/platform/gdi/gdi_internal.h"

namespace {

enum : int32_t { WHITE_BRUSH_STOCK = 0, BLACK_PEN_STOCK = 7 };

GdiObject stock_white_brush = {GDI_OBJ_BRUSH, true, false, false, 0, 0x00FFFFFF, nullptr};
GdiObject stock_black_brush = {GDI_OBJ_BRUSH, true, false, false, 0, 0x00000000, nullptr};
GdiObject stock_null_brush = {GDI_OBJ_BRUSH, true, true, false, 0, 0, nullptr};
GdiObject stock_black_pen = {GDI_OBJ_PEN, true, false, false, 0, 0x00000000, nullptr};
GdiObject stock_system_font = {GDI_OBJ_FONT, true, false, false, 0, 0, nullptr};

bool drawable(HDC dc) { return dc && !dc->information && dc->pixels; }

void free_object(GdiObject* object) {
    if (object->kind == GDI_OBJ_FONT && object->font) {
        gdi_font_destroy(object->font);
        gdi_engine_release();  // the reference the font took when it was created
    }
    delete object;
}

// Drops one selection of an object; a deletion asked for while it was selected happens now.
void deselect(GdiObject* object) {
    if (!object || object->stock) return;
    if (--object->selections == 0 && object->delete_pending) free_object(object);
}

inline uint8_t* row_of(HDC dc, int32_t y) { return dc->pixels + intptr_t(y) * dc->pitch; }

inline uint32_t read_native(HDC dc, int32_t x, int32_t y) {
    uint8_t* row = row_of(dc, y);
    if (dc->layout == GDI_PIXELS_XRGB8888) {
        uint32_t v;
        std::memcpy(&v, row + x * 4, 4);
        return v & 0x00FFFFFFu;
    }
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    return dc->layout == GDI_PIXELS_XRGB1555 ? (v & 0x7FFFu) : v;
}

inline void mark_row(HDC dc, int32_t y) {
    if (dc->row_marks) dc->row_marks[y] = 1;
}

// Every write to the pixels goes through here, span or the copy of gdi_bit_blt, which mark their rows.
inline void write_native(HDC dc, int32_t x, int32_t y, uint32_t value) {
    mark_row(dc, y);
    uint8_t* row = row_of(dc, y);
    if (dc->layout == GDI_PIXELS_XRGB8888) {
        std::memcpy(row + x * 4, &value, 4);
    } else {
        uint16_t v = uint16_t(value);
        std::memcpy(row + x * 2, &v, 2);
    }
}

uint32_t invert_mask(GdiPixelLayout layout) {
    switch (layout) {
    case GDI_PIXELS_XRGB8888: return 0x00FFFFFFu;
    case GDI_PIXELS_XRGB1555: return 0x7FFFu;
    default: return 0xFFFFu;
    }
}

// A horizontal run x0..x1-1 on row y in a colour under the raster operation.
void span(HDC dc, int32_t x0, int32_t x1, int32_t y, COLORREF colour, int32_t rop) {
    if (y < 0 || y >= dc->height) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, dc->width);
    if (x0 >= x1) return;
    mark_row(dc, y);
    if (rop == R2_NOT) {
        uint32_t mask = invert_mask(dc->layout);
        for (int32_t x = x0; x < x1; x++) write_native(dc, x, y, (read_native(dc, x, y) ^ mask) & mask);
        return;
    }
    uint32_t value = gdi_to_native(dc->layout, colour);
    if (dc->layout == GDI_PIXELS_XRGB8888) {
        uint32_t* p = reinterpret_cast<uint32_t*>(row_of(dc, y)) + x0;
        std::fill(p, p + (x1 - x0), value);
    } else {
        uint16_t* p = reinterpret_cast<uint16_t*>(row_of(dc, y)) + x0;
        std::fill(p, p + (x1 - x0), uint16_t(value));
    }
}

bool has_pen(HDC dc) { return dc->pen != nullptr; }
bool has_fill(HDC dc) { return dc->brush && !dc->brush->null_brush; }

// Blends a text colour into a pixel by coverage 0..255.
void blend_pixel(HDC dc, int32_t x, int32_t y, COLORREF colour, uint32_t coverage) {
    if (coverage == 0) return;
    if (coverage >= 255) {
        write_native(dc, x, y, gdi_to_native(dc->layout, colour));
        return;
    }
    COLORREF under = gdi_from_native(dc->layout, read_native(dc, x, y));
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int32_t d = int32_t((under >> shift) & 0xFF), s = int32_t((colour >> shift) & 0xFF);
        int32_t v = d + ((s - d) * int32_t(coverage) + 127) / 255;
        out |= uint32_t(v) << shift;
    }
    write_native(dc, x, y, gdi_to_native(dc->layout, out));
}

GdiFont* context_font(HDC dc) {
    HFONT font = dc->font ? dc->font : &stock_system_font;
    if (font != &stock_system_font) return font->font;
    if (!dc->engine_held) {
        if (!gdi_engine_acquire()) return nullptr;
        dc->engine_held = true;
    }
    return gdi_stock_font();
}

// Decodes one code point from UTF-16 at i (advancing i).
uint32_t next_code_point(const char16_t* text, int32_t count, int32_t& i) {
    uint32_t c = text[i++];
    if (c >= 0xD800 && c < 0xDC00 && i < count) {
        uint32_t d = text[i];
        if (d >= 0xDC00 && d < 0xE000) {
            i++;
            return 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        }
    }
    return c;
}

int32_t measure(GdiFont* font, const char16_t* text, int32_t count) {
    int32_t width = 0;
    for (int32_t i = 0; i < count;) {
        const GdiGlyph* glyph = gdi_font_glyph(font, next_code_point(text, count, i));
        if (glyph) width += glyph->advance;
    }
    return width;
}

}  // namespace

uint32_t gdi_to_native(GdiPixelLayout layout, COLORREF colour) {
    uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    switch (layout) {
    case GDI_PIXELS_XRGB8888: return (r << 16) | (g << 8) | b;
    case GDI_PIXELS_XRGB1555: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    default: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    }
}

COLORREF gdi_from_native(GdiPixelLayout layout, uint32_t v) {
    uint32_t r, g, b;
    switch (layout) {
    case GDI_PIXELS_XRGB8888:
        return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
    case GDI_PIXELS_XRGB1555:
        r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        r = (r << 3) | (r >> 2), g = (g << 3) | (g >> 2), b = (b << 3) | (b >> 2);
        break;
    default:
        r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
        r = (r << 3) | (r >> 2), g = (g << 2) | (g >> 4), b = (b << 3) | (b >> 2);
        break;
    }
    return r | (g << 8) | (b << 16);
}

// --- contexts ----------------------------------------------------------------------------------

static HDC new_context() {
    HDC dc = new (std::nothrow) GdiDc();
    if (!dc) return nullptr;
    dc->brush = &stock_white_brush;
    dc->pen = &stock_black_pen;
    dc->font = &stock_system_font;
    dc->text_colour = 0;
    dc->bk_colour = 0x00FFFFFF;
    dc->bk_mode = OPAQUE;
    dc->rop = R2_COPYPEN;
    dc->align = TA_NOUPDATECP;
    return dc;
}

HDC gdi_create_surface_dc(void* pixels, int32_t width, int32_t height, int32_t pitch, GdiPixelLayout layout,
                          uint8_t* row_marks) {
    if (!pixels || width <= 0 || height <= 0) return nullptr;
    int32_t bytes = layout == GDI_PIXELS_XRGB8888 ? 4 : (layout == GDI_PIXELS_XRGB1555 || layout == GDI_PIXELS_RGB565) ? 2 : 0;
    if (!bytes || pitch < width * bytes) return nullptr;
    HDC dc = new_context();
    if (!dc) return nullptr;
    dc->pixels = static_cast<uint8_t*>(pixels);
    dc->width = width;
    dc->height = height;
    dc->pitch = pitch;
    dc->layout = layout;
    dc->row_marks = row_marks;
    return dc;
}

HDC gdi_create_dc_w(const char16_t* driver, const char16_t*, const char16_t*, const void*) {
    static const char16_t display[] = u"DISPLAY";
    if (!driver) return nullptr;
    for (int i = 0; display[i] || driver[i]; i++) {
        char16_t c = driver[i] >= u'a' && driver[i] <= u'z' ? char16_t(driver[i] - 32) : driver[i];
        if (c != display[i]) return nullptr;
    }
    if (!gdi_engine_acquire()) return nullptr;
    HDC dc = new_context();
    if (!dc) {
        gdi_engine_release();
        return nullptr;
    }
    dc->information = true;
    dc->engine_held = true;
    return dc;
}

BOOL gdi_delete_dc(HDC dc) {
    if (!dc) return 0;
    deselect(dc->brush);
    deselect(dc->pen);
    deselect(dc->font);
    if (dc->engine_held) gdi_engine_release();
    delete dc;
    return 1;
}

int32_t gdi_get_device_caps(HDC dc, int32_t index) {
    if (!dc) return 0;
    return index == LOGPIXELSY ? 96 : 0;
}

int32_t mul_div(int32_t number, int32_t numerator, int32_t denominator) {
    if (denominator == 0) return -1;
    int64_t product = int64_t(number) * numerator;
    int64_t half = (denominator > 0 ? denominator : -int64_t(denominator)) / 2;
    bool negative = (product < 0) != (denominator < 0);
    int64_t magnitude = (std::llabs(product) + half) / std::llabs(int64_t(denominator));
    int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return int32_t(result);
}

// --- objects -----------------------------------------------------------------------------------

HGDIOBJ gdi_get_stock_object(int32_t which) {
    switch (which) {
    case WHITE_BRUSH_STOCK: return &stock_white_brush;
    case BLACK_BRUSH: return &stock_black_brush;
    case NULL_BRUSH: return &stock_null_brush;
    case BLACK_PEN_STOCK: return &stock_black_pen;
    case SYSTEM_FONT: return &stock_system_font;
    default: return nullptr;
    }
}

HBRUSH gdi_create_solid_brush(COLORREF colour) {
    GdiObject* brush = new (std::nothrow) GdiObject();
    if (!brush) return nullptr;
    brush->kind = GDI_OBJ_BRUSH;
    brush->colour = colour & 0x00FFFFFFu;
    return brush;
}

HPEN gdi_create_pen(int32_t style, int32_t width, COLORREF colour) {
    if (style != PS_SOLID || width < 0) return nullptr;
    GdiObject* pen = new (std::nothrow) GdiObject();
    if (!pen) return nullptr;
    pen->kind = GDI_OBJ_PEN;
    pen->colour = colour & 0x00FFFFFFu;
    return pen;
}

HFONT gdi_create_font_w(int32_t height, int32_t, int32_t, int32_t, int32_t weight, uint32_t italic, uint32_t underline,
                        uint32_t strike_out, uint32_t, uint32_t, uint32_t, uint32_t quality, uint32_t,
                        const char16_t* face) {
    if (!gdi_engine_acquire()) return nullptr;
    GdiFont* rendered = gdi_font_create(height, weight, italic != 0, underline != 0, strike_out != 0, quality, face);
    if (!rendered) {
        gdi_engine_release();
        return nullptr;
    }
    GdiObject* font = new (std::nothrow) GdiObject();
    if (!font) {
        gdi_font_destroy(rendered);
        gdi_engine_release();
        return nullptr;
    }
    font->kind = GDI_OBJ_FONT;
    font->font = rendered;
    return font;
}

BOOL gdi_delete_object(HGDIOBJ object) {
    if (!object) return 0;
    if (object->stock) return 1;
    if (object->selections > 0) {
        object->delete_pending = true;
        return 1;
    }
    free_object(object);
    return 1;
}

HGDIOBJ gdi_select_object(HDC dc, HGDIOBJ object) {
    if (!dc || !object || object->delete_pending) return nullptr;
    GdiObject** slot = object->kind == GDI_OBJ_BRUSH ? &dc->brush : object->kind == GDI_OBJ_PEN ? &dc->pen : &dc->font;
    GdiObject* previous = *slot;
    // The previous object stays alive for the caller even if its last selection goes now,
    // unless a deletion was pending (then GDI frees it, as here).
    if (object && !object->stock) object->selections++;
    *slot = object;
    if (previous && !previous->stock) {
        if (--previous->selections == 0 && previous->delete_pending) {
            free_object(previous);
            return nullptr;
        }
    }
    return previous;
}

// --- drawing state -----------------------------------------------------------------------------

COLORREF gdi_set_text_color(HDC dc, COLORREF colour) {
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->text_colour;
    dc->text_colour = colour & 0x00FFFFFFu;
    return old;
}

COLORREF gdi_set_bk_color(HDC dc, COLORREF colour) {
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->bk_colour;
    dc->bk_colour = colour & 0x00FFFFFFu;
    return old;
}

int32_t gdi_set_bk_mode(HDC dc, int32_t mode) {
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int32_t old = dc->bk_mode;
    dc->bk_mode = mode;
    return old;
}

int32_t gdi_set_rop2(HDC dc, int32_t rop) {
    if (!dc || (rop != R2_NOT && rop != R2_COPYPEN)) return 0;
    int32_t old = dc->rop;
    dc->rop = rop;
    return old;
}

uint32_t gdi_set_text_align(HDC dc, uint32_t align) {
    if (!dc) return 0xFFFFFFFFu;
    uint32_t old = dc->align;
    dc->align = align;
    return old;
}

BOOL gdi_move_to_ex(HDC dc, int32_t x, int32_t y, POINT* previous) {
    if (!dc) return 0;
    if (previous) *previous = dc->position;
    dc->position = {x, y};
    return 1;
}

// --- primitives --------------------------------------------------------------------------------

COLORREF gdi_set_pixel_v(HDC dc, int32_t x, int32_t y, COLORREF colour) {
    if (!drawable(dc) || x < 0 || y < 0 || x >= dc->width || y >= dc->height) return 0;
    write_native(dc, x, y, gdi_to_native(dc->layout, colour));
    return 1;
}

COLORREF gdi_get_pixel(HDC dc, int32_t x, int32_t y) {
    if (!drawable(dc) || x < 0 || y < 0 || x >= dc->width || y >= dc->height) return CLR_INVALID;
    return gdi_from_native(dc->layout, read_native(dc, x, y));
}

// A run in 64-bit coordinates (shapes may reach far beyond the surface), clipped before use.
static void span64(HDC dc, int64_t x0, int64_t x1, int64_t y, COLORREF colour, int32_t rop) {
    if (y < 0 || y >= dc->height || x1 <= 0 || x0 >= dc->width || x0 >= x1) return;
    span(dc, int32_t(std::max<int64_t>(x0, 0)), int32_t(std::min<int64_t>(x1, dc->width)), int32_t(y), colour, rop);
}

BOOL gdi_rectangle(HDC dc, int32_t left32, int32_t top32, int32_t right32, int32_t bottom32) {
    if (!drawable(dc)) return 0;
    int64_t left = left32, top = top32, right = right32, bottom = bottom32;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return 1;
    const int32_t rop = dc->rop;
    // Only the rows on the surface are visited.
    const int64_t first = std::max<int64_t>(top, 0), last = std::min<int64_t>(bottom, dc->height);
    // The one-pixel pen lies on the inside edge of the box; the brush fills what it encloses.
    if (has_pen(dc)) {
        COLORREF pen = dc->pen->colour;
        span64(dc, left, right, top, pen, rop);
        if (bottom - 1 > top) span64(dc, left, right, bottom - 1, pen, rop);
        for (int64_t y = std::max(first, top + 1); y < std::min(last, bottom - 1); y++) {
            span64(dc, left, left + 1, y, pen, rop);
            if (right - 1 > left) span64(dc, right - 1, right, y, pen, rop);
        }
        left++, top++, right--, bottom--;
    }
    if (has_fill(dc))
        for (int64_t y = std::max(first, top); y < std::min(last, bottom); y++) span64(dc, left, right, y, dc->brush->colour, rop);
    return 1;
}

BOOL gdi_ellipse(HDC dc, int32_t left32, int32_t top32, int32_t right32, int32_t bottom32) {
    if (!drawable(dc)) return 0;
    int64_t left = left32, top = top32, right = right32, bottom = bottom32;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const int64_t w = right - left, h = bottom - top;
    if (w < 1 || h < 1) return 1;
    // Pixel centres inside the ellipse inscribed in the box. Per row the covered columns form a
    // run symmetric about the box's centre; the outline is every covered pixel with a 4-neighbour
    // outside, so a flood fill from inside cannot leak through it.
    const double cy = double(top + bottom - 1) / 2.0;
    const double a = double(w) / 2.0, b = double(h) / 2.0;
    auto run = [&](int64_t row, int64_t& x0, int64_t& x1) {
        if (row < 0 || row >= h) return false;
        double dy = (double(top + row) - cy) / b;
        double rem = 1.0 - dy * dy;
        if (rem < 0) return false;
        double reach = a * std::sqrt(rem);  // covered: |column offset from the centre| <= reach
        double skip_d = std::ceil(double(w - 1) / 2.0 - reach - 1e-9);
        int64_t skip = skip_d < 0 ? 0 : int64_t(skip_d);
        if (2 * skip > w - 1) return false;
        x0 = left + skip;
        x1 = right - skip;
        return true;
    };
    const int32_t rop = dc->rop;
    const int64_t first = std::max<int64_t>(0, -top), last = std::min<int64_t>(h, int64_t(dc->height) - top);
    for (int64_t row = first; row < last; row++) {
        int64_t x0, x1, ax0, ax1, bx0, bx1;
        if (!run(row, x0, x1)) continue;
        const int64_t y = top + row;
        // Interior: not a run end, and covered in the rows above and below.
        int64_t in0 = x0 + 1, in1 = x1 - 1;
        if (run(row - 1, ax0, ax1) && run(row + 1, bx0, bx1)) {
            in0 = std::max({in0, ax0, bx0});
            in1 = std::min({in1, ax1, bx1});
        } else {
            in1 = in0;
        }
        in0 = std::min(in0, x1);
        if (in1 < in0) in1 = in0;
        if (has_pen(dc)) {
            span64(dc, x0, in0, y, dc->pen->colour, rop);
            span64(dc, in1, x1, y, dc->pen->colour, rop);
        }
        if (has_fill(dc)) {
            if (!has_pen(dc)) span64(dc, x0, x1, y, dc->brush->colour, rop);
            else span64(dc, in0, in1, y, dc->brush->colour, rop);
        }
    }
    return 1;
}

BOOL gdi_ext_flood_fill(HDC dc, int32_t x, int32_t y, COLORREF colour, uint32_t type) {
    if (!drawable(dc) || !has_fill(dc) || x < 0 || y < 0 || x >= dc->width || y >= dc->height) return 0;
    if (type != FLOODFILLBORDER && type != FLOODFILLSURFACE) return 0;
    uint32_t key = gdi_to_native(dc->layout, colour);
    bool border = type == FLOODFILLBORDER;
    auto inside = [&](int32_t px, int32_t py) {
        uint32_t v = read_native(dc, px, py);
        return border ? v != key : v == key;
    };
    if (!inside(x, y)) return 0;
    const int32_t w = dc->width, h = dc->height;
    std::vector<uint8_t> seen(size_t(w) * size_t(h), 0);
    uint32_t fill = gdi_to_native(dc->layout, dc->brush->colour);
    // Scanline fill over a stack of seeds: each seed expands to its whole run, marks it and pushes
    // the runs above and below. The seen map keeps it finite when the fill colour is itself "inside".
    std::vector<POINT> stack;
    stack.push_back({x, y});
    while (!stack.empty()) {
        POINT p = stack.back();
        stack.pop_back();
        if (seen[size_t(p.y) * w + p.x] || !inside(p.x, p.y)) continue;
        int32_t x0 = p.x, x1 = p.x;
        while (x0 > 0 && !seen[size_t(p.y) * w + x0 - 1] && inside(x0 - 1, p.y)) x0--;
        while (x1 + 1 < w && !seen[size_t(p.y) * w + x1 + 1] && inside(x1 + 1, p.y)) x1++;
        for (int32_t px = x0; px <= x1; px++) seen[size_t(p.y) * w + px] = 1;
        for (int32_t dy = -1; dy <= 1; dy += 2) {
            int32_t ny = p.y + dy;
            if (ny < 0 || ny >= h) continue;
            bool in_run = false;
            for (int32_t px = x0; px <= x1; px++) {
                bool candidate = !seen[size_t(ny) * w + px] && inside(px, ny);
                if (candidate && !in_run) stack.push_back({px, ny});
                in_run = candidate;
            }
        }
    }
    for (int32_t py = 0; py < h; py++)
        for (int32_t px = 0; px < w; px++)
            if (seen[size_t(py) * w + px]) write_native(dc, px, py, fill);
    return 1;
}

BOOL gdi_get_text_extent_point32_w(HDC dc, const char16_t* text, int32_t count, SIZE* size) {
    if (!dc || !size || count < 0 || (count > 0 && !text)) return 0;
    GdiFont* font = context_font(dc);
    if (!font) return 0;
    size->cx = measure(font, text, count);
    size->cy = gdi_font_metrics(font).height;
    return 1;
}

BOOL gdi_text_out_w(HDC dc, int32_t x, int32_t y, const char16_t* text, int32_t count) {
    if (!drawable(dc) || count < 0 || (count > 0 && !text)) return 0;
    GdiFont* font = context_font(dc);
    if (!font) return 0;
    if (dc->align & TA_UPDATECP) x = dc->position.x, y = dc->position.y;
    const GdiFontMetrics& metrics = gdi_font_metrics(font);
    int32_t width = measure(font, text, count);
    if (dc->bk_mode == OPAQUE)
        for (int32_t row = y; row < y + metrics.height; row++) span(dc, x, x + width, row, dc->bk_colour, R2_COPYPEN);
    int32_t baseline = y + metrics.ascent;
    int32_t pen_x = x;
    for (int32_t i = 0; i < count;) {
        const GdiGlyph* glyph = gdi_font_glyph(font, next_code_point(text, count, i));
        if (!glyph) continue;
        int32_t gx = pen_x + glyph->left, gy = baseline - glyph->top;
        for (int32_t row = 0; row < glyph->height; row++) {
            int32_t py = gy + row;
            if (py < 0 || py >= dc->height) continue;
            const uint8_t* cov = glyph->coverage + size_t(row) * glyph->width;
            for (int32_t col = 0; col < glyph->width; col++) {
                int32_t px = gx + col;
                if (px < 0 || px >= dc->width) continue;
                blend_pixel(dc, px, py, dc->text_colour, cov[col]);
            }
        }
        pen_x += glyph->advance;
    }
    int32_t thickness = std::max(1, metrics.height / 16);
    if (metrics.underline)
        for (int32_t t = 0; t < thickness; t++) span(dc, x, x + width, baseline + 1 + t, dc->text_colour, R2_COPYPEN);
    if (metrics.strike_out)
        for (int32_t t = 0; t < thickness; t++)
            span(dc, x, x + width, baseline - metrics.ascent / 3 + t, dc->text_colour, R2_COPYPEN);
    if (dc->align & TA_UPDATECP) dc->position.x = x + width;
    return 1;
}

int32_t gdi_fill_rect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (!drawable(dc) || !rect || !brush || brush->kind != GDI_OBJ_BRUSH) return 0;
    if (brush->null_brush) return 1;
    for (int32_t y = std::max(rect->top, 0); y < std::min(rect->bottom, dc->height); y++)
        span(dc, rect->left, rect->right, y, brush->colour, R2_COPYPEN);
    return 1;
}

BOOL gdi_bit_blt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t sx, int32_t sy,
                 uint32_t rop) {
    if (!drawable(dest) || !drawable(source) || rop != SRCCOPY) return 0;
    if (width <= 0 || height <= 0) return 1;
    // Clip against both surfaces, moving source and destination together.
    int32_t skip_x = std::max({0, -x, -sx}), skip_y = std::max({0, -y, -sy});
    x += skip_x, sx += skip_x, width -= skip_x;
    y += skip_y, sy += skip_y, height -= skip_y;
    width = std::min({width, dest->width - x, source->width - sx});
    height = std::min({height, dest->height - y, source->height - sy});
    if (width <= 0 || height <= 0) return 1;
    bool same_layout = dest->layout == source->layout;
    int32_t bytes = dest->layout == GDI_PIXELS_XRGB8888 ? 4 : 2;
    std::vector<uint8_t> temp;
    for (int32_t row = 0; row < height; row++) {
        if (same_layout) {
            mark_row(dest, y + row);
            std::memmove(row_of(dest, y + row) + x * bytes, row_of(source, sy + row) + sx * bytes, size_t(width) * bytes);
        } else {
            for (int32_t col = 0; col < width; col++)
                write_native(dest, x + col, y + row,
                             gdi_to_native(dest->layout, gdi_from_native(source->layout, read_native(source, sx + col, sy + row))));
        }
    }
    return 1;
}

BOOL set_rect(RECT* rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!rect) return 0;
    *rect = {left, top, right, bottom};
    return 1;
}

BOOL intersect_rect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return 0;
    RECT r = {std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
              std::min(a->bottom, b->bottom)};
    if (r.left >= r.right || r.top >= r.bottom) {
        *out = {0, 0, 0, 0};
        return 0;
    }
    *out = r;
    return 1;
}

const char* gdi_font_family(HFONT font) {
    if (!font || font->kind != GDI_OBJ_FONT) return "";
    if (font == &stock_system_font) return "DejaVu Sans";
    return font->font ? gdi_font_family_name(font->font) : "";
}
