// The preferences store: parsing, lookups, insertion of new keys, and the exact bytes written
// back; the write-back's safety against failures injected into the file layer.
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "runtime/foundation/prefs.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/file.h"
#include "support/platform.h"
#include "tests/support/runtime_fixture.h"
#include "tests/support/temp_folder.h"

namespace {
const std::string BOM = "\xEF\xBB\xBF";

class PrefsTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        prefs_init();
        file_clear_faults();
        path = folder.file("Tarnwood.cfg");
        name = str_from_utf8(path);
    }
    void TearDown() override {
        file_clear_faults();
        prefs_close();
        RuntimeTest::TearDown();
    }
    int32_t open_with(const std::string& bytes) {
        TempFolder::write(path, bytes);
        return prefs_open(name.c_str());
    }
    std::string read_string(const char16_t* key, const char16_t* default_value = u"<none>") {
        int32_t position = str_builder.length;
        prefs_read_string(key, default_value, position);
        std::string text = builder_text(position);
        str_builder.length = position;
        return text;
    }
    int entry_count() {
        int n = 0;
        for (ListNode* node = prefs_store.entries; node; node = node->next) n++;
        return n;
    }
    std::string written() { return TempFolder::read(path); }

    TempFolder folder;
    std::string path;
    std::u16string name;
};

TEST_F(PrefsTest, ByteOrderMarkOnlyFileIsRewrittenWithMarkAndEmptyLine) {
    ASSERT_NE(open_with(BOM), 0);
    EXPECT_EQ(entry_count(), 0);
    EXPECT_EQ(prefs_select_group(u"Screen"), 0);
    prefs_write_int(u"ScreenW", 800);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[Screen]\r\nScreenW = 800\r\n");
}

TEST_F(PrefsTest, EmptyFileIsWrittenWithoutMark) {
    ASSERT_NE(open_with(""), 0);
    EXPECT_EQ(entry_count(), 0);
    EXPECT_EQ(prefs_store.code_page, 0);
    prefs_write_string(u"Top", u"yes");
    prefs_select_group(u"G");
    prefs_write_int(u"N", -5);
    prefs_close();
    EXPECT_EQ(written(), "Top = yes\r\n[G]\r\nN = -5\r\n");
}

TEST_F(PrefsTest, Latin1FileIsReadAsUtf8AndWrittenBackBehindMark) {
    ASSERT_NE(open_with("[G]\r\nName=K\xE4se\r\n"), 0);
    ASSERT_EQ(prefs_select_group(u"G"), 1);
    EXPECT_EQ(read_string(u"Name"), "K\xC3\xA4se");
    prefs_write_int(u"X", 1);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[G]\r\nName = K\xC3\xA4se\r\nX = 1\r\n");
}

TEST_F(PrefsTest, NamesIgnoreAsciiCaseAndTakeTheCallersSpellingOnWrite) {
    ASSERT_NE(open_with("[screen]\nscreenw=800\n"), 0);
    ASSERT_EQ(prefs_select_group(u"Screen"), 1);
    EXPECT_EQ(prefs_read_int(u"ScreenW", 0), 800);
    prefs_write_int(u"ScreenW", 1024);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[screen]\r\nScreenW = 1024\r\n");
}

TEST_F(PrefsTest, CommentsGetOneSpaceAfterTheSemicolon) {
    ASSERT_NE(open_with(";tight\r\n;  wide\r\n; single\r\nk=1\r\n"), 0);
    prefs_write_int(u"k", 2);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n; tight\r\n;  wide\r\n; single\r\nk = 2\r\n");
}

TEST_F(PrefsTest, IndentedKeysKeepTrailingBlanksOfTheirValue) {
    ASSERT_NE(open_with("  [G]  junk\r\n\t Key \t=  a value  \r\n\r\n\r\n"), 0);
    ASSERT_EQ(prefs_select_group(u"G"), 1);
    EXPECT_EQ(read_string(u"Key"), "a value");
    prefs_write_string(u"Other", u"x");
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[G]\r\nKey = a value  \r\nOther = x\r\n");
}

TEST_F(PrefsTest, MissingGroupReadsDefaultsAndIsAppendedOnWrite) {
    ASSERT_NE(open_with("[A]\r\nx=1\r\n[C]\r\nz=3\r\n"), 0);
    ASSERT_EQ(prefs_select_group(u"A"), 1);
    EXPECT_EQ(prefs_select_group(u"B"), 0);
    EXPECT_EQ(prefs_read_int(u"x", 5), 5);  // the failed selection puts reads on the default
    EXPECT_EQ(read_string(u"x", u"def"), "def");
    prefs_write_int(u"y", 2);
    prefs_write_int(u"x", 4);  // the new group is now current: a key of its own
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[A]\r\nx = 1\r\n[C]\r\nz = 3\r\n[B]\r\ny = 2\r\nx = 4\r\n");
}

