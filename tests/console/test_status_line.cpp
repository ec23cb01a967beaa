// The status line's text and when a run may show it.
#include <gtest/gtest.h>

#include "console/status_line.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

TEST(status_line, text_fits_the_terminal_and_the_path_gives_way_from_its_beginning) {
    struct row {
        uint64_t pairs, bytes, ms;
        std::u16string_view path;
        int columns;
        std::u16string_view expected;
    };
    const row rows[] = {
        {1, 0, 0, u"a.txt", 80, u"1 pairs  0 B  0 B/s  0:00  a.txt"},
        {12, 5000000, 2000, u"d/e.bin", 80, u"12 pairs  4.8 MB  2.4 MB/s  0:02  d/e.bin"},
        {3, 1023, 3725000, u"x", 80, u"3 pairs  1023 B  0 B/s  1:02:05  x"},
        // 39 columns at most: the end of the path stays.
        {1, 0, 0, u"folder/sub/name.txt", 40, u"1 pairs  0 B  0 B/s  0:00  .../name.txt"},
        // Wide characters take two columns each; a surrogate pair is not split.
        {1, 0, 0, u"日本語のフォルダ", 40, u"1 pairs  0 B  0 B/s  0:00  ...フォルダ"},
        {1, 0, 0, u"xyzw\U0001F600b", 33, u"1 pairs  0 B  0 B/s  0:00  ...b"},
        {1, 0, 0, u"xyzw\U0001F600b", 34, u"1 pairs  0 B  0 B/s  0:00  ...\U0001F600b"},
        {1, 0, 0, u"xyzw\U0001F600b", 30, u"1 pairs  0 B  0 B/s  0:00"},
        // Control characters never reach the terminal.
        {1, 0, 0, u"a\x1b[2Jb", 80, u"1 pairs  0 B  0 B/s  0:00  a?[2Jb"},
        // No room for a path: the figures alone, cut to the width.
        {1, 0, 0, u"a.txt", 20, u"1 pairs  0 B  0 B/s"},
        {1, 0, 0, u"a.txt", 0, u""},
    };
    for (const row& r : rows)
        EXPECT_EQ(status_text(r.pairs, r.bytes, r.ms, r.path, r.columns), r.expected)
            << narrow(r.path) << " at " << r.columns;
}

TEST(status_line, shown_only_at_a_terminal_without_v_and_unless_switched_off) {
    struct row {
        bool terminal, verbose;
        std::u16string_view variable, setting;
        bool allowed;
    };
    const row rows[] = {
        {true, false, u"", u"", true},   {false, false, u"", u"", false},
        {true, true, u"", u"", false},   {true, false, u"0", u"", false},
        {true, false, u"", u"0", false}, {true, false, u"1", u"0", true},  // the variable, when set, decides
    };
    for (const row& r : rows)
        EXPECT_EQ(status_line_allowed(r.terminal, r.verbose, r.variable, r.setting), r.allowed)
            << r.terminal << r.verbose << narrow(r.variable) << "/" << narrow(r.setting);
}

}  // namespace
}  // namespace zub::test
