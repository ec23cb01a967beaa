// The status line: its text, when it is due, and how it is drawn and erased.
// It is written to standard error with a carriage return in front, padded
// with blanks over a longer line drawn before, and erased by blanks and a
// carriage return: sequences every terminal and every Windows console obey.
#include "console/status_line.h"

#include <iterator>

#include "foundation/paths.h"
#include "foundation/text_format.h"
#include "foundation/text_output.h"
#include "platform/platform.h"

namespace zub {

namespace {

// A new line at most this often.
constexpr uint64_t REDRAW_MS = 250;
// The width taken when the terminal does not tell its own.
constexpr int DEFAULT_COLUMNS = 80;

// Columns a character takes on a terminal. East Asian wide and full-width
// characters take two; so does a surrogate pair, which stays within the line
// even where it is drawn narrow. A lone unit (a name byte that is not UTF-8)
// is drawn as one replacement character.
size_t columns_of(char16_t c) {
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6))
        return 2;
    return 1;
}

// Units and columns of the character that ends at `end` (exclusive).
size_t units_before(std::u16string_view text, size_t end) {
    return end >= 2 && is_trail_surrogate(text[end - 1]) && is_lead_surrogate(text[end - 2]) ? 2 : 1;
}
size_t columns_before(std::u16string_view text, size_t end) {
    return units_before(text, end) == 2 ? 2 : columns_of(text[end - 1]);
}

size_t columns_of(std::u16string_view text) {
    size_t n = 0;
    for (size_t end = text.size(); end > 0; end -= units_before(text, end)) n += columns_before(text, end);
    return n;
}

// The end of `text` that fits in `room` columns, a surrogate pair kept whole.
std::u16string_view tail_within(std::u16string_view text, size_t room) {
    size_t start = text.size(), used = 0;
    while (start > 0 && used + columns_before(text, start) <= room) {
        used += columns_before(text, start);
        start -= units_before(text, start);
    }
    return text.substr(start);
}

// Bytes in the units of the dialog's counters (1 KB = 1,024 bytes), one decimal.
std::u16string size_text(uint64_t bytes) {
    if (bytes < 1024) return sformat(u"%I64u B", bytes);
    const std::u16string_view units[] = {u"KB", u"MB", u"GB", u"TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    return sformat(u"%.1f %s", value, units[unit]);
}

std::u16string time_text(uint64_t elapsed_ms) {
    const uint64_t seconds = elapsed_ms / 1000;
    if (seconds < 3600) return sformat(u"%I64u:%02u", seconds / 60, static_cast<unsigned>(seconds % 60));
    return sformat(u"%I64u:%02u:%02u", seconds / 3600, static_cast<unsigned>(seconds / 60 % 60),
                   static_cast<unsigned>(seconds % 60));
}

}  // namespace

bool status_line_allowed(bool err_is_terminal, bool verbose, std::u16string_view variable,
                         std::u16string_view setting) {
    const std::u16string_view value = variable.empty() ? setting : variable;
    return err_is_terminal && !verbose && value != u"0";
}

std::u16string status_text(uint64_t pairs, uint64_t bytes, uint64_t elapsed_ms, std::u16string_view path, int columns) {
    const uint64_t rate = elapsed_ms == 0 ? 0 : bytes * 1000 / elapsed_ms;
    std::u16string line =
        sformat(u"%I64u pairs  %s  %s/s  %s", pairs, size_text(bytes), size_text(rate), time_text(elapsed_ms));
    const size_t room = columns > 1 ? static_cast<size_t>(columns) - 1 : 0;
    if (line.size() + 2 >= room) return line.substr(0, room);  // no room for a path: the figures, cut
    const std::u16string shown = terminal_text(path);
    const size_t path_room = room - line.size() - 2;
    if (columns_of(shown) <= path_room) return line + u"  " + shown;
    if (path_room <= 3) return line;
    return line + u"  ..." + std::u16string(tail_within(shown, path_room - 3));
}

void status_line::pair(std::u16string_view path, uint64_t bytes) {
    if (!on_) return;
    if (pairs_ == 0) started_ms_ = platform::current().tick_ms();
    ++pairs_;
    path_.assign(path);
    base_bytes_ = bytes;
    pair_bytes_ = 0;
    draw_when_due();
}

void status_line::advance(uint64_t bytes) {
    if (!on_ || pairs_ == 0) return;
    pair_bytes_ = bytes;
    draw_when_due();
}

void status_line::draw_when_due() {
    const uint64_t now = platform::current().tick_ms();
    if (now < next_draw_ms_) return;
    next_draw_ms_ = now + REDRAW_MS;
    const int columns = platform::current().console_columns(platform::std_stream::error);
    const std::u16string text = status_text(pairs_, base_bytes_ + pair_bytes_, now - started_ms_, path_,
                                            columns > 0 ? columns : DEFAULT_COLUMNS);
    const size_t width = columns_of(text);
    // Blanks over what is left of a longer line drawn before.
    std::u16string shown = u"\r" + text;
    if (width < shown_columns_) shown.append(shown_columns_ - width, u' ');
    platform::current().console_write(platform::std_stream::error, shown);
    shown_columns_ = width;
}

void status_line::erase() {
    if (shown_columns_ == 0) return;
    std::u16string blank = u"\r";
    blank.append(shown_columns_, u' ');
    blank += u'\r';
    platform::current().console_write(platform::std_stream::error, blank);
    shown_columns_ = 0;
}

}  // namespace zub
