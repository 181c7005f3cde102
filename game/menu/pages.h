// The page table of the menu: for each page its captions, its entries (index order, name and
// style) and the entry that Escape picks; and each entry name's text slot and rectangle.
// Relies on: game_state.h.
#pragma once
#include <cstdint>

#include "game/startup/game_state.h"

enum EntryStyle : int32_t {
    STYLE_CAPTION = 0,  // white text, not selectable
    STYLE_BUTTON = 1,   // framed button (B)
    STYLE_ENTRY = 2,    // plain entry (E), white while the pointer is over it
};

// Where an entry name's text and rectangle live in GameState.
struct EntryName {
    char16_t* GameState::*text;
    ButtonRect GameState::*rect;
};

struct PageItem {
    const EntryName* name;
    int32_t style;
    int32_t fixed_height;  // 0: the rectangle's own height
};

constexpr int kMaxCaptions = 3;
constexpr int kMaxEntries = 12;

struct PageDef {
    PageItem captions[kMaxCaptions];
    int32_t caption_count;
    PageItem entries[kMaxEntries];
    int32_t entry_count;
    int32_t escape_index;
};

extern const PageDef menu_pages[PAGE_COUNT];
