// The BMP decoder (1, 4 and 8 bits with palettes, 8 bits RLE8, 16 bits 5-5-5 or bit fields, 24
// bits, 32 bits plain or bit fields; bottom-up and top-down rows) into 24-bit top-down rows, and
// the uncompressed 24-bit BMP writer behind encoder id 0.
// Every offset, size and run length read from the file is checked against the data it came in:
// corrupt or truncated data makes the read fail, never reach outside the data or the picture. A
// kind the decoder cannot convert (RLE4, 2 or 64 bits, embedded JPEG or PNG, unknown bit counts or
// compressions, top-down RLE) fails the read, so that nothing undecoded passes for a picture.
// Relies on: image.h, the object heap (row buffer), the file layer (file.h).
#include <cstring>

#include "runtime/media/image/image.h"
#include "runtime/platform/system/file.h"

namespace {
constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr size_t kFieldsForCheck = 26;  // through the height at 22
constexpr size_t kFieldsForRead = 34;   // through the compression at 30
constexpr size_t kMasksAt = kFileHeader + kInfoHeader;  // red, green, blue masks of bit-field pictures
constexpr uint32_t kOs2FullHeader = 64;                 // OS/2 2.x: compressions mean other things

enum BmpCompression : uint32_t { BMP_RGB = 0, BMP_RLE8 = 1, BMP_RLE4 = 2, BMP_BITFIELDS = 3 };

// How the pixel data of a picture is converted.
enum BmpConversion { CONVERT_ROWS, CONVERT_FIELDS, CONVERT_RLE8 };

// The kinds the decoder reads: bit count and compression. Any other pair fails the read.
struct BmpKind {
    uint16_t bits;
    uint32_t compression;
    BmpConversion conversion;
};
constexpr BmpKind kKinds[] = {
    {1, BMP_RGB, CONVERT_ROWS},         {4, BMP_RGB, CONVERT_ROWS},         {8, BMP_RGB, CONVERT_ROWS},
    {8, BMP_RLE8, CONVERT_RLE8},        {16, BMP_RGB, CONVERT_ROWS},        {16, BMP_BITFIELDS, CONVERT_FIELDS},
    {24, BMP_RGB, CONVERT_ROWS},        {32, BMP_RGB, CONVERT_ROWS},        {32, BMP_BITFIELDS, CONVERT_FIELDS},
};

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void put16(unsigned char* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void put32(unsigned char* p, uint32_t v) { put16(p, v & 0xFFFF); put16(p + 2, v >> 16); }

// One colour channel of a bit-field picture: where its bits sit and how many there are.
struct Field {
    uint32_t mask;
    int shift;
    int width;
};

// A mask must be one run of set bits inside the pixel (an empty mask gives 0 for its channel).
bool make_field(uint32_t mask, int bits, Field* f) {
    *f = {mask, 0, 0};
    if (mask == 0) return true;
    if (bits < 32 && (mask >> bits) != 0) return false;
    while (!((mask >> f->shift) & 1)) f->shift++;
    uint32_t run = mask >> f->shift;
    while (f->width < 32 && ((run >> f->width) & 1)) f->width++;
    return f->width == 32 || (run >> f->width) == 0;
}

// The channel's value widened or narrowed to 8 bits (5 bits: times 8, as 5-5-5 pixels are).
uint8_t field_value(const Field& f, uint32_t pixel) {
    if (f.width == 0) return 0;
    uint32_t v = (pixel & f.mask) >> f.shift;
    return uint8_t(f.width >= 8 ? v >> (f.width - 8) : v << (8 - f.width));
}

// What one read needs: the data, the palette as it is present in the file, the output rows.
struct BmpRead {
    const unsigned char* data;
    uint64_t size;
    int32_t width;
    int32_t height;
    bool top_down;  // the file stores its top row first
    unsigned char* buffer;
    int32_t pitch;
    unsigned char palette[256][3];  // blue, green, red
    uint32_t palette_count;         // entries that lie inside the data (at most 256)
    Field fields[3];                // red, green, blue of a bit-field picture

    unsigned char* out_row(int64_t file_row) const {
        return buffer + (top_down ? file_row : int64_t(height) - 1 - file_row) * pitch;
    }
};

void load_palette(BmpRead& r) {
    uint64_t start = kFileHeader + uint64_t(le32(r.data + kFileHeader));
    uint64_t available = start < r.size ? (r.size - start) / 4 : 0;
    r.palette_count = uint32_t(available < 256 ? available : 256);
    for (uint32_t i = 0; i < r.palette_count; i++) std::memcpy(r.palette[i], r.data + start + 4 * i, 3);
}

bool load_fields(BmpRead& r, int bits) {
    if (r.size < kMasksAt + 12) return false;
    for (int c = 0; c < 3; c++)
        if (!make_field(le32(r.data + kMasksAt + 4 * c), bits, &r.fields[c])) return false;
    return true;
}

// Converts the uncompressed rows; bits is 1, 4, 8, 16, 24 or 32; fields: 16 or 32 bits through
// the masks.
int read_rows(BmpRead& r, uint64_t offset, int bits, bool fields) {
    uint64_t used = (uint64_t(r.width) * bits + 7) / 8;
    uint64_t stride = (uint64_t(r.width) * bits + 31) / 32 * 4;
    if (offset > r.size || (r.size - offset) < stride * uint64_t(r.height - 1) + used) return 0;

    for (int32_t k = 0; k < r.height; k++) {
        const unsigned char* in = r.data + offset + stride * uint64_t(k);
        unsigned char* out = r.out_row(k);
        for (int32_t x = 0; x < r.width; x++, out += 3) {
            if (fields) {
                uint32_t v = bits == 16 ? le16(in + 2 * x) : le32(in + 4 * x);
                out[0] = field_value(r.fields[2], v);
                out[1] = field_value(r.fields[1], v);
                out[2] = field_value(r.fields[0], v);
                continue;
            }
            switch (bits) {
            case 1: {
                uint8_t v = (in[x >> 3] >> (7 - (x & 7))) & 1 ? 0xFF : 0x00;
                out[0] = out[1] = out[2] = v;
                break;
            }
            case 4:
            case 8: {
                uint32_t index = bits == 4 ? (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F : in[x];
                if (index >= r.palette_count) return 0;
                std::memcpy(out, r.palette[index], 3);
                break;
            }
            case 16: {
                uint16_t v = le16(in + 2 * x);
                out[0] = uint8_t((v & 0x1F) * 8);
                out[1] = uint8_t(((v >> 5) & 0x1F) * 8);
                out[2] = uint8_t(((v >> 10) & 0x1F) * 8);
                break;
            }
            case 24:
                std::memcpy(out, in + 3 * x, 3);
                break;
            default:  // 32
                std::memcpy(out, in + 4 * x, 3);
                break;
            }
        }
    }
    return 1;
}

// Paints one pixel of an RLE8 picture if (x, file row) lies inside it.
int rle_paint(BmpRead& r, int64_t x, int64_t file_row, uint32_t index) {
    if (index >= r.palette_count) return 0;
    if (x >= 0 && x < r.width && file_row >= 0 && file_row < r.height)
        std::memcpy(r.out_row(file_row) + x * 3, r.palette[index], 3);
    return 1;
}

int read_rle8(BmpRead& r, uint64_t pos) {
    int64_t x = 0;
    int64_t line = 0;  // file rows count from the bottom of the picture
    for (;;) {
        if (pos > r.size || r.size - pos < 2) return 0;  // no end-of-picture marker
        uint32_t count = r.data[pos];
        uint32_t value = r.data[pos + 1];
        pos += 2;
        if (count > 0) {
            // A run never paints past the end of its line.
            for (uint32_t i = 0; i < count; i++)
                if (!rle_paint(r, x + i, line, value)) return 0;
            x += count;
        } else if (value == 0) {
            x = 0;
            line++;
        } else if (value == 1) {
            return 1;
        } else if (value == 2) {
            if (r.size - pos < 2) return 0;
            x += r.data[pos];
            line += r.data[pos + 1];
            pos += 2;
        } else {
            uint64_t padded = (value + 1) & ~1u;
            if (r.size - pos < padded) return 0;
            for (uint32_t i = 0; i < value; i++)
                if (!rle_paint(r, x + i, line, r.data[pos + i])) return 0;
            x += value;
            pos += padded;
        }
    }
}

// A negative height marks a top-down file; its size is the height's magnitude.
int64_t stored_height(const unsigned char* d) { return int32_t(le32(d + 22)); }

int bmp_check(ImageDecodeContext* context) {
    const unsigned char* d = context->data;
    if (context->data_size < int32_t(kFieldsForCheck)) return 0;
    if (le16(d) != 0x4D42 || le16(d + 6) != 0 || le16(d + 8) != 0) return 0;
    // OS/2 headers (12 to 64 bytes) lay their fields out differently: not read.
    uint32_t header = le32(d + kFileHeader);
    if (header < kInfoHeader || header == kOs2FullHeader) return 0;
    int32_t width = int32_t(le32(d + 18));
    int64_t height = stored_height(d);
    if (height < 0) height = -height;
    if (width <= 0 || height <= 0 || width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE) return 0;
    context->width = width;
    context->height = int32_t(height);
    context->depth = 24;  // every bit count is converted to blue, green, red
    context->bmp_file = d;
    return 1;
}

int bmp_read(ImageDecodeContext* context, unsigned char* buffer, int32_t pitch) {
    if (context->data_size < int32_t(kFieldsForRead) || !context->bmp_file) return 0;
    if (int64_t(pitch) < int64_t(context->width) * 3) return 0;
    BmpRead r{};
    r.data = context->bmp_file;
    r.size = uint64_t(context->data_size);
    r.width = context->width;
    r.height = context->height;
    r.top_down = stored_height(r.data) < 0;
    r.buffer = buffer;
    r.pitch = pitch;

    uint64_t pixels = le32(r.data + 10);
    uint16_t bits = le16(r.data + 28);
    uint32_t compression = le32(r.data + 30);
    const BmpKind* kind = nullptr;
    for (const BmpKind& k : kKinds)
        if (k.bits == bits && k.compression == compression) kind = &k;
    if (!kind) return 0;
    switch (kind->conversion) {
    case CONVERT_RLE8:
        if (r.top_down) return 0;  // run-length pictures are bottom-up by definition
        load_palette(r);
        return read_rle8(r, pixels);
    case CONVERT_FIELDS:
        if (!load_fields(r, bits)) return 0;
        return read_rows(r, pixels, bits, true);
    default:
        // 1 bit: black and white, the file's palette is not used.
        if (bits == 4 || bits == 8) load_palette(r);
        return read_rows(r, pixels, bits, false);
    }
}

void bmp_close(ImageDecodeContext*) {
    // Nothing kept: the data belongs to the caller.
}

int write_all(PlatformFile* file, const void* bytes, uint32_t count) {
    uint32_t written = 0;
    return file_write(file, bytes, count, &written) && written == count;
}
}  // namespace

extern const ImageDecoder image_bmp_decoder;
const ImageDecoder image_bmp_decoder = {bmp_check, bmp_read, bmp_close};

int image_write_bmp(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height,
                    int32_t pitch, int32_t depth, int32_t flags) {
    if (!file_name || !pixels || width <= 0 || height <= 0 || (depth != 24 && depth != 32)) return 0;
    uint64_t row = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    uint64_t image_bytes = row * uint64_t(height);
    if (image_bytes > UINT32_MAX - kFileHeader - kInfoHeader) return 0;
    const bool bottom_up = (flags & IMAGE_BOTTOM_UP) != 0;

    unsigned char header[kFileHeader + kInfoHeader] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, uint32_t(kFileHeader + kInfoHeader + image_bytes));
    put32(header + 10, kFileHeader + kInfoHeader);
    put32(header + 14, kInfoHeader);
    put32(header + 18, uint32_t(width));
    put32(header + 22, uint32_t(height));
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, uint32_t(image_bytes));

