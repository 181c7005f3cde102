// Paths, process start and the message requester on the headless backend.
#include "runtime/foundation/paths.h"
#include "support/platform.h"
#include "support/runtime_fixture.h"

namespace {
class PathsTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        process_init();
    }
    static std::string folder_of(const char16_t* path) {
        int32_t start = str_builder.length;
        path_folder_of(path, start);
        char16_t* out = nullptr;
        str_assign_temp(&out, start);
        std::string text = str_to_utf8(out);
        str_free(out);
        return text;
    }
};
}  // namespace

TEST_F(PathsTest, FolderOfKeepsTrailingSeparator) {
    EXPECT_EQ(folder_of(u"C:\\Games\\Demo\\run.exe"), "C:\\Games\\Demo\\");
    EXPECT_EQ(folder_of(u"/usr/games/tarnwood"), "/usr/games/");
    EXPECT_EQ(folder_of(u"C:\\mixed/path\\x"), "C:\\mixed/path\\");
    EXPECT_EQ(folder_of(u"run.exe"), "");
    EXPECT_EQ(folder_of(nullptr), "");
    EXPECT_EQ(folder_of(u"C:\\a\\b|x\\y"), "C:\\a\\");
    EXPECT_EQ(folder_of(u"\"C:\\G\\run.exe\""), "C:\\G\\");
}

TEST_F(PathsTest, FolderOfTextInsideTheGrowingBuilder) {
    // The path sits in the builder, and the reservation for the folder makes the builder grow.
    std::u16string long_path = u"/" + std::u16string(5000, u'd') + u"/file";
    int32_t start = str_builder.length;
    str_push(long_path.c_str());
    const char16_t* inside = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(str_builder.buffer) + start);
    int32_t out_position = str_builder.length;
    path_folder_of(inside, out_position);
    char16_t* out = nullptr;
    str_assign_temp(&out, out_position);
    EXPECT_EQ(str_to_utf8(out), "/" + std::string(5000, 'd') + "/");
    str_free(out);
}

TEST_F(PathsTest, ProgramFileIsTheRunningExecutable) {
    int32_t start = str_builder.length;
    path_program_file(start);
    char16_t* out = nullptr;
    str_assign_temp(&out, start);
    std::string expected = test_platform::own_executable();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(str_to_utf8(out), expected);
    EXPECT_EQ(str_builder.length, start);
    str_free(out);
    // The long-path prefix Windows may give the name is dropped, and only that prefix.
    const std::pair<std::u16string, std::string> names[] = {
        {u"\\\\?\\C:\\G\\t.exe", "C:\\G\\t.exe"}, {u"C:\\G\\t.exe", "C:\\G\\t.exe"}, {u"\\\\.\\C:\\t.exe", "\\\\.\\C:\\t.exe"}};
    for (auto [name, expected_name] : names) {
        int32_t n = path_drop_long_prefix(name.data(), int32_t(name.size()));
        EXPECT_EQ(str_to_utf8(name.substr(0, size_t(n)).c_str()), expected_name);
    }
}

TEST_F(PathsTest, ProcessRunQuotesAnUnquotedCommand) {
    EXPECT_EQ(process_run(u"/opt/my games/tarnwood"), 1);
    auto& starts = headless_system().process_starts;
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, "/opt/my games/tarnwood");  // the quotes kept the blank inside the name
    EXPECT_FALSE(starts[0].through_shell);
    EXPECT_EQ(starts[0].working_folder, "");
}

TEST_F(PathsTest, ProcessRunUsesAQuotedCommandAsItIs) {
    EXPECT_EQ(process_run(u"\"/opt/g/run\" extra"), 1);
    auto& starts = headless_system().process_starts;
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, "/opt/g/run");
    EXPECT_FALSE(starts[0].through_shell);
}

TEST_F(PathsTest, ProcessRunFallsBackToTheShellInTheCommandsFolder) {
    headless_system().spawn_result = 0;
    EXPECT_EQ(process_run(u"C:\\G\\run.exe"), 1);
    auto& starts = headless_system().process_starts;
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_TRUE(starts[1].through_shell);
    EXPECT_EQ(starts[1].program, "C:\\G\\run.exe");
    EXPECT_EQ(starts[1].working_folder, "C:/G/");

    EXPECT_EQ(process_run(u"/usr/bin/tool"), 1);
    EXPECT_EQ(starts.back().working_folder, "/usr/bin/");

    // A separator only at the first character names no folder.
    EXPECT_EQ(process_run(u"/tool"), 1);
    EXPECT_EQ(starts.back().working_folder, "");

    headless_system().shell_result = 0;
    EXPECT_EQ(process_run(u"/nowhere/tool"), 0);
    EXPECT_EQ(process_run(u""), 0);
}

TEST_F(PathsTest, RequesterDisablesOtherWindowsAndEnablesThemAgain) {
    WindowHandle front = sys_window_create(), other = sys_window_create(), off = sys_window_create(),
                 hidden = sys_window_create();
    sys_window_set_visible(front, true);
    sys_window_set_visible(other, true);
    sys_window_set_visible(off, true);
    sys_enable_window(off, 0);
    sys_window_set_foreground(front);

    bool other_enabled_meanwhile = true;
    headless_system().on_message_box = [&] { other_enabled_meanwhile = sys_is_window_enabled(other); };
    EXPECT_EQ(requester_message(u"Tarnwood", u"Hallo"), 1);
    EXPECT_FALSE(other_enabled_meanwhile);
    headless_system().on_message_box = nullptr;
    ASSERT_EQ(headless_system().message_boxes.size(), 1u);
    EXPECT_EQ(headless_system().message_boxes[0].caption, "Tarnwood");
    EXPECT_EQ(headless_system().message_boxes[0].text, "Hallo");
    EXPECT_TRUE(sys_is_window_enabled(other));
    EXPECT_FALSE(sys_is_window_enabled(off));  // was disabled before: stays disabled
    EXPECT_EQ(process_state.disabled_windows, nullptr);
    for (WindowHandle w : {front, other, off, hidden}) sys_window_destroy(w);
}

TEST_F(PathsTest, MessageBoxTextsKeepEveryCharacter) {
    // The start-up messages are German; UTF-16 in, UTF-8 recorded, nothing lost on the way.
    const struct {
        const char16_t* caption;
        const char16_t* text;
        const char* caption_utf8;
        const char* text_utf8;
    } cases[] = {
        {u"Tarnwood", u"Sound konnte nicht initialisiert werden", "Tarnwood", "Sound konnte nicht initialisiert werden"},
        {u"Größe", u"Auflösung: 1024 × 768 – Grüße, Ärger, Öl, Übel, ß €", "Größe",
         "Auflösung: 1024 × 768 – Grüße, Ärger, Öl, Übel, ß €"},
        {u"", u"Zeile 1\r\nZeile 2\t\U0001D11E", "", "Zeile 1\r\nZeile 2\t\xF0\x9D\x84\x9E"},
    };
    for (const auto& c : cases) {
        headless_system().message_boxes.clear();
        EXPECT_EQ(requester_message(c.caption, c.text), 1);
        ASSERT_EQ(headless_system().message_boxes.size(), 1u);
        EXPECT_EQ(headless_system().message_boxes[0].caption, c.caption_utf8);
        EXPECT_EQ(headless_system().message_boxes[0].text, c.text_utf8);
    }
}
