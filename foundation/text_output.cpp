// The printers and their streams, the system's text for an error code, and
// the page-aligned memory of the engine.
//
// Output takes one of two roads, decided per call. A standard stream that is
// an interactive console receives the formatted units as characters through
// the platform's console writer, line ends as they are. Everything else (a
// redirected standard stream, every result log) receives UTF-16LE code units,
// least significant byte first, with every LF written as CR LF and no
// byte-order mark; or UTF-8 when that is chosen (text_encoding.h), a file
// appended to keeping the encoding it has. The conversion is done into one
// buffer so that each message to a standard stream reaches the system in a
// single write; a result file collects its text and writes whole lines in
// large writes, the rest when it is flushed or closed.
//
// The three rare messages that a C runtime would write with its own wide
// formatted output ("%s: inadequate memory.\n", "can't GetModuleFileName(NULL,,)\n",
// "bad folder - not a part of the file system.\n") go through these same
// printers, so a redirected stream never mixes two encodings.
//
// The format buffers are per thread: the console programs have one thread, and
// in the dialog program the worker and the dialog thread each print with
// their own.
#include "foundation/text_output.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace zub {

namespace {

// The handle a stream's bytes go to (a standard stream's current handle).
platform::file_handle target_of(const text_stream& stream) {
    if (stream.is_standard()) return platform::current().std_handle(stream.which());
    return stream.file();
}

}  // namespace

// ---------------------------------------------------------------- streams

text_stream::~text_stream() { close(); }

text_stream& text_stream::out() {
    static text_stream stream(platform::std_stream::output);
    return stream;
}

text_stream& text_stream::err() {
    static text_stream stream(platform::std_stream::error);
    return stream;
}

bool text_stream::open(std::u16string_view path, platform::write_mode mode) {
    if (standard_) return false;
    close();
    failed_ = false;
    encoding_ = mode == platform::write_mode::append ? encoding_of_file(path, output_encoding()) : output_encoding();
    uint32_t error = 0;
    file_ = platform::current().open_write(path, mode, error);
    failed_ = !file_.valid();
    return file_.valid();
}

void text_stream::close() {
    if (standard_ || !file_.valid()) return;
    flush();
    // A file system that writes back late (a network share) reports a lost
    // write at the close.
    uint32_t error = 0;
    if (!platform::current().close(file_, error)) failed_ = true;
    file_ = platform::INVALID_HANDLE;
}

bool text_stream::write_bytes(const void* data, size_t count) {
    if (!target_of(*this).valid()) return false;
    encoded().append(static_cast<const char*>(data), count);
    return commit();
}

namespace {

// A file's text is collected up to this size before whole lines of it are written.
constexpr size_t COLLECT_BYTES = 65536;

// Where the last complete line of encoded text ends (0: none).
size_t last_line_end(const std::string& bytes, text_encoding encoding) {
    if (encoding == text_encoding::utf8) {
        const size_t lf = bytes.rfind('\n');
        return lf == std::string::npos ? 0 : lf + 1;
    }
    for (size_t i = bytes.size() & ~size_t(1); i >= 2; i -= 2)
        if (bytes[i - 2] == '\n' && bytes[i - 1] == '\0') return i;
    return 0;
}

}  // namespace

namespace {

// A standard stream's message, encoded by the thread that writes it.
std::string& standard_message() {
    static thread_local std::string bytes;
    return bytes;
}

}  // namespace

std::string& text_stream::encoded() {
    if (!standard_) return pending_;
    std::string& bytes = standard_message();
    bytes.clear();
    return bytes;
}

bool text_stream::commit() {
    const platform::file_handle target = target_of(*this);
    if (!target.valid()) return false;
    if (standard_) {
        const std::string& bytes = standard_message();
        uint32_t error = 0;
        if (bytes.empty() || platform::current().write(target, bytes.data(), bytes.size(), error)) return true;
        failed_ = true;
        return false;
    }
    if (pending_.size() < COLLECT_BYTES) return true;
    // Whole lines only: the rest waits for the line's end (unless a single
    // line has grown far beyond the buffer).
    size_t cut = last_line_end(pending_, encoding_);
    if (cut == 0 && pending_.size() >= 16 * COLLECT_BYTES) cut = pending_.size();
    if (cut == 0) return true;
    uint32_t error = 0;
    const bool ok = platform::current().write(target, pending_.data(), cut, error);
    pending_.erase(0, cut);
    if (!ok) failed_ = true;
    return ok;
}

