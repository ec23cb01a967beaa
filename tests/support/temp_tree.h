// Temporary folder trees for tests: a fresh folder under the system's
// temporary folder, removed with everything in it when the object goes away,
// and small helpers to create files (with given bytes, size, time, mode) and
// folders in it and to read files back. Paths are UTF-16 in the native style.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zub::test {

class temp_tree {
public:
    temp_tree();
    ~temp_tree();
    temp_tree(const temp_tree&) = delete;
    temp_tree& operator=(const temp_tree&) = delete;

    // The root folder (absolute, native separators, no trailing separator).
    const std::u16string& root() const { return root_; }
    // root + separator + relative (relative uses '/' and is converted).
    std::u16string path(std::u16string_view relative) const;

    void make_dir(std::u16string_view relative) const;
    void write_file(std::u16string_view relative, std::string_view bytes) const;
    // A sparse file of the given size (no data written).
    void make_sparse(std::u16string_view relative, uint64_t size) const;
    void set_read_only(std::u16string_view relative, bool read_only) const;
    bool get_read_only(std::u16string_view relative) const;
    // Renames (replacing what `to` names), as another program would.
    void rename(std::u16string_view from, std::u16string_view to) const;
    // A symbolic link at `relative` to `target` (false where links cannot be made).
    bool make_link(std::u16string_view relative, std::u16string_view target, bool folder = false) const;
    bool remove(std::u16string_view relative) const;
    // Last-write time as a FILETIME (100 ns since 1601).
    void set_write_time(std::u16string_view relative, uint64_t file_time) const;
    std::string read_file(std::u16string_view relative) const;
    bool exists(std::u16string_view relative) const;
    uint64_t size_of(std::u16string_view relative) const;

private:
    std::u16string root_;
};

// Reads a whole file by absolute path ("" when it cannot be read).
std::string read_whole_file(std::u16string_view path);
// UTF-16LE bytes of an ASCII/UTF-16 text (for comparing file contents).
std::string utf16le(std::u16string_view text);
// The UTF-16LE bytes of a file decoded to UTF-16 (no BOM handling).
std::u16string from_utf16le(std::string_view bytes);
// UTF-8 for readable assertion messages.
std::string narrow(std::u16string_view text);

}  // namespace zub::test
