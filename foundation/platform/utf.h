// Lossless conversion between byte strings (POSIX file names, arguments,
// terminal text) and UTF-16. Valid UTF-8 decodes normally; each byte that is
// not part of valid UTF-8 becomes the lone unit U+DC00 + byte, which converts
// back to the same byte. Unpaired surrogates that are not of that form are
// encoded as their three-byte (WTF-8) sequence, so no text is ever lost.
#pragma once

#include <string>
#include <string_view>

namespace zub::platform {

// The two halves of a surrogate pair: a scan steps over a lead surrogate
// together with the unit after it.
constexpr bool is_lead_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_trail_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Upper case of an ASCII letter; every other unit as it is. What option
// letters, settings keys and the names of encodings are compared under.
constexpr char16_t ascii_upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

std::u16string utf16_from_bytes(std::string_view bytes);
std::string bytes_from_utf16(std::u16string_view text);
// The same into `out`, whose storage is reused.
void bytes_from_utf16(std::u16string_view text, std::string& out);
// Appends the UTF-8 form of `text` to `out`: with `raw_bytes` a lone unit
// U+DC80..U+DCFF is its original byte again (as bytes_from_utf16 does); with
// `crlf` each LF is preceded by a CR.
void append_utf8(std::u16string_view text, bool raw_bytes, bool crlf, std::string& out);

}  // namespace zub::platform
