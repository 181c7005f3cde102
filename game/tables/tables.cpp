// The interface texts and the button layout as tables, and game_build_tables which copies them
// into GameState. Relies on: game_state.h, strings.h.
#include "game/tables/tables.h"

#include "game/startup/game_state.h"
#include "runtime/foundation/strings.h"

namespace {
using TextSlot = char16_t* GameState::*;

// One text slot: its German and English text, or (copy_of) the GameState field it copies in
// both languages. Trailing blanks belong to the texts: other text follows them on the page.
struct TextEntry {
    TextSlot slot;
    const char16_t* german;
    const char16_t* english;
    TextSlot copy_of;
};

const TextEntry kTexts[] = {
    {&GameState::txt_info_quit, u"Beenden: ", u"Quit: ", nullptr},
    {&GameState::txt_info_main_menu, u"Hauptmenü: ", u"Main Menu: ", nullptr},
    {&GameState::txt_info_screenshot, u"Bildaufnahme: ", u"Screenshot: ", nullptr},
    {&GameState::txt_info_resolution, u"Auflösung: ", u"Resolution: ", nullptr},
    {&GameState::txt_info_refresh, u"Bildaktualisierung: ", u"Screen-Refresh: ", nullptr},
    {&GameState::txt_title, u"Tarnwood", u"Tarnwood", nullptr},
    {&GameState::txt_hint_new_game, u"Ein neues Spiel beginnen", u"Begin a new game", nullptr},
    {&GameState::txt_hint_load_game, u"Ein vorhandenes Spiel laden", u"Load an existing game", nullptr},
    {&GameState::txt_hint_options, u"Gameplay, Grafik und Sound anpassen",
     u"Customize Gameplay, Graphic and Sound settings", nullptr},
    {&GameState::txt_hint_credits, u"Produzenten und Mitwirkende", u"Producer and performers", nullptr},
    {&GameState::txt_new_game, u"Neues Spiel", u"New Game", nullptr},
    {&GameState::txt_load_game, u"Spiel Laden", u"Load Game", nullptr},
    {&GameState::txt_options, u"Optionen", u"Options", nullptr},
    {&GameState::txt_controls, u"Steuerung", u"Control", nullptr},
    {&GameState::txt_forward, u"Vorwärts", u"Forward", nullptr},
    {&GameState::txt_forward_key, nullptr, nullptr, &GameState::key_forward},
    {&GameState::txt_backward, u"Rückwärts", u"Backward", nullptr},
    {&GameState::txt_backward_key, nullptr, nullptr, &GameState::key_backward},
    {&GameState::txt_left, u"Links", u"Left", nullptr},
    {&GameState::txt_left_key, nullptr, nullptr, &GameState::key_left},
    {&GameState::txt_right, u"Rechts", u"Right", nullptr},
    {&GameState::txt_right_key, nullptr, nullptr, &GameState::key_right},
    {&GameState::txt_jump, u"Springen", u"Jump", nullptr},
    {&GameState::txt_jump_key, nullptr, nullptr, &GameState::key_jump},
    {&GameState::txt_journal, u"Journal", u"Journal", nullptr},
    {&GameState::txt_journal_key, nullptr, nullptr, &GameState::key_journal},
    {&GameState::txt_map, u"Karte", u"Map", nullptr},
    {&GameState::txt_map_key, nullptr, nullptr, &GameState::key_map},
    {&GameState::txt_screenshot, u"Bildaufnahme", u"Screenshot", nullptr},
    {&GameState::txt_screenshot_key, nullptr, nullptr, &GameState::key_screenshot},
    {&GameState::txt_gameplay, u"Gameplay", u"Gameplay", nullptr},
    {&GameState::txt_language, u"Sprache", u"Language", nullptr},
    {&GameState::txt_german, u"Deutsch", u"German", nullptr},
    {&GameState::txt_english, u"Englisch", u"English", nullptr},
    {&GameState::txt_menu_info, u"Menü Info", u"Menu Info", nullptr},
    {&GameState::txt_menu_info_on, u"An", u"On", nullptr},
    {&GameState::txt_menu_info_off, u"Aus", u"Off", nullptr},
    {&GameState::txt_graphics, u"Grafik", u"Graphic", nullptr},
    {&GameState::txt_resolution, u"Auflösung", u"Resolution", nullptr},
    {&GameState::txt_refresh, u"Bildwiederholung", u"Screen-Refresh", nullptr},
    {&GameState::txt_audio, u"Audio", u"Sound", nullptr},
    {&GameState::txt_music, u"Musik", u"Music", nullptr},
    {&GameState::txt_music_on, u"An", u"On", nullptr},
    {&GameState::txt_music_off, u"Aus", u"Off", nullptr},
    {&GameState::txt_credits, u"Mitwirkende", u"Credits", nullptr},
    {&GameState::txt_quit, u"Beenden", u"Quit", nullptr},
    {&GameState::txt_back, u"Zurück", u"Back", nullptr},
};

// The screen sizes the menu is laid out for. The fixed rows are placed for 1024x768 and 1280x720
// and moved by row_shift at the other two sizes; the bottom row is always 100 pixels above the
// screen's lower edge.
struct ScreenSize {
    int32_t width, height, row_shift;
};
const ScreenSize kScreenSizes[] = {{800, 600, -40}, {1024, 768, 0}, {1280, 720, 0}, {1280, 1024, 40}};

constexpr int32_t BUTTON_W = 150;
constexpr int32_t BUTTON_H = 30;
constexpr int32_t ROW_BOTTOM = -1;  // y = screen height - 100
constexpr int32_t LEFT2 = -320, LEFT = -160, MIDDLE = 0, RIGHT = 160, RIGHT2 = 320;

// A button: its column (offset of its centre from the screen's centre) and its row at 1024x768.
struct ButtonEntry {
    ButtonRect GameState::*rect;
    int32_t column;
    int32_t row;
};

const ButtonEntry kButtons[] = {
    {&GameState::rect_new_game, LEFT2, ROW_BOTTOM},
    {&GameState::rect_load_game, LEFT, ROW_BOTTOM},
    {&GameState::rect_options, MIDDLE, ROW_BOTTOM},
    {&GameState::rect_credits, RIGHT, ROW_BOTTOM},
    {&GameState::rect_quit, RIGHT2, ROW_BOTTOM},
    {&GameState::rect_back, MIDDLE, ROW_BOTTOM},
    // Controls: the section, the eight actions, each action's key in the right column.
    {&GameState::rect_controls, LEFT, 200},
    {&GameState::rect_forward, MIDDLE, 200},
    {&GameState::rect_forward_key, RIGHT, 200},
    {&GameState::rect_backward, MIDDLE, 240},
    {&GameState::rect_backward_key, RIGHT, 240},
    {&GameState::rect_left, MIDDLE, 280},
    {&GameState::rect_left_key, RIGHT, 280},
    {&GameState::rect_right, MIDDLE, 320},
    {&GameState::rect_right_key, RIGHT, 320},
    {&GameState::rect_jump, MIDDLE, 360},
    {&GameState::rect_jump_key, RIGHT, 360},
    {&GameState::rect_journal, MIDDLE, 400},
    {&GameState::rect_journal_key, RIGHT, 400},
    {&GameState::rect_map, MIDDLE, 440},
    {&GameState::rect_map_key, RIGHT, 440},
    {&GameState::rect_screenshot, MIDDLE, 480},
    {&GameState::rect_screenshot_key, RIGHT, 480},
    // Gameplay: language with its two choices, menu info one row lower with On and Off.
    {&GameState::rect_gameplay, LEFT, 240},
    {&GameState::rect_language, MIDDLE, 240},
    {&GameState::rect_german, RIGHT, 240},
    {&GameState::rect_english, RIGHT, 280},
    {&GameState::rect_menu_info, MIDDLE, 280},
    {&GameState::rect_menu_info_on, RIGHT, 280},
    {&GameState::rect_menu_info_off, RIGHT, 320},
    // Graphics: resolution and refresh rate with their choices.
    {&GameState::rect_graphics, LEFT, 280},
    {&GameState::rect_resolution, MIDDLE, 280},
    {&GameState::rect_res_800x600, RIGHT, 280},
    {&GameState::rect_res_1024x768, RIGHT, 320},
    {&GameState::rect_res_1280x720, RIGHT, 360},
    {&GameState::rect_res_1280x1024, RIGHT, 400},
    {&GameState::rect_refresh, MIDDLE, 320},
    {&GameState::rect_hz_60, RIGHT, 320},
    {&GameState::rect_hz_75, RIGHT, 360},
    {&GameState::rect_hz_85, RIGHT, 400},
    // Audio: music with On and Off.
    {&GameState::rect_audio, LEFT, 320},
    {&GameState::rect_music, MIDDLE, 320},
    {&GameState::rect_music_on, RIGHT, 320},
    {&GameState::rect_music_off, RIGHT, 360},
};

struct CaptionEntry {
    TextSlot slot;
    const char16_t* text;
};
const CaptionEntry kCaptions[] = {
    {&GameState::lbl_res_800x600, u"800x600"},   {&GameState::lbl_res_1024x768, u"1024x768"},
    {&GameState::lbl_res_1280x720, u"1280x720"}, {&GameState::lbl_res_1280x1024, u"1280x1024"},
    {&GameState::lbl_hz_60, u"60 Hz"},           {&GameState::lbl_hz_75, u"75 Hz"},
    {&GameState::lbl_hz_85, u"85 Hz"},
};

void build_texts() {
    int language;
    if (str_equal(game.language, u"German"))
        language = 0;
    else if (str_equal(game.language, u"English"))
        language = 1;
    else
        return;
    for (const TextEntry& t : kTexts) {
        const char16_t* text = t.copy_of ? game.*t.copy_of : language == 0 ? t.german : t.english;
        str_assign(&(game.*t.slot), text ? text : u"");
    }
}

void build_layout() {
    for (const ScreenSize& size : kScreenSizes) {
        if (game.screen_width != size.width || game.screen_height != size.height) continue;
        int32_t cx = size.width / 2;
        for (const ButtonEntry& b : kButtons) {
            int32_t y = b.row == ROW_BOTTOM ? size.height - 100 : b.row + size.row_shift;
            game.*b.rect = ButtonRect{cx - BUTTON_W / 2 + b.column, y, BUTTON_W, BUTTON_H};
        }
        for (const CaptionEntry& c : kCaptions) str_assign(&(game.*c.slot), c.text);
        return;
    }
}
}  // namespace

void game_build_tables() {
    build_texts();
    build_layout();
}
