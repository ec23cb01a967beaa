// The display rules of the dialog: size and counter texts, the percentage
// and the bar, and the rolling result text.
#include "dialog/display.h"

#include "foundation/text_format.h"
#include "platform/utf.h"

namespace zub::dialog {

std::u16string format_size(int64_t bytes) {
    if (bytes < 102400) return sformat(u"%I64dB", bytes);
    const double b = static_cast<double>(bytes);
    if (bytes < 104857600) return sformat(u"%-.2fKB", b * (1.0 / 1024));
    if (bytes < 107374182400) return sformat(u"%-.2fMB", b * (1.0 / 1048576));
    return sformat(u"%-.2fGB", b * (1.0 / 1073741824));
}

std::u16string counts_text(uint32_t same, uint32_t different, int64_t bytes) {
    if (different != 0) return sformat(u"%u %u %u %s", same + different, same, different, format_size(bytes));
    return sformat(u"%u   %s", same, format_size(bytes));
}

void append_result(std::u16string& result_text, std::u16string_view message) {
    std::u16string text;
    text.reserve(message.size() + 16);
    for (char16_t c : message) {
        if (c == u'\n') text.push_back(u'\r');
        text.push_back(c);
    }
    if (text.size() > RESULT_TEXT_LIMIT) {
        size_t keep = RESULT_TEXT_LIMIT;
        if (platform::is_lead_surrogate(text[keep - 1])) --keep;
        text.resize(keep);
    }
    while (result_text.size() + text.size() > RESULT_TEXT_LIMIT) {
        size_t line_end = result_text.find(u'\n');
        if (line_end == std::u16string::npos) {
            result_text = std::move(text);
            return;
        }
        result_text.erase(0, line_end + 1);
    }
    result_text += text;
}

void display::print_result(std::u16string_view message) {
    append_result(result_text_, message);
    target_.set_text(RESULT_BOX, result_text_);
}

void display::show_progress(std::u16string_view text, int value) {
    if (value < 0) {
        target_.set_text(STATUS_LINE, text);
        target_.set_text(PERCENT_FIELD, u"");
        if (bar_active_) {
            target_.set_bar(0);
            bar_active_ = false;
        }
        return;
    }
    char16_t percent[20];
    if (format_to(percent, sizeof percent / sizeof percent[0], percent_format_, {fmt_arg(value)}) < 0) percent[0] = 0;
    target_.set_text(PERCENT_FIELD, percent);
    if (value < 10 || assume_match_) bar_active_ = true;
    if (bar_active_) target_.set_bar(value);
}

}  // namespace zub::dialog
