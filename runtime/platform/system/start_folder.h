// The folder the program works in, chosen once at start-up before anything reads the settings:
// the folder holding the shipped Files/ (the working folder, or the executable's folder when the
// working folder has none, as after a double click in a file manager) when this user can write
// there; otherwise a per-user folder ($XDG_DATA_HOME/tarnwood or %LOCALAPPDATA%\Tarnwood), made
// on the first start with Files/Screenshots/ and a copy of the shipped settings file. Everything
// after start-up (the settings, PathMain, screenshots, the restart's new instance) works in the
// chosen folder because it becomes the process's working folder.
// Relies on: start_folder.cpp (the rule, std::filesystem) and start_folder_posix.cpp /
// start_folder_win32.cpp (the places and the write probe of each system).
#pragma once
#include <string>

// The places the rule looks at, as UTF-8 folder names ("" = none).
struct StartFolderPlaces {
    std::string working;    // the process's working folder
    std::string program;    // the executable's folder
    std::string installed;  // where an installed program's shipped Files/ lives (Linux: ../share/games/tarnwood)
    std::string user;       // the per-user folder
};

// Whether this user can create (and remove) a file in the folder.
using StartFolderCanWrite = bool (*)(const std::string& folder);

// Applies the rule to the places, with the write probe given (tests inject one): returns the folder
// to work in, or "" to stay in the working folder as it is (no shipped Files/ anywhere, or a
// per-user folder that cannot be made). Makes and seeds the per-user folder when it chooses it.
std::string start_folder_choose(const StartFolderPlaces& places, StartFolderCanWrite can_write);

// The system's places and write probe (start_folder_posix.cpp / start_folder_win32.cpp).
StartFolderPlaces start_folder_places();
bool start_folder_can_write(const std::string& folder);

// The program's start-up step: chooses with the system's places and probe and makes the chosen
// folder the working folder. Returns the folder now worked in.
std::string start_folder_settle();
