// The menu as the player drives it: every page reached by clicks, every page transition, Escape on
// every page, and the rules of the click (captions, edges, press here and release there, a click
// against an Escape in the same frame, a held button).
#include <map>
#include <queue>
#include <vector>

#include "support/menu_script.h"


TEST(MenuNavigation, EveryPageAndEveryTransitionByClicks) {
    Scenario s;
    int at = PAGE_MAIN;
    int transitions = 0;
    for (int page = 0; page < PAGE_COUNT; page++) {
        for (int entry = 0; entry < int(kNext[page].size()); entry++) {
            int next = kNext[page][entry];
            if (next < 0) continue;
            go(s, at, page);
            choose(s, entry);
            expect_page(s, next, "page " + std::to_string(page) + " entry " + std::to_string(entry));
            at = next;
            transitions++;
        }
    }
    EXPECT_GT(transitions, 130);
    go(s, at, PAGE_MAIN);
    click_entry(s, 4);  // Quit
    EXPECT_EQ(s.run(), 0);
    EXPECT_FALSE(s.guard_used);
    EXPECT_EQ(s.script_left, 0u);
}

TEST(MenuNavigation, EscapeGivesEachPagesEscapeEntry) {
    Scenario s;
    int at = PAGE_MAIN;
    for (int page = 1; page < PAGE_COUNT; page++) {
        go(s, at, page);
        s.key_tap(SCAN_ESCAPE);
        s.idle(2);
        int next = kNext[page][kEscape[page]];
        expect_page(s, next, "Escape on page " + std::to_string(page));
        at = next;
    }
    go(s, at, PAGE_MAIN);
    s.key_tap(SCAN_ESCAPE);  // on the main page: Quit
    EXPECT_EQ(s.run(), 0);
    EXPECT_FALSE(s.guard_used);
    EXPECT_EQ(s.script_left, 0u);
}

TEST(MenuNavigation, QuitEndsAtOnceWithoutAFurtherFrameOrWrite) {
    const char* settings = "[Screen]\r\nScreenW = 1024\r\n";
    for (bool by_escape : {false, true}) {
        Scenario s(settings);
        uint32_t presented_at_choice = 0;
        if (by_escape) {
            s.idle(2);
            s.key_tap(SCAN_ESCAPE);
        } else {
            click_entry(s, 4);
        }
        // Recorded at the pump of the frame in which the choice was made.
        s.step([&] { presented_at_choice = headless_video().presented; });
        s.run();
        EXPECT_FALSE(s.guard_used);
        // The step above never ran when the program had already ended: then no frame followed the choice.
        EXPECT_EQ(s.script_left, 0u) << "the program ended before the choice";
        EXPECT_NE(presented_at_choice, 0u);
        // The pump runs before the present of its frame: the choosing frame is the last one shown.
        EXPECT_EQ(headless_video().presented, presented_at_choice + 1) << "a frame after the choice";
        EXPECT_NE(s.settings().find("ScreenW = 1024\r\n"), std::string::npos);
        EXPECT_EQ(s.settings().substr(0, 3), "\xEF\xBB\xBF") << "start-up writes PathMain and Version";
    }
}

