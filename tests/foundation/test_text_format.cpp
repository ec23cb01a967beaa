// The UTF-16 formatter: the directives the messages use, 64-bit values,
// floating rounding, strings with surrogate pairs, and the capacity limit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "foundation/text_format.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

std::string f(std::u16string_view fmt, fmt_args args) { return narrow(format(fmt, args)); }

TEST(TextFormat, IntegersWithFlagsWidthAndPrecision) {
    EXPECT_EQ(f(u"%02x", {10}), "0a");
    EXPECT_EQ(f(u"%02x", {0x1ff}), "1ff");
    EXPECT_EQ(f(u"%2d%%", {5}), " 5%");
    EXPECT_EQ(f(u"%2d%%", {100}), "100%");
    EXPECT_EQ(f(u"%4d-%02d-%02d %02d:%02d:%02d.%03d", {2024, 3, 9, 7, 5, 0, 42}), "2024-03-09 07:05:00.042");
    EXPECT_EQ(f(u"%4d|%-4d|%04d|%+d|% d|%+d", {-7, -7, -7, 7, 7, -7}), "  -7|-7  |-007|+7| 7|-7");
    EXPECT_EQ(f(u"%.3d|%5.3d|%05.3d|%.0d|", {7, 7, 7, 0}), "007|  007|  007||");
    EXPECT_EQ(f(u"%i %X %#x %#X %#x %o", {12, 255, 255, 255, 0, 8}), "12 FF 0xff 0XFF 0 10");
    EXPECT_EQ(f(u"%*d|%-*d|%*d|%.*d", {4, 3, 4, 3, -4, 3, 3, 5}), "   3|3   |3   |005");
}

TEST(TextFormat, SixtyFourBitAndUnsignedValues) {
    int64_t five_gib = 5368709120LL;
    EXPECT_EQ(f(u"%I64d", {five_gib}), "5368709120");
    EXPECT_EQ(f(u"%d", {five_gib}), "5368709120");
    EXPECT_EQ(f(u"%lld %ld %zu %hd %I64u", {five_gib, 1L, size_t{2}, short{3}, uint64_t{4}}), "5368709120 1 2 3 4");
    EXPECT_EQ(f(u"%I64x", {int64_t{5000000}}), "4c4b40");
    EXPECT_EQ(f(u"%I64d", {INT64_MIN}), "-9223372036854775808");
    EXPECT_EQ(f(u"%I64u", {UINT64_MAX}), "18446744073709551615");
    EXPECT_EQ(f(u"%d", {UINT64_MAX}), "18446744073709551615");  // an unsigned value is never negative
    EXPECT_EQ(f(u"%d", {uint32_t{4000000000u}}), "4000000000");
    // Unsigned of negative values, in the 32-bit range: as a 32-bit two's complement, as printf with an int.
    EXPECT_EQ(f(u"%u", {-1}), "4294967295");
    EXPECT_EQ(f(u"%x", {-1}), "ffffffff");
    EXPECT_EQ(f(u"%X", {INT32_MIN}), "80000000");
    // Beyond it: as the 64-bit two's complement.
    EXPECT_EQ(f(u"%u", {int64_t{-5000000000LL}}), "18446744068709551616");
    EXPECT_EQ(f(u"%I64x", {int64_t{-5000000000LL}}), "fffffffed5fa0e00");
    EXPECT_EQ(f(u"%u", {3000000000u}), "3000000000");
}

TEST(TextFormat, Floating) {
    EXPECT_EQ(f(u"%-.2f", {3.14159}), "3.14");
    EXPECT_EQ(f(u"%.2f", {2.675}), "2.67");     // 2.675 is stored just below: printf's rounding
    EXPECT_EQ(f(u"%.2f", {99.995}), "100.00");  // and 99.995 just above
    EXPECT_EQ(f(u"%.2f", {0.125}), "0.12");     // exact tie: round half to even as printf
    EXPECT_EQ(f(u"%.2f", {100.0}), "100.00");
    EXPECT_EQ(f(u"%6.1f|%-6.1f|%06.1f", {2.25, 2.25, -2.25}), "   2.2|2.2   |-002.2");
    EXPECT_EQ(f(u"%f", {1.5}), "1.500000");
    EXPECT_EQ(f(u"%.2f", {1e20}), "100000000000000000000.00");
}

