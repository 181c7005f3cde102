// The settings file as the store writes it, for tests that compare it byte for byte: every group
// and key the program reads, with this test program's own folder as "PathMain" so that nothing is
// rewritten at start-up. Also the folder and path of the running test executable.
#pragma once
#include <string>

#include "support/platform.h"

inline std::string program_path() { return test_platform::own_executable(); }

inline std::string program_folder() { return test_platform::folder_of(program_path()); }

struct Settings {
    int width = 1024, height = 768, refresh = 75;
    std::string page = "Main", language = "German";
    int menu_info = 0, music = 1, log = 0;

    std::string bytes() const {
        return "\xEF\xBB\xBF\r\n[Application]\r\nPathMain = " + program_folder() +
               "\r\nVersion = 0.0.0.6\r\n[Screen]\r\nScreenW = " + std::to_string(width) +
               "\r\nScreenH = " + std::to_string(height) + "\r\nScreenD = 32\r\nScreenS = 1\r\nScreenHz = " +
               std::to_string(refresh) + "\r\n[Settings]\r\nMenuPage = " + page + "\r\nLog = " + std::to_string(log) +
               "\r\n[OptionsKeys]\r\nScreenshot = F12\r\n[OptionsGame]\r\nLanguage = " + language +
               "\r\nMenuInfo = " + std::to_string(menu_info) + "\r\n[OptionsSound]\r\nMusic = " +
               std::to_string(music) + "\r\n";
    }
};
