// Image codecs: the decoders against files written by tests/data/images/make_images.py (which
// also wrote the pixels each must give), damaged and hostile inputs, the encoders' files read back
// byte by byte, the lists and the image table.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game/startup/game_main.h"
#include "runtime/media/image/image.h"
#include "runtime/platform/system/file.h"
#include "support/runtime_fixture.h"

namespace {
// Start-up and shutdown only: no menu runs between them.
void no_main_loop() {}
}  // namespace

namespace {
using Bytes = std::vector<uint8_t>;
constexpr uint8_t kFill = 0xCD;  // the buffer's bytes before a read (as make_images.py expects)

Bytes load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes sample(const std::string& name) { return load(std::string(TARNWOOD_TEST_DATA) + "/images/" + name); }

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void put_le32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i)); }
void put_be32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (24 - 8 * i)); }

struct Decoded {
    int32_t width = 0, height = 0, depth = 0;
    Bytes rows;  // tight rows, width * depth / 8 bytes each
};

// The caller's protocol: open, size the buffer from width, height and depth ((height + 1) rows,
// 32-bit rows width x 4, 24-bit rows rounded up to 4 bytes), read.
bool decode(const Bytes& data, Decoded* out, int32_t size_limit = -1) {
    int32_t size = size_limit >= 0 ? size_limit : int32_t(data.size());
    if (!image_decode_open(data.data(), size)) return false;
    out->width = image_decode_width();
    out->height = image_decode_height();
    out->depth = image_decode_depth();
    int32_t pixel_bytes = out->depth / 8;
    int32_t pitch = out->depth == 32 ? out->width * 4 : (out->width * 3 + 3) & ~3;
    std::vector<uint8_t> buffer(size_t(out->height + 1) * size_t(pitch), kFill);
    if (!image_decode_read(buffer.data(), pitch, 0)) return false;
    out->rows.clear();
    for (int32_t y = 0; y < out->height; y++) {
        const uint8_t* row = buffer.data() + size_t(y) * size_t(pitch);
        out->rows.insert(out->rows.end(), row, row + size_t(out->width) * size_t(pixel_bytes));
    }
    return true;
}

// Chunks of a PNG file: type and body, in file order.
struct PngChunk {
    std::string type;
    Bytes body;
};
std::vector<PngChunk> png_chunks(const Bytes& file) {
    std::vector<PngChunk> chunks;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        uint32_t length = be32(&file[pos]);
        if (pos + 12 + length > file.size()) break;
        chunks.push_back({std::string(reinterpret_cast<const char*>(&file[pos + 4]), 4),
                          Bytes(file.begin() + long(pos + 8), file.begin() + long(pos + 8 + length))});
        pos += 12 + length;
    }
    return chunks;
}

Bytes inflate_all(const Bytes& in) {
    Bytes out(1 << 20);
    uLongf size = out.size();
    EXPECT_EQ(uncompress(out.data(), &size, in.data(), in.size()), Z_OK);
    out.resize(size);
    return out;
}

// Rewrites a chunk's CRC after its body was changed in place (chunk at pos, length len).
void fix_crc(Bytes& file, size_t pos) {
    uint32_t length = be32(&file[pos]);
    put_be32(&file[pos + 8 + length], uint32_t(crc32(0, &file[pos + 4], 4 + length)));
}

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class ImageTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        image_init_decoders();
        image_init_blending();
        image_init();
        image_register_bmp_decoder();
        image_register_png_decoder();
        image_register_png_encoder();
        folder = std::filesystem::temp_directory_path() /
                 ("tarnwood_image_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        image_free_all();
        image_shutdown_blending();
        std::filesystem::remove_all(folder);
        RuntimeTest::TearDown();
    }
    std::u16string file(const std::string& name) const { return u16((folder / name).string()); }
    std::filesystem::path folder;
};

// ---- decoding the sample files ------------------------------------------------------------------

