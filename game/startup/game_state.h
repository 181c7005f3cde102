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

    // Text slots, button rectangles and captions of the language and layout tables.
    // (filled by game_build_tables)
};

extern GameState game;
