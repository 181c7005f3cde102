// The menu's main loop: the configuration message, the display and the menu's objects (a display
// that cannot open is reported and ends the program with exit code 1), the first page, the music,
// and the page state machine with its transition table, the settings written by the options, and
// the restart that carries a new language, resolution or refresh rate into a new instance of the
// program.
// Relies on: page_loop (menu_run_page), the display, sprites, 3D sprites, drawing, sound, mouse,
// keyboard, the preferences store, paths and process start, the stored media, game_state.h, the
// screenshot writer (its screenshots are finished before a restart).
#include "assets/assets.h"
#include "game/menu/menu.h"
#include "game/startup/game_main.h"
#include "game/settings/settings.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/paths.h"
#include "runtime/foundation/prefs.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/display.h"
#include "runtime/media/draw.h"
#include "runtime/media/keyboard.h"
#include "runtime/media/mouse.h"
#include "runtime/media/sound.h"
#include "runtime/media/sprite.h"
#include "runtime/media/sprite3d.h"
#include "runtime/platform/system/system.h"

namespace {
const char16_t* const kSettingsFile = SETTINGS_FILE;

enum Action : int32_t {
    NONE = 0,        // a choice the table does not list: nothing changes
    GOTO,            // a: the next page
    QUIT,            // leave the loop at once
    SET_LANGUAGE,    // text: "German" or "English"
    SET_MENU_INFO,   // a: 1 or 0; the page stays
    SET_RESOLUTION,  // a x b, text: the entry's caption
    SET_REFRESH,     // a: Hz
    SET_MUSIC,       // a: 1 or 0; the page stays
};

struct Transition {
    int32_t action;
    int32_t a, b;
    const char16_t* text;
};

constexpr Transition go(int32_t page) { return {GOTO, page, 0, nullptr}; }

constexpr int kMaxChoices = 12;

// The transition for each page and choice, in choice order.
const Transition kTransitions[PAGE_COUNT][kMaxChoices] = {
    /* PAGE_MAIN */ {go(1), go(2), go(3), go(21), {QUIT, 0, 0, nullptr}},
    /* PAGE_NEW_GAME */ {go(0)},
    /* PAGE_LOAD_GAME */ {go(0)},
    /* PAGE_OPTIONS */ {go(4), go(13), go(16), go(19), go(0)},
    /* PAGE_CONTROLS */ {go(13), go(16), go(19), go(5), go(6), go(7), go(8), go(9), go(10), go(11), go(12), go(0)},
    /* PAGE_KEY_FORWARD */ {go(13), go(16), go(19), go(6), go(7), go(8), go(9), go(10), go(11), go(12), go(0)},
    /* PAGE_KEY_BACKWARD */ {go(13), go(16), go(19), go(5), go(7), go(8), go(9), go(10), go(11), go(12), go(0)},
    /* PAGE_KEY_LEFT */ {go(13), go(16), go(19), go(5), go(6), go(8), go(9), go(10), go(11), go(12), go(0)},
    /* PAGE_KEY_RIGHT */ {go(13), go(16), go(19), go(5), go(6), go(7), go(9), go(10), go(11), go(12), go(0)},
    /* PAGE_KEY_JUMP */ {go(13), go(16), go(19), go(5), go(6), go(7), go(8), go(10), go(11), go(12), go(0)},
    /* PAGE_KEY_JOURNAL */ {go(13), go(16), go(19), go(5), go(6), go(7), go(8), go(9), go(11), go(12), go(0)},
    /* PAGE_KEY_MAP */ {go(13), go(16), go(19), go(5), go(6), go(7), go(8), go(9), go(10), go(12), go(0)},
    /* PAGE_KEY_SCREENSHOT */ {go(13), go(16), go(19), go(5), go(6), go(7), go(8), go(9), go(10), go(11), go(0)},
    /* PAGE_GAMEPLAY */ {go(4), go(16), go(19), go(14), go(15), go(0)},
    /* PAGE_LANGUAGE */
    {go(4), go(16), go(19), go(15), {SET_LANGUAGE, 0, 0, u"German"}, {SET_LANGUAGE, 0, 0, u"English"}, go(0)},
    /* PAGE_MENU_INFO */
    {go(4), go(16), go(19), go(14), {SET_MENU_INFO, 1, 0, nullptr}, {SET_MENU_INFO, 0, 0, nullptr}, go(0)},
    /* PAGE_GRAPHICS */ {go(4), go(13), go(19), go(17), go(18), go(0)},
    /* PAGE_RESOLUTION */
    {go(4), go(13), go(19), go(18), {SET_RESOLUTION, 800, 600, u"800x600"}, {SET_RESOLUTION, 1024, 768, u"1024x768"},
     {SET_RESOLUTION, 1280, 720, u"1280x720"}, {SET_RESOLUTION, 1280, 1024, u"1280x1024"}, go(0)},
    /* PAGE_REFRESH */
    {go(4), go(13), go(19), go(17), {SET_REFRESH, 60, 0, nullptr}, {SET_REFRESH, 75, 0, nullptr},
     {SET_REFRESH, 85, 0, nullptr}, go(0)},
    /* PAGE_AUDIO */ {go(4), go(13), go(16), go(20), go(0)},
    /* PAGE_MUSIC */ {go(4), go(13), go(16), {SET_MUSIC, 1, 0, nullptr}, {SET_MUSIC, 0, 0, nullptr}, go(0)},
    /* PAGE_CREDITS */ {go(0)},
};

// The page names "MenuPage" may hold to open an option page first; anything else opens the main page.
struct FirstPage {
    const char16_t* name;
    int32_t page;
};
const FirstPage kFirstPages[] = {
    {u"GameLang", PAGE_LANGUAGE},
    {u"GraphicRes", PAGE_RESOLUTION},
    {u"GraphicHz", PAGE_REFRESH},
};

// Opens the settings file and selects a group; only when it opened may the caller write.
bool settings_open(const char16_t* group) {
    if (!prefs_open(kSettingsFile)) return false;
    prefs_select_group(group);
    return true;
}

void settings_write_int(const char16_t* group, const char16_t* key, int32_t value) {
    if (!settings_open(group)) return;
    prefs_write_int(key, value);
    prefs_close();
}

// The screen's size, depth and refresh rate as both messages below list them.
void push_screen_values() {
    str_push(u"Aufl\u00f6sung:\t\t");
    str_push_int(game.screen_width, str_builder.length);
    str_push(u"x");
    str_push_int(game.screen_height, str_builder.length);
    str_push(u"\nFarbtiefe:\t\t\t");
    str_push_int(game.screen_depth, str_builder.length);
    str_push(u"\nBildwiederholung:\t\t");
    str_push_int(game.screen_refresh, str_builder.length);
}

// Shows the text assembled in the builder from `start` in the start-up message box.
void show_builder_text(int32_t start) {
    char16_t* text = nullptr;
    str_assign_temp(&text, start);
    game_error_message(text);
    str_free(text);
}

void show_configuration() {
    int32_t start = str_builder.length;
    str_push(game.product_name);
    str_push(u" wird mit folgender Konfiguration ausgef\u00fchrt:\n\n");
    push_screen_values();
    str_push(u"\nVertikal-Blank-Sync:\t\t");
    str_push_int(game.screen_vsync, str_builder.length);
    show_builder_text(start);
}

// The display settings that no screen took, and where to correct them.
void show_open_failure() {
    int32_t start = str_builder.length;
    str_push(u"Bildschirm konnte nicht ge\u00f6ffnet werden:\n\n");
    push_screen_values();
    str_push(u"\n\nBitte die Werte unter [Screen] in der Datei ");
    str_push(kSettingsFile);
    str_push(u" berichtigen.");
    show_builder_text(start);
}

}  // namespace

