// Records shared by the GDI stand-in's files: contexts, objects, and the font engine's interface
// to the drawing code. Not for callers outside runtime/platform/gdi.
// Relies on: gdi.h.
#pragma once
#include <cstdint>

#include "runtime/platform/gdi/gdi.h"

struct GdiFont;

enum GdiObjectKind : int32_t { GDI_OBJ_BRUSH = 1, GDI_OBJ_PEN = 2, GDI_OBJ_FONT = 3 };

struct GdiObject {
    GdiObjectKind kind;
    bool stock;
    bool null_brush;       // the stock NULL_BRUSH: fills nothing
    bool delete_pending;   // DeleteObject while selected: freed when the last context lets go
    int32_t selections;    // contexts holding it selected
    COLORREF colour;       // brush and pen colour (low 24 bits)
    GdiFont* font;         // fonts: the rendered face (the stock font's is made on first use)
};

struct GdiDc {
    bool information;  // CreateDCW("DISPLAY"): no pixels
    uint8_t* pixels;
    int32_t width, height, pitch;
    GdiPixelLayout layout;
    uint8_t* row_marks;  // set to 1 for each row written (null: not kept)
    HBRUSH brush;
    HPEN pen;
    HFONT font;
    COLORREF text_colour;
    COLORREF bk_colour;
    int32_t bk_mode;
    int32_t rop;
    uint32_t align;
    POINT position;
    bool engine_held;  // this context holds a font-engine reference (stock font used)
};

// One rendered glyph: coverage 0..255, `width` x `height`, placed at pen x + left, baseline - top.
struct GdiGlyph {
    int32_t left, top, width, height;
    int32_t advance;  // pixels
    const uint8_t* coverage;
};

struct GdiFontMetrics {
    int32_t ascent, descent, height;  // pixels; height = ascent + descent (the cell)
    bool underline, strike_out;
};

// The metrics of a font whose face gives ascent and descent: for a positive cell height asked of
// the font the cell is kept exactly as asked, the descent taking the rounding. Both glyph
// rasterizers (FreeType, the system's GDI) size their fonts by this one rule.
inline GdiFontMetrics gdi_fit_metrics(int32_t ascent, int32_t descent, int32_t height, bool underline,
                                      bool strike_out) {
    if (height > 0 && ascent + descent != height) descent = height - ascent < 0 ? 0 : height - ascent;
    return {ascent, descent, ascent + descent, underline, strike_out};
}

// Font engine (gdi_font_freetype.cpp or gdi_font_win32.cpp).
bool gdi_engine_acquire();
void gdi_engine_release();
GdiFont* gdi_font_create(int32_t height, int32_t weight, bool italic, bool underline, bool strike_out,
                         uint32_t quality, const char16_t* face);
void gdi_font_destroy(GdiFont* font);
GdiFont* gdi_stock_font();  // the system font; needs a held engine
const GdiFontMetrics& gdi_font_metrics(GdiFont* font);
const GdiGlyph* gdi_font_glyph(GdiFont* font, uint32_t code_point);  // null if none can be made
const char* gdi_font_family_name(GdiFont* font);

// Colour conversion between COLORREF and a layout's native pixel value.
uint32_t gdi_to_native(GdiPixelLayout layout, COLORREF colour);
COLORREF gdi_from_native(GdiPixelLayout layout, uint32_t value);
