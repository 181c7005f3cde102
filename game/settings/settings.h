// Loading the settings file "Files\Tarnwood.cfg" into GameState at start-up: every group, key and
// default of the file, the rewrite of "PathMain" and "Version" when they differ from the running
// program, and the translation of the screenshot key's name into a keyboard code.
// Relies on: game_state.h, the preferences store (prefs.h), strings.h.
#pragma once
#include <cstdint>

// The settings file, relative to the working folder; every access opens, selects, reads or
// writes, and closes it again, and is skipped when prefs_open returns 0.
extern const char16_t* const SETTINGS_FILE;

void game_load_settings();

// The keyboard code the screenshot key name selects: "F1".."F12" or "f1".."f12", else F12 (88).
int32_t game_screenshot_key_code(const char16_t* name);
