// Loading the settings file at start-up, in a fresh working folder with its own Files/ folder:
// defaults, the "PathMain" and "Version" rewrites, the screenshot key, and the tables built from
// what was loaded.
#include <cstring>

#include "game/settings/settings.h"
#include "game/startup/game_main.h"
#include "game/startup/game_state.h"
#include "game/tables/tables.h"
#include "runtime/foundation/prefs.h"
#include "tests/support/runtime_fixture.h"
#include "tests/support/platform.h"
#include "tests/support/temp_folder.h"

namespace {
// Start-up and shutdown only: no menu runs between them.
void no_main_loop() {}
}  // namespace

namespace {
const std::string BOM = "\xEF\xBB\xBF";

class SettingsTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        std::filesystem::create_directory(folder.file("Files"));
        folder.enter();
        std::memset(&game, 0, sizeof game);
        prefs_init();
        game_init_state();
        cfg = folder.file("Files/Tarnwood.cfg");
    }
    void TearDown() override {
        prefs_close();
        std::memset(&game, 0, sizeof game);
        folder.leave();
        RuntimeTest::TearDown();
    }
    static std::string utf8(const char16_t* s) { return str_to_utf8(s); }
    uint64_t inode() { return test_platform::file_identity(cfg); }
    // A file that already names this program's folder and version, plus the given lines.
    std::string current_file(const std::string& more) {
        return BOM + "\r\n[Application]\r\nPathMain = " + utf8(game.program_folder) + "\r\nVersion = 0.0.0.6\r\n" + more;
    }

    TempFolder folder;
    std::string cfg;
};

TEST_F(SettingsTest, WithoutFileTheDefaultsStayAndNothingIsCreated) {
    game_load_settings();
    EXPECT_EQ(game.screen_width, 1024);
    EXPECT_EQ(game.screen_height, 768);
    EXPECT_EQ(game.screen_depth, 32);
    EXPECT_EQ(game.screen_vsync, 1);
    EXPECT_EQ(game.screen_refresh, 75);
    EXPECT_EQ(game.new_screen_width, 0);
    EXPECT_EQ(utf8(game.menu_page), "Main");
    EXPECT_EQ(utf8(game.language), "German");
    EXPECT_EQ(game.music_on, 1);
    EXPECT_EQ(game.menu_info, 0);
    for (char16_t* name : {game.key_forward, game.key_backward, game.key_left, game.key_right, game.key_jump,
                           game.key_journal, game.key_map, game.key_screenshot})
        EXPECT_EQ(utf8(name), "");
    EXPECT_EQ(game.screenshot_key_code, 88);
    prefs_close();
    EXPECT_FALSE(std::filesystem::exists(cfg));

    game_build_tables();
    EXPECT_EQ(utf8(game.txt_back), "Zurück");
    EXPECT_EQ(utf8(game.txt_forward_key), "");
}

TEST_F(SettingsTest, ProgramFolderEndsWithTheSeparator) {
    if (test_platform::kInThePage) GTEST_SKIP() << "looks for the test program in its folder (the page names /tarnwood/tarnwood, which is no file)";
    std::string folder_name = utf8(game.program_folder);
    ASSERT_FALSE(folder_name.empty());
    EXPECT_EQ(folder_name.back(), test_platform::kSeparator);
    EXPECT_TRUE(std::filesystem::exists(test_platform::path(folder_name + "tarnwood_tests" + test_platform::kProgramSuffix)));
}

TEST_F(SettingsTest, FileWithoutPathMainIsRewrittenWithTheGroupAppended) {
    TempFolder::write(cfg, "[Screen]\r\nScreenW=800\r\nScreenH=600\r\n");
    game_load_settings();
    EXPECT_EQ(game.screen_width, 800);
    EXPECT_EQ(game.screen_height, 600);
    EXPECT_EQ(game.new_screen_width, 800);
    EXPECT_EQ(game.new_screen_height, 600);
    EXPECT_EQ(game.new_screen_refresh, 75);
    // Keys missing from an existing file take the file defaults, not the empty start values.
    EXPECT_EQ(utf8(game.key_forward), "W");
    EXPECT_EQ(utf8(game.key_jump), "Space");
    EXPECT_EQ(game.screenshot_key_code, 88);
    EXPECT_EQ(TempFolder::read(cfg), BOM + "\r\n[Screen]\r\nScreenW = 800\r\nScreenH = 600\r\n[Application]\r\nPathMain = " +
                                         utf8(game.program_folder) + "\r\n");

    // The same folder again: nothing is written (the file is not even replaced).
    uint64_t before = inode();
    std::string bytes = TempFolder::read(cfg);
    game_load_settings();
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(TempFolder::read(cfg), bytes);
}

