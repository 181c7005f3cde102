// Sprites on the headless backend: colour-key transparency at both depths, blank sprites and GDI
// drawing onto them, visibility, grabbing the screen, saving, flags, freeing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/display_fixture.h"

namespace {
constexpr uint32_t kBackground = 0x3040A0;  // 0x00RRGGBB of the cleared screen

int32_t background_colour() { return screen_rgb(0x30, 0x40, 0xA0); }

std::string temp_file(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("tarnwood_sprite_" + std::to_string(::getpid()) + "_" + name)).string();
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
}  // namespace

class SpriteTest : public DisplayTest {
protected:
    // One frame: clear, show sprite `number` at (x, y), flip.
    void frame(intptr_t number, int32_t x, int32_t y) {
        screen_clear(background_colour());
        sprite_display(number, x, y);
        ASSERT_EQ(screen_flip(), 1);
    }
};

TEST_F(SpriteTest, PureBlackIsTransparentOnA32BitScreen) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    SpriteRecord* sprite = load(0, make_bmp(4, 1, {0x000000, 0x070707, 0x010000, 0xFFFFFF}), 4);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->depth, 32);
    EXPECT_EQ(sprite->flags, 4);
    EXPECT_EQ(sprite->surface->kind, SPRITE_KIND_32);
    frame(0, 10, 10);
    EXPECT_EQ(frame_pixel(10, 10), kBackground);
    EXPECT_EQ(frame_pixel(11, 10), 0x070707u);
    EXPECT_EQ(frame_pixel(12, 10), 0x010000u);
    EXPECT_EQ(frame_pixel(13, 10), 0xFFFFFFu);
    EXPECT_EQ(frame_pixel(14, 10), kBackground);
    // Drawing onto the loaded picture keeps the rest of it, and the key still applies.
    ASSERT_NE(draw_begin(sprite_output(0)), 0);
    draw_box(1, 0, 1, 1, screen_rgb(0, 0, 255));
    draw_end();
    frame(0, 10, 10);
    EXPECT_EQ(frame_pixel(10, 10), kBackground);
    EXPECT_EQ(frame_pixel(11, 10), 0x0000FFu);
    EXPECT_EQ(frame_pixel(13, 10), 0xFFFFFFu);
}

TEST_F(SpriteTest, ChannelsBelow8AreTransparentOnA16BitScreen) {
    ASSERT_TRUE(open_screen(64, 48, 16));
    SpriteRecord* sprite = load(0, make_bmp(4, 1, {0x070707, 0x080000, 0x000700, 0xF8F8F8}), 0);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->depth, 16);
    EXPECT_EQ(sprite->surface->kind, SPRITE_KIND_16);
    int32_t pitch = 0;
    auto* pixels = static_cast<const uint16_t*>(sprite_lock(sprite->surface, 1, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0x0000);  // key: bit 15 clear
    EXPECT_EQ(pixels[1], 0x8000 | 0x0400);
    EXPECT_EQ(pixels[2], 0x0000);
    EXPECT_EQ(pixels[3], 0xFFFF);
    sprite_unlock(sprite->surface);
    frame(0, 0, 0);
    const HeadlessVideoFrame* shown = last_frame();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->pixel(0, 0), shown->pixel(5, 5));  // background
    EXPECT_NE(shown->pixel(1, 0), shown->pixel(5, 5));
    EXPECT_EQ(shown->pixel(2, 0), shown->pixel(5, 5));
    // Another key: pixels of that colour lose their alpha bit, black ones get it.
    sprite_apply_colour_key(sprite->surface, screen_rgb(0xF8, 0xF8, 0xF8));
    pixels = static_cast<const uint16_t*>(sprite_lock(sprite->surface, 1, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0x8000);
    EXPECT_EQ(pixels[3], 0x7FFF);
    sprite_unlock(sprite->surface);
}

TEST_F(SpriteTest, LoadFlagsAndBadData) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    std::vector<uint8_t> bmp = make_bmp(2, 2, {0x102030, 0, 0, 0x405060});
    EXPECT_EQ(load(1, bmp, 8), nullptr);  // keep-alpha without the 3D flag
    EXPECT_EQ(obj_find(display_state.sprites, 1), nullptr);
    // Keep-alpha is dropped for a 24-bit picture: converted and keyed as with flag 4; flags kept.
    SpriteRecord* keyed = load(1, bmp, 12);
    ASSERT_NE(keyed, nullptr);
    EXPECT_EQ(keyed->flags, 12);
    EXPECT_EQ(keyed->surface->colour_key, 0);
    // Flags exactly 2: the empty sprite stays, the result is null, saving it fails.
    EXPECT_EQ(load(2, bmp, 2), nullptr);
    ASSERT_NE(obj_find(display_state.sprites, 2), nullptr);
    EXPECT_EQ(sprite_save(2, u"/tmp/never_written.bmp", IMAGE_ENCODER_BMP), 0);
    // Unrecognised, empty and truncated data.
    std::vector<uint8_t> junk(64, 0x5A);
    EXPECT_EQ(load(3, junk, 0), nullptr);
    EXPECT_EQ(obj_find(display_state.sprites, 3), nullptr);
    EXPECT_EQ(sprite_load_from_memory(3, bmp.data(), 0, 0), nullptr);
    // Reusing a number frees the old sprite first (the sanitizer run sees no lost texture).
    ASSERT_NE(load(1, bmp, 4), nullptr);
    EXPECT_EQ(static_cast<SpriteRecord*>(obj_find(display_state.sprites, 1))->flags, 4);
}

