// The asset generator, run by the build: paints the title picture and composes the title music,
// writes them as title_picture.png and title_music.wav into the folder given as first argument,
// and, given a second argument, writes there the C++ source that embeds both files into the
// program (an assembler .incbin of each file plus its size). The output depends on nothing but
// this code (and the deflate implementation under libpng, for the PNG's compressed bytes).
// With --icons it writes instead the program's icons: the picture's centred square scaled down to
// each size asked for, as icon_<size>.png (the sizes are the caller's: the Linux menu entry wants
// 48, 128 and 256 pixels, a Windows program file 16, 32, 48 and 256).
//
// Usage: generate_assets <output folder> [<embedding source file>]
//        generate_assets --icons <output folder> <size>...
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixed_math.h"
#include "music.h"
#include "picture.h"

namespace {

void append_bytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_nothing(png_structp) {}

// RGBA 8-bit, colour type 6, not interlaced.
bool encode_png(const std::vector<uint8_t>& rgba, int width, int height, std::vector<uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, append_bytes, flush_nothing);
    png_set_compression_level(png, 6);  // level 9 costs seconds more for 9% less
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, &rgba[static_cast<size_t>(y) * width * 4]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put_u16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put_tag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// RIFF/WAVE: a 16-byte "fmt " chunk (PCM, 2 channels, 44100 Hz, 16 bits) directly followed by the
// "data" chunk.
std::vector<uint8_t> encode_wav(const std::vector<int16_t>& samples) {
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + data_bytes);
    put_tag(out, "RIFF");
    put_u32(out, 36 + data_bytes);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_u32(out, 16);
    put_u16(out, 1);                    // PCM
    put_u16(out, 2);                    // channels
    put_u32(out, gen::MUSIC_RATE);      // frames per second
    put_u32(out, gen::MUSIC_RATE * 4);  // bytes per second
    put_u16(out, 4);                    // bytes per frame
    put_u16(out, 16);                   // bits per sample
    put_tag(out, "data");
    put_u32(out, data_bytes);
    for (int16_t s : samples) put_u16(out, static_cast<uint16_t>(s));
    return out;
}

bool write_file(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// The picture's centred square, size x size: each icon pixel is the mean of the picture pixels
// its square covers (a box filter; the picture is far larger than any icon).
std::vector<uint8_t> icon_from_picture(const std::vector<uint8_t>& picture, int size) {
    const int side = gen::PICTURE_HEIGHT < gen::PICTURE_WIDTH ? gen::PICTURE_HEIGHT : gen::PICTURE_WIDTH;
    const int left = (gen::PICTURE_WIDTH - side) / 2, top = (gen::PICTURE_HEIGHT - side) / 2;
    std::vector<uint8_t> icon(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        const int y0 = top + y * side / size, y1 = top + (y + 1) * side / size;
        for (int x = 0; x < size; ++x) {
            const int x0 = left + x * side / size, x1 = left + (x + 1) * side / size;
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 4; ++c) sum[c] += picture[(static_cast<size_t>(sy) * gen::PICTURE_WIDTH + sx) * 4 + c];
            const uint32_t count = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 4; ++c)
                icon[(static_cast<size_t>(y) * size + x) * 4 + c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return icon;
}

int write_icons(const std::string& folder, int count, char** sizes) {
    const std::vector<uint8_t> picture = gen::paint_title_picture();
    for (int i = 0; i < count; ++i) {
        const int size = std::atoi(sizes[i]);
        std::vector<uint8_t> png;
        const std::string path = folder + "/icon_" + std::to_string(size) + ".png";
        if (size < 1 || size > gen::PICTURE_HEIGHT || !encode_png(icon_from_picture(picture, size), size, size, png) ||
            !write_file(path, png.data(), png.size())) {
            std::fprintf(stderr, "generate_assets: cannot write the %s px icon %s\n", sizes[i], path.c_str());
            return 1;
        }
    }
    return 0;
}

// A path as an assembler string literal.
std::string asm_string(const std::string& path) {
    std::string s = "\\\"";
    for (char c : path) {
        if (c == '"' || c == '\\') s += "\\\\\\";
        s += c;
    }
    return s + "\\\"";
}

std::string embed_source(const std::string& picture_path, size_t picture_size, const std::string& music_path,
                         size_t music_size) {
    std::string s;
    s += "// Generated by generate_assets: embeds the title picture and the title music.\n";
    s += "#include \"assets/assets.h\"\n\n";
    // ELF (Linux) and PE/COFF (Windows) name the read-only data section differently, and only
    // ELF knows symbol types and sizes: the preprocessor picks the lines for the target.
    s += "__asm__(\n";
    s += "#if defined(_WIN32)\n";
    s += "    \".section .rdata,\\\"dr\\\"\\n\"\n";
    s += "#else\n";
    s += "    \".section .rodata\\n\"\n";
    s += "#endif\n";
    const struct {
        const char* name;
        const std::string& path;
    } items[] = {{"asset_title_picture", picture_path}, {"asset_title_music", music_path}};
    for (const auto& item : items) {
        s += "    \".balign 16\\n\"\n";
        s += std::string("    \".globl ") + item.name + "\\n\"\n";
        s += "#if !defined(_WIN32)\n";
        s += std::string("    \".type ") + item.name + ", %object\\n\"\n";
        s += "#endif\n";
        s += std::string("    \"") + item.name + ":\\n\"\n";
        s += "    \".incbin " + asm_string(item.path) + "\\n\"\n";
        s += "#if !defined(_WIN32)\n";
        s += std::string("    \".size ") + item.name + ", . - " + item.name + "\\n\"\n";
        s += "#endif\n";
        s += "    \".byte 0\\n\"\n";  // keeps the next symbol's address distinct
    }
    s += "#if defined(_WIN32)\n";
    s += "    \".text\\n\");\n";
    s += "#else\n";
    s += "    \".previous\\n\");\n";
    s += "#endif\n\n";
    s += "extern \"C\" const size_t asset_title_picture_size = " + std::to_string(picture_size) + ";\n";
    s += "extern \"C\" const size_t asset_title_music_size = " + std::to_string(music_size) + ";\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: generate_assets <output folder> [<embedding source file>]\n");
        return 2;
    }
    gen::sine_table_init();
    if (std::strcmp(argv[1], "--icons") == 0) {
        if (argc < 4) {
            std::fprintf(stderr, "usage: generate_assets --icons <output folder> <size>...\n");
            return 2;
        }
        return write_icons(argv[2], argc - 3, argv + 3);
    }
    const std::string folder = argv[1];
    const std::string picture_path = folder + "/title_picture.png";
    const std::string music_path = folder + "/title_music.wav";

    std::vector<uint8_t> png;
    if (!encode_png(gen::paint_title_picture(), gen::PICTURE_WIDTH, gen::PICTURE_HEIGHT, png) || !write_file(picture_path, png.data(), png.size())) {
        std::fprintf(stderr, "generate_assets: cannot write %s\n", picture_path.c_str());
        return 1;
    }
    std::vector<uint8_t> wav = encode_wav(gen::compose_title_music());
    if (!write_file(music_path, wav.data(), wav.size())) {
        std::fprintf(stderr, "generate_assets: cannot write %s\n", music_path.c_str());
        return 1;
    }
    if (argc >= 3) {
        std::string src = embed_source(picture_path, png.size(), music_path, wav.size());
        if (!write_file(argv[2], src.data(), src.size())) {
            std::fprintf(stderr, "generate_assets: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
