// The stored media through the program's own readers: the title picture through the PNG decoder,
// the title music through the WAVE loader into a sound whose first samples are the file's.
#include <cstring>

#include "assets/assets.h"
#include "runtime/foundation/registry.h"
#include "runtime/media/display.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sound.h"
#include "runtime/platform/headless/headless_audio.h"
#include "support/runtime_fixture.h"

using StoredMediaTest = RuntimeTest;

TEST_F(StoredMediaTest, PictureDecodesThroughTheProjectsDecoder) {
    image_init_decoders();
    image_register_png_decoder();
    ASSERT_EQ(image_decode_open(asset_title_picture, int32_t(asset_title_picture_size)), 1);
    EXPECT_EQ(image_decode_width(), 1280);
    EXPECT_EQ(image_decode_height(), 1024);
    EXPECT_EQ(image_decode_depth(), 32);
    std::vector<unsigned char> pixels(size_t(1280) * 4 * 1025);
    EXPECT_EQ(image_decode_read(pixels.data(), 1280 * 4, 0), 1);
    EXPECT_EQ(pixels[3], 255);  // alpha of the first pixel
    image_shutdown_blending();
}

TEST_F(StoredMediaTest, MusicLoadsThroughTheWaveLoaderAndPlaysItsOwnSamples) {
    headless_audio_reset();
    ASSERT_NE(sound_init(), 0);
    ASSERT_NE(sound_load_from_memory(6, asset_title_music, asset_title_music_size), 0);
    sound_play(6, SOUND_LOOP);
    std::vector<int16_t> out = headless_audio_pull(1024);
    std::vector<int16_t> first(2048);
    std::memcpy(first.data(), asset_title_music + 44, first.size() * 2);
    EXPECT_EQ(out, first) << "at full volume and the device's rate the mixer passes the samples through";
    sound_shutdown();
    // sound_init made the program's window and registered its class: the display's release gives
    // both back, so a later test in this process can make them again.
    screen_library_release();
}
