// Screenshots written off the frame loop: the menu goes on presenting frames while a screenshot is
// compressed, quick presses give consecutive numbers with their own frame's pixels and the bytes
// the encoder writes on the game thread, at most two are in flight, the end of the program and a
// restart wait for them, and a write that fails at any step leaves neither the file nor a
// temporary file behind.
#include <png.h>

#include <cerrno>
#include <map>
#include <vector>

#include "game/menu/menu.h"
#include "runtime/media/image/image.h"
#include "runtime/platform/system/file.h"
#include "support/menu_script.h"

namespace {
std::string settings(int width, int height) {
    return "[Screen]\r\nScreenW = " + std::to_string(width) + "\r\nScreenH = " + std::to_string(height) +
           "\r\n[OptionsKeys]\r\nScreenshot = F12\r\n";
}

std::string shot_path(const Scenario& s, int n) {
    return s.file("Files/Screenshots/Screenshot_" + std::to_string(n) + ".png");
}

std::vector<std::string> shot_folder(const Scenario& s) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(s.file("Files/Screenshots")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A PNG file decoded to 0x00RRGGBB pixels, top row first; empty when it does not decode.
struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};
Picture decode(const std::string& path) {
    Picture out;
    std::string bytes = TempFolder::read(path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return out;
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return out;
    for (uint32_t& p : pixels) p &= 0xFFFFFF;  // little-endian BGRA -> 0xAARRGGBB
    out.width = image.width;
    out.height = image.height;
    out.pixels = std::move(pixels);
    return out;
}

Picture picture_of(const HeadlessVideoFrame& frame) {
    Picture out;
    out.width = uint32_t(frame.width);
    out.height = uint32_t(frame.height);
    for (int32_t y = 0; y < frame.height; y++)
        for (int32_t x = 0; x < frame.width; x++) out.pixels.push_back(frame.pixel(x, y) & 0xFFFFFF);
    return out;
}

// The frames presented during a run, by sequence number, as the script's steps see them.
struct FrameLog {
    std::map<uint32_t, Picture> frames;
    void record() {
        if (const HeadlessVideoFrame* f = headless_video_frame(0))
            if (!frames.count(f->sequence)) frames[f->sequence] = picture_of(*f);
    }
    // The sequence numbers of the recorded frames equal to the picture.
    std::vector<uint32_t> matching(const Picture& p) const {
        std::vector<uint32_t> out;
        for (const auto& [sequence, frame] : frames)
            if (frame.width == p.width && frame.height == p.height && frame.pixels == p.pixels) out.push_back(sequence);
        return out;
    }
};

// The file the PNG encoder writes on the game thread for the same pixels (as sprite_save hands
// them over: 24-bit, bottom row first).
std::string encoded_on_the_game_thread(const Picture& p, const std::string& path) {
    int32_t row = int32_t((p.width * 3 + 3) & ~3u);
    std::vector<uint8_t> buffer(size_t(row) * p.height);
    for (uint32_t y = 0; y < p.height; y++) {
        uint8_t* out = buffer.data() + size_t(p.height - 1 - y) * row;
        for (uint32_t x = 0; x < p.width; x++, out += 3) {
            uint32_t c = p.pixels[size_t(y) * p.width + x];
            out[0] = uint8_t(c);
            out[1] = uint8_t(c >> 8);
            out[2] = uint8_t(c >> 16);
        }
    }
    std::u16string name(path.begin(), path.end());
    image_register_png_encoder();
    int ok = image_encode(name.c_str(), buffer.data(), IMAGE_ENCODER_PNG, int32_t(p.width), int32_t(p.height), row,
                          24, IMAGE_BOTTOM_UP, 7);
    image_shutdown_blending();  // the image library's record back at its start
    return ok ? TempFolder::read(path) : std::string();
}

// Down, held over a frame, up; the program sees the release (and takes the screenshot) in the
// frame after the last step, whose pump comes before the screenshot.
void tap_f12(Scenario& s, FrameLog& log) {
    s.step([&log] {
        log.record();
        headless_input_key(SCAN_F12, true);
    });
    s.step([&log] { log.record(); });
    s.step([&log] {
        log.record();
        headless_input_key(SCAN_F12, false);
    });
    s.step([&log] { log.record(); });
}

void quit(Scenario& s) { click_entry(s, 4); }

// Records the calls of the writer's wait hook; the hook releases a held writer.
struct Waits {
    std::vector<int> in_flight;
    std::vector<size_t> process_starts;
    std::vector<bool> file_there;
    std::string watched;
    void install(bool hold) {
        ScreenshotWriterControl control;
        control.hold = hold;
        control.on_wait = [this](int n) {
            in_flight.push_back(n);
            process_starts.push_back(headless_system().process_starts.size());
            file_there.push_back(!watched.empty() && std::filesystem::exists(watched));
            screenshot_writer_hold(false);
        };
        screenshot_writer_control(control);
    }
    ~Waits() { screenshot_writer_control({}); }
};
}  // namespace

TEST(Screenshots, AScreenshotIsWrittenAfterItsFrameWhileTheMenuGoesOn) {
    Scenario s(settings(800, 600).c_str());
    Waits waits;
    waits.install(true);  // the writer holds the screenshot until the script lets it go
    s.idle(2);
    s.key_tap(SCAN_F12);
    uint32_t presented_at_key = 0;
    s.step([&] { presented_at_key = headless_video().presented; });
    s.idle(3);
    s.step([&] {
        EXPECT_EQ(game.screenshot_counter, 1);
        EXPECT_EQ(screenshot_in_flight(), 1);
        EXPECT_GT(headless_video().presented, presented_at_key) << "frames go on while it is in flight";
        EXPECT_TRUE(shot_folder(s).empty()) << "nothing is on disk before the writer has run";
        EXPECT_TRUE(waits.in_flight.empty()) << "the frame loop never waited";
        screenshot_writer_hold(false);
        screenshot_wait_all();
        EXPECT_EQ(screenshot_in_flight(), 0);
        EXPECT_EQ(shot_folder(s), std::vector<std::string>{"Screenshot_1.png"});
    });
    quit(s);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    Picture p = decode(shot_path(s, 1));
    EXPECT_EQ(p.width, 800u);
    EXPECT_EQ(p.height, 600u);
}

TEST(Screenshots, TwoQuickPressesGiveOneAndTwoWithTheirOwnFramesAndTheEncodersBytes) {
    Scenario s(settings(1024, 768).c_str());
    FrameLog log;
    s.idle(2);
    tap_f12(s, log);
    // The pointer moves before the second press: the two screens differ.
    s.step([&log] {
        log.record();
        headless_input_motion(-200, -150);
    });
    tap_f12(s, log);
    for (int i = 0; i < 3; i++) s.step([&log] { log.record(); });
    s.step([&] {
        EXPECT_EQ(game.screenshot_counter, 2);
        EXPECT_LE(screenshot_in_flight(), 2);
    });
    quit(s);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    ASSERT_EQ(shot_folder(s), (std::vector<std::string>{"Screenshot_1.png", "Screenshot_2.png"}));

    Picture first = decode(shot_path(s, 1)), second = decode(shot_path(s, 2));
    ASSERT_EQ(first.width, 1024u);
    ASSERT_EQ(second.height, 768u);
    EXPECT_NE(first.pixels, second.pixels);
    std::vector<uint32_t> frames_first = log.matching(first), frames_second = log.matching(second);
    ASSERT_FALSE(frames_first.empty()) << "screenshot 1 is a frame the menu presented";
    ASSERT_FALSE(frames_second.empty()) << "screenshot 2 is a frame the menu presented";
    EXPECT_LT(frames_first.back(), frames_second.front()) << "in the order of the presses";

    for (int n : {1, 2}) {
        const Picture& p = n == 1 ? first : second;
        std::string reference = encoded_on_the_game_thread(p, s.file("reference.png"));
        ASSERT_FALSE(reference.empty());
        EXPECT_EQ(TempFolder::read(shot_path(s, n)), reference) << "screenshot " << n;
    }
}

TEST(Screenshots, AThirdPressWaitsForTheOldestOfTwoInFlight) {
    Scenario s(settings(800, 600).c_str());
    Waits waits;
    waits.install(true);
    FrameLog log;
    s.idle(2);
    tap_f12(s, log);
    s.step([&] { EXPECT_EQ(screenshot_in_flight(), 1); });
    tap_f12(s, log);
    s.step([&] {
        EXPECT_EQ(screenshot_in_flight(), 2);
        EXPECT_TRUE(waits.in_flight.empty()) << "two in flight take no wait";
    });
    tap_f12(s, log);  // the hook releases the writer when the game thread waits
    s.step([&] {
        EXPECT_EQ(waits.in_flight, std::vector<int>{2});
        EXPECT_EQ(game.screenshot_counter, 3);
        EXPECT_LE(screenshot_in_flight(), 2);
    });
    quit(s);
    s.run();
    EXPECT_EQ(s.script_left, 0u);
    EXPECT_EQ(shot_folder(s),
              (std::vector<std::string>{"Screenshot_1.png", "Screenshot_2.png", "Screenshot_3.png"}));
    for (int n = 1; n <= 3; n++) EXPECT_EQ(decode(shot_path(s, n)).width, 800u) << n;
}

TEST(Screenshots, TheEndAndARestartWaitForAScreenshotInFlight) {
    struct Case {
        const char* what;
        std::function<void(Scenario&)> script;  // after the screenshot: how the program ends
        size_t process_starts;
    };
    const Case cases[] = {
        {"Quit", [](Scenario& s) { quit(s); }, 0},
        {"Escape on the main page", [](Scenario& s) { s.key_tap(SCAN_ESCAPE); }, 0},
        {"restart into English",
         [](Scenario& s) {
             go(s, PAGE_MAIN, PAGE_LANGUAGE);
             choose(s, 5);
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s(settings(800, 600).c_str());
        Waits waits;
        waits.watched = shot_path(s, 1);
        waits.install(true);
        s.idle(2);
        s.key_tap(SCAN_F12);
        s.idle(1);
        c.script(s);
        s.run();
        EXPECT_EQ(s.script_left, 0u);
        EXPECT_FALSE(s.guard_used);
        // One wait, with the screenshot still in flight and before any new instance was started.
        ASSERT_EQ(waits.in_flight, std::vector<int>{1});
        EXPECT_EQ(waits.process_starts[0], 0u);
        EXPECT_FALSE(waits.file_there[0]);
        EXPECT_EQ(headless_system().process_starts.size(), c.process_starts);
        EXPECT_EQ(shot_folder(s), std::vector<std::string>{"Screenshot_1.png"});
        EXPECT_EQ(decode(shot_path(s, 1)).height, 600u);
    }
}

TEST(Screenshots, AFailedWriteLeavesNoFileAndNoTemporaryFileAndTheNextOneWorks) {
    struct Case {
        const char* what;
        FileFaults faults;
    };
    auto faults = [](auto set) {
        FileFaults f{};
        set(f);
        return f;
    };
    const Case cases[] = {
        {"no temporary file", faults([](FileFaults& f) { f.temp_create_error = ENOSPC; })},
        {"disk full at once", faults([](FileFaults& f) { f.limit_writes = true; })},
        {"disk full within the picture", faults([](FileFaults& f) {
             f.limit_writes = true;
             f.write_budget = 70000;  // past the first block
         })},
        {"sync fails", faults([](FileFaults& f) { f.sync_error = EIO; })},
        {"rename fails", faults([](FileFaults& f) { f.rename_error = EXDEV; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s(settings(800, 600).c_str());
        // An older file of the same name stays as it was when the new one cannot be completed.
        TempFolder::write(shot_path(s, 1), "older");
        s.idle(2);
        s.step([&] { file_set_faults(c.faults); });  // after start-up, which may write the settings
        s.key_tap(SCAN_F12);
        s.idle(1);
        s.step([&] {
            screenshot_wait_all();
            EXPECT_EQ(shot_folder(s), std::vector<std::string>{"Screenshot_1.png"}) << "no temporary file";
            EXPECT_EQ(TempFolder::read(shot_path(s, 1)), "older");
            file_clear_faults();  // the writer is idle: no write is under way
        });
        s.key_tap(SCAN_F12);
        s.idle(1);
        s.step([&] {
            screenshot_wait_all();
            EXPECT_EQ(shot_folder(s), (std::vector<std::string>{"Screenshot_1.png", "Screenshot_2.png"}));
        });
        quit(s);
        s.run();
        file_clear_faults();
        EXPECT_EQ(s.script_left, 0u);
        EXPECT_EQ(decode(shot_path(s, 2)).width, 800u);
    }
}
