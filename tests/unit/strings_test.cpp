// String variables, the temporary builder and Latin-1 conversion.
#include <cstring>

#include "runtime/foundation/strings.h"
#include "support/runtime_fixture.h"

using StringsTest = RuntimeTest;

namespace {
std::string int_text(int64_t value) {
    int32_t start = str_builder.length;
    str_push_int(value, start);
    char16_t* out = nullptr;
    str_assign_temp(&out, start);
    std::string text = str_to_utf8(out);
    str_free(out);
    return text;
}
}  // namespace

TEST_F(StringsTest, EqualityTreatsNullAsEmpty) {
    EXPECT_EQ(str_equal(nullptr, nullptr), 1);
    EXPECT_EQ(str_equal(nullptr, u""), 1);
    EXPECT_EQ(str_equal(u"", nullptr), 1);
    EXPECT_EQ(str_equal(u"abc", u"abc"), 1);
    EXPECT_EQ(str_equal(u"abc", u"abcd"), 0);
    EXPECT_EQ(str_equal(u"abcd", u"abc"), 0);
    EXPECT_EQ(str_equal(u"abc", nullptr), 0);
}

TEST_F(StringsTest, AssignEmptyKeepsBufferAndNullFreesIt) {
    char16_t* v = nullptr;
    EXPECT_EQ(str_assign(&v, u""), 2);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[0], 0);
    EXPECT_GE(heap_block_size(v), 10u);
    EXPECT_EQ(str_assign(&v, u"Tarnwood"), 18);
    EXPECT_EQ(str_to_utf8(v), "Tarnwood");
    EXPECT_EQ(str_assign(&v, nullptr), 2);
    EXPECT_EQ(v, nullptr);
}

TEST_F(StringsTest, AssignFromItsOwnTail) {
    char16_t* v = nullptr;
    str_assign(&v, u"Hello World");
    str_assign(&v, v + 6);
    EXPECT_EQ(str_to_utf8(v), "World");
    str_free(v);
}

TEST_F(StringsTest, CopyNewLeavesOldBufferAlone) {
    char16_t* original = nullptr;
    str_assign(&original, u"one");
    char16_t* v = original;
    str_copy_new(&v, u"two");
    EXPECT_NE(v, original);
    EXPECT_EQ(str_to_utf8(original), "one");
    EXPECT_EQ(str_to_utf8(v), "two");
    str_copy_new(&v, nullptr);
    EXPECT_EQ(str_to_utf8(v), "two");
    str_free(v);
    str_free(original);
}

TEST_F(StringsTest, IntegerTextAtTheLimits) {
    EXPECT_EQ(int_text(0), "0");
    EXPECT_EQ(int_text(-1), "-1");
    EXPECT_EQ(int_text(7), "7");
    EXPECT_EQ(int_text(2147483647), "2147483647");
    EXPECT_EQ(int_text(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(int_text(2147483648LL), "2147483648");
    EXPECT_EQ(int_text(-2147483649LL), "-2147483649");
    EXPECT_EQ(int_text(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(int_text(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(str_builder.length, 0);
}

TEST_F(StringsTest, PushIntLeavesLengthBehindLastDigit) {
    str_push(u"ab");
    str_push_int(-42, str_builder.length);
    EXPECT_EQ(str_builder.length, 10);
    EXPECT_EQ(builder_text(0), "ab-42");
}

TEST_F(StringsTest, BuilderGrowthKeepsTextAndPositions) {
    EXPECT_EQ(str_builder.capacity, 16);
    int32_t start = str_builder.length;
    str_push(u"abcdef");  // 12 bytes: reaches capacity - 4 and grows
    EXPECT_EQ(str_builder.capacity, 12 + 16384);
    std::u16string big(9000, u'x');
    int32_t inner = str_builder.length;
    str_push(big.c_str());  // past the first capacity: grows again
    EXPECT_EQ(str_builder.capacity, inner + 18000 + 16384);
    str_push_int(12345, str_builder.length);
    char16_t* out = nullptr;
    str_assign_temp(&out, start);
    EXPECT_EQ(str_builder.length, start);
    std::string text = str_to_utf8(out);
    EXPECT_EQ(text.size(), 6u + 9000u + 5u);
    EXPECT_EQ(text.substr(0, 6), "abcdef");
    EXPECT_EQ(text.substr(6 + 9000), "12345");
    str_free(out);
}

TEST_F(StringsTest, PushReturnsTerminatorAndNullStillTerminates) {
    char16_t* end = str_push(u"xy");
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(str_builder.length, 4);
    *end = u'!';  // the null push writes its own terminator
    end = str_push(nullptr);
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(str_builder.length, 4);
}

TEST_F(StringsTest, PushOfTextInsideTheBuilderSurvivesGrowth) {
    std::u16string chunk(7, u'q');
    str_push(chunk.c_str());
    str_push(str_builder.buffer);  // its own text while growing
    EXPECT_EQ(builder_text(0), std::string(14, 'q'));
}

TEST_F(StringsTest, BuilderOffsetsAreRelativeAndOneBased) {
    str_push(u"abcd");
    EXPECT_EQ(str_builder_offset(str_builder.buffer), 1);
    EXPECT_EQ(str_builder_offset(str_builder.buffer + 2), 5);
    EXPECT_EQ(str_builder_offset(u"elsewhere"), 0);
    EXPECT_EQ(str_builder_address(5), str_builder.buffer + 2);
}

TEST_F(StringsTest, ReserveAndUnreserve) {
    char16_t* p = str_reserve(10, 0);
    EXPECT_EQ(p, str_builder.buffer);
    EXPECT_EQ(str_builder.length, 20);
    str_unreserve(4);
    EXPECT_EQ(str_builder.length, 12);
}

TEST_F(StringsTest, Latin1ToUtf8) {
    const uint8_t in[] = {'a', 0xE4, 'b', 0xFF};
    uint8_t out[32];
    size_t out_size = sizeof out, in_size = sizeof in;
    EXPECT_EQ(str_latin1_to_utf8(out, &out_size, in, &in_size), 0);
    ASSERT_EQ(out_size, 6u);
    EXPECT_EQ(in_size, 4u);
    const uint8_t expected[] = {'a', 0xC3, 0xA4, 'b', 0xC3, 0xBF};
    EXPECT_EQ(std::memcmp(out, expected, 6), 0);
}

TEST_F(StringsTest, Latin1StopsWhenOutputRunsShort) {
    const uint8_t in[] = {'a', 'b', 0xE4, 'c'};
    uint8_t out[3];
    size_t out_size = 3, in_size = 4;
    str_latin1_to_utf8(out, &out_size, in, &in_size);
    // a and b fit; E4 needs two bytes with one left: stop.
    EXPECT_EQ(out_size, 2u);
    EXPECT_EQ(in_size, 2u);
    const uint8_t ascii[] = {'a', 'b', 'c'};
    out_size = 3, in_size = 3;
    str_latin1_to_utf8(out, &out_size, ascii, &in_size);
    EXPECT_EQ(out_size, 3u);  // the last ASCII byte still goes into the last free byte
    EXPECT_EQ(in_size, 3u);
}

TEST_F(StringsTest, Utf8RoundTrip) {
    const char16_t* text = u"Zur\u00fcck \u20ac \U0001F600";
    EXPECT_EQ(str_from_utf8(str_to_utf8(text)), std::u16string(text));
    EXPECT_EQ(str_from_utf8(std::string("\xff" "a")), std::u16string(u"\uFFFDa"));
}
