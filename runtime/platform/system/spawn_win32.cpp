// Starting programs without waiting for them, on Windows: CreateProcessW with a quoted command
// line, no handle inherited, our environment, in the working folder given (null: ours); the
// shell's default action through ShellExecuteExW. The Linux twin is spawn_posix.cpp.
// Relies on: kernel32, shell32, win32_command_line.h, strings.h (UTF-8 to UTF-16).
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/spawn.h"
#include "runtime/platform/win32/win32_command_line.h"

namespace {
std::wstring wide(const char* utf8) {
    std::wstring out;
    if (!utf8) return out;
    std::u16string s = str_from_utf8(utf8, std::char_traits<char>::length(utf8));
    for (char16_t c : s) out += wchar_t(c);
    return out;
}
}  // namespace

int spawn_program(const char* program, const char* working_folder) {
    if (!program || !*program) return 0;
    std::wstring line = win32_command_line(wide(program), {});
    std::wstring folder = wide(working_folder);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return 0;
    // The program runs on by itself.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

int spawn_shell(const char* file, const char* working_folder) {
    if (!file || !*file) return 0;
    std::wstring name = wide(file), folder = wide(working_folder);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;  // a failure is not the player's business
    info.lpFile = name.c_str();
    info.lpParameters = L"";
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) return 0;
    if (info.hProcess) CloseHandle(info.hProcess);
    return 1;
}
