// Lossless conversion between byte strings and UTF-16.
//
// Decoding: well-formed UTF-8 becomes its code points (supplementary ones as
// surrogate pairs). Every byte that is not part of a well-formed sequence
// becomes the lone unit U+DC00 + byte. A three-byte sequence that encodes a
// surrogate (the WTF-8 form) is accepted only when re-encoding gives the same
// bytes back: a lead surrogate must not be followed by a trail unit (the two
// would then form a pair and re-encode as four bytes), and U+DC80..U+DCFF are
// never taken from such a sequence (those units stand for raw bytes).
// Encoding: a surrogate pair becomes four bytes, U+DC80..U+DCFF alone become
// the byte they stand for, any other lone surrogate its three-byte form.
// So bytes -> UTF-16 -> bytes always gives the original bytes back.
#include "platform/utf.h"

#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zub::platform {

namespace {

// One decoded piece: a code point (or lone surrogate) and how many bytes it
// took, or an escaped byte.
struct piece {
    char32_t value;  // code point, or the escaped byte's unit (U+DC00 + byte)
    uint8_t length;  // bytes consumed
    bool wtf8_lead;  // a lead surrogate taken from a three-byte sequence
};

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

piece decode_one(std::string_view s, size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    const piece escaped{char32_t(0xDC00 + b0), 1, false};
    if (b0 < 0x80) return {b0, 1, false};
    size_t need;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return escaped;
    }
    if (i + need >= s.size()) return escaped;  // cut short by the end
    for (size_t k = 1; k <= need; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if (!continuation(c)) return escaped;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF) return escaped;
    if (cp >= 0xDC80 && cp <= 0xDCFF) return escaped;  // those units stand for raw bytes
    return {cp, static_cast<uint8_t>(need + 1), is_lead_surrogate(cp)};
}

void append_unit_or_pair(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

}  // namespace

std::u16string utf16_from_bytes(std::string_view bytes) {
    // Most names are ASCII: each byte is its unit.
    unsigned char seen = 0;
    for (char b : bytes) seen |= static_cast<unsigned char>(b);
    if (seen < 0x80) return std::u16string(bytes.begin(), bytes.end());
    std::vector<piece> pieces;
    pieces.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        piece p = decode_one(bytes, i);
        pieces.push_back(p);
        i += p.length;
    }
    // A lead surrogate from a three-byte sequence followed by a trail unit
    // (decoded or escaped) would fuse into a pair: escape its bytes instead.
    // Escaping produces trail units itself, so walk from the end.
    std::vector<piece> fixed;
    fixed.reserve(pieces.size());
    size_t pos = bytes.size();
    bool next_is_trail = false;
    for (size_t n = pieces.size(); n-- > 0;) {
        const piece& p = pieces[n];
        pos -= p.length;
        if (p.wtf8_lead && next_is_trail) {
            for (size_t k = 3; k-- > 0;) {
                fixed.push_back({char32_t(0xDC00 + static_cast<unsigned char>(bytes[pos + k])), 1, false});
            }
            next_is_trail = true;
        } else {
            fixed.push_back(p);
            next_is_trail = p.value < 0x10000 && is_trail_surrogate(p.value);
        }
    }
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t n = fixed.size(); n-- > 0;) append_unit_or_pair(out, fixed[n].value);
    return out;
}

void bytes_from_utf16(std::u16string_view text, std::string& out) {
    // Most paths are ASCII: each unit is its byte.
    const size_t n = text.size();
    out.resize(n);
    const char16_t* in = text.data();
    char* to = out.data();
    size_t ascii = 0;
#if defined(__SSE2__)
    // Eight at a time where the processor has SSE2 (every x86-64).
    const __m128i high_bits = _mm_set1_epi16(static_cast<int16_t>(0xFF80));
    for (; ascii + 8 <= n; ascii += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + ascii));
        const __m128i ascii_units = _mm_cmpeq_epi16(_mm_and_si128(units, high_bits), _mm_setzero_si128());
        if (_mm_movemask_epi8(ascii_units) != 0xFFFF) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + ascii), _mm_packus_epi16(units, units));
    }
#endif
    while (ascii < n && in[ascii] < 0x80) {
        to[ascii] = static_cast<char>(in[ascii]);
        ++ascii;
    }
    if (ascii == n) return;
    out.resize(ascii);
    append_utf8(text.substr(ascii), true, false, out);
}

std::string bytes_from_utf16(std::u16string_view text) {
    std::string out;
    bytes_from_utf16(text, out);
    return out;
}

void append_utf8(std::u16string_view text, bool raw_bytes, bool crlf, std::string& out) {
    out.reserve(out.size() + text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t u = text[i];
        if (is_lead_surrogate(u) && i + 1 < text.size() && is_trail_surrogate(text[i + 1])) {
            u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (raw_bytes && u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00));
            continue;
        }
        if (u == u'\n' && crlf) out.push_back('\r');
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (u >> 18)));
            out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

}  // namespace zub::platform
