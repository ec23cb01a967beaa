// The POSIX settings file, read and rewritten a line at a time. Lines are
// matched on their first 64 KiB (more than any section, key or value the
// programs write); a longer line is copied whole when the file is rewritten.
// The rewrite goes to a new file beside the old one that is renamed over it
// (keeping the mode); when the folder refuses new files, the content is
// staged in an unnamed temporary file and copied back in place.
#include "platform/posix/profile_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/platform.h"
#include "platform/posix/common_posix.h"
#include "platform/utf.h"

namespace zub::platform::posix {

namespace {

constexpr size_t LINE_HEAD = 65536;

// The errno value of the call that just failed; EIO for a failure that set none.
int failure_code() { return errno != 0 ? errno : EIO; }

bool same_fold(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    return true;
}

std::u16string_view trim(std::u16string_view s) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// The section name of a "[name]" line.
std::optional<std::u16string_view> section_of(std::u16string_view line) {
    const std::u16string_view t = trim(line);
    if (t.empty() || t.front() != u'[') return std::nullopt;
    const size_t close = t.find(u']');
    return trim(t.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
}

// The key of a "key=value" line.
std::optional<std::u16string_view> key_of(std::u16string_view line) {
    const size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos) return std::nullopt;
    return trim(line.substr(0, eq));
}

// One line: its first LINE_HEAD bytes as text, and where its content (line
// end and a byte-order mark at the start of the file excluded) lies.
struct line {
    std::u16string head;
    uint64_t start = 0;
    uint64_t length = 0;
    bool whole = true;  // the head holds the whole content
};

// Lines of a file from an offset, read with pread so that two readers can
// share one descriptor.
class line_reader {
public:
    line_reader(int fd, uint64_t offset) : fd_(fd), offset_(offset) {}

    bool next(line& out) {
        std::string head;
        uint64_t length = 0;
        char last = 0;
        bool any = false;
        out.start = offset_ + pos_;
        for (;;) {
            if (pos_ == end_ && !refill()) break;
            any = true;
            const char* begin = buffer_ + pos_;
            const char* nl = static_cast<const char*>(memchr(begin, '\n', end_ - pos_));
            const size_t chunk = nl ? static_cast<size_t>(nl - begin) : end_ - pos_;
            if (head.size() < LINE_HEAD) head.append(begin, std::min(chunk, LINE_HEAD - head.size()));
            if (chunk > 0) last = begin[chunk - 1];
            length += chunk;
            pos_ += chunk;
            if (nl) {
                ++pos_;
                break;
            }
        }
        if (!any) return false;
        if (out.start == 0 && head.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            head.erase(0, 3);
            out.start = 3;
            length -= 3;
        }
        out.whole = head.size() == length;
        if (last == '\r' && length > 0) {
            --length;
            if (out.whole) head.pop_back();
        }
        out.length = length;
        out.head = utf16_from_bytes(head);
        return true;
    }
    bool failed() const { return failed_; }

private:
    bool refill() {
        offset_ += end_;
        pos_ = end_ = 0;
        for (;;) {
            const ssize_t n = ::pread(fd_, buffer_, sizeof buffer_, static_cast<off_t>(offset_));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed_ = true;
            if (n <= 0) return false;
            end_ = static_cast<size_t>(n);
            return true;
        }
    }

    int fd_;
    uint64_t offset_;
    char buffer_[65536];
    size_t pos_ = 0, end_ = 0;
    bool failed_ = false;
};

// Whether any line ends in CR LF, and whether the file ends with a line end.
// 0, or the errno value of a failed read.
int scan_line_ends(int fd, bool& crlf, bool& final_newline) {
    char buffer[65536];
    char previous = 0, last = '\n';
    uint64_t offset = 0;
    crlf = false;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failure_code();
        if (n == 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n' && previous == '\r') crlf = true;
            previous = buffer[i];
        }
        last = buffer[n - 1];
        offset += static_cast<uint64_t>(n);
    }
    final_newline = last == '\n';
    return 0;
}

// The rewritten file, written through a buffer: lines joined by the file's
// line end, a line end after the last one when the file had one.
class line_writer {
public:
    line_writer(int in, int out, std::string eol) : in_(in), out_(out), eol_(std::move(eol)) {}

    void text(std::u16string_view line) {
        separate();
        put(bytes_from_utf16(line));
    }
    void copy(const line& l) {
        if (l.whole) return text(l.head);
        separate();
        char chunk[65536];
        for (uint64_t done = 0; done < l.length && ok_;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof chunk, l.length - done));
            const ssize_t n = ::pread(in_, chunk, want, static_cast<off_t>(l.start + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok_ = false;
                break;
            }
            put(std::string_view(chunk, static_cast<size_t>(n)));
            done += static_cast<uint64_t>(n);
        }
    }
    bool finish(bool final_newline) {
        if (final_newline && !first_) put(eol_);
        flush();
        return ok_;
    }

private:
    void separate() {
        if (!first_) put(eol_);
        first_ = false;
    }
    void put(std::string_view bytes) {
        pending_.append(bytes);
        if (pending_.size() >= 65536) flush();
    }
    void flush() {
        if (ok_ && !write_all(out_, pending_.data(), pending_.size())) ok_ = false;
        pending_.clear();
    }

