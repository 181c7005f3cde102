// The title music composer: a 36-second loop for four synthesized voices with reverb, rendered
// with integer arithmetic.
#pragma once
#include <cstdint>
#include <vector>

namespace gen {

constexpr int MUSIC_RATE = 44100;
constexpr int MUSIC_FRAMES = MUSIC_RATE * 36;  // 1,587,600 stereo frames = 6,350,400 bytes

// Interleaved left/right 16-bit samples, MUSIC_FRAMES * 2 of them. The piece loops: its last
// frame runs smoothly into its first. Peaks stay below -1 dBFS.
std::vector<int16_t> compose_title_music();

}  // namespace gen
