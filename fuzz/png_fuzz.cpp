// Fuzz target for the PNG decoder: image_decode_open over the input, then image_decode_read into a
// buffer sized exactly as the sprite loader sizes it, so that any write past a row or past the
// buffer, and any read past the input, is caught by the sanitizers.
// Inputs of even length have their chunk CRCs recomputed first, so that mutations reach the chunk
// and image data behind the checksums; odd-length inputs are decoded as they are.
// Relies on: image.h, heap.h, zlib (crc32).
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/foundation/heap.h"
#include "runtime/media/image/image.h"

namespace {
bool set_up() {
    if (!runtime_heap) runtime_heap = heap_create(4096, true);
    image_init_decoders();
    image_register_png_decoder();
    return true;
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

void fix_crcs(std::vector<uint8_t>& file) {
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        uint32_t length = be32(&file[pos]);
        if (length > file.size() - pos - 12) break;
        uint32_t crc = uint32_t(crc32(0, &file[pos + 4], 4 + length));
        for (int i = 0; i < 4; i++) file[pos + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
        pos += 12 + size_t(length);
    }
}

// The sprite loader's protocol; pictures whose buffer would pass 64 MB are closed unread.
void decode(const uint8_t* data, size_t size) {
    if (!image_decode_open(data, int32_t(size))) return;
    int64_t width = image_decode_width(), height = image_decode_height();
    int64_t pitch = image_decode_depth() == 32 ? width * 4 : (width * 3 + 3) & ~int64_t(3);
    int64_t bytes = (height + 1) * pitch;
    if (bytes > (int64_t(64) << 20)) {
        image_decode_close();
        return;
    }
    auto* buffer = static_cast<unsigned char*>(heap_alloc(runtime_heap, size_t(bytes)));
    if (!buffer) {
        image_decode_close();
        return;
    }
    image_decode_read(buffer, int32_t(pitch), 0);
    heap_free(runtime_heap, buffer);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = set_up();
    (void)ready;
    if (size > 10000000) return 0;
    if (size % 2 == 0) {
        std::vector<uint8_t> copy(data, data + size);
        fix_crcs(copy);
        decode(copy.data(), copy.size());
    } else {
        decode(data, size);
    }
    return 0;
}
