// The settings schema as data (group, key, default, GameState field) and the loader that walks it.
// Relies on: game_state.h, prefs.h, strings.h.
#include "game/settings/settings.h"

#include "game/startup/game_state.h"
#include "runtime/foundation/prefs.h"
#include "runtime/foundation/strings.h"

const char16_t* const SETTINGS_FILE = u"Files\\Tarnwood.cfg";

namespace {
// One key of the file read into one GameState field: an integer field with int_default, or a
// string field with text_default. Keys of one group stand together, in the order they are read.
struct SettingKey {
    const char16_t* group;
    const char16_t* key;
    int32_t GameState::*int_field;
    char16_t* GameState::*text_field;
    int32_t int_default;
    const char16_t* text_default;
};

const SettingKey kSettingKeys[] = {
    {u"Screen", u"ScreenW", &GameState::screen_width, nullptr, 1024, nullptr},
    {u"Screen", u"ScreenH", &GameState::screen_height, nullptr, 768, nullptr},
    {u"Screen", u"ScreenD", &GameState::screen_depth, nullptr, 32, nullptr},
    {u"Screen", u"ScreenS", &GameState::screen_vsync, nullptr, 1, nullptr},
    {u"Screen", u"ScreenHz", &GameState::screen_refresh, nullptr, 75, nullptr},
    {u"Settings", u"MenuPage", nullptr, &GameState::menu_page, 0, u"Main"},
    {u"Settings", u"Log", &GameState::log_config, nullptr, 0, nullptr},
    {u"OptionsKeys", u"Forward", nullptr, &GameState::key_forward, 0, u"W"},
    {u"OptionsKeys", u"Backward", nullptr, &GameState::key_backward, 0, u"S"},
    {u"OptionsKeys", u"Left", nullptr, &GameState::key_left, 0, u"A"},
    {u"OptionsKeys", u"Right", nullptr, &GameState::key_right, 0, u"D"},
    {u"OptionsKeys", u"Jump", nullptr, &GameState::key_jump, 0, u"Space"},
    {u"OptionsKeys", u"Journal", nullptr, &GameState::key_journal, 0, u"Tab"},
    {u"OptionsKeys", u"Map", nullptr, &GameState::key_map, 0, u"M"},
    {u"OptionsKeys", u"Screenshot", nullptr, &GameState::key_screenshot, 0, u"F12"},
    {u"OptionsGame", u"Language", nullptr, &GameState::language, 0, u"German"},
    {u"OptionsGame", u"MenuInfo", &GameState::menu_info, nullptr, 0, nullptr},
    {u"OptionsSound", u"Music", &GameState::music_on, nullptr, 1, nullptr},
};

struct ScreenshotKey {
    const char16_t* upper;
    const char16_t* lower;
    int32_t code;
};

// Names of the screenshot key and their keyboard codes; the first match wins.
const ScreenshotKey kScreenshotKeys[] = {
    {u"F1", u"f1", 59}, {u"F2", u"f2", 60}, {u"F3", u"f3", 61},   {u"F4", u"f4", 62},
    {u"F5", u"f5", 63}, {u"F6", u"f6", 64}, {u"F7", u"f7", 65},   {u"F8", u"f8", 66},
    {u"F9", u"f9", 67}, {u"F10", u"f10", 68}, {u"F11", u"f11", 87}, {u"F12", u"f12", 88},
};
constexpr int32_t SCREENSHOT_KEY_DEFAULT = 88;

// Reads a string key into a GameState string through the temporary string builder.
void read_text(const char16_t* key, const char16_t* default_value, char16_t** field) {
    int32_t position = str_builder.length;
    prefs_read_string(key, default_value, position);
    str_assign_temp(field, position);
}

// The stored "Application" value is rewritten when it differs from the running program's.
void refresh_application_key(const char16_t* key, const char16_t* default_value, const char16_t* current) {
    char16_t* stored = nullptr;
    read_text(key, default_value, &stored);
    if (!str_equal(stored, current)) prefs_write_string(key, current);
    str_free(stored);
}
}  // namespace

int32_t game_screenshot_key_code(const char16_t* name) {
    for (const ScreenshotKey& k : kScreenshotKeys)
        if (str_equal(name, k.upper) || str_equal(name, k.lower)) return k.code;
    return SCREENSHOT_KEY_DEFAULT;
}

void game_load_settings() {
    if (prefs_open(SETTINGS_FILE)) {
        prefs_select_group(u"Application");
        refresh_application_key(u"PathMain", u"", game.program_folder);
        refresh_application_key(u"Version", u"0.0.0.6", game.version);

        const char16_t* group = nullptr;
        for (const SettingKey& k : kSettingKeys) {
            if (!str_equal(group, k.group)) {
                group = k.group;
                prefs_select_group(group);
            }
            if (k.int_field)
                game.*k.int_field = prefs_read_int(k.key, k.int_default);
            else
                read_text(k.key, k.text_default, &(game.*k.text_field));
        }
        game.new_screen_width = game.screen_width;
        game.new_screen_height = game.screen_height;
        game.new_screen_refresh = game.screen_refresh;
        prefs_close();
    }
    game.screenshot_key_code = game_screenshot_key_code(game.key_screenshot);
}