bool text_stream::flush() {
    if (standard_ || pending_.empty()) return !failed_;
    uint32_t error = 0;
    const bool ok = file_.valid() && platform::current().write(file_, pending_.data(), pending_.size(), error);
    pending_.clear();
    if (!ok) failed_ = true;
    return ok;
}

int64_t text_stream::length() const {
    if (standard_ || !file_.valid()) return -1;
    uint64_t size = 0;
    uint32_t error = 0;
    if (!platform::current().size_of(file_, size, error)) return -1;
    return static_cast<int64_t>(size + pending_.size());
}

// ---------------------------------------------------------------- writers

std::u16string terminal_text(std::u16string_view text) {
    std::u16string safe(text);
    for (char16_t& c : safe) {
        const bool control = (c < 0x20 && c != u'\n' && c != u'\t') || c == 0x7F || (c >= 0x80 && c <= 0x9F);
        if (control) c = u'?';
    }
    return safe;
}

namespace {

// Appends UTF-16 units as little-endian bytes.
void append_le(std::string& bytes, std::u16string_view units) {
    const size_t at = bytes.size();
    bytes.resize(at + units.size() * 2);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes.data() + at, units.data(), units.size() * 2);
    } else {
        for (size_t i = 0; i < units.size(); ++i) {
            bytes[at + 2 * i] = static_cast<char>(units[i] & 0xFF);
            bytes[at + 2 * i + 1] = static_cast<char>(units[i] >> 8);
        }
    }
}

// The position of the first LF at or after `from`, or npos; four units are
// looked at at a time (a line is mostly a path, with its LF at the end).
size_t find_lf(std::u16string_view text, size_t from) {
    constexpr uint64_t ones = 0x0001000100010001ULL, highs = 0x8000800080008000ULL, lfs = ones * u'\n';
    size_t i = from;
    for (; i + 4 <= text.size(); i += 4) {
        uint64_t four;
        std::memcpy(&four, text.data() + i, sizeof four);
        const uint64_t x = four ^ lfs;  // a unit that was LF is now 0
        if (((x - ones) & ~x & highs) != 0) break;
    }
    for (; i < text.size(); ++i)
        if (text[i] == u'\n') return i;
    return std::u16string_view::npos;
}

// The UTF-8 road of write_text: the whole message handed on at once.
int write_utf8_text(const char16_t* units, int count, text_stream& stream) {
    const std::u16string_view text(units, static_cast<size_t>(count));
    const bool crlf = uses_crlf(text_encoding::utf8);
    append_utf8(text, crlf, stream.encoded());
    if (!stream.commit()) return -1;
    size_t lf_count = 0;
    if (crlf)
        for (char16_t unit : text) lf_count += unit == u'\n';
    return static_cast<int>(text.size() + lf_count);
}

}  // namespace

int write_text(const char16_t* units, int unit_size, int count, text_stream& stream) {
    if (units == nullptr || unit_size <= 0 || count <= 0) return 0;
    platform::file_handle target = target_of(stream);
    if (!target.valid()) return 0;  // a stream that failed to open swallows the text
    if (stream.encoding() == text_encoding::utf8) return write_utf8_text(units, count, stream);

    // UTF-16LE: runs of units as they are (least significant byte first),
    // each LF preceded by a CR.
    const std::u16string_view text(units, static_cast<size_t>(count));
    std::string& bytes = stream.encoded();
    bytes.reserve(bytes.size() + text.size() * 2 + 16);
    size_t out_units = 0;
    for (size_t start = 0; start < text.size();) {
        size_t lf = find_lf(text, start);
        const size_t end = lf == std::u16string_view::npos ? text.size() : lf;
        append_le(bytes, text.substr(start, end - start));
        out_units += end - start;
        if (lf == std::u16string_view::npos) break;
        bytes.append("\r\0\n\0", 4);
        out_units += 2;
        start = lf + 1;
    }
    if (!stream.commit()) return -1;
    return static_cast<int>(out_units);
}

