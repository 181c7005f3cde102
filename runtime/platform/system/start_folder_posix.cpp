// The Linux places of the start-up folder rule: the working folder, the executable's folder, the
// installed layout's shared data (../share/games/tarnwood beside ../games or ../bin) and the
// per-user folder $XDG_DATA_HOME/tarnwood (default ~/.local/share/tarnwood); and the write probe,
// a temporary file created and removed. The Win32 twin is start_folder_win32.cpp.
// Relies on: POSIX open/unlink/getcwd, system.h (the executable's name), strings.h.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/start_folder.h"
#include "runtime/platform/system/system.h"

namespace {
std::string absolute_env(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}
}  // namespace

StartFolderPlaces start_folder_places() {
    StartFolderPlaces places;
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer)) places.working = buffer;
    char16_t name[4096];
    if (sys_get_module_file_name(name, 4096) > 0) {
        std::string program = str_to_utf8(name);
        size_t slash = program.rfind('/');
        if (slash != std::string::npos) {
            places.program = program.substr(0, slash);
            places.installed = places.program + "/../share/games/tarnwood";
        }
    }
    std::string data = absolute_env("XDG_DATA_HOME");
    if (data.empty()) {
        std::string home = absolute_env("HOME");
        if (!home.empty()) data = home + "/.local/share";
    }
    if (!data.empty()) places.user = data + "/tarnwood";
    return places;
}

bool start_folder_can_write(const std::string& folder) {
    std::string probe = folder + "/.tarnwood-write-probe-" + std::to_string(getpid());
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    close(fd);
    return unlink(probe.c_str()) == 0;
}
