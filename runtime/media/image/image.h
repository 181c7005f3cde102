// Image codecs and the image table: the pluggable decoder list (encoded picture in memory -> raw
// pixels) with its one shared decode context, the encoder list (raw pixels -> file) with the
// uncompressed BMP writer as the default, the BMP and PNG decoders, the PNG encoder, the table of
// numbered images and the alpha-blending routine.
// Raw pixel buffers: rows `pitch` bytes apart, top row first unless flag IMAGE_BOTTOM_UP is given;
// 24-bit pixels are bytes blue, green, red; 32-bit pixels blue, green, red, alpha (255 opaque).
// Relies on: registry.h (image table, context from the object heap), the file layer
// (platform/system/file.h), libpng 1.6 with zlib.
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"

// Largest width or height either decoder accepts. It keeps every buffer size a decode implies
// ((height + 1) rows of up to width x 4 bytes) far below 2^31.
constexpr int32_t IMAGE_MAX_SIDE = 16384;

// image_encode flags: the buffer holds the picture bottom-up (its last row is the top).
constexpr int32_t IMAGE_BOTTOM_UP = 2;

// Encoder identifiers: four-character codes read as little-endian numbers. 0 = the BMP writer.
constexpr uint32_t IMAGE_ENCODER_BMP = 0;
constexpr uint32_t IMAGE_ENCODER_PNG = 0x474E50;  // "PNG" and a zero byte

// Both lists hold at most this many entries.
constexpr int32_t IMAGE_LIST_CAPACITY = 30;

struct ImageDecodeContext;

struct ImageDecoder {
    // Non-zero if the context's data is this format; fills width, height and depth.
    int (*check)(ImageDecodeContext* context);
    // Writes the pixels top-down into buffer (rows pitch bytes apart); non-zero on success.
    int (*read)(ImageDecodeContext* context, unsigned char* buffer, int32_t pitch);
    // Releases what check kept.
    void (*close)(ImageDecodeContext* context);
};

struct ImageDecodeContext {
    const ImageDecoder* decoder;
    const unsigned char* data;
    int32_t data_size;
    int32_t width;
    int32_t height;
    int32_t depth;  // 24 or 32: bits per pixel of the buffer read produces
    void* png;       // libpng read structure
    void* png_info;  // libpng info structure
    const unsigned char* cursor;  // next byte handed to libpng
    int32_t colour_type;
    int32_t bit_depth;
    const unsigned char* bmp_file;
};

using ImageWriteOp = int (*)(const char16_t* file_name, const unsigned char* pixels, int32_t width,
                             int32_t height, int32_t pitch, int32_t flags, int32_t option);

struct ImageEncoder {
    uint32_t id;
    ImageWriteOp write24;  // 24-bit pixels
    ImageWriteOp write32;  // 32-bit pixels; null: 32-bit pixels are composited over white first
};

struct ImageRecord {
    intptr_t handle;  // bitmap or icon; non-zero while the image exists
    int16_t width;
    int16_t height;
    uint8_t depth;
};

// The image library's one process-wide record.
struct ImageState {
    ImageDecodeContext* context;  // from the object heap, by image_init_decoders
    const ImageDecoder* decoders[IMAGE_LIST_CAPACITY];
    int32_t decoder_count;
    const ImageEncoder* encoders[IMAGE_LIST_CAPACITY];
    int32_t encoder_count;
    ObjectTable* images;
    void* alpha_blend;  // the system's alpha-blending routine; null when unavailable
};
extern ImageState image_state;

extern const ImageDecoder image_bmp_decoder;
extern const ImageDecoder image_png_decoder;
extern const ImageEncoder image_png_encoder;

// Lists.
void image_init_decoders();
int image_add_decoder(const ImageDecoder* decoder);  // 0 when the list is full
int image_add_encoder(const ImageEncoder* encoder);  // 0 when the list is full
void image_register_bmp_decoder();
void image_register_png_decoder();  // once only
void image_register_png_encoder();  // once only

// Decoding, one at a time through the shared context. data_size: the bytes readable at data.
int image_decode_open(const void* data, int32_t data_size);
int32_t image_decode_width();
int32_t image_decode_height();
int32_t image_decode_depth();
int image_decode_read(unsigned char* buffer, int32_t pitch, int32_t flags);  // closes the decode
void image_decode_close();

// Writes width x height pixels of depth 24 or 32 to a file through the encoder with that id
// (IMAGE_ENCODER_BMP: the BMP writer). flags: IMAGE_BOTTOM_UP or 0. option: handed to the encoder.
int image_encode(const char16_t* file_name, const unsigned char* pixels, uint32_t encoder_id, int32_t width,
                 int32_t height, int32_t pitch, int32_t depth, int32_t flags, int32_t option);

// Writes width x height 24-bit pixels (flags IMAGE_BOTTOM_UP or 0) to a PNG file with the same
// bytes as the PNG encoder writes, but under a temporary name beside file_name that is renamed to
// it once complete; on any failure no file and no temporary file remain. Uses only libpng, zlib
// and the file layer, none of the image library's lists, context or table, nor the object heap:
// safe on a worker thread while the game thread goes on. 1 on success.
int image_png_write_staged(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height,
                           int32_t pitch, int32_t flags);
// The same staged encode a slice at a time, so that a program without threads can spread it over
// frames: begin writes the header (nullptr on failure, nothing left behind); each step compresses
// up to `rows` more rows and, after the last one, puts the file in place; it returns the rows
// left (> 0), 0 once the file is in place, or -1 after a failure (no file, no temporary file).
// The bytes equal image_png_write_staged's. file_name and pixels must stay valid until the end;
// free discards an unfinished file.
struct ImagePngStaged;
ImagePngStaged* image_png_staged_begin(const char16_t* file_name, const unsigned char* pixels, int32_t width,
                                       int32_t height, int32_t pitch, int32_t flags);
int32_t image_png_staged_step(ImagePngStaged* writer, int32_t rows);
void image_png_staged_free(ImagePngStaged* writer);

// The BMP writer behind IMAGE_ENCODER_BMP (depth 24 or 32).
int image_write_bmp(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height,
                    int32_t pitch, int32_t depth, int32_t flags);

// Composites one channel value c with alpha a over white.
inline int image_over_white(int c, int a) { return (a * (c - 255) + 65025) / 255; }

// The image table.
void image_init();
int image_free(intptr_t number);
void image_free_all();

// Alpha blending.
void image_init_blending();
void image_shutdown_blending();  // last release of the library: the record returns to its start
