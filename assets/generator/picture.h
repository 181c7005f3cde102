// The title picture painter: a forest tarn under the moon, painted with integer arithmetic.
#pragma once
#include <cstdint>
#include <vector>

namespace gen {

constexpr int PICTURE_WIDTH = 1280;
constexpr int PICTURE_HEIGHT = 1024;

// RGBA bytes, top row first, PICTURE_WIDTH * PICTURE_HEIGHT * 4 of them; alpha is 255 everywhere
// and no pixel is pure black (pure black is the display's transparent colour key).
std::vector<uint8_t> paint_title_picture();

}  // namespace gen
