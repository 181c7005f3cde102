// The one file layer through which every file the program opens goes (settings, screenshots, BMP
// files): stand-ins for CreateFileW, ReadFile, WriteFile, SetFilePointer, SetEndOfFile,
// GetFileSize, FlushFileBuffers, CloseHandle and _wfopen. Names keep the program's own backslashes
// ("Files\Tarnwood.cfg"); on Linux they are mapped to "/" when a file is opened, on Windows they
// reach the system as written.
// Also the safe replacement of a file's whole contents (temporary file, sync, rename), new files
// written whole under a temporary name and renamed into place (staged files), and the fault
// injection through which tests make both fail at each step.
// Relies on: file_posix.cpp (open/read/write/fsync/rename) or file_win32.cpp (CreateFileW and
// friends, MoveFileExW), strings.h for UTF-16 names.
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

std::string file_native_path(const char16_t* name);  // UTF-8; on Linux "\" -> "/"

// Opens regular files only: a folder, a named pipe or a device gives null (and never blocks). A
// file without write permission (no write bit for its owner; the read-only attribute on Windows)
// opens only for reading, whoever runs the program (root and administrators too).
PlatformFile* file_create(const char16_t* name, FileAccess access, FileDisposition disposition);
int file_read(PlatformFile* file, void* buffer, uint32_t bytes, uint32_t* bytes_read);
int file_write(PlatformFile* file, const void* buffer, uint32_t bytes, uint32_t* bytes_written);
int64_t file_seek(PlatformFile* file, int64_t offset, FileSeekOrigin origin);  // new position, -1 on failure
int64_t file_size(PlatformFile* file);                                           // -1 on failure
int file_set_end(PlatformFile* file);  // cuts the file at the current position
int file_flush(PlatformFile* file);    // to the disk (fsync)
void file_close(PlatformFile* file);
int file_descriptor(PlatformFile* file);  // -1 on Windows, where files are handles
const std::string& file_path(PlatformFile* file);

// _wfopen: a C stream for libraries that write through stdio (the PNG encoder).
FILE* file_fopen(const char16_t* name, const char* mode);

// Replaces the whole contents of the open file's target with size bytes, so that a failure at any
// point leaves the target as it was: a symbolic link is followed to the real file, the bytes go
// to a temporary file beside it, which is flushed to the disk, given the target's mode (and owner
// where allowed; on Windows its attributes) and renamed over it (MoveFileExW, replacing, written
// through); then the folder is synced. The open handle keeps pointing at the old contents (on
// Windows, which replaces no open file, it is reopened on the new ones). On failure the temporary
// file is removed. A target that lost its write permission since it was opened is not replaced.
enum FileReplaceResult {
    FILE_REPLACE_FAILED = 0,   // nothing changed
    FILE_REPLACE_DONE = 1,     // the target holds the new bytes
    FILE_REPLACE_NO_TEMP = 2,  // the folder refuses new files (read-only folder): nothing changed,
                               // the caller may rewrite the file in place instead
};
FileReplaceResult file_replace_contents(PlatformFile* file, const void* data, size_t size);

// Removes the temporary files that replacements of this file's target left behind when their
// process was killed half-way (this process's own, or those of processes that no longer run).
void file_remove_stale_replacements(PlatformFile* file);
// Removes the temporary files of staged files (below) in the folder whose names begin with
// name_prefix and whose writing process no longer runs: files left by a process killed half-way.
void file_remove_stale_temporaries(const char16_t* folder, const char16_t* name_prefix);

// Writes data from the start of the file and cuts it off behind: the in-place rewrite for files
// whose folder takes no temporary file. Returns 1 when every step succeeded.
int file_rewrite_in_place(PlatformFile* file, const void* data, size_t size);

// A new file written whole under a temporary name beside its final one and put in place by a
// rename when complete, so that a reader (or a crash) finds the old file or the complete new one,
// never a part. Touches no state shared between threads but the injected faults, so a worker
// thread may write one while the game thread uses the file layer.
// file_create_staged: an empty temporary file in name's folder, open for writing; null when the
// folder is missing or takes no new file. Write it with file_write.
PlatformFile* file_create_staged(const char16_t* name);
// Syncs and closes the temporary file, renames it to name (replacing a file of that name) and
// syncs the folder; 1 on success. On failure the temporary file is removed. The handle is gone
// in every case.
int file_commit_staged(PlatformFile* staged, const char16_t* name);
// Closes and removes the temporary file.
void file_discard_staged(PlatformFile* staged);

// Test controls: injected failures of the file layer. A zero-filled record injects nothing.
struct FileFaults {
    int temp_create_error;  // errno with which creating a temporary file fails (EACCES, ENOSPC...)
                            // (file_replace_contents and file_create_staged)
    bool limit_writes;      // when set, writes fail with ENOSPC once write_budget bytes went out
    int64_t write_budget;
    int sync_error;         // errno with which syncing a file fails
    int rename_error;       // errno with which renaming a file fails (replace and commit)
    int open_write_error;   // errno with which opening a file for writing fails (a read-only file)
    int open_read_error;    // errno with which every opening fails (a file without read permission)
};
void file_set_faults(const FileFaults& faults);
void file_clear_faults();
