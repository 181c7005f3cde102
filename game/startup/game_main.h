// The program's entry and exit: the start-up order, the defaults, the device initialisations with
// their start-up messages, and the shutdown order.
// Relies on: game_state.h and every runtime library's initialisation and release.
#pragma once

void menu_main_loop();

// Runs start-up, the main loop and shutdown, and returns the exit code: 0, or non-zero when the
// main loop ended on a display that could not open (GameState::exit_code). Tests call
// this in-process, and those about start-up and shutdown alone give a main loop of their own;
// the program ends the process on its result through game_main.
int game_run(void (*main_loop)() = menu_main_loop);
[[noreturn]] void game_main();

void game_init_state();
void game_init_devices();
void game_error_message(const char16_t* text);
void game_shutdown();
// Claims the folder the game works in for this process (one game per folder); false when another
// game runs there: game_run then ends at once with exit code 0.
bool game_claim_instance();
