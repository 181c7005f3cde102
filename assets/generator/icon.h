// Program icons made from the title picture: square crops scaled down by area averaging, each
// size encoded as a PNG, and a Windows icon file (.ico) that holds them all.
#pragma once
#include <cstdint>
#include <vector>

namespace gen {

// The sizes of the Windows program's icon, in pixels (square). Other packages ask for their own.
constexpr int WINDOWS_ICON_SIZES[] = {16, 32, 48, 256};

// RGBA bytes of a size x size icon from the title picture (PICTURE_WIDTH x PICTURE_HEIGHT RGBA):
// a square of the picture around the moon, every icon pixel the average of the picture pixels it
// covers.
std::vector<uint8_t> make_icon(const std::vector<uint8_t>& picture, int size);

// An .ico file of PNG-encoded images (one per entry, in the order given): the ICONDIR header,
// one 16-byte entry each (a width or height of 256 written as 0), then the PNG bytes.
struct IconImage {
    int size;
    std::vector<uint8_t> png;
};
std::vector<uint8_t> ico_file(const std::vector<IconImage>& images);

}  // namespace gen
