// 3D sprites on the headless backend: creation over sprites with and without the 3D flag, the
// zoomed quad, the game's first-frame order (display, then zoom), transparency, the state
// switching inside a block, and a source sprite that went away.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/display_fixture.h"

namespace {
constexpr uint32_t kBackground = 0x102030;
// A 2 x 2 picture with four distinct, non-black colours.
const std::vector<uint32_t> kQuadrants = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
}  // namespace

class Sprite3DTest : public DisplayTest {
protected:
    void begin_frame() { screen_clear(screen_rgb(0x10, 0x20, 0x30)); }
};

TEST_F(Sprite3DTest, CreationNeedsASpriteWithThe3DFlag) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    std::vector<uint8_t> bmp = make_bmp(2, 2, kQuadrants);
    ASSERT_NE(load(0, bmp, 0), nullptr);
    EXPECT_EQ(sprite3d_create(1, 0), nullptr);
    EXPECT_EQ(obj_find(sprite3d_state.table, 1), nullptr);
    EXPECT_EQ(sprite3d_create(1, 5), nullptr);  // no sprite at all
    ASSERT_NE(load(0, bmp, 4), nullptr);
    Sprite3DRecord* view = sprite3d_create(1, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->width, 2);
    EXPECT_EQ(view->height, 2);
    EXPECT_EQ(view->quad[3].u, 1.0f);
    EXPECT_EQ(view->quad[3].v, 1.0f);
    EXPECT_EQ(view->quad[1].diffuse, 0x00FFFFFFu);
    // Zoom of a number without a 3D sprite, and draws outside a block with no screen state, do nothing.
    sprite3d_zoom(9, 10, 10);
    sprite3d_display(9, 0, 0);
    sprite3d_end();
    EXPECT_EQ(sprite3d_state.in_block, 0);
    EXPECT_EQ(sprite3d_free(1), 1);
    EXPECT_EQ(obj_find(sprite3d_state.table, 1), nullptr);
    EXPECT_EQ(sprite3d_free(1), 0);
}

TEST_F(Sprite3DTest, ZoomedDrawCoversExactlyTheScreen) {
    ASSERT_TRUE(open_screen(800, 600, 32));
    ASSERT_NE(load(0, make_bmp(2, 2, kQuadrants), 4), nullptr);
    ASSERT_NE(sprite3d_create(1, 0), nullptr);
    sprite3d_zoom(1, 800, 600);
    begin_frame();
    ASSERT_NE(sprite3d_begin(), 0);
    sprite3d_display(1, 0, 0);
    sprite3d_end();
    ASSERT_EQ(screen_flip(), 1);

    auto* view = static_cast<Sprite3DRecord*>(obj_find(sprite3d_state.table, 1));
    EXPECT_EQ(view->work[0].x, -0.5f);
    EXPECT_EQ(view->work[0].y, -0.5f);
    EXPECT_EQ(view->work[3].x, 799.5f);
    EXPECT_EQ(view->work[3].y, 599.5f);
    EXPECT_EQ(view->work[0].diffuse, 0xFFFFFFFFu);

    const HeadlessVideoFrame* frame = last_frame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(frame->pixel(399, 0), 0xFF0000u);
    EXPECT_EQ(frame->pixel(400, 0), 0x00FF00u);
    EXPECT_EQ(frame->pixel(799, 0), 0x00FF00u);
    EXPECT_EQ(frame->pixel(0, 599), 0x0000FFu);
    EXPECT_EQ(frame->pixel(799, 599), 0xFFFF00u);
    EXPECT_EQ(frame->pixel(400, 300), 0xFFFF00u);
    for (int32_t y = 0; y < 600; y += 7)
        for (int32_t x = 0; x < 800; x += 7) ASSERT_NE(frame->pixel(x, y), kBackground) << x << "," << y;
}

