// What a terminal shows after receiving some text, for the status-line tests:
// a carriage return goes back to the start of the line, a line feed starts a
// new one, every other character overwrites the one under the cursor; blanks
// at the end of a line are not seen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zub::test {

inline std::u16string screen_text(std::u16string_view received) {
    std::vector<std::u16string> lines(1);
    size_t column = 0;
    for (char16_t c : received) {
        if (c == u'\r') {
            column = 0;
        } else if (c == u'\n') {
            lines.emplace_back();
            column = 0;
        } else {
            std::u16string& line = lines.back();
            if (column < line.size())
                line[column] = c;
            else
                line.push_back(c);
            ++column;
        }
    }
    std::u16string screen;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string_view line = lines[i];
        while (!line.empty() && line.back() == u' ') line.remove_suffix(1);
        screen.append(line);
        if (i + 1 < lines.size()) screen += u'\n';
    }
    return screen;
}

}  // namespace zub::test
