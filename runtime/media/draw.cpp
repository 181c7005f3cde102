// 2D drawing and fonts: the drawing target's primitives over a GDI device context, the drawing
// pass (draw_begin ... draw_end) on the one current target, and the font table.
// Relies on: gdi.h, registry.h (font table, target allocation).
#include "runtime/media/draw.h"

#include <algorithm>
#include <cstdint>

#include "runtime/foundation/strings.h"

DrawState draw_state = {};

namespace {

// Shape corners are worked out in 64 bits and saturated: an absurd size must not overflow.
int32_t sat(int64_t v) { return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v))); }
int32_t end_of(int32_t start, int64_t size) { return sat(int64_t(start) + size); }

// Mirror of the current target for the thread (the slot draw_init reserves; nothing reads it).
thread_local DrawTarget* thread_target = nullptr;

void op_set_front_colour(DrawTarget* t, int32_t colour);

void op_set_back_colour(DrawTarget* t, int32_t colour) { gdi_set_bk_color(t->dc, COLORREF(colour)); }

void op_box(DrawTarget* t, int32_t x, int32_t y, int32_t w, int32_t h) {
    if ((w == 1 || w == -1) && (h == 1 || h == -1)) {
        gdi_set_pixel_v(t->dc, w == -1 ? end_of(x, -1) : x, h == -1 ? end_of(y, -1) : y, COLORREF(t->front_colour));
        return;
    }
    gdi_rectangle(t->dc, x, y, end_of(x, w), end_of(y, h));
}

void op_circle(DrawTarget* t, int32_t x, int32_t y, int32_t r) {
    if (r == 1) gdi_rectangle(t->dc, x, y, end_of(x, 1), end_of(y, 1));
    else gdi_ellipse(t->dc, end_of(x, -int64_t(r)), end_of(y, -int64_t(r)), end_of(x, int64_t(r) + 1), end_of(y, int64_t(r) + 1));
}

void op_set_font(DrawTarget* t, intptr_t font) {
    HFONT chosen = font == -1 ? gdi_get_stock_object(SYSTEM_FONT) : reinterpret_cast<HFONT>(font);
    gdi_select_object(t->dc, chosen);
    t->font = chosen;
}

void op_set_mode(DrawTarget* t, int32_t flags) {
    t->mode = flags;
    gdi_set_rop2(t->dc, (flags & DRAW_MODE_INVERT) ? R2_NOT : R2_COPYPEN);
    gdi_select_object(t->dc, (flags & DRAW_MODE_OUTLINE) ? gdi_get_stock_object(NULL_BRUSH) : t->brush);
    gdi_set_bk_mode(t->dc, (flags & DRAW_MODE_TRANSPARENT) ? TRANSPARENT : OPAQUE);
    op_set_front_colour(t, t->front_colour);
}

int32_t op_text(DrawTarget* t, int32_t x, int32_t y, const char16_t* text) {
    gdi_move_to_ex(t->dc, x, y, nullptr);
    int32_t length = int32_t(str_length(text));
    if (length > 0) gdi_text_out_w(t->dc, 0, 0, text, length);
    POINT end = {0, 0};
    gdi_move_to_ex(t->dc, 0, 0, &end);
    return end.x;
}

void op_fill(DrawTarget* t, int32_t x, int32_t y, int32_t border) {
    const int32_t saved_mode = t->mode;
    const bool outline = (saved_mode & DRAW_MODE_OUTLINE) != 0;
    HBRUSH temporary = nullptr;
    HGDIOBJ previous = nullptr;
    if (outline) {
        t->mode = saved_mode & ~DRAW_MODE_OUTLINE;
        temporary = gdi_create_solid_brush(COLORREF(t->front_colour));
        if (temporary) previous = gdi_select_object(t->dc, temporary);
    }
    if (border == -1) gdi_ext_flood_fill(t->dc, x, y, gdi_get_pixel(t->dc, x, y), FLOODFILLSURFACE);
    else gdi_ext_flood_fill(t->dc, x, y, COLORREF(border), FLOODFILLBORDER);
    if (outline) {
        if (previous) gdi_select_object(t->dc, previous);
        if (temporary) gdi_delete_object(temporary);
        t->mode = saved_mode;
    }
}

