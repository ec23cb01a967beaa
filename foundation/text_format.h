// The one printf-style formatter over UTF-16 text. Every message of the
// programs passes through it, so the bytes in the result files do not depend
// on a C runtime. Arguments are type-checked at the call site (fmt_arg), so a
// 64-bit value handed to %d is printed whole rather than misread.
//
// Directives: %s (UTF-16 string), %c (one UTF-16 unit), %d %i %u %x %X with
// the flags - 0 + space #, width and precision (also *), the 64-bit forms
// %I64d %I64u %I64x (and the ll / l / h / z length letters, accepted and
// ignored since the argument carries its own width), %f with precision
// ("%-.2f"), %p and %%.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace zub {

class fmt_arg {
public:
    enum class kind { i64, u64, f64, str, ch, ptr };

    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char16_t> &&
             !std::is_same_v<T, char>) fmt_arg(T v) {
        if constexpr (std::is_signed_v<T>) {
            k_ = kind::i64;
            i_ = static_cast<int64_t>(v);
        } else {
            k_ = kind::u64;
            u_ = static_cast<uint64_t>(v);
        }
    }
    fmt_arg(bool v) : k_(kind::i64), i_(v ? 1 : 0) {}
    fmt_arg(char16_t c) : k_(kind::ch), c_(c) {}
    fmt_arg(char c) : k_(kind::ch), c_(static_cast<char16_t>(static_cast<unsigned char>(c))) {}
    fmt_arg(double d) : k_(kind::f64), d_(d) {}
    fmt_arg(std::u16string_view s) : k_(kind::str), s_(s) {}
    fmt_arg(const std::u16string& s) : k_(kind::str), s_(s) {}
    fmt_arg(const char16_t* s) : k_(kind::str), s_(s ? std::u16string_view(s) : std::u16string_view(u"(null)")) {}
    fmt_arg(const void* p) : k_(kind::ptr), p_(p) {}

    kind type() const { return k_; }
    int64_t as_i64() const;
    uint64_t as_u64() const;
    double as_f64() const;
    std::u16string_view as_str() const { return k_ == kind::str ? s_ : std::u16string_view(); }
    char16_t as_ch() const { return k_ == kind::ch ? c_ : static_cast<char16_t>(as_u64()); }
    const void* as_ptr() const { return k_ == kind::ptr ? p_ : nullptr; }

private:
    kind k_;
    union {
        int64_t i_;
        uint64_t u_;
        double d_;
        char16_t c_;
        const void* p_;
    };
    std::u16string_view s_;
};

using fmt_args = std::initializer_list<fmt_arg>;

// Formats into out[0..capacity), NUL-terminated. Returns the number of units
// written (without the NUL), or -1 when the text does not fit in capacity-1
// units (then out holds a NUL-terminated prefix). Like a counted printf.
int format_to(char16_t* out, size_t capacity, std::u16string_view format, fmt_args args);

// Formats into a string. Unlimited capacity.
std::u16string format(std::u16string_view format, fmt_args args);

template <typename... A>
std::u16string sformat(std::u16string_view fmt, const A&... a) {
    return format(fmt, {fmt_arg(a)...});
}

}  // namespace zub
