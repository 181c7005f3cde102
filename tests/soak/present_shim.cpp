// A preload library through which the soak watches the real program's frames: it wraps
// SDL_RenderPresent, the last call of every presented frame, and keeps in a small shared file
// per process (TARNWOOD_SOAK_PRESENTS + "." + process id) the number of presents, the time of
// the last one and the longest gap between two (CLOCK_MONOTONIC, ns). It also wraps
// SDL_PeepEvents and counts the reads of the key and mouse events, which every frame makes even
// when it presents nothing. The soak maps the file.
// Relies on: SDL2 (the real function found with dlsym RTLD_NEXT), mmap.
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "soak/present_record.h"

namespace {
PresentRecord* record() {
    static PresentRecord* r = [] () -> PresentRecord* {
        const char* base = std::getenv("TARNWOOD_SOAK_PRESENTS");
        if (!base) return nullptr;
        std::string path = std::string(base) + "." + std::to_string(getpid());
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        void* p = ftruncate(fd, sizeof(PresentRecord)) == 0
                      ? mmap(nullptr, sizeof(PresentRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                      : MAP_FAILED;
        close(fd);
        return p == MAP_FAILED ? nullptr : static_cast<PresentRecord*>(p);
    }();
    return r;
}
}  // namespace

extern "C" int SDL_PeepEvents(SDL_Event* events, int count, SDL_eventaction action, Uint32 min_type, Uint32 max_type) {
    static auto next = reinterpret_cast<int (*)(SDL_Event*, int, SDL_eventaction, Uint32, Uint32)>(
        dlsym(RTLD_NEXT, "SDL_PeepEvents"));
    int result = next(events, count, action, min_type, max_type);
    PresentRecord* r = record();
    if (r && action == SDL_GETEVENT && min_type == SDL_KEYDOWN) __atomic_fetch_add(&r->input_reads, 1, __ATOMIC_RELEASE);
    return result;
}

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    static auto next = reinterpret_cast<void (*)(SDL_Renderer*)>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    next(renderer);
    PresentRecord* r = record();
    if (!r) return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ns = uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
    uint64_t last = r->last_ns;
    if (last && ns - last > r->longest_gap_ns) r->longest_gap_ns = ns - last;
    r->last_ns = ns;
    __atomic_store_n(&r->count, r->count + 1, __ATOMIC_RELEASE);
}
