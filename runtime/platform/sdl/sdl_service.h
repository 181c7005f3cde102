// SDL as a reference-counted service: started by its first user, stopped after its last release.
// SDL's own SIGINT/SIGTERM handlers stay off, so Ctrl-C and kill end the program even though its
// window ignores close requests. Also the layout of a message box's text. Relies on: SDL2.
#pragma once
#include <cstdint>
#include <string>

// subsystems: SDL_INIT_* flags. Returns 1 when they are running.
int sdl_service_acquire(uint32_t subsystems);
void sdl_service_release(uint32_t subsystems);

// The text as SDL's message box shows it: each line's tab run replaced by spaces up to one common
// column, so that the values of a message line up in the box's fixed-width font.
std::string sdl_box_text(const char* text);
