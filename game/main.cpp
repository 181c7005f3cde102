// The Tarnwood executable: runs the game on the SDL backend and ends with its exit code.
// Relies on: game_main.h, the SDL backend.
#include "game/startup/game_main.h"
#include "runtime/platform/system/backend.h"

extern const PlatformBackend sdl_backend;

int main() {
    platform_use_backend(&sdl_backend);
    game_main();
}
