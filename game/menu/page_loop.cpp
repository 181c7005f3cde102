// One menu page, frame after frame, until the player picks an entry: the click state machine,
// the strict hit test, the entry drawing, Escape and the screenshot key.
// Relies on: pages.h (the page table), the display, drawing, sprites, mouse and keyboard.
#include "game/menu/menu.h"
#include "game/menu/pages.h"
#include "game/startup/game_state.h"
#include "runtime/media/display.h"
#include "runtime/media/draw.h"
#include "runtime/media/keyboard.h"
#include "runtime/media/mouse.h"
#include "runtime/media/sprite.h"

namespace {
// Next click state by [left button held][state before]: a release after a hold is a pending click.
constexpr int32_t kClickTransition[2][4] = {
    {0, 1, 3, 0},  // not held: 0 and 1 stay, 2 becomes a pending click, an untaken click clears
    {1, 2, 2, 2},  // held: from idle "just pressed", otherwise "held"
};

constexpr int32_t kFrameRgb[3] = {70, 10, 10};
constexpr int32_t kHoverFaceRgb[3] = {250, 250, 250};
constexpr int32_t kFaceRgb[3] = {150, 150, 150};
constexpr int32_t kEntryRgb[3] = {150, 50, 50};
constexpr int32_t kCaptionRgb[3] = {250, 250, 250};
constexpr int32_t kHoverTextRgb[3] = {250, 250, 250};
constexpr int32_t kMenuFont = 3;

int32_t rgb(const int32_t c[3]) { return screen_rgb(c[0], c[1], c[2]); }

// Draws a caption or an entry of the page table; returns 1 when it was clicked in this frame.
int32_t draw_item(const PageItem& item) {
    const ButtonRect& r = game.*(item.name->rect);
    const char16_t* text = game.*(item.name->text);
    int32_t height = item.fixed_height ? item.fixed_height : r.h;
    switch (item.style) {
        case STYLE_BUTTON:
            return menu_button(r.x, r.y, r.w, height, text, kEntryRgb[0], kEntryRgb[1], kEntryRgb[2], 1, 0);
        case STYLE_ENTRY:
            return menu_button(r.x, r.y, r.w, height, text, kEntryRgb[0], kEntryRgb[1], kEntryRgb[2], 0, 1);
        default:
            return menu_button(r.x, r.y, r.w, height, text, kCaptionRgb[0], kCaptionRgb[1], kCaptionRgb[2], 0, 0);
    }
}
}  // namespace

void menu_update_click() {
    int32_t held = mouse_button(1) ? 1 : 0;
    int32_t state = game.mouse_click_state;
    if (state < 0 || state > 3) state = 0;
    game.mouse_click_state = kClickTransition[held][state];
}

int32_t menu_button(int32_t x, int32_t y, int32_t width, int32_t height, const char16_t* text, int32_t red,
                    int32_t green, int32_t blue, int32_t framed, int32_t hover_white) {
    int32_t result = 0;
    if (framed == 1) draw_box(x, y, width, height, rgb(kFrameRgb));

    int32_t mx = mouse_x(), my = mouse_y();
    bool over = x < mx && mx < x + width && y < my && my < y + height;
    int32_t colour = screen_rgb(red, green, blue);
    if (over) {
        if (game.mouse_click_state == 3) {
            result = 1;
            game.mouse_click_state = 0;
        }
        if (framed == 1) {
            draw_set_opacity(200);
            draw_box(x + 3, y + 3, width - 6, height - 6, rgb(kHoverFaceRgb));
        }
        if (hover_white == 1) colour = rgb(kHoverTextRgb);
    } else if (framed == 1) {
        draw_set_opacity(100);
        draw_box(x + 3, y + 3, width - 6, height - 6, rgb(kFaceRgb));
    }

    draw_set_mode(DRAW_MODE_TRANSPARENT);
    draw_set_font(font_handle(kMenuFont));
    int32_t text_width = draw_text_width(text);
    int32_t text_height = draw_text_height(text);
    draw_text(x + width / 2 - text_width / 2, y + height / 2 - text_height / 2, text, colour);
    return result;
}

int32_t menu_page_frame() {
    if (game.menu_state < 0 || game.menu_state >= PAGE_COUNT) return -1;
    const PageDef& page = menu_pages[game.menu_state];
    int32_t result = -1;
    screen_clear(screen_rgb(0, 0, 0));
    menu_draw_background();
    menu_draw_header();
    mouse_examine();
    key_examine();
    menu_update_click();
    if (key_released(KEY_ESCAPE) == 1) result = page.escape_index;

    // Without a drawing output the entries are skipped for this frame; the pointer, the flip,
    // Escape and the screenshot key still run.
    if (draw_begin(screen_output())) {
        for (int32_t i = 0; i < page.caption_count; i++) draw_item(page.captions[i]);
        for (int32_t i = 0; i < page.entry_count; i++) {
            if (draw_item(page.entries[i])) {
                result = i;
                break;  // the entries after a clicked one are not drawn in this frame
            }
        }
        draw_end();
    }
    sprite_display(SPRITE_POINTER, mouse_x() - 12, mouse_y() - 12);
    screen_flip();
    if (key_released(game.screenshot_key_code) == 1) game_screenshot();
    screenshot_advance();
    return result;
}

int32_t menu_run_page() {
    if (game.menu_state < 0 || game.menu_state >= PAGE_COUNT) return -1;
    int32_t result = -1;
    while (result < 0 && game.menu_state >= 0 && game.menu_state < PAGE_COUNT) result = menu_page_frame();
    return result;
}
