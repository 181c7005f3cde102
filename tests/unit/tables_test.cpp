// The language and layout tables: every text slot in both languages, and every rectangle at the
// four screen sizes against the per-size rows of the layout table.
#include <cstring>

#include "game/startup/game_state.h"
#include "game/tables/tables.h"
#include "tests/support/runtime_fixture.h"

namespace {
using TextSlot = char16_t* GameState::*;
struct ExpectedText {
    const char* name;
    TextSlot slot;
    const char16_t* german;   // null: a copy of the key name
    const char16_t* english;
};
#define COPY(field) nullptr
constexpr int32_t BOTTOM = -1;
struct ExpectedRect {
    const char* name;
    ButtonRect GameState::*rect;
    int32_t column;
    int32_t y[4];  // at 800x600, 1024x768, 1280x720, 1280x1024
};

// The texts and rows as the layout table lists them.
const ExpectedText kExpectedTexts[] = {
    {"txt_info_quit", &GameState::txt_info_quit, u"Beenden: ", u"Quit: "},
    {"txt_info_main_menu", &GameState::txt_info_main_menu, u"Hauptmenü: ", u"Main Menu: "},
    {"txt_info_screenshot", &GameState::txt_info_screenshot, u"Bildaufnahme: ", u"Screenshot: "},
    {"txt_info_resolution", &GameState::txt_info_resolution, u"Auflösung: ", u"Resolution: "},
    {"txt_info_refresh", &GameState::txt_info_refresh, u"Bildaktualisierung: ", u"Screen-Refresh: "},
    {"txt_title", &GameState::txt_title, u"Tarnwood", u"Tarnwood"},
    {"txt_hint_new_game", &GameState::txt_hint_new_game, u"Ein neues Spiel beginnen", u"Begin a new game"},
    {"txt_hint_load_game", &GameState::txt_hint_load_game, u"Ein vorhandenes Spiel laden", u"Load an existing game"},
    {"txt_hint_options", &GameState::txt_hint_options, u"Gameplay, Grafik und Sound anpassen", u"Customize Gameplay, Graphic and Sound settings"},
    {"txt_hint_credits", &GameState::txt_hint_credits, u"Produzenten und Mitwirkende", u"Producer and performers"},
    {"txt_new_game", &GameState::txt_new_game, u"Neues Spiel", u"New Game"},
    {"txt_load_game", &GameState::txt_load_game, u"Spiel Laden", u"Load Game"},
    {"txt_options", &GameState::txt_options, u"Optionen", u"Options"},
    {"txt_controls", &GameState::txt_controls, u"Steuerung", u"Control"},
    {"txt_forward", &GameState::txt_forward, u"Vorwärts", u"Forward"},
    {"txt_forward_key", &GameState::txt_forward_key, COPY(key_forward), COPY(key_forward)},
    {"txt_backward", &GameState::txt_backward, u"Rückwärts", u"Backward"},
    {"txt_backward_key", &GameState::txt_backward_key, COPY(key_backward), COPY(key_backward)},
    {"txt_left", &GameState::txt_left, u"Links", u"Left"},
    {"txt_left_key", &GameState::txt_left_key, COPY(key_left), COPY(key_left)},
    {"txt_right", &GameState::txt_right, u"Rechts", u"Right"},
    {"txt_right_key", &GameState::txt_right_key, COPY(key_right), COPY(key_right)},
    {"txt_jump", &GameState::txt_jump, u"Springen", u"Jump"},
    {"txt_jump_key", &GameState::txt_jump_key, COPY(key_jump), COPY(key_jump)},
    {"txt_journal", &GameState::txt_journal, u"Journal", u"Journal"},
    {"txt_journal_key", &GameState::txt_journal_key, COPY(key_journal), COPY(key_journal)},
    {"txt_map", &GameState::txt_map, u"Karte", u"Map"},
    {"txt_map_key", &GameState::txt_map_key, COPY(key_map), COPY(key_map)},
    {"txt_screenshot", &GameState::txt_screenshot, u"Bildaufnahme", u"Screenshot"},
    {"txt_screenshot_key", &GameState::txt_screenshot_key, COPY(key_screenshot), COPY(key_screenshot)},
    {"txt_gameplay", &GameState::txt_gameplay, u"Gameplay", u"Gameplay"},
    {"txt_language", &GameState::txt_language, u"Sprache", u"Language"},
    {"txt_german", &GameState::txt_german, u"Deutsch", u"German"},
    {"txt_english", &GameState::txt_english, u"Englisch", u"English"},
    {"txt_menu_info", &GameState::txt_menu_info, u"Menü Info", u"Menu Info"},
    {"txt_menu_info_on", &GameState::txt_menu_info_on, u"An", u"On"},
    {"txt_menu_info_off", &GameState::txt_menu_info_off, u"Aus", u"Off"},
    {"txt_graphics", &GameState::txt_graphics, u"Grafik", u"Graphic"},
    {"txt_resolution", &GameState::txt_resolution, u"Auflösung", u"Resolution"},
    {"txt_refresh", &GameState::txt_refresh, u"Bildwiederholung", u"Screen-Refresh"},
    {"txt_audio", &GameState::txt_audio, u"Audio", u"Sound"},
    {"txt_music", &GameState::txt_music, u"Musik", u"Music"},
    {"txt_music_on", &GameState::txt_music_on, u"An", u"On"},
    {"txt_music_off", &GameState::txt_music_off, u"Aus", u"Off"},
    {"txt_credits", &GameState::txt_credits, u"Mitwirkende", u"Credits"},
    {"txt_quit", &GameState::txt_quit, u"Beenden", u"Quit"},
    {"txt_back", &GameState::txt_back, u"Zurück", u"Back"},
};
const ExpectedRect kExpectedRects[] = {
    {"rect_new_game", &GameState::rect_new_game, -320, {BOTTOM, BOTTOM, BOTTOM, BOTTOM}},
    {"rect_load_game", &GameState::rect_load_game, -160, {BOTTOM, BOTTOM, BOTTOM, BOTTOM}},
    {"rect_options", &GameState::rect_options, 0, {BOTTOM, BOTTOM, BOTTOM, BOTTOM}},
    {"rect_credits", &GameState::rect_credits, 160, {BOTTOM, BOTTOM, BOTTOM, BOTTOM}},
    {"rect_quit", &GameState::rect_quit, 320, {BOTTOM, BOTTOM, BOTTOM, BOTTOM}},
    {"rect_back", &GameState::rect_back, 0, {BOTTOM, BOTTOM, BOTTOM, BOTTOM}},
    {"rect_controls", &GameState::rect_controls, -160, {160, 200, 200, 240}},
    {"rect_forward", &GameState::rect_forward, 0, {160, 200, 200, 240}},
    {"rect_forward_key", &GameState::rect_forward_key, 160, {160, 200, 200, 240}},
    {"rect_backward", &GameState::rect_backward, 0, {200, 240, 240, 280}},
    {"rect_backward_key", &GameState::rect_backward_key, 160, {200, 240, 240, 280}},
    {"rect_left", &GameState::rect_left, 0, {240, 280, 280, 320}},
    {"rect_left_key", &GameState::rect_left_key, 160, {240, 280, 280, 320}},
    {"rect_right", &GameState::rect_right, 0, {280, 320, 320, 360}},
    {"rect_right_key", &GameState::rect_right_key, 160, {280, 320, 320, 360}},
    {"rect_jump", &GameState::rect_jump, 0, {320, 360, 360, 400}},
    {"rect_jump_key", &GameState::rect_jump_key, 160, {320, 360, 360, 400}},
    {"rect_journal", &GameState::rect_journal, 0, {360, 400, 400, 440}},
    {"rect_journal_key", &GameState::rect_journal_key, 160, {360, 400, 400, 440}},
    {"rect_map", &GameState::rect_map, 0, {400, 440, 440, 480}},
    {"rect_map_key", &GameState::rect_map_key, 160, {400, 440, 440, 480}},
    {"rect_screenshot", &GameState::rect_screenshot, 0, {440, 480, 480, 520}},
    {"rect_screenshot_key", &GameState::rect_screenshot_key, 160, {440, 480, 480, 520}},
    {"rect_gameplay", &GameState::rect_gameplay, -160, {200, 240, 240, 280}},
    {"rect_language", &GameState::rect_language, 0, {200, 240, 240, 280}},
    {"rect_german", &GameState::rect_german, 160, {200, 240, 240, 280}},
    {"rect_english", &GameState::rect_english, 160, {240, 280, 280, 320}},
    {"rect_menu_info", &GameState::rect_menu_info, 0, {240, 280, 280, 320}},
    {"rect_menu_info_on", &GameState::rect_menu_info_on, 160, {240, 280, 280, 320}},
    {"rect_menu_info_off", &GameState::rect_menu_info_off, 160, {280, 320, 320, 360}},
    {"rect_graphics", &GameState::rect_graphics, -160, {240, 280, 280, 320}},
    {"rect_resolution", &GameState::rect_resolution, 0, {240, 280, 280, 320}},
    {"rect_res_800x600", &GameState::rect_res_800x600, 160, {240, 280, 280, 320}},
    {"rect_res_1024x768", &GameState::rect_res_1024x768, 160, {280, 320, 320, 360}},
    {"rect_res_1280x720", &GameState::rect_res_1280x720, 160, {320, 360, 360, 400}},
    {"rect_res_1280x1024", &GameState::rect_res_1280x1024, 160, {360, 400, 400, 440}},
    {"rect_refresh", &GameState::rect_refresh, 0, {280, 320, 320, 360}},
    {"rect_hz_60", &GameState::rect_hz_60, 160, {280, 320, 320, 360}},
    {"rect_hz_75", &GameState::rect_hz_75, 160, {320, 360, 360, 400}},
    {"rect_hz_85", &GameState::rect_hz_85, 160, {360, 400, 400, 440}},
    {"rect_audio", &GameState::rect_audio, -160, {280, 320, 320, 360}},
    {"rect_music", &GameState::rect_music, 0, {280, 320, 320, 360}},
    {"rect_music_on", &GameState::rect_music_on, 160, {280, 320, 320, 360}},
    {"rect_music_off", &GameState::rect_music_off, 160, {320, 360, 360, 400}},
};
#undef COPY

class TablesTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        std::memset(&game, 0, sizeof game);
        str_assign(&game.key_forward, u"Kf");
        str_assign(&game.key_backward, u"Kb");
        str_assign(&game.key_left, u"Kl");
        str_assign(&game.key_right, u"Kr");
        str_assign(&game.key_jump, u"Kj");
        str_assign(&game.key_journal, u"Kn");
        str_assign(&game.key_map, u"Km");
        str_assign(&game.key_screenshot, u"Ks");
    }
    void TearDown() override {
        std::memset(&game, 0, sizeof game);
        RuntimeTest::TearDown();
    }
    void build(const char16_t* language, int32_t width, int32_t height) {
        str_assign(&game.language, language);
        game.screen_width = width;
        game.screen_height = height;
        game_build_tables();
    }
    static std::string utf8(const char16_t* s) { return str_to_utf8(s); }
};

