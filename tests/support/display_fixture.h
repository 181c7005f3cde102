// A fixture for display, sprite and 3D-sprite tests: the runtime fixture plus a fresh headless
// video driver, the image decoders (BMP and PNG) and the drawing library, and a screen that each
// test opens itself; everything is released after the test. Also small helpers: a 24-bit BMP file
// built in memory from top-down 0x00RRGGBB pixels, and frame reads.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/media/display.h"
#include "runtime/media/draw.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sprite.h"
#include "runtime/media/sprite3d.h"
#include "runtime/platform/headless/headless_video.h"
#include "runtime/platform/system/user_window.h"
#include "support/runtime_fixture.h"

class DisplayTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        headless_video_reset();
        image_init_decoders();
        image_register_bmp_decoder();
        image_register_png_decoder();
        image_register_png_encoder();
        draw_init();
        font_init();
    }
    void TearDown() override {
        screen_library_release();
        sprite3d_free_all();
        font_free_all();
        image_shutdown_blending();  // the image library's last release: its record back at the start
        RuntimeTest::TearDown();
    }

    // screen_init and screen_open at the given size and depth, vsync on, default refresh.
    bool open_screen(int32_t width = 320, int32_t height = 240, int32_t depth = 32) {
        return screen_init() && sprite3d_init() && screen_open(width, height, depth, u"Tarnwood", 1, -1);
    }

    static const HeadlessVideoFrame* last_frame() { return headless_video_frame(0); }
    static uint32_t frame_pixel(int32_t x, int32_t y) {
        const HeadlessVideoFrame* frame = last_frame();
        return frame ? frame->pixel(x, y) : 0xDEADBEEFu;
    }

    // A 24-bit BMP file of width x height pixels given top row first as 0x00RRGGBB.
    static std::vector<uint8_t> make_bmp(int32_t width, int32_t height, const std::vector<uint32_t>& pixels) {
        int32_t row = (width * 3 + 3) & ~3;
        std::vector<uint8_t> file(size_t(54 + row * height), 0);
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        file[0] = 'B';
        file[1] = 'M';
        put32(2, uint32_t(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, uint32_t(width));
        put32(22, uint32_t(height));
        file[26] = 1;
        file[28] = 24;
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* out = file.data() + 54 + size_t(height - 1 - y) * size_t(row);  // bottom-up
            for (int32_t x = 0; x < width; ++x) {
                uint32_t c = pixels[size_t(y * width + x)];
                out[x * 3 + 0] = uint8_t(c);
                out[x * 3 + 1] = uint8_t(c >> 8);
                out[x * 3 + 2] = uint8_t(c >> 16);
            }
        }
        return file;
    }

    static SpriteRecord* load(intptr_t number, const std::vector<uint8_t>& file, int32_t flags) {
        return sprite_load_from_memory(number, file.data(), int32_t(file.size()), flags);
    }
};
