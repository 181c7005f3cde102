// The PNG decoder (from memory, into 24-bit or 32-bit blue-green-red(-alpha) rows) and the PNG
// encoder (24-bit RGB and 32-bit RGBA files, unfiltered, compression level 9).
// libpng reports errors by a long jump to the point set with setjmp; each function that sets one
// does nothing else, and the work runs in a callee, so no local of the setting frame is changed
// between the setjmp and a jump back.
// image_png_write_staged and the sliced staged encode keep to libpng, zlib and the file layer, so
// they may run on any thread.
// Relies on: image.h, libpng 1.6 (structures created for the library's own version string), the
// file layer's C stream (file_fopen) and its staged files.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

#include "runtime/media/image/image.h"
#include "runtime/platform/system/file.h"

namespace {
constexpr int kSignatureBytes = 8;
// The least bound on a chunk's buffer, also for the small pictures' ancillary chunks that libpng
// decompresses (text, colour profiles).
constexpr png_alloc_size_t kMinChunkLimit = 64 * 1024;
// Ancillary chunks that no transformation of the decoder reads, as libpng's list of 5-byte names.
const png_byte kUnusedChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0"
                                 "sPLT\0sRGB\0sTER\0tEXt\0tIME\0zTXt";

png_structp png_of(ImageDecodeContext* context) { return static_cast<png_structp>(context->png); }
png_infop info_of(ImageDecodeContext* context) { return static_cast<png_infop>(context->png_info); }

// libpng's read function: hands out the next bytes of the data and refuses to pass its end.
void read_from_memory(png_structp png, png_bytep out, size_t length) {
    auto* context = static_cast<ImageDecodeContext*>(png_get_io_ptr(png));
    size_t left = size_t(context->data + context->data_size - context->cursor);
    if (length > left) png_error(png, "read past the end of the data");
    std::memcpy(out, context->cursor, length);
    context->cursor += length;
}

void destroy_read(ImageDecodeContext* context) {
    png_structp png = png_of(context);
    png_infop info = info_of(context);
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    context->png = nullptr;
    context->png_info = nullptr;
}

// check after the error return point is set: header and size.
int check_header(ImageDecodeContext* context) {
    png_structp png = png_of(context);
    context->cursor = context->data;  // libpng reads the signature again
    png_set_read_fn(png, context, read_from_memory);
    // libpng refuses larger pictures while reading the header.
    png_set_user_limits(png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    // The ancillary chunks the decoder never uses are skipped unread: libpng would otherwise
    // allocate and clear a buffer of the length a chunk claims (up to 2 GB) before it finds the
    // data short. No other chunk is longer than the data it stands in.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, int(sizeof kUnusedChunks / 5));
    png_set_chunk_malloc_max(png, std::max<png_alloc_size_t>(context->data_size, kMinChunkLimit));
    png_infop info = png_create_info_struct(png);
    context->png_info = info;
    if (!info) return 0;
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, nullptr, nullptr, nullptr);
    if (width == 0 || height == 0 || width > png_uint_32(IMAGE_MAX_SIDE) || height > png_uint_32(IMAGE_MAX_SIDE))
        return 0;
    context->width = int32_t(width);
    context->height = int32_t(height);
    context->bit_depth = bit_depth;
    context->colour_type = colour_type;
    // Grey + alpha (4) and RGBA (6) keep their alpha; grey, RGB and palette pictures become 24-bit.
    context->depth = (colour_type & PNG_COLOR_MASK_ALPHA) ? 32 : 24;
    return 1;
}

int png_check(ImageDecodeContext* context) {
    if (context->data_size < kSignatureBytes || png_sig_cmp(context->data, 0, kSignatureBytes)) return 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return 0;
    context->png = png;
    context->png_info = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        destroy_read(context);
        return 0;
    }
    if (check_header(context)) return 1;
    destroy_read(context);
    return 0;
}

