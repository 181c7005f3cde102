// The start-up folder rule with an injected write probe (the same answer on Linux and under Wine),
// on real folders, and the system's own write probe.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime/platform/system/start_folder.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace {
bool writable_answer = true;
bool injected_can_write(const std::string&) { return writable_answer; }

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Makes place/Files/Tarnwood.cfg holding the place's own name.
void ship(const fs::path& place, const std::string& text) {
    fs::create_directories(place / "Files");
    std::ofstream(place / "Files" / "Tarnwood.cfg", std::ios::binary) << text;
}

struct Case {
    const char* name;
    const char* shipped_in;   // places holding a Files/: any of 'w'orking, 'p'rogram, 'i'nstalled, 'u'ser
    bool writable;            // the injected probe's answer
    bool user_named;          // the system names a per-user folder
    const char* chosen;       // "working", "program", "user" or "" (stay)
    const char* user_settings;  // the per-user settings file afterwards ("-": no per-user folder)
};
const Case kCases[] = {
    {"portable folder", "w", true, true, "working", "-"},
    {"double click: the executable's folder", "p", true, true, "program", "-"},
    {"working folder first", "wp", true, true, "working", "-"},
    {"read-only folder: seeded per-user folder", "wp", false, true, "user", "working"},
    {"installed layout is only a template", "i", true, true, "user", "installed"},
    {"existing per-user folder kept", "iu", false, true, "user", "user"},
    {"nothing shipped: stay", "", false, true, "", "-"},
    {"no per-user folder named: stay in the shipped one", "p", false, false, "program", "-"},
};
}  // namespace

TEST(StartFolder, RuleWithInjectedWriteProbe) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        fs::path base = test_platform::path(test_platform::new_folder("start_folder"));
        ASSERT_FALSE(base.empty());
        StartFolderPlaces places{test_platform::utf8(base / "working"), test_platform::utf8(base / "program"),
                                 test_platform::utf8(base / "installed"),
                                 c.user_named ? test_platform::utf8(base / "user") : std::string()};
        for (const char* place : {"working", "program", "installed", "user"}) {
            fs::create_directories(base / place);
            if (std::string(c.shipped_in).find(place[0]) != std::string::npos) ship(base / place, place);
        }
        writable_answer = c.writable;
        std::string chosen = start_folder_choose(places, injected_can_write);
        EXPECT_EQ(chosen, *c.chosen ? test_platform::utf8(base / c.chosen) : std::string());
        fs::path user_files = base / "user" / "Files";
        if (std::string(c.user_settings) == "-") {
            EXPECT_FALSE(fs::exists(user_files) && std::string(c.shipped_in).find('u') == std::string::npos);
        } else {
            EXPECT_EQ(read_text(user_files / "Tarnwood.cfg"), c.user_settings);
            EXPECT_TRUE(fs::is_directory(user_files / "Screenshots") || std::string(c.shipped_in).find('u') != std::string::npos);
        }
        std::error_code error;
        fs::remove_all(base, error);
    }
}

TEST(StartFolder, SystemProbeCreatesAndRemovesItsFile) {
    fs::path base = test_platform::path(test_platform::new_folder("start_probe"));
    EXPECT_TRUE(start_folder_can_write(test_platform::utf8(base)));
    EXPECT_TRUE(fs::is_empty(base));
    EXPECT_FALSE(start_folder_can_write(test_platform::utf8(base / "missing")));
    std::error_code error;
    fs::remove_all(base, error);
}

TEST(StartFolder, SystemPlaces) {
    StartFolderPlaces places = start_folder_places();
    std::error_code error;
    EXPECT_EQ(places.working, test_platform::utf8(fs::current_path(error)));
    std::string program = test_platform::folder_of(test_platform::own_executable());
    EXPECT_EQ(places.program + test_platform::kSeparator, program);
    // $XDG_DATA_HOME/tarnwood or ~/.local/share/tarnwood; %LOCALAPPDATA%\Tarnwood.
    std::string name = test_platform::utf8(test_platform::path(places.user).filename());
    EXPECT_TRUE(name == "tarnwood" || name == "Tarnwood") << places.user;
}
