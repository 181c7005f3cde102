// The rule that chooses the folder the program works in (start_folder.h), the same on every system.
// Relies on: std::filesystem (error codes, never exceptions), start_folder_places and
// start_folder_can_write of the system's twin file.
#include "runtime/platform/system/start_folder.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
fs::path native(const std::string& utf8) { return fs::u8path(utf8); }

bool has_files(const std::string& folder) {
    std::error_code error;
    return !folder.empty() && fs::is_directory(native(folder) / "Files", error);
}

// Makes the per-user folder on its first use: Files/Screenshots/ and a copy of the shipped
// settings file. A folder that already holds Files/ is left as the player left it.
bool prepare_user_folder(const std::string& user, const std::string& shipped) {
    if (has_files(user)) return true;
    std::error_code error;
    fs::path files = native(user) / "Files";
    fs::create_directories(files / "Screenshots", error);
    if (error) return false;
    fs::path settings = native(shipped) / "Files" / "Tarnwood.cfg";
    if (fs::is_regular_file(settings, error))
        fs::copy_file(settings, files / "Tarnwood.cfg", fs::copy_options::skip_existing, error);
    return has_files(user);
}
}  // namespace

std::string start_folder_choose(const StartFolderPlaces& places, StartFolderCanWrite can_write) {
    std::string shipped = has_files(places.working) ? places.working
                          : has_files(places.program) ? places.program
                                                      : std::string();
    if (!shipped.empty() && can_write((native(shipped) / "Files").u8string())) return shipped;
    // An installed game: its Files/ are only a template, never worked in.
    std::string seed = !shipped.empty() ? shipped : has_files(places.installed) ? places.installed : std::string();
    if (seed.empty()) return std::string();
    if (!places.user.empty() && prepare_user_folder(places.user, seed)) return places.user;
    return shipped;
}

std::string start_folder_settle() {
    std::string folder = start_folder_choose(start_folder_places(), start_folder_can_write);
    std::error_code error;
    if (!folder.empty()) fs::current_path(native(folder), error);
    return fs::current_path(error).u8string();
}
