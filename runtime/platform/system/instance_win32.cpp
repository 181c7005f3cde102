// The one-game-per-folder lock on Windows: a named mutex in the session's namespace whose name
// holds a hash of the folder's full path (upper case: Windows names ignore letter case), owned by
// the claiming thread until released or until the process ends; a successor is marked by an
// environment variable, which started programs inherit.
// Relies on: kernel32 (CreateMutexW, WaitForSingleObject, GetFullPathNameW,
// SetEnvironmentVariableW), user32 (FindWindowW, SetForegroundWindow), strings.h.
#include <windows.h>

#include <new>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/instance.h"

struct InstanceLock {
    HANDLE mutex;
};

namespace {
constexpr wchar_t kSuccessorVariable[] = L"TARNWOOD_SUCCESSOR";
constexpr wchar_t kWindowClass[] = L"MultimediaBase Class";  // the game window's class

std::wstring mutex_name(const std::string& folder) {
    std::u16string utf16 = str_from_utf8(folder.empty() ? "." : folder.c_str(), folder.empty() ? 1 : folder.size());
    std::wstring given(utf16.begin(), utf16.end());
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(given.c_str(), DWORD(sizeof full / sizeof full[0]), full, nullptr);
    std::wstring path = n > 0 && n < sizeof full / sizeof full[0] ? std::wstring(full, n) : given;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    CharUpperBuffW(&path[0], DWORD(path.size()));
    uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 code units
    for (wchar_t c : path) hash = (hash ^ uint16_t(c)) * 1099511628211ull;
    wchar_t name[64];
    wsprintfW(name, L"Local\\Tarnwood-%08lx%08lx", DWORD(hash >> 32), DWORD(hash));
    return name;
}
}  // namespace

InstanceClaim instance_claim(const std::string& folder, uint32_t wait_ms, InstanceLock** lock) {
    *lock = nullptr;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutex_name(folder).c_str());
    if (!mutex) return INSTANCE_UNLOCKABLE;
    // An abandoned mutex (its holder ended without letting go) is ours as well.
    DWORD waited = WaitForSingleObject(mutex, wait_ms);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return waited == WAIT_TIMEOUT ? INSTANCE_HELD_ELSEWHERE : INSTANCE_UNLOCKABLE;
    }
    *lock = new (std::nothrow) InstanceLock{mutex};
    if (!*lock) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return INSTANCE_UNLOCKABLE;
    }
    return INSTANCE_CLAIMED;
}

void instance_release(InstanceLock* lock) {
    if (!lock) return;
    ReleaseMutex(lock->mutex);
    CloseHandle(lock->mutex);
    delete lock;
}

void instance_bring_forward() {
    HWND window = FindWindowW(kWindowClass, nullptr);
    if (!window) return;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

void instance_mark_successor() { SetEnvironmentVariableW(kSuccessorVariable, L"1"); }

bool instance_take_successor_mark() {
    bool marked = GetEnvironmentVariableW(kSuccessorVariable, nullptr, 0) > 0;
    SetEnvironmentVariableW(kSuccessorVariable, nullptr);
    return marked;
}
