// The encoding of text that does not go to an interactive console: redirected
// standard streams and result files. UTF-16LE with CR LF is the default on
// every build; UTF-8 is chosen by the environment variable ZUB_ENCODING or,
// when that is unset, by the comparer's settings key "options"/"encoding".
// UTF-8 text ends its lines with LF on POSIX and CR LF on Windows.
//
// A file that is appended to keeps the encoding of the text it already holds
// (told from its first bytes), so no file ever mixes two encodings.
#pragma once

#include <string>
#include <string_view>

namespace zub {

enum class text_encoding { utf16le, utf8 };

// The process-wide choice for redirected standard streams and for result
// files that are created or emptied. UTF-16LE until set.
text_encoding output_encoding();
void set_output_encoding(text_encoding encoding);

// "utf-8" or "utf8" in any case name UTF-8; anything else, or nothing, UTF-16LE.
text_encoding encoding_named(std::u16string_view name);

// The encoding a run uses: ZUB_ENCODING when it is set and not empty,
// otherwise the value `setting` (the settings key, or empty where a program
// has no settings file). Sets it as the output encoding and returns it.
text_encoding choose_output_encoding(std::u16string_view setting);

// The encoding of text that begins with `head`: a UTF-16LE byte-order mark or
// a NUL byte (which UTF-8 text never holds) means UTF-16LE; anything else,
// including the UTF-8 mark, UTF-8.
text_encoding encoding_of_text(std::string_view head);

// The encoding of the text already in a file: `otherwise` when the file is
// missing, empty or cannot be read.
text_encoding encoding_of_file(std::u16string_view path, text_encoding otherwise);

// Whether lines end with CR LF in this encoding on this build.
bool uses_crlf(text_encoding encoding);

// The byte-order mark: FF FE or EF BB BF.
std::string_view byte_order_mark(text_encoding encoding);

// Appends the UTF-8 form of `units` to `out`, each LF as CR LF when `crlf`.
// On POSIX a lone unit U+DC80..U+DCFF (a byte of a file name that was not
// UTF-8) is written as that original byte; other lone surrogates take their
// three-byte form, so no text is lost.
void append_utf8(std::u16string_view units, bool crlf, std::string& out);

}  // namespace zub
