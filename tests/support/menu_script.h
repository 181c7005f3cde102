// Menu scripts for scenario tests: the expected page transitions, the shortest click path between
// two pages, and steps that click an entry of the page shown at its centre.
#pragma once
#include <map>
#include <queue>
#include <string>
#include <vector>

#include "game/menu/pages.h"
#include "support/scenario.h"

// Where each page's entries lead, by index; -1 for entries that do not change the page by
// themselves (settings, Quit).
inline const std::vector<std::vector<int>> kNext = {
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
inline const int kEscape[PAGE_COUNT] = {4, 0, 0, 4, 11, 10, 10, 10, 10, 10, 10, 10, 10, 5, 6, 6, 5, 8, 7, 4, 5, 0};

// The clicks (page, entry) that lead from one page to another, shortest first.
inline std::vector<std::pair<int, int>> path(int from, int to) {
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

// Clicks entry `index` of the page shown, at the centre of its rectangle as laid out now. When the
// menu shows a page without that entry (a fault took it elsewhere), the test fails here instead of
// reading past the page's entries.
inline void click_entry(Scenario& s, int index) {
    s.step([index] {
        int page = game.menu_state;
        if (page < 0 || page >= PAGE_COUNT || index < 0 || index >= menu_pages[page].entry_count) {
            ADD_FAILURE() << "entry " << index << " to click, but the menu shows page " << page;
            return;
        }
        const PageItem& item = menu_pages[page].entries[index];
        ButtonRect r = game.*(item.name->rect);
        if (item.fixed_height) r.h = item.fixed_height;
        auto c = centre(r);
        headless_input_motion(c.first - mouse_x(), c.second - mouse_y());
    });
    s.idle(1);
    s.click();
}

// Clicks an entry and lets the page change settle.
inline void choose(Scenario& s, int index) {
    click_entry(s, index);
    s.idle(2);
}

inline void expect_page(Scenario& s, int page, const std::string& what) {
    s.step([page, what] { EXPECT_EQ(game.menu_state, page) << what; });
}

inline void go(Scenario& s, int from, int to) {
    for (auto [page, entry] : path(from, to)) {
        choose(s, entry);
        expect_page(s, kNext[page][entry], "on the way");
    }
}
