// UTF-16 string variables, the string heap and the one temporary string builder in which every
// string expression is assembled. A null string is the empty string everywhere. Positions in the
// builder are byte offsets from its buffer, never addresses: the buffer moves when it grows.
// Relies on: heap.h (the string heap).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct StringBuilder {
    char16_t* buffer;   // storage in the string heap
    int32_t capacity;   // usable bytes; the allocation is capacity + 10 after the first growth
    int32_t length;     // end of the text in use, in bytes; always even
};

extern StringBuilder str_builder;

void str_init();
// Drops the string heap and the builder; every string variable becomes invalid. Called last of
// all at the end of a start-up so that a second start-up in the same process starts clean.
void str_release();

size_t str_length(const char16_t* s);  // code units; null is 0
int32_t str_assign(char16_t** variable, const char16_t* source);
void str_copy_new(char16_t** variable, const char16_t* source);
void str_free(char16_t* s);
int str_equal(const char16_t* a, const char16_t* b);

char16_t* str_push(const char16_t* s);
void str_push_int(int64_t value, int32_t position);
int32_t str_assign_temp(char16_t** variable, int32_t position);
char16_t* str_reserve(int32_t count, int32_t position);
void str_unreserve(int32_t count);
intptr_t str_builder_offset(const void* address);
void* str_builder_address(intptr_t offset_plus_one);

// Latin-1 to UTF-8; out_size and in_size enter as the sizes and leave as bytes written/consumed.
int str_latin1_to_utf8(uint8_t* output, size_t* output_size, const uint8_t* input, size_t* input_size);

// Conversions for the platform layer, which talks UTF-8 to the system.
std::string str_to_utf8(const char16_t* s);
std::u16string str_from_utf8(const char* s, size_t length);
inline std::u16string str_from_utf8(const std::string& s) { return str_from_utf8(s.data(), s.size()); }
