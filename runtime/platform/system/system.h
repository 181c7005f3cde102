// Stand-ins for the Win32 base and USER calls the foundation makes: ticks and sleep, the module
// file name, the message box, process creation and shell execution, and the small window list that
// the message requester walks (EnumWindows, EnableWindow and friends).
// Relies on: backend.h (the SystemDriver of the backend in force).
#pragma once
#include <cstddef>
#include <cstdint>

using WindowHandle = intptr_t;  // 0 = none

uint32_t sys_get_tick_count();
void sys_sleep(uint32_t ms);

// Takes the whole pages of a block of constant data out of the process's resident memory; they
// are read again from the program file if the block is read later, so its contents never change.
// For data read once, such as the stored media after decoding. Does nothing unless every page is
// a page of a file (never written) or absent: never on heap or written memory.
void sys_page_out(const void* data, size_t size);

// Hands the memory that the allocator holds free (in every thread's arena) back to the system, so
// that a burst of large allocations, such as a screenshot's, does not leave the resident memory
// higher for the rest of the run.
void sys_release_free_memory();

// SetThreadPriority (current thread, THREAD_PRIORITY_BELOW_NORMAL): the calling thread gives way
// to the process's other threads when both want the processor, so background work (compressing
// a screenshot) does not slow the frame loop; a thread that inherited a real-time policy returns
// to the normal one. Best effort: nothing happens when it is refused.
void sys_lower_thread_priority();

// Called by the file layer when a file was put in place under its final name (the native path):
// the backend makes it durable in storage the file system itself does not reach (the browser's
// own store). False when that failed; true where the file system is the storage.
bool sys_storage_commit(const char* path);

// GetModuleFileNameW: the running executable's full path; returns the code units written
// (at most capacity - 1, terminated), 0 on failure. A name that Linux reports with " (deleted)"
// (the file was replaced while running) is given without that suffix.
int sys_get_module_file_name(char16_t* buffer, int capacity);

// MessageBoxW with MB_OK: returns IDOK (1).
int sys_message_box(WindowHandle owner, const char16_t* text, const char16_t* caption, uint32_t type);

// CreateProcessW: the command line is parsed by the Windows rules (first argument quoted or up to
// the first blank), the program is started without waiting, with the given working folder
// (null or empty: the caller's). No descriptor beyond 0, 1 and 2 reaches the child.
int sys_create_process(const char16_t* command_line, const char16_t* working_folder);
// ShellExecuteExW with the default verb: the file is run through the shell in the folder given.
int sys_shell_execute(const char16_t* file, const char16_t* parameters, const char16_t* folder);

// One game per folder (the backend's claim_instance): 1 when this process may run the game in the
// folder (empty: the working folder), 0 when another one runs there. sys_mark_successor makes the
// processes started from now on wait for this one to end before they claim the folder (a restart).
int sys_claim_instance(const char16_t* folder);
void sys_mark_successor();

// Waits up to ms for a window message to the calling thread (MsgWaitForMultipleObjects); returns
// 0 at once, without waiting, where the backend has no such wait.
int sys_wait_message(uint32_t ms);

// The program's top-level windows, as far as the message requester needs them.
WindowHandle sys_window_create();
void sys_window_destroy(WindowHandle window);
void sys_window_set_visible(WindowHandle window, bool visible);
void sys_window_set_foreground(WindowHandle window);
using SysEnumProc = int (*)(WindowHandle window, void* context);  // return 0 to stop
void sys_enum_windows(SysEnumProc proc, void* context);
uint32_t sys_get_window_thread_process_id(WindowHandle window, uint32_t* process_id);
uint32_t sys_get_current_thread_id();
uint32_t sys_get_current_process_id();
int sys_is_window_visible(WindowHandle window);
int sys_is_window_enabled(WindowHandle window);
int sys_enable_window(WindowHandle window, int enable);  // returns whether it was disabled before
WindowHandle sys_get_foreground_window();
