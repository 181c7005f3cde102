// Program icons from the title picture (icon.h). Integer arithmetic only, so the bytes are the
// same on every build machine.
#include "icon.h"

#include <cstddef>

#include "picture.h"

namespace gen {

std::vector<uint8_t> make_icon(const std::vector<uint8_t>& picture, int size) {
    // The moon over the far shore and its reflection, the brightest part of a dark picture: the
    // right of the picture, a square of three quarters of its height from the top.
    const int side = PICTURE_HEIGHT * 3 / 4;
    const int left = PICTURE_WIDTH - side, top = 0;
    std::vector<uint8_t> out(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        const int y0 = top + y * side / size, y1 = top + (y + 1) * side / size;
        for (int x = 0; x < size; ++x) {
            const int x0 = left + x * side / size, x1 = left + (x + 1) * side / size;
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int py = y0; py < y1; ++py)
                for (int px = x0; px < x1; ++px)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += picture[(static_cast<std::size_t>(py) * PICTURE_WIDTH + px) * 4 + c];
            const uint64_t count = static_cast<uint64_t>(y1 - y0) * (x1 - x0);
            for (int c = 0; c < 4; ++c)
                out[(static_cast<std::size_t>(y) * size + x) * 4 + c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return out;
}

std::vector<uint8_t> ico_file(const std::vector<IconImage>& images) {
    std::vector<uint8_t> out;
    auto u16 = [&out](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&u16](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    u16(0);  // reserved
    u16(1);  // an icon (2 would be a cursor)
    u16(static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const IconImage& image : images) {
        out.push_back(static_cast<uint8_t>(image.size >= 256 ? 0 : image.size));  // width
        out.push_back(static_cast<uint8_t>(image.size >= 256 ? 0 : image.size));  // height
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        u16(1);            // colour planes
        u16(32);           // bits per pixel
        u32(static_cast<uint32_t>(image.png.size()));
        u32(offset);
        offset += static_cast<uint32_t>(image.png.size());
    }
    for (const IconImage& image : images) out.insert(out.end(), image.png.begin(), image.png.end());
    return out;
}

}  // namespace gen
