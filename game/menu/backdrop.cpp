// The backdrop of every menu frame: the title picture stretched to the screen, the title, the
// hint line of the page, the optional information lines and the version line.
// Relies on: 3D sprites, the 2D drawing library and its fonts, game_state.h.
#include "game/menu/menu.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/display.h"
#include "runtime/media/draw.h"
#include "runtime/media/sprite3d.h"

namespace {
// The screen sizes the title picture is drawn at; at any other size the backdrop stays black.
constexpr int32_t kBackdropSizes[][2] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};

constexpr int32_t kTitleFont = 4, kLineFont = 1;
constexpr int32_t kTitleRgb[3] = {150, 50, 50};
constexpr int32_t kLineRgb[3] = {250, 250, 250};

// The hint line of a page (the main page has none).
char16_t* hint_for_page(int32_t page) {
    if (page == PAGE_NEW_GAME) return game.txt_hint_new_game;
    if (page == PAGE_LOAD_GAME) return game.txt_hint_load_game;
    if (page >= PAGE_OPTIONS && page <= PAGE_MUSIC) return game.txt_hint_options;
    if (page == PAGE_CREDITS) return game.txt_hint_credits;
    return nullptr;
}

void line_text(int32_t x, int32_t y, const char16_t* text) {
    menu_text(x, y, text, kLineFont, kLineRgb[0], kLineRgb[1], kLineRgb[2]);
}

// Draws one information line assembled in the string builder from position start, then pops it.
void info_line(int32_t y, int32_t start) {
    str_builder.length += 2;  // the terminator belongs to the text while it is in use
    line_text(10, y, reinterpret_cast<const char16_t*>(reinterpret_cast<char*>(str_builder.buffer) + start));
    str_builder.length = start;
}
}  // namespace

void menu_text(int32_t x, int32_t y, const char16_t* text, int32_t font, int32_t red, int32_t green, int32_t blue) {
    draw_set_mode(DRAW_MODE_TRANSPARENT);
    draw_set_font(font_handle(font));
    draw_text(x, y, text, screen_rgb(red, green, blue));
}

void menu_draw_background() {
    sprite3d_begin();
    for (const auto& size : kBackdropSizes) {
        if (game.screen_width == size[0] && game.screen_height == size[1]) {
            // The zoom follows the draw: the first frame shows the picture at its own size.
            sprite3d_display(SPRITE3D_TITLE, 0, 0);
            sprite3d_zoom(SPRITE3D_TITLE, game.screen_width, game.screen_height);
            break;
        }
    }
    sprite3d_end();
}

void menu_draw_header() {
    // Pass 1: the title, placed by its width in the system font that a new pass starts with.
    if (draw_begin(screen_output())) {
        int32_t w = draw_text_width(game.txt_title);
        menu_text(game.screen_width / 2 - w, 50, game.txt_title, kTitleFont, kTitleRgb[0], kTitleRgb[1], kTitleRgb[2]);
        draw_end();
    }

    if (!draw_begin(screen_output())) return;
    if (const char16_t* hint = hint_for_page(game.menu_state)) {
        int32_t w = draw_text_width(hint);
        int32_t x = game.screen_width / 2 - w / 2 + (game.menu_state == PAGE_CREDITS ? 0 : 5);
        line_text(x, 100, hint);
    }

    if (game.menu_info == 1) {
        int32_t start = str_builder.length;
        str_push(game.menu_state == PAGE_MAIN ? game.txt_info_quit : game.txt_info_main_menu);
        str_push(u"Esc");
        info_line(10, start);

        str_push(game.txt_info_screenshot);
        str_push(game.key_screenshot);
        info_line(30, start);

        str_push(game.txt_info_resolution);
        str_push_int(game.screen_width, str_builder.length);
        str_push(u"x");
        str_push_int(game.screen_height, str_builder.length);
        info_line(50, start);

        str_push(game.txt_info_refresh);
        str_push_int(game.screen_refresh, str_builder.length);
        info_line(70, start);
    }

    // Measured in whatever font the pass holds now: font 1 after a hint or information line,
    // the system font otherwise.
    int32_t h = draw_text_height(game.version_line);
    int32_t w = draw_text_width(game.version_line);
    line_text(game.screen_width - w - 10, game.screen_height - h - 10, game.version_line);
    draw_end();
}
