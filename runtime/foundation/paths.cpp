// Paths, message requester and process start. Relies on: strings.h, registry.h, system.h.
#include "runtime/foundation/paths.h"

#include <cstring>
#include <mutex>

#include "runtime/foundation/strings.h"

ProcessState process_state = {};

namespace {
std::mutex program_list_lock;  // guards additions to the started-program list

// Room for a full Linux path (PATH_MAX), not only Windows' 260 code units.
constexpr int32_t kModuleNameUnits = 4096;

int free_started_program(intptr_t number) {
    if (!obj_find(process_state.programs, number)) return 0;
    obj_release(process_state.programs, number);  // the process was let go at once: nothing to close
    return 1;
}

struct DisableContext {
    uint32_t thread_id;
    WindowHandle foreground;
};

int disable_one(WindowHandle window, void* context) {
    auto* c = static_cast<DisableContext*>(context);
    if (sys_get_window_thread_process_id(window, nullptr) == c->thread_id && sys_is_window_visible(window) &&
        sys_is_window_enabled(window) && window != c->foreground) {
        sys_enable_window(window, 0);
        auto* record = static_cast<DisabledWindow*>(obj_list_push(&process_state.disabled_windows, sizeof(DisabledWindow)));
        if (record) *record = {c->thread_id, window};
    }
    return 1;
}

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }
}  // namespace

void requester_init() {
    // Common controls and COM have no counterpart here: the message box needs no set-up.
}

int requester_message(const char16_t* title, const char16_t* text) {
    DisableContext context{sys_get_current_thread_id(), sys_get_foreground_window()};
    sys_enum_windows(disable_one, &context);

    WindowHandle owner = 0;
    uint32_t process_id = 0;
    if (context.foreground) {
        sys_get_window_thread_process_id(context.foreground, &process_id);
        if (process_id == sys_get_current_process_id()) owner = context.foreground;
    }
    int result = sys_message_box(owner, text, title, 0);

    ListNode* node = process_state.disabled_windows;
    while (node) {
        ListNode* next = node->next;
        auto* record = static_cast<DisabledWindow*>(obj_list_payload(node));
        if (record->thread_id == context.thread_id) {
            sys_enable_window(record->window, 1);
            obj_list_remove(&process_state.disabled_windows, record);
        }
        node = next;
    }
    return result;
}

void process_init() {
    std::lock_guard<std::mutex> guard(program_list_lock);
    process_state = {};
    process_state.programs = obj_table_create(sizeof(StartedProgram), 4, free_started_program);
}

int process_run(const char16_t* command) {
    size_t length = str_length(command);
    if (!length) return 0;
    // The command in double quotes unless it is quoted already; no parameters are appended.
    auto* line = static_cast<char16_t*>(obj_alloc(length * 2 + 8, nullptr));
    if (!line) return 0;
    size_t n = 0;
    bool quoted = command[0] == u'"';
    if (!quoted) line[n++] = u'"';
    std::memcpy(line + n, command, length * 2);
    n += length;
    if (!quoted) line[n++] = u'"';
    line[n] = 0;

    int started = sys_create_process(line, nullptr);
    obj_free(line);
    if (started) return 1;

    // Fall back to the shell, in the command's own folder when it names one after its first character.
    std::u16string file(command, length);
    if (quoted) {
        file.erase(0, 1);
        size_t close = file.find(u'"');
        if (close != std::u16string::npos) file.erase(close);
    }
    std::u16string folder;
    size_t last = std::u16string::npos;
    for (size_t i = 1; i < length; i++)
        if (is_separator(command[i])) last = i;
    if (last != std::u16string::npos) {
        folder.assign(command, last + 1);
        if (quoted) folder.erase(0, 1);
    }
    return sys_shell_execute(file.c_str(), u"", folder.c_str()) ? 1 : 0;
}

void path_program_file(int32_t position) {
    char16_t* name = str_reserve(kModuleNameUnits, position);
    if (!name) return;
    int32_t n = path_drop_long_prefix(name, sys_get_module_file_name(name, kModuleNameUnits));
    str_unreserve(kModuleNameUnits - n);
    name[n] = 0;
}

int32_t path_drop_long_prefix(char16_t* name, int32_t n) {
    if (n >= 4 && name[0] == u'\\' && name[1] == u'\\' && name[2] == u'?' && name[3] == u'\\') {
        std::memmove(name, name + 4, size_t(n - 4) * 2);
        n -= 4;
    }
    return n;
}

void path_folder_of(const char16_t* path, int32_t position) {
    const char16_t* start = path;
    if (start && *start == u'"') start++;
    size_t folder = 0;
    if (start) {
        for (size_t i = 0; start[i] && start[i] != u'|'; i++)
            if (is_separator(start[i])) folder = i + 1;
    }
    intptr_t inside = str_builder_offset(start);
    char16_t* dst = str_reserve(int32_t(folder), position);
    if (!dst) return;
    if (inside) start = static_cast<const char16_t*>(str_builder_address(inside));
    if (folder) std::memmove(dst, start, folder * 2);
    dst[folder] = 0;
}