// read after the error return point is set.
int read_rows(ImageDecodeContext* context, unsigned char* buffer, int32_t pitch) {
    png_structp png = png_of(context);
    png_infop info = info_of(context);
    switch (context->colour_type) {
    case PNG_COLOR_TYPE_PALETTE:
        // A palette picture always becomes 24-bit: its transparency is dropped.
        png_set_palette_to_rgb(png);
        png_set_strip_alpha(png);
        break;
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        break;
    default:
        break;
    }
    if (context->bit_depth == 16) png_set_strip_16(png);
    png_set_bgr(png);
    int passes = png_set_interlace_handling(png);

    // The transformed row must fit the caller's row.
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) > size_t(pitch)) return 0;

    // Row by row into the caller's rows; an interlaced picture is completed pass by pass.
    for (int pass = 0; pass < passes; pass++) {
        for (int32_t y = 0; y < context->height; y++) {
            png_bytep row = buffer + int64_t(y) * pitch;
            png_read_rows(png, &row, nullptr, 1);
        }
    }
    return 1;
}

int png_read(ImageDecodeContext* context, unsigned char* buffer, int32_t pitch) {
    png_structp png = png_of(context);
    if (!png || !context->png_info || pitch <= 0) return 0;
    if (setjmp(png_jmpbuf(png))) return 0;  // the close that follows releases the structures
    return read_rows(context, buffer, pitch);
}

void png_close(ImageDecodeContext* context) { destroy_read(context); }

// ---- encoder ------------------------------------------------------------------------------------

// Bytes on their way from libpng to a file of the file layer, written in blocks of this size.
constexpr size_t kStagedBlock = 64 * 1024;

struct StagedOutput {
    PlatformFile* file;
    unsigned char block[kStagedBlock];
    size_t used;
};

// A full block goes to the file; a short write is a libpng error (the encode ends there).
void staged_drain(png_structp png, StagedOutput* out) {
    uint32_t written = 0;
    if (out->used && !file_write(out->file, out->block, uint32_t(out->used), &written)) png_error(png, "write failed");
    out->used = 0;
}

void staged_write(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<StagedOutput*>(png_get_io_ptr(png));
    while (length) {
        size_t n = std::min(length, kStagedBlock - out->used);
        std::memcpy(out->block + out->used, data, n);
        out->used += n;
        data += n;
        length -= n;
        if (out->used == kStagedBlock) staged_drain(png, out);
    }
}

void staged_flush(png_structp png) { staged_drain(png, static_cast<StagedOutput*>(png_get_io_ptr(png))); }

struct PngWrite {
    png_structp png;
    png_infop info;
    FILE* file;             // the C stream written through libpng's own stdio output, or
    StagedOutput* staged;   // the file layer's file, through the block above
    const unsigned char* pixels;
    int32_t width;
    int32_t height;
    int32_t pitch;
    int32_t flags;
    int colour_type;
    int32_t rows_done;
};

// The header: output, compression settings and the chunks before the pixels.
int write_head(PngWrite* job) {
    png_structp png = job->png;
    if (job->staged) png_set_write_fn(png, job->staged, staged_write, staged_flush);
    else png_init_io(png, job->file);
    job->info = png_create_info_struct(png);
    if (!job->info) return 0;
    png_set_filter(png, 0, PNG_FILTER_NONE);  // rows are stored unfiltered
    png_set_compression_level(png, 9);
    png_set_IHDR(png, job->info, png_uint_32(job->width), png_uint_32(job->height), 8, job->colour_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_bgr(png);  // the pixels are blue, green, red(, alpha) in memory
    png_write_info(png, job->info);
    return 1;
}

// Up to `rows` more rows; after the last one the end of the file. The bytes do not depend on how
// the rows are split among calls: libpng hands zlib the same rows in the same order.
int write_rows(PngWrite* job, int32_t rows) {
    png_structp png = job->png;
    const bool bottom_up = (job->flags & IMAGE_BOTTOM_UP) != 0;
    for (; rows > 0 && job->rows_done < job->height; rows--, job->rows_done++) {
        int32_t y = bottom_up ? job->height - 1 - job->rows_done : job->rows_done;
        png_write_row(png, job->pixels + int64_t(y) * job->pitch);
    }
    if (job->rows_done < job->height) return 1;
    png_write_end(png, job->info);
    if (job->staged) staged_drain(png, job->staged);
    return 1;
}

int write_all(PngWrite* job) { return write_head(job) && write_rows(job, job->height); }

int head_guarded(PngWrite* job) {
    if (setjmp(png_jmpbuf(job->png))) return 0;
    return write_head(job);
}

int rows_guarded(PngWrite* job, int32_t rows) {
    if (setjmp(png_jmpbuf(job->png))) return 0;
    return write_rows(job, rows);
}

int write_guarded(PngWrite* job) {
    if (setjmp(png_jmpbuf(job->png))) return 0;
    return write_all(job);
}

int png_write(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height, int32_t pitch,
              int32_t flags, int colour_type) {
    if (!file_name || !pixels || width <= 0 || height <= 0) return 0;
    FILE* file = file_fopen(file_name, "wb");
    if (!file) return 0;
    PngWrite job{};
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!job.png) {
        std::fclose(file);
        return 0;
    }
    job.file = file;
    job.pixels = pixels;
    job.width = width;
    job.height = height;
    job.pitch = pitch;
    job.flags = flags;
    job.colour_type = colour_type;
    int ok = write_guarded(&job);
    png_destroy_write_struct(&job.png, &job.info);
    if (std::fclose(file) != 0) ok = 0;  // the last bytes may fail to reach the disk here
    return ok;
}