TEST_F(TablesTest, TextSlotsInBothLanguages) {
    const struct {
        TextSlot slot;
        const char* name;
    } key_copies[] = {{&GameState::txt_forward_key, "Kf"}, {&GameState::txt_backward_key, "Kb"},
                      {&GameState::txt_left_key, "Kl"},    {&GameState::txt_right_key, "Kr"},
                      {&GameState::txt_jump_key, "Kj"},    {&GameState::txt_journal_key, "Kn"},
                      {&GameState::txt_map_key, "Km"},     {&GameState::txt_screenshot_key, "Ks"}};
    ASSERT_EQ(sizeof kExpectedTexts / sizeof kExpectedTexts[0], 47u);
    for (int english = 0; english < 2; english++) {
        build(english ? u"English" : u"German", 1024, 768);
        for (const ExpectedText& t : kExpectedTexts) {
            const char16_t* want = english ? t.english : t.german;
            if (!want) continue;
            EXPECT_EQ(utf8(game.*t.slot), utf8(want)) << t.name << (english ? " English" : " German");
        }
        for (const auto& k : key_copies) EXPECT_EQ(utf8(game.*k.slot), k.name);
    }
    // Umlauts as real letters and trailing blanks kept.
    build(u"German", 1024, 768);
    EXPECT_EQ(utf8(game.txt_info_main_menu), "Hauptmen\xC3\xBC: ");
    EXPECT_EQ(utf8(game.txt_back), "Zur\xC3\xBC" "ck");
}

