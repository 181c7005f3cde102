// POSIX implementation of the file layer and of the safe whole-file replacement (Linux and the
// browser's file system; the Windows twin is file_win32.cpp).
// Relies on: open/read/write/lseek/ftruncate/fsync/rename/unlink/realpath/mkostemp, opendir and
// kill (to tell a stale temporary file from one being written); system.h (a file put in place is
// committed to the storage beyond the file system, where there is one).
#include "runtime/platform/system/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/system.h"

struct PlatformFile {
    int fd;
    std::string path;
};

namespace {
FileFaults faults = {};

// write() with the injected write budget: once it is spent, writes fail as on a full disk.
ssize_t checked_write(int fd, const void* buffer, size_t bytes) {
    if (faults.limit_writes) {
        if (faults.write_budget <= 0) {
            errno = ENOSPC;
            return -1;
        }
        if (int64_t(bytes) > faults.write_budget) bytes = size_t(faults.write_budget);
    }
    ssize_t n = write(fd, buffer, bytes);
    if (n > 0 && faults.limit_writes) faults.write_budget -= n;
    return n;
}

int write_all(int fd, const void* buffer, size_t bytes) {
    size_t done = 0;
    while (done < bytes) {
        ssize_t n = checked_write(fd, static_cast<const char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        done += size_t(n);
    }
    return 1;
}

// A replacement's temporary file: "." + the target's name + "." + the writing process's id + "-"
// and six random characters, beside the target. The process id tells a stale one (its writer
// was killed) from one being written.
std::string temp_prefix(const std::string& base) { return "." + base + "."; }

// The real file behind any symbolic link, as its folder and name.
bool resolve(const std::string& path, std::string& target, std::string& folder, std::string& base) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return false;
    target = real;
    std::free(real);
    size_t slash = target.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    base = slash == std::string::npos ? target : target.substr(slash + 1);
    return true;
}

int checked_fsync(int fd) {
    if (faults.sync_error) {
        errno = faults.sync_error;
        return -1;
    }
    return fsync(fd);
}
}  // namespace

void file_set_faults(const FileFaults& f) { faults = f; }
void file_clear_faults() { faults = FileFaults{}; }