void op_set_front_colour(DrawTarget* t, int32_t colour) {
    if (!(t->mode & DRAW_MODE_OUTLINE)) {
        if (HBRUSH brush = gdi_create_solid_brush(COLORREF(colour))) {
            gdi_select_object(t->dc, brush);
            gdi_delete_object(t->brush);
            t->brush = brush;
        }
    }
    if (HPEN pen = gdi_create_pen(PS_SOLID, 0, COLORREF(colour))) {
        gdi_select_object(t->dc, pen);
        gdi_delete_object(t->pen);
        t->pen = pen;
    }
    gdi_set_text_color(t->dc, COLORREF(colour));
}

HDC op_start(DrawTarget* t) {
    t->initial_brush = gdi_create_solid_brush(0);
    t->initial_pen = gdi_create_pen(PS_SOLID, 0, 0);
    t->mode = 0;
    if (!t->dc) return nullptr;
    gdi_set_text_align(t->dc, TA_UPDATECP);
    t->previous_brush = gdi_select_object(t->dc, t->initial_brush);
    t->previous_pen = gdi_select_object(t->dc, t->initial_pen);
    t->font = gdi_get_stock_object(SYSTEM_FONT);
    t->brush = gdi_create_solid_brush(0);
    return t->dc;
}

void op_stop(DrawTarget* t) {
    if (t->previous_brush) gdi_select_object(t->dc, t->previous_brush);
    if (t->previous_pen) gdi_select_object(t->dc, t->previous_pen);
    gdi_delete_object(t->brush);
    gdi_delete_object(t->pen);
    gdi_delete_object(t->initial_brush);
    gdi_delete_object(t->initial_pen);
    t->brush = t->pen = t->initial_brush = t->initial_pen = nullptr;
}

SIZE extent(DrawTarget* t, const char16_t* text) {
    SIZE size = {0, 0};
    gdi_get_text_extent_point32_w(t->dc, text, int32_t(str_length(text)), &size);
    return size;
}

int32_t op_text_height(DrawTarget* t, const char16_t* text) {
    if (!text || !*text) return 0;
    return extent(t, text).cy;
}

int32_t op_text_width(DrawTarget* t, const char16_t* text) {
    if (!text || !*text) return 0;
    return extent(t, text).cx;
}

const DrawOps draw_ops = {op_set_back_colour, op_box,  op_circle, op_set_font, op_set_mode,     op_text,
                          op_fill,            op_set_front_colour, op_start, op_stop, op_text_height, op_text_width};

void set_current(DrawTarget* t) {
    draw_state.current = t;
    thread_target = t;
}

// A colour change reaches the DC only when the colour differs from the one applied.
void use_colour(DrawTarget* t, int32_t colour) {
    if (colour != t->front_colour) {
        t->front_colour = colour;
        t->ops->set_front_colour(t, colour);
    }
}

}  // namespace

void draw_init() {
    draw_state.tls_slot = 1;
    set_current(nullptr);
}

DrawTarget* draw_target_create() {
    DrawTarget* t = static_cast<DrawTarget*>(obj_alloc(sizeof(DrawTarget), nullptr));
    if (!t) return nullptr;
    t->ops = &draw_ops;
    t->opacity = 0;
    t->front_colour = -1;
    t->applied_back_colour = -1;
    set_current(t);
    return t;
}

intptr_t draw_begin(DrawTarget* target) {
    if (!target) return 0;
    HDC dc = target->ops->start(target);
    if (!dc) {
        // start made the initial brush and pen before finding no context: drop them with the target.
        gdi_delete_object(target->initial_brush);
        gdi_delete_object(target->initial_pen);
        if (target->release) target->release(target, 0);
        obj_free(target);
        if (draw_state.current == target) set_current(nullptr);
        return 0;
    }
    return reinterpret_cast<intptr_t>(dc);
}

void draw_end() {
    DrawTarget* t = draw_state.current;
    if (!t) return;
    t->ops->stop(t);
    if (t->release) t->release(t, 1);
    obj_free(t);
    set_current(nullptr);
}

