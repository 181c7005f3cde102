// Starting programs without waiting for them, for the real backends (SDL on Linux, Win32).
// Relies on: spawn_posix.cpp (posix_spawn) or spawn_win32.cpp (CreateProcessW, ShellExecuteExW).
#pragma once

// Starts the program with no arguments in the working folder (null: ours). 1 if started.
int spawn_program(const char* program, const char* working_folder);
// Runs the file through the shell (/bin/sh -c 'exec "$0"'; on Windows its default action) in the
// working folder. 1 if started.
int spawn_shell(const char* file, const char* working_folder);