TEST(MenuNavigation, CaptionsEdgesAndHeldButtonsSelectNothing) {
    Scenario s;
    // The first frame shows the picture at its own size, the zoom applies from the second on.
    s.idle(4);
    s.step([] {
        std::vector<const HeadlessVideoFrame*> kept;  // oldest first
        for (size_t back = 4; back-- > 0;)
            if (const HeadlessVideoFrame* f = headless_video_frame(back)) kept.push_back(f);
        ASSERT_GE(kept.size(), 2u);
        ASSERT_EQ(kept[0]->sequence, 1u);
        EXPECT_NE(kept[0]->pixels, kept[1]->pixels);
    });
    go(s, PAGE_MAIN, PAGE_CONTROLS);
    // The page's own category is a caption: its click is swallowed.
    s.step([] {
        auto c = centre(game.rect_controls);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.idle(1);
    s.click();
    s.idle(2);
    expect_page(s, PAGE_CONTROLS, "caption click");
    // On the top-left corner, the left and the top edge, and one past the right edge of an entry:
    // outside.
    for (int point = 0; point < 4; point++) {
        s.step([point] {
            const ButtonRect& r = game.rect_gameplay;
            const int32_t xs[] = {r.x, r.x, r.x + r.w / 2, r.x + r.w}, ys[] = {r.y, r.y + r.h / 2, r.y, r.y + r.h / 2};
            headless_input_motion(xs[point] - mouse_x(), ys[point] - mouse_y());
        });
        s.idle(1);
        s.click();
        s.idle(2);
        expect_page(s, PAGE_CONTROLS, "edge click");
    }
    // A click that selected nothing is not kept: moving onto an entry afterwards selects nothing,
    // and the framed button under the pointer shows its light face.
    s.step([] {
        auto c = centre(game.rect_back);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.idle(2);
    s.step([] { EXPECT_EQ(headless_video_frame(0)->pixel(game.rect_back.x + 4, game.rect_back.y + 4), 0xFAFAFAu); });
    expect_page(s, PAGE_CONTROLS, "moved onto an entry after a click outside");
    // Held over an entry for many frames: nothing happens until the release.
    choose(s, 0);  // moves and clicks Gameplay: leads to page 13
    expect_page(s, PAGE_GAMEPLAY, "plain click");
    s.step([] {
        auto c = centre(game.rect_language);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.step([] { headless_input_button(0, true); });
    s.idle(30);
    expect_page(s, PAGE_GAMEPLAY, "held button");
    s.step([] { headless_input_button(0, false); });
    s.idle(3);
    expect_page(s, PAGE_LANGUAGE, "release after a long hold");
    // The audio and music pages show the same hint line under the title.
    std::vector<uint32_t> hints[2];
    for (int page : {PAGE_AUDIO, PAGE_MUSIC}) {
        go(s, page == PAGE_AUDIO ? PAGE_LANGUAGE : PAGE_AUDIO, page);
        s.step([&hints, page] {
            for (int32_t y = 100; y < 118; y++)
                for (int32_t x = 0; x < 1024; x++) hints[page - PAGE_AUDIO].push_back(headless_video_frame(0)->pixel(x, y));
        });
    }
    go(s, PAGE_MUSIC, PAGE_MAIN);
    click_entry(s, 4);
    s.run();
    EXPECT_EQ(hints[0], hints[1]);
    EXPECT_FALSE(s.guard_used);
    EXPECT_EQ(s.script_left, 0u);
}

TEST(MenuNavigation, PressOnOneEntryReleaseOnAnotherSelectsTheLatter) {
    Scenario s;
    go(s, PAGE_MAIN, PAGE_OPTIONS);
    s.step([] {
        auto c = centre(game.rect_controls);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
        headless_input_button(0, true);
    });
    s.idle(3);
    s.step([] {
        auto c = centre(game.rect_audio);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.idle(2);
    s.step([] { headless_input_button(0, false); });
    s.idle(3);
    expect_page(s, PAGE_AUDIO, "release over Audio");
    s.run();
    EXPECT_EQ(s.script_left, 0u);
}

TEST(MenuNavigation, AClickBeatsAnEscapeInTheSameFrame) {
    Scenario s;
    go(s, PAGE_MAIN, PAGE_OPTIONS);
    s.step([] {
        auto c = centre(game.rect_graphics);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.step([] {
        headless_input_button(0, true);
        headless_input_key(SCAN_ESCAPE, true);
    });
    s.idle(2);
    s.step([] {
        headless_input_button(0, false);
        headless_input_key(SCAN_ESCAPE, false);
    });
    s.idle(3);
    expect_page(s, PAGE_GRAPHICS, "the click won");
    s.run();
    EXPECT_EQ(s.script_left, 0u);
}

TEST(MenuNavigation, AMenuAtRestLeavesThePresenterOnlyItsTextRowsToCompare) {
    // At rest every frame draws the same backdrop, texts and pointer: the presenter is told that
    // all rows but those the texts and the pointer wrote are unchanged, so it compares those alone.
    const std::pair<int32_t, int32_t> sizes[] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Scenario s(("[Screen]\r\nScreenW = " + std::to_string(w) + "\r\nScreenH = " + std::to_string(h) + "\r\n").c_str());
        constexpr int kResting = 30;
        uint64_t told_at_start = 0, told_at_end = 0;
        int32_t height = 0;
        s.idle(5);
        s.step([&] {
            told_at_start = headless_video().rows_told_unchanged;
            height = headless_video().screen_height;
        });
        s.idle(kResting - 1);
        s.step([&] { told_at_end = headless_video().rows_told_unchanged; });
        s.key_tap(SCAN_ESCAPE);
        EXPECT_EQ(s.run(), 0);
        EXPECT_EQ(height, h);
        double share = double(told_at_end - told_at_start) / (double(kResting) * h);
        EXPECT_GT(share, 0.8);  // 0.87 to 0.92 with the main page's five framed entries
    }
}
