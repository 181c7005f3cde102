// What the menu's options do to the settings file, the music and the running program, and the
// restart that carries a new resolution or language into a new instance on the same folder.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "game/menu/menu.h"
#include "game/settings/settings.h"
#include "runtime/foundation/registry.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/sound.h"
#include "support/menu_script.h"
#include "support/settings_file.h"

namespace {
void quit_from(Scenario& s, int page) {
    go(s, page, PAGE_MAIN);
    click_entry(s, 4);
}

DirectSoundBuffer* music_buffer() {
    auto* record = static_cast<SoundRecord*>(obj_find(sound_state.sounds, 6));
    return record ? record->buffer : nullptr;
}

uint32_t music_status() {
    uint32_t status = 0;
    if (DirectSoundBuffer* b = music_buffer()) b->get_status(&status);
    return status;
}

uint32_t music_position() {
    uint32_t play = 0, write = 0;
    if (DirectSoundBuffer* b = music_buffer()) b->get_current_position(&play, &write);
    return play;
}

size_t png_count(const Scenario& s) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(s.file("Files/Screenshots")))
        if (e.path().extension() == ".png") n++;
    return n;
}

// Width and height from a PNG file's header.
std::pair<uint32_t, uint32_t> png_size(const std::string& path) {
    std::string b = TempFolder::read(path);
    if (b.size() < 24 || b.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be = [&](size_t i) {
        return uint32_t(uint8_t(b[i])) << 24 | uint32_t(uint8_t(b[i + 1])) << 16 | uint32_t(uint8_t(b[i + 2])) << 8 |
               uint8_t(b[i + 3]);
    };
    return {be(16), be(20)};
}
}  // namespace

TEST(MenuSettings, NothingIsRewrittenAtStartUpWhenTheFolderIsKnown) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    click_entry(s, 4);
    s.run();
    EXPECT_EQ(s.settings(), cfg.bytes());
}

TEST(MenuSettings, MenuInfoOnAndOffAreWrittenAtOnceAndShownFromTheNextFrame) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    go(s, PAGE_MAIN, PAGE_MENU_INFO);
    choose(s, 4);  // On
    expect_page(s, PAGE_MENU_INFO, "the page stays");
    s.step([&] {
        EXPECT_EQ(game.menu_info, 1);
        Settings on = cfg;
        on.menu_info = 1;
        EXPECT_EQ(s.settings(), on.bytes());
    });
    choose(s, 5);  // Off
    s.step([&] {
        EXPECT_EQ(game.menu_info, 0);
        EXPECT_EQ(s.settings(), cfg.bytes());
    });
    quit_from(s, PAGE_MENU_INFO);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_EQ(s.settings(), cfg.bytes());
}

TEST(MenuSettings, MusicOffStopsAndOnRestartsFromTheBeginning) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    s.step([] { EXPECT_NE(music_status() & DSBSTATUS_LOOPING, 0u) << "the music starts with the menu"; });
    go(s, PAGE_MAIN, PAGE_MUSIC);
    choose(s, 4);  // Off
    s.step([&] {
        EXPECT_EQ(music_status() & DSBSTATUS_PLAYING, 0u);
        Settings off = cfg;
        off.music = 0;
        EXPECT_EQ(s.settings(), off.bytes());
    });
    choose(s, 3);  // On
    s.step([&] {
        EXPECT_NE(music_status() & DSBSTATUS_LOOPING, 0u);
        EXPECT_EQ(s.settings(), cfg.bytes());
        headless_audio_pull(44100);  // one second plays
        EXPECT_GT(music_position(), 44100u * 4 - 16);
    });
    choose(s, 3);  // On again while it plays: from the beginning
    s.step([] { EXPECT_LT(music_position(), 4096u); });
    quit_from(s, PAGE_MUSIC);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
}

TEST(MenuSettings, TheSameResolutionOrRefreshRateDoesNothing) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    go(s, PAGE_MAIN, PAGE_RESOLUTION);
    choose(s, 5);  // 1024x768, in force
    expect_page(s, PAGE_RESOLUTION, "resolution in force");
    go(s, PAGE_RESOLUTION, PAGE_REFRESH);
    choose(s, 5);  // 75 Hz, in force
    expect_page(s, PAGE_REFRESH, "refresh rate in force");
    go(s, PAGE_REFRESH, PAGE_LANGUAGE);
    choose(s, 4);  // German, in force
    expect_page(s, PAGE_LANGUAGE, "language in force");
    quit_from(s, PAGE_LANGUAGE);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_TRUE(headless_system().process_starts.empty());
    EXPECT_EQ(s.settings(), cfg.bytes());
}