TEST_F(Sprite3DTest, FirstFrameOfTheGamesOrderShowsThePictureAtItsOwnSize) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_NE(load(0, make_bmp(2, 2, kQuadrants), 4), nullptr);
    ASSERT_NE(sprite3d_create(1, 0), nullptr);
    for (int frame_index = 0; frame_index < 2; ++frame_index) {
        begin_frame();
        sprite3d_begin();
        sprite3d_display(1, 0, 0);
        sprite3d_end();
        sprite3d_zoom(1, 64, 48);  // the game zooms after drawing
        ASSERT_EQ(screen_flip(), 1);
        const HeadlessVideoFrame* frame = last_frame();
        ASSERT_NE(frame, nullptr);
        if (frame_index == 0) {
            EXPECT_EQ(frame->pixel(1, 1), 0xFFFF00u);
            EXPECT_EQ(frame->pixel(2, 2), kBackground);
            EXPECT_EQ(frame->pixel(40, 30), kBackground);
        } else {
            EXPECT_EQ(frame->pixel(40, 30), 0xFFFF00u);
            EXPECT_EQ(frame->pixel(63, 47), 0xFFFF00u);
        }
    }
}

TEST_F(Sprite3DTest, TransparencyMultipliesTheColourKeyAlpha) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_NE(load(0, make_bmp(2, 1, {0xFFFFFF, 0x000000}), 4), nullptr);
    ASSERT_NE(sprite3d_create(1, 0), nullptr);
    // Drawn at (x, y) = (5, 3) over `background`: the pixels at (x, y) and (x + 1, y).
    auto draw = [](int32_t transparency, int32_t background = 0, int32_t x = 0, int32_t y = 0) {
        screen_clear(background);
        sprite3d_begin();
        sprite3d_draw(1, x, y, transparency);
        sprite3d_end();
        EXPECT_EQ(screen_flip(), 1);
        return std::make_pair(headless_video_frame(0)->pixel(x, y), headless_video_frame(0)->pixel(x + 1, y));
    };
    auto full = draw(255);
    EXPECT_EQ(full.first, 0xFFFFFFu);
    EXPECT_EQ(full.second, 0u);  // the key still applies
    auto half = draw(128);
    EXPECT_GE(half.first & 0xFF, 0x7Eu);
    EXPECT_LE(half.first & 0xFF, 0x81u);
    EXPECT_EQ(draw(256).first, 0u);  // only the low 8 bits count
    // Over blue, off the origin: half of white plus half of the blue underneath; the key shows blue.
    auto over_blue = draw(128, screen_rgb(0, 0, 200), 5, 3);
    EXPECT_EQ(over_blue.first, 0x8080E4u);
    EXPECT_EQ(over_blue.second, 0x0000C8u);
    EXPECT_EQ(frame_pixel(3, 5), 0x0000C8u);
}

TEST_F(Sprite3DTest, BlockSwitchesBetweenThe3DAndTheSpriteStates) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_NE(load(0, make_bmp(2, 2, kQuadrants), 4), nullptr);
    ASSERT_NE(sprite3d_create(1, 0), nullptr);
    Direct3DDevice9* device = display_state.device;
    ASSERT_NE(sprite3d_begin(), 0);
    EXPECT_EQ(sprite3d_state.states_active, 1);
    EXPECT_EQ(device->fvf, SPRITE3D_FVF);
    EXPECT_EQ(device->stage_states[0][D3DTSS_COLOROP], uint32_t(D3DTOP_MODULATE));
    EXPECT_EQ(device->software_vp, 1);
    sprite_display(0, 10, 10);  // a 2D sprite inside the block switches back
    EXPECT_EQ(sprite3d_state.states_active, 0);
    EXPECT_EQ(device->stage_states[0][D3DTSS_COLOROP], uint32_t(D3DTOP_SELECTARG1));
    EXPECT_EQ(device->fvf, uint32_t(D3DFVF_XYZRHW | D3DFVF_TEX1));
    sprite3d_display(1, 0, 0);  // and the next 3D draw applies its states again
    EXPECT_EQ(sprite3d_state.states_active, 1);
    EXPECT_EQ(device->fvf, SPRITE3D_FVF);
    sprite3d_end();
    EXPECT_EQ(sprite3d_state.states_active, 0);
    EXPECT_EQ(sprite3d_state.in_block, 0);
    EXPECT_EQ(device->software_vp, 0);
    EXPECT_EQ(device->sampler_states[0][D3DSAMP_MAGFILTER], uint32_t(D3DTEXF_POINT));
    ASSERT_EQ(screen_flip(), 1);
}

