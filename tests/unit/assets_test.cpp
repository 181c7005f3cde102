// The embedded title picture and title music: the picture decodes through libpng as a
// 1280 x 1024 RGBA image that the menu can write on, the music has the exact WAVE layout, stays
// below -1 dBFS and loops without a seam, and the generator writes the same bytes again (on
// Windows: the generator built for Windows writes the bytes that the build machine's generator
// embedded).
#include "assets/assets.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/platform.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

struct MemoryReader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos) png_error(png, "read past the end");
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

struct DecodedPicture {
    bool ok = false;
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0, interlace = 0;
    std::vector<unsigned char> rgba;  // top row first
};

DecodedPicture decode_png(const unsigned char* data, size_t size) {
    DecodedPicture result;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return result;
    }
    MemoryReader reader{data, size, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        result.ok = false;
        return result;
    }
    png_set_read_fn(png, &reader, read_from_memory);
    png_read_info(png, info);
    png_get_IHDR(png, info, &result.width, &result.height, &result.bit_depth, &result.colour_type, &result.interlace,
                 nullptr, nullptr);
    if (result.colour_type == PNG_COLOR_TYPE_RGB_ALPHA && result.bit_depth == 8 &&
        result.interlace == PNG_INTERLACE_NONE) {
        result.rgba.resize(static_cast<size_t>(result.width) * result.height * 4);
        for (png_uint_32 y = 0; y < result.height; ++y)
            png_read_row(png, &result.rgba[static_cast<size_t>(y) * result.width * 4], nullptr);
        png_read_end(png, nullptr);
        result.ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

// Mean luma (0..255) of a rectangle of the picture.
double mean_luma(const DecodedPicture& p, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const unsigned char* px = &p.rgba[(static_cast<size_t>(y) * p.width + x) * 4];
            sum += 0.2126 * px[0] + 0.7152 * px[1] + 0.0722 * px[2];
        }
    return sum / (static_cast<double>(x1 - x0) * (y1 - y0));
}

