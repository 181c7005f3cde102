// Fuzz target for the BMP decoder: image_decode_open over the input, then image_decode_read into a
// buffer sized exactly as the sprite loader sizes it, so that any write past a row or past the
// buffer, and any read past the input, is caught by the sanitizers.
// Relies on: image.h, heap.h.
#include <cstdint>

#include "runtime/foundation/heap.h"
#include "runtime/media/image/image.h"

namespace {
bool set_up() {
    if (!runtime_heap) runtime_heap = heap_create(4096, true);
    image_init_decoders();
    image_register_bmp_decoder();
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = set_up();
    (void)ready;
    if (size > 10000000) return 0;
    if (!image_decode_open(data, int32_t(size))) return 0;
    int64_t width = image_decode_width(), height = image_decode_height();
    int64_t pitch = (width * 3 + 3) & ~int64_t(3);  // the BMP decoder always gives 24 bits
    int64_t bytes = (height + 1) * pitch;
    // Pictures whose buffer would pass 64 MB are closed unread.
    if (bytes > (int64_t(64) << 20)) {
        image_decode_close();
        return 0;
    }
    auto* buffer = static_cast<unsigned char*>(heap_alloc(runtime_heap, size_t(bytes)));
    if (!buffer) {
        image_decode_close();
        return 0;
    }
    image_decode_read(buffer, int32_t(pitch), 0);
    heap_free(runtime_heap, buffer);
    return 0;
}