TEST_F(TablesTest, OtherLanguagesLeaveTheTextsEmpty) {
    for (const char16_t* language : {u"Deutsch", u"german", u"English ", u"", u"ENGLISH"}) {
        build(language, 1024, 768);
        for (const ExpectedText& t : kExpectedTexts) EXPECT_EQ(game.*t.slot, nullptr) << t.name;
    }
}

TEST_F(TablesTest, RectanglesAtTheFourScreenSizes) {
    const int32_t sizes[4][2] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
    ASSERT_EQ(sizeof kExpectedRects / sizeof kExpectedRects[0], 44u);
    for (int s = 0; s < 4; s++) {
        std::memset(static_cast<void*>(&game.rect_new_game), 0,
                    reinterpret_cast<char*>(&game.rect_music_off + 1) - reinterpret_cast<char*>(&game.rect_new_game));
        build(u"English", sizes[s][0], sizes[s][1]);
        int32_t cx = sizes[s][0] / 2;
        for (const ExpectedRect& r : kExpectedRects) {
            const ButtonRect& got = game.*r.rect;
            int32_t y = r.y[s] == BOTTOM ? sizes[s][1] - 100 : r.y[s];
            EXPECT_EQ(got.x, cx - 75 + r.column) << r.name << " at size " << s;
            EXPECT_EQ(got.y, y) << r.name << " at size " << s;
            EXPECT_EQ(got.w, 150) << r.name;
            EXPECT_EQ(got.h, 30) << r.name;
        }
        EXPECT_EQ(utf8(game.lbl_res_1280x1024), "1280x1024");
        EXPECT_EQ(utf8(game.lbl_hz_60), "60 Hz");
    }
}

