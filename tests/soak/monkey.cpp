// The soak's monkey player: plays the real program under a virtual X server (DISPLAY, started by
// tests/soak/soak.sh) at random but reproducibly (a seed) for a given time, and checks it.
// Actions, through xdotool: pointer moves, clicks on entries and on empty places, F12, Escape; the
// clicks reach every page, and with them the options that restart the program (language,
// resolution, refresh rate) and those written at once (music, information lines). A model of the
// menu (the game's own page and layout tables, the transitions) follows every action, so the
// monkey knows what it chose and what the program must do. Before each click the pointer is
// pushed into the top-left corner, where the program clamps it, so the model's pointer is exact.
// Checks, each reported and counted as a failure:
//   - every instance ends with exit code 0 (never by a signal);
//   - after a restart exactly one new instance runs within 5 s; after a quit none;
//   - after every instance the settings file parses, has every group and key, and holds what the
//     monkey chose;
//   - every screenshot is a complete PNG of the screen size of the instance that took it;
//   - each instance's resident memory grows by under 1 MB from its 10th second to its end (both
//     taken when no screenshot is in flight);
//   - frames keep coming: after each pointer move a frame is presented within 1 s.
// Report: minutes, instances, actions, clicks, restarts, quits, screenshots, RSS peak and growth,
// the longest wait for a frame after a move and the longest gap between two presents.
// Usage: monkey SECONDS SEED PROGRAM SUBREAPER PRESENT_SHIM WORK_FOLDER
// Relies on: the game's tables (game_build_tables, menu_pages), libpng, xdotool, /proc.
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "game/menu/pages.h"
#include "game/startup/game_state.h"
#include "game/tables/tables.h"
#include "runtime/foundation/heap.h"
#include "runtime/foundation/strings.h"
#include "soak/present_record.h"

namespace {
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

FILE* trace_file = nullptr;  // every action with the model's state, for finding what went wrong
void trace(const char* format, ...) {
    if (!trace_file) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(trace_file, format, args);
    std::fputc('\n', trace_file);
    std::fflush(trace_file);
    va_end(args);
}

int failures = 0;
void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::printf("FAIL: %s\n", text);
    std::fflush(stdout);
    trace("FAIL: %s", text);
    failures++;
}

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) fail("command failed: %s", command.c_str());
}

// --- the menu model -----------------------------------------------------------------------------

// Where each page's entries lead by index; -1: an option or Quit (handled by the model).
const std::vector<std::vector<int>> kNext = {
    {1, 2, 3, 21, -1}, {0}, {0}, {4, 13, 16, 19, 0},
    {13, 16, 19, 5, 6, 7, 8, 9, 10, 11, 12, 0}, {13, 16, 19, 6, 7, 8, 9, 10, 11, 12, 0},
    {13, 16, 19, 5, 7, 8, 9, 10, 11, 12, 0}, {13, 16, 19, 5, 6, 8, 9, 10, 11, 12, 0},
    {13, 16, 19, 5, 6, 7, 9, 10, 11, 12, 0}, {13, 16, 19, 5, 6, 7, 8, 10, 11, 12, 0},
    {13, 16, 19, 5, 6, 7, 8, 9, 11, 12, 0}, {13, 16, 19, 5, 6, 7, 8, 9, 10, 12, 0},
    {13, 16, 19, 5, 6, 7, 8, 9, 10, 11, 0}, {4, 16, 19, 14, 15, 0},
    {4, 16, 19, 15, -1, -1, 0}, {4, 16, 19, 14, -1, -1, 0}, {4, 13, 19, 17, 18, 0},
    {4, 13, 19, 18, -1, -1, -1, -1, 0}, {4, 13, 19, 17, -1, -1, -1, 0}, {4, 13, 16, 20, 0},
    {4, 13, 16, -1, -1, 0}, {0},
};
struct Size {
    int w, h;
};
const Size kSizes[] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
const int kRefresh[] = {60, 75, 85};

