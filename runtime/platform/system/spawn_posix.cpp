// posix_spawn without waiting; the child keeps only descriptors 0, 1 and 2 and our environment.
// Linux; the Windows twin is spawn_win32.cpp.
// Relies on: glibc >= 2.34 (posix_spawn_file_actions_addclosefrom_np, addchdir_np).
#include "runtime/platform/system/spawn.h"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {
int start(const char* path, char* const argv[], const char* working_folder) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return 0;
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (working_folder && *working_folder) posix_spawn_file_actions_addchdir_np(&actions, working_folder);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling and no blocked signals.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, path, &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? 1 : 0;
}
}  // namespace

int spawn_program(const char* program, const char* working_folder) {
    if (!program || !*program) return 0;
    char* argv[] = {const_cast<char*>(program), nullptr};
    return start(program, argv, working_folder);
}

int spawn_shell(const char* file, const char* working_folder) {
    if (!file || !*file) return 0;
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("exec \"$0\""),
                    const_cast<char*>(file), nullptr};
    return start("/bin/sh", argv, working_folder);
}
