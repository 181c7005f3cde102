// The Tarnwood executable: runs the game on the SDL backend and ends with its exit code.
// Relies on: game_main.h, start_folder.h (the folder it works in), the SDL backend.
#include "game/startup/game_main.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/start_folder.h"

extern const PlatformBackend sdl_backend;

int main() {
    start_folder_settle();  // the folder holding Files/, before anything reads the settings
    platform_use_backend(&sdl_backend);
    game_main();
}
