// SDL as a reference-counted service: started by its first user, stopped after its last release.
// SDL's own SIGINT/SIGTERM handlers stay off, so Ctrl-C and kill end the program even though its
// window ignores close requests. Relies on: SDL2.
#pragma once
#include <cstdint>

// subsystems: SDL_INIT_* flags. Returns 1 when they are running.
int sdl_service_acquire(uint32_t subsystems);
void sdl_service_release(uint32_t subsystems);