TEST_F(ImageTest, EverySampleDecodesToTheExpectedPixels) {
    const char* names[] = {
        "grey1.png", "grey2.png", "grey4.png", "grey8.png", "grey16.png",
        "palette1.png", "palette2.png", "palette4.png", "palette8.png",
        "rgb8.png", "rgb16.png", "grey_alpha8.png", "grey_alpha16.png", "rgba8.png", "rgba16.png",
        "palette8_trns.png", "grey8_trns.png", "rgb8_trns.png",
        "rgba8_interlaced.png", "grey4_interlaced.png", "palette2_interlaced.png", "rgb16_interlaced.png",
        "rgb8_tiny_interlaced.png",
        "bits1.bmp", "bits4.bmp", "bits8.bmp", "bits8_short_palette.bmp", "bits16.bmp", "bits24.bmp",
        "bits32.bmp", "rle8.bmp", "bits16_565.bmp",
        // Top-down files (negative height): rows stored top first.
        "topdown_bits1.bmp", "topdown_bits4.bmp", "topdown_bits8.bmp", "topdown_bits16.bmp", "topdown_bits24.bmp",
        "topdown_bits32.bmp", "topdown_bits32_fields.bmp",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Bytes data = sample(name);
        Bytes expected = sample(std::string(name) + ".expected");
        ASSERT_FALSE(data.empty());
        ASSERT_GE(expected.size(), 12u);
        Decoded got;
        ASSERT_TRUE(decode(data, &got));
        EXPECT_EQ(got.width, int32_t(le32(&expected[0])));
        EXPECT_EQ(got.height, int32_t(le32(&expected[4])));
        EXPECT_EQ(got.depth, int32_t(le32(&expected[8])));
        EXPECT_EQ(got.rows, Bytes(expected.begin() + 12, expected.end()));
    }
}

TEST_F(ImageTest, BmpKindsTheDecoderDoesNotReadFail) {
    // Each file is a well-formed BMP of a kind the decoder does not convert: the decode reports
    // failure (at the check or at the read), so no unwritten buffer passes for a picture.
    const struct {
        const char* name;
        bool check_accepts;  // false: refused already by the header check
    } cases[] = {
        {"rle4.bmp", true},                {"bits2.bmp", true},
        {"bits64.bmp", true},              {"bits7.bmp", true},
        {"bits0.bmp", true},               {"jpeg.bmp", true},
        {"png.bmp", true},                 {"png_bits24.bmp", true},
        {"bits24_rle8.bmp", true},         {"bits24_compression9.bmp", true},
        {"bits8_bitfields.bmp", true},     {"bits16_split_mask.bmp", true},
        {"bits16_wide_mask.bmp", true},    {"topdown_rle8.bmp", true},
        {"os2.bmp", false},                {"os2_64.bmp", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data = sample(c.name);
        ASSERT_GE(data.size(), 26u);
        EXPECT_EQ(image_decode_open(data.data(), int32_t(data.size())), c.check_accepts ? 1 : 0);
        image_decode_close();
        Decoded got;
        EXPECT_FALSE(decode(data, &got));
    }
}

TEST_F(ImageTest, TheFirstDecoderThatAcceptsIsUsed) {
    Bytes png = sample("rgba8.png");
    ASSERT_TRUE(image_decode_open(png.data(), int32_t(png.size())));
    EXPECT_EQ(image_state.context->decoder, &image_png_decoder);  // the BMP decoder, first, refused
    image_decode_close();
    image_decode_close();  // a second close does nothing

    // An open decode is released by the next open (the sanitizer run would report libpng's leak).
    ASSERT_TRUE(image_decode_open(png.data(), int32_t(png.size())));
    Bytes bmp = sample("bits24.bmp");
    ASSERT_TRUE(image_decode_open(bmp.data(), int32_t(bmp.size())));
    EXPECT_EQ(image_state.context->decoder, &image_bmp_decoder);
    image_decode_close();

    const char text[] = "neither a PNG nor a BMP file";
    EXPECT_EQ(image_decode_open(text, sizeof text), 0);
    EXPECT_EQ(image_decode_open(nullptr, 100), 0);
    EXPECT_EQ(image_decode_read(reinterpret_cast<unsigned char*>(bmp.data()), 4, 0), 0);  // nothing open
}

TEST_F(ImageTest, OnlyTheGivenSizeIsRead) {
    // The size handed to the open bounds every read, however much memory follows.
    for (const char* name : {"rgb8.png", "bits24.bmp", "rle8.bmp"}) {
        SCOPED_TRACE(name);
        Bytes data = sample(name);
        Decoded got;
        EXPECT_FALSE(decode(data, &got, int32_t(data.size()) / 2));
    }
}

// ---- damaged and hostile PNG data ---------------------------------------------------------------

TEST_F(ImageTest, TruncatedPngFailsWithoutReadingPastTheData) {
    Bytes full = sample("rgba8_interlaced.png");
    // No cut that loses compressed bytes of the last IDAT chunk can give all rows.
    size_t last_idat_end = full.size() - 12;  // IEND follows
    for (size_t cut = 0; cut < full.size(); cut++) {
        // A copy of exactly cut bytes, so that the sanitizer sees any read beyond it.
        Bytes part(full.begin(), full.begin() + long(cut));
        Decoded got;
        bool ok = decode(part, &got);
        if (cut < last_idat_end - 12) {
            EXPECT_FALSE(ok) << "cut at " << cut;
        }
    }
}

TEST_F(ImageTest, PngSizeLimitsAndBadChecksums) {
    Bytes base = sample("rgb8.png");
    auto with_size = [&](uint32_t width, uint32_t height) {
        Bytes file = base;
        put_be32(&file[16], width);
        put_be32(&file[20], height);
        fix_crc(file, 8);
        return file;
    };
    Bytes wide = with_size(IMAGE_MAX_SIDE, 7);
    ASSERT_TRUE(image_decode_open(wide.data(), int32_t(wide.size())));
    EXPECT_EQ(image_decode_width(), IMAGE_MAX_SIDE);
    image_decode_close();
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{IMAGE_MAX_SIDE + 1, 7}, {13, IMAGE_MAX_SIDE + 1}, {0, 7},
                        {13, 0}, {0x80000000u, 7}}) {
        Bytes file = with_size(w, h);
        EXPECT_EQ(image_decode_open(file.data(), int32_t(file.size())), 0) << w << " x " << h;
    }

    Bytes bad_header = base;
    bad_header[29] ^= 1;  // IHDR's CRC
    EXPECT_EQ(image_decode_open(bad_header.data(), int32_t(bad_header.size())), 0);

    // A damaged IDAT is found by the read, which fails and releases libpng's structures.
    Bytes bad_data = base;
    size_t idat = 8 + 12 + 13;
    ASSERT_EQ(std::string(reinterpret_cast<char*>(&bad_data[idat + 4]), 4), "IDAT");
    bad_data[idat + 8 + 2] ^= 0x55;
    Decoded got;
    EXPECT_FALSE(decode(bad_data, &got));
    EXPECT_EQ(image_state.context->png, nullptr);
}