TEST_F(SettingsTest, MovedProgramAndOtherVersionAreRewritten) {
    TempFolder::write(cfg, "[Application]\r\nPathMain=C:\\Games\\Tarnwood\\\r\nVersion=0.0.0.5\r\n");
    game_load_settings();
    EXPECT_EQ(TempFolder::read(cfg), current_file(""));
}

TEST_F(SettingsTest, EveryKeyReachesItsField) {
    TempFolder::write(cfg, current_file("[Screen]\r\nScreenW=1280\r\nScreenH=720\r\nScreenD=16\r\nScreenS=0\r\n"
                                        "ScreenHz=60\r\n[Settings]\r\nMenuPage=GraphicHz\r\nLog=1\r\n"
                                        "[OptionsKeys]\r\nForward=Up\r\nBackward=Down\r\nLeft=Q\r\nRight=E\r\n"
                                        "Jump=Ctrl\r\nJournal=J\r\nMap=N\r\nScreenshot=F3\r\n"
                                        "[OptionsGame]\r\nLanguage=English\r\nMenuInfo=1\r\n"
                                        "[OptionsSound]\r\nMusic=0\r\n"));
    uint64_t before = inode();
    game_load_settings();
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(game.screen_width, 1280);
    EXPECT_EQ(game.screen_height, 720);
    EXPECT_EQ(game.screen_depth, 16);
    EXPECT_EQ(game.screen_vsync, 0);
    EXPECT_EQ(game.screen_refresh, 60);
    EXPECT_EQ(game.new_screen_refresh, 60);
    EXPECT_EQ(utf8(game.menu_page), "GraphicHz");
    EXPECT_EQ(game.log_config, 1);
    EXPECT_EQ(utf8(game.key_forward), "Up");
    EXPECT_EQ(utf8(game.key_backward), "Down");
    EXPECT_EQ(utf8(game.key_left), "Q");
    EXPECT_EQ(utf8(game.key_right), "E");
    EXPECT_EQ(utf8(game.key_jump), "Ctrl");
    EXPECT_EQ(utf8(game.key_journal), "J");
    EXPECT_EQ(utf8(game.key_map), "N");
    EXPECT_EQ(utf8(game.key_screenshot), "F3");
    EXPECT_EQ(game.screenshot_key_code, 61);
    EXPECT_EQ(utf8(game.language), "English");
    EXPECT_EQ(game.menu_info, 1);
    EXPECT_EQ(game.music_on, 0);

    game_build_tables();
    EXPECT_EQ(utf8(game.txt_back), "Back");
    EXPECT_EQ(utf8(game.txt_forward_key), "Up");
    EXPECT_EQ(utf8(game.txt_screenshot_key), "F3");
    EXPECT_EQ(game.rect_back.y, 620);
}

TEST_F(SettingsTest, ScreenshotKeyNames) {
    const struct {
        const char* name;
        int32_t code;
    } cases[] = {{"f10", 68}, {"F10", 68}, {"F1", 59}, {"f11", 87}, {"F12", 88}, {"Print", 88},
                 {"", 88},    {"F13", 88}, {"fF1", 88}, {"f1 ", 59}};
    for (const auto& c : cases) {
        TempFolder::write(cfg, current_file(std::string("[OptionsKeys]\r\nScreenshot=") + c.name + "\r\n"));
        game_load_settings();
        EXPECT_EQ(game.screenshot_key_code, c.code) << '"' << c.name << '"';
    }
    EXPECT_EQ(game_screenshot_key_code(nullptr), 88);
    EXPECT_EQ(game_screenshot_key_code(u"f1 "), 88);  // exact names only; the store trims blanks
}

