// Windows implementation of the file layer and of the safe whole-file replacement. Names are
// UTF-16 and reach the system as written: "\" and "/" both separate folders there.
// The replacement: a temporary file beside the real target (links resolved through the open
// handle), written, flushed, given the target's attributes, then moved over the target with
// MoveFileExW (replace, write through). Any failure removes the temporary file and leaves the
// target as it was. Unlike on Linux, the open handle is reopened on the target after the move, so
// it points at the new contents. The injected faults are the same as on Linux (errno values,
// mapped here).
// Relies on: kernel32 (CreateFileW, ReadFile, WriteFile, SetFilePointerEx, SetEndOfFile,
// FlushFileBuffers, GetFinalPathNameByHandleW, MoveFileExW), _wfopen, strings.h.
// Staged files (new files written whole under a temporary name, then moved into place) are
// named as on Linux: ".<name>.<process id>-<serial>.tmp" beside the final name. Temporary files
// of killed writers are found by that process id (OpenProcess) and removed.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <new>
#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/file.h"

struct PlatformFile {
    HANDLE handle;
    DWORD access;
    std::string path;   // UTF-8, as opened
    std::wstring name;  // as opened
};

namespace {
FileFaults faults = {};

std::wstring wide(const char16_t* name) {
    std::wstring out;
    if (name)
        for (const char16_t* p = name; *p; ++p) out += wchar_t(*p);
    return out;
}

// An injected errno as the Windows error a real failure would give.
DWORD error_for(int error) {
    switch (error) {
    case EACCES: return ERROR_ACCESS_DENIED;
    case EPERM: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOSPC: return ERROR_DISK_FULL;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    default: return ERROR_GEN_FAILURE;
    }
}

bool fail_with(int error) {
    SetLastError(error_for(error));
    return false;
}

// WriteFile with the injected write budget: once it is spent, writes fail as on a full disk.
bool checked_write(HANDLE handle, const void* buffer, DWORD bytes, DWORD* written) {
    *written = 0;
    if (faults.limit_writes) {
        if (faults.write_budget <= 0) return fail_with(ENOSPC);
        if (int64_t(bytes) > faults.write_budget) bytes = DWORD(faults.write_budget);
    }
    if (!WriteFile(handle, buffer, bytes, written, nullptr)) return false;
    if (faults.limit_writes) faults.write_budget -= *written;
    return true;
}

bool write_all(HANDLE handle, const void* buffer, size_t bytes) {
    size_t done = 0;
    while (done < bytes) {
        size_t chunk = bytes - done > 0x40000000u ? 0x40000000u : bytes - done;
        DWORD n = 0;
        if (!checked_write(handle, static_cast<const char*>(buffer) + done, DWORD(chunk), &n) || n == 0) return false;
        done += n;
    }
    return true;
}

bool checked_flush(HANDLE handle) {
    if (faults.sync_error) return fail_with(faults.sync_error);
    return FlushFileBuffers(handle) != 0;
}

// The real file behind the open handle, links and junctions resolved; the name as opened when
// the system cannot say.
std::wstring final_name(PlatformFile* file) {
    DWORD n = GetFinalPathNameByHandleW(file->handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (n > 0) {
        std::wstring out(n, L'\0');
        DWORD got = GetFinalPathNameByHandleW(file->handle, &out[0], n, FILE_NAME_NORMALIZED);
        if (got > 0 && got < n) {
            out.resize(got);
            return out;
        }
    }
    DWORD full = GetFullPathNameW(file->name.c_str(), 0, nullptr, nullptr);
    if (full == 0) return file->name;
    std::wstring out(full, L'\0');
    DWORD got = GetFullPathNameW(file->name.c_str(), full, &out[0], nullptr);
    if (got == 0 || got >= full) return file->name;
    out.resize(got);
    return out;
}

// A new file beside the target named .<name>.<process id>-<6 hex digits>, opened for writing (the
// process id tells a stale one, whose writer was killed, from one being written); the handle is
// INVALID_HANDLE_VALUE on failure (GetLastError says why).
HANDLE create_temp(const std::wstring& folder, const std::wstring& base, std::wstring& temp) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 64; ++attempt) {
        unsigned salt = (GetTickCount() * 2654435761u) ^ (GetCurrentProcessId() << 12) ^ (++counter * 40503u);
        wchar_t suffix[8];
        for (int i = 0; i < 6; ++i) suffix[i] = L"0123456789abcdef"[(salt >> (4 * i)) & 15];
        suffix[6] = 0;
        temp = folder + L"." + base + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + suffix;
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}
// Whether the process of that id has ended (or never ran): its temporary files are stale.
bool process_ended(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// Removes from the folder (ending in a separator, or empty) the temporary files "." + a name
// beginning with name_prefix + "." + the writing process's id + "-" + a unique ending (a
// replacement's and a staged file's both take this form) whose process no longer runs, or is
// this one when `own` is set.
void remove_stale(const std::wstring& folder, const std::wstring& name_prefix, bool own) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"." + name_prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        size_t dash = name.rfind(L'-');
        if (dash == std::wstring::npos || dash + 1 == name.size()) continue;
        size_t digits = dash;
        while (digits > 0 && name[digits - 1] >= L'0' && name[digits - 1] <= L'9') digits--;
        if (digits == dash || dash - digits > 10 || digits < 2 + name_prefix.size() || name[digits - 1] != L'.') continue;
        unsigned long long pid = std::wcstoull(name.c_str() + digits, nullptr, 10);
        if (pid == 0 || pid > 0xFFFFFFFFull) continue;
        bool stale = DWORD(pid) == GetCurrentProcessId() ? own : process_ended(DWORD(pid));
        if (stale) DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The folder part of a path with its separator ("" for a bare name).
std::wstring folder_part(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Distinguishes the temporary files of one process; the process id those of several.
std::atomic<uint32_t> staged_serial{0};
constexpr int kStagedAttempts = 16;
}  // namespace

void file_set_faults(const FileFaults& f) { faults = f; }
void file_clear_faults() { faults = FileFaults{}; }

std::string file_native_path(const char16_t* name) { return str_to_utf8(name); }

PlatformFile* file_create(const char16_t* name, FileAccess access, FileDisposition disposition) {
    std::wstring path = wide(name);
    if (path.empty()) return nullptr;
    if (faults.open_read_error || (access == FILE_ACCESS_READ_WRITE && faults.open_write_error)) {
        fail_with(faults.open_read_error ? faults.open_read_error : faults.open_write_error);
        return nullptr;
    }
    // A read-only file opens for reading only, whoever runs the program: Windows refuses the
    // write access itself, but not every system under the program does (Wine run by root), and
    // CREATE_ALWAYS would cut it before any check after the opening.
    DWORD existing = GetFileAttributesW(path.c_str());
    if (access == FILE_ACCESS_READ_WRITE && existing != INVALID_FILE_ATTRIBUTES &&
        (existing & FILE_ATTRIBUTE_READONLY) && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    DWORD desired = access == FILE_ACCESS_READ_WRITE ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    DWORD creation = disposition == FILE_OPEN_ALWAYS     ? OPEN_ALWAYS
                     : disposition == FILE_CREATE_ALWAYS ? CREATE_ALWAYS
                                                         : OPEN_EXISTING;
    // Shared for deleting too: the safe replacement moves a new file over one that is open.
    HANDLE h = CreateFileW(path.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;  // a folder cannot be opened this way either
    // Files on a disk only: a pipe or a device would block or never end.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* file = new (std::nothrow) PlatformFile{h, desired, str_to_utf8(name), path};
    if (!file) CloseHandle(h);
    return file;
}

int file_read(PlatformFile* file, void* buffer, uint32_t bytes, uint32_t* bytes_read) {
    if (bytes_read) *bytes_read = 0;
    if (!file) return 0;
    uint32_t done = 0;
    while (done < bytes) {
        DWORD n = 0;
        if (!ReadFile(file->handle, static_cast<char*>(buffer) + done, bytes - done, &n, nullptr)) return 0;
        if (n == 0) break;
        done += n;
    }
    if (bytes_read) *bytes_read = done;
    return 1;
}

int file_write(PlatformFile* file, const void* buffer, uint32_t bytes, uint32_t* bytes_written) {
    if (bytes_written) *bytes_written = 0;
    if (!file) return 0;
    uint32_t done = 0;
    while (done < bytes) {
        DWORD n = 0;
        if (!checked_write(file->handle, static_cast<const char*>(buffer) + done, bytes - done, &n) || n == 0) {
            if (bytes_written) *bytes_written = done;
            return 0;
        }
        done += n;
    }
    if (bytes_written) *bytes_written = done;
    return 1;
}

int64_t file_seek(PlatformFile* file, int64_t offset, FileSeekOrigin origin) {
    if (!file) return -1;
    DWORD method = origin == FILE_SEEK_BEGIN ? FILE_BEGIN : origin == FILE_SEEK_CURRENT ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(file->handle, distance, &position, method)) return -1;
    return position.QuadPart;
}

int64_t file_size(PlatformFile* file) {
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file->handle, &size)) return -1;
    return size.QuadPart;
}

int file_set_end(PlatformFile* file) { return file && SetEndOfFile(file->handle) ? 1 : 0; }

int file_flush(PlatformFile* file) { return file && checked_flush(file->handle) ? 1 : 0; }

void file_close(PlatformFile* file) {
    if (!file) return;
    if (file->handle != INVALID_HANDLE_VALUE) CloseHandle(file->handle);
    delete file;
}

int file_descriptor(PlatformFile*) { return -1; }  // Windows files are handles, not descriptors

const std::string& file_path(PlatformFile* file) { return file->path; }

FILE* file_fopen(const char16_t* name, const char* mode) {
    std::wstring path = wide(name);
    if (path.empty() || !mode) return nullptr;
    std::wstring wide_mode;
    for (const char* m = mode; *m; ++m) wide_mode += wchar_t(*m);
    return _wfopen(path.c_str(), wide_mode.c_str());
}

FileReplaceResult file_replace_contents(PlatformFile* file, const void* data, size_t size) {
    if (!file || (size && !data)) return FILE_REPLACE_FAILED;
    std::wstring target = final_name(file);
    size_t slash = target.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FILE_REPLACE_FAILED;
    if (attributes & FILE_ATTRIBUTE_READONLY) return FILE_REPLACE_FAILED;  // made read-only since it was opened

    std::wstring temp;
    HANDLE h;
    if (faults.temp_create_error) {
        fail_with(faults.temp_create_error);
        h = INVALID_HANDLE_VALUE;
    } else {
        h = create_temp(folder, base, temp);
    }
    if (h == INVALID_HANDLE_VALUE) {
        // A folder that takes no new files, though the file itself may be writable.
        DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) return FILE_REPLACE_NO_TEMP;
        return FILE_REPLACE_FAILED;
    }
    bool ok = write_all(h, data, size) && checked_flush(h);
    ok = CloseHandle(h) && ok;
    // The target's own attributes (hidden, archive...); it is not read-only (see above).
    ok = ok && SetFileAttributesW(temp.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    if (ok && faults.rename_error) ok = fail_with(faults.rename_error);
    if (!ok) {
        DeleteFileW(temp.c_str());
        return FILE_REPLACE_FAILED;
    }
    // Windows replaces no file that is open, even shared for deleting: our handle lets go for the
    // move and then opens what the name holds now (the new contents, or the old ones on failure).
    CloseHandle(file->handle);
    ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    file->handle = CreateFileW(target.c_str(), file->access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!ok) {
        DeleteFileW(temp.c_str());
        return FILE_REPLACE_FAILED;
    }
    return FILE_REPLACE_DONE;
}

int file_rewrite_in_place(PlatformFile* file, const void* data, size_t size) {
    if (!file || (size && !data)) return 0;
    if (file_seek(file, 0, FILE_SEEK_BEGIN) != 0) return 0;
    int ok = write_all(file->handle, data, size);
    ok = file_set_end(file) && ok;
    return ok;
}

PlatformFile* file_create_staged(const char16_t* name) {
    std::wstring path = wide(name);
    if (path.empty() || path.back() == L'\\' || path.back() == L'/') return nullptr;
    if (faults.temp_create_error) {
        fail_with(faults.temp_create_error);
        return nullptr;
    }
    size_t slash = path.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
    std::wstring base = slash == std::wstring::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < kStagedAttempts; attempt++) {
        std::wstring temp = folder + L"." + base + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(staged_serial.fetch_add(1)) + L".tmp";
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;  // left by an earlier process of the same id
            return nullptr;
        }
        std::u16string temp16(temp.begin(), temp.end());
        auto* file = new (std::nothrow) PlatformFile{h, GENERIC_WRITE, str_to_utf8(temp16.c_str()), temp};
        if (!file) {
            CloseHandle(h);
            DeleteFileW(temp.c_str());
        }
        return file;
    }
    return nullptr;
}

int file_commit_staged(PlatformFile* staged, const char16_t* name) {
    if (!staged) return 0;
    std::wstring target = wide(name);
    std::wstring temp = staged->name;
    bool ok = !target.empty() && checked_flush(staged->handle);
    ok = CloseHandle(staged->handle) && ok;
    delete staged;
    if (ok && faults.rename_error) ok = fail_with(faults.rename_error);
    ok = ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temp.c_str());
        return 0;
    }
    return 1;
}

void file_discard_staged(PlatformFile* staged) {
    if (!staged) return;
    CloseHandle(staged->handle);
    DeleteFileW(staged->name.c_str());
    delete staged;
}

void file_remove_stale_replacements(PlatformFile* file) {
    if (!file) return;
    // No replacement of this process is under way while the caller opens the file: its own
    // leftovers go too.
    std::wstring target = final_name(file);
    std::wstring folder = folder_part(target);
    remove_stale(folder, target.substr(folder.size()), true);
}

void file_remove_stale_temporaries(const char16_t* folder, const char16_t* name_prefix) {
    std::wstring path = wide(folder);
    if (path.empty() || !name_prefix || !*name_prefix) return;
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    remove_stale(path, wide(name_prefix), false);
}
