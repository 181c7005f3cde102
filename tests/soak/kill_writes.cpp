// Killed while writing: runs the real start-up, menu and shutdown (game_run) on the headless
// backend in a child process, which switches the information lines on and off as fast as the
// menu takes clicks (each switch writes the settings file) and presses F12 now and then (each a
// screenshot), and kills the child with SIGKILL at a random moment. After every kill:
//   - the settings file is byte for byte one of the two contents the switches write, never torn
//     and never missing;
//   - a temporary file of a killed write-back may stand beside it, but the next start removes it
//     (checked once the next child runs its menu);
//   - every screenshot under its final name is a complete PNG of the screen's size; a killed
//     screenshot's temporary file is removed by the next start.
// Prints the counts and every violation; exit code 0 only when there was none.
// Usage: kill_writes [KILLS] [SEED] [MAX_DELAY_MS]     (defaults: 500 kills, seed 1, 700 ms)
// Relies on: the game and the headless backend, fork/kill/waitpid, libpng to read the screenshots.
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "game/menu/pages.h"
#include "game/startup/game_main.h"
#include "game/startup/game_state.h"
#include "runtime/media/mouse.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_audio.h"
#include "runtime/platform/headless/headless_input.h"
#include "runtime/platform/headless/headless_video.h"
#include "support/settings_file.h"
#include "support/temp_folder.h"

namespace {
constexpr uint8_t SCAN_F12 = 88;

// --- the child: the program, played by a script of one step per frame ----------------------------

std::deque<std::function<void()>> steps;

void idle(int frames) {
    for (int i = 0; i < frames; i++) steps.push_back([] {});
}

// Clicks entry `index` of the page shown, at the centre of its rectangle.
void click_entry(int index) {
    steps.push_back([index] {
        const PageItem& item = menu_pages[game.menu_state].entries[index];
        ButtonRect r = game.*(item.name->rect);
        if (item.fixed_height) r.h = item.fixed_height;
        headless_input_motion(r.x + r.w / 2 - mouse_x(), r.y + r.h / 2 - mouse_y());
    });
    idle(1);
    steps.push_back([] { headless_input_button(0, true); });
    idle(2);
    steps.push_back([] { headless_input_button(0, false); });
    idle(1);
}

void tap_f12() {
    steps.push_back([] { headless_input_key(SCAN_F12, true); });
    idle(1);
    steps.push_back([] { headless_input_key(SCAN_F12, false); });
}

// The next steps, from the page shown: towards the information lines' page, then On and Off in
// turn, with a screenshot after every eighth switch.
void plan(int& switches) {
    switch (game.menu_state) {
        case PAGE_MAIN: click_entry(2); break;      // Options
        case PAGE_OPTIONS: click_entry(1); break;   // Gameplay
        case PAGE_GAMEPLAY: click_entry(4); break;  // Menu info
        case PAGE_MENU_INFO:
            click_entry(switches % 2 == 0 ? 4 : 5);  // On, Off
            if (++switches % 8 == 0) tap_f12();
            break;
        default: click_entry(menu_pages[game.menu_state].escape_index); break;
    }
}

[[noreturn]] void run_child(int ready_fd) {
    platform_use_backend(&headless_backend);
    headless_system_reset();
    headless_input_reset();
    headless_audio_reset();
    headless_video_reset();
    int switches = 0;
    bool told = false;
    headless_video().on_pump = [&] {
        if (!told) {
            // The settings are loaded: start-up is past its first settings access.
            told = true;
            [[maybe_unused]] ssize_t n = write(ready_fd, "r", 1);
            close(ready_fd);
        }
        if (steps.empty()) plan(switches);
        auto step = std::move(steps.front());
        steps.pop_front();
        step();
    };
    game_run();
    _exit(3);  // the script never ends the program
}

// --- the parent: kills and checks -------------------------------------------------------------

bool complete_png(const std::string& path, int width, int height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok && int(image.width) == width && int(image.height) == height;
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path().filename().string());
    return out;
}

// The writing process's id in a temporary file's name ("." + name + "." + pid + "-" + ending, as
// a settings write-back and a screenshot name theirs), or 0.
long temp_owner(const std::string& name) {
    size_t dash = name.rfind('-');
    if (name.empty() || name[0] != '.' || dash == std::string::npos) return 0;
    size_t digits = dash;
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') digits--;
    if (digits == dash || digits < 2 || name[digits - 1] != '.') return 0;
    return std::strtol(name.c_str() + digits, nullptr, 10);
}

