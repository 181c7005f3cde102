// The real program (the Release executable) measured from outside, with SDL's dummy video and
// audio drivers and no DISPLAY: start-up to the first presented frame, and the peak resident
// memory of a run at 1280 x 1024 that takes one screenshot.
// The program reads no command line and the dummy drivers can neither be watched nor typed on, so
// the preload library bench/preload/sdl_script.cpp is loaded into it (LD_PRELOAD): it wraps
// SDL_RenderPresent, the last call of every presented frame, to report the first present's time
// and end the process there, or to push key events (F12, then Escape) into SDL's queue after given
// frames. The program itself is unchanged.
// Start-up: from just before posix_spawn in this process to the end of the first SDL_RenderPresent
// in the child (both CLOCK_MONOTONIC), so it includes exec, dynamic linking, SDL's start, the
// settings, fonts, tables, the picture and music decoding and the first frame.
// Peak memory: ru_maxrss of the ended child from wait4, the figure /usr/bin/time -v reports.
// Relies on: the built program and preload library (paths from the build), the shipped settings file.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

extern char** environ;

namespace {

int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A working folder with Files/Screenshots and the shipped settings file, the screen size changed.
struct ProgramFolder {
    TempFolder folder;
    explicit ProgramFolder(int32_t w, int32_t h) {
        std::filesystem::create_directories(folder.file("Files/Screenshots"));
        std::string cfg = TempFolder::read(std::string(TARNWOOD_SOURCE_DIR) + "/Files/Tarnwood.cfg");
        auto set = [&cfg](const std::string& key, int32_t value) {
            size_t at = cfg.find("\n" + key + " = ");
            if (at == std::string::npos) return;
            size_t end = cfg.find('\n', at + 1);
            cfg.replace(at + 1, end - at - 1, key + " = " + std::to_string(value));
        };
        set("ScreenW", w);
        set("ScreenH", h);
        TempFolder::write(folder.file("Files/Tarnwood.cfg"), cfg);
    }
};

struct RunResult {
    bool ok = false;
    int64_t first_present_ns = 0;  // CLOCK_MONOTONIC, when asked for
    long max_rss_kb = 0;
};

// Runs the program in `folder` with the dummy drivers and the preload library's variables `vars`;
// when present_fd is asked, the child reports the first present's time through a pipe.
RunResult run_program(const std::string& folder, std::vector<std::string> vars, bool report_present, int64_t* spawned_ns) {
    RunResult result;
    int fds[2] = {-1, -1};
    if (report_present && pipe(fds) != 0) return result;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string s = *e;
        if (s.rfind("DISPLAY=", 0) == 0 || s.rfind("SDL_", 0) == 0 || s.rfind("LD_PRELOAD=", 0) == 0) continue;
        env.push_back(s);
    }
    env.push_back("SDL_VIDEODRIVER=dummy");
    env.push_back("SDL_AUDIODRIVER=dummy");
    env.push_back(std::string("LD_PRELOAD=") + BENCH_PRELOAD_DIR + "/libsdl_script.so");
    if (report_present) env.push_back("TARNWOOD_SCRIPT_PRESENT_FD=" + std::to_string(fds[1]));
    for (std::string& v : vars) env.push_back(v);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    std::string program = TARNWOOD_PROGRAM;
    char* argv[] = {&program[0], nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (report_present) posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    *spawned_ns = monotonic_ns();
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    std::string reported;
    if (report_present) {
        close(fds[1]);
        char buf[64];
        ssize_t n;
        while (rc == 0 && (n = read(fds[0], buf, sizeof buf)) > 0) reported.append(buf, size_t(n));
        close(fds[0]);
    }
    if (rc != 0) return result;
    int status = 0;
    rusage usage = {};
    if (wait4(pid, &status, 0, &usage) != pid) return result;
    result.max_rss_kb = usage.ru_maxrss;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (report_present) {
        result.first_present_ns = std::atoll(reported.c_str());
        result.ok = result.ok && result.first_present_ns > 0;
    }
    return result;
}

constexpr int32_t kSizes[][2] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};

// Process start to the first presented frame, with the shipped settings at each menu size (the
// shipped size is 1024 x 768).
void BM_StartupToFirstPresent(benchmark::State& state) {
    const int32_t w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    ProgramFolder folder(w, h);
    std::vector<double> ms;
    for (auto _ : state) {
        int64_t spawned = 0;
        RunResult r = run_program(folder.folder.path(), {}, true, &spawned);
        if (!r.ok) {
            state.SkipWithError("the program did not present a frame");
            return;
        }
        ms.push_back(double(r.first_present_ns - spawned) * 1e-6);
        state.SetIterationTime(ms.back() * 1e-3);
    }
    // On cores shared with other work a few starts take several times longer: the median and
    // the fastest start show the program's own cost beside the mean.
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["min_ms"] = ms.front();
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
}

// A whole run at 1280 x 1024: a few frames, F12 (one screenshot), Escape.
void BM_PeakMemoryOneScreenshot(benchmark::State& state) {
    ProgramFolder folder(1280, 1024);
    long peak_kb = 0;
    for (auto _ : state) {
        std::filesystem::remove_all(folder.folder.file("Files/Screenshots"));
        std::filesystem::create_directories(folder.folder.file("Files/Screenshots"));
        int64_t spawned = 0;
        RunResult r = run_program(folder.folder.path(), {"TARNWOOD_SCRIPT_KEYS=100:69:d,250:69:u,600:41:d,750:41:u"}, false, &spawned);
        if (!r.ok || !std::filesystem::exists(folder.folder.file("Files/Screenshots/Screenshot_1.png"))) {
            state.SkipWithError("the run did not end normally with one screenshot");
            return;
        }
        peak_kb = std::max(peak_kb, r.max_rss_kb);
    }
    state.counters["peak_MB"] = double(peak_kb) * 1024.0 / 1e6;  // ru_maxrss counts kibibytes
    state.counters["peak_MiB"] = double(peak_kb) / 1024.0;
}

}  // namespace

BENCHMARK(BM_StartupToFirstPresent)->DenseRange(0, 3)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakMemoryOneScreenshot)->Iterations(3)->Unit(benchmark::kMillisecond);