TEST(TextFormat, StringsAndCharacters) {
    EXPECT_EQ(f(u"%-5s|%5s|", {u"ab", u"cd"}), "ab   |   cd|");
    EXPECT_EQ(f(u"%.2s|%-4.1s|", {u"abc", u"xyz"}), "ab|x   |");
    EXPECT_EQ(f(u"%c%c%c|%3c|%-3c|", {u'a', 'b', 0x43, u'd', u'e'}), "abC|  d|e  |");
    std::u16string pair = u"x\U0001F600y";  // a surrogate pair passes through untouched
    EXPECT_EQ(format(u"[%s]", {pair}), u"[x\U0001F600y]");
    EXPECT_EQ(format(u"%c", {char16_t{0xD83D}}), std::u16string(1, char16_t{0xD83D}));
    EXPECT_EQ(format(u"%s", {u"\u00e9\u3042"}), u"\u00e9\u3042");
    EXPECT_EQ(f(u"%s", {static_cast<const char16_t*>(nullptr)}), "(null)");
    std::u16string owned = u"owned";
    std::u16string_view view = u"view";
    EXPECT_EQ(f(u"%s %s", {owned, view}), "owned view");
}

TEST(TextFormat, PointerIsUpperCaseHexAtPointerWidth) {
    EXPECT_EQ(f(u"%p", {reinterpret_cast<const void*>(uintptr_t{0xAB12})}),
              std::string(sizeof(void*) * 2 - 4, '0') + "AB12");
}

TEST(TextFormat, PercentUnknownAndMissing) {
    EXPECT_EQ(f(u"100%%", {}), "100%");
    EXPECT_EQ(f(u"%q %y|", {1}), "%q %y|");  // unknown directives stay, no argument taken
    EXPECT_EQ(f(u"%q%d", {7}), "%q7");
    EXPECT_EQ(f(u"end %", {}), "end %");
    EXPECT_EQ(f(u"end %-0", {}), "end %-0");
    EXPECT_EQ(f(u"%d|%s|%x|", {}), "0||0|");  // no arguments: zero values, nothing read past the list
    EXPECT_EQ(f(u"%d %d", {5}), "5 0");
    // A double read as an integer truncates and saturates; the widest negative width is clamped (fuzzing found both).
    EXPECT_EQ(f(u"%d %u %d %d", {-2.5, -2.5, 1e300, std::nan("")}), "-2 18446744073709551614 9223372036854775807 0");
    EXPECT_EQ(format(u"%*d", {INT64_MIN, 1}).size(), 1000000u);
}

TEST(TextFormat, CapacityLimit) {
    char16_t buffer[6];
    EXPECT_EQ(format_to(buffer, 6, u"%s", {u"hello"}), 5);  // exactly capacity-1 units
    EXPECT_EQ(std::u16string(buffer), u"hello");
    EXPECT_EQ(format_to(buffer, 6, u"%s!", {u"hello"}), -1);
    EXPECT_EQ(buffer[5], u'\0');  // a NUL-terminated prefix remains
    EXPECT_EQ(std::u16string(buffer), u"hello");
    EXPECT_EQ(format_to(buffer, 1, u"x", {}), -1);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(format_to(buffer, 1, u"", {}), 0);
    EXPECT_EQ(format_to(buffer, 0, u"", {}), -1);
    EXPECT_EQ(format_to(buffer, 6, u"%4d%%", {12}), 5);
    EXPECT_EQ(std::u16string(buffer), u"  12%");
}

TEST(TextFormat, SformatTakesTypedArguments) {
    EXPECT_EQ(sformat(u"%s=%d (%I64u)", u"size", 3, uint64_t{1} << 40), u"size=3 (1099511627776)");
    EXPECT_EQ(sformat(u"%d %d", true, false), u"1 0");
}

}  // namespace
}  // namespace zub::test
