// Pieces shared by the Direct3D stand-in's files: the row kernels of the quad drawing (with AVX2
// versions chosen by a runtime CPU check) and the pixel allocation.
// Not for callers outside runtime/platform/d3d. Relies on: d3d9.h.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/platform/d3d/d3d9.h"

// Texture alpha, classified whenever the texture is written.
enum D3DAlphaClass : int32_t {
    D3D_ALPHA_UNKNOWN = 0,
    D3D_ALPHA_OPAQUE = 1,  // every texel 255
    D3D_ALPHA_BINARY = 2,  // every texel 0 or 255 (colour-keyed pictures)
    D3D_ALPHA_GENERAL = 3,
};

// Per-texture drawing data: the alpha class and the picture resampled at the last zoom drawn.
struct D3DTextureSampler {
    uint32_t classified_serial;
    D3DAlphaClass alpha_class;
    // The resampled picture (32-bit texels) and the texel maps it was built from.
    uint32_t cache_serial;
    std::vector<int32_t> cache_xmap, cache_ymap;
    uint32_t* cache;
    size_t cache_capacity;  // texels
};

uint8_t* d3d_pixels_alloc(size_t bytes);  // 32-byte aligned, zero-filled; null on failure
void d3d_pixels_free(uint8_t* pixels);

// Row kernels over 32-bit pixels (destination X8R8G8B8, source A8R8G8B8). The alpha byte of every
// written pixel is 0.
void d3d_row_fill(uint32_t* dst, int32_t count, uint32_t value);
void d3d_row_copy_opaque(uint32_t* dst, const uint32_t* src, int32_t count);
// Keyed copy: texels with alpha 0 leave the destination (or `fill`) in place, the others replace it.
void d3d_row_copy_keyed(uint32_t* dst, const uint32_t* src, int32_t count);
void d3d_row_copy_keyed_fill(uint32_t* dst, const uint32_t* src, int32_t count, uint32_t fill);
// Whether the AVX2 kernels are in use (decided once from the CPU).
bool d3d_kernels_avx2();