int menu_open_screen() {
    if (!screen_open(game.screen_width, game.screen_height, game.screen_depth, game.product_name,
                     game.screen_vsync == 1 ? 1 : 0, game.screen_refresh)) {
        // Without a screen the menu could be neither seen nor left: say what failed and end.
        show_open_failure();
        game.exit_code = 1;
        return 0;
    }
    // The stored media are read once: once decoded, their pages may leave the resident memory.
    sprite_load_from_memory(SPRITE_TITLE, asset_title_picture, asset_title_picture_size, 4);
    sys_page_out(asset_title_picture, asset_title_picture_size);
    sprite3d_create(SPRITE3D_TITLE, SPRITE_TITLE);
    sound_load_from_memory(SOUND_MUSIC, asset_title_music, asset_title_music_size);
    sys_page_out(asset_title_music, asset_title_music_size);
    sprite_create(SPRITE_POINTER, 24, 24);
    // The pointer: a red ring filled with a dusky grey; the black rest of the sprite is transparent.
    if (draw_begin(sprite_output(SPRITE_POINTER))) {
        draw_set_mode(DRAW_MODE_OUTLINE);
        draw_circle(12, 12, 6, 255);
        draw_fill(12, 12, 255, screen_rgb(120, 100, 100));
        draw_end();
    }
    mouse_set_position(game.screen_width / 2, game.screen_height - 20);
    return 1;
}