TEST_F(SpriteTest, BmpKindsNotDecodedLeaveNoSprite) {
    // Files written by tests/data/images/make_images.py that the BMP decoder accepts by their
    // header but cannot convert: the load fails and the number stays free, also where a sprite
    // of that number existed before.
    ASSERT_TRUE(open_screen(64, 48, 32));
    std::vector<uint8_t> good = make_bmp(2, 1, {0x102030, 0x405060});
    for (const char* name : {"rle4.bmp", "bits2.bmp", "bits64.bmp", "png.bmp", "jpeg.bmp", "bits7.bmp",
                             "bits24_compression9.bmp", "topdown_rle8.bmp"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> data = read_file(std::string(TARNWOOD_TEST_DATA) + "/images/" + name);
        ASSERT_FALSE(data.empty());
        ASSERT_NE(load(5, good, 0), nullptr);
        EXPECT_EQ(load(5, data, 0), nullptr);
        EXPECT_EQ(obj_find(display_state.sprites, 5), nullptr);
        EXPECT_EQ(load(AUTO_NUMBER, data, 4), nullptr);
    }
    // A top-down file of a kind it reads loads the right way up.
    SpriteRecord* sprite = load(6, read_file(std::string(TARNWOOD_TEST_DATA) + "/images/topdown_bits24.bmp"), 4);
    ASSERT_NE(sprite, nullptr);
    SpriteRecord* same = load(7, read_file(std::string(TARNWOOD_TEST_DATA) + "/images/bits24.bmp"), 4);
    ASSERT_NE(same, nullptr);
    frame(6, 0, 0);
    const HeadlessVideoFrame* a = last_frame();
    ASSERT_NE(a, nullptr);
    std::vector<uint32_t> top_down_pixels, bottom_up_pixels;
    for (int32_t y = 0; y < 7; y++)
        for (int32_t x = 0; x < 13; x++) top_down_pixels.push_back(a->pixel(x, y));
    frame(7, 0, 0);
    const HeadlessVideoFrame* b = last_frame();
    ASSERT_NE(b, nullptr);
    for (int32_t y = 0; y < 7; y++)
        for (int32_t x = 0; x < 13; x++) bottom_up_pixels.push_back(b->pixel(x, y));
    EXPECT_EQ(top_down_pixels, bottom_up_pixels);
}

TEST_F(SpriteTest, KeepAlphaUsesThePicturesAlpha) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    // A 2 x 1 RGBA PNG: half-transparent blue, then opaque black.
    const uint8_t bgra[8] = {0xFF, 0, 0, 0x40, 0, 0, 0, 0xFF};
    std::string path = temp_file("rgba.png");
    ASSERT_NE(image_encode(u16(path).c_str(), bgra, IMAGE_ENCODER_PNG, 2, 1, 8, 32, 0, 0), 0);
    std::vector<uint8_t> png = read_file(path);
    std::remove(path.c_str());
    ASSERT_FALSE(png.empty());

    SpriteRecord* sprite = load(0, png, 12);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->surface->colour_key, -1);
    int32_t pitch = 0;
    auto* pixels = static_cast<const uint32_t*>(sprite_lock(sprite->surface, 1, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0x400000FFu);
    EXPECT_EQ(pixels[1], 0xFF000000u);
    sprite_unlock(sprite->surface);

    sprite = load(0, png, 4);  // keyed: the picture's alpha is not used
    ASSERT_NE(sprite, nullptr);
    pixels = static_cast<const uint32_t*>(sprite_lock(sprite->surface, 1, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0xFF0000FFu);
    EXPECT_EQ(pixels[1], 0x00000000u);
    sprite_unlock(sprite->surface);
}

TEST_F(SpriteTest, BlankSpriteShowsNothingAndTheDrawnRingOnly) {
    ASSERT_TRUE(open_screen(200, 150, 32));
    SpriteRecord* pointer = sprite_create(7, 24, 24);
    ASSERT_NE(pointer, nullptr);
    frame(7, 100, 100);
    const HeadlessVideoFrame* shown = last_frame();
    for (int32_t y = 95; y < 130; ++y)
        for (int32_t x = 95; x < 130; ++x) ASSERT_EQ(shown->pixel(x, y), kBackground) << x << "," << y;

    // The game's pointer: an outlined red circle with its inside filled.
    DrawTarget* target = sprite_output(7);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->kind, 7);
    EXPECT_EQ(target->pixel_format, 64);
    EXPECT_EQ(target->bits_per_pixel, 32);
    EXPECT_GE(target->pitch, 24 * 4);
    ASSERT_NE(draw_begin(target), 0);
    draw_set_mode(4);
    draw_circle(12, 12, 6, 255);
    draw_fill(12, 12, 255, screen_rgb(120, 100, 100));
    draw_end();
    EXPECT_EQ(pointer->surface->gdi_dc, nullptr);

    frame(7, 100, 100);
    shown = last_frame();
    EXPECT_EQ(shown->pixel(100 + 18, 100 + 12), 0xFF0000u);  // right edge of the ring
    EXPECT_EQ(shown->pixel(100 + 12, 100 + 6), 0xFF0000u);   // top edge
    EXPECT_EQ(shown->pixel(100 + 12, 100 + 12), 0x786464u);  // inside
    EXPECT_EQ(shown->pixel(100 + 2, 100 + 2), kBackground);  // corner of the sprite
    EXPECT_EQ(shown->pixel(100 + 20, 100 + 12), kBackground);
    EXPECT_EQ(shown->pixel(100 + 23, 100 + 23), kBackground);
}