// Found by fuzzing: a chunk header claiming 1 GB in a picture of a few bytes made libpng allocate
// and clear that much before it found the data short. The decoder bounds a chunk by the data.
TEST_F(ImageTest, AChunkLongerThanTheDataIsNeverAllocated) {
    Bytes file = sample("rgb8.png");
    const uint8_t huge[] = {0x3D, 0x00, 0x00, 0x00, 's', 'P', 'L', 'T', 'p', 'a', 'l', 0, 8, 1, 2, 3};
    file.insert(file.begin() + 8 + 25, huge, huge + sizeof huge);  // behind IHDR
#if defined(_WIN32)
    // The peak resident memory is read through getrusage, which Windows lacks: the refusal alone.
    EXPECT_EQ(image_decode_open(file.data(), int32_t(file.size())), 0);
#else
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(image_decode_open(file.data(), int32_t(file.size())), 0);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB more at the peak";
#endif
}

// ---- damaged and hostile BMP data ---------------------------------------------------------------

TEST_F(ImageTest, BmpCheckRefusesBadHeaders) {
    Bytes base = sample("bits24.bmp");
    auto refused = [](Bytes file) { return image_decode_open(file.data(), int32_t(file.size())) == 0; };
    auto with32 = [&](size_t offset, uint32_t value) {
        Bytes file = base;
        put_le32(&file[offset], value);
        return file;
    };
    EXPECT_TRUE(refused(with32(18, 0)));
    EXPECT_TRUE(refused(with32(18, uint32_t(-5))));
    EXPECT_TRUE(refused(with32(18, IMAGE_MAX_SIDE + 1)));
    EXPECT_TRUE(refused(with32(22, 0)));
    EXPECT_FALSE(refused(with32(22, uint32_t(-7))));  // top-down files are taken
    EXPECT_EQ(image_decode_height(), 7);
    image_decode_close();
    EXPECT_FALSE(refused(with32(22, uint32_t(-IMAGE_MAX_SIDE))));
    image_decode_close();
    EXPECT_TRUE(refused(with32(22, IMAGE_MAX_SIDE + 1)));
    EXPECT_TRUE(refused(with32(22, uint32_t(-(IMAGE_MAX_SIDE + 1)))));
    EXPECT_TRUE(refused(with32(22, 0x80000000u)));
    Bytes reserved = base;
    reserved[8] = 1;
    EXPECT_TRUE(refused(reserved));
    EXPECT_TRUE(refused(Bytes(base.begin(), base.begin() + 25)));  // the height is not all there
    EXPECT_FALSE(refused(Bytes(base.begin(), base.begin() + 26)));  // header fields present: accepted
    image_decode_close();
}

