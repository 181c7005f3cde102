// The Windows side of the system stand-ins: page-out of constant data, the module file name, the
// thread and process ids, a thread's priority, and the heap's free memory. The Linux twin is
// system_posix.cpp.
// Relies on: kernel32 (VirtualQuery, VirtualUnlock, GetModuleFileNameW, GetCurrentThreadId,
// SetThreadPriority, HeapCompact).
#include <windows.h>

#include <cstring>

#include "runtime/platform/system/system.h"

void sys_page_out(const void* data, size_t size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    uintptr_t page = info.dwPageSize;
    if (!data || page == 0) return;
    // Only the pages wholly inside the block: its neighbours may still be in use.
    uintptr_t first = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
    if (end <= first) return;
    // Only read-only pages of the program image: they come back from the program file when read
    // again. Written or private memory is left alone.
    for (uintptr_t at = first; at < end;) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) != sizeof region) return;
        if (region.Type != MEM_IMAGE || region.State != MEM_COMMIT || region.Protect != PAGE_READONLY) return;
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    // Unlocking pages that were never locked takes them out of the working set; the call reports
    // ERROR_NOT_LOCKED for it, which is the expected answer.
    VirtualUnlock(reinterpret_cast<void*>(first), end - first);
}

// The process heap gives its free blocks back on its own; compacting it returns what it can now.
void sys_release_free_memory() { HeapCompact(GetProcessHeap(), 0); }

void sys_lower_thread_priority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

int sys_get_module_file_name(char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer), DWORD(capacity));
    // 0: failure; capacity: the name was cut (and is not terminated on older systems).
    if (n == 0 || n >= DWORD(capacity)) {
        buffer[0] = 0;
        return 0;
    }
    buffer[n] = 0;
    return int(n);
}

uint32_t sys_get_current_thread_id() { return uint32_t(GetCurrentThreadId()); }

uint32_t sys_get_current_process_id() { return uint32_t(GetCurrentProcessId()); }