int png_write24(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height, int32_t pitch,
                int32_t flags, int32_t) {
    return png_write(file_name, pixels, width, height, pitch, flags, PNG_COLOR_TYPE_RGB);
}

int png_write32(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height, int32_t pitch,
                int32_t flags, int32_t) {
    return png_write(file_name, pixels, width, height, pitch, flags, PNG_COLOR_TYPE_RGB_ALPHA);
}
}  // namespace

// An encode into a staged file of the file layer, a slice of rows at a time; nothing global is
// touched.
struct ImagePngStaged {
    StagedOutput out;
    PngWrite job;
    const char16_t* file_name;
    int state;  // 1 while rows remain, 0 once the file is in place, -1 after a failure
};

ImagePngStaged* image_png_staged_begin(const char16_t* file_name, const unsigned char* pixels, int32_t width,
                                       int32_t height, int32_t pitch, int32_t flags) {
    if (!file_name || !pixels || width <= 0 || height <= 0) return nullptr;
    auto* w = new (std::nothrow) ImagePngStaged;
    if (!w) return nullptr;
    w->out.used = 0;
    w->out.file = file_create_staged(file_name);
    if (!w->out.file) {
        delete w;
        return nullptr;
    }
    w->job = PngWrite{};
    w->file_name = file_name;
    w->state = 1;
    w->job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (w->job.png) {
        w->job.staged = &w->out;
        w->job.pixels = pixels;
        w->job.width = width;
        w->job.height = height;
        w->job.pitch = pitch;
        w->job.flags = flags;
        w->job.colour_type = PNG_COLOR_TYPE_RGB;
        if (head_guarded(&w->job)) return w;
    }
    image_png_staged_free(w);
    return nullptr;
}

int32_t image_png_staged_step(ImagePngStaged* w, int32_t rows) {
    if (!w || w->state != 1) return w ? w->state : -1;
    int ok = rows_guarded(&w->job, rows);
    if (ok && w->job.rows_done < w->job.height) return w->job.height - w->job.rows_done;
    png_destroy_write_struct(&w->job.png, &w->job.info);
    if (ok) ok = file_commit_staged(w->out.file, w->file_name);
    else file_discard_staged(w->out.file);
    w->state = ok ? 0 : -1;
    return w->state;
}

void image_png_staged_free(ImagePngStaged* w) {
    if (!w) return;
    if (w->state == 1) {
        png_destroy_write_struct(&w->job.png, &w->job.info);
        file_discard_staged(w->out.file);
    }
    delete w;
}

int image_png_write_staged(const char16_t* file_name, const unsigned char* pixels, int32_t width, int32_t height,
                           int32_t pitch, int32_t flags) {
    ImagePngStaged* w = image_png_staged_begin(file_name, pixels, width, height, pitch, flags);
    if (!w) return 0;
    int ok = image_png_staged_step(w, height) == 0;
    image_png_staged_free(w);
    return ok;
}

extern const ImageDecoder image_png_decoder;
const ImageDecoder image_png_decoder = {png_check, png_read, png_close};
extern const ImageEncoder image_png_encoder;
const ImageEncoder image_png_encoder = {IMAGE_ENCODER_PNG, png_write24, png_write32};
