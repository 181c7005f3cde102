// The one-game-per-folder lock on Linux: flock on "Files/.Tarnwood.lock" (or "<folder>/.Tarnwood.
// lock" when the folder has no Files/), through a descriptor that is not inherited by started
// programs; a successor is marked by an environment variable.
// Relies on: open, flock, setenv/unsetenv, nanosleep.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "runtime/platform/system/instance.h"

struct InstanceLock {
    int fd;
};

namespace {
constexpr char kSuccessorVariable[] = "TARNWOOD_SUCCESSOR";
constexpr uint32_t kPollMs = 20;

int open_lock_file(const std::string& folder) {
    std::string base = folder.empty() ? std::string(".") : folder;
    struct stat st;
    std::string path = stat((base + "/Files").c_str(), &st) == 0 && S_ISDIR(st.st_mode) ?
                           base + "/Files/.Tarnwood.lock" : base + "/.Tarnwood.lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    // A folder that takes no new file may still hold the lock file of an earlier run.
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    return fd;
}
}  // namespace

InstanceClaim instance_claim(const std::string& folder, uint32_t wait_ms, InstanceLock** lock) {
    *lock = nullptr;
    int fd = open_lock_file(folder);
    if (fd < 0) return INSTANCE_UNLOCKABLE;
    for (uint32_t waited = 0;; waited += kPollMs) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            close(fd);
            return INSTANCE_UNLOCKABLE;
        }
        if (waited >= wait_ms) {
            close(fd);
            return INSTANCE_HELD_ELSEWHERE;
        }
        timespec pause{0, long(kPollMs) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    *lock = new (std::nothrow) InstanceLock{fd};
    if (!*lock) close(fd);
    return *lock ? INSTANCE_CLAIMED : INSTANCE_UNLOCKABLE;
}

void instance_release(InstanceLock* lock) {
    if (!lock) return;
    close(lock->fd);
    delete lock;
}

void instance_bring_forward() {}

void instance_mark_successor() { setenv(kSuccessorVariable, "1", 1); }

bool instance_take_successor_mark() {
    bool marked = std::getenv(kSuccessorVariable) != nullptr;
    unsetenv(kSuccessorVariable);
    return marked;
}