namespace {

// Formats into `buffer` and sends the text down the road the stream takes
// now. A message that does not fit is dropped and -1 returned.
int print_with(char16_t* buffer, size_t capacity, text_stream& stream, std::u16string_view format, fmt_args args) {
    bool console = stream.is_standard() && platform::current().is_console(stream.which());
    if (format.empty()) return 0;
    int n = format_to(buffer, capacity, format, args);
    if (n < 0) return -1;
    if (n == 0) return 0;
    if (console) {
        const std::u16string_view text(buffer, static_cast<size_t>(n));
        if (!platform::current().console_write(stream.which(), terminal_text(text))) return -1;
    } else if (write_text(buffer, 2, n, stream) < 0) {
        return -1;
    }
    return n;
}

// The format buffers belong to the calling thread: in the dialog program the
// worker prints while the dialog thread may format a message of its own.
char16_t* print_to_buffer() {
    static thread_local std::unique_ptr<char16_t[]> buffer(new char16_t[PRINT_BUFFER_UNITS]);
    return buffer.get();
}
char16_t* print_out_buffer() {
    static thread_local std::unique_ptr<char16_t[]> buffer(new char16_t[PRINT_BUFFER_UNITS]);
    return buffer.get();
}

// Whether standard output was a console when the run started.
bool recorded_console = false;

}  // namespace

int vprint_to(text_stream& stream, std::u16string_view format, fmt_args args) {
    return print_with(print_to_buffer(), PRINT_BUFFER_UNITS, stream, format, args);
}

int vprint_out(std::u16string_view format, fmt_args args) {
    return print_with(print_out_buffer(), PRINT_BUFFER_UNITS, text_stream::out(), format, args);
}

void take_console_record() {
    platform::file_handle h = platform::current().std_handle(platform::std_stream::output);
    if (!h.valid()) return;
    recorded_console = platform::current().is_console(platform::std_stream::output);
}

int vprint_verbose(std::u16string_view format, fmt_args args) {
    if (format.empty()) return 0;
    std::vector<char16_t> block(VERBOSE_BUFFER_UNITS);
    int n = format_to(block.data(), block.size(), format, args);
    if (n <= 0) return n;
    if (recorded_console) {
        // The console receives CR LF here, unlike print_out's console road.
        std::u16string text;
        text.reserve(static_cast<size_t>(n) * 2);
        for (char16_t c : terminal_text(std::u16string_view(block.data(), static_cast<size_t>(n)))) {
            if (c == u'\n') text.push_back(u'\r');
            text.push_back(c);
        }
        if (!platform::current().console_write(platform::std_stream::output, text)) return -1;
    } else if (write_text(block.data(), 2, n, text_stream::out()) < 0) {
        return -1;
    }
    return n;
}

// ---------------------------------------------------------------- memory

void* reserve_block(size_t size) {
    void* block = platform::current().reserve_pages(size);
    if (block == nullptr) print_to(text_stream::err(), u"can't alloc memory (%d Bytes)\n", size);
    return block;
}

void release_block(void* block, size_t size) {
    if (block == nullptr) return;
    if (!platform::current().release_pages(block, size))
        print_to(text_stream::err(), u"can't free memory (%p)\n", block);
}

// ---------------------------------------------------------------- texts

std::u16string one_line_text(std::u16string_view text) {
    std::u16string line(text);
    size_t size = line.size();
    for (size_t i = 0; i < size; ++i) {
        char16_t c = line[i];
        if (c != u'\r' && c != u'\n') continue;
        if (i + 1 == size || (line[i + 1] == u'\n' && i + 2 == size)) {
            line.resize(i);
            break;
        }
        line[i] = u' ';
    }
    return line;
}

std::u16string system_message_text(uint32_t code) { return one_line_text(platform::current().error_text(code)); }

std::u16string errno_message_text(int number) { return one_line_text(platform::current().errno_text(number)); }

namespace {
std::u16string& name_storage() {
    static std::u16string name;
    return name;
}
}  // namespace

const std::u16string& program_name() { return name_storage(); }

void set_program_name(std::u16string_view name) { name_storage() = std::u16string(name); }

void exit_out_of_memory() {
    print_to(text_stream::err(), u"%s: inadequate memory.\n", program_name());
    std::exit(1);
}

}  // namespace zub
