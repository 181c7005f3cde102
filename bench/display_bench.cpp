// A menu frame through the display library as the game draws it - clear, the 1280 x 1024 title
// picture as a zoomed 3D sprite, the 24 x 24 pointer sprite, flip - at the four menu sizes; and the
// screenshot's grab of the whole screen into a sprite.
// Relies on: the display, sprite and 3D-sprite libraries on the headless backend, the BMP decoder.
#include <benchmark/benchmark.h>

#include <vector>

#include "runtime/foundation/heap.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/display.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sprite.h"
#include "runtime/media/sprite3d.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_video.h"
#include "tests/support/bmp_file.h"

namespace {
const int32_t sizes[][2] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};

// A 1280 x 1024 24-bit BMP: a gradient with black (keyed) blocks.
std::vector<uint8_t> title_bmp() {
    const int32_t w = 1280, h = 1024;
    std::vector<uint32_t> pixels(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            bool keyed = (x / 40 + y / 40) % 3 == 0;
            pixels[size_t(y) * w + x] = keyed ? 0 : uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 | 0x60;
        }
    return bmp_file(w, h, pixels);
}

struct Session {
    explicit Session(int32_t width, int32_t height) {
        platform_use_backend(&headless_backend);
        headless_system_reset();
        headless_video_reset();
        runtime_heap = heap_create(4096, true);
        str_init();
        image_init_decoders();
        image_register_bmp_decoder();
        draw_init();
        screen_init();
        sprite3d_init();
        screen_open(width, height, 32, u"Tarnwood", 0, -1);
        static const std::vector<uint8_t> bmp = title_bmp();
        sprite_load_from_memory(0, bmp.data(), int32_t(bmp.size()), 4);
        sprite3d_create(1, 0);
        sprite3d_zoom(1, width, height);
        sprite_create(7, 24, 24);
        if (draw_begin(sprite_output(7))) {
            draw_set_mode(4);
            draw_circle(12, 12, 6, 255);
            draw_fill(12, 12, 255, screen_rgb(120, 100, 100));
            draw_end();
        }
    }
    ~Session() {
        screen_library_release();
        sprite3d_free_all();
        image_shutdown_blending();
        str_release();
        heap_destroy(runtime_heap);
        runtime_heap = nullptr;
    }
    static void frame() {
        screen_clear(0);
        sprite3d_begin();
        sprite3d_display(1, 0, 0);
        sprite3d_end();
        sprite_display(7, 300, 200);
        screen_flip();
    }
};

void BM_MenuFrame(benchmark::State& state) {
    const int32_t* size = sizes[state.range(0)];
    Session session(size[0], size[1]);
    Session::frame();
    for (auto _ : state) Session::frame();
    state.SetLabel(std::to_string(size[0]) + "x" + std::to_string(size[1]));
}

void BM_ScreenshotGrab(benchmark::State& state) {
    const int32_t* size = sizes[state.range(0)];
    Session session(size[0], size[1]);
    Session::frame();
    for (auto _ : state) benchmark::DoNotOptimize(sprite_grab(8, 0, 0, size[0], size[1]));
    state.SetLabel(std::to_string(size[0]) + "x" + std::to_string(size[1]));
}

// What a screenshot costs the frame that takes it: the grab into a new sprite 8, the copy of its
// pixels for the writer thread, the sprite freed again.
void BM_ScreenshotFramePart(benchmark::State& state) {
    const int32_t* size = sizes[state.range(0)];
    Session session(size[0], size[1]);
    Session::frame();
    for (auto _ : state) {
        sprite_grab(8, 0, 0, size[0], size[1]);
        SpritePixels24 copy = sprite_copy24(8);
        benchmark::DoNotOptimize(copy.pixels.get());
        sprite_free(8);
    }
    state.SetLabel(std::to_string(size[0]) + "x" + std::to_string(size[1]));
}
}  // namespace

BENCHMARK(BM_MenuFrame)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScreenshotGrab)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScreenshotFramePart)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
