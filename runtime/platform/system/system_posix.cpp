// The Linux side of the system stand-ins: page-out of constant data, the module file name, the
// thread and process ids, a thread's priority, and the allocator's free memory. The Win32 twin is
// system_win32.cpp.
// Relies on: Linux /proc (pagemap, exe), madvise, gettid, per-thread nice values and scheduling
// policies; strings.h (UTF-8 -> UTF-16).
#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/system.h"

namespace {
// How much further a below-normal thread's nice value is from its process's: it gets about a
// third of the processor's time where it meets the process's other threads, yet is not starved
// by a busy machine (the program waits for its work before it restarts or ends).
constexpr int kBelowNormalNice = 5;

// True when every page of [first, end) is either absent (and not swapped out) or a page of a file,
// so that dropping it from the process loses nothing: it is read again from its file. Written
// pages of private mappings are anonymous and fail the test. /proc/self/pagemap holds one 64-bit
// entry per page: bit 63 present, bit 62 swapped, bit 61 file page.
bool pages_are_file_backed(uintptr_t first, uintptr_t end, uintptr_t page) {
    FILE* map = std::fopen("/proc/self/pagemap", "rb");
    if (!map) return false;
    bool ok = std::fseek(map, long(first / page * 8), SEEK_SET) == 0;
    for (uintptr_t at = first; ok && at < end; at += page) {
        uint64_t entry = 0;
        if (std::fread(&entry, 8, 1, map) != 1) ok = false;
        bool present = entry >> 63 & 1, swapped = entry >> 62 & 1, file = entry >> 61 & 1;
        if (present ? !file : swapped) ok = false;
    }
    std::fclose(map);
    return ok;
}
}  // namespace

void sys_page_out(const void* data, size_t size) {
    // Only the pages wholly inside the block: its neighbours may still be in use.
    long page = sysconf(_SC_PAGESIZE);
    if (!data || page <= 0) return;
    uintptr_t first = (reinterpret_cast<uintptr_t>(data) + uintptr_t(page) - 1) & ~uintptr_t(page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~uintptr_t(page - 1);
    if (end <= first || !pages_are_file_backed(first, end, uintptr_t(page))) return;
    // The pages leave the process; a later read maps them again from the file.
    madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
}

void sys_release_free_memory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void sys_lower_thread_priority() {
    // A program started under a real-time policy (which its threads inherit) keeps it for the
    // threads that need it; this one returns to the normal time-sharing policy.
    sched_param normal{};
    int policy = 0;
    if (pthread_getschedparam(pthread_self(), &policy, &normal) == 0 && (policy == SCHED_FIFO || policy == SCHED_RR)) {
        normal.sched_priority = 0;
        pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    }
    // A Linux thread has a nice value of its own; raising it never needs a privilege.
    pid_t thread = pid_t(syscall(SYS_gettid));
    errno = 0;
    int nice_now = getpriority(PRIO_PROCESS, id_t(thread));
    if (nice_now == -1 && errno != 0) return;
    setpriority(PRIO_PROCESS, id_t(thread), std::min(nice_now + kBelowNormalNice, 19));
}

int sys_get_module_file_name(char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    char path[4096 + 16];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        buffer[0] = 0;
        return 0;
    }
    path[n] = 0;
    static const char deleted[] = " (deleted)";
    size_t len = size_t(n), dl = sizeof deleted - 1;
    if (len > dl && std::memcmp(path + len - dl, deleted, dl) == 0) path[len - dl] = 0;
    std::u16string name = str_from_utf8(path, std::strlen(path));
    int count = int(name.size()) < capacity - 1 ? int(name.size()) : capacity - 1;
    std::memcpy(buffer, name.data(), size_t(count) * 2);
    buffer[count] = 0;
    return count;
}

uint32_t sys_get_current_thread_id() { return uint32_t(syscall(SYS_gettid)); }

uint32_t sys_get_current_process_id() { return uint32_t(getpid()); }