TEST(MenuSettings, AResolutionChangeRestartsAndTheNewInstanceOpensOnTheResolutionPage) {
    Settings cfg;
    cfg.language = "English";
    cfg.menu_info = 1;
    Scenario s(cfg.bytes().c_str());
    go(s, PAGE_MAIN, PAGE_RESOLUTION);
    click_entry(s, 4);  // 800x600
    uint32_t chosen_at = 0;  // the clock in the frame that chose, before the restart
    s.step([&chosen_at] { chosen_at = headless_system().clock_ms; });
    s.idle(1);
    s.run();
    EXPECT_FALSE(s.guard_used) << "a restart ends this instance";
    EXPECT_EQ(s.script_left, 0u);
    Settings expected = cfg;
    expected.width = 800;
    expected.height = 600;
    expected.page = "GraphicRes";
    EXPECT_EQ(s.settings(), expected.bytes());
    ASSERT_EQ(headless_system().process_starts.size(), 1u);
    EXPECT_EQ(headless_system().process_starts[0].program, program_path());
    EXPECT_FALSE(headless_system().process_starts[0].through_shell);
    EXPECT_GE(headless_system().process_starts[0].clock_ms - chosen_at, 10u);  // the pause before the start

    // The new instance, on the same folder.
    s.step([] {
        EXPECT_EQ(game.menu_state, PAGE_RESOLUTION);
        EXPECT_EQ(headless_video().screen_width, 800);
        EXPECT_EQ(headless_video().screen_height, 600);
        EXPECT_EQ(game.rect_quit.y, 500);  // the 800 x 600 layout
    });
    quit_from(s, PAGE_RESOLUTION);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    expected.page = "Main";
    EXPECT_EQ(s.settings(), expected.bytes());
    EXPECT_TRUE(headless_system().process_starts.empty());
}

TEST(MenuSettings, ARefreshChangeRestartsOnTheRefreshPage) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    go(s, PAGE_MAIN, PAGE_REFRESH);
    choose(s, 4);  // 60 Hz
    s.run();
    Settings expected = cfg;
    expected.refresh = 60;
    expected.page = "GraphicHz";
    EXPECT_EQ(s.settings(), expected.bytes());
    EXPECT_EQ(headless_system().process_starts.size(), 1u);

    s.step([] {
        EXPECT_EQ(game.menu_state, PAGE_REFRESH);
        EXPECT_EQ(headless_video().screen_refresh, 60);
    });
    quit_from(s, PAGE_REFRESH);
    s.run();
    expected.page = "Main";
    EXPECT_EQ(s.settings(), expected.bytes());
}

TEST(MenuSettings, ALanguageSwitchRestartsIntoEnglishOnTheLanguagePage) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    s.step([] { EXPECT_EQ(str_to_utf8(game.txt_back), "Zur\xC3\xBC" "ck"); });
    go(s, PAGE_MAIN, PAGE_LANGUAGE);
    choose(s, 5);  // English
    s.run();
    Settings expected = cfg;
    expected.language = "English";
    expected.page = "GameLang";
    EXPECT_EQ(s.settings(), expected.bytes());
    EXPECT_EQ(headless_system().process_starts.size(), 1u);

    s.step([] {
        EXPECT_EQ(game.menu_state, PAGE_LANGUAGE);
        EXPECT_EQ(str_to_utf8(game.txt_back), "Back");
    });
    quit_from(s, PAGE_LANGUAGE);
    s.run();
    expected.page = "Main";
    EXPECT_EQ(s.settings(), expected.bytes());
}

TEST(MenuSettings, WithoutASettingsFileNothingIsWrittenButChangesStillApply) {
    Scenario s(nullptr);
    go(s, PAGE_MAIN, PAGE_MENU_INFO);
    choose(s, 4);
    s.step([] { EXPECT_EQ(game.menu_info, 1); });
    go(s, PAGE_MENU_INFO, PAGE_RESOLUTION);
    choose(s, 4);
    s.run();
    EXPECT_FALSE(s.settings_exist());
    EXPECT_EQ(headless_system().process_starts.size(), 1u) << "the restart still happens";
}