TEST_F(SettingsTest, LowerCaseLanguageLeavesEveryTextEmpty) {
    TempFolder::write(cfg, current_file("[OptionsGame]\r\nLanguage=german\r\n"));
    game_load_settings();
    EXPECT_EQ(utf8(game.language), "german");
    game_build_tables();
    EXPECT_EQ(game.txt_back, nullptr);
    EXPECT_EQ(game.txt_title, nullptr);
    EXPECT_EQ(game.txt_forward_key, nullptr);
    EXPECT_EQ(game.rect_back.w, 150);  // the layout does not depend on the language
}

TEST_F(SettingsTest, NonNumericScreenSyncTurnsSyncOff) {
    TempFolder::write(cfg, current_file("[Screen]\r\nScreenS=yes\r\nScreenW=wide\r\n"));
    game_load_settings();
    EXPECT_EQ(game.screen_vsync, 0);
    EXPECT_EQ(game.screen_width, 0);
    EXPECT_EQ(game.new_screen_width, 0);
}

TEST_F(SettingsTest, ShippedSettingsFileLoadsAsTheDefaults) {
    std::string shipped = TempFolder::read(
        (std::filesystem::path(TARNWOOD_TEST_DATA) / "../../Files/Tarnwood.cfg").lexically_normal().string());
    ASSERT_FALSE(shipped.empty());
    for (unsigned char c : shipped) ASSERT_TRUE(c < 0x80) << "not plain ASCII";
    TempFolder::write(cfg, shipped);
    game_load_settings();
    EXPECT_EQ(game.screen_width, 1024);
    EXPECT_EQ(game.screen_height, 768);
    EXPECT_EQ(game.screen_depth, 32);
    EXPECT_EQ(game.screen_vsync, 1);
    EXPECT_EQ(game.screen_refresh, 75);
    EXPECT_EQ(utf8(game.menu_page), "Main");
    EXPECT_EQ(game.log_config, 0);
    EXPECT_EQ(utf8(game.key_forward), "W");
    EXPECT_EQ(utf8(game.key_backward), "S");
    EXPECT_EQ(utf8(game.key_left), "A");
    EXPECT_EQ(utf8(game.key_right), "D");
    EXPECT_EQ(utf8(game.key_jump), "Space");
    EXPECT_EQ(utf8(game.key_journal), "Tab");
    EXPECT_EQ(utf8(game.key_map), "M");
    EXPECT_EQ(utf8(game.key_screenshot), "F12");
    EXPECT_EQ(utf8(game.language), "German");
    EXPECT_EQ(game.menu_info, 0);
    EXPECT_EQ(game.music_on, 1);
    // The first start records the program's folder, keeping every group and comment.
    std::string rewritten = TempFolder::read(cfg);
    EXPECT_NE(rewritten.find("PathMain = " + utf8(game.program_folder) + "\r\n"), std::string::npos);
    EXPECT_EQ(rewritten.compare(0, 5, BOM + "\r\n"), 0);
    for (const char* group : {"[Application]", "[Screen]", "[Settings]", "[OptionsKeys]", "[OptionsGame]",
                              "[OptionsSound]"})
        EXPECT_NE(rewritten.find(group), std::string::npos) << group;
}

TEST(GameRunTest, StartUpLoadsSettingsFromTheWorkingFolderAndEndsClean) {
    TempFolder folder;
    std::filesystem::create_directory(folder.file("Files"));
    TempFolder::write(folder.file("Files/Tarnwood.cfg"), "[Application]\r\nPathMain=elsewhere\r\n");
    folder.enter();
    platform_use_backend(&headless_backend);
    EXPECT_EQ(game_run(no_main_loop), 0);
    EXPECT_EQ(game_run(no_main_loop), 0);
    folder.leave();
    std::string bytes = TempFolder::read(folder.file("Files/Tarnwood.cfg"));
    EXPECT_EQ(bytes.find("elsewhere"), std::string::npos);
    EXPECT_EQ(prefs_store.file, nullptr);
    EXPECT_EQ(prefs_store.entries, nullptr);
}
}  // namespace
