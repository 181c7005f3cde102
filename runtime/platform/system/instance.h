// One running game per folder. The first process to start in a folder claims it for its whole
// life; a later start finds it claimed and ends. A process started by a restart is marked as the
// successor of the one that started it and waits (a few seconds at most) for that one to end.
// Linux: an advisory lock (flock) on "Files/.Tarnwood.lock" in the folder, held by an open
// descriptor, so that the kernel drops it when the process ends however it ends. Windows: a named
// mutex whose name is made from the folder's full path, abandoned by a process that ends.
// Relies on: instance_posix.cpp (open, flock, setenv) or instance_win32.cpp (CreateMutexW,
// WaitForSingleObject, FindWindowW, SetEnvironmentVariableW).
#pragma once
#include <cstdint>
#include <string>

struct InstanceLock;

enum InstanceClaim {
    INSTANCE_HELD_ELSEWHERE = 0,  // another process holds the folder (and did not let go in time)
    INSTANCE_CLAIMED = 1,         // *lock holds the folder until instance_release
    INSTANCE_UNLOCKABLE = 2,      // no lock can be made there (a read-only folder): go on without
};

// Claims folder (UTF-8; empty: the working folder), waiting up to wait_ms for a holder to let go.
InstanceClaim instance_claim(const std::string& folder, uint32_t wait_ms, InstanceLock** lock);
void instance_release(InstanceLock* lock);

// The claim of a game process, for the real backends' system drivers: a successor waits up to
// kSuccessorWaitMs for its predecessor to end, any other start not at all; when the folder is
// held elsewhere the running game is brought to the front and 0 returned. The lock is kept until
// the process ends. 1 when this process may go on (also when no lock can be made).
constexpr uint32_t kSuccessorWaitMs = 5000;
int instance_claim_for_process(const char* folder);

// Brings the running game's window to the front where the system lets a process do that
// (Windows); elsewhere nothing.
void instance_bring_forward();

// Marks the processes this one starts from now on as its successors.
void instance_mark_successor();
// Whether this process was started as a successor; the mark is taken off, so that it reaches no
// process this one starts later unless marked again.
bool instance_take_successor_mark();
