// The UTF-16 printf-style formatter. It walks the format once, copying
// literal units and expanding one directive at a time from the typed
// argument list; the output goes to a bounded buffer (format_to) or a string
// (format). Integer conversions are done here, digit by digit; %f and its
// relatives go through the C library's narrow snprintf, whose digits are
// plain ASCII and are widened unit by unit, so the rounding is printf's.
//
// Choices where a C printf would depend on the argument's declared type:
// - an argument carries its own width, so %d of a 64-bit value prints it
//   whole and %d of an unsigned value prints it as the (non-negative) value;
// - %u, %x, %X and %o of a negative signed value: when the value lies in the
//   32-bit range it is printed as the 32-bit two's complement (as printf does
//   for an int), otherwise as the 64-bit two's complement;
// - %p prints the address as upper-case hexadecimal digits zero-padded to the
//   pointer width of the build (8 digits in 32-bit builds, 16 in 64-bit
//   builds), as the Windows C runtime does;
// - a directive without a matching argument formats a zero value (or the
//   empty string), so a short argument list never reads past its end;
// - an unknown directive is copied to the output as it stands.
#include "foundation/text_format.h"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace zub {

namespace {

// A double read as an integer (the programs hand doubles only to %f) is
// truncated toward zero; NaN gives 0 and a value beyond the 64-bit range
// saturates, so that no conversion is undefined.
int64_t truncated_i64(double d) {
    if (d != d) return 0;
    if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(d);
}

// As truncated_i64, with negative values wrapping as an int64_t's do.
uint64_t truncated_u64(double d) {
    if (d >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
    if (d >= 9223372036854775808.0) return static_cast<uint64_t>(d);
    return static_cast<uint64_t>(truncated_i64(d));
}

}  // namespace

int64_t fmt_arg::as_i64() const {
    switch (k_) {
    case kind::i64: return i_;
    case kind::u64: return static_cast<int64_t>(u_);
    case kind::f64: return truncated_i64(d_);
    case kind::ch: return c_;
    case kind::ptr: return static_cast<int64_t>(reinterpret_cast<intptr_t>(p_));
    case kind::str: return 0;
    }
    return 0;
}

uint64_t fmt_arg::as_u64() const {
    switch (k_) {
    case kind::i64: return static_cast<uint64_t>(i_);
    case kind::u64: return u_;
    case kind::f64: return truncated_u64(d_);
    case kind::ch: return c_;
    case kind::ptr: return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p_));
    case kind::str: return 0;
    }
    return 0;
}

double fmt_arg::as_f64() const {
    switch (k_) {
    case kind::i64: return static_cast<double>(i_);
    case kind::u64: return static_cast<double>(u_);
    case kind::f64: return d_;
    case kind::ch: return c_;
    case kind::ptr:
    case kind::str: return 0.0;
    }
    return 0.0;
}

