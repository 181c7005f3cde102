// A preload library for measuring the real program from outside, with SDL's dummy drivers (which
// have neither a screen to watch nor input). Loaded with LD_PRELOAD, it wraps SDL_RenderPresent,
// the last call of every presented frame, and acts on a few environment variables of its own:
//   TARNWOOD_SCRIPT_PRESENT_FD=n  write the CLOCK_MONOTONIC time of the first present (ns, decimal)
//                                 to descriptor n, then end the process at once (_exit(0));
//   TARNWOOD_SCRIPT_KEYS=list     key events injected into SDL's queue after given presents, as
//                                 "frame:scancode:d|u" items separated by commas (SDL scancodes,
//                                 e.g. 69 F12, 41 Escape), which the program reads as typed keys;
//   TARNWOOD_SCRIPT_TIMES=path    a log of CLOCK_MONOTONIC times (ns): "P t" for every present (when
//                                 SDL_RenderPresent returns), "K t" when the program takes an F12
//                                 release from SDL's queue, "F t name" when a file is complete: a
//                                 C stream closed (fclose) or a file renamed into place (rename).
// The dummy video driver gives no window the keyboard focus; while keys are scripted,
// SDL_GetKeyboardFocus answers the program's window, as a focused window would.
// Relies on: SDL2 and the C library (the real functions found with dlsym RTLD_NEXT).
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

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
    int times_fd = -1;
    std::vector<KeyStep> keys;
    long presents = 0;
    Script() {
        if (const char* fd = std::getenv("TARNWOOD_SCRIPT_PRESENT_FD")) present_fd = std::atoi(fd);
        if (const char* path = std::getenv("TARNWOOD_SCRIPT_TIMES"))
            times_fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
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

// Never destroyed: the C library's wrappers below may run during the process's exit.
Script& script() {
    static Script* s = new Script;
    return *s;
}

long long monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// One line of the times log; each is a single write, so lines of several threads stay whole.
void log_time(char kind, const char* name = nullptr) {
    Script& s = script();
    if (s.times_fd < 0) return;
    char line[4200];
    int n = name ? std::snprintf(line, sizeof line, "%c %lld %s\n", kind, monotonic_ns(), name)
                 : std::snprintf(line, sizeof line, "%c %lld\n", kind, monotonic_ns());
    if (n <= 0) return;
    [[maybe_unused]] ssize_t done = write(s.times_fd, line, std::min<size_t>(size_t(n), sizeof line - 1));
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
        dprintf(s.present_fd, "%lld\n", monotonic_ns());
        _exit(0);
    }
    log_time('P');
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

extern "C" int SDL_PeepEvents(SDL_Event* events, int count, SDL_eventaction action, Uint32 min_type,
                              Uint32 max_type) {
    static auto next = real<int (*)(SDL_Event*, int, SDL_eventaction, Uint32, Uint32)>("SDL_PeepEvents");
    int n = next(events, count, action, min_type, max_type);
    if (action == SDL_GETEVENT && events && script().times_fd >= 0)
        for (int i = 0; i < n; i++)
            if (events[i].type == SDL_KEYUP && events[i].key.keysym.scancode == SDL_SCANCODE_F12) log_time('K');
    return n;
}

extern "C" int fclose(FILE* stream) {
    static auto next = real<int (*)(FILE*)>("fclose");
    char name[4096] = "";
    if (stream && script().times_fd >= 0) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
        ssize_t n = readlink(link, name, sizeof name - 1);
        name[n > 0 ? n : 0] = 0;
    }
    int result = next(stream);
    if (name[0]) log_time('F', name);
    return result;
}

extern "C" int rename(const char* from, const char* to) {
    static auto next = real<int (*)(const char*, const char*)>("rename");
    int result = next(from, to);
    if (result == 0) log_time('F', to);
    return result;
}
