// The lossless byte <-> UTF-16 conversion: valid UTF-8, bytes that are not
// UTF-8 (escaped as U+DC00 + byte), lone surrogates (three-byte form), and
// random input that must always come back byte for byte.
#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "platform/utf.h"

namespace zub::test {
namespace {

using platform::bytes_from_utf16;
using platform::utf16_from_bytes;

TEST(utf_conversion, valid_utf8_decodes_to_its_characters) {
    EXPECT_EQ(utf16_from_bytes("abc"), u"abc");
    EXPECT_EQ(utf16_from_bytes("Donn\xC3\xA9"
                               "es \xE2\x82\xAC"),
              u"Donn\u00E9es \u20AC");
    EXPECT_EQ(utf16_from_bytes("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(bytes_from_utf16(u"Donn\u00E9es \u20AC \U0001F600"),
              "Donn\xC3\xA9"
              "es \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(utf16_from_bytes(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
    // ASCII taken a few units at a time, up to the first unit that is not.
    EXPECT_EQ(platform::bytes_from_utf16(u"abcdefgh\u00E9ijklmnop"), "abcdefgh\xC3\xA9ijklmnop");
}

TEST(utf_conversion, invalid_bytes_become_escape_units_and_come_back) {
    const struct {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"\xFF", u"\xDCFF"},
        {"a\x80"
         "b",
         u"a\xDC80"
         "b"},
        {"\xE2\x82", u"\xDCE2\xDC82"},  // cut short by the end
        {"\xE2\x82"
         "A",
         u"\xDCE2\xDC82"
         "A"},                                              // cut short by another character
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                      // overlong '/'
        {"\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},            // overlong three-byte form
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // beyond U+10FFFF
        {"\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},            // the three-byte form of an escape unit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf16_from_bytes(c.bytes), c.text);
        EXPECT_EQ(bytes_from_utf16(c.text), c.bytes);
    }
}

TEST(utf_conversion, lone_surrogates_use_the_three_byte_form) {
    EXPECT_EQ(bytes_from_utf16(u"\xD800"), "\xED\xA0\x80");
    EXPECT_EQ(bytes_from_utf16(u"x\xDBFF"), "x\xED\xAF\xBF");
    EXPECT_EQ(bytes_from_utf16(u"\xDC00"), "\xED\xB0\x80");
    EXPECT_EQ(utf16_from_bytes("\xED\xA0\x80"), u"\xD800");
    EXPECT_EQ(utf16_from_bytes("\xED\xB0\x80"), u"\xDC00");
    // A lead then a trail in three-byte form would fuse into a pair and come
    // back as four bytes: the lead's bytes are escaped instead.
    const std::string fused = "\xED\xA0\x80\xED\xB0\x80";
    EXPECT_EQ(utf16_from_bytes(fused), u"\xDCED\xDCA0\xDC80\xDC00");
    EXPECT_EQ(bytes_from_utf16(utf16_from_bytes(fused)), fused);
    // The same when the unit after the lead is an escaped byte.
    EXPECT_EQ(bytes_from_utf16(utf16_from_bytes("\xED\xA0\x80\xFF")), "\xED\xA0\x80\xFF");
}

TEST(utf_conversion, random_bytes_and_random_text_always_come_back) {
    std::mt19937 random(12345);
    const char bytes_pool[] = {'\xED', '\xA0', '\xB0', '\x80', '\xBF', '\xC3', '\xA9', 'a',    '/',
                               '\xF0', '\x90', '\xE2', '\x82', '\xAC', '\xFF', '\xDC', '\xB2', '\0'};
    // Text without escape units (U+DC80..U+DCFF) converts to bytes and back.
    const char16_t text_pool[] = {u'a', u'.', 0x00E9, 0x20AC, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xDD00, 0xFFFF, 0};
    for (int n = 0; n < 50000; ++n) {
        std::string bytes;
        std::u16string text;
        for (int i = static_cast<int>(random() % 14); i > 0; --i) {
            bytes.push_back(bytes_pool[random() % std::size(bytes_pool)]);
        }
        for (int i = static_cast<int>(random() % 10); i > 0; --i) {
            text.push_back(text_pool[random() % std::size(text_pool)]);
        }
        ASSERT_EQ(bytes_from_utf16(utf16_from_bytes(bytes)), bytes) << "case " << n;
        ASSERT_EQ(utf16_from_bytes(bytes_from_utf16(text)), text) << "case " << n;
    }
}

}  // namespace
}  // namespace zub::test