namespace {

// Where formatted units go: a bounded buffer or a growing string.
class sink {
public:
    sink(char16_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
    explicit sink(std::u16string& str) : str_(&str) {}

    void put(char16_t unit) {
        if (str_) {
            str_->push_back(unit);
        } else if (count_ + 1 < capacity_) {
            out_[count_] = unit;
        } else {
            overflow_ = true;
        }
        ++count_;
    }
    void put(std::u16string_view text) {
        if (str_) {
            str_->append(text);
        } else {
            // The units that fit, as put(unit) would write them one by one.
            const size_t room = count_ + 1 < capacity_ ? capacity_ - 1 - count_ : 0;
            const size_t n = std::min(room, text.size());
            std::copy_n(text.data(), n, out_ + count_);
            if (n < text.size()) overflow_ = true;
        }
        count_ += text.size();
    }
    void fill(char16_t unit, size_t count) {
        for (size_t i = 0; i < count; ++i) put(unit);
    }
    bool overflow() const { return overflow_; }
    size_t count() const { return count_; }

    // NUL-terminates the bounded buffer at the last unit that fitted.
    void finish() {
        if (str_ || capacity_ == 0) return;
        out_[count_ < capacity_ ? count_ : capacity_ - 1] = u'\0';
    }

private:
    char16_t* out_ = nullptr;
    size_t capacity_ = 0;
    std::u16string* str_ = nullptr;
    size_t count_ = 0;
    bool overflow_ = false;
};

struct directive {
    bool left = false;   // '-'
    bool zero = false;   // '0'
    bool plus = false;   // '+'
    bool space = false;  // ' '
    bool alt = false;    // '#'
    size_t width = 0;
    int precision = -1;  // -1: none given
};

// Reads the next argument, or a zero value when the list is exhausted.
class arg_reader {
public:
    arg_reader(const fmt_arg* begin, const fmt_arg* end) : it_(begin), end_(end) {}
    const fmt_arg& next() {
        static const fmt_arg none(0);
        if (it_ == end_) return none;
        return *it_++;
    }

private:
    const fmt_arg* it_;
    const fmt_arg* end_;
};

// Pads `body` (with an optional sign/prefix in front of it) to the width.
void emit_padded(sink& out, const directive& s, std::u16string_view prefix, std::u16string_view body,
                 bool zero_pad_allowed) {
    size_t len = prefix.size() + body.size();
    size_t pad = s.width > len ? s.width - len : 0;
    if (s.left) {
        out.put(prefix);
        out.put(body);
        out.fill(u' ', pad);
    } else if (s.zero && zero_pad_allowed) {
        out.put(prefix);
        out.fill(u'0', pad);
        out.put(body);
    } else {
        out.fill(u' ', pad);
        out.put(prefix);
        out.put(body);
    }
}

// Digits of `value` in `base`, at least `precision` of them (a zero value with
// precision 0 gives no digits, as printf).
std::u16string digits_of(uint64_t value, unsigned base, bool upper, int precision) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char16_t tmp[64];
    size_t n = 0;
    while (value != 0) {
        tmp[n++] = static_cast<char16_t>(set[value % base]);
        value /= base;
    }
    size_t min_digits = precision < 0 ? 1 : static_cast<size_t>(precision);
    std::u16string digits;
    if (min_digits > n) digits.assign(min_digits - n, u'0');
    while (n > 0) digits.push_back(tmp[--n]);
    return digits;
}

void emit_signed(sink& out, const directive& s, const fmt_arg& a) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (a.type() == fmt_arg::kind::u64) {
        magnitude = a.as_u64();
    } else {
        int64_t v = a.as_i64();
        negative = v < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    }
    std::u16string_view sign = negative ? u"-" : s.plus ? u"+" : s.space ? u" " : u"";
    emit_padded(out, s, sign, digits_of(magnitude, 10, false, s.precision), s.precision < 0);
}

// The unsigned reading of an argument for %u %x %X %o.
uint64_t unsigned_value(const fmt_arg& a) {
    if (a.type() == fmt_arg::kind::i64) {
        int64_t v = a.as_i64();
        if (v < 0 && v >= std::numeric_limits<int32_t>::min()) return static_cast<uint32_t>(static_cast<int32_t>(v));
    }
    return a.as_u64();
}

void emit_unsigned(sink& out, const directive& s, const fmt_arg& a, unsigned base, bool upper) {
    uint64_t v = unsigned_value(a);
    std::u16string digits = digits_of(v, base, upper, s.precision);
    std::u16string_view prefix;
    if (s.alt && v != 0) {
        if (base == 16)
            prefix = upper ? u"0X" : u"0x";
        else if (base == 8 && (digits.empty() || digits[0] != u'0'))
            prefix = u"0";
    }
    emit_padded(out, s, prefix, digits, s.precision < 0);
}

void emit_pointer(sink& out, const directive& s, const fmt_arg& a) {
    uint64_t v =
        a.type() == fmt_arg::kind::ptr ? static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a.as_ptr())) : a.as_u64();
    int digits = static_cast<int>(sizeof(void*) * 2);
    directive plain = s;
    plain.zero = false;
    emit_padded(out, plain, u"", digits_of(v, 16, true, digits), false);
}

