// The menu front end: the main loop and its page state machine, the page loop with its entries and
// click handling, the backdrop with title, hint and information lines, and screenshots with their
// writer thread.
// Relies on: game_state.h (settings, texts, rectangles, menu state) and the media runtime
// (display, sprites, 3D sprites, drawing, input, sound, images, preferences, process start).
#pragma once
#include <cstdint>
#include <functional>

// The menu's numbered objects.
enum : intptr_t {
    SPRITE_TITLE = 0,
    SPRITE3D_TITLE = 1,
    SOUND_MUSIC = 6,
    SPRITE_POINTER = 7,
    SPRITE_SCREENSHOT = 8,
};

constexpr int32_t KEY_ESCAPE = 1;

void menu_main_loop();
// Opens the screen at the size in force and creates the menu's objects: the title picture
// (sprite 0), its 3D sprite (1), the music (sound 6) and the pointer (sprite 7). When the screen
// cannot open, tells the player which settings failed, sets the exit code and returns 0 (no
// object is made).
int menu_open_screen();
int32_t menu_run_page();
// One frame of the page `menu_state`: draws, presents, takes a screenshot when asked; returns the
// index chosen in this frame, or -1.
int32_t menu_page_frame();
int32_t menu_button(int32_t x, int32_t y, int32_t width, int32_t height, const char16_t* text, int32_t red,
                    int32_t green, int32_t blue, int32_t framed, int32_t hover_white);
void menu_update_click();

void menu_draw_background();
void menu_draw_header();
void menu_text(int32_t x, int32_t y, const char16_t* text, int32_t font, int32_t red, int32_t green, int32_t blue);

// Grabs the screen in the calling frame and hands the pixels to the screenshot writer.
void game_screenshot();
// After each frame: the page's writer compresses a slice of the screenshot in flight (nothing
// where a writer thread does the work).
void screenshot_advance();
// Returns once every screenshot taken so far is written (or has failed); before a restart.
void screenshot_wait_all();
// Removes the temporary files that screenshots of an earlier run left when it was killed while
// writing them; at the start of the menu.
void screenshot_remove_stale();
// Waits like screenshot_wait_all, then ends the writer thread; at shutdown.
void screenshot_shutdown();
// Screenshots taken but not yet written (0 to 2).
int screenshot_in_flight();

// Test controls of the screenshot writer.
struct ScreenshotWriterControl {
    bool hold = false;  // the writer starts no screenshot until released
    // Called on the game thread just before it waits for the writer (a third screenshot, a restart,
    // shutdown), with the number in flight; it may release a held writer.
    std::function<void(int in_flight)> on_wait;
};
void screenshot_writer_control(const ScreenshotWriterControl& control);
void screenshot_writer_hold(bool held);