TEST_F(SpriteTest, WhollyOffScreenIssuesNoDrawButAnOverlapIsClipped) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_NE(load(0, make_bmp(2, 2, {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000}), 0), nullptr);
    const int32_t offsets[][2] = {{64, 0}, {-2, 0}, {0, 48}, {0, -2}, {100000, 100000}};
    for (auto& at : offsets) {
        sprite_display(0, at[0], at[1]);
        EXPECT_EQ(display_state.device->texture0, nullptr);
        EXPECT_EQ(display_state.state_cache[STATE_CACHE_ALPHA_BLEND], -1);
    }
    frame(0, -1, -1);
    EXPECT_EQ(display_state.device->texture0, static_cast<SpriteRecord*>(obj_find(display_state.sprites, 0))->surface->texture);
    EXPECT_EQ(frame_pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(frame_pixel(1, 0), kBackground);
    EXPECT_EQ(display_state.state_cache[STATE_CACHE_FVF], int32_t(D3DFVF_XYZRHW | D3DFVF_TEX1));
    EXPECT_EQ(display_state.device->get_render_state(D3DRS_SRCBLEND), uint32_t(D3DBLEND_SRCALPHA));
}

TEST_F(SpriteTest, GrabChecksTheOutputAreaAndReusesTheTexture) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    EXPECT_EQ(sprite_grab(8, 0, 0, 65, 10), nullptr);
    EXPECT_EQ(sprite_grab(8, 60, 0, 5, 10), nullptr);
    EXPECT_EQ(sprite_grab(8, 0, 40, 10, 9), nullptr);
    EXPECT_EQ(sprite_grab(8, -1, 0, 10, 10), nullptr);
    EXPECT_EQ(sprite_grab(8, 0, -1, 10, 10), nullptr);
    EXPECT_EQ(sprite_grab(8, 0, 0, 0x7FFFFFFF, 10), nullptr);
    EXPECT_EQ(obj_find(display_state.sprites, 8), nullptr);
    SpriteRecord* grabbed = sprite_grab(8, 0, 0, 64, 48);
    ASSERT_NE(grabbed, nullptr);
    int32_t pitch = 0;
    auto* pixels = static_cast<const uint32_t*>(sprite_lock(grabbed->surface, 1, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0u);  // the black screen grabbed is keyed out
    sprite_unlock(grabbed->surface);
    Direct3DTexture9* texture = grabbed->surface->texture;
    EXPECT_EQ(sprite_grab(8, 4, 4, 64 - 4, 48 - 4), grabbed);
    EXPECT_NE(grabbed->surface->texture, nullptr);
    texture = grabbed->surface->texture;
    EXPECT_EQ(sprite_grab(8, 0, 0, 60, 44), grabbed);
    EXPECT_EQ(grabbed->surface->texture, texture);  // same size and depth: reused
}

