// Row kernels of the quad drawing: fills, opaque copies and colour-keyed copies over 32-bit
// pixels, in a portable version and an AVX2 version compiled for that target alone and chosen by
// a CPU check at first use, so the program still runs on processors without AVX2.
// Relies on: d3d_internal.h, the compiler's x86 intrinsics (on x86 only).
#include <cstring>
#include <new>

#include "runtime/platform/d3d/d3d_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define D3D_HAVE_X86 1
#else
#define D3D_HAVE_X86 0
#endif

uint8_t* d3d_pixels_alloc(size_t bytes) {
    size_t rounded = (bytes + 31) & ~size_t(31);
    if (rounded == 0) rounded = 32;
    // The aligned operator new rather than aligned_alloc, which the Windows C runtime lacks.
    void* block = ::operator new(rounded, std::align_val_t(32), std::nothrow);
    if (block) std::memset(block, 0, rounded);
    return static_cast<uint8_t*>(block);
}

void d3d_pixels_free(uint8_t* pixels) {
    if (pixels) ::operator delete(pixels, std::align_val_t(32));
}

namespace {

void fill_portable(uint32_t* dst, int32_t count, uint32_t value) {
    for (int32_t i = 0; i < count; i++) dst[i] = value;
}

void copy_opaque_portable(uint32_t* dst, const uint32_t* src, int32_t count) {
    for (int32_t i = 0; i < count; i++) dst[i] = src[i] & 0x00FFFFFFu;
}

void copy_keyed_portable(uint32_t* dst, const uint32_t* src, int32_t count) {
    for (int32_t i = 0; i < count; i++)
        if (src[i] >> 24) dst[i] = src[i] & 0x00FFFFFFu;
}

void copy_keyed_fill_portable(uint32_t* dst, const uint32_t* src, int32_t count, uint32_t fill) {
    for (int32_t i = 0; i < count; i++) dst[i] = (src[i] >> 24) ? (src[i] & 0x00FFFFFFu) : fill;
}

#if D3D_HAVE_X86
__attribute__((target("avx2"))) void fill_avx2(uint32_t* dst, int32_t count, uint32_t value) {
    __m256i v = _mm256_set1_epi32(int(value));
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
    for (; i < count; i++) dst[i] = value;
}

__attribute__((target("avx2"))) void copy_opaque_avx2(uint32_t* dst, const uint32_t* src, int32_t count) {
    const __m256i mask = _mm256_set1_epi32(0x00FFFFFF);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_and_si256(s, mask));
    }
    for (; i < count; i++) dst[i] = src[i] & 0x00FFFFFFu;
}

__attribute__((target("avx2"))) void copy_keyed_avx2(uint32_t* dst, const uint32_t* src, int32_t count) {
    const __m256i mask = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i zero = _mm256_setzero_si256();
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        __m256i clear = _mm256_cmpeq_epi32(_mm256_srli_epi32(s, 24), zero);
        __m256i out = _mm256_blendv_epi8(_mm256_and_si256(s, mask), d, clear);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    for (; i < count; i++)
        if (src[i] >> 24) dst[i] = src[i] & 0x00FFFFFFu;
}

__attribute__((target("avx2"))) void copy_keyed_fill_avx2(uint32_t* dst, const uint32_t* src, int32_t count,
                                                         uint32_t fill) {
    const __m256i mask = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i f = _mm256_set1_epi32(int(fill));
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        __m256i clear = _mm256_cmpeq_epi32(_mm256_srli_epi32(s, 24), zero);
        __m256i out = _mm256_blendv_epi8(_mm256_and_si256(s, mask), f, clear);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    for (; i < count; i++) dst[i] = (src[i] >> 24) ? (src[i] & 0x00FFFFFFu) : fill;
}

bool cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

struct Kernels {
    bool avx2;
    void (*fill)(uint32_t*, int32_t, uint32_t);
    void (*copy_opaque)(uint32_t*, const uint32_t*, int32_t);
    void (*copy_keyed)(uint32_t*, const uint32_t*, int32_t);
    void (*copy_keyed_fill)(uint32_t*, const uint32_t*, int32_t, uint32_t);
};

Kernels choose() {
#if D3D_HAVE_X86
    if (cpu_has_avx2()) return {true, fill_avx2, copy_opaque_avx2, copy_keyed_avx2, copy_keyed_fill_avx2};
#endif
    return {false, fill_portable, copy_opaque_portable, copy_keyed_portable, copy_keyed_fill_portable};
}

const Kernels& kernels() {
    static const Kernels chosen = choose();
    return chosen;
}

}  // namespace

void d3d_row_fill(uint32_t* dst, int32_t count, uint32_t value) { kernels().fill(dst, count, value); }
void d3d_row_copy_opaque(uint32_t* dst, const uint32_t* src, int32_t count) { kernels().copy_opaque(dst, src, count); }
void d3d_row_copy_keyed(uint32_t* dst, const uint32_t* src, int32_t count) { kernels().copy_keyed(dst, src, count); }
void d3d_row_copy_keyed_fill(uint32_t* dst, const uint32_t* src, int32_t count, uint32_t fill) {
    kernels().copy_keyed_fill(dst, src, count, fill);
}
bool d3d_kernels_avx2() { return kernels().avx2; }