void draw_set_mode(int32_t flags) {
    if (DrawTarget* t = draw_state.current) t->ops->set_mode(t, flags);
}

void draw_set_font(intptr_t font) {
    if (DrawTarget* t = draw_state.current) t->ops->set_font(t, font);
}

void draw_set_opacity(int32_t value) {
    if (DrawTarget* t = draw_state.current) t->opacity = value;
}

void draw_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour) {
    DrawTarget* t = draw_state.current;
    if (!t) return;
    use_colour(t, colour);
    t->ops->box(t, x, y, width, height);
}

void draw_circle(int32_t x, int32_t y, int32_t radius, int32_t colour) {
    DrawTarget* t = draw_state.current;
    if (!t) return;
    use_colour(t, colour);
    t->ops->circle(t, x, y, radius);
}

void draw_fill(int32_t x, int32_t y, int32_t border, int32_t colour) {
    DrawTarget* t = draw_state.current;
    if (!t) return;
    use_colour(t, colour);
    t->ops->fill(t, x, y, border);
}

int32_t draw_text(int32_t x, int32_t y, const char16_t* text, int32_t colour) {
    DrawTarget* t = draw_state.current;
    if (!t) return 0;
    use_colour(t, colour);
    if (t->back_colour != t->applied_back_colour) {
        t->applied_back_colour = t->back_colour;
        t->ops->set_back_colour(t, t->back_colour);
    }
    return t->ops->text(t, x, y, text);
}

int32_t draw_text_width(const char16_t* text) {
    DrawTarget* t = draw_state.current;
    return t ? t->ops->text_width(t, text) : 0;
}

int32_t draw_text_height(const char16_t* text) {
    DrawTarget* t = draw_state.current;
    return t ? t->ops->text_height(t, text) : 0;
}

// --- fonts -------------------------------------------------------------------------------------

void font_init() { draw_state.fonts = obj_table_create(sizeof(FontRecord), 16, font_free); }

intptr_t font_load(intptr_t number, const char16_t* face, int32_t points, int32_t flags) {
    if (!draw_state.fonts) return 0;
    FontRecord* record = static_cast<FontRecord*>(obj_slot_for(draw_state.fonts, number));
    if (!record) return 0;
    intptr_t result = 0;
    if (HDC info = gdi_create_dc_w(u"DISPLAY", nullptr, nullptr, nullptr)) {
        int32_t height = -mul_div(points, gdi_get_device_caps(info, LOGPIXELSY), 72);
        HFONT font = gdi_create_font_w(height, 0, 0, 0, (flags & FONT_BOLD) ? FW_BOLD : FW_NORMAL, (flags & FONT_ITALIC) ? 1 : 0,
                                       (flags & FONT_UNDERLINE) ? 1 : 0, (flags & FONT_STRIKEOUT) ? 1 : 0, DEFAULT_CHARSET, 0,
                                       0, (flags & FONT_HIGH_QUALITY) ? PROOF_QUALITY : DEFAULT_QUALITY, 0, face);
        if (font) {
            record->font = font;
            result = number == AUTO_NUMBER ? reinterpret_cast<intptr_t>(record) : reinterpret_cast<intptr_t>(font);
        }
        gdi_delete_dc(info);
    }
    // An automatic record that got no font would stay in the list forever: give it back.
    if (!result && number == AUTO_NUMBER) obj_list_remove(&draw_state.fonts->auto_list, record);
    return result;
}

intptr_t font_handle(intptr_t number) {
    if (!draw_state.fonts) return 0;
    FontRecord* record = static_cast<FontRecord*>(obj_find(draw_state.fonts, number));
    return record ? reinterpret_cast<intptr_t>(record->font) : 0;
}

int font_free(intptr_t number) {
    if (!draw_state.fonts) return 0;
    FontRecord* record = static_cast<FontRecord*>(obj_find(draw_state.fonts, number));
    if (!record) return 0;
    gdi_delete_object(record->font);
    obj_release(draw_state.fonts, number);
    return 1;
}

void font_free_all() {
    if (!draw_state.fonts) return;
    obj_free_all(draw_state.fonts);
    // The table itself lives in the object heap, which the shutdown destroys next.
    draw_state.fonts = nullptr;
}
