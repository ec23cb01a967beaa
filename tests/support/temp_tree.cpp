// Temporary folder trees for tests, built with std::filesystem. Paths are
// UTF-16 on the test side; on POSIX they are turned into bytes with the same
// lossless conversion the platform layer uses, so a test can create a file
// whose name is not valid UTF-8 and find it again through the layer.
#include "tests/support/temp_tree.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/platform.h"
#include "platform/utf.h"

namespace zub::test {

namespace fs = std::filesystem;

namespace {

fs::path to_fs(std::u16string_view text) {
#ifdef _WIN32
    return fs::path(std::wstring(text.begin(), text.end()));
#else
    return fs::path(platform::bytes_from_utf16(text));
#endif
}

std::u16string from_fs(const fs::path& path) {
#ifdef _WIN32
    const std::wstring& w = path.native();
    return std::u16string(w.begin(), w.end());
#else
    return platform::utf16_from_bytes(path.native());
#endif
}

char16_t separator() { return platform::native_path_style() == platform::path_style::windows ? u'\\' : u'/'; }

// Makes every entry under `root` writable so that it can be removed
// (read-only files and folders are refused on Windows).
void make_writable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (it->is_symlink(ignored)) continue;
        fs::permissions(it->path(),
                        fs::perms::owner_read | fs::perms::owner_write |
                            (it->is_directory(ignored) ? fs::perms::owner_exec : fs::perms::none),
                        fs::perm_options::add, ignored);
    }
}

}  // namespace

temp_tree::temp_tree() {
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = fs::current_path();
    std::random_device device;
    std::mt19937_64 random(device() ^
                           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "zub-test-" << std::hex << random() << "-" << counter++;
        fs::path candidate = base / name.str();
        if (fs::create_directory(candidate, ec) && !ec) {
            // Spelled absolute and without "." or ".." so paths built on it
            // can be compared with what the platform layer returns.
            fs::path canonical = fs::canonical(candidate, ec);
            root_ = from_fs(ec ? candidate : canonical);
            return;
        }
    }
    std::fprintf(stderr, "temp_tree: cannot create a folder under %s\n", base.string().c_str());
    std::abort();
}

temp_tree::~temp_tree() {
    const fs::path root = to_fs(root_);
    make_writable(root);
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::u16string temp_tree::path(std::u16string_view relative) const {
    std::u16string result = root_;
    if (relative.empty()) return result;
    result += separator();
    for (char16_t c : relative) result += (c == u'/') ? separator() : c;
    return result;
}

void temp_tree::make_dir(std::u16string_view relative) const {
    std::error_code ec;
    fs::create_directories(to_fs(path(relative)), ec);
}

void temp_tree::write_file(std::u16string_view relative, std::string_view bytes) const {
    const fs::path file = to_fs(path(relative));
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void temp_tree::make_sparse(std::u16string_view relative, uint64_t size) const {
    const fs::path file = to_fs(path(relative));
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    { std::ofstream out(file, std::ios::binary | std::ios::trunc); }
    fs::resize_file(file, size, ec);
}

void temp_tree::rename(std::u16string_view from, std::u16string_view to) const {
    fs::rename(to_fs(path(from)), to_fs(path(to)));
}

bool temp_tree::make_link(std::u16string_view relative, std::u16string_view target, bool folder) const {
    std::error_code ec;
    if (folder)
        fs::create_directory_symlink(to_fs(target), to_fs(path(relative)), ec);
    else
        fs::create_symlink(to_fs(target), to_fs(path(relative)), ec);
    return !ec;
}

bool temp_tree::remove(std::u16string_view relative) const {
    std::error_code ec;
    return fs::remove(to_fs(path(relative)), ec);
}

bool temp_tree::get_read_only(std::u16string_view relative) const {
    std::error_code ec;
    const fs::file_status st = fs::status(to_fs(path(relative)), ec);
    return !ec && (st.permissions() & fs::perms::owner_write) == fs::perms::none;
}

void temp_tree::set_read_only(std::u16string_view relative, bool read_only) const {
    std::error_code ec;
    fs::permissions(to_fs(path(relative)), fs::perms::owner_write,
                    read_only ? fs::perm_options::remove : fs::perm_options::add, ec);
}

void temp_tree::set_write_time(std::u16string_view relative, uint64_t file_time) const {
    using namespace std::chrono;
    // FILETIME counts 100 ns intervals from 1601-01-01; the system clock
    // counts from 1970-01-01.
    constexpr int64_t epoch_difference = 116444736000000000LL;
    const auto since_1970 =
        duration<int64_t, std::ratio<1, 10000000>>(static_cast<int64_t>(file_time) - epoch_difference);
    const auto system = sys_time<nanoseconds>(duration_cast<nanoseconds>(since_1970));
    std::error_code ec;
    fs::last_write_time(to_fs(path(relative)), file_clock::from_sys(system), ec);
}

std::string temp_tree::read_file(std::u16string_view relative) const { return read_whole_file(path(relative)); }

bool temp_tree::exists(std::u16string_view relative) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(to_fs(path(relative)), ec));
}

uint64_t temp_tree::size_of(std::u16string_view relative) const {
    std::error_code ec;
    const uintmax_t size = fs::file_size(to_fs(path(relative)), ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

std::string read_whole_file(std::u16string_view path) {
    std::ifstream in(to_fs(path), std::ios::binary);
    if (!in) return {};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string utf16le(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::u16string from_utf16le(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

std::string narrow(std::u16string_view text) { return platform::bytes_from_utf16(text); }

}  // namespace zub::test
