// Integer maths for the asset generator: a seeded PRNG, hashing, value noise, square roots and a
// sine table. Everything here is integer arithmetic, so the generated files come out bit-identical
// on every compiler and machine (no libm, no floating point, no std:: distributions).
// Signed right shifts are arithmetic (as GCC and Clang define them).
#pragma once
#include <cstdint>

namespace gen {

// splitmix64: small, fast and fully specified. Draw at most one value per expression: the order
// in which a call's arguments are evaluated differs between compilers.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi] (the tiny modulo bias does not matter for art).
    int32_t range(int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
    // Uniform in [0, 65535].
    int32_t unit16() { return static_cast<int32_t>(next() >> 48); }
};

inline uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

inline uint32_t hash3(int32_t a, int32_t b, uint32_t seed) {
    return hash32(static_cast<uint32_t>(a) * 0x9E3779B1u ^ hash32(static_cast<uint32_t>(b) + seed * 0x85EBCA77u));
}

inline int32_t clamp32(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Smoothstep weight of a Q16 fraction, Q16 result.
inline int32_t smooth16(int32_t t) {
    int64_t tt = t;
    return static_cast<int32_t>((tt * tt >> 16) * (3 * 65536 - 2 * tt) >> 16);
}

// Smoothstep between edges a and b of any integer scale, Q16 result.
inline int32_t smoothstep16(int32_t a, int32_t b, int32_t v) {
    if (v <= a) return 0;
    if (v >= b) return 65536;
    return smooth16(static_cast<int32_t>((static_cast<int64_t>(v - a) << 16) / (b - a)));
}

inline int32_t lerp16(int32_t a, int32_t b, int32_t t) {
    return a + static_cast<int32_t>((static_cast<int64_t>(b - a) * t) >> 16);
}

// 2D value noise; coordinates in Q16 lattice units, result in [0, 65535].
inline int32_t value_noise(int64_t x, int64_t y, uint32_t seed) {
    int32_t xi = static_cast<int32_t>(x >> 16), yi = static_cast<int32_t>(y >> 16);
    int32_t fx = smooth16(static_cast<int32_t>(x & 0xFFFF)), fy = smooth16(static_cast<int32_t>(y & 0xFFFF));
    int32_t v00 = hash3(xi, yi, seed) >> 16, v10 = hash3(xi + 1, yi, seed) >> 16;
    int32_t v01 = hash3(xi, yi + 1, seed) >> 16, v11 = hash3(xi + 1, yi + 1, seed) >> 16;
    return lerp16(lerp16(v00, v10, fx), lerp16(v01, v11, fx), fy);
}

// Fractal sum of octaves (each half the amplitude, double the frequency), result in [0, 65535].
inline int32_t fbm(int64_t x, int64_t y, int octaves, uint32_t seed) {
    int64_t sum = 0, norm = 0;
    int32_t amp = 65536;
    for (int o = 0; o < octaves; ++o) {
        sum += static_cast<int64_t>(value_noise(x, y, seed + static_cast<uint32_t>(o) * 1013u)) * amp;
        norm += amp;
        amp >>= 1;
        x = x * 2 + 0x3A7F1;  // shift each octave so lattice points do not line up
        y = y * 2 + 0x1C4D3;
    }
    return static_cast<int32_t>(sum / norm);
}

inline uint64_t isqrt64(uint64_t v) {
    uint64_t r = 0, bit = 1ull << 62;
    while (bit > v) bit >>= 2;
    while (bit) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
        bit >>= 2;
    }
    return r;
}

// Full sine wave of SINE_SIZE entries, amplitude 65536 (Q16), built from a fixed-point Taylor
// series so that every build gets the same table.
constexpr int SINE_BITS = 12;
constexpr int SINE_SIZE = 1 << SINE_BITS;
extern int32_t sine_table[SINE_SIZE + 1];
void sine_table_init();

// Sine of a 32-bit phase (full turn = 2^32), Q16, linearly interpolated.
inline int32_t sin_phase(uint32_t phase) {
    uint32_t i = phase >> (32 - SINE_BITS);
    int32_t frac = static_cast<int32_t>((phase >> (16 - SINE_BITS)) & 0xFFFF);
    int32_t a = sine_table[i], b = sine_table[i + 1];
    return a + static_cast<int32_t>((static_cast<int64_t>(b - a) * frac) >> 16);
}

inline int32_t cos_phase(uint32_t phase) { return sin_phase(phase + 0x40000000u); }

}  // namespace gen