TEST_F(PrefsTest, ReadStopsAtTheNextGroupAndFindsTheFirstDuplicate) {
    ASSERT_NE(open_with("[A]\r\n;k=0\r\nk=1\r\nk=2\r\n[B]\r\nm=3\r\n[A]\r\nm=4\r\n"), 0);
    ASSERT_EQ(prefs_select_group(u"a"), 1);
    EXPECT_EQ(prefs_read_int(u"k", 7), 1);
    EXPECT_EQ(prefs_read_int(u"m", 7), 7);
    prefs_write_int(u"k", 9);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[A]\r\n; k=0\r\nk = 9\r\nk = 2\r\n[B]\r\nm = 3\r\n[A]\r\nm = 4\r\n");
}

TEST_F(PrefsTest, IntegersScanLikeDecimalNumbersAndSaturate) {
    ASSERT_NE(open_with("Music=loud\r\nA= +12abc\r\nB=-7\r\nC=2147483647\r\nD=-2147483648\r\n"
                        "E=2147483648\r\nF=-99999999999999999999\r\nG=\r\n"),
              0);
    EXPECT_EQ(prefs_read_int(u"Music", 1), 0);  // found but not a number: 0, not the default
    EXPECT_EQ(prefs_read_int(u"A", 0), 12);
    EXPECT_EQ(prefs_read_int(u"B", 0), -7);
    EXPECT_EQ(prefs_read_int(u"C", 0), INT32_MAX);
    EXPECT_EQ(prefs_read_int(u"D", 0), INT32_MIN);
    EXPECT_EQ(prefs_read_int(u"E", 0), INT32_MAX);
    EXPECT_EQ(prefs_read_int(u"F", 0), INT32_MIN);
    EXPECT_EQ(prefs_read_int(u"G", 3), 0);
    EXPECT_EQ(prefs_read_int(u"H", 3), 3);
    prefs_write_int(u"H", INT32_MIN);
    EXPECT_EQ(prefs_read_int(u"H", 3), INT32_MIN);
}

TEST_F(PrefsTest, KeyWithoutEqualsEndsAtAnySingleLineBreak) {
    for (const char* brk : {"\r", "\n", "\r\n"}) {
        std::string b = brk;
        ASSERT_NE(open_with("[G]" + b + "flag" + b + "k=2" + b + "bare  " + b), 0) << "break " << int(b[0]);
        ASSERT_EQ(prefs_select_group(u"G"), 1);
        EXPECT_EQ(read_string(u"flag"), "");
        EXPECT_EQ(prefs_read_int(u"k", 0), 2);
        EXPECT_EQ(read_string(u"bare"), "");
        prefs_write_string(u"flag", u"on");
        prefs_close();
        EXPECT_EQ(written(), BOM + "\r\n[G]\r\nflag = on\r\nk = 2\r\nbare = \r\n");
    }
}

TEST_F(PrefsTest, EmptyKeysValuesWithEqualsAndSemicolons) {
    ASSERT_NE(open_with("=lonely\r\nurl = a=b;c\r\n[unclosed\r\nq=1"), 0);
    EXPECT_EQ(read_string(u""), "lonely");
    EXPECT_EQ(read_string(u"url"), "a=b;c");
    ASSERT_EQ(prefs_select_group(u"unclosed"), 1);
    EXPECT_EQ(prefs_read_int(u"q", 0), 1);
    prefs_write_int(u"q", 10);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n = lonely\r\nurl = a=b;c\r\n[unclosed]\r\nq = 10\r\n");
}

