// Runs a command as a child subreaper and waits for it and for every process it starts, also
// those that outlive their parent (a self-restarting program's new instance is reparented here
// instead of to init). Prints one line per ended process ("exit <pid> <code>" or
// "signal <pid> <number>") and finally "reaped <count>"; exits 0 only when every process ended
// with exit code 0. Relies on Linux prctl(PR_SET_CHILD_SUBREAPER).
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s command [arguments...]\n", argv[0]);
        return 2;
    }
    if (prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0) {
        std::perror("prctl(PR_SET_CHILD_SUBREAPER)");
        return 2;
    }
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 2;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("execvp");
        _exit(127);
    }
    int count = 0;
    bool all_ok = true;
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            break;  // ECHILD: no descendant is left
        }
        count++;
        if (WIFEXITED(status)) {
            std::printf("exit %d %d\n", static_cast<int>(pid), WEXITSTATUS(status));
            all_ok = all_ok && WEXITSTATUS(status) == 0;
        } else {
            std::printf("signal %d %d\n", static_cast<int>(pid), WTERMSIG(status));
            all_ok = false;
        }
        std::fflush(stdout);
    }
    std::printf("reaped %d\n", count);
    return all_ok ? 0 : 1;
}
