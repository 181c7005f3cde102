// Software GDI: device contexts over surface pixels (32-bit X8R8G8B8/A8R8G8B8 and 16-bit
// X1R5G5B5/A1R5G5B5/R5G6B5), stock objects, solid brushes and one-pixel pens, raster operations
// R2_COPYPEN and R2_NOT, rectangles and ellipses with GDI's coverage (left/top inclusive,
// right/bottom exclusive), flood fill, text output and measuring with outline fonts, FillRect and
// BitBlt. Only what the display, sprites and 2D drawing call exists here.
// Colours are COLORREF 0x00BBGGRR (red in the low byte).
// Relies on: FreeType and fontconfig on Linux, the system's GDI on Windows (fonts, started on first
// use and stopped after the last font and context that needed them are gone).
#pragma once
#include <cstdint>

using COLORREF = uint32_t;
using BOOL = int32_t;
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

struct GdiDc;
struct GdiObject;
using HDC = GdiDc*;
using HGDIOBJ = GdiObject*;
using HBRUSH = GdiObject*;
using HPEN = GdiObject*;
using HFONT = GdiObject*;

struct RECT {
    int32_t left, top, right, bottom;
};
struct POINT {
    int32_t x, y;
};
struct SIZE {
    int32_t cx, cy;
};

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// Stock objects (GetStockObject).
enum : int32_t {
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    SYSTEM_FONT = 13,
};

// Background modes, raster operations, text alignment, pen styles, flood-fill types.
enum : int32_t {
    TRANSPARENT = 1,
    OPAQUE = 2,
    R2_NOT = 6,
    R2_COPYPEN = 13,
    TA_NOUPDATECP = 0,
    TA_UPDATECP = 1,
    PS_SOLID = 0,
    FLOODFILLBORDER = 0,
    FLOODFILLSURFACE = 1,
};

// Device capabilities, font weights, qualities, character set; raster operation of BitBlt.
enum : int32_t {
    LOGPIXELSY = 90,
    FW_NORMAL = 400,
    FW_BOLD = 700,
    DEFAULT_QUALITY = 0,
    DRAFT_QUALITY = 1,
    PROOF_QUALITY = 2,
    NONANTIALIASED_QUALITY = 3,
    ANTIALIASED_QUALITY = 4,
    DEFAULT_CHARSET = 1,
};
constexpr uint32_t SRCCOPY = 0x00CC0020u;

// The pixel layouts a surface context can draw on.
enum GdiPixelLayout : int32_t {
    GDI_PIXELS_XRGB8888 = 1,  // 32-bit words 0xXXRRGGBB (alpha byte written as 0)
    GDI_PIXELS_XRGB1555 = 2,  // 16-bit, red bits 10-14, green 5-9, blue 0-4 (bit 15 written as 0)
    GDI_PIXELS_RGB565 = 3,    // 16-bit, red bits 11-15, green 5-10, blue 0-4
};

// --- device contexts ---------------------------------------------------------------------------
// A context that draws on caller-owned pixels (the Direct3D surfaces hand these out from GetDC).
// The pixels must outlive the context. With `row_marks` (one byte per row, also outliving the
// context), every row the context writes gets its byte set to 1. Returns null on a bad size or layout.
HDC gdi_create_surface_dc(void* pixels, int32_t width, int32_t height, int32_t pitch, GdiPixelLayout layout,
                          uint8_t* row_marks = nullptr);
// CreateDCW: only the information context of the driver "DISPLAY" (no pixels) is offered.
HDC gdi_create_dc_w(const char16_t* driver, const char16_t* device, const char16_t* output, const void* init);
BOOL gdi_delete_dc(HDC dc);  // for both kinds of context
int32_t gdi_get_device_caps(HDC dc, int32_t index);  // LOGPIXELSY: 96
int32_t mul_div(int32_t number, int32_t numerator, int32_t denominator);  // rounded; -1 on /0

// --- objects -----------------------------------------------------------------------------------
HGDIOBJ gdi_get_stock_object(int32_t which);
HBRUSH gdi_create_solid_brush(COLORREF colour);
HPEN gdi_create_pen(int32_t style, int32_t width, COLORREF colour);  // PS_SOLID; width 0 = one pixel
// CreateFontW. height < 0: character height in pixels; > 0: cell height; 0: a default size.
HFONT gdi_create_font_w(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                        uint32_t italic, uint32_t underline, uint32_t strike_out, uint32_t charset,
                        uint32_t out_precision, uint32_t clip_precision, uint32_t quality,
                        uint32_t pitch_and_family, const char16_t* face);
// Deleting a stock object does nothing; deleting an object selected in a context is refused
// (returns 0), as GDI does.
BOOL gdi_delete_object(HGDIOBJ object);
HGDIOBJ gdi_select_object(HDC dc, HGDIOBJ object);  // returns the previous object of that kind

// --- drawing state -----------------------------------------------------------------------------
COLORREF gdi_set_text_color(HDC dc, COLORREF colour);  // return the previous value
COLORREF gdi_set_bk_color(HDC dc, COLORREF colour);
int32_t gdi_set_bk_mode(HDC dc, int32_t mode);
int32_t gdi_set_rop2(HDC dc, int32_t rop);
uint32_t gdi_set_text_align(HDC dc, uint32_t align);
BOOL gdi_move_to_ex(HDC dc, int32_t x, int32_t y, POINT* previous);

// --- primitives --------------------------------------------------------------------------------
COLORREF gdi_set_pixel_v(HDC dc, int32_t x, int32_t y, COLORREF colour);  // returns BOOL in GDI; 1/0
COLORREF gdi_get_pixel(HDC dc, int32_t x, int32_t y);  // CLR_INVALID outside the surface
BOOL gdi_rectangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
BOOL gdi_ellipse(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
BOOL gdi_ext_flood_fill(HDC dc, int32_t x, int32_t y, COLORREF colour, uint32_t type);
BOOL gdi_text_out_w(HDC dc, int32_t x, int32_t y, const char16_t* text, int32_t count);
BOOL gdi_get_text_extent_point32_w(HDC dc, const char16_t* text, int32_t count, SIZE* size);
int32_t gdi_fill_rect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL gdi_bit_blt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t sx, int32_t sy,
                 uint32_t rop);

// --- rectangle arithmetic ----------------------------------------------------------------------
BOOL set_rect(RECT* rect, int32_t left, int32_t top, int32_t right, int32_t bottom);
BOOL intersect_rect(RECT* out, const RECT* a, const RECT* b);  // 0 and an empty rectangle if disjoint

// --- colour helpers ----------------------------------------------------------------------------
// 0x00BBGGRR <-> 0x00RRGGBB (the two swap the same way).
inline uint32_t gdi_colour_swap(uint32_t colour) {
    return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

// --- font engine state, for tests --------------------------------------------------------------
// Users of the font engine (fonts, information contexts, contexts that drew text with the stock
// font); 0 means FreeType and fontconfig are stopped.
int32_t gdi_font_engine_users();
// The file and family a font resolved to (empty if none); for tests and diagnostics.
const char* gdi_font_family(HFONT font);
