// A program for the process-start tests on Windows: writes into its working folder a file
// start_probe.txt (UTF-8) with four lines: its own full file name, its working folder, its
// command line, and the number of arguments its C runtime found (the program name included).
// Relies on: kernel32, shell32 (CommandLineToArgvW).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {
std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}
}  // namespace

int main() {
    wchar_t module[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    wchar_t folder[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(MAX_PATH * 4, folder);
    int count = 0;
    if (HLOCAL args = CommandLineToArgvW(GetCommandLineW(), &count)) LocalFree(args);
    std::string report = utf8(module) + "\n" + utf8(folder) + "\n" + utf8(GetCommandLineW()) + "\n" +
                         std::to_string(count) + "\n";
    FILE* out = _wfopen(L"start_probe.txt.part", L"wb");
    if (!out) return 1;
    std::fwrite(report.data(), 1, report.size(), out);
    std::fclose(out);
    // Appears whole or not at all.
    return MoveFileExW(L"start_probe.txt.part", L"start_probe.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
