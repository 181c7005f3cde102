// What a write killed half-way leaves behind: the temporary files of a settings write-back and of
// screenshots, named after their writing process. The next start of the program removes those
// whose process no longer runs and leaves everything else alone.
#if defined(_WIN32)
#include <gtest/gtest.h>

TEST(KilledWrites, NotOnWindows) { GTEST_SKIP() << "kills a forked child half-way (fork)"; }
#else
#include <sys/wait.h>
#include <unistd.h>

#include "support/scenario.h"
#include "support/settings_file.h"

namespace {
// The id of a process that has ended.
pid_t ended_process() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}
}  // namespace

TEST(KilledWrites, TheNextStartRemovesTheTemporaryFilesOfWritersThatNoLongerRun) {
    if (test_platform::kInThePage) GTEST_SKIP() << "names writers by process ids of processes it starts (the page starts none)";
    const std::string dead = std::to_string(ended_process()), alive = std::to_string(getppid());
    Settings cfg;
    Scenario s(cfg.bytes().c_str());
    const std::vector<std::string> stale = {
        "Files/.Tarnwood.cfg." + dead + "-Ab12Cd",
        "Files/Screenshots/.Screenshot_3.png." + dead + "-0.tmp",
        "Files/Screenshots/.Screenshot_12.png." + dead + "-7.tmp",
    };
    const std::vector<std::string> kept = {
        "Files/Screenshots/.Screenshot_4.png." + alive + "-1.tmp",  // a writer that still runs
        "Files/Screenshots/Screenshot_1.png",                       // a finished screenshot
        "Files/Screenshots/.Notes." + dead + "-1.tmp",              // not a screenshot's
        "Files/.Other.cfg." + dead + "-Ab12Cd",                     // not the settings file's
    };
    for (const auto& n : stale) TempFolder::write(s.file(n), "partial");
    for (const auto& n : kept) TempFolder::write(s.file(n), "keep");
    s.idle(2);
    s.step([&] {
        for (const auto& n : stale) EXPECT_FALSE(std::filesystem::exists(s.file(n))) << n;
    });
    s.key_tap(SCAN_ESCAPE);
    EXPECT_EQ(s.run(), 0);
    EXPECT_FALSE(s.guard_used);
    for (const auto& n : kept) EXPECT_EQ(TempFolder::read(s.file(n)), "keep") << n;
    EXPECT_EQ(s.settings(), cfg.bytes());
}
#endif
