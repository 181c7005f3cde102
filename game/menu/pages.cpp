// The menu's page table as data: captions, entries with their index and style, and the Escape
// entry of each page; each entry name resolves to its text slot (txt_ or lbl_) and its rectangle.
// Relies on: pages.h, game_state.h.
#include "game/menu/pages.h"

namespace {
const EntryName n_new_game = {&GameState::txt_new_game, &GameState::rect_new_game};
const EntryName n_load_game = {&GameState::txt_load_game, &GameState::rect_load_game};
const EntryName n_options = {&GameState::txt_options, &GameState::rect_options};
const EntryName n_credits = {&GameState::txt_credits, &GameState::rect_credits};
const EntryName n_quit = {&GameState::txt_quit, &GameState::rect_quit};
const EntryName n_back = {&GameState::txt_back, &GameState::rect_back};
const EntryName n_controls = {&GameState::txt_controls, &GameState::rect_controls};
const EntryName n_gameplay = {&GameState::txt_gameplay, &GameState::rect_gameplay};
const EntryName n_graphics = {&GameState::txt_graphics, &GameState::rect_graphics};
const EntryName n_audio = {&GameState::txt_audio, &GameState::rect_audio};
const EntryName n_forward = {&GameState::txt_forward, &GameState::rect_forward};
const EntryName n_forward_key = {&GameState::txt_forward_key, &GameState::rect_forward_key};
const EntryName n_backward = {&GameState::txt_backward, &GameState::rect_backward};
const EntryName n_backward_key = {&GameState::txt_backward_key, &GameState::rect_backward_key};
const EntryName n_left = {&GameState::txt_left, &GameState::rect_left};
const EntryName n_left_key = {&GameState::txt_left_key, &GameState::rect_left_key};
const EntryName n_right = {&GameState::txt_right, &GameState::rect_right};
const EntryName n_right_key = {&GameState::txt_right_key, &GameState::rect_right_key};
const EntryName n_jump = {&GameState::txt_jump, &GameState::rect_jump};
const EntryName n_jump_key = {&GameState::txt_jump_key, &GameState::rect_jump_key};
const EntryName n_journal = {&GameState::txt_journal, &GameState::rect_journal};
const EntryName n_journal_key = {&GameState::txt_journal_key, &GameState::rect_journal_key};
const EntryName n_map = {&GameState::txt_map, &GameState::rect_map};
const EntryName n_map_key = {&GameState::txt_map_key, &GameState::rect_map_key};
const EntryName n_screenshot = {&GameState::txt_screenshot, &GameState::rect_screenshot};
const EntryName n_screenshot_key = {&GameState::txt_screenshot_key, &GameState::rect_screenshot_key};
const EntryName n_language = {&GameState::txt_language, &GameState::rect_language};
const EntryName n_german = {&GameState::txt_german, &GameState::rect_german};
const EntryName n_english = {&GameState::txt_english, &GameState::rect_english};
const EntryName n_menu_info = {&GameState::txt_menu_info, &GameState::rect_menu_info};
const EntryName n_menu_info_on = {&GameState::txt_menu_info_on, &GameState::rect_menu_info_on};
const EntryName n_menu_info_off = {&GameState::txt_menu_info_off, &GameState::rect_menu_info_off};
const EntryName n_resolution = {&GameState::txt_resolution, &GameState::rect_resolution};
const EntryName n_refresh = {&GameState::txt_refresh, &GameState::rect_refresh};
const EntryName n_res_800x600 = {&GameState::lbl_res_800x600, &GameState::rect_res_800x600};
const EntryName n_res_1024x768 = {&GameState::lbl_res_1024x768, &GameState::rect_res_1024x768};
const EntryName n_res_1280x720 = {&GameState::lbl_res_1280x720, &GameState::rect_res_1280x720};
const EntryName n_res_1280x1024 = {&GameState::lbl_res_1280x1024, &GameState::rect_res_1280x1024};
const EntryName n_hz_60 = {&GameState::lbl_hz_60, &GameState::rect_hz_60};
const EntryName n_hz_75 = {&GameState::lbl_hz_75, &GameState::rect_hz_75};
const EntryName n_hz_85 = {&GameState::lbl_hz_85, &GameState::rect_hz_85};
const EntryName n_music = {&GameState::txt_music, &GameState::rect_music};
const EntryName n_music_on = {&GameState::txt_music_on, &GameState::rect_music_on};
const EntryName n_music_off = {&GameState::txt_music_off, &GameState::rect_music_off};

constexpr int32_t C = STYLE_CAPTION, B = STYLE_BUTTON, E = STYLE_ENTRY;
}  // namespace

