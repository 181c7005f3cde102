// Hostile settings files at start-up: the real program on the headless backend, with
// Files/Tarnwood.cfg made into something no settings file should be. The program must start,
// run its menu and end normally, come up with the start-up defaults where the file cannot be
// read, and leave the file (or whatever stands in its place) exactly as it was, with no
// temporary file beside it, even when an option that writes the file is chosen.
#if defined(_WIN32)
#include <gtest/gtest.h>

TEST(HostileSettings, NotOnWindows) { GTEST_SKIP() << "makes named pipes, symbolic links and modes with POSIX calls"; }
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "runtime/platform/system/file.h"
#include "support/menu_script.h"
#include "support/settings_file.h"

namespace {
const char* const kCfg = "Files/Tarnwood.cfg";

// What stands at a path, for comparing before and after: the kind, and a link's target or a
// file's bytes.
std::string describe(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "missing";
    if (S_ISLNK(st.st_mode)) {
        std::error_code ignored;
        return "link to " + std::filesystem::read_symlink(path, ignored).string();
    }
    if (S_ISDIR(st.st_mode)) return "folder";
    if (S_ISFIFO(st.st_mode)) return "named pipe";
    return "file of " + std::to_string(st.st_size) + " bytes: " + TempFolder::read(path);
}

std::string random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = char(rng());
    return s;
}

// Text as UTF-16 with its byte-order mark, little- or big-endian.
std::string utf16(const std::string& ascii, bool big_endian) {
    std::string s = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        s += big_endian ? '\0' : c;
        s += big_endian ? c : '\0';
    }
    return s;
}

// Unblocks a start-up that waits on a named pipe: once the run takes longer than any start-up
// may, the pipe gets a writer that leaves at once, and the stall is recorded.
class PipeWatchdog {
public:
    explicit PipeWatchdog(std::string pipe) : pipe_(std::move(pipe)), thread_([this] { watch(); }) {}
    ~PipeWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    bool stalled() const { return stalled_; }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; })) return;
        while (!done_) {
            int fd = open(pipe_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                stalled_ = true;
                close(fd);
            }
            wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; });
        }
    }
    std::string pipe_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> stalled_{false};
    std::thread thread_;
};

struct Seen {
    int32_t width = 0, height = 0, refresh = 0, menu_info = -1, screenshot_code = 0, frames = 0;
    std::u16string language, key_forward;
};

// The settings the program runs with, taken once its menu runs.
void record(Scenario& s, Seen& seen) {
    s.idle(3);
    s.step([&seen, &s] {
        seen.width = game.screen_width;
        seen.height = game.screen_height;
        seen.refresh = game.screen_refresh;
        seen.screenshot_code = game.screenshot_key_code;
        seen.language = game.language ? game.language : u"";
        seen.key_forward = game.key_forward ? game.key_forward : u"";
        seen.frames = s.frames;
    });
}

// Switches the information lines on (a write of the settings file) and quits.
void write_and_quit(Scenario& s, Seen& seen) {
    go(s, PAGE_MAIN, PAGE_MENU_INFO);
    choose(s, 4);
    s.step([&seen] { seen.menu_info = game.menu_info; });
    go(s, PAGE_MENU_INFO, PAGE_MAIN);
    click_entry(s, 4);
}

struct HostileCase {
    const char* what;
    std::function<void(const std::string& path)> make;
    int open_error;  // injected: every opening of a file fails with this errno
};

const HostileCase kUnreadable[] = {
    {"10 MB of random bytes", [](const std::string& p) { TempFolder::write(p, random_bytes(10u << 20, 14)); }, 0},
    {"one 5 MB line", [](const std::string& p) { TempFolder::write(p, "[Screen]\r\nScreenW = " + std::string(5u << 20, '8')); }, 0},
    {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); }, 0},
    {"a symbolic link to itself", [](const std::string& p) { ASSERT_EQ(symlink("Tarnwood.cfg", p.c_str()), 0); }, 0},
    {"a file without read permission", [](const std::string& p) { TempFolder::write(p, Settings{800, 600}.bytes()); }, EACCES},
    {"a named pipe with no writer", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }, 0},
    {"UTF-16 text with a byte-order mark, little-endian",
     [](const std::string& p) { TempFolder::write(p, utf16("[Screen]\r\nScreenW=800\r\nScreenH=600\r\n", false)); }, 0},
    {"UTF-16 text with a byte-order mark, big-endian",
     [](const std::string& p) { TempFolder::write(p, utf16("[Screen]\r\nScreenW=800\r\nScreenH=600\r\n", true)); }, 0},
};
}  // namespace

