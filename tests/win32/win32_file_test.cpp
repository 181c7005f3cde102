// The Windows file layer: UTF-16 names (umlauts, characters beyond the first plane) reach the disk
// as written, "\" and "/" both separate folders, the settings write-back leaves the old file byte
// for byte after every injected failure and after a real one (the target held open by another
// program), keeps the target's attributes, and the PNG encoder's stream takes the same names.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/foundation/prefs.h"
#include "runtime/platform/system/file.h"
#include "support/platform.h"
#include "support/runtime_fixture.h"
#include "support/temp_folder.h"

namespace {
const std::string BOM = "\xEF\xBB\xBF";
const std::string kOriginal = "[G]\r\nkey=old value\r\n";
const std::string kRewritten = BOM + "\r\n[G]\r\nkey = neu: Größe\r\n";

// Names in UTF-8, with umlauts, blanks, a euro sign and a character outside the first plane.
const char* const kNames[] = {
    "Größe.cfg",
    "Übung mit Leerzeichen.cfg",
    "Ärger ö ü ß €.cfg",
    "Noten \xF0\x9D\x84\x9E.cfg",  // U+1D11E, a surrogate pair in UTF-16
};

class Win32FileTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        prefs_init();
        file_clear_faults();
    }
    void TearDown() override {
        file_clear_faults();
        prefs_close();
        RuntimeTest::TearDown();
    }
    // The folder's entries as the system lists them (wide names, converted to UTF-8).
    std::vector<std::string> listing() const { return folder.names(); }
    // The file's name with the folder written with backslashes only.
    std::u16string windows_name(const std::string& name) const {
        std::string full = folder.path() + "\\" + name;
        for (char& c : full)
            if (c == '/') c = '\\';
        return str_from_utf8(full);
    }
    void rewrite(const std::u16string& name) {
        ASSERT_NE(prefs_open(name.c_str()), 0);
        prefs_select_group(u"G");
        prefs_write_string(u"key", u"neu: Größe");
        prefs_close();
    }
    TempFolder folder;
};

TEST_F(Win32FileTest, UnicodeNamesReachTheDiskAsWritten) {
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        TempFolder::write(folder.file(name), kOriginal);
        rewrite(windows_name(name));
        EXPECT_EQ(TempFolder::read(folder.file(name)), kRewritten);
        EXPECT_EQ(listing(), std::vector<std::string>{name});  // no stray temporary file, no mangled name
        std::filesystem::remove(test_platform::path(folder.file(name)));
    }
}

TEST_F(Win32FileTest, BackslashesAndSlashesBothSeparateFolders) {
    std::filesystem::create_directories(test_platform::path(folder.file("Spiel Ordner/Files")));
    const std::string file = folder.file("Spiel Ordner/Files/Tarnwood.cfg");
    folder.enter();
    for (const char16_t* name : {u"Spiel Ordner\\Files\\Tarnwood.cfg", u"Spiel Ordner/Files/Tarnwood.cfg",
                                 u"Spiel Ordner\\Files/Tarnwood.cfg", u".\\Spiel Ordner\\.\\Files\\Tarnwood.cfg"}) {
        SCOPED_TRACE(str_to_utf8(name));
        TempFolder::write(file, kOriginal);
        rewrite(name);
        EXPECT_EQ(TempFolder::read(file), kRewritten);
    }
    // The absolute name with backslashes only, as the program writes its own folder.
    TempFolder::write(file, kOriginal);
    rewrite(windows_name("Spiel Ordner/Files/Tarnwood.cfg"));
    EXPECT_EQ(TempFolder::read(file), kRewritten);
    folder.leave();
    EXPECT_EQ(folder.names("Spiel Ordner/Files"), std::vector<std::string>{"Tarnwood.cfg"});
}

TEST_F(Win32FileTest, EveryInjectedFailureLeavesTheOldFileByteForByte) {
    struct Case {
        const char* what;
        FileFaults faults;
    };
    std::vector<Case> cases;
    for (int64_t budget : {0, 1, 10, 30}) {
        FileFaults f = {};
        f.limit_writes = true;
        f.write_budget = budget;
        cases.push_back({"the disk fills while the temporary file is written", f});
    }
    FileFaults f = {};
    f.sync_error = EIO;
    cases.push_back({"flushing fails", f});
    f = {};
    f.rename_error = EXDEV;
    cases.push_back({"the move over the target fails", f});
    f = {};
    f.temp_create_error = ENOSPC;
    cases.push_back({"no temporary file can be made", f});
    f = {};
    f.open_write_error = EACCES;
    cases.push_back({"the file opens only for reading", f});

    const std::string name = kNames[2];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder::write(folder.file(name), kOriginal);
        if (c.faults.open_write_error) file_set_faults(c.faults);  // in force when the file is opened
        ASSERT_NE(prefs_open(windows_name(name).c_str()), 0);
        prefs_select_group(u"G");
        prefs_write_string(u"key", u"a new value that is longer than before");
        file_set_faults(c.faults);
        prefs_close();
        file_clear_faults();
        EXPECT_EQ(TempFolder::read(folder.file(name)), kOriginal);
        EXPECT_EQ(listing(), std::vector<std::string>{name});
    }
}

TEST_F(Win32FileTest, FolderRefusingNewFilesRewritesInPlace) {
    const std::string name = kNames[0];
    TempFolder::write(folder.file(name), kOriginal);
    uint64_t identity = test_platform::file_identity(folder.file(name));
    ASSERT_NE(prefs_open(windows_name(name).c_str()), 0);
    prefs_select_group(u"G");
    prefs_write_string(u"key", u"neu: Größe");
    FileFaults faults = {};
    faults.temp_create_error = EACCES;
    file_set_faults(faults);
    prefs_close();
    EXPECT_EQ(TempFolder::read(folder.file(name)), kRewritten);
    EXPECT_EQ(test_platform::file_identity(folder.file(name)), identity);  // the same file, rewritten
}

