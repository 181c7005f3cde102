// Scenario tests of the whole program: the real start-up, main loop and shutdown (game_run) on the
// headless backend, in a temporary working folder with its own Files/, driven frame by frame by a
// script of input steps run from the display's message pump. A guard ends a run that outlives its
// script by pressing Escape until the program stops, and records that it had to.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

#include "game/startup/game_main.h"
#include "game/startup/game_state.h"
#include "runtime/media/mouse.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_audio.h"
#include "runtime/platform/headless/headless_input.h"
#include "runtime/platform/headless/headless_video.h"
#include "support/temp_folder.h"

constexpr uint8_t SCAN_ESCAPE = 1;
constexpr uint8_t SCAN_F12 = 88;

class Scenario {
public:
    // A working folder with Files/ and Files/Screenshots/ and, unless settings is null, the
    // settings file with those bytes.
    explicit Scenario(const char* settings = "", bool screenshots_folder = true) {
        std::filesystem::create_directories(folder_.file("Files"));
        if (screenshots_folder) std::filesystem::create_directories(folder_.file("Files/Screenshots"));
        if (settings) write_settings(settings);
        folder_.enter();
    }
    ~Scenario() { folder_.leave(); }

    void write_settings(const std::string& bytes) { TempFolder::write(folder_.file("Files/Tarnwood.cfg"), bytes); }
    std::string settings() const { return TempFolder::read(folder_.file("Files/Tarnwood.cfg")); }
    bool settings_exist() const { return std::filesystem::exists(folder_.file("Files/Tarnwood.cfg")); }
    std::string file(const std::string& name) const { return folder_.file(name); }

    // --- the script: each step runs at one pump (one frame) --------------------------------------
    void step(std::function<void()> action) { steps_.push_back(std::move(action)); }
    void idle(int frames) {
        for (int i = 0; i < frames; i++) step([] {});
    }
    // Moves the pointer to x, y by a relative motion taken from where the program has it now.
    void move_to(int32_t x, int32_t y) {
        step([x, y] { headless_input_motion(x - mouse_x(), y - mouse_y()); });
    }
    // Press, hold over two more frames, release: the program sees the button held twice, then up
    // in the frame after the release step (which chooses, when it chooses).
    void click() {
        step([] { headless_input_button(0, true); });
        idle(2);
        step([] { headless_input_button(0, false); });
    }
    void click_at(int32_t x, int32_t y) {
        move_to(x, y);
        idle(1);
        click();
    }
    void key_tap(uint8_t code) {
        step([code] { headless_input_key(code, true); });
        idle(1);
        step([code] { headless_input_key(code, false); });
    }

    // Runs the program until it ends by itself; the guard allows this many frames after the script.
    int run(int guard_frames = 200) {
        platform_use_backend(&headless_backend);
        headless_system_reset();
        headless_input_reset();
        headless_audio_reset();
        headless_video_reset();
        frames = 0;
        guard_used = false;
        int idle_after_script = 0;
        headless_video().on_pump = [this, guard_frames, &idle_after_script] {
            frames++;
            if (!steps_.empty()) {
                auto action = std::move(steps_.front());
                steps_.pop_front();
                action();
                return;
            }
            if (++idle_after_script > guard_frames) {
                guard_used = true;
                bool down = idle_after_script % 4 == 1;
                headless_input_key(SCAN_ESCAPE, down);
            }
        };
        int rc = game_run();
        headless_video().on_pump = nullptr;
        // A row the Direct3D stand-in told unchanged that changed would stay stale on a real screen.
        EXPECT_EQ(headless_video().rows_told_unchanged_wrongly, 0u);
        script_left = steps_.size();
        steps_.clear();
        return rc;
    }

    int frames = 0;
    bool guard_used = false;  // the program did not end by itself
    size_t script_left = 0;   // steps the program ended before reaching

private:
    TempFolder folder_;
    std::deque<std::function<void()>> steps_;
};

// The centre of an entry's rectangle as the tables lay it out.
inline std::pair<int32_t, int32_t> centre(const ButtonRect& r) { return {r.x + r.w / 2, r.y + r.h / 2}; }
