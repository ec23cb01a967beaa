// The choice between UTF-16LE and UTF-8 for text that does not go to a
// console, how an existing file's encoding is told, and the UTF-8 form of the
// programs' UTF-16 text.
//
// On POSIX a file name that is not UTF-8 reaches the programs as lone units
// U+DC00 + byte (platform/utf.h); in UTF-8 output each of them becomes that
// byte again, so a list holds the exact name the system knows. Windows names
// are UTF-16 and have no such bytes: there every lone surrogate is written in
// its three-byte form.
#include "foundation/text_encoding.h"

#include <atomic>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/utf.h"

namespace zub {

namespace {

std::atomic<text_encoding> chosen{text_encoding::utf16le};

bool posix_build() { return platform::native_path_style() == platform::path_style::posix; }

}  // namespace

text_encoding output_encoding() { return chosen.load(); }

void set_output_encoding(text_encoding encoding) { chosen.store(encoding); }

text_encoding encoding_named(std::u16string_view name) {
    std::u16string upper(name);
    for (char16_t& c : upper) c = platform::ascii_upper(c);
    return upper == u"UTF-8" || upper == u"UTF8" ? text_encoding::utf8 : text_encoding::utf16le;
}

text_encoding choose_output_encoding(std::u16string_view setting) {
    const char* variable = std::getenv("ZUB_ENCODING");
    const text_encoding encoding = variable != nullptr && *variable != '\0'
                                       ? encoding_named(platform::utf16_from_bytes(variable))
                                       : encoding_named(setting);
    set_output_encoding(encoding);
    return encoding;
}

text_encoding encoding_of_text(std::string_view head) {
    if (head.substr(0, 2) == "\xFF\xFE") return text_encoding::utf16le;
    return head.find('\0') == std::string_view::npos ? text_encoding::utf8 : text_encoding::utf16le;
}

text_encoding encoding_of_file(std::u16string_view path, text_encoding otherwise) {
    // The sequential read may be unbuffered: a page-aligned block of a size
    // such reads accept. A file that cannot be read keeps `otherwise`.
    constexpr uint32_t probe_bytes = 8192;
    platform::os& os = platform::current();
    text_encoding found = otherwise;
    uint32_t error = 0;
    platform::owned_handle file(os.open_read(path, platform::read_mode::compare, error));
    if (file.valid()) {
        if (void* block = os.reserve_pages(probe_bytes)) {
            uint32_t got = 0;
            if (os.read(file.get(), block, probe_bytes, got, error) && got > 0)
                found = encoding_of_text(std::string_view(static_cast<const char*>(block), got));
            os.release_pages(block, probe_bytes);
        }
    }
    return found;
}

bool uses_crlf(text_encoding encoding) { return encoding == text_encoding::utf16le || !posix_build(); }

std::string_view byte_order_mark(text_encoding encoding) {
    return encoding == text_encoding::utf8 ? std::string_view("\xEF\xBB\xBF", 3) : std::string_view("\xFF\xFE", 2);
}

void append_utf8(std::u16string_view units, bool crlf, std::string& out) {
    // POSIX names are bytes: a name that is not UTF-8 keeps its bytes.
    platform::append_utf8(units, posix_build(), crlf, out);
}

}  // namespace zub
