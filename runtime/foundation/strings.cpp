// String variables, the temporary string builder and the text conversions.
// Relies on: heap.h for the string heap.
#include "runtime/foundation/strings.h"

#include <cstring>

#include "runtime/foundation/heap.h"

StringBuilder str_builder = {nullptr, 0, 0};

namespace {
Heap* string_heap = nullptr;

void copy_units(char16_t* dst, const char16_t* src, size_t count) {
    std::memmove(dst, src, count * sizeof(char16_t));
    dst[count] = 0;
}
}  // namespace

void str_init() {
    if (string_heap) str_release();
    string_heap = heap_create(4096, false);
    str_builder.buffer = static_cast<char16_t*>(heap_alloc(string_heap, 16));
    str_builder.capacity = 16;
    str_builder.length = 0;
}

void str_release() {
    heap_destroy(string_heap);
    string_heap = nullptr;
    str_builder = {nullptr, 0, 0};
}

size_t str_length(const char16_t* s) {
    if (!s) return 0;
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

int32_t str_assign(char16_t** variable, const char16_t* source) {
    if (!source) {
        str_free(*variable);
        *variable = nullptr;
        return 2;
    }
    size_t len = str_length(source);
    size_t bytes = len * 2 + 10;
    char16_t* old = *variable;
    // A source inside the variable's own buffer would move with the resize.
    if (old && source >= old && source < old + heap_block_size(old) / 2) {
        std::u16string keep(source, len);
        return str_assign(variable, keep.c_str());
    }
    auto* buffer = static_cast<char16_t*>(heap_realloc(string_heap, old, bytes));
    if (!buffer) return 0;
    copy_units(buffer, source, len);
    *variable = buffer;
    return static_cast<int32_t>(len * 2 + 2);
}

void str_copy_new(char16_t** variable, const char16_t* source) {
    if (!source) return;
    size_t len = str_length(source);
    auto* buffer = static_cast<char16_t*>(heap_alloc(string_heap, len * 2 + 10));
    if (!buffer) return;
    copy_units(buffer, source, len);
    *variable = buffer;
}

void str_free(char16_t* s) {
    if (s) heap_free(string_heap, s);
}

int str_equal(const char16_t* a, const char16_t* b) {
    static const char16_t empty = 0;
    if (!a) a = &empty;
    if (!b) b = &empty;
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b ? 1 : 0;
}

char16_t* str_reserve(int32_t count, int32_t position) {
    int64_t end = int64_t(position) + int64_t(count) * 2;
    if (end >= int64_t(str_builder.capacity) - 4) {
        int64_t capacity = end + 16384;
        auto* buffer = static_cast<char16_t*>(heap_realloc(string_heap, str_builder.buffer, size_t(capacity) + 10));
        if (!buffer) return nullptr;
        str_builder.buffer = buffer;
        str_builder.capacity = static_cast<int32_t>(capacity);
    }
    str_builder.length = static_cast<int32_t>(end);
    return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(str_builder.buffer) + position);
}

void str_unreserve(int32_t count) { str_builder.length -= count * 2; }

char16_t* str_push(const char16_t* s) {
    size_t len = str_length(s);
    intptr_t inside = str_builder_offset(s);  // a source inside the builder moves with it
    char16_t* dst = str_reserve(static_cast<int32_t>(len), str_builder.length);
    if (!dst) return nullptr;
    if (inside) s = static_cast<const char16_t*>(str_builder_address(inside));
    copy_units(dst, s ? s : dst, len);
    return dst + len;
}

void str_push_int(int64_t value, int32_t position) {
    char16_t scratch[32];
    int n = 0;
    if (value >= INT32_MIN && value <= INT32_MAX) {
        char16_t* dst = str_reserve(32, position);
        if (!dst) return;
        int32_t v = static_cast<int32_t>(value);
        int written = 0;
        if (v < 0) dst[written++] = u'-';
        if (v == INT32_MIN) {
            const char16_t* text = u"2147483648";
            while (text[n]) scratch[n] = text[n], n++;
            for (int i = 0; i < n; i++) dst[written++] = scratch[i];
        } else {
            uint32_t m = static_cast<uint32_t>(v < 0 ? -v : v);
            do {
                scratch[n++] = char16_t(u'0' + m % 10);
                m /= 10;
            } while (m);
            while (n) dst[written++] = scratch[--n];
        }
        str_unreserve(32 - written);
        dst[written] = 0;
        return;
    }
    char16_t* dst = str_reserve(64, position);
    if (!dst) return;
    int written = 0;
    uint64_t m = static_cast<uint64_t>(value);
    if (value < 0) {
        dst[written++] = u'-';
        m = 0 - m;
    }
    do {
        scratch[n++] = char16_t(u'0' + m % 10);
        m /= 10;
    } while (m);
    while (n) dst[written++] = scratch[--n];
    str_unreserve(64 - written);
    dst[written] = 0;
}

int32_t str_assign_temp(char16_t** variable, int32_t position) {
    int32_t bytes = str_builder.length - position;
    if (bytes < 0) bytes = 0;
    auto* buffer = static_cast<char16_t*>(heap_realloc(string_heap, *variable, size_t(bytes) + 10));
    if (buffer) {
        std::memcpy(buffer, reinterpret_cast<char*>(str_builder.buffer) + position, size_t(bytes));
        buffer[bytes / 2] = 0;
        *variable = buffer;
    }
    str_builder.length = position;
    return position;
}

intptr_t str_builder_offset(const void* address) {
    auto* p = static_cast<const char*>(address);
    auto* base = reinterpret_cast<const char*>(str_builder.buffer);
    if (!p || !base || p < base || p > base + str_builder.length) return 0;
    return (p - base) + 1;
}

void* str_builder_address(intptr_t offset_plus_one) {
    return reinterpret_cast<char*>(str_builder.buffer) + (offset_plus_one - 1);
}

int str_latin1_to_utf8(uint8_t* output, size_t* output_size, const uint8_t* input, size_t* input_size) {
    size_t out_left = *output_size, in_left = *input_size, written = 0, consumed = 0;
    while (consumed < in_left) {
        uint8_t b = input[consumed];
        size_t left = out_left - written;
        if (left >= 2) {
            if (b < 0x80) {
                output[written++] = b;
            } else {
                output[written++] = uint8_t(0xC0 | (b >> 6));
                output[written++] = uint8_t(0x80 | (b & 0x3F));
            }
            consumed++;
        } else {
            // Fewer than 2 bytes left: one ASCII byte still fits into a last free byte.
            if (left == 1 && b < 0x80) {
                output[written++] = b;
                consumed++;
            }
            break;
        }
    }
    *output_size = written;
    *input_size = consumed;
    return 0;
}

std::string str_to_utf8(const char16_t* s) {
    std::string out;
    if (!s) return out;
    for (size_t i = 0; s[i]; i++) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // lone surrogate
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string str_from_utf8(const char* s, size_t length) {
    std::u16string out;
    auto* p = reinterpret_cast<const uint8_t*>(s);
    size_t i = 0;
    while (i < length) {
        uint32_t c = p[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= length + (extra ? 0 : 1)) {
            out += u'\uFFFD';
            i++;
            continue;
        }
        if (extra > 0) {
            c &= 0x3F >> extra;
            bool ok = true;
            for (int k = 1; k <= extra; k++) {
                if ((p[i + k] & 0xC0) != 0x80) ok = false;
                c = (c << 6) | (p[i + k] & 0x3F);
            }
            if (!ok) {
                out += u'\uFFFD';
                i++;
                continue;
            }
        }
        i += size_t(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}
