// The one file layer through which every file the program opens goes (settings, screenshots, BMP
// files): stand-ins for CreateFileW, ReadFile, WriteFile, SetFilePointer, SetEndOfFile,
// GetFileSize, FlushFileBuffers, CloseHandle and _wfopen. Names keep the program's own backslashes
// ("Files\Tarnwood.cfg"); they are mapped to "/" here, when a file is opened.
// Relies on: POSIX open/read/write, strings.h for UTF-16 names.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

struct PlatformFile;

enum FileAccess { FILE_ACCESS_READ = 1, FILE_ACCESS_READ_WRITE = 3 };
enum FileDisposition {
    FILE_OPEN_EXISTING = 3,  // fails when missing
    FILE_OPEN_ALWAYS = 4,    // created when missing
    FILE_CREATE_ALWAYS = 2,  // created or cut to 0 bytes
};
enum FileSeekOrigin { FILE_SEEK_BEGIN = 0, FILE_SEEK_CURRENT = 1, FILE_SEEK_END = 2 };

std::string file_native_path(const char16_t* name);  // "\" -> "/", UTF-8

PlatformFile* file_create(const char16_t* name, FileAccess access, FileDisposition disposition);
int file_read(PlatformFile* file, void* buffer, uint32_t bytes, uint32_t* bytes_read);
int file_write(PlatformFile* file, const void* buffer, uint32_t bytes, uint32_t* bytes_written);
int64_t file_seek(PlatformFile* file, int64_t offset, FileSeekOrigin origin);  // new position, -1 on failure
int64_t file_size(PlatformFile* file);                                           // -1 on failure
int file_set_end(PlatformFile* file);  // cuts the file at the current position
int file_flush(PlatformFile* file);    // to the disk (fsync)
void file_close(PlatformFile* file);
int file_descriptor(PlatformFile* file);
const std::string& file_path(PlatformFile* file);

// _wfopen: a C stream for libraries that write through stdio (the PNG encoder).
FILE* file_fopen(const char16_t* name, const char* mode);
