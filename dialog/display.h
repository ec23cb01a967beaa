// The dialog's lower half as the engine sees it: the status line, the
// percentage field, the progress bar, the counters field and the rolling
// result box. The display keeps the result text and whether the bar follows
// the current pair; it reaches the controls only through a display_target,
// so the rules here are plain code, free of any window system, and are
// tested as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dialog/resource_ids.h"

namespace zub::dialog {

// Control ids of the display fields.
inline constexpr int RESULT_BOX = IDC_RESULTS;
inline constexpr int STATUS_LINE = IDC_STATUS;
inline constexpr int PERCENT_FIELD = IDC_PERCENT;
inline constexpr int COUNTERS_FIELD = IDC_COUNTERS;

// The result box never holds more than this many units.
inline constexpr size_t RESULT_TEXT_LIMIT = 36864;

// A byte count as the counters field shows it: 102399B, 100.00KB, 4882.81KB,
// 100.00MB, 100.00GB.
std::u16string format_size(int64_t bytes);

// The counters field: "all same different size" when there are differences,
// else "same   size" (three blanks).
std::u16string counts_text(uint32_t same, uint32_t different, int64_t bytes);

// Appends one message (bare LF line ends) to the rolling result text: LF
// becomes CR LF, then the oldest whole lines are dropped until the text fits
// the limit; a text without a line break is replaced by the message. A
// message that alone exceeds the limit keeps its first RESULT_TEXT_LIMIT
// units (a surrogate pair is not split).
void append_result(std::u16string& result_text, std::u16string_view message);

class display_target {
public:
    virtual ~display_target() = default;
    virtual void set_text(int control, std::u16string_view text) = 0;
    virtual void set_bar(int position) = 0;
};

class display {
public:
    display(display_target& target, std::u16string percent_format)
        : target_(target), percent_format_(std::move(percent_format)) {}

    // Program start and every Start: empty result text (not shown).
    void reset() { result_text_.clear(); }
    // Whether the run assumes that many files match (option i): the bar then
    // follows every value of a pair.
    void set_assume_match(bool on) { assume_match_ = on; }

    void print_result(std::u16string_view message);
    void show_status(std::u16string_view text) { target_.set_text(STATUS_LINE, text); }
    void show_progress(std::u16string_view text, int value);
    void show_counts(uint32_t same, uint32_t different, int64_t bytes) {
        target_.set_text(COUNTERS_FIELD, counts_text(same, different, bytes));
    }

    bool bar_active() const { return bar_active_; }
    const std::u16string& result_text() const { return result_text_; }

private:
    display_target& target_;
    std::u16string percent_format_;
    std::u16string result_text_;
    bool bar_active_ = false;
    bool assume_match_ = false;
};

}  // namespace zub::dialog
