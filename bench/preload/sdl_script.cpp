// A preload library for measuring the real program from outside, with SDL's dummy drivers (which
// have neither a screen to watch nor input). Loaded with LD_PRELOAD, it wraps SDL_RenderPresent,
// the last call of every presented frame, and acts on a few environment variables of its own:
//   TARNWOOD_SCRIPT_PRESENT_FD=n  write the CLOCK_MONOTONIC time of the first present (ns, decimal)
//                                 to descriptor n, then end the process at once (_exit(0));
//   TARNWOOD_SCRIPT_KEYS=list     key events injected into SDL's queue after given presents, as
//                                 "frame:scancode:d|u" items separated by commas (SDL scancodes,
//                                 e.g. 69 F12, 41 Escape), which the program reads as typed keys.
// The dummy video driver gives no window the keyboard focus; while keys are scripted,
// SDL_GetKeyboardFocus answers the program's window, as a focused window would.
// Relies on: SDL2 (the real functions found with dlsym RTLD_NEXT).
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {
struct KeyStep {
    long frame;
    int scancode;
    bool down;
};

struct Script {
    int present_fd = -1;
    std::vector<KeyStep> keys;
    long presents = 0;
    Script() {
        if (const char* fd = std::getenv("TARNWOOD_SCRIPT_PRESENT_FD")) present_fd = std::atoi(fd);
        if (const char* list = std::getenv("TARNWOOD_SCRIPT_KEYS")) {
            const char* p = list;
            while (*p) {
                long frame;
                int scancode, used = 0;
                char kind;
                if (std::sscanf(p, "%ld:%d:%c%n", &frame, &scancode, &kind, &used) != 3) break;
                keys.push_back({frame, scancode, kind == 'd'});
                p += used;
                if (*p == ',') p++;
            }
        }
    }
};

Script& script() {
    static Script s;
    return s;
}

// The program's one window: the window with the lowest identifier.
SDL_Window* program_window() {
    for (Uint32 id = 1; id < 64; id++)
        if (SDL_Window* w = SDL_GetWindowFromID(id)) return w;
    return nullptr;
}

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    static auto next = real<void (*)(SDL_Renderer*)>("SDL_RenderPresent");
    next(renderer);
    Script& s = script();
    s.presents++;
    if (s.present_fd >= 0 && s.presents == 1) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        dprintf(s.present_fd, "%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        _exit(0);
    }
    for (const KeyStep& k : s.keys) {
        if (k.frame != s.presents) continue;
        SDL_Event e = {};
        e.type = k.down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = k.down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = static_cast<SDL_Scancode>(k.scancode);
        e.key.timestamp = SDL_GetTicks();
        SDL_Window* w = program_window();
        e.key.windowID = w ? SDL_GetWindowID(w) : 0;
        SDL_PushEvent(&e);
    }
}

extern "C" SDL_Window* SDL_GetKeyboardFocus(void) {
    static auto next = real<SDL_Window* (*)()>("SDL_GetKeyboardFocus");
    SDL_Window* focus = next();
    if (focus || script().keys.empty()) return focus;
    return program_window();
}