TEST_F(ImageTest, DamagedBmpReadsFailInsideTheData) {
    Decoded got;
    Bytes base = sample("bits24.bmp");
    auto with32 = [](Bytes file, size_t offset, uint32_t value) {
        put_le32(&file[offset], value);
        return file;
    };
    EXPECT_FALSE(decode(with32(base, 10, uint32_t(base.size())), &got));  // pixels start at the end
    EXPECT_FALSE(decode(with32(base, 10, 0xFFFFFFF0u), &got));            // far beyond it
    // A header that claims more rows than the file holds.
    EXPECT_FALSE(decode(with32(base, 22, 500), &got));
    EXPECT_FALSE(decode(with32(base, 18, 16000), &got));
    // Every truncation that loses pixel bytes fails; none reads beyond the copy.
    for (const char* name : {"bits1.bmp", "bits4.bmp", "bits8.bmp", "bits16.bmp", "bits24.bmp", "bits32.bmp",
                             "rle8.bmp", "bits16_565.bmp", "topdown_bits8.bmp", "topdown_bits24.bmp",
                             "topdown_bits32_fields.bmp"}) {
        Bytes full = sample(name);
        for (size_t cut = 0; cut + 4 <= full.size(); cut++) {
            Bytes part(full.begin(), full.begin() + long(cut));
            EXPECT_FALSE(decode(part, &got)) << name << " cut at " << cut;
        }
    }

    // A palette placed past the end of the data (header size near 2^32): no index can be looked up.
    Bytes pal = sample("bits8.bmp");
    EXPECT_FALSE(decode(with32(pal, 14, 0xFFFFFFF0u), &got));
    // A palette that ends the file after two entries: larger indices cannot be looked up.
    EXPECT_FALSE(decode(with32(pal, 14, uint32_t(pal.size()) - 8 - 14), &got));
    // Exactly as many entries before the end as the largest index the pixels use: that index lies
    // one past the palette; with one entry more the picture decodes.
    const uint32_t top = *std::max_element(pal.begin() + le32(&pal[10]), pal.end());
    EXPECT_FALSE(decode(with32(pal, 14, uint32_t(pal.size() - 4 * top) - 14), &got));
    EXPECT_TRUE(decode(with32(pal, 14, uint32_t(pal.size() - 4 * (top + 1)) - 14), &got));

    // RLE8: a literal that runs past the end, a delta with no bytes, no end marker.
    Bytes rle = sample("rle8.bmp");
    uint32_t start = le32(&rle[10]);
    for (Bytes tail : {Bytes{0, 200, 1, 2}, Bytes{0, 2}, Bytes{4, 1}, Bytes{0, 0, 0, 0}}) {
        Bytes file(rle.begin(), rle.begin() + start);
        file.insert(file.end(), tail.begin(), tail.end());
        EXPECT_FALSE(decode(file, &got));
    }
    // Runs and moves far outside the picture write nothing outside it.
    Bytes wild(rle.begin(), rle.begin() + start);
    for (uint8_t b : {255, 3, 0, 2, 255, 255, 255, 3, 0, 2, 0, 255, 0, 1}) wild.push_back(b);
    ASSERT_TRUE(decode(wild, &got));
    // Line 0 (the bottom row) holds the first run's first 10 pixels; the rest is untouched.
    for (int32_t x = 0; x < got.width; x++)
        EXPECT_EQ(got.rows[size_t(got.height - 1) * got.width * 3 + size_t(x) * 3], rle[54 + 3 * 4]);
    EXPECT_EQ(got.rows[0], kFill);
}

TEST_F(ImageTest, ReadRefusesARowNarrowerThanThePicture) {
    for (const char* name : {"bits24.bmp", "rgb8.png"}) {
        Bytes data = sample(name);
        ASSERT_TRUE(image_decode_open(data.data(), int32_t(data.size())));
        std::vector<uint8_t> buffer(1 << 12);
        EXPECT_EQ(image_decode_read(buffer.data(), image_decode_width() * 3 - 1, 0), 0) << name;
    }
}

// ---- encoding -------------------------------------------------------------------------------------

// A width x height picture, bytes blue, green, red(, alpha), with distinct values per pixel.
Bytes picture(int32_t width, int32_t height, int32_t depth, int32_t pitch) {
    Bytes pixels(size_t(pitch) * size_t(height), 0xEE);  // padding bytes marked
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
            for (int32_t c = 0; c < depth / 8; c++)
                pixels[size_t(y) * pitch + size_t(x) * (depth / 8) + c] = uint8_t(x * 31 + y * 17 + c * 70 + 3);
    return pixels;
}

