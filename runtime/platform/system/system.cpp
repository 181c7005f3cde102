// Win32 base/USER stand-ins over the backend's SystemDriver, and the program's window list.
// The system's own services (module name, page-out, thread and process ids) are in the twins
// system_posix.cpp and system_win32.cpp.
// Relies on: backend.h, strings.h (UTF-16 <-> UTF-8).
#include "runtime/platform/system/system.h"

#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/instance.h"

namespace {
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

bool sys_storage_commit(const char* path) {
    return !driver()->storage_commit || driver()->storage_commit(path ? path : "") != 0;
}

int sys_message_box(WindowHandle, const char16_t* text, const char16_t* caption, uint32_t) {
    driver()->message_box(str_to_utf8(caption).c_str(), str_to_utf8(text).c_str());
    return 1;  // IDOK: the box has only the one button
}

int sys_claim_instance(const char16_t* folder) {
    if (!driver()->claim_instance) return 1;
    return driver()->claim_instance(str_to_utf8(folder ? folder : u"").c_str());
}

int sys_wait_message(uint32_t ms) {
    if (!driver()->wait_message) return 0;
    driver()->wait_message(ms);
    return 1;
}

void sys_mark_successor() {
    if (driver()->claim_instance) instance_mark_successor();
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
