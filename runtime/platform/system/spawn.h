// Starting programs without waiting for them, for the real (SDL) backend.
// Relies on: posix_spawn (glibc's closefrom and chdir file actions).
#pragma once

// Starts the program with no arguments in the working folder (null: ours). 1 if started.
int spawn_program(const char* program, const char* working_folder);
// Runs the file through /bin/sh -c 'exec "$0"' in the working folder. 1 if started.
int spawn_shell(const char* file, const char* working_folder);
