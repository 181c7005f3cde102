// The browser's side of the system stand-ins (the page built by emscripten, one thread): the
// program file is /tarnwood/tarnwood (its folder holds the page's Files/), ids are fixed, there is
// nothing to page out, no thread priority and no allocator to trim. (The store behind the files is
// the web backend's: web_system.cpp.) The Linux twin is system_posix.cpp.
// Relies on: strings.h.
#include <cstring>
#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/system.h"

namespace {
const char kProgramFile[] = "/tarnwood/tarnwood";
}

void sys_page_out(const void*, size_t) {}

void sys_release_free_memory() {}

void sys_lower_thread_priority() {}

int sys_get_module_file_name(char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    std::u16string name = str_from_utf8(kProgramFile, std::strlen(kProgramFile));
    int count = int(name.size()) < capacity - 1 ? int(name.size()) : capacity - 1;
    std::memcpy(buffer, name.data(), size_t(count) * 2);
    buffer[count] = 0;
    return count;
}

uint32_t sys_get_current_thread_id() { return 1; }

uint32_t sys_get_current_process_id() { return 1; }
