// Text output, messages and memory: the printers through which every message,
// result line and log line passes, the system's text for an error code, and
// the engine's page-aligned compare buffers.
//
// A text_stream is a standard stream (recognised by identity) or a file.
// Per call, a standard stream that is an interactive console receives the
// text as characters (WriteConsoleW / UTF-8 on a terminal); everything else
// receives raw UTF-16LE code units with every LF written as CR LF and no
// byte-order mark, or UTF-8 when that is chosen (text_encoding.h). A stream
// whose file could not be opened swallows writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/text_encoding.h"
#include "foundation/text_format.h"
#include "platform/platform.h"

namespace zub {

class text_stream {
public:
    text_stream() = default;
    ~text_stream();
    text_stream(const text_stream&) = delete;
    text_stream& operator=(const text_stream&) = delete;

    // The two standard streams (process-wide objects).
    static text_stream& out();
    static text_stream& err();

    // Opens a file for writing ("w": emptied, "a": appended). Returns false
    // when the file cannot be opened; the stream then stays closed, every
    // write to it is harmless, and it counts as failed. The file takes the
    // output encoding, except that appended text keeps the encoding of the
    // text already there.
    bool open(std::u16string_view path, platform::write_mode mode);
    // Writes what is collected and closes the file; a failure of either
    // counts as a failed write.
    void close();
    bool is_open() const { return file_.valid(); }
    bool is_standard() const { return standard_; }
    platform::std_stream which() const { return which_; }
    platform::file_handle file() const { return file_; }
    // A standard stream follows the output encoding of the moment.
    text_encoding encoding() const { return standard_ ? output_encoding() : encoding_; }
    // For a file that has one encoding whatever was chosen (a shell script).
    void set_encoding(text_encoding encoding) { encoding_ = encoding; }

    // Writes raw bytes (for the byte-order mark). False when closed or failed.
    bool write_bytes(const void* data, size_t count);
    // Where a message's encoded bytes are appended: a file's collected text,
    // or for a standard stream an empty buffer of the calling thread.
    std::string& encoded();
    // Hands on what was appended: a standard stream writes the message at
    // once; a file writes whole lines in large writes, so that it ends on a
    // complete line whenever the program stops. False when a write failed
    // (the stream then counts as failed).
    bool commit();
    // Writes what the stream has collected. False when that failed.
    bool flush();
    // Current length of an open file (collected text included), -1 when unknown.
    int64_t length() const;
    // Whether the file could not be opened or a write to it has failed (a
    // full disk, say), until it is opened again or the failure is forgotten.
    bool failed() const { return failed_; }
    void forget_failure() { failed_ = false; }

private:
    text_stream(platform::std_stream which) : standard_(true), which_(which) {}
    bool standard_ = false;
    platform::std_stream which_ = platform::std_stream::output;
    platform::file_handle file_ = platform::INVALID_HANDLE;
    bool failed_ = false;
    text_encoding encoding_ = text_encoding::utf16le;
    std::string pending_;  // collected bytes not yet written
};

// Format buffer sizes in UTF-16 units (terminating NUL included).
inline constexpr size_t PRINT_BUFFER_UNITS = 33792;    // print_to, print_out
inline constexpr size_t VERBOSE_BUFFER_UNITS = 32769;  // print_verbose

// Writes `count` units of `unit_size` bytes (always 2) as UTF-16LE with each
// LF written as CR LF (or in the stream's UTF-8 form), whole and in one write
// call. Returns the number of units written (inserted CRs included), 0 when
// unit_size * count is not positive or the stream is closed (a closed stream
// swallows the text), -1 when the write failed.
int write_text(const char16_t* units, int unit_size, int count, text_stream& stream);

// Text as it may reach a console or terminal: every control character but
// the line feed and the tab becomes '?', so that a file name cannot move the
// cursor, clear the screen or retitle the window. (Files keep exact names.)
std::u16string terminal_text(std::u16string_view text);

// Formats and writes one message. Returns the number of units formatted; 0
// for an empty format; -1 when the write fails (a file's collected text
// counts when it is handed on). A message longer than
// the format buffer is not written at all (and -1 is returned).
// The console test is made per call for the standard streams.
int vprint_to(text_stream& stream, std::u16string_view format, fmt_args args);
int vprint_out(std::u16string_view format, fmt_args args);

template <typename... A>
int print_to(text_stream& stream, std::u16string_view format, const A&... a) {
    return vprint_to(stream, format, {fmt_arg(a)...});
}
template <typename... A>
int print_out(std::u16string_view format, const A&... a) {
    return vprint_out(format, {fmt_arg(a)...});
}

// The console record used by print_verbose: whether standard output was a
// console when the run started. The run driver takes it once per run; when
// the handle is invalid the previous record is kept.
void take_console_record();
int vprint_verbose(std::u16string_view format, fmt_args args);
template <typename... A>
int print_verbose(std::u16string_view format, const A&... a) {
    return vprint_verbose(format, {fmt_arg(a)...});
}

// Committed read-write pages; on failure writes "can't alloc memory (%d Bytes)\n"
// to standard error and returns null.
void* reserve_block(size_t size);
// Releases a block of reserve_block; on failure writes "can't free memory (%p)\n".
void release_block(void* block, size_t size);

// The system's one-line text for an OS error code: a trailing line break is
// removed and inner line breaks become blanks.
std::u16string system_message_text(uint32_t code);
// The line-break rule of system_message_text: a CR or LF followed by the end
// of the text, or by an LF that is followed by the end, ends the text there;
// every other CR or LF becomes a blank.
std::u16string one_line_text(std::u16string_view text);

// The C library's text for an errno value.
std::u16string errno_message_text(int number);

// Messages that name the program use this (argument 0 as received).
const std::u16string& program_name();
void set_program_name(std::u16string_view name);

// The new_handler of the console programs: gives the compare buffers back
// (which leaves room to write the line), writes "<program>: inadequate
// memory.\n" to standard error and ends the process with 1.
[[noreturn]] void exit_out_of_memory();

}  // namespace zub
