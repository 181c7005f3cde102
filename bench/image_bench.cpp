// PNG codec timings at the title picture's size: decoding a 1280 x 1024 RGBA PNG from memory into
// 32-bit rows, and writing a 1280 x 1024 screenshot (24-bit, bottom-up, unfiltered, level 9).
// Relies on: image.h, heap.h, the file layer (the screenshot goes to the temporary folder).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/foundation/heap.h"
#include "runtime/media/image/image.h"

namespace {
constexpr int32_t kWidth = 1280, kHeight = 1024;

// A picture with smooth gradients and some fine detail, bytes blue, green, red(, alpha).
std::vector<unsigned char> picture(int32_t bytes_per_pixel, int32_t pitch) {
    std::vector<unsigned char> pixels(size_t(pitch) * kHeight);
    uint32_t noise = 12345;
    for (int32_t y = 0; y < kHeight; y++)
        for (int32_t x = 0; x < kWidth; x++) {
            noise = noise * 1103515245u + 12345u;
            unsigned char* p = &pixels[size_t(y) * pitch + size_t(x) * bytes_per_pixel];
            p[0] = uint8_t(x / 5 + (noise >> 29));
            p[1] = uint8_t(y / 4);
            p[2] = uint8_t((x + y) / 9);
            if (bytes_per_pixel == 4) p[3] = 255;
        }
    return pixels;
}

struct Library {
    Library() {
        runtime_heap = heap_create(4096, true);
        image_init_decoders();
        image_register_png_decoder();
        image_register_png_encoder();
    }
    ~Library() {
        image_shutdown_blending();
        heap_destroy(runtime_heap);
        runtime_heap = nullptr;
    }
};

std::u16string temp_name(const char* name) {
    std::string path = (std::filesystem::temp_directory_path() / name).string();
    return std::u16string(path.begin(), path.end());
}

void BM_DecodeTitleSizedPng(benchmark::State& state) {
    Library library;
    std::vector<unsigned char> rgba = picture(4, kWidth * 4);
    std::u16string name = temp_name("tarnwood_bench_title.png");
    image_encode(name.c_str(), rgba.data(), IMAGE_ENCODER_PNG, kWidth, kHeight, kWidth * 4, 32, 0, 7);
    std::ifstream in(std::filesystem::temp_directory_path() / "tarnwood_bench_title.png", std::ios::binary);
    std::vector<unsigned char> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<unsigned char> buffer(size_t(kHeight + 1) * kWidth * 4);
    for (auto _ : state) {
        if (!image_decode_open(png.data(), int32_t(png.size())) || !image_decode_read(buffer.data(), kWidth * 4, 0))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["file_bytes"] = double(png.size());
    std::filesystem::remove(std::filesystem::temp_directory_path() / "tarnwood_bench_title.png");
}
BENCHMARK(BM_DecodeTitleSizedPng)->Unit(benchmark::kMillisecond);

void BM_WriteScreenshotPng(benchmark::State& state) {
    Library library;
    const int32_t pitch = (kWidth * 3 + 3) & ~3;
    std::vector<unsigned char> rgb = picture(3, pitch);
    std::u16string name = temp_name("tarnwood_bench_shot.png");
    for (auto _ : state)
        if (!image_encode(name.c_str(), rgb.data(), IMAGE_ENCODER_PNG, kWidth, kHeight, pitch, 24, IMAGE_BOTTOM_UP, 7))
            state.SkipWithError("encode failed");
    std::filesystem::remove(std::filesystem::temp_directory_path() / "tarnwood_bench_shot.png");
}
BENCHMARK(BM_WriteScreenshotPng)->Unit(benchmark::kMillisecond);
}  // namespace
BENCHMARK_MAIN();