std::string file_native_path(const char16_t* name) {
    std::string path = str_to_utf8(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

namespace {
bool write_protected(const struct stat& st) { return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR); }
}  // namespace

PlatformFile* file_create(const char16_t* name, FileAccess access, FileDisposition disposition) {
    std::string path = file_native_path(name);
    if (path.empty()) return nullptr;
    // Opened without blocking: a named pipe with no writer must not stop the program. Only
    // regular files are taken; the descriptor then blocks again as usual.
    int flags = (access == FILE_ACCESS_READ_WRITE ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    if (disposition == FILE_OPEN_ALWAYS) flags |= O_CREAT;
    if (disposition == FILE_CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
    if (faults.open_read_error || (access == FILE_ACCESS_READ_WRITE && faults.open_write_error)) {
        errno = faults.open_read_error ? faults.open_read_error : faults.open_write_error;
        return nullptr;
    }
    // A file without its owner's write bit was protected by the player: it opens for reading
    // only, also for root, whom open() would let write it (and cut it before any check after).
    struct stat st;
    if (access == FILE_ACCESS_READ_WRITE && stat(path.c_str(), &st) == 0 && write_protected(st)) {
        errno = EACCES;
        return nullptr;
    }
    int fd;
    do fd = open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    if (access == FILE_ACCESS_READ_WRITE && write_protected(st)) {
        close(fd);
        errno = EACCES;
        return nullptr;
    }
    auto* file = new (std::nothrow) PlatformFile{fd, path};
    if (!file) close(fd);
    return file;
}

int file_read(PlatformFile* file, void* buffer, uint32_t bytes, uint32_t* bytes_read) {
    uint32_t done = 0;
    if (bytes_read) *bytes_read = 0;
    if (!file) return 0;
    while (done < bytes) {
        ssize_t n = read(file->fd, static_cast<char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        if (n == 0) break;
        done += uint32_t(n);
    }
    if (bytes_read) *bytes_read = done;
    return 1;
}

int file_write(PlatformFile* file, const void* buffer, uint32_t bytes, uint32_t* bytes_written) {
    uint32_t done = 0;
    if (bytes_written) *bytes_written = 0;
    if (!file) return 0;
    while (done < bytes) {
        ssize_t n = checked_write(file->fd, static_cast<const char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (bytes_written) *bytes_written = done;
            return 0;
        }
        done += uint32_t(n);
    }
    if (bytes_written) *bytes_written = done;
    return 1;
}

int64_t file_seek(PlatformFile* file, int64_t offset, FileSeekOrigin origin) {
    if (!file) return -1;
    int whence = origin == FILE_SEEK_BEGIN ? SEEK_SET : origin == FILE_SEEK_CURRENT ? SEEK_CUR : SEEK_END;
    return int64_t(lseek(file->fd, off_t(offset), whence));
}

int64_t file_size(PlatformFile* file) {
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) return -1;
    return int64_t(st.st_size);
}

int file_set_end(PlatformFile* file) {
    if (!file) return 0;
    off_t here = lseek(file->fd, 0, SEEK_CUR);
    return here >= 0 && ftruncate(file->fd, here) == 0;
}

int file_flush(PlatformFile* file) { return file && checked_fsync(file->fd) == 0; }

void file_close(PlatformFile* file) {
    if (!file) return;
    close(file->fd);
    delete file;
}

int file_descriptor(PlatformFile* file) { return file ? file->fd : -1; }

const std::string& file_path(PlatformFile* file) { return file->path; }

FILE* file_fopen(const char16_t* name, const char* mode) {
    std::string path = file_native_path(name);
    if (path.empty() || !mode) return nullptr;
    return std::fopen(path.c_str(), mode);
}

namespace {
// Folder and name part of a native path ("." for a bare name).
std::pair<std::string, std::string> split_path(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

void sync_folder(const std::string& folder) {
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    checked_fsync(dir);
    close(dir);
}

// The end of a write through a temporary file that was `written` whole (synced and closed): it
// replaces the target, and the rename becomes durable with the folder's entry list. On any
// failure, also an earlier one, the temporary file goes and the target stays as it was.
bool rename_into_place(bool written, const std::string& temp, const std::string& target) {
    bool ok = written;
    if (ok && faults.rename_error) {
        errno = faults.rename_error;
        ok = false;
    }
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    sync_folder(split_path(target).first);
    return sys_storage_commit(target.c_str());
}
}  // namespace

FileReplaceResult file_replace_contents(PlatformFile* file, const void* data, size_t size) {
    if (!file || (size && !data)) return FILE_REPLACE_FAILED;
    // The real file behind any symbolic link: the link itself must stay a link.
    std::string target, folder, base;
    if (!resolve(file->path, target, folder, base)) return FILE_REPLACE_FAILED;

    struct stat original;
    if (stat(target.c_str(), &original) != 0) return FILE_REPLACE_FAILED;
    if (write_protected(original)) return FILE_REPLACE_FAILED;  // made read-only since it was opened

    std::string temp = folder + "/" + temp_prefix(base) + std::to_string(getpid()) + "-XXXXXX";
    int fd;
    if (faults.temp_create_error) {
        errno = faults.temp_create_error;
        fd = -1;
    } else {
        fd = mkostemp(&temp[0], O_CLOEXEC);
    }
    if (fd < 0) {
        // A folder that takes no new files, though the file itself may be writable.
        if (errno == EACCES || errno == EPERM || errno == EROFS) return FILE_REPLACE_NO_TEMP;
        return FILE_REPLACE_FAILED;
    }

    bool ok = write_all(fd, data, size) && fchmod(fd, original.st_mode & 07777) == 0;
    if (ok && (original.st_uid != geteuid() || original.st_gid != getegid())) {
        // Only a privileged process may give the file away; an ordinary one keeps its own owner.
        [[maybe_unused]] int kept = fchown(fd, original.st_uid, original.st_gid);
    }
    ok = ok && checked_fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    return rename_into_place(ok, temp, target) ? FILE_REPLACE_DONE : FILE_REPLACE_FAILED;
}

namespace {
// Distinguishes the temporary files of one process; the process id those of several.
std::atomic<uint32_t> staged_serial{0};
constexpr int kStagedAttempts = 16;
}  // namespace

PlatformFile* file_create_staged(const char16_t* name) {
    std::string path = file_native_path(name);
    if (path.empty() || path.back() == '/') return nullptr;
    auto [folder, base] = split_path(path);
    if (faults.temp_create_error) {
        errno = faults.temp_create_error;
        return nullptr;
    }
    // A hidden name the program's own names never take; mode 0666 less the umask, as a file
    // created under its final name gets.
    for (int attempt = 0; attempt < kStagedAttempts; attempt++) {
        std::string temp = folder + "/." + base + "." + std::to_string(getpid()) + "-" +
                           std::to_string(staged_serial.fetch_add(1)) + ".tmp";
        int fd;
        do fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == EEXIST) continue;  // left by a process of the same id that ended early
            return nullptr;
        }
        auto* file = new (std::nothrow) PlatformFile{fd, temp};
        if (!file) {
            close(fd);
            unlink(temp.c_str());
        }
        return file;
    }
    return nullptr;
}

int file_commit_staged(PlatformFile* staged, const char16_t* name) {
    if (!staged) return 0;
    std::string target = file_native_path(name);
    std::string temp = staged->path;
    bool ok = !target.empty() && checked_fsync(staged->fd) == 0;
    ok = close(staged->fd) == 0 && ok;
    delete staged;
    return rename_into_place(ok, temp, target) ? 1 : 0;
}

void file_discard_staged(PlatformFile* staged) {
    if (!staged) return;
    close(staged->fd);
    unlink(staged->path.c_str());
    delete staged;
}

int file_rewrite_in_place(PlatformFile* file, const void* data, size_t size) {
    if (!file || (size && !data)) return 0;
    if (lseek(file->fd, 0, SEEK_SET) != 0) return 0;
    int ok = write_all(file->fd, data, size);
    ok = file_set_end(file) && ok;
    return ok;
}

namespace {
// Removes from the folder the temporary files "." + a name beginning with name_prefix + "." + the
// writing process's id + "-" + a unique ending (a replacement's and a staged file's both take
// this form) whose process no longer runs, or is this one when `own` is set.
void remove_stale(const std::string& folder, const std::string& name_prefix, bool own) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 2 || name[0] != '.' || name.compare(1, name_prefix.size(), name_prefix) != 0) continue;
        size_t dash = name.rfind('-');
        if (dash == std::string::npos || dash + 1 == name.size()) continue;
        size_t digits = dash;
        while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') digits--;
        if (digits == dash || dash - digits > 9 || digits < 2 + name_prefix.size() || name[digits - 1] != '.') continue;
        long pid = std::strtol(name.c_str() + digits, nullptr, 10);
        if (pid <= 0) continue;
        bool stale = pid == long(getpid()) ? own : kill(pid_t(pid), 0) != 0 && errno == ESRCH;
        if (stale) unlinkat(dirfd(dir), name.c_str(), 0);
    }
    closedir(dir);
}
}  // namespace

void file_remove_stale_replacements(PlatformFile* file) {
    std::string target, folder, base;
    // No replacement of this process is under way while the caller opens the file: its own
    // leftovers go too.
    if (file && resolve(file->path, target, folder, base)) remove_stale(folder, base, true);
}

void file_remove_stale_temporaries(const char16_t* folder, const char16_t* name_prefix) {
    std::string path = file_native_path(folder);
    if (!path.empty() && name_prefix && *name_prefix) remove_stale(path, str_to_utf8(name_prefix), false);
}
