// A complete menu frame as the game draws it - clear, the title picture through the 3D sprite
// zoomed to the screen, the header with the information lines, the Controls page's captions and
// entries, the pointer, present - at the four menu sizes, side by side with pixman's clear and
// zoomed OVER composite of the same title picture (the backdrop alone), and of the backdrop
// benchmarks' synthetic picture.
// The game is started as the program starts it (game_run: heaps, strings, decoders, drawing and
// fonts, devices, settings from a Files/Tarnwood.cfg asking the size, tables), on the headless
// backend; its main loop opens the screen and creates the menu objects as the menu does, and the
// timed body is menu_page_frame, one frame of the page loop.
// Relies on: the game (game_run, menu_open_screen, menu_page_frame), the headless backend, pixman.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/pixman_backdrop.h"
#include "game/menu/menu.h"
#include "game/menu/pages.h"
#include "game/startup/game_main.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/registry.h"
#include "runtime/media/display.h"
#include "runtime/media/sprite.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_audio.h"
#include "runtime/platform/headless/headless_input.h"
#include "runtime/platform/headless/headless_video.h"
#include "tests/support/temp_folder.h"

namespace {

std::string label(int32_t w, int32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

// The settings file of the run: the size asked, the information lines on, German, keys named.
std::string settings_for(int32_t w, int32_t h) {
    return "[Screen]\nScreenW = " + std::to_string(w) + "\nScreenH = " + std::to_string(h) +
           "\nScreenD = 32\nScreenS = 1\nScreenHz = 75\n"
           "[OptionsKeys]\nForward = W\nBackward = S\nLeft = A\nRight = D\nJump = Space\nJournal = Tab\n"
           "Map = M\nScreenshot = F12\n"
           "[OptionsGame]\nLanguage = German\nMenuInfo = 1\n"
           "[OptionsSound]\nMusic = 0\n";
}

// Runs `body` inside the game's start-up and shutdown at a size, in a working folder of its own,
// once the screen is open and the menu objects exist, on the Controls page.
template <typename Body>
void with_menu(int32_t w, int32_t h, Body body) {
    TempFolder folder;
    std::filesystem::create_directories(folder.file("Files/Screenshots"));
    TempFolder::write(folder.file("Files/Tarnwood.cfg"), settings_for(w, h));
    folder.enter();
    platform_use_backend(&headless_backend);
    headless_system_reset();
    headless_input_reset();
    headless_audio_reset();
    headless_video_reset();
    headless_video().frames_kept = 1;  // present keeps one copy of the frame, as a presenter would
    static Body* current;
    current = &body;
    game_run([] {
        menu_open_screen();
        game.menu_state = PAGE_CONTROLS;
        (*current)();
    });
    folder.leave();
}

void BM_MenuFrame(benchmark::State& state) {
    const int32_t w = bench::kMenuSizes[state.range(0)][0], h = bench::kMenuSizes[state.range(0)][1];
    with_menu(w, h, [&] {
        if (game.screen_width != w || game.screen_height != h || game.menu_info != 1) {
            state.SkipWithError("the settings file was not applied");
            return;
        }
        menu_page_frame();  // the first frame draws the picture unzoomed and sets the zoom
        for (auto _ : state) benchmark::DoNotOptimize(menu_page_frame());
        const HeadlessVideoFrame* last = headless_video_frame();
        if (!last || last->width != w) state.SkipWithError("no frame was presented");
    });
    state.SetLabel(label(w, h));
}

// The title picture as sprite 0's texture holds it (colour-keyed ARGB), read once from a started game.
const std::vector<uint32_t>& title_texture() {
    static std::vector<uint32_t> pixels;
    if (pixels.empty()) {
        with_menu(1280, 1024, [] {
            auto* sprite = static_cast<SpriteRecord*>(obj_find(display_state.sprites, SPRITE_TITLE));
            if (!sprite || !sprite->surface) return;
            D3DLOCKED_RECT lr;
            if (sprite->surface->level0->lock_rect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return;
            pixels.resize(size_t(bench::kPictureW) * bench::kPictureH);
            for (int32_t y = 0; y < bench::kPictureH; y++)
                std::memcpy(&pixels[size_t(y) * bench::kPictureW], static_cast<uint8_t*>(lr.pBits) + intptr_t(y) * lr.Pitch,
                            size_t(bench::kPictureW) * 4);
            sprite->surface->level0->unlock_rect();
        });
    }
    return pixels;
}

void BM_MenuBackdrop_Pixman(benchmark::State& state) {
    const int32_t w = bench::kMenuSizes[state.range(0)][0], h = bench::kMenuSizes[state.range(0)][1];
    if (title_texture().empty()) {
        state.SkipWithError("the title picture could not be read");
        return;
    }
    bench::PixmanBackdrop pixman(bench::premultiplied(title_texture()), bench::kPictureW, bench::kPictureH, w, h);
    for (auto _ : state) {
        pixman.frame();
        benchmark::DoNotOptimize(pixman.pixels());
        benchmark::ClobberMemory();
    }
    state.SetLabel(label(w, h));
}

// The same composite of the synthetic picture the backdrop benchmarks use.
void BM_MenuBackdrop_PixmanSynthetic(benchmark::State& state) {
    const int32_t w = bench::kMenuSizes[state.range(0)][0], h = bench::kMenuSizes[state.range(0)][1];
    bench::PixmanBackdrop pixman(bench::synthetic_picture(), bench::kPictureW, bench::kPictureH, w, h);
    for (auto _ : state) {
        pixman.frame();
        benchmark::DoNotOptimize(pixman.pixels());
        benchmark::ClobberMemory();
    }
    state.SetLabel(label(w, h));
}

}  // namespace

BENCHMARK(BM_MenuFrame)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MenuBackdrop_Pixman)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MenuBackdrop_PixmanSynthetic)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