// What the settings file must hold.
struct Chosen {
    int w = 1024, h = 768, hz = 75, menu_info = 0, music = 1;
    std::string language = "German";
};

enum class Outcome { STAY, RESTART, QUIT };

// The program's window fills the virtual X server's screen (tests/soak/soak.sh starts it so) and
// shows its picture letterboxed; the pointer's relative motion reaches the program unscaled, as
// the mouse's own motion.

struct Model {
    Chosen now;         // the settings in force and chosen
    int page = PAGE_MAIN;
    int px = 0, py = 0;
    std::string restart_page;  // MenuPage written by the last restart

    // Follows a motion of the X pointer: added, clamped to the screen.
    bool follow(int dx, int dy) {
        int x = std::clamp(px + dx, 0, now.w - 1);
        int y = std::clamp(py + dy, 0, now.h - 1);
        bool changed = x != px || y != py;
        px = x;
        py = y;
        return changed;
    }

    // The entries' rectangles for the size and language in force, from the game's own tables.
    void layout() {
        game.screen_width = now.w;
        game.screen_height = now.h;
        str_assign(&game.language, str_from_utf8(now.language).c_str());
        game_build_tables();
    }
    ButtonRect entry(int index) const {
        const PageItem& item = menu_pages[page].entries[index];
        ButtonRect r = game.*(item.name->rect);
        if (item.fixed_height) r.h = item.fixed_height;
        return r;
    }
    static bool inside(const ButtonRect& r, int x, int y) { return r.x < x && x < r.x + r.w && r.y < y && y < r.y + r.h; }
    // The entry a click at x, y picks (-1: none). A caption takes the click and does nothing.
    int hit(int x, int y) const {
        const PageDef& p = menu_pages[page];
        for (int i = 0; i < p.caption_count; i++) {
            const PageItem& item = p.captions[i];
            ButtonRect r = game.*(item.name->rect);
            if (item.fixed_height) r.h = item.fixed_height;
            if (inside(r, x, y)) return -1;
        }
        for (int i = 0; i < p.entry_count; i++)
            if (inside(entry(i), x, y)) return i;
        return -1;
    }
    // Near an edge of any entry or caption: a place the monkey does not click blindly.
    bool near_edge(int x, int y) const {
        const PageDef& p = menu_pages[page];
        auto near = [x, y](ButtonRect r) {
            ButtonRect grown{r.x - 3, r.y - 3, r.w + 6, r.h + 6}, shrunk{r.x + 3, r.y + 3, r.w - 6, r.h - 6};
            return inside(grown, x, y) && !inside(shrunk, x, y);
        };
        for (int i = 0; i < p.caption_count; i++)
            if (near(game.*(p.captions[i].name->rect))) return true;
        for (int i = 0; i < p.entry_count; i++)
            if (near(entry(i))) return true;
        return false;
    }
    // What choosing entry `index` of the page shown does.
    Outcome choose(int index) {
        int next = kNext[page][index];
        if (next >= 0) {
            page = next;
            return Outcome::STAY;
        }
        if (page == PAGE_MAIN) return Outcome::QUIT;
        if (page == PAGE_LANGUAGE) {
            std::string wanted = index == 4 ? "German" : "English";
            if (wanted == now.language) return Outcome::STAY;
            now.language = wanted;
            restart_page = "GameLang";
            page = PAGE_LANGUAGE;
            return Outcome::RESTART;
        }
        if (page == PAGE_MENU_INFO) {
            now.menu_info = index == 4 ? 1 : 0;
            return Outcome::STAY;
        }
        if (page == PAGE_MUSIC) {
            now.music = index == 3 ? 1 : 0;
            return Outcome::STAY;
        }
        if (page == PAGE_RESOLUTION) {
            Size s = kSizes[index - 4];
            if (s.w == now.w && s.h == now.h) return Outcome::STAY;
            now.w = s.w;
            now.h = s.h;
            restart_page = "GraphicRes";
            page = PAGE_RESOLUTION;
            return Outcome::RESTART;
        }
        if (page == PAGE_REFRESH) {
            int hz = kRefresh[index - 4];
            if (hz == now.hz) return Outcome::STAY;
            now.hz = hz;
            restart_page = "GraphicHz";
            page = PAGE_REFRESH;
            return Outcome::RESTART;
        }
        return Outcome::STAY;
    }
    void start_instance(bool after_restart) {
        if (!after_restart) page = PAGE_MAIN;  // a restart opens the page it came from
        px = now.w / 2;
        py = now.h - 20;
        layout();
    }
};

