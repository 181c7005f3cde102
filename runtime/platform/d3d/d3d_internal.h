// Pieces shared by the Direct3D stand-in's files: the row kernels of the quad drawing (with AVX2
// versions chosen by a runtime CPU check), the pixel allocation, and the records that tell what a
// buffer of the flip chain holds.
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

// One quad as the device draws it: the pixels it covers, its edges and texture coordinates, the
// stage and blend states, and the texture as it was then (identity and write serial). Two quads
// that agree in all but the texture pointer draw the same pixels over the same pixels.
struct D3DQuad {
    Direct3DTexture9* texture;  // null when no texture is set; only used while the quad waits
    uint64_t texture_id;
    uint32_t serial;
    int32_t px0, px1, py0, py1;  // covered pixels, clipped to the surface
    double ex0, ex1, eu0, eu1;   // left and right edge, and their u
    double ey0, ey1, ev0, ev1;   // top and bottom edge, and their v
    uint32_t diffuse;
    uint32_t colour_op, colour_arg1, colour_arg2, alpha_op, alpha_arg1, alpha_arg2;
    uint32_t blending, src_factor, dst_factor;
};
bool d3d_same_quad(const D3DQuad& a, const D3DQuad& b);

// A whole-surface Clear and the quads drawn right after it, before anything else touched the
// surface: the usual start of a frame (the backdrop). It sets every pixel, whatever was there.
constexpr int32_t D3D_BASE_QUADS = 8;
struct D3DBase {
    uint32_t clear_value;  // native pixel value
    int32_t quad_count;
    D3DQuad quads[D3D_BASE_QUADS];
};
bool d3d_same_base(const D3DBase& a, const D3DBase& b);

// What a buffer of the flip chain holds, known without reading it. A frame that starts like the
// frame the buffer holds only redraws the rows written after that start; the presenter only
// compares rows that one of the two buffers wrote after a start they share.
struct D3DBufferHistory {
    bool pending;      // `next` waits to be drawn: at the next access to the pixels, or the present
    D3DBase next;      // its quads hold a reference to their textures while they wait
    bool known;        // the rows not marked in `written` hold what `base` draws
    D3DBase base;
    uint8_t* written;  // one byte per row: non-zero when written since `base`
    int32_t rows;
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
