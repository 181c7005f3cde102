// The media files carried inside the program: the title picture (PNG, 1280 x 1024, 8-bit RGBA,
// not interlaced) and the title music (RIFF/WAVE, 16-bit PCM stereo, 44100 Hz, 36 seconds),
// complete files as constant data. The build generates them (assets/generator) and embeds them;
// the program decodes them from memory.
#pragma once
#include <cstddef>

extern "C" {
extern const unsigned char asset_title_picture[];
extern const size_t asset_title_picture_size;
extern const unsigned char asset_title_music[];
extern const size_t asset_title_music_size;
}