bool is_final_screenshot(const std::string& name) {
    unsigned n = 0;
    char tail[8] = {};
    return std::sscanf(name.c_str(), "Screenshot_%u%7s", &n, tail) == 2 && std::strcmp(tail, ".png") == 0;
}
}  // namespace

int main(int argc, char** argv) {
    int kills = argc > 1 ? std::atoi(argv[1]) : 500;
    unsigned seed = argc > 2 ? unsigned(std::atoi(argv[2])) : 1u;
    int max_delay_ms = argc > 3 ? std::atoi(argv[3]) : 700;

    TempFolder work;
    const std::string files = work.file("Files"), shots = work.file("Files/Screenshots");
    std::filesystem::create_directories(shots);
    Settings off, on;
    on.menu_info = 1;
    const std::string contents[2] = {off.bytes(), on.bytes()};
    TempFolder::write(files + "/Tarnwood.cfg", contents[0]);

    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delay(0, max_delay_ms);
    int done = 0, failures = 0, torn = 0, missing = 0, stale_kept = 0, partial_png = 0, start_failed = 0;
    int ended_alone = 0, with_temp = 0, seen[2] = {0, 0}, screenshots = 0, shot_temps = 0;
    auto started = std::chrono::steady_clock::now();

    while (done < kills) {
        int fds[2];
        if (pipe(fds) != 0) return 2;
        pid_t child = fork();
        if (child < 0) return 2;
        if (child == 0) {
            close(fds[0]);
            if (chdir(work.path().c_str()) != 0) _exit(4);
            run_child(fds[1]);
        }
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        char byte = 0;
        bool ready = poll(&p, 1, 20000) == 1 && read(fds[0], &byte, 1) == 1;
        close(fds[0]);
        if (!ready) {
            std::printf("kill %d: the child did not reach its menu\n", done + 1);
            start_failed++;
            failures++;
        } else {
            // The start has loaded the settings and opened the menu: no temporary file of an
            // earlier process is left, beside the settings or among the screenshots.
            for (const std::string& folder : {files, shots})
                for (const std::string& n : names_in(folder)) {
                    long owner = temp_owner(n);
                    if (owner && owner != child) {
                        std::printf("kill %d: %s of process %ld is still there after the next start\n", done + 1,
                                    n.c_str(), owner);
                        stale_kept++;
                        failures++;
                    }
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(delay(rng)));
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFSIGNALED(status)) ended_alone++;
        done++;

        // The settings file: one of the two contents, whole.
        std::string path = files + "/Tarnwood.cfg";
        if (!std::filesystem::exists(path)) {
            std::printf("kill %d: the settings file is missing\n", done);
            missing++;
            failures++;
            TempFolder::write(path, contents[0]);
        } else {
            std::string now = TempFolder::read(path);
            if (now == contents[0]) seen[0]++;
            else if (now == contents[1]) seen[1]++;
            else {
                std::printf("kill %d: the settings file is torn (%zu bytes)\n", done, now.size());
                torn++;
                failures++;
                TempFolder::write(path, contents[0]);
            }
        }
        for (const std::string& n : names_in(files))
            if (temp_owner(n) == child) with_temp++;

        // Screenshots: complete under their final name; anything else is left for counting.
        for (const std::string& n : names_in(shots)) {
            std::string file = shots + "/" + n;
            if (is_final_screenshot(n)) {
                screenshots++;
                if (!complete_png(file, 1024, 768)) {
                    std::printf("kill %d: %s is not a complete 1024x768 PNG (%ju bytes)\n", done, n.c_str(),
                                uintmax_t(std::filesystem::file_size(file)));
                    partial_png++;
                    failures++;
                }
                std::filesystem::remove(file);
            } else if (temp_owner(n) == child) {
                shot_temps++;  // left for the next start to remove
            } else {
                std::printf("kill %d: unexpected file %s among the screenshots\n", done, n.c_str());
                failures++;
                std::filesystem::remove(file);
            }
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("kills: %d in %.0f s (seed %u, delays 0-%d ms); ended before the kill: %d\n", done, seconds, seed,
                max_delay_ms, ended_alone);
    std::printf("settings file after the kill: old/new contents %d / %d, torn %d, missing %d\n", seen[0], seen[1],
                torn, missing);
    std::printf("kills that left a temporary file: settings %d, screenshots %d; not removed by the next start: %d\n",
                with_temp, shot_temps, stale_kept);
    std::printf("screenshots under their final name: %d, incomplete: %d\n", screenshots, partial_png);
    std::printf("children that did not reach the menu: %d\n", start_failed);
    std::printf("%s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
