// Settings files the program cannot use as it would like: a folder where the file should be, and
// a file that opens only for reading (as a read-only file does for an ordinary user). The program
// runs on its defaults or on what it could read, writes nothing, loses nothing, and a change that
// needs a restart still restarts.
#include <cerrno>
#include <filesystem>

#include "runtime/platform/system/file.h"
#include "support/menu_script.h"
#include "support/platform.h"

namespace {
const char kSettings[] =
    "\xEF\xBB\xBF\r\n[Screen]\r\nScreenW = 800\r\nScreenH = 600\r\n[OptionsGame]\r\nLanguage = German\r\n";

TEST(BadSettings, AFolderInPlaceOfTheFileLeavesTheDefaultsAndIsLeftAlone) {
    Scenario s(nullptr);
    std::filesystem::create_directory(test_platform::path(s.file("Files/Tarnwood.cfg")));
    TempFolder::write(s.file("Files/Tarnwood.cfg/inside.txt"), "kept");
    s.step([] {
        EXPECT_EQ(game.screen_width, 1024);  // the built-in default
        EXPECT_EQ(game.menu_state, PAGE_MAIN);
    });
    go(s, PAGE_MAIN, PAGE_LANGUAGE);
    choose(s, 5);  // English: a restart
    s.run();
    EXPECT_FALSE(s.guard_used) << "the program ended by itself";
    EXPECT_EQ(headless_system().process_starts.size(), 1u) << "the restart still happens";
    EXPECT_TRUE(std::filesystem::is_directory(test_platform::path(s.file("Files/Tarnwood.cfg"))));
    EXPECT_EQ(TempFolder::read(s.file("Files/Tarnwood.cfg/inside.txt")), "kept");
}

TEST(BadSettings, AFileThatOpensOnlyForReadingIsReadButNeverWritten) {
    Scenario s(kSettings);
    FileFaults read_only = {};
    read_only.open_write_error = EACCES;
    file_set_faults(read_only);
    s.step([] {
        EXPECT_EQ(game.screen_width, 800);  // what the file says
        EXPECT_EQ(game.screen_height, 600);
    });
    go(s, PAGE_MAIN, PAGE_MENU_INFO);
    choose(s, 4);  // information lines on: saved at once, if the file could take it
    s.step([] { EXPECT_EQ(game.menu_info, 1); });
    go(s, PAGE_MENU_INFO, PAGE_LANGUAGE);
    choose(s, 5);
    s.run();
    file_clear_faults();
    EXPECT_FALSE(s.guard_used);
    EXPECT_EQ(s.settings(), kSettings) << "nothing written, nothing lost";
    EXPECT_EQ(headless_system().process_starts.size(), 1u);
}
}  // namespace