// --- the program's processes --------------------------------------------------------------------

struct Instance {
    pid_t pid = 0;
    Size size{};
    Clock::time_point started;
    long rss_at_10s = -1, rss_last = 0, rss_peak = 0;
    int screenshots = 0;
    PresentRecord* presents = nullptr;
};

// The live processes of the session led by the subreaper, but the subreaper itself.
std::set<pid_t> instances_of(pid_t session) {
    std::set<pid_t> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (dirent* e = readdir(proc)) {
        pid_t pid = pid_t(std::atoi(e->d_name));
        if (pid <= 0 || pid == session) continue;
        std::ifstream in("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        long ppid, pgrp, sid;
        if (!(rest >> state >> ppid >> pgrp >> sid)) continue;
        if (sid == session && state != 'Z') out.insert(pid);
    }
    closedir(proc);
    return out;
}

long rss_kb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    return 0;
}

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

// The settings file as groups of keys; false when a line is not a header, comment or key line.
bool parse_settings(const std::string& path, std::map<std::string, std::map<std::string, std::string>>& out) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
    std::istringstream lines(text.substr(3));
    std::string line, group;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string::npos) return false;
            group = line.substr(1, close - 1);
            out[group];
            continue;
        }
        size_t eq = line.find(" = ");
        if (eq == std::string::npos) return false;
        out[group][line.substr(0, eq)] = line.substr(eq + 3);
    }
    return true;
}

const std::vector<std::pair<std::string, std::vector<std::string>>> kGroups = {
    {"Application", {"PathMain", "Version"}},
    {"Screen", {"ScreenW", "ScreenH", "ScreenD", "ScreenS", "ScreenHz"}},
    {"Settings", {"MenuPage", "Log"}},
    {"OptionsKeys", {"Forward", "Backward", "Left", "Right", "Jump", "Journal", "Map", "Screenshot"}},
    {"OptionsGame", {"Language", "MenuInfo"}},
    {"OptionsSound", {"Music"}},
};

struct Soak {
    std::string program, subreaper, shim, work;
    std::mt19937 rng;
    Model model;
    pid_t reaper = 0;
    int reaper_out = -1;
    std::string reaper_text;
    Instance current;
    std::vector<Instance> ended;
    int actions = 0, clicks = 0, restarts = 0, quits = 0, screenshots = 0, moves = 0, launched = 0;
    double longest_response = 0;
    uint64_t longest_gap_ns = 0;
    bool music_switched = false;
    bool ending = false;  // the monkey made the instance end
    bool lost = false;    // the instance ended when the model expected it to run on

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // --- processes

