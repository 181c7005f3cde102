// Win32 base/USER stand-ins over the backend's SystemDriver, and the program's window list.
// Relies on: backend.h, strings.h (UTF-16 <-> UTF-8), Linux /proc, gettid, per-thread nice values
// and scheduling policies.
#include "runtime/platform/system/system.h"

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
#include "runtime/platform/system/backend.h"

namespace {
// How much further a below-normal thread's nice value is from its process's.
constexpr int kBelowNormalNice = 10;

struct SysWindow {
    WindowHandle handle;
    uint32_t thread_id;
    bool visible;
    bool enabled;
};
constexpr int kMaxWindows = 8;
SysWindow windows[kMaxWindows];
WindowHandle next_handle = 0x100;
WindowHandle foreground = 0;

SysWindow* find_window(WindowHandle handle) {
    for (auto& w : windows)
        if (handle && w.handle == handle) return &w;
    return nullptr;
}

const SystemDriver* driver() { return platform_backend()->system; }
}  // namespace

uint32_t sys_get_tick_count() { return driver()->tick_count(); }

void sys_sleep(uint32_t ms) { driver()->sleep(ms); }

namespace {
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

int sys_message_box(WindowHandle, const char16_t* text, const char16_t* caption, uint32_t) {
    driver()->message_box(str_to_utf8(caption).c_str(), str_to_utf8(text).c_str());
    return 1;  // IDOK: the box has only the one button
}

int sys_create_process(const char16_t* command_line, const char16_t* working_folder) {
    // Windows rules for the program name: a quoted first argument runs to the closing quote,
    // an unquoted one to the first blank or tab.
    std::u16string line = command_line ? command_line : u"";
    std::u16string program;
    size_t i = 0;
    if (!line.empty() && line[0] == u'"') {
        size_t end = line.find(u'"', 1);
        program = line.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1);
    } else {
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t') program += line[i++];
    }
    if (program.empty()) return 0;
    std::string folder = str_to_utf8(working_folder);
    return driver()->spawn(str_to_utf8(program.c_str()).c_str(), folder.empty() ? nullptr : folder.c_str());
}

int sys_shell_execute(const char16_t* file, const char16_t*, const char16_t* folder) {
    std::string f = str_to_utf8(file);
    if (f.empty()) return 0;
    std::string dir = str_to_utf8(folder);
    for (char& c : dir)
        if (c == '\\') c = '/';
    return driver()->shell_spawn(f.c_str(), dir.empty() ? nullptr : dir.c_str());
}

WindowHandle sys_window_create() {
    for (auto& w : windows) {
        if (!w.handle) {
            w = {next_handle++, sys_get_current_thread_id(), false, true};
            return w.handle;
        }
    }
    return 0;
}

void sys_window_destroy(WindowHandle window) {
    if (SysWindow* w = find_window(window)) *w = {};
    if (foreground == window) foreground = 0;
}

void sys_window_set_visible(WindowHandle window, bool visible) {
    if (SysWindow* w = find_window(window)) w->visible = visible;
}

void sys_window_set_foreground(WindowHandle window) { foreground = window; }

void sys_enum_windows(SysEnumProc proc, void* context) {
    for (auto& w : windows)
        if (w.handle && !proc(w.handle, context)) return;
}

uint32_t sys_get_window_thread_process_id(WindowHandle window, uint32_t* process_id) {
    SysWindow* w = find_window(window);
    if (process_id) *process_id = w ? sys_get_current_process_id() : 0;
    return w ? w->thread_id : 0;
}

uint32_t sys_get_current_thread_id() { return uint32_t(syscall(SYS_gettid)); }

uint32_t sys_get_current_process_id() { return uint32_t(getpid()); }

int sys_is_window_visible(WindowHandle window) {
    SysWindow* w = find_window(window);
    return w && w->visible;
}

int sys_is_window_enabled(WindowHandle window) {
    SysWindow* w = find_window(window);
    return w && w->enabled;
}

int sys_enable_window(WindowHandle window, int enable) {
    SysWindow* w = find_window(window);
    if (!w) return 0;
    int was_disabled = !w->enabled;
    w->enabled = enable != 0;
    return was_disabled;
}

WindowHandle sys_get_foreground_window() { return find_window(foreground) ? foreground : 0; }