TEST_F(PrefsTest, NewTopSectionKeysGoBeforeTheFirstGroupFromTheSecondEntryOn) {
    // Keys before the first group: the new key follows them.
    ASSERT_NE(open_with("a=1\r\n[G]\r\nb=2\r\n"), 0);
    prefs_write_int(u"c", 3);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\na = 1\r\nc = 3\r\n[G]\r\nb = 2\r\n");
    // A store that begins with a group header: the search for a header starts at the second
    // entry, so the new key joins the first group, before the next header.
    ASSERT_NE(open_with("[G]\r\n[H]\r\n"), 0);
    prefs_write_int(u"c", 3);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[G]\r\nc = 3\r\n[H]\r\n");
    ASSERT_NE(open_with("[G]\r\nb=2\r\n[H]\r\n"), 0);
    prefs_write_int(u"c", 3);
    prefs_write_int(u"b", 4);  // still not found: lookups of the top section stop at [G]
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[G]\r\nb = 2\r\nc = 3\r\nb = 4\r\n[H]\r\n");
    // A top section without any group: at the end.
    ASSERT_NE(open_with("a=1\r\n"), 0);
    prefs_write_int(u"c", 3);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\na = 1\r\nc = 3\r\n");
}

TEST_F(PrefsTest, NewGroupKeysGoBehindTheGroupsLastEntry) {
    ASSERT_NE(open_with("[A]\r\nx=1\r\n; note\r\n[B]\r\ny=2\r\n"), 0);
    ASSERT_EQ(prefs_select_group(u"A"), 1);
    prefs_write_string(u"new", u"v");
    ASSERT_EQ(prefs_select_group(u"B"), 1);
    prefs_write_string(u"tail", u"w");
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[A]\r\nx = 1\r\n; note\r\nnew = v\r\n[B]\r\ny = 2\r\ntail = w\r\n");
}

TEST_F(PrefsTest, ValuesGrowAndShrink) {
    ASSERT_NE(open_with("[G]\r\nv=abc\r\n"), 0);
    prefs_select_group(u"G");
    prefs_write_string(u"v", u"a much longer value");
    EXPECT_EQ(read_string(u"v"), "a much longer value");
    prefs_write_string(u"v", u"s");
    EXPECT_EQ(read_string(u"v"), "s");
    prefs_write_string(u"v", u"Grüße");
    EXPECT_EQ(read_string(u"v"), "Grüße");
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[G]\r\nv = Gr\xC3\xBC\xC3\x9F" "e\r\n");
}

TEST_F(PrefsTest, UnmodifiedStoreIsNotWritten) {
    ASSERT_NE(open_with("[G]\n  k = 1\n"), 0);
    prefs_select_group(u"G");
    EXPECT_EQ(prefs_read_int(u"k", 0), 1);
    prefs_close();
    EXPECT_EQ(written(), "[G]\n  k = 1\n");
}

TEST_F(PrefsTest, OpeningASecondFileWritesTheFirstBack) {
    std::string second = folder.file("second.cfg");
    TempFolder::write(second, "[S]\r\ns=1\r\n");
    ASSERT_NE(open_with("[F]\r\nf=1\r\n"), 0);
    prefs_select_group(u"F");
    prefs_write_int(u"f", 2);
    ASSERT_NE(prefs_open(str_from_utf8(second).c_str()), 0);
    EXPECT_EQ(written(), BOM + "\r\n[F]\r\nf = 2\r\n");
    EXPECT_EQ(prefs_select_group(u"F"), 0);
    ASSERT_EQ(prefs_select_group(u"S"), 1);
    EXPECT_EQ(prefs_read_int(u"s", 0), 1);
    prefs_write_int(u"s", 3);
    prefs_shutdown();  // writes the open file back
    EXPECT_EQ(TempFolder::read(second), BOM + "\r\n[S]\r\ns = 3\r\n");
}

TEST_F(PrefsTest, ClosedStoreIgnoresEverything) {
    EXPECT_EQ(prefs_select_group(u"G"), 0);
    EXPECT_EQ(prefs_read_int(u"k", 4), 4);
    EXPECT_EQ(read_string(u"k", u"d"), "d");
    prefs_write_int(u"k", 1);
    EXPECT_EQ(prefs_store.modified, 0);
    EXPECT_EQ(prefs_store.entries, nullptr);
}

TEST_F(PrefsTest, MissingFileOpensWithoutFileAndIsCreatedOnlyWhenWritten) {
    EXPECT_EQ(prefs_open(name.c_str()), 0);
    prefs_select_group(u"G");
    EXPECT_EQ(prefs_read_int(u"k", 4), 4);
    prefs_close();
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_EQ(prefs_open(name.c_str()), 0);
    prefs_select_group(u"G");
    prefs_write_int(u"k", 1);
    prefs_close();
    EXPECT_EQ(written(), BOM + "\r\n[G]\r\nk = 1\r\n");
}

