// GameState: the game's global variables (application record, live and pending settings, text
// slots, button rectangles, menu state) and the page constants. Everything is zero or empty
// before start-up; game_init_state assigns the defaults.
// Relies on: heap.h (handle type), strings (the string fields are UTF-16 string variables).
#pragma once
#include <cstdint>

#include "runtime/foundation/heap.h"

enum : int32_t {
    PAGE_MAIN = 0,
    PAGE_NEW_GAME = 1,
    PAGE_LOAD_GAME = 2,
    PAGE_OPTIONS = 3,
    PAGE_CONTROLS = 4,
    PAGE_KEY_FORWARD = 5,
    PAGE_KEY_BACKWARD = 6,
    PAGE_KEY_LEFT = 7,
    PAGE_KEY_RIGHT = 8,
    PAGE_KEY_JUMP = 9,
    PAGE_KEY_JOURNAL = 10,
    PAGE_KEY_MAP = 11,
    PAGE_KEY_SCREENSHOT = 12,
    PAGE_GAMEPLAY = 13,
    PAGE_LANGUAGE = 14,
    PAGE_MENU_INFO = 15,
    PAGE_GRAPHICS = 16,
    PAGE_RESOLUTION = 17,
    PAGE_REFRESH = 18,
    PAGE_AUDIO = 19,
    PAGE_MUSIC = 20,
    PAGE_CREDITS = 21,
    PAGE_COUNT = 22,
};

struct ButtonRect {
    int32_t x, y, w, h;  // top-left corner and size in pixels
};

struct GameState {
    // Runtime handles.
    Heap* runtime_heap;
    intptr_t module_instance;

    // Application record.
    char16_t* program_folder;
    char16_t* product_name;
    char16_t* version;
    char16_t* version_line;

    // Live settings.
    int32_t screen_width;
    int32_t screen_height;
    int32_t screen_depth;
    int32_t screen_vsync;
    int32_t screen_refresh;
    char16_t* menu_page;
    int32_t log_config;
    char16_t* key_forward;
    char16_t* key_backward;
    char16_t* key_left;
    char16_t* key_right;
    char16_t* key_jump;
    char16_t* key_journal;
    char16_t* key_map;
    char16_t* key_screenshot;
    int32_t screenshot_key_code;
    char16_t* language;
    int32_t menu_info;
    int32_t music_on;

    // Pending settings, written to the settings file when the player applies them.
    int32_t new_screen_width;
    int32_t new_screen_height;
    int32_t new_screen_refresh;
    char16_t* new_language;
    char16_t* new_menu_page;

    // Menu state.
    int32_t menu_state;
    int32_t mouse_click_state;
    int32_t screenshot_counter;
    // The process's exit code: 0, or 1 when the main loop ended because the display could not open.
    int32_t exit_code;

    // Text slots, button rectangles and captions of the language and layout tables.
    // (filled by game_build_tables)
    // Interface texts in the language in force; the *_key slots copy the key names.
    char16_t *txt_info_quit, *txt_info_main_menu, *txt_info_screenshot, *txt_info_resolution;
    char16_t *txt_info_refresh, *txt_title, *txt_hint_new_game, *txt_hint_load_game;
    char16_t *txt_hint_options, *txt_hint_credits, *txt_new_game, *txt_load_game;
    char16_t *txt_options, *txt_controls, *txt_forward, *txt_forward_key;
    char16_t *txt_backward, *txt_backward_key, *txt_left, *txt_left_key;
    char16_t *txt_right, *txt_right_key, *txt_jump, *txt_jump_key;
    char16_t *txt_journal, *txt_journal_key, *txt_map, *txt_map_key;
    char16_t *txt_screenshot, *txt_screenshot_key, *txt_gameplay, *txt_language;
    char16_t *txt_german, *txt_english, *txt_menu_info, *txt_menu_info_on;
    char16_t *txt_menu_info_off, *txt_graphics, *txt_resolution, *txt_refresh;
    char16_t *txt_audio, *txt_music, *txt_music_on, *txt_music_off;
    char16_t *txt_credits, *txt_quit, *txt_back;
    // Captions of the resolution and refresh-rate buttons, the same in every language.
    char16_t *lbl_res_800x600, *lbl_res_1024x768, *lbl_res_1280x720, *lbl_res_1280x1024;
    char16_t *lbl_hz_60, *lbl_hz_75, *lbl_hz_85;
    // Button rectangles for the screen size in force; zero for any other size.
    ButtonRect rect_new_game, rect_load_game, rect_options, rect_credits;
    ButtonRect rect_quit, rect_back, rect_controls, rect_forward;
    ButtonRect rect_forward_key, rect_backward, rect_backward_key, rect_left;
    ButtonRect rect_left_key, rect_right, rect_right_key, rect_jump;
    ButtonRect rect_jump_key, rect_journal, rect_journal_key, rect_map;
    ButtonRect rect_map_key, rect_screenshot, rect_screenshot_key, rect_gameplay;
    ButtonRect rect_language, rect_german, rect_english, rect_menu_info;
    ButtonRect rect_menu_info_on, rect_menu_info_off, rect_graphics, rect_resolution;
    ButtonRect rect_res_800x600, rect_res_1024x768, rect_res_1280x720, rect_res_1280x1024;
    ButtonRect rect_refresh, rect_hz_60, rect_hz_75, rect_hz_85;
    ButtonRect rect_audio, rect_music, rect_music_on, rect_music_off;
};

extern GameState game;
