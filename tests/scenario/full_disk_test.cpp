// A full disk and a read-only folder under the real program on the headless backend: Files/ is a
// small tmpfs filled up, or a read-only bind mount of itself. The settings write-back then leaves
// the old file byte for byte (or, where it fits, writes the new one whole), a screenshot that
// cannot be written leaves no file, and the menu goes on to its normal end. These tests mount
// file systems: they need a process allowed to mount (root in CI) and are skipped otherwise.
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
#include <gtest/gtest.h>

#if defined(_WIN32)
TEST(FullDisk, NotOnWindows) { GTEST_SKIP() << "mounts a small tmpfs and a read-only bind mount (Linux, as root)"; }
#else
TEST(FullDisk, NotInTheBrowser) {
    GTEST_SKIP() << "mounts a small tmpfs and a read-only bind mount (Linux, as root); the page's files live in memory";
}
#endif
#else
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "support/menu_script.h"
#include "support/settings_file.h"

namespace {
// A file system mounted over a folder for the test's duration.
class Mount {
public:
    // A tmpfs of `kilobytes` over the folder.
    static Mount tmpfs(const std::string& folder, int kilobytes) {
        Mount m(folder);
        std::string options = "size=" + std::to_string(kilobytes) + "k";
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0) m.mounted_ = true;
        else m.why_not_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return m;
    }
    // The folder over itself, read-only.
    static Mount read_only(const std::string& folder) {
        Mount m(folder);
        if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            m.why_not_ = std::string("cannot bind-mount a folder: ") + std::strerror(errno);
            return m;
        }
        m.mounted_ = true;
        if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            m.why_not_ = std::string("cannot make a bind mount read-only: ") + std::strerror(errno);
        return m;
    }
    Mount(Mount&& o) noexcept : folder_(o.folder_), mounted_(o.mounted_), why_not_(o.why_not_) { o.mounted_ = false; }
    ~Mount() {
        if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    }
    const std::string& why_not() const { return why_not_; }

private:
    explicit Mount(std::string folder) : folder_(std::move(folder)) {}
    std::string folder_;
    bool mounted_ = false;
    std::string why_not_;
};

// Fills the file system of `folder` up to `free_bytes` with one file.
void fill(const std::string& folder, size_t free_bytes) {
    std::string filler = folder + "/filler";
    {
        std::ofstream out(filler, std::ios::binary);
        std::string block(4096, 'f');
        while (out.write(block.data(), std::streamsize(block.size()))) {
        }
    }
    uintmax_t size = std::filesystem::file_size(filler);
    std::filesystem::resize_file(filler, size > free_bytes ? size - free_bytes : 0);
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// F12, the information lines switched on (a settings write), the music switched off (another),
// and back to the main menu to quit: the menu must go on through all of it.
void play(Scenario& s) {
    s.idle(3);
    s.key_tap(SCAN_F12);
    s.idle(3);
    go(s, PAGE_MAIN, PAGE_MENU_INFO);
    choose(s, 4);
    s.step([] { EXPECT_EQ(game.menu_info, 1); });
    go(s, PAGE_MENU_INFO, PAGE_MUSIC);
    choose(s, 4);
    go(s, PAGE_MUSIC, PAGE_MAIN);
    click_entry(s, 4);
}

struct FullDiskCase {
    const char* what;
    size_t free_bytes;
    bool settings_written;  // the new settings fit
};
const FullDiskCase kFullDisk[] = {
    {"no space left", 0, false},
    {"room for the settings, not for a screenshot", 16 * 1024, true},
};
}  // namespace

TEST(FullDisk, WritesThatDoNotFitLeaveTheOldFilesAndTheMenuGoesOn) {
    for (const FullDiskCase& c : kFullDisk) {
        SCOPED_TRACE(c.what);
        Settings cfg;
        Scenario s(nullptr);
        Mount disk = Mount::tmpfs(s.file("Files"), 256);
        if (!disk.why_not().empty()) GTEST_SKIP() << disk.why_not() << " (needs root or CAP_SYS_ADMIN)";
        std::filesystem::create_directory(s.file("Files/Screenshots"));
        s.write_settings(cfg.bytes());
        fill(s.file("Files"), c.free_bytes);
        play(s);
        EXPECT_EQ(s.run(), 0);
        EXPECT_FALSE(s.guard_used);
        EXPECT_EQ(s.script_left, 0u);
        Settings expected = cfg;
        if (c.settings_written) {
            expected.menu_info = 1;
            expected.music = 0;
        }
        EXPECT_EQ(s.settings(), expected.bytes());
        EXPECT_EQ(names_in(s.file("Files")), (std::vector<std::string>{"Screenshots", "Tarnwood.cfg", "filler"}));
        EXPECT_EQ(names_in(s.file("Files/Screenshots")), std::vector<std::string>{}) << "no partial screenshot";
    }
}

TEST(FullDisk, AReadOnlyFolderIsNeverWritten) {
    Settings cfg;
    // Another program folder: start-up wants to rewrite "PathMain".
    std::string moved = cfg.bytes();
    moved.replace(moved.find(program_folder()), program_folder().size(), "/elsewhere/");
    Scenario s(moved.c_str());
    Mount ro = Mount::read_only(s.file("Files"));
    if (!ro.why_not().empty()) GTEST_SKIP() << ro.why_not() << " (needs root or CAP_SYS_ADMIN)";
    play(s);
    EXPECT_EQ(s.run(), 0);
    EXPECT_FALSE(s.guard_used);
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_EQ(s.settings(), moved);
    EXPECT_EQ(names_in(s.file("Files")), (std::vector<std::string>{"Screenshots", "Tarnwood.cfg"}));
    EXPECT_EQ(names_in(s.file("Files/Screenshots")), std::vector<std::string>{});
}
#endif