TEST_F(PrefsTest, BackslashNamesAreMappedToTheFolderSeparator) {
    TempFolder::write(path, "k=5\r\n");
    std::u16string windows_name = str_from_utf8(folder.path() + "\\Tarnwood.cfg");
    ASSERT_NE(prefs_open(windows_name.c_str()), 0);
    EXPECT_EQ(prefs_read_int(u"k", 0), 5);
}

// --- write-back safety -------------------------------------------------------------------------

class PrefsWriteBackTest : public PrefsTest {
protected:
    const std::string original = "[G]\r\nkey=old value\r\n";
    void open_and_modify() {
        ASSERT_NE(open_with(original), 0);
        prefs_select_group(u"G");
        prefs_write_string(u"key", u"a new value that is longer than before");
        prefs_write_int(u"more", 12345);
    }
    void expect_untouched() {
        EXPECT_EQ(written(), original);
        EXPECT_EQ(folder.names(), std::vector<std::string>{"Tarnwood.cfg"});
    }
    static const char* expected() {
        return "\xEF\xBB\xBF\r\n[G]\r\nkey = a new value that is longer than before\r\nmore = 12345\r\n";
    }
};

TEST_F(PrefsWriteBackTest, WriteFailingPartWayLeavesTheOriginal) {
    for (int64_t budget : {0, 1, 10, 40}) {
        open_and_modify();
        FileFaults faults = {};
        faults.limit_writes = true;
        faults.write_budget = budget;
        file_set_faults(faults);
        prefs_close();
        file_clear_faults();
        expect_untouched();
    }
}

TEST_F(PrefsWriteBackTest, FailedSyncOrRenameLeavesTheOriginal) {
    FileFaults sync = {};
    sync.sync_error = EIO;
    FileFaults rename = {};
    rename.rename_error = EXDEV;
    for (const FileFaults& faults : {sync, rename}) {
        open_and_modify();
        file_set_faults(faults);
        prefs_close();
        file_clear_faults();
        expect_untouched();
    }
}

TEST_F(PrefsWriteBackTest, TemporaryFileThatCannotBeCreatedLeavesTheOriginal) {
    open_and_modify();
    FileFaults faults = {};
    faults.temp_create_error = ENOSPC;
    file_set_faults(faults);
    prefs_close();
    expect_untouched();
}

TEST_F(PrefsWriteBackTest, ReadOnlyFolderFallsBackToRewritingInPlace) {
    open_and_modify();
    FileFaults faults = {};
    faults.temp_create_error = EACCES;
    file_set_faults(faults);
    prefs_close();
    EXPECT_EQ(written(), expected());
    EXPECT_EQ(folder.names(), std::vector<std::string>{"Tarnwood.cfg"});
}

#if !defined(_WIN32)
namespace {
std::vector<std::string> committed_paths;
int record_commit(const char* path) {
    committed_paths.push_back(path);
    return 1;
}
}  // namespace
#endif

// The browser's backend keeps the files in memory until its store takes them: the file layer
// hands it every file it puts in place.
TEST_F(PrefsWriteBackTest, AReplacementIsHandedToTheBackendsStore) {
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows file layer has no store beyond its file system";
#else
    SystemDriver system = *headless_backend.system;
    system.storage_commit = record_commit;
    PlatformBackend backend = headless_backend;
    backend.system = &system;
    const PlatformBackend* before = platform_backend();
    platform_use_backend(&backend);
    committed_paths.clear();
    open_and_modify();
    prefs_close();
    platform_use_backend(before);
    ASSERT_EQ(committed_paths.size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(committed_paths[0], test_platform::path(path)));
#endif
}

TEST_F(PrefsWriteBackTest, FileOpenedOnlyForReadingIsReadButNeverWritten) {
    FileFaults faults = {};
    faults.open_write_error = EACCES;
    file_set_faults(faults);
    open_and_modify();
    EXPECT_EQ(read_string(u"key"), "a new value that is longer than before");
    file_clear_faults();
    prefs_close();
    expect_untouched();
}

// A file without write permission (no owner write bit; the read-only attribute on Windows) is
// never replaced nor rewritten, even by root or an administrator, whether it was protected before
// the store opened it or while it was open.
TEST_F(PrefsWriteBackTest, WriteProtectedFileIsNeverWritten) {
    namespace fs = std::filesystem;
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    for (bool protect_before_opening : {true, false}) {
        TempFolder::write(path, original);
        if (protect_before_opening) fs::permissions(test_platform::path(path), write, fs::perm_options::remove);
        uint64_t identity = test_platform::file_identity(path);
        ASSERT_NE(prefs_open(name.c_str()), 0);
        prefs_select_group(u"G");
        prefs_write_int(u"more", 12345);
        if (!protect_before_opening) fs::permissions(test_platform::path(path), write, fs::perm_options::remove);
        prefs_close();
        expect_untouched();
        EXPECT_EQ(test_platform::file_identity(path), identity);
        EXPECT_EQ(fs::status(test_platform::path(path)).permissions() & fs::perms::owner_write, fs::perms::none);
        fs::permissions(test_platform::path(path), write, fs::perm_options::add);
    }
}

