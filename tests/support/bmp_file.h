// A 24-bit BMP file built in memory, for tests and benchmarks that need pictures without files.
// Relies on: nothing but the standard library.
#pragma once
#include <cstdint>
#include <vector>

// width x height pixels given top row first as 0x00RRGGBB; rows padded to 4 bytes, stored bottom-up.
inline std::vector<uint8_t> bmp_file(int32_t width, int32_t height, const std::vector<uint32_t>& pixels) {
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