    void launch() {
        int fds[2];
        if (pipe(fds) != 0) std::exit(2);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            if (chdir(work.c_str()) != 0) _exit(127);
            setsid();
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
            setenv("LD_PRELOAD", shim.c_str(), 1);
            setenv("TARNWOOD_SOAK_PRESENTS", (work + "/presents").c_str(), 1);
            int log = open((work + "/program.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (log >= 0) dup2(log, 2);
            execl(subreaper.c_str(), subreaper.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        reaper = pid;
        reaper_out = fds[0];
        launched++;
    }

    // Reads the subreaper's report of ended processes; checks and records each.
    void collect() {
        char buffer[512];
        ssize_t n;
        while (reaper_out >= 0 && (n = read(reaper_out, buffer, sizeof buffer)) > 0) reaper_text.append(buffer, size_t(n));
        size_t nl;
        while ((nl = reaper_text.find('\n')) != std::string::npos) {
            std::string line = reaper_text.substr(0, nl);
            reaper_text.erase(0, nl + 1);
            char kind[16] = {};
            long pid = 0, value = 0;
            if (std::sscanf(line.c_str(), "%15s %ld %ld", kind, &pid, &value) < 2) continue;
            trace("subreaper: %s", line.c_str());
            if (pid == current.pid && !ending) lost = true;
            if (std::strcmp(kind, "exit") == 0 && value != 0) fail("process %ld ended with exit code %ld", pid, value);
            if (std::strcmp(kind, "signal") == 0) fail("process %ld ended by signal %ld", pid, value);
            if (std::strcmp(kind, "reaped") == 0) {
                int status = 0;
                waitpid(reaper, &status, 0);
                close(reaper_out);
                reaper_out = -1;
                reaper = 0;
            }
        }
    }

    // The one instance of the session other than `old`, once it runs; 0 after `limit` seconds.
    pid_t wait_for_new_instance(pid_t old, double limit) {
        auto start = Clock::now();
        while (seconds_since(start) < limit) {
            collect();
            std::set<pid_t> live = reaper ? instances_of(reaper) : std::set<pid_t>{};
            if (live.size() == 1 && *live.begin() != old) return *live.begin();
            sleep_ms(20);
        }
        std::set<pid_t> live = reaper ? instances_of(reaper) : std::set<pid_t>{};
        fail("%zu instances run %.0f s after the start or restart (expected exactly one new one)", live.size(), limit);
        return 0;
    }

    void begin_instance(pid_t pid) {
        current = Instance{};
        current.pid = pid;
        current.size = {model.now.w, model.now.h};
        current.started = Clock::now();
    }

    // Waits until the instance presents frames, maps its present record, and lets it settle.
    bool wait_for_frames() {
        auto start = Clock::now();
        std::string path = work + "/presents." + std::to_string(current.pid);
        while (seconds_since(start) < 15) {
            int fd = open(path.c_str(), O_RDONLY);
            if (fd >= 0) {
                void* p = mmap(nullptr, sizeof(PresentRecord), PROT_READ, MAP_SHARED, fd, 0);
                close(fd);
                if (p != MAP_FAILED) {
                    auto* r = static_cast<PresentRecord*>(p);
                    if (__atomic_load_n(&r->count, __ATOMIC_ACQUIRE) > 0) {
                        current.presents = r;
                        sleep_ms(500);  // the capture of the pointer is taken in the first frames
                        return true;
                    }
                    munmap(p, sizeof(PresentRecord));
                }
            }
            sleep_ms(50);
        }
        fail("instance %d presents no frame 15 s after it started", int(current.pid));
        return false;
    }

    // The checks when an instance has ended: settings file and screenshots.
    void finish_instance() {
        if (!current.pid) return;
        if (current.presents) {
            longest_gap_ns = std::max(longest_gap_ns, current.presents->longest_gap_ns);
            munmap(current.presents, sizeof(PresentRecord));
            current.presents = nullptr;
        }
        std::filesystem::remove(work + "/presents." + std::to_string(current.pid));
        check_settings();
        check_screenshots();
        ended.push_back(current);
        current = Instance{};
    }

    void check_settings() {
        std::map<std::string, std::map<std::string, std::string>> s;
        std::string path = work + "/Files/Tarnwood.cfg";
        if (!parse_settings(path, s)) {
            fail("after instance %d the settings file does not parse", int(current.pid));
            return;
        }
        for (const auto& [group, keys] : kGroups)
            for (const std::string& key : keys)
                if (!s.count(group) || !s[group].count(key)) fail("the settings file lacks %s/%s", group.c_str(), key.c_str());
        const Chosen& c = model.now;
        std::pair<std::string, std::string> expected[] = {
            {"ScreenW", std::to_string(c.w)},       {"ScreenH", std::to_string(c.h)},
            {"ScreenHz", std::to_string(c.hz)},     {"Language", c.language},
            {"MenuInfo", std::to_string(c.menu_info)},
        };
        const char* groups[] = {"Screen", "Screen", "Screen", "OptionsGame", "OptionsGame"};
        for (int i = 0; i < 5; i++)
            if (s[groups[i]][expected[i].first] != expected[i].second)
                fail("after instance %d %s is \"%s\", the monkey chose \"%s\"", int(current.pid), expected[i].first.c_str(),
                     s[groups[i]][expected[i].first].c_str(), expected[i].second.c_str());
        // Music is written only when switched; until then the shipped value stands.
        if (music_switched && s["OptionsSound"]["Music"] != std::to_string(c.music))
            fail("after instance %d Music is \"%s\", the monkey chose %d", int(current.pid), s["OptionsSound"]["Music"].c_str(), c.music);
        // The page a restart stores, or "Main" once the new instance has opened on it.
        const std::string& page = s["Settings"]["MenuPage"];
        if (page != "Main" && page != model.restart_page) fail("MenuPage is \"%s\"", page.c_str());
    }

    void check_screenshots() {
        std::string folder = work + "/Files/Screenshots";
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            std::string name = e.path().filename().string();
            if (name.compare(0, 11, "Screenshot_") != 0) {
                fail("a file other than a screenshot in the folder: %s", name.c_str());
            } else if (!complete_png(e.path().string(), current.size.w, current.size.h)) {
                fail("%s of instance %d is not a complete %dx%d PNG", name.c_str(), int(current.pid), current.size.w,
                     current.size.h);
            } else {
                screenshots++;
            }
            std::filesystem::remove(e.path());
        }
    }

    // Whether every screenshot asked for is written: none is in flight, holding its buffers.
    bool screenshots_settled() const {
        int final_files = 0;
        for (const auto& e : std::filesystem::directory_iterator(work + "/Files/Screenshots")) {
            std::string name = e.path().filename().string();
            if (name[0] == '.') return false;
            final_files++;
        }
        return final_files >= current.screenshots;
    }

    // The resident memory, sampled about once a second. Growth is measured between settled
    // moments (no screenshot in flight): a screenshot's buffers live only while it is written.
    void sample_rss() {
        if (!current.pid) return;
        long rss = rss_kb(current.pid);
        if (!rss) return;
        bool settled = screenshots_settled();
        trace("rss %d at %.0f s: %ld kB after %d screenshots%s", int(current.pid), seconds_since(current.started), rss,
              current.screenshots, settled ? "" : " (one in flight)");
        current.rss_peak = std::max(current.rss_peak, rss);
        if (!settled) return;
        current.rss_last = rss;
        if (current.rss_at_10s < 0 && seconds_since(current.started) >= 10) current.rss_at_10s = rss;
    }

    // --- input

    uint64_t presents() const { return current.presents ? __atomic_load_n(&current.presents->count, __ATOMIC_ACQUIRE) : 0; }
    uint64_t input_reads() const {
        return current.presents ? __atomic_load_n(&current.presents->input_reads, __ATOMIC_ACQUIRE) : 0;
    }

    // Lets the program read its input: at least min_ms, and four reads of its events after the call
    // (a frame reads the mouse's and the keyboard's, and the first may have come before the call),
    // or max_ms when the program stops reading.
    void let_frames_pass(int min_ms, int max_ms) {
        uint64_t before = input_reads();
        auto start = Clock::now();
        sleep_ms(min_ms);
        while (input_reads() < before + 4 && seconds_since(start) * 1000 < max_ms) sleep_ms(2);
    }

    // A relative pointer move, followed by the model with the program's clamping; measures the
    // wait for the frame that shows it.
    void move(int dx, int dy) {
        uint64_t before = presents();
        auto start = Clock::now();
        run("xdotool mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy));
        bool changes = model.follow(dx, dy);
        moves++;
        if (changes && current.presents) {
            while (presents() == before && seconds_since(start) < 5) sleep_ms(2);
            double waited = seconds_since(start);
            longest_response = std::max(longest_response, waited);
            if (waited > 1.0) fail("no frame for %.2f s after a pointer move (instance %d)", waited, int(current.pid));
        }
        // One move per frame: the program adds up the moves of a frame before it clamps.
        let_frames_pass(20, 3000);
    }

    // The pointer to x, y exactly: first into the top-left corner, where the program clamps it.
    void move_to(int x, int y) {
        move(-4 * model.now.w, -4 * model.now.h);
        move(x - model.px, y - model.py);
        if (model.px != x || model.py != y) fail("the model cannot put the pointer at %d, %d", x, y);
    }

    // Keys and buttons are held over frames: the program sees the state once per frame.
    void key(const char* name) {
        trace("key %s on page %d", name, model.page);
        run(std::string("xdotool keydown ") + name);
        let_frames_pass(100, 3000);
        run(std::string("xdotool keyup ") + name);
        let_frames_pass(100, 3000);
    }

    // A click at x, y and what the model says it does.
    Outcome click_at(int x, int y) {
        move_to(x, y);
        run("xdotool mousedown 1");
        let_frames_pass(100, 3000);
        run("xdotool mouseup 1");
        let_frames_pass(100, 3000);
        clicks++;
        int index = model.hit(x, y);
        trace("click %d,%d on page %d: entry %d", x, y, model.page, index);
        if (index < 0) return Outcome::STAY;
        int page = model.page;
        Outcome o = model.choose(index);
        if (page == PAGE_MUSIC && (index == 3 || index == 4)) music_switched = true;
        if (o == Outcome::STAY && model.page != page) sleep_ms(50);
        return o;
    }

    // --- the play

    void start_fresh() {
        model.start_instance(false);
        launch();
        if (pid_t pid = wait_for_new_instance(0, 5)) {
            begin_instance(pid);
            wait_for_frames();
        }
    }

    // An instance ended by a restart or a quit: check it, and go on with the next one (after a
    // quit only when go_on is set: the monkey starts the program again).
    void instance_ended(Outcome o, bool go_on = true) {
        ending = true;
        Instance old = current;
        Size old_size = current.size;
        auto start = Clock::now();
        while (seconds_since(start) < 10 && reaper && instances_of(reaper).count(old.pid)) {
            collect();
            sleep_ms(20);
        }
        if (reaper && instances_of(reaper).count(old.pid)) fail("instance %d still runs 10 s after it was told to end", int(old.pid));
        pid_t next = 0;
        if (o == Outcome::RESTART) {
            restarts++;
            next = wait_for_new_instance(old.pid, 5);
        } else {
            quits++;
            // Nothing may run on: the subreaper ends once the last process has.
            while (seconds_since(start) < 10 && reaper) {
                collect();
                sleep_ms(20);
            }
            if (reaper) fail("a process still runs after the program quit");
        }
        collect();
        ending = false;
        current = old;
        current.size = old_size;
        finish_instance();
        if (next) {
            model.start_instance(true);
            begin_instance(next);
            wait_for_frames();
        } else if (o == Outcome::QUIT && go_on) {
            start_fresh();
        }
    }

    void act() {
        actions++;
        int roll = uniform(0, 99);
        Outcome o = Outcome::STAY;
        if (roll < 45) {
            move(uniform(-model.now.w / 2, model.now.w / 2), uniform(-model.now.h / 2, model.now.h / 2));
        } else if (roll < 80) {
            // An entry of the page shown, at its centre.
            int count = menu_pages[model.page].entry_count;
            ButtonRect r = model.entry(uniform(0, count - 1));
            // Quit sparingly: it ends the program.
            if (model.page == PAGE_MAIN && model.hit(r.x + r.w / 2, r.y + r.h / 2) == 4 && uniform(0, 5) != 0) return;
            o = click_at(r.x + r.w / 2, r.y + r.h / 2);
        } else if (roll < 88) {
            // Anywhere else, away from the edges of entries.
            int x, y;
            do {
                x = uniform(0, model.now.w - 1);
                y = uniform(0, model.now.h - 1);
            } while (model.near_edge(x, y));
            o = click_at(x, y);
        } else if (roll < 94) {
            key("F12");
            current.screenshots++;
        } else if (roll < 97) {
            // Escape on the main page ends the program: seldom, so that instances live long.
            if (model.page == PAGE_MAIN && uniform(0, 3) != 0) return;
            key("Escape");
            if (model.page == PAGE_MAIN) {
                o = Outcome::QUIT;
            } else {
                model.page = PAGE_MAIN;  // every page's Escape entry leads to the main page
            }
        } else {
            sleep_ms(uniform(100, 600));
        }
        if (o != Outcome::STAY) instance_ended(o);
    }
};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s SECONDS SEED PROGRAM SUBREAPER PRESENT_SHIM WORK_FOLDER\n", argv[0]);
        return 2;
    }
    double duration = std::atof(argv[1]);
    Soak soak;
    soak.rng.seed(unsigned(std::atol(argv[2])));
    soak.program = argv[3];
    soak.subreaper = argv[4];
    soak.shim = argv[5];
    soak.work = argv[6];
    trace_file = std::fopen((soak.work + "/monkey.log").c_str(), "w");
    runtime_heap = heap_create(4096, true);
    str_init();
    std::printf("soak: %.0f s, seed %s, in %s\n", duration, argv[2], argv[6]);
    std::fflush(stdout);

    auto started = Clock::now();
    auto last_sample = Clock::now();
    soak.start_fresh();
    while (seconds_since(started) < duration) {
        soak.collect();
        if (!soak.current.pid) {
            fail("no instance runs");
            break;
        }
        if (soak.lost) {
            // The program and the model parted: what follows could not be checked.
            fail("instance %d ended while the monkey's model expected it to run on (page %d)", int(soak.current.pid),
                 soak.model.page);
            break;
        }
        soak.act();
        if (seconds_since(last_sample) >= 1.0) {
            soak.sample_rss();
            last_sample = Clock::now();
        }
    }
    // The end: Escape to the main page, then Escape to quit.
    if (soak.current.pid) {
        if (soak.model.page != PAGE_MAIN) soak.key("Escape");
        soak.key("Escape");
        soak.instance_ended(Outcome::QUIT, false);
        soak.quits--;  // the monkey's own end, not one it played
    }
    long peak = 0, growth = 0;
    int measured = 0;
    for (const Instance& i : soak.ended) {
        peak = std::max(peak, i.rss_peak);
        if (i.rss_at_10s < 0) continue;
        measured++;
        long g = i.rss_last - i.rss_at_10s;
        growth = std::max(growth, g);
        if (g >= 1024) fail("instance %d grew by %ld kB from its 10th second to its end", int(i.pid), g);
    }
    std::printf("minutes: %.1f\n", seconds_since(started) / 60);
    std::printf("instances: %zu (%d started by the monkey, %d restarts by the program, %d quits)\n", soak.ended.size(),
                soak.launched, soak.restarts, soak.quits);
    std::printf("actions: %d (pointer moves %d, clicks %d), screenshots: %d\n", soak.actions, soak.moves, soak.clicks,
                soak.screenshots);
    std::printf("resident memory: peak %ld kB; largest growth from the 10th second to the end %ld kB (%d instances "
                "lived 10 s or more)\n", peak, growth, measured);
    std::printf("frames: longest wait for a frame after a pointer move %.0f ms; longest gap between two presents %.0f ms\n",
                soak.longest_response * 1000, double(soak.longest_gap_ns) / 1e6);
    std::printf("%s (%d failures)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}
