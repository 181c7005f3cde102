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
#include "support/bmp_file.h"
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
        // A row the Direct3D stand-in told unchanged that changed would stay stale on a real screen.
        EXPECT_EQ(headless_video().rows_told_unchanged_wrongly, 0u);
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
        return bmp_file(width, height, pixels);
    }

    static SpriteRecord* load(intptr_t number, const std::vector<uint8_t>& file, int32_t flags) {
        return sprite_load_from_memory(number, file.data(), int32_t(file.size()), flags);
    }
};
