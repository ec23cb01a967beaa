// A platform layer answered from tables, for the path and enumeration tests
// that need a file system of a given shape regardless of the machine: full
// paths by name, search results by pattern, attributes and file sizes by path.
// Every other call is refused (forwarding_os with no layer behind it).
// Failing calls hand back an error code as the real layers do (`missing_code`
// for a search or attribute miss).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/os_layers.h"

namespace zub::test {

class table_os : public forwarding_os {
public:
    table_os() : forwarding_os(nullptr) {}

    std::map<std::u16string, std::u16string> full_paths;                   // name -> full path
    std::map<std::u16string, std::vector<platform::find_entry>> searches;  // pattern -> entries
    std::map<std::u16string, uint32_t> find_errors;                        // pattern -> error code
    std::map<std::u16string, platform::attr_bits> attributes;              // path -> attribute bits
    std::map<std::u16string, uint64_t> open_sizes;                         // path -> size when opened
    std::vector<std::u16string> searched;                                  // patterns asked, in order
    uint32_t missing_code = platform::ERR_FILE_NOT_FOUND;
    int open_searches = 0;
    bool fail_close = false;  // find_close reports failure

    // A search that finds one entry with this name and these attributes.
    void add_entry(std::u16string pattern, std::u16string name,
                   platform::attr_bits attrs = platform::attr_bits::DIRECTORY, uint64_t size = 0) {
        platform::find_entry e;
        e.name = std::move(name);
        e.attributes = attrs;
        e.size = size;
        searches[std::move(pattern)].push_back(e);
    }

    platform::search_handle find_first(std::u16string_view pattern, platform::find_entry& entry,
                                       uint32_t& error) override {
        searched.emplace_back(pattern);
        std::u16string key(pattern);
        if (auto f = find_errors.find(key); f != find_errors.end()) return fail(error, f->second, NO_HANDLE);
        auto it = searches.find(key);
        if (it == searches.end() || it->second.empty()) return fail(error, missing_code, NO_HANDLE);
        open_.push_back({it->second, 1});
        ++open_searches;
        entry = it->second[0];
        return platform::search_handle{static_cast<intptr_t>(open_.size() - 1)};
    }
    bool find_next(platform::search_handle search, platform::find_entry& entry, uint32_t& error) override {
        auto& s = open_.at(static_cast<size_t>(search.value));
        if (s.next >= s.entries.size()) return fail(error, platform::ERR_NO_MORE_FILES, false);
        entry = s.entries[s.next++];
        return true;
    }
    bool find_close(platform::search_handle, uint32_t& error) override {
        if (fail_close) return refuse(error, false);
        --open_searches;
        return true;
    }
    bool entry_of(std::u16string_view path, platform::find_entry& entry, uint32_t& error) override {
        platform::search_handle search = find_first(path, entry, error);
        return search.valid() && find_close(search, error);
    }
    platform::attr_bits get_attributes(std::u16string_view path, uint32_t& error) override {
        auto it = attributes.find(std::u16string(path));
        if (it == attributes.end()) return fail(error, missing_code, platform::INVALID_ATTRIBUTES);
        return it->second;
    }
    bool full_path(std::u16string_view name, std::u16string& out, bool*, uint32_t& error) override {
        auto it = full_paths.find(std::u16string(name));
        if (it == full_paths.end()) return fail(error, 123, false);
        out = it->second;
        return true;
    }
    platform::file_handle open_read(std::u16string_view path, platform::read_mode, uint32_t& error) override {
        auto it = open_sizes.find(std::u16string(path));
        if (it == open_sizes.end()) return refuse(error, platform::file_handle{});
        opened_.push_back(it->second);
        return platform::file_handle{static_cast<intptr_t>(opened_.size() - 1)};
    }
    bool size_of(platform::file_handle file, uint64_t& size, uint32_t&) override {
        size = opened_.at(static_cast<size_t>(file.value));
        return true;
    }
    bool close(platform::file_handle, uint32_t&) override { return true; }

private:
    struct open_search {
        std::vector<platform::find_entry> entries;
        size_t next = 0;
    };
    std::vector<open_search> open_;
    std::vector<uint64_t> opened_;
};

}  // namespace zub::test
