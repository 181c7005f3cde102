// The Tarnwood program for Windows: runs the game on the Win32 backend and ends with its exit code.
// The Linux twin is main.cpp.
// Relies on: game_main.h, start_folder.h (the folder it works in), the Win32 backend.
#include "game/startup/game_main.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/start_folder.h"

extern const PlatformBackend win32_backend;

int main() {
    start_folder_settle();  // the folder holding Files/, before anything reads the settings
    platform_use_backend(&win32_backend);
    game_main();
}
