// The dialog's display rules without a window: size and counter texts, the
// percentage and the bar, and the rolling result text.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "dialog/display.h"

namespace zub::dialog {
namespace {

struct recording_target : display_target {
    std::vector<std::pair<int, std::u16string>> texts;
    std::vector<int> bars;
    void set_text(int control, std::u16string_view text) override { texts.emplace_back(control, text); }
    void set_bar(int position) override { bars.push_back(position); }
};

TEST(DialogDisplay, SizesAndCounters) {
    const std::pair<int64_t, std::u16string> sizes[] = {
        {0, u"0B"},
        {-5, u"-5B"},
        {102399, u"102399B"},
        {102400, u"100.00KB"},
        {5000000, u"4882.81KB"},
        {104857600, u"100.00MB"},
        {107374182400, u"100.00GB"},
    };
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(format_size(bytes), text) << bytes;
    EXPECT_EQ(counts_text(3, 0, 2048), u"3   2048B");
    EXPECT_EQ(counts_text(3, 2, 5000000), u"5 3 2 4882.81KB");
    EXPECT_EQ(counts_text(0, 0, 0), u"0   0B");
}

TEST(DialogDisplay, PercentAndBar) {
    recording_target target;
    display d(target, u"%3d%%");
    d.show_progress(u"a\\x", -1);
    EXPECT_EQ(target.texts,
              (std::vector<std::pair<int, std::u16string>>{{STATUS_LINE, u"a\\x"}, {PERCENT_FIELD, u""}}));
    EXPECT_TRUE(target.bars.empty());  // the bar was not active

    target.texts.clear();
    d.show_progress(u"a\\x", 5);
    EXPECT_EQ(target.texts.back(), (std::pair<int, std::u16string>{PERCENT_FIELD, u"  5%"}));
    EXPECT_EQ(target.bars, std::vector<int>{5});
    d.show_progress(u"a\\x", 60);
    EXPECT_EQ(target.bars, (std::vector<int>{5, 60}));  // active for the rest of the pair

    // A new pair clears the bar once; a pair that starts at 12 leaves it at 0.
    d.show_progress(u"b", -1);
    EXPECT_FALSE(d.bar_active());
    d.show_progress(u"b", 12);
    d.show_progress(u"b", 99);
    EXPECT_EQ(target.bars, (std::vector<int>{5, 60, 0}));
    EXPECT_EQ(target.texts.back().second, u" 99%");

    // Assuming that many files match, the bar follows every value.
    d.set_assume_match(true);
    d.show_progress(u"c", -1);
    d.show_progress(u"c", 12);
    EXPECT_EQ(target.bars.back(), 12);
}

TEST(DialogDisplay, RollingResultText) {
    std::u16string text;
    append_result(text, u"one\ntwo\n");
    EXPECT_EQ(text, u"one\r\ntwo\r\n");

    // Filling to the limit, then one more line drops the oldest whole lines.
    const std::u16string line(94, u'x');  // 96 units with CR LF: 384 lines fill the box
    text.clear();
    for (size_t i = 0; i < RESULT_TEXT_LIMIT / 96; ++i) append_result(text, line + u"\n");
    EXPECT_EQ(text.size(), RESULT_TEXT_LIMIT);
    append_result(text, u"tail\n");
    EXPECT_EQ(text.size(), (RESULT_TEXT_LIMIT / 96 - 1) * 96 + 6);
    EXPECT_EQ(text.substr(text.size() - 6), u"tail\r\n");

    // Text without any line break is replaced whole.
    text.assign(RESULT_TEXT_LIMIT - 2, u'y');
    append_result(text, u"new\n");
    EXPECT_EQ(text, u"new\r\n");

    // A message longer than the box keeps its beginning, a pair never split.
    std::u16string huge(RESULT_TEXT_LIMIT - 1, u'z');
    huge += u"\xD83D\xDE00 more";
    append_result(text, huge);
    EXPECT_EQ(text.size(), RESULT_TEXT_LIMIT - 1);

    // The display shows the whole text after each append.
    recording_target target;
    display d(target, u"%3d%%");
    d.print_result(u"a\n");
    d.print_result(u"b\n");
    EXPECT_EQ(target.texts.back(), (std::pair<int, std::u16string>{RESULT_BOX, u"a\r\nb\r\n"}));
    d.reset();
    EXPECT_TRUE(d.result_text().empty());
}

}  // namespace
}  // namespace zub::dialog
