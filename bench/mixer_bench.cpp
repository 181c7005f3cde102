// The mixer's cost as a fraction of real time: wall seconds spent per second of sound mixed
// (counter "realtime_fraction"), for the title music's case (one looped 16-bit stereo buffer at
// the device's 44.1 kHz, mixed without resampling) and for a resampled 8-bit mono buffer.
// Relies on: the DirectSound stand-in on the headless audio driver.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "runtime/platform/audio/dsound.h"
#include "runtime/platform/headless/headless.h"

namespace {
void mix_looped(benchmark::State& state, uint16_t channels, uint16_t bits, uint32_t rate) {
    platform_use_backend(&headless_backend);
    DirectSound* ds = nullptr;
    if (direct_sound_create(nullptr, &ds, nullptr) != DS_OK) {
        state.SkipWithError("no device");
        return;
    }
    ds->set_cooperative_level(0x100, DSSCL_PRIORITY);
    uint16_t block = uint16_t(channels * bits / 8);
    WaveFormatEx format = {WAVE_FORMAT_PCM, channels, rate, rate * block, block, bits, 0};
    DsBufferDesc desc = {DSBUFFERDESC_SIZE, 0x180E2, rate * block, 0, &format};  // one second
    DirectSoundBuffer* buffer = nullptr;
    ds->create_sound_buffer(&desc, &buffer, nullptr);
    void *p1, *p2;
    uint32_t n1, n2;
    buffer->lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER);
    auto* bytes = static_cast<uint8_t*>(p1);
    for (uint32_t i = 0; i < n1; i++) bytes[i] = uint8_t(128 + 100 * std::sin(i * 0.01));
    buffer->unlock(p1, n1, p2, n2);
    buffer->play(0, 0, DSBPLAY_LOOPING);

    constexpr int32_t kFrames = 1024;  // one SDL callback
    std::vector<int16_t> out(2 * kFrames);
    for (auto _ : state) {
        direct_sound_mix(ds, out.data(), kFrames);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_fraction"] = benchmark::Counter(
        double(state.iterations()) * kFrames / 44100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    buffer->release();
    ds->release();
}

void BM_MixLoopedStereo16At44100(benchmark::State& state) { mix_looped(state, 2, 16, 44100); }
void BM_MixLoopedMono8At22050(benchmark::State& state) { mix_looped(state, 1, 8, 22050); }
}  // namespace

BENCHMARK(BM_MixLoopedStereo16At44100);
BENCHMARK(BM_MixLoopedMono8At22050);
BENCHMARK_MAIN();
