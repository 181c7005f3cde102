// The reference the menu benchmarks compare against: pixman clearing a 32-bit screen to black and
// compositing a colour-keyed ARGB picture over it, zoomed to the screen with the nearest filter
// (OVER), as the menu's backdrop is drawn; plus the synthetic 1280 x 1024 picture the backdrop
// benchmarks use. Header-only: each benchmark executable includes it once.
// Relies on: pixman.
#pragma once
#include <pixman.h>

#include <cstdint>
#include <vector>

namespace bench {

constexpr int32_t kMenuSizes[][2] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
constexpr int32_t kPictureW = 1280, kPictureH = 1024;

// A colour-keyed picture: a gradient with black (transparent, alpha 0) bands and blocks.
inline const std::vector<uint32_t>& synthetic_picture() {
    static const std::vector<uint32_t> p = [] {
        std::vector<uint32_t> v(size_t(kPictureW) * kPictureH);
        for (int32_t y = 0; y < kPictureH; y++)
            for (int32_t x = 0; x < kPictureW; x++) {
                bool keyed = ((x / 40 + y / 40) % 3 == 0) || (y > 300 && y < 360);
                uint32_t rgb = (uint32_t(x * 255 / kPictureW) << 16) | (uint32_t(y * 255 / kPictureH) << 8) | 0x60;
                v[size_t(y) * kPictureW + x] = keyed ? 0 : (0xFF000000u | rgb);
            }
        return v;
    }();
    return p;
}

// Premultiplies ARGB pixels, as pixman's a8r8g8b8 wants them (a no-op on 0-or-255 alpha with a
// black keyed colour).
inline std::vector<uint32_t> premultiplied(std::vector<uint32_t> pixels) {
    for (uint32_t& p : pixels) {
        uint32_t a = p >> 24;
        if (a == 255) continue;
        auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
        p = (a << 24) | (mul((p >> 16) & 255) << 16) | (mul((p >> 8) & 255) << 8) | mul(p & 255);
    }
    return pixels;
}

// Clear + OVER composite of a premultiplied picture stretched to a w x h x8r8g8b8 screen.
class PixmanBackdrop {
public:
    PixmanBackdrop(std::vector<uint32_t> picture, int32_t picture_w, int32_t picture_h, int32_t w, int32_t h)
        : src_pixels_(std::move(picture)), dst_pixels_(size_t(w) * h), w_(w), h_(h) {
        src_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, picture_w, picture_h, src_pixels_.data(), picture_w * 4);
        dst_ = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, dst_pixels_.data(), w * 4);
        pixman_transform_t t;
        pixman_transform_init_scale(&t, pixman_double_to_fixed(double(picture_w) / w),
                                    pixman_double_to_fixed(double(picture_h) / h));
        pixman_image_set_transform(src_, &t);
        pixman_image_set_filter(src_, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    ~PixmanBackdrop() {
        pixman_image_unref(src_);
        pixman_image_unref(dst_);
    }
    PixmanBackdrop(const PixmanBackdrop&) = delete;
    PixmanBackdrop& operator=(const PixmanBackdrop&) = delete;

    void frame() {
        pixman_color_t black = {0, 0, 0, 0xFFFF};
        pixman_rectangle16_t all = {0, 0, uint16_t(w_), uint16_t(h_)};
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, dst_, &black, 1, &all);
        pixman_image_composite32(PIXMAN_OP_OVER, src_, nullptr, dst_, 0, 0, 0, 0, 0, 0, w_, h_);
    }
    const uint32_t* pixels() const { return dst_pixels_.data(); }

private:
    std::vector<uint32_t> src_pixels_;
    std::vector<uint32_t> dst_pixels_;
    int32_t w_, h_;
    pixman_image_t* src_ = nullptr;
    pixman_image_t* dst_ = nullptr;
};

}  // namespace bench