TEST_F(Win32FileTest, TargetHeldOpenByAnotherProgramIsLeftAlone) {
    // Another program reads the file and shares it for reading and writing but not for deleting:
    // Windows then refuses to replace it, and the write-back must fail cleanly.
    const std::string name = kNames[1];
    TempFolder::write(folder.file(name), kOriginal);
    HANDLE other = CreateFileW(test_platform::path(folder.file(name)).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_NE(prefs_open(windows_name(name).c_str()), 0);
    prefs_select_group(u"G");
    prefs_write_string(u"key", u"a new value that is longer than before");
    prefs_close();
    CloseHandle(other);
    EXPECT_EQ(TempFolder::read(folder.file(name)), kOriginal);
    EXPECT_EQ(listing(), std::vector<std::string>{name});

    // Once the other program is gone, the same write succeeds.
    rewrite(windows_name(name));
    EXPECT_EQ(TempFolder::read(folder.file(name)), kRewritten);
}

TEST_F(Win32FileTest, ReplacementKeepsTheTargetsAttributes) {
    const std::string name = kNames[3];
    TempFolder::write(folder.file(name), kOriginal);
    std::wstring wide = test_platform::path(folder.file(name)).wstring();
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    rewrite(windows_name(name));
    EXPECT_EQ(TempFolder::read(folder.file(name)), kRewritten);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(Win32FileTest, ReadOnlyFileIsReadButNeverWritten) {
    const std::string name = kNames[0];
    TempFolder::write(folder.file(name), kOriginal);
    std::wstring wide = test_platform::path(folder.file(name)).wstring();
    // The attribute alone decides, also where the system would let this process write (Wine run
    // by root, an administrator).
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_NE(prefs_open(windows_name(name).c_str()), 0);
    prefs_select_group(u"G");
    EXPECT_EQ(prefs_read_int(u"missing", 7), 7);
    prefs_write_string(u"key", u"neu");
    prefs_close();
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(TempFolder::read(folder.file(name)), kOriginal);
    EXPECT_EQ(listing(), std::vector<std::string>{name});
}

TEST_F(Win32FileTest, StreamsForTheEncoderTakeUnicodeNames) {
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        std::u16string wide = windows_name(std::string(name) + ".png");
        FILE* stream = file_fopen(wide.c_str(), "wb");
        ASSERT_NE(stream, nullptr);
        std::fputs("bytes", stream);
        std::fclose(stream);
        EXPECT_EQ(TempFolder::read(folder.file(std::string(name) + ".png")), "bytes");
    }
    EXPECT_EQ(file_fopen(windows_name("no such folder\\x.png").c_str(), "wb"), nullptr);
}

TEST_F(Win32FileTest, FolderIsNoFile) {
    std::filesystem::create_directory(test_platform::path(folder.file("Tarnwood.cfg")));
    EXPECT_EQ(file_create(windows_name("Tarnwood.cfg").c_str(), FILE_ACCESS_READ_WRITE, FILE_OPEN_EXISTING), nullptr);
    EXPECT_EQ(file_create(windows_name("Tarnwood.cfg").c_str(), FILE_ACCESS_READ, FILE_OPEN_EXISTING), nullptr);
}
}  // namespace

namespace {
// A process id that no running process holds (Windows gives out multiples of 4).
DWORD ended_process_id() {
    for (DWORD pid = 0x7FFFFFF0u; pid > 4; pid -= 4) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (!process && GetLastError() == ERROR_INVALID_PARAMETER) return pid;
        if (process) CloseHandle(process);
    }
    return 0;
}
}  // namespace

// Temporary files that a killed writer left: opening the settings file for writing removes those
// of its target whose process has ended (and this process's own); the screenshot folder's
// clean-up removes only those of ended processes. Nothing else goes.
TEST_F(Win32FileTest, TemporaryFilesOfEndedWritersAreRemoved) {
    DWORD ended = ended_process_id();
    ASSERT_NE(ended, 0u);
    const std::string dead = std::to_string(ended), own = std::to_string(GetCurrentProcessId());
    const std::vector<std::string> kept = {
        ".Tarnwood.cfg.x-abcdef",             // not a process id
        ".Tarnwood.cfg." + dead,              // not a temporary name
        ".Other.cfg." + dead + "-abcdef",     // beside another file
        "Tarnwood.cfg",
    };
    for (const std::string& n : kept) TempFolder::write(folder.file(n), n == "Tarnwood.cfg" ? kOriginal : "keep");
    TempFolder::write(folder.file(".Tarnwood.cfg." + dead + "-a1b2c3"), "[G]\r\nke");
    TempFolder::write(folder.file(".Tarnwood.cfg." + own + "-zzzzzz"), "");
    ASSERT_NE(prefs_open(windows_name("Tarnwood.cfg").c_str()), 0);
    prefs_close();
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listing(), expected);

    std::filesystem::create_directories(test_platform::path(folder.file("Shots")));
    const std::string stale = ".Screenshot_3.png." + dead + "-0.tmp", mine = ".Screenshot_4.png." + own + "-1.tmp";
    TempFolder::write(folder.file("Shots/" + stale), "partial");
    TempFolder::write(folder.file("Shots/" + mine), "being written");
    file_remove_stale_temporaries(windows_name("Shots").c_str(), u"Screenshot_");
    EXPECT_FALSE(std::filesystem::exists(test_platform::path(folder.file("Shots/" + stale))));
    EXPECT_TRUE(std::filesystem::exists(test_platform::path(folder.file("Shots/" + mine))));
}