TEST(HostileSettings, AnUnreadableFileGivesTheStartUpDefaultsAndStaysAsItWas) {
    if (test_platform::kInThePage) GTEST_SKIP() << "a thread writes the pipe (the page has one thread)";
    for (const HostileCase& c : kUnreadable) {
        SCOPED_TRACE(c.what);
        Scenario s(nullptr);
        c.make(s.file(kCfg));
        std::string before = describe(s.file(kCfg));
        Seen seen;
        record(s, seen);
        write_and_quit(s, seen);

        FileFaults faults{};
        faults.open_read_error = c.open_error;
        file_set_faults(faults);
        int rc;
        bool stalled;
        {
            PipeWatchdog watchdog(s.file(kCfg));
            rc = s.run();
            stalled = watchdog.stalled();
        }
        file_clear_faults();

        EXPECT_FALSE(stalled) << "start-up waited for a writer on the pipe";
        EXPECT_EQ(rc, 0);
        EXPECT_FALSE(s.guard_used);
        EXPECT_EQ(s.script_left, 0u);
        EXPECT_GT(seen.frames, 0) << "the menu ran";
        // The defaults of start-up: without a readable file the key names stay empty.
        EXPECT_EQ(seen.width, 1024);
        EXPECT_EQ(seen.height, 768);
        EXPECT_EQ(seen.refresh, 75);
        EXPECT_EQ(seen.language, u"German");
        EXPECT_EQ(seen.key_forward, u"");
        EXPECT_EQ(seen.screenshot_code, 88);
        EXPECT_EQ(seen.menu_info, 1) << "the switch still takes effect for the running program";
        EXPECT_TRUE(describe(s.file(kCfg)) == before) << "now " << describe(s.file(kCfg)).substr(0, 80);
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(s.file("Files"))) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"Screenshots", "Tarnwood.cfg"})) << "nothing written beside it";
    }
}

// A file within the size the store reads is parsed whatever its shape: 100,000 groups before the
// real ones, and one value of 3 MB. Their settings are used, and a write keeps every line.
TEST(HostileSettings, HundredThousandGroupsAreReadAndKeptByAWrite) {
    std::string groups;
    for (int i = 0; i < 100000; i++) groups += "[G" + std::to_string(i) + "]\r\n";
    Settings cfg;
    cfg.width = 800;
    cfg.height = 600;
    std::string original = cfg.bytes();
    original.insert(5, groups);  // behind the byte-order mark and the empty line
    Scenario s(original.c_str());
    Seen seen;
    record(s, seen);
    write_and_quit(s, seen);
    EXPECT_EQ(s.run(), 0);
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_EQ(seen.width, 800);
    EXPECT_EQ(seen.height, 600);
    EXPECT_EQ(seen.key_forward, u"W") << "the key's default: the file was read";
    Settings on = cfg;
    on.menu_info = 1;
    std::string expected = on.bytes();
    expected.insert(5, groups);
    EXPECT_TRUE(s.settings() == expected) << "the file is " << s.settings().size() << " bytes, not " << expected.size();
}

TEST(HostileSettings, AThreeMegabyteValueIsReadAndWrittenBackWhole) {
    std::string value(3u << 20, 'x');
    Scenario s(("[OptionsGame]\r\nLanguage = " + value + "\r\n").c_str());
    Seen seen;
    record(s, seen);
    click_entry(s, 4);  // Quit (the captions are empty: no language of that name)
    EXPECT_EQ(s.run(), 0);
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_EQ(seen.language.size(), value.size());
    // Start-up added the program's folder; everything else is the store's layout of the same lines.
    EXPECT_TRUE(s.settings() == "\xEF\xBB\xBF\r\n[OptionsGame]\r\nLanguage = " + value +
                                    "\r\n[Application]\r\nPathMain = " + program_folder() + "\r\n");
}
#endif
