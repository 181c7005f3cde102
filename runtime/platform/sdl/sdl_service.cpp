// Reference-counted SDL start and stop. Relies on: SDL2.
#include "runtime/platform/sdl/sdl_service.h"

#include <SDL.h>

namespace {
int users = 0;
}

int sdl_service_acquire(uint32_t subsystems) {
    if (users == 0) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_Init(0) != 0) return 0;
    }
    if (subsystems && SDL_InitSubSystem(subsystems) != 0) {
        if (users == 0) SDL_Quit();
        return 0;
    }
    users++;
    return 1;
}

void sdl_service_release(uint32_t subsystems) {
    if (users == 0) return;
    if (subsystems) SDL_QuitSubSystem(subsystems);
    if (--users == 0) SDL_Quit();
}