TEST_F(TablesTest, ColumnsAndBottomRowSpotChecks) {
    build(u"German", 800, 600);
    EXPECT_EQ(game.rect_new_game.x, 5);
    EXPECT_EQ(game.rect_load_game.x, 165);
    EXPECT_EQ(game.rect_options.x, 325);
    EXPECT_EQ(game.rect_credits.x, 485);
    EXPECT_EQ(game.rect_quit.x, 645);
    EXPECT_EQ(game.rect_quit.y, 500);
    EXPECT_EQ(game.rect_controls.y, 160);
    build(u"German", 1024, 768);
    EXPECT_EQ(game.rect_new_game.x, 117);
    EXPECT_EQ(game.rect_quit.x, 757);
    EXPECT_EQ(game.rect_back.y, 668);
    build(u"German", 1280, 720);
    EXPECT_EQ(game.rect_back.y, 620);
    EXPECT_EQ(game.rect_menu_info.y, game.rect_language.y + 40);
    build(u"German", 1280, 1024);
    EXPECT_EQ(game.rect_back.y, 924);
    EXPECT_EQ(game.rect_screenshot_key.y, 520);
}

TEST_F(TablesTest, UnknownSizeSetsNoRectangleOrCaption) {
    for (auto size : {std::pair<int32_t, int32_t>{1280, 960}, {600, 800}, {0, 0}, {1024, 600}}) {
        build(u"German", size.first, size.second);
        for (const ExpectedRect& r : kExpectedRects) {
            const ButtonRect& got = game.*r.rect;
            EXPECT_TRUE(got.x == 0 && got.y == 0 && got.w == 0 && got.h == 0) << r.name;
        }
        EXPECT_EQ(game.lbl_res_800x600, nullptr);
        EXPECT_EQ(game.lbl_hz_85, nullptr);
        EXPECT_EQ(utf8(game.txt_back), "Zur\xC3\xBC" "ck");  // the texts do not depend on the size
    }
}
}  // namespace
