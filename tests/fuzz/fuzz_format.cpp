// Fuzz target for the formatter: any format text against a fixed argument
// list of every kind, at a capacity taken from the first input byte. The
// counted form must stop inside its buffer, and agree with the unlimited
// form whenever the text fits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/text_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t capacity = data[0] + 1;
    std::u16string format;
    for (size_t i = 1; i + 1 < size; i += 2) format.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));

    static const int probe = 0;
    const zub::fmt_args args = {zub::fmt_arg(int64_t{-1234567890123}),
                                zub::fmt_arg(uint64_t{0xFFFFFFFFFFFFFFFF}),
                                zub::fmt_arg(u"text \u00E9\U0001F600"),
                                zub::fmt_arg(u'c'),
                                zub::fmt_arg(-2.5),
                                zub::fmt_arg(static_cast<const void*>(&probe)),
                                zub::fmt_arg(7)};
    std::vector<char16_t> out(capacity + 1, u'#');
    const int n = zub::format_to(out.data(), capacity, format, args);
    if (out[capacity] != u'#') std::abort();  // wrote past its capacity
    const std::u16string whole = zub::format(format, args);
    if (n >= 0) {
        if (static_cast<size_t>(n) >= capacity || out[static_cast<size_t>(n)] != 0) std::abort();
        if (whole != std::u16string(out.data(), static_cast<size_t>(n))) std::abort();
    } else if (whole.size() <= capacity - 1) {
        std::abort();  // refused a text that fits
    }
    return 0;
}