TEST_F(SpriteTest, GrabAfterFlipHoldsTheFrameBeforeThePresentedOne) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    screen_clear(screen_rgb(0, 0, 255));  // frame A
    ASSERT_EQ(screen_flip(), 1);
    screen_clear(screen_rgb(0, 255, 0));  // frame B
    ASSERT_EQ(screen_flip(), 1);
    EXPECT_EQ(frame_pixel(3, 3), 0x00FF00u);
    SpriteRecord* grabbed = sprite_grab(8, 0, 0, 8, 8);
    ASSERT_NE(grabbed, nullptr);
    int32_t pitch = 0;
    auto* pixels = static_cast<const uint32_t*>(sprite_lock(grabbed->surface, 1, &pitch));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0xFF0000FFu);  // blue, opaque
    sprite_unlock(grabbed->surface);
}

TEST_F(SpriteTest, Saving16BitChannelsWidensThemAsGdiDoes) {
    ASSERT_TRUE(open_screen(64, 48, 16));
    SpriteRecord* sprite = sprite_create(5, 3, 2);
    ASSERT_NE(sprite, nullptr);
    int32_t pitch = 0;
    auto* pixels = static_cast<uint8_t*>(sprite_lock(sprite->surface, 0, &pitch));
    ASSERT_NE(pixels, nullptr);
    auto* top = reinterpret_cast<uint16_t*>(pixels);
    auto* bottom = reinterpret_cast<uint16_t*>(pixels + pitch);
    top[0] = 0xFFFF;                    // 31, 31, 31
    top[1] = 0x8000;                    // 0, 0, 0
    top[2] = 0x8000 | (1 << 10) | (1 << 5) | 1;  // 1, 1, 1
    bottom[0] = 0x8000 | (16 << 10);    // red 16
    bottom[1] = bottom[2] = 0x801F;     // blue 31
    sprite_unlock(sprite->surface);

    std::string path = temp_file("save16.bmp");
    ASSERT_NE(sprite_save(5, u16(path).c_str(), IMAGE_ENCODER_BMP), 0);
    std::vector<uint8_t> file = read_file(path);
    std::remove(path.c_str());
    ASSERT_EQ(file.size(), 54u + 2 * 12);
    const uint8_t* file_bottom = file.data() + 54;  // BMP rows bottom-up
    const uint8_t* file_top = file_bottom + 12;
    EXPECT_EQ(file_top[0], 248);  // blue
    EXPECT_EQ(file_top[1], 249);  // green
    EXPECT_EQ(file_top[2], 249);  // red
    EXPECT_EQ(file_top[3], 0);
    EXPECT_EQ(file_top[6], 8);
    EXPECT_EQ(file_top[7], 9);
    EXPECT_EQ(file_top[8], 9);
    EXPECT_EQ(file_bottom[2], 128);
    EXPECT_EQ(file_bottom[3], 248);

    EXPECT_EQ(sprite_save(5, nullptr, IMAGE_ENCODER_BMP), 0);
    EXPECT_EQ(sprite_save(6, u16(path).c_str(), IMAGE_ENCODER_BMP), 0);
}

TEST_F(SpriteTest, FreeReleasesTheNumberAndTheDrawingSprite) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    ASSERT_NE(sprite_create(AUTO_NUMBER, 4, 4), nullptr);
    ASSERT_NE(sprite_create(3, 4, 4), nullptr);
    DrawTarget* target = sprite_output(3);
    ASSERT_NE(target, nullptr);
    ASSERT_NE(draw_begin(target), 0);
    draw_end();
    EXPECT_NE(sprite_state.current, nullptr);
    EXPECT_EQ(sprite_free(3), 1);
    EXPECT_EQ(sprite_state.current, nullptr);  // no dangling drawing sprite
    EXPECT_EQ(obj_find(display_state.sprites, 3), nullptr);
    EXPECT_EQ(sprite_free(3), 0);
    EXPECT_EQ(sprite_free(12345), 0);
    EXPECT_EQ(sprite_output(3), nullptr);
}

TEST_F(SpriteTest, FailedAutoNumberedCreationsLeaveNoRecords) {
    ASSERT_TRUE(open_screen(64, 48, 32));
    std::vector<uint8_t> junk(64, 0x5A);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(load(AUTO_NUMBER, junk, 0), nullptr);
        EXPECT_EQ(sprite_create(AUTO_NUMBER, 0, 0), nullptr);
        EXPECT_EQ(sprite3d_create(AUTO_NUMBER, 99), nullptr);
    }
    EXPECT_EQ(display_state.sprites->auto_list, nullptr);
    EXPECT_EQ(sprite3d_state.table->auto_list, nullptr);
    SpriteRecord* sprite = sprite_create(AUTO_NUMBER, 4, 4);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(obj_find_checked(display_state.sprites, reinterpret_cast<intptr_t>(sprite)), sprite);
}