namespace {

void choose_first_page() {
    game.menu_state = PAGE_MAIN;
    for (const FirstPage& first : kFirstPages) {
        if (str_equal(game.menu_page, first.name)) {
            game.menu_state = first.page;
            // The next normal start opens the main menu again.
            if (settings_open(u"Settings")) {
                prefs_write_string(u"MenuPage", u"Main");
                prefs_close();
            }
            break;
        }
    }
}

// Applies one transition; returns whether a restart was requested.
bool apply(const Transition& t) {
    switch (t.action) {
        case GOTO:
            game.menu_state = t.a;
            return false;
        case SET_LANGUAGE: {
            // Decided on the language in force since start-up, not on a pending choice.
            bool german = str_equal(t.text, u"German");
            const char16_t* from[2] = {german ? u"Englisch" : u"Deutsch", german ? u"English" : u"German"};
            if (!str_equal(game.language, from[0]) && !str_equal(game.language, from[1])) return false;
            str_assign(&game.new_language, t.text);
            str_assign(&game.new_menu_page, u"GameLang");
            return true;
        }
        case SET_MENU_INFO:
            settings_write_int(u"OptionsGame", u"MenuInfo", t.a);
            game.menu_info = t.a;
            return false;
        case SET_RESOLUTION: {
            int32_t start = str_builder.length;
            str_push_int(game.screen_width, str_builder.length);
            str_push(u"x");
            str_push_int(game.screen_height, str_builder.length);
            char16_t* current = nullptr;
            str_assign_temp(&current, start);
            bool same = str_equal(current, t.text);
            str_free(current);
            if (same) return false;
            game.new_screen_width = t.a;
            game.new_screen_height = t.b;
            str_assign(&game.new_menu_page, u"GraphicRes");
            game.menu_state = PAGE_MAIN;
            return true;
        }
        case SET_REFRESH:
            if (game.screen_refresh == t.a) return false;
            game.new_screen_refresh = t.a;
            str_assign(&game.new_menu_page, u"GraphicHz");
            game.menu_state = PAGE_MAIN;
            return true;
        case SET_MUSIC:
            settings_write_int(u"OptionsSound", u"Music", t.a);
            if (t.a == 1) sound_play(SOUND_MUSIC, SOUND_LOOP);
            else sound_stop(SOUND_MUSIC, 0);
            return false;
        default:
            return false;
    }
}

void restart() {
    if (prefs_open(kSettingsFile)) {
        prefs_select_group(u"Screen");
        prefs_write_int(u"ScreenW", game.new_screen_width);
        prefs_write_int(u"ScreenH", game.new_screen_height);
        prefs_write_int(u"ScreenHz", game.new_screen_refresh);
        prefs_select_group(u"Settings");
        prefs_write_string(u"MenuPage", game.new_menu_page);
        prefs_select_group(u"OptionsGame");
        prefs_write_string(u"Language", game.new_language);
        prefs_write_int(u"MenuInfo", game.menu_info);
        prefs_close();
    }
    screen_delay(10);
    int32_t start = str_builder.length;
    path_program_file(start);
    char16_t* path = nullptr;
    str_assign_temp(&path, start);
    // The new instance counts its screenshots from 1 again: this one's must be on disk first.
    screenshot_wait_all();
    sys_mark_successor();  // the new instance waits for this one to let go of the folder
    process_run(path);
    str_free(path);
}
}  // namespace

void menu_main_loop() {
    if (game.log_config == 1) show_configuration();
    screenshot_remove_stale();
    if (!menu_open_screen()) return;
    choose_first_page();
    str_assign(&game.new_language, game.language);
    if (game.music_on == 1) sound_play(SOUND_MUSIC, SOUND_LOOP);

    bool restart_requested = false;
    for (;;) {
        screen_clear(screen_rgb(0, 0, 0));
        int32_t choice = menu_run_page();
        if (choice >= 0 && choice < kMaxChoices && game.menu_state >= 0 && game.menu_state < PAGE_COUNT) {
            const Transition& t = kTransitions[game.menu_state][choice];
            if (t.action == QUIT) return;
            if (apply(t)) restart_requested = true;
        }
        if (restart_requested) restart();
        screen_flip();
        key_examine();
        if (key_released(KEY_ESCAPE) == 1 || restart_requested) return;
    }
}
