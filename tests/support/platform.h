// What the tests need from the system they run on, in one place for Linux and Windows: the test
// program's own full file name, the identity of a file (to tell a rewritten file from one replaced
// by a new one), running a program and waiting for its exit code, and a new unique folder.
// Relies on: Linux /proc, posix_spawn; or Windows (QueryFullProcessImageNameW,
// GetFileInformationByHandle, _wspawnv).
#pragma once
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace test_platform {

#if defined(_WIN32)
constexpr char kSeparator = '\\';          // what the system writes between folders
constexpr const char* kProgramSuffix = ".exe";
#else
constexpr char kSeparator = '/';
constexpr const char* kProgramSuffix = "";
#endif

// UTF-8 paths in and out of std::filesystem, on both systems.
inline std::filesystem::path path(const std::string& utf8) { return std::filesystem::u8path(utf8); }
inline std::string utf8(const std::filesystem::path& p) { return p.u8string(); }

// The running test program's full file name, from the process's image (Windows) or /proc (Linux).
inline std::string own_executable() {
#if defined(_WIN32)
    wchar_t name[32768];
    DWORD size = 32768;
    if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, name, &size)) return std::string();
    return utf8(std::filesystem::path(std::wstring(name, size)));
#else
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return std::string(buffer, n > 0 ? size_t(n) : 0);
#endif
}

// The folder part of a path, trailing separator included.
inline std::string folder_of(const std::string& file) {
    size_t end = file.find_last_of("/\\");
    return end == std::string::npos ? std::string() : file.substr(0, end + 1);
}

// A number that names the file itself rather than its name (0 if it cannot be read).
inline uint64_t file_identity(const std::string& name) {
#if defined(_WIN32)
    HANDLE h = CreateFileW(path(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok ? (uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow) : 0;
#else
    struct stat st;
    return stat(name.c_str(), &st) == 0 ? uint64_t(st.st_ino) : 0;
#endif
}

// Runs the program with the arguments and waits: its exit code, or -1 if it could not run.
inline int run(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
#if defined(_WIN32)
    // _wspawnv joins the arguments with blanks: quote each.
    std::vector<std::wstring> quoted;
    for (const std::string& a : argv) quoted.push_back(L"\"" + path(a).wstring() + L"\"");
    std::vector<const wchar_t*> args;
    for (const std::wstring& q : quoted) args.push_back(q.c_str());
    args.push_back(nullptr);
    intptr_t rc = _wspawnv(_P_WAIT, path(argv[0]).c_str(), args.data());
    return rc < 0 ? -1 : int(rc);
#else
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
#endif
}

// A new empty folder named prefix + random letters in the system's temporary folder ("" if none
// could be made).
inline std::string new_folder(const std::string& prefix, const std::filesystem::path& base = {}) {
    std::error_code error;
    std::filesystem::path root = base.empty() ? std::filesystem::temp_directory_path(error) : base;
    if (error) return std::string();
    static std::mt19937_64 random{std::random_device{}() ^ uint64_t(std::filesystem::file_time_type::clock::now()
                                                                         .time_since_epoch()
                                                                         .count())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        uint64_t r = random();
        for (int i = 0; i < 8; ++i) name += "abcdefghijklmnopqrstuvwxyz0123456789"[(r >> (6 * i)) % 36];
        if (std::filesystem::create_directory(root / name, error)) return utf8(root / name);
    }
    return std::string();
}

}  // namespace test_platform
