// POSIX implementation of the file layer. Relies on: open/read/write/lseek/ftruncate/fsync.
#include "runtime/platform/system/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "runtime/foundation/strings.h"

struct PlatformFile {
    int fd;
    std::string path;
};

std::string file_native_path(const char16_t* name) {
    std::string path = str_to_utf8(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

PlatformFile* file_create(const char16_t* name, FileAccess access, FileDisposition disposition) {
    std::string path = file_native_path(name);
    if (path.empty()) return nullptr;
    int flags = (access == FILE_ACCESS_READ_WRITE ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (disposition == FILE_OPEN_ALWAYS) flags |= O_CREAT;
    if (disposition == FILE_CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
    int fd;
    do fd = open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
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
        ssize_t n = write(file->fd, static_cast<const char*>(buffer) + done, bytes - done);
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

int file_flush(PlatformFile* file) { return file && fsync(file->fd) == 0; }

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
