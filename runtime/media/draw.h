// 2D drawing and fonts: the drawing target through which boxes, circles, flood fills and texts
// reach a GDI device context handed out by the display (back buffer) or a sprite, the drawing
// state (front and back colour, mode, font), and the font table (fonts loaded by face name and
// point size under a number).
// Relies on: gdi.h (contexts, brushes, pens, fonts), registry.h (the font table, the target's
// zero-filled allocation from the object heap).
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"
#include "runtime/platform/gdi/gdi.h"

struct DrawTarget;

// The target's primitives, in this order.
struct DrawOps {
    void (*set_back_colour)(DrawTarget* target, int32_t colour);
    void (*box)(DrawTarget* target, int32_t x, int32_t y, int32_t width, int32_t height);
    void (*circle)(DrawTarget* target, int32_t x, int32_t y, int32_t radius);
    void (*set_font)(DrawTarget* target, intptr_t font);  // -1: the stock system font
    void (*set_mode)(DrawTarget* target, int32_t flags);
    int32_t (*text)(DrawTarget* target, int32_t x, int32_t y, const char16_t* text);  // x after the text
    void (*fill)(DrawTarget* target, int32_t x, int32_t y, int32_t border);  // border -1: area of one colour
    void (*set_front_colour)(DrawTarget* target, int32_t colour);
    HDC (*start)(DrawTarget* target);
    void (*stop)(DrawTarget* target);
    int32_t (*text_height)(DrawTarget* target, const char16_t* text);
    int32_t (*text_width)(DrawTarget* target, const char16_t* text);
};

// Drawing modes (DrawTarget::mode).
enum : int32_t {
    DRAW_MODE_TRANSPARENT = 1,  // transparent text background
    DRAW_MODE_INVERT = 2,       // R2_NOT instead of R2_COPYPEN
    DRAW_MODE_OUTLINE = 4,      // shapes drawn with the null brush
};

// Kind of a surface-backed target (the display's back buffer and sprites).
constexpr int32_t DRAW_TARGET_SURFACE = 7;

// One drawing pass: allocated zero-filled from the object heap by draw_target_create, filled by
// the output that made it (display or sprite), freed by draw_end (or a failed draw_begin).
struct DrawTarget {
    const DrawOps* ops;
    void (*release)(DrawTarget* target, int32_t ended);  // gives the DC back / unlocks; set by the output
    int32_t width, height, bits_per_pixel;
    int32_t opacity;              // recorded only
    int32_t back_colour;          // 0 at creation
    int32_t front_colour;         // -1 at creation (none applied yet)
    int32_t applied_back_colour;  // -1 at creation
    int32_t kind;
    void* pixels;                 // direct pixel access (outputs only)
    int32_t pitch;
    int32_t pixel_format;         // 64 (X8R8G8B8), 4 (R5G6B5) or 2 (X1R5G5B5)
    HDC (*get_dc)(DrawTarget* target);
    void* (*lock)(DrawTarget* target, int32_t* pitch);
    HDC dc;
    int32_t mode;
    HBRUSH brush;
    HPEN pen;
    HFONT font;
    HBRUSH initial_brush;
    HPEN initial_pen;
    HGDIOBJ previous_brush;
    HGDIOBJ previous_pen;
};

// Font flags of font_load.
enum : int32_t {
    FONT_UNDERLINE = 4,
    FONT_STRIKEOUT = 8,
    FONT_HIGH_QUALITY = 16,
    FONT_BOLD = 256,
    FONT_ITALIC = 512,
};

// A record of the font table: the GDI font first (the slot is in use while it is set).
struct FontRecord {
    HFONT font;
};

// The drawing library's process-wide record.
struct DrawState {
    DrawTarget* current;  // the one current target, or null
    int32_t tls_slot;     // reserved by draw_init (nothing reads it back); 0 = none
    ObjectTable* fonts;   // created by font_init (16 slots, free operation font_free)
};

extern DrawState draw_state;

void draw_init();
DrawTarget* draw_target_create();
intptr_t draw_begin(DrawTarget* target);  // the DC (non-zero) or 0
void draw_end();
void draw_set_mode(int32_t flags);
void draw_set_font(intptr_t font);  // a handle from font_handle, -1 = the system font
void draw_set_opacity(int32_t value);
void draw_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour);
void draw_circle(int32_t x, int32_t y, int32_t radius, int32_t colour);
void draw_fill(int32_t x, int32_t y, int32_t border, int32_t colour);
int32_t draw_text(int32_t x, int32_t y, const char16_t* text, int32_t colour);
int32_t draw_text_width(const char16_t* text);
int32_t draw_text_height(const char16_t* text);

void font_init();
// Returns the font handle for a given number, the record address for AUTO_NUMBER, 0 on failure.
intptr_t font_load(intptr_t number, const char16_t* face, int32_t points, int32_t flags = 0);
intptr_t font_handle(intptr_t number);
int font_free(intptr_t number);
void font_free_all();