void emit_floating(sink& out, const directive& s, const fmt_arg& a, char conversion) {
    // Rebuild the directive for the narrow snprintf; width and precision are
    // passed as arguments so no number is printed into the directive.
    char directive[16];
    size_t n = 0;
    directive[n++] = '%';
    if (s.left) directive[n++] = '-';
    if (s.zero) directive[n++] = '0';
    if (s.plus) directive[n++] = '+';
    if (s.space) directive[n++] = ' ';
    if (s.alt) directive[n++] = '#';
    directive[n++] = '*';
    directive[n++] = '.';
    directive[n++] = '*';
    directive[n++] = conversion;
    directive[n] = '\0';
    int width = s.width > 4096 ? 4096 : static_cast<int>(s.width);
    int precision = s.precision < 0 ? 6 : (s.precision > 4096 ? 4096 : s.precision);
    double value = a.as_f64();
    char small[128];
    int len = std::snprintf(small, sizeof small, directive, width, precision, value);
    if (len < 0) return;
    std::string big;
    const char* text = small;
    if (static_cast<size_t>(len) >= sizeof small) {
        big.resize(static_cast<size_t>(len) + 1);
        std::snprintf(big.data(), big.size(), directive, width, precision, value);
        text = big.c_str();
    }
    for (int i = 0; i < len; ++i) out.put(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
}

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a decimal number at `i`, saturating at a bound that keeps later
// arithmetic safe.
size_t read_number(std::u16string_view f, size_t& i) {
    size_t v = 0;
    while (i < f.size() && is_digit(f[i])) {
        if (v < 1000000) v = v * 10 + static_cast<size_t>(f[i] - u'0');
        ++i;
    }
    return v;
}

void format_core(sink& out, std::u16string_view f, fmt_args args) {
    arg_reader reader(args.begin(), args.end());
    size_t i = 0;
    while (i < f.size()) {
        char16_t c = f[i];
        if (c != u'%') {
            out.put(c);
            ++i;
            continue;
        }
        size_t start = i++;
        if (i < f.size() && f[i] == u'%') {
            out.put(u'%');
            ++i;
            continue;
        }
        directive s;
        for (; i < f.size(); ++i) {
            char16_t flag = f[i];
            if (flag == u'-')
                s.left = true;
            else if (flag == u'0')
                s.zero = true;
            else if (flag == u'+')
                s.plus = true;
            else if (flag == u' ')
                s.space = true;
            else if (flag == u'#')
                s.alt = true;
            else
                break;
        }
        if (i < f.size() && f[i] == u'*') {
            const int64_t w = reader.next().as_i64();
            if (w < 0) s.left = true;  // a negative width asks for left alignment
            const uint64_t magnitude = w < 0 ? 0 - static_cast<uint64_t>(w) : static_cast<uint64_t>(w);
            s.width = magnitude > 1000000 ? 1000000 : static_cast<size_t>(magnitude);
            ++i;
        } else {
            s.width = read_number(f, i);
        }
        if (i < f.size() && f[i] == u'.') {
            ++i;
            if (i < f.size() && f[i] == u'*') {
                int64_t p = reader.next().as_i64();
                s.precision = p < 0 ? -1 : (p > 1000000 ? 1000000 : static_cast<int>(p));
                ++i;
            } else {
                s.precision = static_cast<int>(read_number(f, i));
            }
        }
        // Length prefixes: accepted and ignored, every argument knows its width.
        if (f.substr(i, 3) == u"I64" || f.substr(i, 3) == u"I32") {
            i += 3;
        } else if (i < f.size() && f[i] == u'I') {
            ++i;
        } else {
            while (i < f.size() && (f[i] == u'h' || f[i] == u'l' || f[i] == u'z' || f[i] == u'j' || f[i] == u't' ||
                                    f[i] == u'L' || f[i] == u'w'))
                ++i;
        }
        if (i >= f.size()) {
            out.put(f.substr(start));
            break;
        }
        char16_t conversion = f[i++];
        switch (conversion) {
        case u'd':
        case u'i': emit_signed(out, s, reader.next()); break;
        case u'u': emit_unsigned(out, s, reader.next(), 10, false); break;
        case u'x': emit_unsigned(out, s, reader.next(), 16, false); break;
        case u'X': emit_unsigned(out, s, reader.next(), 16, true); break;
        case u'o': emit_unsigned(out, s, reader.next(), 8, false); break;
        case u'p': emit_pointer(out, s, reader.next()); break;
        case u'c': {
            char16_t unit = reader.next().as_ch();
            emit_padded(out, s, u"", std::u16string_view(&unit, 1), false);
            break;
        }
        case u's':
        case u'S': {
            std::u16string_view text = reader.next().as_str();
            if (s.precision >= 0 && text.size() > static_cast<size_t>(s.precision))
                text = text.substr(0, static_cast<size_t>(s.precision));
            emit_padded(out, s, u"", text, false);
            break;
        }
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G': emit_floating(out, s, reader.next(), static_cast<char>(conversion)); break;
        default:
            // Not a directive this formatter knows: copy it as it stands.
            out.put(f.substr(start, i - start));
            break;
        }
    }
}

}  // namespace

int format_to(char16_t* out, size_t capacity, std::u16string_view format, fmt_args args) {
    if (out == nullptr || capacity == 0) return -1;
    sink s(out, capacity);
    format_core(s, format, args);
    s.finish();
    if (s.overflow() || s.count() > static_cast<size_t>(std::numeric_limits<int>::max())) return -1;
    return static_cast<int>(s.count());
}

std::u16string format(std::u16string_view format, fmt_args args) {
    std::u16string result;
    sink s(result);
    format_core(s, format, args);
    return result;
}

}  // namespace zub