    PlatformFile* file = file_create(file_name, FILE_ACCESS_READ_WRITE, FILE_CREATE_ALWAYS);
    if (!file) return 0;
    int ok = write_all(file, header, sizeof header);
    if (ok && depth == 24 && uint64_t(pitch) == row && bottom_up) {
        ok = write_all(file, pixels, uint32_t(image_bytes));
    } else if (ok) {
        auto* line = static_cast<unsigned char*>(obj_alloc(size_t(row), nullptr));
        ok = line != nullptr;
        // The file wants the bottom row first.
        for (int32_t i = 0; ok && i < height; i++) {
            const unsigned char* in = pixels + int64_t(bottom_up ? i : height - 1 - i) * pitch;
            unsigned char* out = line;
            for (int32_t x = 0; x < width; x++, out += 3) {
                if (depth == 24) {
                    std::memcpy(out, in + 3 * x, 3);
                } else {
                    const unsigned char* p = in + 4 * x;
                    out[0] = uint8_t(image_over_white(p[0], p[3]));
                    out[1] = uint8_t(image_over_white(p[1], p[3]));
                    out[2] = uint8_t(image_over_white(p[2], p[3]));
                }
            }
            ok = write_all(file, line, uint32_t(row));
        }
        obj_free(line);
    }
    file_close(file);
    return ok;
}
