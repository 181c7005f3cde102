// Process start on Windows: the quoting of command lines (every argument comes back whole through
// the system's own parser), and real starts of a probe program from folders with blanks and other
// awkward characters, with the working folder given or kept, through the restart's own road
// (process_run over the Win32 system driver).
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/foundation/paths.h"
#include "runtime/platform/d3d/video_driver.h"
#include "runtime/platform/system/spawn.h"
#include "runtime/platform/win32/win32_command_line.h"
#include "support/platform.h"
#include "support/runtime_fixture.h"
#include "support/temp_folder.h"

extern const SystemDriver win32_system_driver;
extern const InputDriver headless_input_driver;
extern const AudioDriver headless_audio_driver;

namespace {

// What the system's parser makes of a command line.
std::vector<std::wstring> parse(const std::wstring& line) {
    int count = 0;
    std::vector<std::wstring> out;
    if (wchar_t** args = CommandLineToArgvW(line.c_str(), &count)) {
        for (int i = 0; i < count; ++i) out.push_back(args[i]);
        LocalFree(args);
    }
    return out;
}

TEST(Win32CommandLine, EveryArgumentComesBackWhole) {
    const std::wstring arguments[] = {
        L"plain",
        L"",
        L"two words",
        L"tab\there",
        L"say \"hi\"",
        L"\"",
        L"ends with backslash\\",
        L"C:\\Program Files\\Tarnwood\\",
        L"back\\\\slashes\\\\\"then quote",
        L"trailing\\\\",
        L"Größe ä ö ü",
        L"a&b|c^d(e)",
    };
    for (const std::wstring& argument : arguments) {
        std::wstring line = win32_command_line(L"C:\\Spiele\\Tarn wood\\tarnwood.exe", {argument, L"next"});
        std::vector<std::wstring> args = parse(line);
        ASSERT_EQ(args.size(), 3u) << test_platform::utf8(line);
        EXPECT_EQ(args[0], L"C:\\Spiele\\Tarn wood\\tarnwood.exe");
        EXPECT_EQ(args[1], argument) << test_platform::utf8(line);
        EXPECT_EQ(args[2], L"next");
    }
}

TEST(Win32CommandLine, PlainArgumentsStayUnquotedAndTheProgramIsAlwaysQuoted) {
    EXPECT_EQ(win32_quote_argument(L"plain"), L"plain");
    EXPECT_EQ(win32_quote_argument(L"C:\\a\\b"), L"C:\\a\\b");  // backslashes alone are literal
    EXPECT_EQ(win32_quote_argument(L""), L"\"\"");
    EXPECT_EQ(win32_command_line(L"C:\\run.exe", {}), L"\"C:\\run.exe\"");
}

// A folder holding a copy of the probe, and what the probe wrote when it ran.
class Win32ProcessStart : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        process_init();
    }
    void TearDown() override {
        folder.leave();
        RuntimeTest::TearDown();
    }
    std::string install_probe(const std::string& sub) {
        std::filesystem::create_directories(test_platform::path(folder.file(sub)));
        std::string target = folder.file(sub) + "/start_probe.exe";
        std::error_code error;
        std::filesystem::copy_file(test_platform::path(TARNWOOD_START_PROBE), test_platform::path(target), error);
        EXPECT_FALSE(error) << error.message();
        // As Windows writes it: backslashes only.
        for (char& c : target)
            if (c == '/') c = '\\';
        return target;
    }
    // The probe's report in `where`: module, working folder, command line, argument count.
    static std::vector<std::string> report(const std::string& where) {
        std::string file = where + "/start_probe.txt";
        for (int i = 0; i < 200 && !std::filesystem::exists(test_platform::path(file)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::istringstream in(TempFolder::read(file));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static std::string backslashed(std::string path) {
        for (char& c : path)
            if (c == '/') c = '\\';
        return path;
    }
    TempFolder folder;
};

const char* const kFolders[] = {
    "Tarn wood",
    "Spiele (Kopie) & Co",
    "Größe 'Ä' ; ^ % $ ! ~",
    "two  blanks,  then more",
};

TEST_F(Win32ProcessStart, ProbeStartsFromAwkwardFoldersInTheFolderGiven) {
    for (std::string sub : kFolders) {
        SCOPED_TRACE(sub);
        std::string program = install_probe(sub);
        std::string work = folder.file(sub + " work");
        std::filesystem::create_directories(test_platform::path(work));
        ASSERT_EQ(spawn_program(program.c_str(), backslashed(work).c_str()), 1);
        std::vector<std::string> lines = report(work);
        ASSERT_EQ(lines.size(), 4u) << TempFolder::read(work + "/start_probe.txt");
        EXPECT_TRUE(test_platform::path(lines[0]) == test_platform::path(program)) << lines[0];
        EXPECT_TRUE(std::filesystem::equivalent(test_platform::path(lines[1]), test_platform::path(work))) << lines[1];
        EXPECT_EQ(lines[2], "\"" + program + "\"");
        EXPECT_EQ(lines[3], "1");  // the program name only: no argument was made of the folder's blanks
    }
}

TEST_F(Win32ProcessStart, RestartThroughProcessRunKeepsTheWorkingFolder) {
    const PlatformBackend win32_system = {"win32-system", &win32_system_driver, &headless_video_driver,
                                          &headless_input_driver, &headless_audio_driver};
    platform_use_backend(&win32_system);
    std::string program = install_probe("Tarn wood (neu) ä");
    std::string work = folder.file("Arbeits Ordner");
    std::filesystem::create_directories(test_platform::path(work));
    TempFolder::write(work + "/marker", "");
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(test_platform::path(work));

    // Unquoted, as the program passes its own file name; then already quoted.
    for (std::string command : {program, "\"" + program + "\""}) {
        SCOPED_TRACE(command);
        std::filesystem::remove(test_platform::path(work + "/start_probe.txt"));
        std::u16string wide = str_from_utf8(command);
        EXPECT_EQ(process_run(wide.c_str()), 1);
        std::vector<std::string> lines = report(work);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_TRUE(test_platform::path(lines[0]) == test_platform::path(program)) << lines[0];
        EXPECT_TRUE(std::filesystem::equivalent(test_platform::path(lines[1]), test_platform::path(work))) << lines[1];
        EXPECT_EQ(lines[3], "1");
    }
    std::filesystem::current_path(here);
    platform_use_backend(&headless_backend);

    // A program that does not exist: neither the start nor the shell's fallback runs anything.
    platform_use_backend(&win32_system);
    EXPECT_EQ(process_run(str_from_utf8(folder.file("nowhere") + "\\missing.exe").c_str()), 0);
    platform_use_backend(&headless_backend);
}

}  // namespace
