// A preload library for measuring the real program from outside, with SDL's dummy drivers (which
// have neither a screen to watch nor input). Loaded with LD_PRELOAD, it wraps SDL_RenderPresent
// (the last call of a presented frame; the first frame is always presented, later frames only
// when they change) and SDL_PumpEvents (called in every frame), and acts on a few environment
// variables of its own:
//   TARNWOOD_SCRIPT_PRESENT_FD=n  write the CLOCK_MONOTONIC time of the first present (ns, decimal)
//                                 to descriptor n, then end the process at once (_exit(0));
//   TARNWOOD_SCRIPT_KEYS=list     key events injected into SDL's queue at given times after the
//                                 first present, as "ms:scancode:d|u" items separated by commas
//                                 (SDL scancodes, e.g. 69 F12, 41 Escape), which the program reads
//                                 as typed keys; a press and its release must lie more than a
//                                 frame apart to be seen (a late event delays the ones after it).
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
    long at_ms;  // after the first present
    int scancode;
    bool down;
};

struct Script {
    int present_fd = -1;
    std::vector<KeyStep> keys;
    size_t keys_sent = 0;
    long presents = 0;
    long long first_present_ns = 0;
    long long last_push_ms = 0;  // when the last key event was pushed, after the first present
    Script() {
        if (const char* fd = std::getenv("TARNWOOD_SCRIPT_PRESENT_FD")) present_fd = std::atoi(fd);
        if (const char* list = std::getenv("TARNWOOD_SCRIPT_KEYS")) {
            const char* p = list;
            while (*p) {
                long at_ms;
                int scancode, used = 0;
                char kind;
                if (std::sscanf(p, "%ld:%d:%c%n", &at_ms, &scancode, &kind, &used) != 3) break;
                keys.push_back({at_ms, scancode, kind == 'd'});
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

long long monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Pushes the scripted key events whose time has come, in their order. An event late because the
// program was busy (a screenshot being written) keeps its distance to the next: that one is due
// as long after the late push as the script puts it after the event, so a press and its release
// never arrive together.
void push_due_keys() {
    Script& s = script();
    if (s.presents == 0) return;
    long long elapsed_ms = (monotonic_ns() - s.first_present_ns) / 1000000LL;
    while (s.keys_sent < s.keys.size()) {
        size_t i = s.keys_sent;
        long long due = i == 0 ? s.keys[0].at_ms : s.last_push_ms + (s.keys[i].at_ms - s.keys[i - 1].at_ms);
        if (due > elapsed_ms) break;
        s.last_push_ms = elapsed_ms;
        const KeyStep& k = s.keys[s.keys_sent++];
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
}  // namespace

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    static auto next = real<void (*)(SDL_Renderer*)>("SDL_RenderPresent");
    next(renderer);
    Script& s = script();
    if (s.presents++ > 0) return;
    s.first_present_ns = monotonic_ns();
    if (s.present_fd >= 0) {
        dprintf(s.present_fd, "%lld\n", s.first_present_ns);
        _exit(0);
    }
}

extern "C" void SDL_PumpEvents(void) {
    static auto next = real<void (*)()>("SDL_PumpEvents");
    next();
    push_due_keys();
}

extern "C" SDL_Window* SDL_GetKeyboardFocus(void) {
    static auto next = real<SDL_Window* (*)()>("SDL_GetKeyboardFocus");
    SDL_Window* focus = next();
    if (focus || script().keys.empty()) return focus;
    return program_window();
}
