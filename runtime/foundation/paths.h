// The program's own file name and the folder part of a path (both written into the temporary
// string builder), the modal message requester, and starting another program without waiting.
// Relies on: strings.h (builder protocol), registry.h (lists and the started-program table),
// platform/system (module name, message box, process creation, window list).
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"
#include "runtime/platform/system/system.h"

struct DisabledWindow {
    uint32_t thread_id;
    WindowHandle window;
};

struct StartedProgram {
    intptr_t process;  // first field: in use while non-zero
};

// The started-program bookkeeping and the disabled-windows list.
struct ProcessState {
    ObjectTable* programs;
    ListNode* program_list;
    ListNode* disabled_windows;
};
extern ProcessState process_state;

void requester_init();
int requester_message(const char16_t* title, const char16_t* text);
void process_init();
int process_run(const char16_t* command);
void path_program_file(int32_t position);
// Drops a leading "\\?\" from a path of `length` units (in place); returns the new length.
int32_t path_drop_long_prefix(char16_t* name, int32_t length);
void path_folder_of(const char16_t* path, int32_t position);