// Index order matters: it is the value menu_run_page returns for a click on the entry.
// The main menu's entries 1 to 4 are drawn 30 pixels high; entry 0 takes its rectangle's height.
const PageDef menu_pages[PAGE_COUNT] = {
    // PAGE_MAIN
    {{}, 0,
     {{&n_new_game, B, 0}, {&n_load_game, B, 30}, {&n_options, B, 30}, {&n_credits, B, 30},
      {&n_quit, B, 30}},
     5, 4},
    // PAGE_NEW_GAME
    {{}, 0,
     {{&n_back, B, 0}},
     1, 0},
    // PAGE_LOAD_GAME
    {{}, 0,
     {{&n_back, B, 0}},
     1, 0},
    // PAGE_OPTIONS
    {{}, 0,
     {{&n_controls, E, 0}, {&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0},
      {&n_back, B, 0}},
     5, 4},
    // PAGE_CONTROLS
    {{{&n_controls, C, 0}}, 1,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_left, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0},
      {&n_journal, E, 0}, {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     12, 11},
    // PAGE_KEY_FORWARD
    {{{&n_controls, C, 0}, {&n_forward, C, 0}, {&n_forward_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_backward, E, 0},
      {&n_left, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0}, {&n_journal, E, 0},
      {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_BACKWARD
    {{{&n_controls, C, 0}, {&n_backward, C, 0}, {&n_backward_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_left, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0}, {&n_journal, E, 0},
      {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_LEFT
    {{{&n_controls, C, 0}, {&n_left, C, 0}, {&n_left_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0}, {&n_journal, E, 0},
      {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_RIGHT
    {{{&n_controls, C, 0}, {&n_right, C, 0}, {&n_right_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_left, E, 0}, {&n_jump, E, 0}, {&n_journal, E, 0},
      {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_JUMP
    {{{&n_controls, C, 0}, {&n_jump, C, 0}, {&n_jump_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_left, E, 0}, {&n_right, E, 0}, {&n_journal, E, 0},
      {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_JOURNAL
    {{{&n_controls, C, 0}, {&n_journal, C, 0}, {&n_journal_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_left, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0},
      {&n_map, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_MAP
    {{{&n_controls, C, 0}, {&n_map, C, 0}, {&n_map_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_left, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0},
      {&n_journal, E, 0}, {&n_screenshot, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_KEY_SCREENSHOT
    {{{&n_controls, C, 0}, {&n_screenshot, C, 0}, {&n_screenshot_key, C, 0}}, 3,
     {{&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_forward, E, 0},
      {&n_backward, E, 0}, {&n_left, E, 0}, {&n_right, E, 0}, {&n_jump, E, 0},
      {&n_journal, E, 0}, {&n_map, E, 0}, {&n_back, B, 0}},
     11, 10},
    // PAGE_GAMEPLAY
    {{{&n_gameplay, C, 0}}, 1,
     {{&n_controls, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_language, E, 0},
      {&n_menu_info, E, 0}, {&n_back, B, 0}},
     6, 5},
    // PAGE_LANGUAGE
    {{{&n_gameplay, C, 0}, {&n_language, C, 0}}, 2,
     {{&n_controls, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_menu_info, E, 0},
      {&n_german, E, 0}, {&n_english, E, 0}, {&n_back, B, 0}},
     7, 6},
    // PAGE_MENU_INFO
    {{{&n_gameplay, C, 0}, {&n_menu_info, C, 0}}, 2,
     {{&n_controls, E, 0}, {&n_graphics, E, 0}, {&n_audio, E, 0}, {&n_language, E, 0},
      {&n_menu_info_on, E, 0}, {&n_menu_info_off, E, 0}, {&n_back, B, 0}},
     7, 6},
    // PAGE_GRAPHICS
    {{{&n_graphics, C, 0}}, 1,
     {{&n_controls, E, 0}, {&n_gameplay, E, 0}, {&n_audio, E, 0}, {&n_resolution, E, 0},
      {&n_refresh, E, 0}, {&n_back, B, 0}},
     6, 5},
    // PAGE_RESOLUTION
    {{{&n_graphics, C, 0}, {&n_resolution, C, 0}}, 2,
     {{&n_controls, E, 0}, {&n_gameplay, E, 0}, {&n_audio, E, 0}, {&n_refresh, E, 0},
      {&n_res_800x600, E, 0}, {&n_res_1024x768, E, 0}, {&n_res_1280x720, E, 0}, {&n_res_1280x1024, E, 0},
      {&n_back, B, 0}},
     9, 8},
    // PAGE_REFRESH
    {{{&n_graphics, C, 0}, {&n_refresh, C, 0}}, 2,
     {{&n_controls, E, 0}, {&n_gameplay, E, 0}, {&n_audio, E, 0}, {&n_resolution, E, 0},
      {&n_hz_60, E, 0}, {&n_hz_75, E, 0}, {&n_hz_85, E, 0}, {&n_back, B, 0}},
     8, 7},
    // PAGE_AUDIO
    {{{&n_audio, C, 0}}, 1,
     {{&n_controls, E, 0}, {&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_music, E, 0},
      {&n_back, B, 0}},
     5, 4},
    // PAGE_MUSIC
    {{{&n_audio, C, 0}, {&n_music, C, 0}}, 2,
     {{&n_controls, E, 0}, {&n_gameplay, E, 0}, {&n_graphics, E, 0}, {&n_music_on, E, 0},
      {&n_music_off, E, 0}, {&n_back, B, 0}},
     6, 5},
    // PAGE_CREDITS
    {{}, 0,
     {{&n_back, B, 0}},
     1, 0},
};