TEST_F(Sprite3DTest, DrawOfAFreedSourceSpriteDoesNothing) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_NE(load(0, make_bmp(2, 2, kQuadrants), 4), nullptr);
    ASSERT_NE(sprite3d_create(1, 0), nullptr);
    sprite_free(0);
    begin_frame();
    sprite3d_begin();
    sprite3d_display(1, 0, 0);
    sprite3d_end();
    ASSERT_EQ(screen_flip(), 1);
    EXPECT_EQ(frame_pixel(0, 0), kBackground);
    // With no screen, begin fails and a draw does nothing.
    screen_library_release();
    EXPECT_EQ(sprite3d_begin(), 0);
    sprite3d_display(1, 0, 0);
}

// A frame as the menu draws it - the stretched picture, a box with text on the back buffer, the
// pointer sprite - grabbed right after the second of two identical frames and saved as PNG
// (tarnwood_display_look.png in the temporary folder, kept for a look).
TEST_F(Sprite3DTest, GrabbedFrameSavesAsPng) {
    ASSERT_TRUE(open_screen(320, 240, 32));
    const int32_t w = 64, h = 48;
    std::vector<uint32_t> picture(size_t(w * h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            bool disc = (x - 40) * (x - 40) + (y - 16) * (y - 16) < 60;
            uint32_t sky = uint32_t(40 + y * 3) << 16 | uint32_t(60 + y * 2) << 8 | uint32_t(120 + y * 2);
            picture[size_t(y * w + x)] = disc ? 0xFFE080u : (y > 34 ? 0x205020u + uint32_t(x) : sky);
        }
    ASSERT_NE(load(0, make_bmp(w, h, picture), 4), nullptr);
    ASSERT_NE(sprite3d_create(1, 0), nullptr);
    sprite3d_zoom(1, 320, 240);
    ASSERT_NE(sprite_create(7, 24, 24), nullptr);
    ASSERT_NE(draw_begin(sprite_output(7)), 0);
    draw_set_mode(4);
    draw_circle(12, 12, 6, 255);
    draw_fill(12, 12, 255, screen_rgb(120, 100, 100));
    draw_end();

    for (int i = 0; i < 2; ++i) {
        screen_clear(0);
        sprite3d_begin();
        sprite3d_display(1, 0, 0);
        sprite3d_end();
        ASSERT_NE(draw_begin(screen_output()), 0);
        draw_set_mode(1);
        draw_box(100, 150, 120, 30, screen_rgb(40, 40, 60));
        draw_text(110, 156, u"Neues Spiel", screen_rgb(255, 255, 255));
        draw_end();
        sprite_display(7, 200, 155);
        ASSERT_EQ(screen_flip(), 1);
    }
    SpriteRecord* shot = sprite_grab(8, 0, 0, 320, 240);
    ASSERT_NE(shot, nullptr);
    std::string path = ::testing::TempDir() + "tarnwood_display_look.png";
    ASSERT_NE(sprite_save(8, std::u16string(path.begin(), path.end()).c_str(), IMAGE_ENCODER_PNG), 0);

    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(image_decode_open(png.data(), int32_t(png.size())));
    ASSERT_EQ(image_decode_width(), 320);
    ASSERT_EQ(image_decode_height(), 240);
    ASSERT_EQ(image_decode_depth(), 24);
    std::vector<uint8_t> rgb(size_t(241) * 960);
    ASSERT_TRUE(image_decode_read(rgb.data(), 960, 0));
    auto at = [&](int32_t x, int32_t y) {
        const uint8_t* p = rgb.data() + size_t(y) * 960 + size_t(x) * 3;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    EXPECT_EQ(at(200 + 12, 155 + 12), 0x786464u);  // the pointer's inside
    EXPECT_EQ(at(200 + 18, 155 + 12), 0xFF0000u);  // its ring
    EXPECT_EQ(at(200, 80), 0xFFE080u);             // the stretched disc of the picture
    EXPECT_EQ(at(0, 0), picture[0]);
}