TEST_F(ImageTest, PngFromABottomUpBufferIsUnfilteredLevel9AndDecodesBack) {
    const int32_t w = 9, h = 5, pitch = 28;  // 27 bytes of pixels and one of padding per row
    Bytes pixels = picture(w, h, 24, pitch);
    ASSERT_TRUE(image_encode(file("shot.png").c_str(), pixels.data(), IMAGE_ENCODER_PNG, w, h, pitch, 24,
                             IMAGE_BOTTOM_UP, 7));
    Bytes png = load((folder / "shot.png").string());

    std::vector<PngChunk> chunks = png_chunks(png);
    ASSERT_GE(chunks.size(), 3u);
    ASSERT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(be32(&chunks[0].body[0]), uint32_t(w));
    EXPECT_EQ(be32(&chunks[0].body[4]), uint32_t(h));
    EXPECT_EQ(Bytes(chunks[0].body.begin() + 8, chunks[0].body.end()), (Bytes{8, 2, 0, 0, 0}));
    Bytes compressed;
    for (const PngChunk& c : chunks)
        if (c.type == "IDAT") compressed.insert(compressed.end(), c.body.begin(), c.body.end());
    ASSERT_GE(compressed.size(), 2u);
    EXPECT_EQ(compressed[1] >> 6, 3);  // zlib header: maximum compression
    Bytes raw = inflate_all(compressed);
    ASSERT_EQ(raw.size(), size_t(h) * (1 + 3 * w));
    for (int32_t row = 0; row < h; row++) {
        const uint8_t* line = &raw[size_t(row) * (1 + 3 * w)];
        EXPECT_EQ(line[0], 0) << "filter byte of row " << row;
        // File row 0 is the buffer's last row; samples are red, green, blue.
        const uint8_t* source = &pixels[size_t(h - 1 - row) * pitch];
        for (int32_t x = 0; x < w; x++) {
            EXPECT_EQ(line[1 + 3 * x], source[3 * x + 2]);
            EXPECT_EQ(line[2 + 3 * x], source[3 * x + 1]);
            EXPECT_EQ(line[3 + 3 * x], source[3 * x + 0]);
        }
    }

    Decoded got;
    ASSERT_TRUE(decode(png, &got));
    ASSERT_EQ(got.depth, 24);
    for (int32_t y = 0; y < h; y++)
        EXPECT_EQ(0, std::memcmp(&got.rows[size_t(y) * 3 * w], &pixels[size_t(h - 1 - y) * pitch], size_t(3 * w)));
}

TEST_F(ImageTest, Png32BitKeepsAlphaAndTopDownOrder) {
    const int32_t w = 6, h = 4, pitch = w * 4;
    Bytes pixels = picture(w, h, 32, pitch);
    ASSERT_TRUE(image_encode(file("alpha.png").c_str(), pixels.data(), IMAGE_ENCODER_PNG, w, h, pitch, 32, 0, 7));
    Bytes png = load((folder / "alpha.png").string());
    EXPECT_EQ(png[25], 6);  // colour type RGBA
    Decoded got;
    ASSERT_TRUE(decode(png, &got));
    EXPECT_EQ(got.depth, 32);
    EXPECT_EQ(got.rows, pixels);
}

TEST_F(ImageTest, EncoderWithout32BitWriterGetsPixelsCompositedOverWhite) {
    struct Capture {
        Bytes pixels;
        int32_t width, height, pitch, flags, option;
        std::u16string name;
    };
    static Capture capture;
    capture = {};
    static const ImageEncoder only24 = {
        0x54534554,  // "TEST"
        [](const char16_t* name, const unsigned char* pixels, int32_t width, int32_t height, int32_t pitch,
           int32_t flags, int32_t option) {
            capture = {Bytes(pixels, pixels + size_t(pitch) * size_t(height)), width, height, pitch, flags, option, name};
            return 1;
        },
        nullptr};
    ASSERT_TRUE(image_add_encoder(&only24));

    // Three pixels: alpha 0, alpha 255, alpha 128; plus a second row.
    const int32_t w = 3, h = 2, pitch = 12;
    Bytes pixels = {10, 20, 30, 0,  10, 20, 30, 255,  0, 100, 255, 128,
                    0,  0,  0,  0,  1,  2,  3,  255,  200, 0, 50, 1};
    ASSERT_EQ(image_encode(u"a\\b.x", pixels.data(), 0x54534554, w, h, pitch, 32, IMAGE_BOTTOM_UP, 7), 1);
    EXPECT_EQ(capture.name, u"a\\b.x");
    EXPECT_EQ(capture.pitch, 12);  // 3 x 3 bytes rounded up to 4
    EXPECT_EQ(capture.flags, IMAGE_BOTTOM_UP);
    EXPECT_EQ(capture.option, 7);
    auto over = [](int c, int a) { return uint8_t((a * (c - 255) + 65025) / 255); };
    Bytes expected = {255, 255, 255,  10, 20, 30,  over(0, 128), over(100, 128), 255,  0,
                      255, 255, 255,  1,  2,  3,   over(200, 1), over(0, 1), over(50, 1),  0};
    ASSERT_EQ(capture.pixels.size(), size_t(h) * 12);
    for (int32_t y = 0; y < h; y++)
        EXPECT_EQ(0, std::memcmp(&capture.pixels[size_t(y) * 12], &expected[size_t(y) * 10], 9)) << "row " << y;
    EXPECT_EQ(over(0, 128), 127);
}