TEST_F(PrefsWriteBackTest, FileTooLargeToLoadIsNeverOverwritten) {
    TempFolder::write(path, "[G]\r\nk=1\r\n");
    const uintmax_t size = uintmax_t(1) << 29;  // sparse: nothing is really stored
    std::error_code error;
    std::filesystem::resize_file(test_platform::path(path), size, error);
    ASSERT_FALSE(error) << error.message();
    // Refused as unreadable: the store stays closed and the write goes nowhere.
    ASSERT_EQ(prefs_open(name.c_str()), 0);
    EXPECT_EQ(entry_count(), 0);
    prefs_write_int(u"k", 2);
    prefs_close();
    EXPECT_EQ(std::filesystem::file_size(test_platform::path(path)), size);
    std::ifstream in(test_platform::path(path), std::ios::binary);
    char head[10] = {};
    in.read(head, sizeof head);
    EXPECT_EQ(std::string(head, sizeof head), "[G]\r\nk=1\r\n");
}

TEST_F(PrefsWriteBackTest, ReplacementKeepsModeAndFollowsSymbolicLinks) {
#if defined(_WIN32)
    GTEST_SKIP() << "POSIX file modes and symbolic links made by an ordinary user are Linux matters";
#else
    std::filesystem::create_directory(folder.file("real"));
    std::string real = folder.file("real/settings.cfg");
    TempFolder::write(real, original);
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real/settings.cfg", path.c_str()), 0);

    ASSERT_NE(prefs_open(name.c_str()), 0);
    prefs_select_group(u"G");
    prefs_write_string(u"key", u"a new value that is longer than before");
    prefs_write_int(u"more", 12345);
    prefs_close();

    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(TempFolder::read(real), expected());
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.names("real"), std::vector<std::string>{"settings.cfg"});
#endif
}
}  // namespace

// A write-back killed between creating its temporary file and the rename leaves that file
// beside the settings file; the next opening for writing removes it when its writer no longer
// runs, and leaves the temporary files of running writers and every other file alone.
TEST_F(PrefsWriteBackTest, OpeningRemovesTemporaryFilesOfWritersThatNoLongerRun) {
    if (test_platform::kInThePage) GTEST_SKIP() << "names writers by process ids of processes it starts (the page starts none)";
#if defined(_WIN32)
    GTEST_SKIP() << "makes a process that has ended with fork(); the Windows file layer's removal is "
                    "tested in win32_file_test";
#else
    pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    int status = 0;
    ASSERT_EQ(waitpid(ended, &status, 0), ended);
    const std::string stale = ".Tarnwood.cfg." + std::to_string(ended) + "-a1B2c3";
    const std::string own = ".Tarnwood.cfg." + std::to_string(getpid()) + "-zzzzzz";
    const std::vector<std::string> kept = {
        ".Tarnwood.cfg." + std::to_string(getppid()) + "-q9Q9q9",  // a writer that still runs
        ".Tarnwood.cfg.x-abcdef",                                  // not a process id
        ".Tarnwood.cfg." + std::to_string(ended),                  // not a temporary name
        ".Tarnwood.cfg." + std::to_string(ended) + "-",             // not a temporary name
        ".Other.cfg." + std::to_string(ended) + "-abcdef",         // beside another file
    };
    for (const std::string& n : kept) TempFolder::write(folder.file(n), "keep");
    TempFolder::write(folder.file(stale), "[G]\r\nke");
    TempFolder::write(folder.file(own), "");

    ASSERT_NE(open_with(original), 0);
    std::vector<std::string> expected = kept;
    expected.push_back("Tarnwood.cfg");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.names(), expected);
    prefs_close();

    // Opened only for reading (a read-only file), nothing is removed.
    TempFolder::write(folder.file(stale), "");
    FileFaults faults = {};
    faults.open_write_error = EACCES;
    file_set_faults(faults);
    ASSERT_NE(prefs_open(name.c_str()), 0);
    prefs_close();
    EXPECT_TRUE(std::filesystem::exists(folder.file(stale)));
#endif
}
