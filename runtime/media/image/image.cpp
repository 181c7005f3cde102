// The decoder and encoder lists, the shared decode context, image_encode's dispatch (with the
// 32-to-24-bit composite over white), the image table and the alpha-blending routine.
// Relies on: registry.h and the object heap, the decoders and writers of image_bmp.cpp and
// image_png.cpp.
#include "runtime/media/image/image.h"

#include <cstring>

#include "runtime/foundation/heap.h"

ImageState image_state;

namespace {
bool list_holds(const void* const* list, int32_t count, const void* entry) {
    for (int32_t i = 0; i < count; i++)
        if (list[i] == entry) return true;
    return false;
}

const ImageEncoder* find_encoder(uint32_t id) {
    for (int32_t i = 0; i < image_state.encoder_count; i++)
        if (image_state.encoders[i]->id == id) return image_state.encoders[i];
    return nullptr;
}

int32_t row_bytes_24(int32_t width) { return int32_t((int64_t(width) * 3 + 3) & ~int64_t(3)); }
}  // namespace

// ---- lists ------------------------------------------------------------------------------------

void image_init_decoders() {
    image_state.context = static_cast<ImageDecodeContext*>(obj_alloc(sizeof(ImageDecodeContext), nullptr));
    image_state.decoder_count = 0;
}

int image_add_decoder(const ImageDecoder* decoder) {
    if (!decoder || image_state.decoder_count >= IMAGE_LIST_CAPACITY) return 0;
    image_state.decoders[image_state.decoder_count++] = decoder;
    return 1;
}

int image_add_encoder(const ImageEncoder* encoder) {
    if (!encoder || image_state.encoder_count >= IMAGE_LIST_CAPACITY) return 0;
    image_state.encoders[image_state.encoder_count++] = encoder;
    return 1;
}

void image_register_bmp_decoder() { image_add_decoder(&image_bmp_decoder); }

void image_register_png_decoder() {
    const void* const* list = reinterpret_cast<const void* const*>(image_state.decoders);
    if (!list_holds(list, image_state.decoder_count, &image_png_decoder)) image_add_decoder(&image_png_decoder);
}

void image_register_png_encoder() {
    const void* const* list = reinterpret_cast<const void* const*>(image_state.encoders);
    if (!list_holds(list, image_state.encoder_count, &image_png_encoder)) image_add_encoder(&image_png_encoder);
}

// ---- decoding -----------------------------------------------------------------------------------

int image_decode_open(const void* data, int32_t data_size) {
    ImageDecodeContext* context = image_state.context;
    if (!context) return 0;
    // A decode left open (neither read nor closed) releases what its decoder kept first.
    image_decode_close();
    std::memset(context, 0, sizeof *context);
    if (!data || data_size <= 0) return 0;
    context->data = static_cast<const unsigned char*>(data);
    context->data_size = data_size;
    for (int32_t i = 0; i < image_state.decoder_count; i++) {
        const ImageDecoder* decoder = image_state.decoders[i];
        if (decoder->check(context)) {
            context->decoder = decoder;
            return 1;
        }
    }
    return 0;
}

int32_t image_decode_width() { return image_state.context ? image_state.context->width : 0; }
int32_t image_decode_height() { return image_state.context ? image_state.context->height : 0; }
int32_t image_decode_depth() { return image_state.context ? image_state.context->depth : 0; }

int image_decode_read(unsigned char* buffer, int32_t pitch, int32_t) {
    ImageDecodeContext* context = image_state.context;
    if (!context || !context->decoder) return 0;
    int result = buffer ? context->decoder->read(context, buffer, pitch) : 0;
    image_decode_close();
    return result;
}

void image_decode_close() {
    ImageDecodeContext* context = image_state.context;
    if (!context || !context->decoder) return;
    context->decoder->close(context);
    // A second close (or a read after the close) finds no decoder and does nothing.
    context->decoder = nullptr;
}

// ---- encoding -----------------------------------------------------------------------------------

int image_encode(const char16_t* file_name, const unsigned char* pixels, uint32_t encoder_id, int32_t width,
                 int32_t height, int32_t pitch, int32_t depth, int32_t flags, int32_t option) {
    if (!file_name || !pixels || width <= 0 || height <= 0) return 0;
    if (encoder_id == IMAGE_ENCODER_BMP)
        return depth >= 24 ? image_write_bmp(file_name, pixels, width, height, pitch, depth, flags) : 0;

    const ImageEncoder* encoder = find_encoder(encoder_id);
    if (!encoder) return 0;
    if (depth == 24) return encoder->write24(file_name, pixels, width, height, pitch, flags, option);
    if (depth != 32) return 0;
    if (encoder->write32) return encoder->write32(file_name, pixels, width, height, pitch, flags, option);

    // No 32-bit writer: composite over white into a 24-bit copy, rows in the same order.
    int32_t row = row_bytes_24(width);
    uint64_t bytes = uint64_t(row) * uint64_t(height);
    if (bytes > uint64_t(INT32_MAX)) return 0;
    auto* copy = static_cast<unsigned char*>(obj_alloc(size_t(bytes), nullptr));
    if (!copy) return 0;
    for (int32_t y = 0; y < height; y++) {
        const unsigned char* in = pixels + int64_t(y) * pitch;
        unsigned char* out = copy + int64_t(y) * row;
        for (int32_t x = 0; x < width; x++, in += 4, out += 3) {
            out[0] = uint8_t(image_over_white(in[0], in[3]));
            out[1] = uint8_t(image_over_white(in[1], in[3]));
            out[2] = uint8_t(image_over_white(in[2], in[3]));
        }
    }
    int result = encoder->write24(file_name, copy, width, height, row, flags, option);
    obj_free(copy);
    return result;
}

// ---- the image table ------------------------------------------------------------------------------

void image_init() {
    image_state.images = obj_table_create(sizeof(ImageRecord), 16, image_free);
}

int image_free(intptr_t number) {
    if (number == AUTO_NUMBER) return 0;
    auto* record = static_cast<ImageRecord*>(obj_find(image_state.images, number));
    if (!record) return 0;
    // No operation of this system creates bitmaps or icons, so no handle reaches this table from
    // the GDI layer; the slot is simply given back.
    obj_release(image_state.images, number);
    return 1;
}

void image_free_all() { obj_free_all(image_state.images); }

// ---- alpha blending -------------------------------------------------------------------------------

void image_init_blending() {
    // The system library that carries the alpha-blending routine does not exist on this platform:
    // blending stays unavailable, as it does on a system that lacks the library.
    image_state.alpha_blend = nullptr;
}

void image_shutdown_blending() {
    image_state.alpha_blend = nullptr;
    image_decode_close();
    // The last release of the image library in the shutdown order. The context and the table
    // belong to the object heap, which is destroyed next; the record returns to its initial state
    // so that a later start-up in this process begins with empty lists.
    image_state = ImageState{};
}