    int in_, out_;
    std::string eol_, pending_;
    bool first_ = true;
    bool ok_ = true;
};

// Copies the whole of `from` (from its start) to `to` (from its current place).
bool copy_file_content(int from, int to) {
    char buffer[65536];
    for (uint64_t offset = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!write_all(to, buffer, static_cast<size_t>(n))) return false;
        offset += static_cast<uint64_t>(n);
    }
}

// Writes the new content of the settings file read from `in` into `out`.
// 0, or the errno value of the failure.
int rewrite(int in, int out, std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    bool crlf = false, final_newline = true;
    if (const int code = scan_line_ends(in, crlf, final_newline); code != 0) return code;
    std::u16string entry(key);
    entry += u'=';
    entry.append(value);

    line_writer writer(in, out, crlf ? "\r\n" : "\n");
    line_reader reader(in, 0);
    enum { before, inside, after } phase = before;
    // Blank lines met inside the section: the new key goes before them, after
    // the section's last line that is not blank. Kept as a place in the file.
    uint64_t blanks = 0, blanks_start = 0;
    auto flush_blanks = [&] {
        line_reader again(in, blanks_start);
        line blank;
        for (; blanks > 0 && again.next(blank); --blanks) writer.copy(blank);
        blanks = 0;
    };
    line l;
    while (reader.next(l)) {
        if (phase == inside) {
            if (section_of(l.head)) {
                writer.text(entry);  // the section ended without the key
                flush_blanks();
                phase = after;
            } else if (trim(l.head).empty()) {
                if (blanks++ == 0) blanks_start = l.start;
                continue;
            } else if (auto k = key_of(l.head); k && same_fold(*k, key)) {
                flush_blanks();
                writer.text(entry);
                phase = after;
                continue;
            } else {
                flush_blanks();
            }
        } else if (phase == before) {
            if (auto name = section_of(l.head); name && same_fold(*name, section)) phase = inside;
        }
        writer.copy(l);
    }
    if (reader.failed()) return EIO;
    if (phase == inside) {
        writer.text(entry);
        flush_blanks();
    } else if (phase == before) {
        std::u16string header = u"[";
        header.append(section);
        header += u']';
        writer.text(header);
        writer.text(entry);
        final_newline = true;
    }
    if (!writer.finish(final_newline)) return failure_code();
    return 0;
}

}  // namespace

std::u16string read_profile(std::u16string_view section, std::u16string_view key, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    line_reader reader(fd, 0);
    bool inside = false;
    line l;
    std::u16string result;
    while (reader.next(l)) {
        if (auto name = section_of(l.head)) {
            inside = same_fold(*name, section);
            continue;
        }
        if (!inside) continue;
        auto k = key_of(l.head);
        if (!k || !same_fold(*k, key)) continue;
        std::u16string_view value = trim(std::u16string_view(l.head).substr(l.head.find(u'=') + 1));
        if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
            value = value.substr(1, value.size() - 2);
        result = value;
        break;
    }
    ::close(fd);
    return result;
}

int write_profile(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                  const std::string& path) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);  // never creates the file
    if (in < 0) return failure_code();
    struct stat st;
    if (fstat(in, &st) != 0) {
        const int code = failure_code();
        ::close(in);
        return code;
    }
    std::string temp = path + ".XXXXXX";
    const int out = mkstemp(temp.data());
    if (out >= 0) {
        int code = fchmod(out, st.st_mode & 07777) == 0 ? rewrite(in, out, section, key, value) : failure_code();
        if (code == 0 && fsync(out) != 0) code = failure_code();
        ::close(out);
        ::close(in);
        if (code == 0 && ::rename(temp.c_str(), path.c_str()) != 0) code = failure_code();
        if (code != 0) ::unlink(temp.c_str());
        return code;
    }
    // The folder refuses new files: stage the content, then copy it back.
    std::FILE* stage = std::tmpfile();
    int code = stage != nullptr ? rewrite(in, fileno(stage), section, key, value) : failure_code();
    ::close(in);
    if (code == 0) {
        const int in_place = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (in_place < 0 || !copy_file_content(fileno(stage), in_place)) code = failure_code();
        if (in_place >= 0) ::close(in_place);
    }
    if (stage) std::fclose(stage);
    return code;
}

}  // namespace zub::platform::posix
