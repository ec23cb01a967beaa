// The status line of zub64: while a run goes and standard error is a
// terminal (a console on Windows), one line shows the pairs taken up, the
// bytes compared, the rate, the time so far and the path being compared,
// shortened to the terminal's width. It is redrawn at most four times a
// second and erased before any other line is written and when the run ends,
// so that what stays on the screen is the run's ordinary output. Redirected
// output never carries it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zub {

// Whether a run may show the line: standard error is a terminal, -v is not
// given (its lines are the progress), and the switch is not "0". The switch
// is ZUB_PROGRESS when it is set and not empty, otherwise the settings key
// "options"/"progress".
bool status_line_allowed(bool err_is_terminal, bool verbose, std::u16string_view variable, std::u16string_view setting);

// The text of the line, at most `columns` - 1 columns wide (the last column
// is left free, so that the terminal never wraps it); the path gives way
// first, from its beginning.
std::u16string status_text(uint64_t pairs, uint64_t bytes, uint64_t elapsed_ms, std::u16string_view path, int columns);

class status_line {
public:
    // Turns the line on for the coming run; it starts its clock at the first pair.
    void enable(bool on) { on_ = on; }
    bool enabled() const { return on_; }
    // A pair is taken up: `bytes` were compared before it.
    void pair(std::u16string_view path, uint64_t bytes);
    // The comparison of the current pair has read `bytes` of it.
    void advance(uint64_t bytes);
    // Removes the line from the screen (before any other text, and at the end).
    void erase();

private:
    void draw_when_due();

    bool on_ = false;
    uint64_t pairs_ = 0;
    uint64_t base_bytes_ = 0;  // compared before the current pair
    uint64_t pair_bytes_ = 0;  // read of the current pair
    std::u16string path_;
    uint64_t started_ms_ = 0;
    uint64_t next_draw_ms_ = 0;
    size_t shown_columns_ = 0;  // width of the line on the screen, 0 when none is
};

}  // namespace zub
