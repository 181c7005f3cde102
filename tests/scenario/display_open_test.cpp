// Display settings that no screen takes: the program tells the player which values failed and
// where to correct them, ends with a non-zero exit code without running its menu, and writes
// nothing. Sizes the display opens but the layout does not know still run the menu.
#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/system.h"
#include "support/scenario.h"

namespace {
// The test program's own folder, separator included, as the program names it in "PathMain".
std::string program_folder() {
    char16_t name[4096];
    int n = sys_get_module_file_name(name, 4096);
    std::string path = str_to_utf8(std::u16string(name, size_t(n > 0 ? n : 0)).c_str());
    return path.substr(0, path.find_last_of("/\\") + 1);
}

// The [Screen] values as written in the file (numbers or not), and what the program makes of them.
struct ScreenCase {
    const char* what;
    const char *width, *height, *depth, *refresh;
    bool opens;
    const char* shown;  // "WxH depth refresh" as the message must name them; unused when it opens
    const char* vsync = "1";  // ScreenS, and whether the screen opens with vertical sync
    int vsync_on = 1;
};

const ScreenCase kScreenCases[] = {
    {"width 0", "0", "768", "32", "75", false, "0x768 32 75"},
    {"height 0", "1024", "0", "32", "60", false, "1024x0 32 60"},
    {"negative width", "-1024", "768", "32", "75", false, "-1024x768 32 75"},
    {"negative height", "800", "-600", "16", "85", false, "800x-600 16 85"},
    {"width beyond any screen", "20000", "768", "32", "75", false, "20000x768 32 75"},
    {"both far beyond 16 bits", "100000", "100000", "32", "75", false, "100000x100000 32 75"},
    {"depth 24", "1024", "768", "24", "75", false, "1024x768 24 75"},
    {"depth 8", "800", "600", "8", "60", false, "800x600 8 60"},
    {"words for the size", "breit", "hoch", "32", "75", false, "0x0 32 75"},
    {"a word for the depth", "1024", "768", "viel", "75", false, "1024x768 0 75"},
    // Opened by the display though the layout has no entries for it; 16 bits is a valid depth.
    {"unknown size", "1600", "900", "32", "75", true, ""},
    {"16-bit depth, ScreenS 2 (only 1 turns vertical sync on)", "800", "600", "16", "60", true, "", "2", 0},
};

std::string settings_bytes(const ScreenCase& c) {
    // With the program's own folder and version nothing is rewritten while the settings load, and
    // "GraphicRes" would be reset to "Main" as soon as the menu chose its first page.
    return "\xEF\xBB\xBF\r\n[Application]\r\nPathMain = " + program_folder() +
           "\r\nVersion = 0.0.0.6\r\n[Screen]\r\nScreenW = " + c.width + "\r\nScreenH = " + c.height +
           "\r\nScreenD = " + c.depth + "\r\nScreenS = " + c.vsync + "\r\nScreenHz = " + c.refresh +
           "\r\n[Settings]\r\nMenuPage = GraphicRes\r\nLog = 0\r\n[OptionsGame]\r\nLanguage = German\r\n";
}

std::string expected_message(const std::string& shown) {
    size_t x = shown.find('x'), space = shown.find(' '), last = shown.rfind(' ');
    return "Bildschirm konnte nicht ge\xC3\xB6" "ffnet werden:\n\nAufl\xC3\xB6sung:\t\t" + shown.substr(0, x) + "x" +
           shown.substr(x + 1, space - x - 1) + "\nFarbtiefe:\t\t\t" + shown.substr(space + 1, last - space - 1) +
           "\nBildwiederholung:\t\t" + shown.substr(last + 1) +
           "\n\nBitte die Werte unter [Screen] in der Datei Files\\Tarnwood.cfg berichtigen.";
}
}  // namespace

TEST(DisplayOpen, SettingsNoScreenTakesAreReportedAndEndTheProgram) {
    for (const ScreenCase& c : kScreenCases) {
        SCOPED_TRACE(c.what);
        std::string bytes = settings_bytes(c);
        Scenario s(bytes.c_str());
        s.key_tap(SCAN_ESCAPE);  // leaves a menu that runs (the first page is the resolution page)
        s.key_tap(SCAN_ESCAPE);
        int rc = s.run();
        const auto& boxes = headless_system().message_boxes;
        if (c.opens) {
            EXPECT_EQ(rc, 0);
            EXPECT_TRUE(boxes.empty());
            EXPECT_GT(headless_video().presented, 0u);
            EXPECT_EQ(headless_video().screen_vsync, c.vsync_on);
            EXPECT_FALSE(s.guard_used);
            continue;
        }
        EXPECT_NE(rc, 0);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Tarnwood");
        EXPECT_EQ(boxes[0].text, expected_message(c.shown));
        EXPECT_FALSE(boxes[0].screen_open);
        // The menu never ran: no frame was pumped or presented, and no page was chosen.
        EXPECT_EQ(s.frames, 0);
        EXPECT_EQ(headless_video().presented, 0u);
        EXPECT_EQ(s.settings(), bytes) << "nothing may be written";
    }
}

TEST(DisplayOpen, TheConfigurationMessageStillComesFirst) {
    ScreenCase c = kScreenCases[0];
    std::string bytes = settings_bytes(c);
    size_t log = bytes.find("Log = 0");
    bytes.replace(log, 7, "Log = 1");
    Scenario s(bytes.c_str());
    EXPECT_EQ(s.run(), 1);
    const auto& boxes = headless_system().message_boxes;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("Tarnwood wird mit folgender Konfiguration", 0), 0u);
    EXPECT_EQ(boxes[1].text, expected_message(c.shown));
    EXPECT_EQ(s.settings(), bytes);
}
