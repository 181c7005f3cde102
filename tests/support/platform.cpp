// The system-dependent helpers of platform.h, for Linux and Windows.
// Relies on: Linux /proc, stat, posix_spawn; or Windows (QueryFullProcessImageNameW,
// GetFileInformationByHandle, _wspawnv).
#include "support/platform.h"

#include <random>
#include <system_error>

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

std::string own_executable() {
#if defined(_WIN32)
    wchar_t name[32768];
    DWORD size = 32768;
    if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, name, &size)) return std::string();
    return utf8(std::filesystem::path(std::wstring(name, size)));
#elif defined(__EMSCRIPTEN__)
    return "/tarnwood/tarnwood";
#else
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return std::string(buffer, n > 0 ? size_t(n) : 0);
#endif
}

uint64_t file_identity(const std::string& name) {
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

int run(const std::vector<std::string>& argv) {
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

std::string new_folder(const std::string& prefix, const std::filesystem::path& base) {
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