TEST_F(ImageTest, BmpWriterLaysOutHeaderAndBottomUpRows) {
    const int32_t w = 5, h = 3;
    const int32_t row = 16;  // 15 bytes rounded up to 4
    // 24-bit top-down with a wider pitch: each row copied, bottom row first.
    Bytes top_down = picture(w, h, 24, 20);
    ASSERT_TRUE(image_encode(file("a.bmp").c_str(), top_down.data(), IMAGE_ENCODER_BMP, w, h, 20, 24, 0, 0));
    Bytes bmp = load((folder / "a.bmp").string());
    ASSERT_EQ(bmp.size(), size_t(54 + row * h));
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(le32(&bmp[2]), uint32_t(54 + row * h));
    EXPECT_EQ(le32(&bmp[6]), 0u);
    EXPECT_EQ(le32(&bmp[10]), 54u);
    EXPECT_EQ(le32(&bmp[14]), 40u);
    EXPECT_EQ(le32(&bmp[18]), uint32_t(w));
    EXPECT_EQ(le32(&bmp[22]), uint32_t(h));
    EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
    EXPECT_EQ(bmp[28] | bmp[29] << 8, 24);
    EXPECT_EQ(le32(&bmp[30]), 0u);
    EXPECT_EQ(le32(&bmp[34]), uint32_t(row * h));
    for (int i = 38; i < 54; i++) EXPECT_EQ(bmp[size_t(i)], 0) << i;
    for (int32_t k = 0; k < h; k++) {
        EXPECT_EQ(0, std::memcmp(&bmp[54 + size_t(k) * row], &top_down[size_t(h - 1 - k) * 20], 15)) << k;
        EXPECT_EQ(bmp[54 + size_t(k) * row + 15], 0);  // padding
    }
    Decoded got;
    ASSERT_TRUE(decode(bmp, &got));
    for (int32_t y = 0; y < h; y++) EXPECT_EQ(0, std::memcmp(&got.rows[size_t(y) * 15], &top_down[size_t(y) * 20], 15));

    // 24-bit already bottom-up at the file's pitch: the same file from one block.
    Bytes bottom_up(size_t(row) * h, 0);
    for (int32_t k = 0; k < h; k++) std::memcpy(&bottom_up[size_t(k) * row], &top_down[size_t(h - 1 - k) * 20], 15);
    ASSERT_TRUE(image_encode(file("b.bmp").c_str(), bottom_up.data(), IMAGE_ENCODER_BMP, w, h, row, 24,
                             IMAGE_BOTTOM_UP, 0));
    EXPECT_EQ(load((folder / "b.bmp").string()), bmp);
    // 24-bit top-down at the file's pitch: still turned over row by row.
    Bytes packed(size_t(row) * h, 0);
    for (int32_t k = 0; k < h; k++) std::memcpy(&packed[size_t(k) * row], &top_down[size_t(k) * 20], 15);
    ASSERT_TRUE(image_encode(file("d.bmp").c_str(), packed.data(), IMAGE_ENCODER_BMP, w, h, row, 24, 0, 0));
    EXPECT_EQ(load((folder / "d.bmp").string()), bmp);

    // 32-bit pixels are composited over white.
    Bytes rgba = {9, 8, 7, 0,  9, 8, 7, 255};
    ASSERT_TRUE(image_encode(file("c.bmp").c_str(), rgba.data(), IMAGE_ENCODER_BMP, 2, 1, 8, 32, 0, 0));
    Bytes c = load((folder / "c.bmp").string());
    ASSERT_EQ(c.size(), 54u + 8);
    EXPECT_EQ(Bytes(c.begin() + 54, c.end()), (Bytes{255, 255, 255, 9, 8, 7, 0, 0}));
}

