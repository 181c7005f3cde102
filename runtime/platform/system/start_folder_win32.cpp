// The Windows places of the start-up folder rule: the working folder, the executable's folder and
// the per-user folder %LOCALAPPDATA%\Tarnwood (an installed program keeps its shipped Files/ beside
// itself, so there is no separate installed layout); and the write probe, a temporary file
// created with delete-on-close. The Linux twin is start_folder_posix.cpp.
// Relies on: GetCurrentDirectoryW, GetEnvironmentVariableW, CreateFileW, system.h (the
// executable's name), strings.h.
#include <windows.h>

#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/start_folder.h"
#include "runtime/platform/system/system.h"

namespace {
std::string utf8(const wchar_t* text) { return str_to_utf8(reinterpret_cast<const char16_t*>(text)); }
}  // namespace

StartFolderPlaces start_folder_places() {
    StartFolderPlaces places;
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, buffer);
    if (n > 0 && n < MAX_PATH * 4) places.working = utf8(buffer);
    char16_t name[MAX_PATH * 4];
    if (sys_get_module_file_name(name, MAX_PATH * 4) > 0) {
        std::string program = str_to_utf8(name);
        size_t slash = program.find_last_of("\\/");
        if (slash != std::string::npos) places.program = program.substr(0, slash);
    }
    n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 4);
    if (n > 0 && n < MAX_PATH * 4) places.user = utf8(buffer) + "\\Tarnwood";
    return places;
}

bool start_folder_can_write(const std::string& folder) {
    std::wstring probe = reinterpret_cast<const wchar_t*>(str_from_utf8(folder).c_str());
    probe += L"\\.tarnwood-write-probe-" + std::to_wstring(GetCurrentProcessId());
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}
