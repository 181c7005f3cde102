// What the tests need from the system they run on, in one place for Linux and Windows: the test
// program's own full file name, the identity of a file (to tell a rewritten file from one replaced
// by a new one), running a program and waiting for its exit code, and a new unique folder.
// Relies on: platform.cpp (Linux /proc, posix_spawn; or Windows QueryFullProcessImageNameW,
// GetFileInformationByHandle, _wspawnv). The header itself includes no system header, so that
// tests may include it beside the stand-ins' own Windows-like types.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test_platform {

#if defined(_WIN32)
constexpr char kSeparator = '\\';          // what the system writes between folders
constexpr const char* kProgramSuffix = ".exe";
#else
constexpr char kSeparator = '/';
constexpr const char* kProgramSuffix = "";
#endif
// Built for the browser's page and run under node: one thread, no processes of its own, no memory
// pages to drop, and the program file the page names (/tarnwood/tarnwood).
#if defined(__EMSCRIPTEN__)
constexpr bool kInThePage = true;
#else
constexpr bool kInThePage = false;
#endif

// UTF-8 paths in and out of std::filesystem, on both systems.
inline std::filesystem::path path(const std::string& utf8) { return std::filesystem::u8path(utf8); }
inline std::string utf8(const std::filesystem::path& p) { return p.u8string(); }


// The folder part of a path, trailing separator included.
inline std::string folder_of(const std::string& file) {
    size_t end = file.find_last_of("/\\");
    return end == std::string::npos ? std::string() : file.substr(0, end + 1);
}




// The running test program's full file name, from the process's image (Windows) or /proc (Linux);
// in the page's build the name the page gives its program.
std::string own_executable();
// A number that names the file itself rather than its name (0 if it cannot be read).
uint64_t file_identity(const std::string& name);
// Runs the program with the arguments and waits: its exit code, or -1 if it could not run.
int run(const std::vector<std::string>& argv);
// A new empty folder named prefix + random letters in the system's temporary folder ("" if none
// could be made).
std::string new_folder(const std::string& prefix, const std::filesystem::path& base = {});

}  // namespace test_platform