TEST_F(ImageTest, EncodeFailures) {
    Bytes pixels = picture(4, 4, 32, 16);
    std::u16string keep = file("x.png");
    EXPECT_EQ(image_encode(keep.c_str(), pixels.data(), 0x12345678, 4, 4, 16, 24, 0, 7), 0);  // unknown id
    EXPECT_EQ(image_encode(keep.c_str(), pixels.data(), IMAGE_ENCODER_PNG, 4, 4, 16, 16, 0, 7), 0);
    EXPECT_EQ(image_encode(keep.c_str(), pixels.data(), IMAGE_ENCODER_BMP, 4, 4, 16, 16, 0, 7), 0);
    EXPECT_EQ(image_encode(keep.c_str(), pixels.data(), IMAGE_ENCODER_PNG, 0, 4, 16, 24, 0, 7), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
    std::u16string missing = file("no_such_folder/x.png");
    EXPECT_EQ(image_encode(missing.c_str(), pixels.data(), IMAGE_ENCODER_PNG, 4, 4, 16, 24, 0, 7), 0);
    EXPECT_EQ(image_encode(missing.c_str(), pixels.data(), IMAGE_ENCODER_BMP, 4, 4, 16, 24, 0, 7), 0);
    EXPECT_EQ(image_encode(nullptr, pixels.data(), IMAGE_ENCODER_PNG, 4, 4, 16, 24, 0, 7), 0);
}

// The staged writer (for a worker thread) against the encoder's own file: the same bytes for the
// same pixels, only the final name left in the folder, an older file replaced; a failure at any
// step leaves the older file and nothing else.
Bytes noise(size_t bytes) {
    Bytes out(bytes);
    uint32_t seed = 12345;
    for (uint8_t& b : out) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return out;
}

TEST_F(ImageTest, StagedPngWriterGivesTheEncodersBytesAndLeavesNoTemporaryFile) {
    struct Case {
        int32_t width, height, pitch, flags;
        bool noise;  // incompressible pixels: the file spans several output blocks
    };
    const Case cases[] = {
        {9, 5, 28, IMAGE_BOTTOM_UP, false},
        {9, 5, 28, 0, false},
        {1, 1, 4, IMAGE_BOTTOM_UP, false},
        {301, 203, 904, IMAGE_BOTTOM_UP, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " flags " + std::to_string(c.flags));
        Bytes pixels = c.noise ? noise(size_t(c.pitch) * size_t(c.height)) : picture(c.width, c.height, 24, c.pitch);
        ASSERT_TRUE(image_encode(file("reference.png").c_str(), pixels.data(), IMAGE_ENCODER_PNG, c.width, c.height,
                                 c.pitch, 24, c.flags, 7));
        std::filesystem::create_directories(folder / "staged");
        std::ofstream(folder / "staged" / "shot.png") << "older";
        ASSERT_TRUE(image_png_write_staged(file("staged/shot.png").c_str(), pixels.data(), c.width, c.height, c.pitch,
                                           c.flags));
        Bytes reference = load((folder / "reference.png").string());
        if (c.noise) {
            EXPECT_GT(reference.size(), 2u * 65536u);
        }
        EXPECT_EQ(load((folder / "staged" / "shot.png").string()), reference);
        std::filesystem::remove(folder / "staged" / "shot.png");
        ASSERT_TRUE(image_png_write_staged(file("staged/shot.png").c_str(), pixels.data(), c.width, c.height, c.pitch,
                                           c.flags));
        EXPECT_EQ(std::filesystem::status(folder / "staged" / "shot.png").permissions(),
                  std::filesystem::status(folder / "reference.png").permissions())
            << "a new file gets the access rights of a file created under its own name";
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder / "staged"))
            names.push_back(e.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"shot.png"});
        std::filesystem::remove_all(folder / "staged");
    }

    Bytes pixels = noise(904 * 203);
    FileFaults full{};
    full.limit_writes = true;
    full.write_budget = 100000;
    FileFaults no_sync{};
    no_sync.sync_error = EIO;
    FileFaults no_rename{};
    no_rename.rename_error = EXDEV;
    for (const FileFaults& faults : {full, no_sync, no_rename}) {
        std::filesystem::create_directories(folder / "staged");
        std::ofstream(folder / "staged" / "shot.png") << "older";
        file_set_faults(faults);
        EXPECT_EQ(image_png_write_staged(file("staged/shot.png").c_str(), pixels.data(), 301, 203, 904, 0), 0);
        file_clear_faults();
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder / "staged"))
            names.push_back(e.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"shot.png"});
        EXPECT_EQ(load((folder / "staged" / "shot.png").string()), (Bytes{'o', 'l', 'd', 'e', 'r'}));
        std::filesystem::remove_all(folder / "staged");
    }
    EXPECT_EQ(image_png_write_staged(file("no_such_folder/shot.png").c_str(), pixels.data(), 301, 203, 904, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "no_such_folder"));
    EXPECT_EQ(image_png_write_staged(file("x.png").c_str(), pixels.data(), 0, 203, 904, 0), 0);
    EXPECT_EQ(image_png_write_staged(file("x.png").c_str(), nullptr, 301, 203, 904, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
}

TEST_F(ImageTest, FileNamesWithBackslashesReachTheFolder) {
    std::filesystem::create_directories(folder / "Shots");
    Bytes pixels = picture(2, 2, 24, 8);
    std::u16string name = u16(folder.string()) + u"\\Shots\\Screenshot_1.png";
    ASSERT_TRUE(image_encode(name.c_str(), pixels.data(), IMAGE_ENCODER_PNG, 2, 2, 8, 24, 0, 7));
    EXPECT_TRUE(std::filesystem::exists(folder / "Shots" / "Screenshot_1.png"));
}

// ---- lists, table, start-up -----------------------------------------------------------------------

TEST_F(ImageTest, ListsRegisterOnceAndHoldThirtyEntries) {
    image_register_png_decoder();
    image_register_png_encoder();
    EXPECT_EQ(image_state.decoder_count, 2);
    EXPECT_EQ(image_state.decoders[0], &image_bmp_decoder);
    EXPECT_EQ(image_state.decoders[1], &image_png_decoder);
    EXPECT_EQ(image_state.encoder_count, 1);

    static const ImageDecoder never = {[](ImageDecodeContext*) { return 0; },
                                       [](ImageDecodeContext*, unsigned char*, int32_t) { return 0; },
                                       [](ImageDecodeContext*) {}};
    while (image_state.decoder_count < IMAGE_LIST_CAPACITY) ASSERT_TRUE(image_add_decoder(&never));
    EXPECT_EQ(image_add_decoder(&never), 0);
    EXPECT_EQ(image_state.decoder_count, IMAGE_LIST_CAPACITY);
    while (image_state.encoder_count < IMAGE_LIST_CAPACITY) ASSERT_TRUE(image_add_encoder(&image_png_encoder));
    EXPECT_EQ(image_add_encoder(&image_png_encoder), 0);

    // A new list starts empty and decodes nothing until a decoder is registered.
    image_init_decoders();
    Bytes bmp = sample("bits24.bmp");
    EXPECT_EQ(image_decode_open(bmp.data(), int32_t(bmp.size())), 0);
    image_register_bmp_decoder();
    EXPECT_EQ(image_decode_open(bmp.data(), int32_t(bmp.size())), 1);
    image_decode_close();
}

TEST_F(ImageTest, ImageTableFreesByNumber) {
    auto* first = static_cast<ImageRecord*>(obj_slot_for(image_state.images, 3));
    ASSERT_NE(first, nullptr);
    first->handle = 1;
    first->width = 16;
    auto* second = static_cast<ImageRecord*>(obj_slot_for(image_state.images, 20));  // grows the table
    ASSERT_NE(second, nullptr);
    second->handle = 2;
    EXPECT_EQ(image_free(AUTO_NUMBER), 0);
    EXPECT_EQ(image_free(4), 0);
    EXPECT_EQ(image_free(3), 1);
    EXPECT_EQ(obj_find(image_state.images, 3), nullptr);
    EXPECT_NE(obj_find(image_state.images, 20), nullptr);
    image_free_all();
    EXPECT_EQ(obj_find(image_state.images, 20), nullptr);
}

TEST_F(ImageTest, BlendingIsUnavailable) { EXPECT_EQ(image_state.alpha_blend, nullptr); }

TEST(ImageLifecycle, StartUpAndShutdownLeaveTheRecordAsTheyFoundIt) {
    platform_use_backend(&headless_backend);
    headless_system_reset();
    for (int run = 0; run < 2; run++) {
        EXPECT_EQ(game_run(no_main_loop), 0);
        EXPECT_EQ(image_state.context, nullptr);
        EXPECT_EQ(image_state.images, nullptr);
        EXPECT_EQ(image_state.decoder_count, 0);
        EXPECT_EQ(image_state.encoder_count, 0);
    }
}
}  // namespace
