// The menu as the player drives it: every page reached by clicks, every page transition, Escape on
// every page, and the rules of the click (captions, edges, press here and release there, a click
// against an Escape in the same frame, a held button).
#include <map>
#include <queue>
#include <vector>

#include "game/menu/pages.h"
#include "support/scenario.h"

namespace {
// Where each page's entries lead, by index; -1 for entries that do not change the page by
// themselves (settings, Quit).
const std::vector<std::vector<int>> kNext = {
    /* 0 main */ {1, 2, 3, 21, -1},
    /* 1 new game */ {0},
    /* 2 load game */ {0},
    /* 3 options */ {4, 13, 16, 19, 0},
    /* 4 controls */ {13, 16, 19, 5, 6, 7, 8, 9, 10, 11, 12, 0},
    /* 5 forward */ {13, 16, 19, 6, 7, 8, 9, 10, 11, 12, 0},
    /* 6 backward */ {13, 16, 19, 5, 7, 8, 9, 10, 11, 12, 0},
    /* 7 left */ {13, 16, 19, 5, 6, 8, 9, 10, 11, 12, 0},
    /* 8 right */ {13, 16, 19, 5, 6, 7, 9, 10, 11, 12, 0},
    /* 9 jump */ {13, 16, 19, 5, 6, 7, 8, 10, 11, 12, 0},
    /* 10 journal */ {13, 16, 19, 5, 6, 7, 8, 9, 11, 12, 0},
    /* 11 map */ {13, 16, 19, 5, 6, 7, 8, 9, 10, 12, 0},
    /* 12 screenshot */ {13, 16, 19, 5, 6, 7, 8, 9, 10, 11, 0},
    /* 13 gameplay */ {4, 16, 19, 14, 15, 0},
    /* 14 language */ {4, 16, 19, 15, -1, -1, 0},
    /* 15 menu info */ {4, 16, 19, 14, -1, -1, 0},
    /* 16 graphics */ {4, 13, 19, 17, 18, 0},
    /* 17 resolution */ {4, 13, 19, 18, -1, -1, -1, -1, 0},
    /* 18 refresh */ {4, 13, 19, 17, -1, -1, -1, 0},
    /* 19 audio */ {4, 13, 16, 20, 0},
    /* 20 music */ {4, 13, 16, -1, -1, 0},
    /* 21 credits */ {0},
};
const int kEscape[PAGE_COUNT] = {4, 0, 0, 4, 11, 10, 10, 10, 10, 10, 10, 10, 10, 5, 6, 6, 5, 8, 7, 4, 5, 0};

// The clicks (page, entry) that lead from one page to another, shortest first.
std::vector<std::pair<int, int>> path(int from, int to) {
    std::map<int, std::pair<int, int>> came;  // page -> (previous page, entry)
    std::queue<int> open;
    open.push(from);
    came[from] = {-1, -1};
    while (!open.empty()) {
        int page = open.front();
        open.pop();
        if (page == to) break;
        for (int i = 0; i < int(kNext[page].size()); i++) {
            int next = kNext[page][i];
            if (next >= 0 && !came.count(next)) {
                came[next] = {page, i};
                open.push(next);
            }
        }
    }
    std::vector<std::pair<int, int>> clicks;
    if (!came.count(to)) {
        ADD_FAILURE() << "page " << to << " cannot be reached from " << from;
        return clicks;
    }
    for (int page = to; page != from; page = came[page].first) clicks.insert(clicks.begin(), {came[page].first, came[page].second});
    return clicks;
}

// Clicks entry `index` of the page shown, at the centre of its rectangle as laid out now.
void click_entry(Scenario& s, int index) {
    s.step([index] {
        const PageItem& item = menu_pages[game.menu_state].entries[index];
        ButtonRect r = game.*(item.name->rect);
        if (item.fixed_height) r.h = item.fixed_height;
        auto c = centre(r);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.idle(1);
    s.click();
}

// Clicks an entry and lets the page change settle.
void choose(Scenario& s, int index) {
    click_entry(s, index);
    s.idle(2);
}

void expect_page(Scenario& s, int page, const std::string& what) {
    s.step([page, what] { EXPECT_EQ(game.menu_state, page) << what; });
}

void go(Scenario& s, int from, int to) {
    for (auto [page, entry] : path(from, to)) {
        choose(s, entry);
        expect_page(s, kNext[page][entry], "on the way");
    }
}
}  // namespace

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
    // On the top-left corner and one past the right edge of an entry: outside.
    for (int corner = 0; corner < 2; corner++) {
        s.step([corner] {
            const ButtonRect& r = game.rect_gameplay;
            int32_t x = corner ? r.x + r.w : r.x, y = corner ? r.y + r.h / 2 : r.y;
            headless_input_motion(x - mouse_x(), y - mouse_y());
        });
        s.idle(1);
        s.click();
        s.idle(2);
        expect_page(s, PAGE_CONTROLS, "edge click");
    }
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
    go(s, PAGE_LANGUAGE, PAGE_MAIN);
    click_entry(s, 4);
    s.run();
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