TEST(MenuSettings, ScreenshotsAreNumberedAndTakenAlsoInTheFrameThatEndsAPage) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    s.idle(2);
    s.key_tap(SCAN_F12);
    s.idle(2);
    s.step([&] {
        screenshot_wait_all();  // written off the frame loop
        EXPECT_EQ(png_count(s), 1u);
    });
    // F12 goes up in the same frame as the click that leaves the main page.
    s.step([] {
        auto c = centre(game.rect_options);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.step([] {
        headless_input_button(0, true);
        headless_input_key(SCAN_F12, true);
    });
    s.idle(2);
    s.step([] {
        headless_input_button(0, false);
        headless_input_key(SCAN_F12, false);
    });
    s.idle(2);
    expect_page(s, PAGE_OPTIONS, "the click");
    s.step([&] {
        screenshot_wait_all();
        EXPECT_EQ(png_count(s), 2u);
    });
    quit_from(s, PAGE_OPTIONS);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    for (const char* name : {"Files/Screenshots/Screenshot_1.png", "Files/Screenshots/Screenshot_2.png"}) {
        auto size = png_size(s.file(name));
        EXPECT_EQ(size.first, 1024u) << name;
        EXPECT_EQ(size.second, 768u) << name;
    }
}

TEST(MenuSettings, WithoutTheScreenshotFolderNothingIsWrittenAndTheMenuGoesOn) {
    Settings cfg;
    Scenario s(cfg.bytes().c_str(), false);
    s.idle(2);
    s.key_tap(SCAN_F12);
    s.idle(2);
    s.step([] { EXPECT_EQ(game.screenshot_counter, 1); });
    go(s, PAGE_MAIN, PAGE_OPTIONS);
    click_entry(s, 4);  // Back
    s.idle(2);
    click_entry(s, 4);  // Quit
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_FALSE(std::filesystem::exists(s.file("Files/Screenshots")));
}

TEST(MenuSettings, ConfigurationMessageWithLog) {
    Settings cfg;
    cfg.log = 1;
    Scenario s(cfg.bytes().c_str());
    s.step([] { EXPECT_EQ(headless_system().message_boxes.size(), 1u); });
    click_entry(s, 4);
    s.run();
    ASSERT_EQ(headless_system().message_boxes.size(), 1u);
    EXPECT_EQ(headless_system().message_boxes[0].caption, "Tarnwood");
    EXPECT_FALSE(headless_system().message_boxes[0].screen_open) << "the box shows before the display opens";
    EXPECT_EQ(headless_system().message_boxes[0].text,
              "Tarnwood wird mit folgender Konfiguration ausgef\xC3\xBChrt:\n\nAufl\xC3\xB6sung:\t\t1024x768\n"
              "Farbtiefe:\t\t\t32\nBildwiederholung:\t\t75\nVertikal-Blank-Sync:\t\t1");
}

TEST(MenuSettings, AnUnsupportedSizeShowsABlackBackdropAndOnlyEscapeWorks) {
    Settings cfg;
    cfg.width = 1600;
    cfg.height = 900;
    Scenario s(cfg.bytes().c_str());
    s.idle(3);
    s.step([] {
        const HeadlessVideoFrame* f = headless_video_frame(0);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->width, 1600);
        EXPECT_EQ(f->pixel(800, 450), 0u) << "black where the picture would be";
        EXPECT_EQ(f->pixel(1500, 300), 0u);
        // The pointer ring around its start, 20 above the bottom centre: top edge red, inside filled.
        EXPECT_EQ(f->pixel(800, 880 - 6), 0xFF0000u);
        EXPECT_EQ(f->pixel(800, 880), 0x786464u);
        // The version line's ink, bottom right, ends in the 10 pixels above the bottom margin of 10.
        int32_t bottom = 0;
        for (int32_t y = 800; y < 900; y++)
            for (int32_t x = 1200; x < 1600; x++)
                if (f->pixel(x, y)) bottom = std::max(bottom, y);
        EXPECT_TRUE(bottom >= 880 && bottom < 890) << bottom;
    });
    // The entries are all centred on the top-left corner: a click there or anywhere selects nothing.
    s.move_to(0, 0);
    s.click();
    s.idle(2);
    s.move_to(800, 450);
    s.click();
    s.idle(2);
    expect_page(s, PAGE_MAIN, "nothing clickable");
    s.key_tap(SCAN_ESCAPE);
    s.run();
    EXPECT_FALSE(s.guard_used);
    EXPECT_EQ(s.script_left, 0u);
}