uint32_t u32_at(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t u16_at(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The music's samples, interleaved left/right.
std::vector<int16_t> music_samples() {
    const size_t count = (asset_title_music_size - 44) / 2;
    std::vector<int16_t> samples(count);
    std::memcpy(samples.data(), asset_title_music + 44, count * 2);  // little-endian host
    return samples;
}

std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(test_platform::path(path), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(AssetsTest, PictureDecodesAsOpaqueRgba1280x1024) {
    DecodedPicture p = decode_png(asset_title_picture, asset_title_picture_size);
    ASSERT_TRUE(p.ok) << "colour type " << p.colour_type << ", bit depth " << p.bit_depth << ", interlace "
                      << p.interlace;
    EXPECT_EQ(p.width, static_cast<png_uint_32>(kWidth));
    EXPECT_EQ(p.height, static_cast<png_uint_32>(kHeight));
    ASSERT_EQ(p.rgba.size(), static_cast<size_t>(kWidth) * kHeight * 4);
    // Opaque everywhere, and no pure black pixel (pure black is the display's transparent key).
    size_t translucent = 0, key_black = 0;
    for (size_t i = 0; i < p.rgba.size(); i += 4) {
        if (p.rgba[i + 3] != 255) ++translucent;
        if (p.rgba[i] == 0 && p.rgba[i + 1] == 0 && p.rgba[i + 2] == 0) ++key_black;
    }
    EXPECT_EQ(translucent, 0u);
    EXPECT_EQ(key_black, 0u);
}

TEST(AssetsTest, PictureStaysDarkWhereTheMenuWrites) {
    DecodedPicture p = decode_png(asset_title_picture, asset_title_picture_size);
    ASSERT_TRUE(p.ok);
    // Title and hint line, information lines, the option pages' block, the button row, the
    // version line (picture coordinates). Light and red texts need a dark, calm ground there.
    EXPECT_LT(mean_luma(p, 380, 40, 900, 150), 40.0);
    EXPECT_LT(mean_luma(p, 0, 0, 360, 130), 40.0);
    EXPECT_LT(mean_luma(p, 260, 240, 1020, 810), 45.0);
    EXPECT_LT(mean_luma(p, 0, 840, 1280, 970), 40.0);
    EXPECT_LT(mean_luma(p, 1100, 960, 1280, 1024), 40.0);
    // ... but it is a picture, not a black screen: the moon stands out in the sky.
    EXPECT_GT(mean_luma(p, 0, 0, 1280, 600), 12.0);
    bool bright = false;
    for (size_t i = 0; i < p.rgba.size() / 2 && !bright; i += 4) bright = p.rgba[i] > 200 && p.rgba[i + 1] > 200;
    EXPECT_TRUE(bright);
}

TEST(AssetsTest, MusicHasTheExactWaveLayout) {
    ASSERT_EQ(asset_title_music_size, 6350444u);
    const unsigned char* w = asset_title_music;
    EXPECT_EQ(std::memcmp(w, "RIFF", 4), 0);
    EXPECT_EQ(u32_at(w + 4), 6350436u);
    EXPECT_EQ(std::memcmp(w + 8, "WAVE", 4), 0);
    EXPECT_EQ(std::memcmp(w + 12, "fmt ", 4), 0);
    EXPECT_EQ(u32_at(w + 16), 16u);
    EXPECT_EQ(u16_at(w + 20), 1);        // PCM
    EXPECT_EQ(u16_at(w + 22), 2);        // channels
    EXPECT_EQ(u32_at(w + 24), 44100u);   // frames per second
    EXPECT_EQ(u32_at(w + 28), 176400u);  // bytes per second
    EXPECT_EQ(u16_at(w + 32), 4);        // block
    EXPECT_EQ(u16_at(w + 34), 16);       // bits
    EXPECT_EQ(std::memcmp(w + 36, "data", 4), 0);
    EXPECT_EQ(u32_at(w + 40), 6350400u);
}

TEST(AssetsTest, MusicStaysBelowMinusOneDecibelAndIsNotSilent) {
    std::vector<int16_t> s = music_samples();
    int peak = 0;
    double energy = 0;
    for (int16_t v : s) {
        peak = std::max(peak, std::abs(static_cast<int>(v)));
        energy += static_cast<double>(v) * v;
    }
    EXPECT_LE(peak, 29204);  // -1 dBFS
    double rms_db = 10 * std::log10(energy / s.size() / (32768.0 * 32768.0));
    EXPECT_GT(rms_db, -24.0);
}

TEST(AssetsTest, MusicLoopsWithoutASeam) {
    std::vector<int16_t> s = music_samples();
    const size_t frames = s.size() / 2;
    ASSERT_EQ(frames, 1587600u);
    for (int c = 0; c < 2; ++c) {
        int largest_step = 0;
        for (size_t i = 0; i + 1 < frames; ++i)
            largest_step = std::max(largest_step, std::abs(s[(i + 1) * 2 + c] - s[i * 2 + c]));
        int seam = std::abs(s[c] - s[(frames - 1) * 2 + c]);
        EXPECT_LE(seam, largest_step) << "channel " << c;
        // No jump in level either: the last and the first half second are about as loud.
        const size_t half_second = 22050;
        double head = 0, tail = 0;
        for (size_t i = 0; i < half_second; ++i) {
            head += static_cast<double>(s[i * 2 + c]) * s[i * 2 + c];
            tail += static_cast<double>(s[(frames - half_second + i) * 2 + c]) * s[(frames - half_second + i) * 2 + c];
        }
        EXPECT_LT(std::fabs(10 * std::log10(head / tail)), 4.0) << "channel " << c;
    }
}

TEST(AssetsTest, GeneratorWritesTheEmbeddedBytesAgain) {
    if (test_platform::kInThePage) GTEST_SKIP() << "starts the generator program (the page starts no programs)";
    const std::string folder = test_platform::new_folder("tarnwood_assets_");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(test_platform::run({TARNWOOD_ASSET_GENERATOR, folder}), 0);
    const std::string picture_path = folder + "/title_picture.png";
    const std::string music_path = folder + "/title_music.wav";
    std::vector<unsigned char> picture = read_file(picture_path), music = read_file(music_path);
    std::error_code ignored;
    std::filesystem::remove_all(test_platform::path(folder), ignored);
    ASSERT_EQ(picture.size(), asset_title_picture_size);
    ASSERT_EQ(music.size(), asset_title_music_size);
    EXPECT_EQ(std::memcmp(picture.data(), asset_title_picture, picture.size()), 0);
    EXPECT_EQ(std::memcmp(music.data(), asset_title_music, music.size()), 0);
}

namespace {
// The program icon: an .ico of the asked sizes (256 written as 0), each entry a PNG that decodes
// at its size and is not black (the 48 px one is also written as icon_48.png for packages).
TEST(AssetsTest, IconFileHoldsEachSizeAsADecodablePicture) {
    if (test_platform::kInThePage) GTEST_SKIP() << "starts the generator program (the page starts no programs)";
    const std::string folder = test_platform::new_folder("tarnwood_icons_");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(test_platform::run({TARNWOOD_ASSET_GENERATOR, "--icons", folder, "16", "32", "48", "256"}), 0);
    std::vector<unsigned char> ico = read_file(folder + "/tarnwood.ico");
    std::vector<unsigned char> png48 = read_file(folder + "/icon_48.png");
    std::error_code ignored;
    std::filesystem::remove_all(test_platform::path(folder), ignored);
    ASSERT_GE(ico.size(), 6u + 4 * 16);
    ASSERT_EQ(u32_at(&ico[0]), 0x00010000u);  // reserved 0, type 1 (icon)
    ASSERT_EQ(u16_at(&ico[4]), 4u);
    const int sizes[] = {16, 32, 48, 256};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(sizes[i]);
        const size_t entry = 6 + 16 * size_t(i);
        EXPECT_EQ(ico[entry], sizes[i] & 0xFF);
        EXPECT_EQ(ico[entry + 1], sizes[i] & 0xFF);
        const uint32_t bytes = u32_at(&ico[entry + 8]), offset = u32_at(&ico[entry + 12]);
        ASSERT_LE(size_t(offset) + bytes, ico.size());
        DecodedPicture icon = decode_png(&ico[offset], bytes);
        ASSERT_TRUE(icon.ok);
        EXPECT_EQ(icon.width, png_uint_32(sizes[i]));
        EXPECT_EQ(icon.height, png_uint_32(sizes[i]));
        EXPECT_GT(mean_luma(icon, 0, 0, sizes[i], sizes[i]), 5.0);
        if (sizes[i] == 48) {
            EXPECT_EQ(std::vector<unsigned char>(ico.begin() + offset, ico.begin() + offset + bytes), png48);
        }
    }
}
}  // namespace
