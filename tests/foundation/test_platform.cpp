// The platform layer through its interface, as the rest of the code sees it:
// directory search with wildcards, attributes, error codes, full paths,
// identity, reading, the profile file and the run lock; then the
// fault-injecting layer's rules (its captured streams, executable path and
// scripted picker serve the output and settings tests). Cases that only make sense for the POSIX
// meanings skip on Windows. (Empty folders and 5 GiB sizes are checked
// through the enumeration tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <set>

#include "platform/platform.h"
#include "tests/support/faulty_os.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zub::test {
namespace {

using namespace platform;
using names = std::set<std::u16string>;

bool posix() { return native_path_style() == path_style::posix; }

// Every name the search returns for `pattern`; `end_code` gets the error that
// ended the search.
std::vector<std::u16string> list(std::u16string_view pattern, uint32_t* end_code = nullptr) {
    std::vector<std::u16string> found;
    find_entry entry;
    uint32_t error = 0;
    search_handle search = current().find_first(pattern, entry, error);
    if (search.valid()) {
        do found.push_back(entry.name);
        while (current().find_next(search, entry, error));
        EXPECT_TRUE(current().find_close(search, error));
    }
    if (end_code) *end_code = error;
    return found;
}
names as_set(const std::vector<std::u16string>& v) { return {v.begin(), v.end()}; }

// Reads up to 64 bytes of an open file; the read is to fail with the code
// `expect_error` when that is not 0.
std::string read_some(os& layer, file_handle file, uint32_t count = 64, uint32_t expect_error = 0) {
    char buffer[64] = {};
    uint32_t got = 0, error = 0;
    EXPECT_EQ(layer.read(file, buffer, count, got, error), expect_error == 0);
    EXPECT_EQ(error, expect_error);
    return std::string(buffer, got);
}

// Reads an open file to its end in calls of `chunk` bytes.
std::string read_whole(file_handle file, uint32_t chunk) {
    std::string back;
    std::vector<char> buffer(chunk);
    uint32_t got = 0, error = 0;
    do {
        if (!current().read(file, buffer.data(), chunk, got, error)) {
            ADD_FAILURE() << "read failed";
            break;
        }
        back.append(buffer.data(), got);
    } while (got == chunk);
    return back;
}

TEST(platform_layer, wildcards_match_the_last_component) {
    temp_tree tree;
    for (auto name : {u"abc", u"adc", u"abcd", u"x.txt", u"z.txt", u"y.txt.log", u"noext"}) tree.write_file(name, "1");
    EXPECT_EQ(as_set(list(tree.path(u"*.*"))),
              (names{u".", u"..", u"abc", u"adc", u"abcd", u"x.txt", u"z.txt", u"y.txt.log", u"noext"}));
    EXPECT_EQ(as_set(list(tree.path(u"a?c"))), (names{u"abc", u"adc"}));  // more rows: test_wildcard_match.cpp
    uint32_t code = 0;
    EXPECT_EQ(list(tree.path(u"abc"), &code), std::vector<std::u16string>{u"abc"});  // no wildcard: that entry only
    EXPECT_TRUE(is_not_found(code)) << code;
    EXPECT_TRUE(list(tree.path(u"*.none"), &code).empty());
    EXPECT_TRUE(is_not_found(code)) << code;
    // A folder with a trailing separator is no pattern; with "*.*" it lists.
    tree.write_file(u"sub/a", "x");
    const std::u16string trailing = tree.path(u"sub/");
    EXPECT_TRUE(list(trailing, &code).empty());
    EXPECT_TRUE(is_not_found(code)) << code;
    EXPECT_EQ(as_set(list(trailing + u"*.*")), (names{u".", u"..", u"a"}));
}

TEST(platform_layer, missing_paths_fail_with_not_found) {
    temp_tree tree;
    for (const auto& pattern : {tree.path(u"missing"), tree.path(u"nodir/*.*")}) {
        uint32_t code = 0;
        EXPECT_TRUE(list(pattern, &code).empty());
        EXPECT_TRUE(is_not_found(code)) << code;
        EXPECT_EQ(errno_from_os_error(code), ENOENT);
    }
    uint32_t error = 0;
    EXPECT_EQ(current().get_attributes(tree.path(u"missing"), error), INVALID_ATTRIBUTES);
    EXPECT_TRUE(is_not_found(error));
    EXPECT_FALSE(current().open_read(tree.path(u"missing"), read_mode::compare, error).valid());
    EXPECT_TRUE(is_not_found(error));
}

TEST(platform_layer, read_only_and_folder_bits_are_reported) {
    temp_tree tree;
    tree.write_file(u"ro", "data");
    tree.set_read_only(u"ro", true);
    uint32_t error = 0;
    EXPECT_EQ(current().get_attributes(tree.path(u"ro"), error) & (attr_bits::READONLY | attr_bits::DIRECTORY),
              attr_bits::READONLY);
    tree.set_read_only(u"ro", false);
    EXPECT_FALSE(has(current().get_attributes(tree.path(u"ro"), error), attr_bits::READONLY));
    tree.make_dir(u"d");
    EXPECT_TRUE(has(current().get_attributes(tree.path(u"d"), error), attr_bits::DIRECTORY));
}

TEST(platform_layer, posix_attribute_meanings) {
    if (!posix()) GTEST_SKIP() << "POSIX meanings";
    temp_tree tree;
    tree.write_file(u".hidden", "h");
    tree.write_file(u"plain", "p");
    using A = attr_bits;
    uint32_t error = 0;
    EXPECT_TRUE(has(current().get_attributes(tree.path(u".hidden"), error), A::HIDDEN));
    const A plain = current().get_attributes(tree.path(u"plain"), error);
    EXPECT_EQ(plain & (A::HIDDEN | A::READONLY | A::DIRECTORY | A::REPARSE_POINT | A::ARCHIVE), A::ARCHIVE);
    find_entry entry;  // "." and ".." are not hidden
    search_handle search = current().find_first(tree.path(u"*.*"), entry, error);
    ASSERT_TRUE(search.valid());
    do {
        if (entry.name == u"." || entry.name == u"..") {
            EXPECT_FALSE(has(entry.attributes, A::HIDDEN));
        }
    } while (current().find_next(search, entry, error));
    current().find_close(search, error);
#ifndef _WIN32
    // A link to a folder is a folder that is also a reparse point.
    tree.make_dir(u"target");
    ASSERT_EQ(symlink(narrow(tree.path(u"target")).c_str(), narrow(tree.path(u"link")).c_str()), 0);
    EXPECT_EQ(current().get_attributes(tree.path(u"link"), error) & (A::DIRECTORY | A::REPARSE_POINT),
              A::DIRECTORY | A::REPARSE_POINT);
#endif
}

TEST(platform_layer, name_that_is_not_utf8_is_listed_and_opened_again) {
    if (!posix()) GTEST_SKIP() << "file names are bytes only on POSIX";
    temp_tree tree;
    const std::u16string odd = u"bad\xDCFFname\xDCC3";  // bytes 0xFF and a cut 0xC3
    tree.write_file(odd, "content");
    const auto found = list(tree.path(u"*.*"));
    ASSERT_NE(std::find(found.begin(), found.end(), odd), found.end());
    uint32_t error = 0;
    file_handle file = current().open_read(tree.path(odd), read_mode::compare, error);
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(read_some(current(), file, 16), "content");
    current().close(file, error);
    file_id folder;
    ASSERT_TRUE(current().file_identity(tree.root(), folder));
    file = current().open_for_change(tree.path(odd), change_kind::remove, error);
    EXPECT_TRUE(current().delete_opened(file, tree.path(odd), folder, error));
    current().close(file, error);
    EXPECT_FALSE(tree.exists(odd));
}

TEST(platform_layer, full_path_resolves_dots_by_text) {
    temp_tree tree;
    std::u16string out, here;
    bool file_part = false;
    uint32_t error = 0;
    ASSERT_TRUE(current().full_path(tree.path(u"sub/../f"), out, &file_part, error));
    EXPECT_EQ(out, tree.path(u"f"));
    EXPECT_TRUE(file_part);
    ASSERT_TRUE(current().full_path(tree.path(u"sub/"), out, &file_part, error));
    EXPECT_FALSE(file_part);
    ASSERT_TRUE(current().current_dir(here));
    ASSERT_TRUE(current().full_path(u"rel", out, nullptr, error));
    const char16_t sep = posix() ? u'/' : u'\\';
    EXPECT_EQ(out, here.back() == sep ? here + u"rel" : here + sep + u"rel");
    if (!posix()) return;
    // ".." after a link to a folder is the parent of the link's target.
    tree.make_dir(u"real/backup/current");
    ASSERT_TRUE(tree.make_link(u"dlink", tree.path(u"real/backup/current"), true));
    ASSERT_TRUE(current().full_path(tree.path(u"dlink/../x"), out, nullptr, error));
    EXPECT_EQ(out, tree.path(u"real/backup/x"));
    for (auto [in, expected, part] : {std::tuple{u"/a/./b/../c//d", u"/a/c/d", true},
                                      {u"/..", u"/", false},
                                      {u"/a\\b", u"/a\\b", true}}) {  // a backslash is an ordinary character
        ASSERT_TRUE(current().full_path(in, out, &file_part, error));
        EXPECT_EQ(out, expected);
        EXPECT_EQ(file_part, part) << narrow(in);
    }
}

// The first Ctrl+C (here SIGINT) is recorded for the run to stop at its
// next poll; the process goes on.
TEST(platform_layer, first_interrupt_is_recorded_not_fatal) {
    if (!posix()) GTEST_SKIP() << "a console event cannot be sent here";
    watch_interrupts();
    EXPECT_FALSE(interrupt_requested());
    std::raise(SIGINT);
    EXPECT_TRUE(interrupt_requested());
}

#ifndef _WIN32
// In a process of its own: SIGHUP stops a run like Ctrl+C, SIGPIPE and
// SIGXFSZ leave the process alive (the write fails instead), and a second
// interruption waits for the end of a hold before it ends the process.
TEST(platform_layer, signals_stop_cleanly_and_wait_for_a_hold) {
    int marker[2];
    ASSERT_EQ(pipe(marker), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        watch_interrupts();
        std::raise(SIGPIPE);
        std::raise(SIGXFSZ);
        std::raise(SIGHUP);
        if (!interrupt_requested()) _exit(2);
        hold_interrupts();
        std::raise(SIGHUP);  // the second one: held
        if (write(marker[1], "h", 1) != 1) _exit(3);
        release_interrupts();
        _exit(4);  // not reached: the held signal ends the process
    }
    close(marker[1]);
    char seen = 0;
    EXPECT_EQ(read(marker[0], &seen, 1), 1);
    close(marker[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(seen, 'h');
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
}
#endif

TEST(platform_layer, identity_follows_the_file_not_the_spelling) {
    temp_tree tree;
    tree.write_file(u"f", "1");
    tree.write_file(u"g", "1");
    tree.make_dir(u"sub");
    file_id a, b, c;
    ASSERT_TRUE(current().file_identity(tree.path(u"f"), a));
    ASSERT_TRUE(current().file_identity(tree.path(u"sub/../f"), b));
    ASSERT_TRUE(current().file_identity(tree.path(u"g"), c));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a == c);
    EXPECT_FALSE(current().file_identity(tree.path(u"missing"), a));
}

TEST(platform_layer, reads_are_short_only_at_the_end) {
    temp_tree tree;
    std::string content;
    for (int i = 0; i < 100000; ++i) content.push_back(static_cast<char>(i * 7));
    tree.write_file(u"data", content);
    uint32_t error = 0;
    file_handle file = current().open_read(tree.path(u"data"), read_mode::compare, error);
    ASSERT_TRUE(file.valid());
    std::string back;
    std::vector<char> buffer(8192);
    uint32_t got = 0;
    int short_reads = 0;
    do {
        ASSERT_TRUE(current().read(file, buffer.data(), static_cast<uint32_t>(buffer.size()), got, error));
        back.append(buffer.data(), got);
        short_reads += got < buffer.size();
    } while (got == buffer.size());
    EXPECT_EQ(short_reads, 1);
    EXPECT_EQ(back, content);
    EXPECT_TRUE(current().close(file, error));
    tree.make_dir(u"folder");
    EXPECT_FALSE(current().open_read(tree.path(u"folder"), read_mode::compare, error).valid());
}

#ifndef _WIN32
// One byte a page of the file: whether the page cache holds it.
std::vector<unsigned char> cached_pages(const std::string& path, size_t size) {
    const int fd = open(path.c_str(), O_RDONLY);
    void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    std::vector<unsigned char> pages((size + 4095) / 4096);
    EXPECT_EQ(mincore(map, size, pages.data()), 0);
    for (unsigned char& p : pages) p &= 1;
    munmap(map, size);
    close(fd);
    return pages;
}

// A comparison's reads of a file the cache holds in part leave it holding
// the same pages: the ones it held stay, the ones read in are dropped again.
TEST(platform_layer, compare_reads_leave_the_page_cache_as_it_was) {
    temp_tree tree;
    const size_t size = 6 * 1048576 + 1000;
    std::string content(size, '\0');
    for (size_t i = 0; i < size; i += 997) content[i] = static_cast<char>(i);
    tree.write_file(u"data", content);
    const std::string path = narrow(tree.path(u"data"));
    const int fd = open(path.c_str(), O_RDONLY);
    fdatasync(fd);
    for (off_t at = 0; at < static_cast<off_t>(size); at += off_t{2} * 1048576)  // every other MiB out
        posix_fadvise(fd, at, 1048576, POSIX_FADV_DONTNEED);
    close(fd);
    const std::vector<unsigned char> before = cached_pages(path, size);
    if (std::count(before.begin(), before.end(), 0) == 0) GTEST_SKIP() << "this file system keeps every page";

    uint32_t error = 0;
    file_handle file = current().open_read(tree.path(u"data"), read_mode::compare, error);
    ASSERT_TRUE(file.valid());
    EXPECT_TRUE(read_whole(file, 1048576) == content);
    EXPECT_TRUE(current().close(file, error));
    EXPECT_EQ(cached_pages(path, size), before);
}

// Small files read after many cached ones (a thread that no longer counts
// their pages first) are read right and leave the cache as it was: a file
// not cached stays uncached, one cached in part keeps its cached page.
TEST(platform_layer, small_files_after_cached_ones_leave_the_page_cache_as_it_was) {
    temp_tree tree;
    const auto read_small = [&](const std::u16string& name) {
        uint32_t error = 0;
        file_handle file = current().open_read(tree.path(name), read_mode::compare, error);
        EXPECT_TRUE(file.valid());
        std::string back = read_whole(file, 8192);
        EXPECT_TRUE(current().close(file, error));
        return back;
    };
    const std::string content = std::string(4096, 'x') + std::string(4000, 'y');
    for (const bool first_page_cached : {false, true}) {
        for (int i = 0; i < 20; ++i) {
            tree.write_file(u"warm", std::string(5000, static_cast<char>('a' + i)));
            EXPECT_EQ(read_small(u"warm"), std::string(5000, static_cast<char>('a' + i)));
        }
        tree.write_file(u"small", content);
        const std::string path = narrow(tree.path(u"small"));
        const int fd = open(path.c_str(), O_RDONLY);
        fdatasync(fd);
        posix_fadvise(fd, first_page_cached ? 4096 : 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
        const std::vector<unsigned char> before = cached_pages(path, content.size());
        if (before[1] != 0) GTEST_SKIP() << "this file system keeps every page";
        EXPECT_EQ(read_small(u"small"), content) << first_page_cached;
        EXPECT_EQ(cached_pages(path, content.size()), before) << first_page_cached;
    }
}
#endif

// A file opened with the size it was listed with is still read to its real
// end, and its status is the file's own when asked for.
TEST(platform_layer, listed_open_reads_to_the_real_end) {
    temp_tree tree;
    std::string content(20000, 'g');
    content[19999] = 'h';
    tree.write_file(u"grown", content);
    // 8192: the file grew by more than a read since it was listed, and the
    // listed size ends where a read ends.
    uint32_t error = 0;
    for (uint64_t listed : {uint64_t{20000}, uint64_t{8192}, uint64_t{4096}, uint64_t{100}}) {
        file_handle file = current().open_listed(tree.path(u"grown"), listed, error);
        ASSERT_TRUE(file.valid());
        EXPECT_TRUE(read_whole(file, 8192) == content) << listed;
        file_state state;
        ASSERT_TRUE(current().state_of(file, state, error));
        EXPECT_EQ(state.size, 20000u);
        EXPECT_TRUE(current().close(file, error));
    }
    EXPECT_FALSE(current().open_listed(tree.path(u"missing"), 10, error).valid());
    EXPECT_TRUE(is_not_found(error));
}

// Lookups find a folder that was removed and made again since the last
// lookup in it, or, from the next listing of a folder on, one that was
// moved away and replaced: the new one.
TEST(platform_layer, lookups_find_a_folder_made_again) {
    temp_tree tree;
    tree.make_dir(u"d");
    tree.write_file(u"d/a", "old");
    find_entry entry;
    uint32_t error = 0;
    EXPECT_TRUE(current().entry_of(tree.path(u"d/a"), entry, error));
    ASSERT_TRUE(tree.remove(u"d/a"));
    ASSERT_TRUE(tree.remove(u"d"));
    tree.make_dir(u"d");
    tree.write_file(u"d/b", "new");
    EXPECT_TRUE(current().entry_of(tree.path(u"d/b"), entry, error));
    file_handle file = current().open_read(tree.path(u"d/b"), read_mode::compare, error);
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(read_some(current(), file), "new");
    EXPECT_TRUE(current().close(file, error));
    EXPECT_FALSE(current().entry_of(tree.path(u"d/a"), entry, error));
    EXPECT_TRUE(is_not_found(error));

    tree.rename(u"d", u"moved");
    tree.make_dir(u"d");
    tree.write_file(u"d/b", "newer");
    EXPECT_EQ(list(tree.path(u"d/*")).size(), 3u);  // ".", ".." and b
    file = current().open_listed(tree.path(u"d/b"), 5, error);
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(read_some(current(), file), "newer");
    EXPECT_TRUE(current().close(file, error));
}

TEST(platform_layer, changes_act_on_the_opened_file_only) {
    temp_tree tree;
    tree.write_file(u"f", "abc");
    tree.write_file(u"g", "xyz");
    tree.make_dir(u"d");
    file_id folder;
    uint32_t error = 0;
    ASSERT_TRUE(current().file_identity(tree.root(), folder));
    EXPECT_TRUE(current().can_write(tree.path(u"f")));
    EXPECT_FALSE(current().can_write(tree.path(u"missing")));
    EXPECT_FALSE(current().open_for_change(tree.path(u"missing"), change_kind::remove, error).valid());
    EXPECT_TRUE(is_not_found(error));

    file_handle f = current().open_for_change(tree.path(u"f"), change_kind::empty, error);
    ASSERT_TRUE(f.valid());
    file_state state, by_path;
    ASSERT_TRUE(current().state_of(f, state, error));
    ASSERT_TRUE(current().path_state(tree.path(u"f"), by_path, error));
    EXPECT_EQ(state, by_path);
    EXPECT_EQ(state.size, 3u);
    EXPECT_EQ(state.links, 1u);
    EXPECT_TRUE(state.regular);
    EXPECT_TRUE(current().set_read_only(f, true, error));
    EXPECT_TRUE(has(current().get_attributes(tree.path(u"f"), error), attr_bits::READONLY));
    EXPECT_TRUE(current().set_read_only(f, false, error));
    // The name now leads to another file: emptying acts on the opened one.
    // Windows deletes the opened file by its handle; POSIX deletes by name
    // and refuses a name that moved on.
    tree.rename(u"f", u"f2");
    tree.rename(u"g", u"f");
    EXPECT_TRUE(current().truncate_opened(f, error));
    EXPECT_EQ(tree.size_of(u"f2"), 0u);
    EXPECT_EQ(tree.read_file(u"f"), "xyz");
    // (Wine keeps the file that moved away; Windows removes it.)
    EXPECT_EQ(current().delete_opened(f, tree.path(u"f"), folder, error), !posix());
    if (posix()) {
        EXPECT_TRUE(is_changed_refusal(error));
    }
    current().close(f, error);
    EXPECT_EQ(tree.read_file(u"f"), "xyz");

    f = current().open_for_change(tree.path(u"f"), change_kind::remove, error);
    ASSERT_TRUE(f.valid());
    EXPECT_FALSE(current().delete_opened(f, tree.path(u"f"), file_id{folder.device, folder.index + 1}, error));
    EXPECT_TRUE(is_changed_refusal(error));
    EXPECT_TRUE(current().delete_opened(f, tree.path(u"f"), folder, error));
    current().close(f, error);
    EXPECT_FALSE(tree.exists(u"f"));
    EXPECT_TRUE(tree.exists(u"f2"));
    for (auto [mode, text] : {std::pair{write_mode::truncate, "one"}, {write_mode::append, "two"}}) {
        file_handle out = current().open_write(tree.path(u"w"), mode, error);
        ASSERT_TRUE(out.valid());
        EXPECT_TRUE(current().write(out, text, 3, error));
        EXPECT_TRUE(current().close(out, error));
    }
    EXPECT_EQ(tree.read_file(u"w"), "onetwo");
}

TEST(platform_layer, run_lock_is_exclusive_between_two_opens) {
    temp_tree tree;
    const std::u16string path = tree.path(u"__LOCK__");
    uint32_t error = 0;
    lock_handle first = current().open_lock(path, error);
    ASSERT_TRUE(first.valid());
    EXPECT_TRUE(tree.exists(u"__LOCK__"));
    EXPECT_FALSE(current().open_lock(path, error).valid());
    EXPECT_TRUE(current().release_lock(first));
    lock_handle again = current().open_lock(path, error);
    EXPECT_TRUE(again.valid());
    current().release_lock(again);
}

TEST(platform_layer, profile_write_replaces_in_place_and_never_creates) {
    temp_tree tree;
    const std::u16string ini = tree.path(u"zub64.ini");
    tree.write_file(u"zub64.ini",
                    "[options]\r\nBOM=0\r\n\r\n[history0]\r\nsource=old\r\n; note\r\n\r\n[last]\r\nk=v\r\n");
    EXPECT_EQ(current().profile_read(u"HISTORY0", u"Source", ini), u"old");
    EXPECT_EQ(current().profile_read(u"none", u"source", ini), u"");
    EXPECT_TRUE(current().profile_write(u"history0", u"source", u"new", ini));
    EXPECT_TRUE(current().profile_write(u"history0", u"destination", u"D", ini));
    EXPECT_TRUE(current().profile_write(u"extra", u"key", u"1", ini));
    EXPECT_EQ(current().profile_read(u"history0", u"source", ini), u"new");
    EXPECT_EQ(current().profile_read(u"history0", u"destination", ini), u"D");
    EXPECT_EQ(current().profile_read(u"extra", u"key", ini), u"1");
    EXPECT_EQ(current().profile_read(u"last", u"k", ini), u"v");
    EXPECT_EQ(tree.read_file(u"zub64.ini").find("old"), std::string::npos);
    if (posix()) {
        EXPECT_EQ(tree.read_file(u"zub64.ini"),
                  "[options]\r\nBOM=0\r\n\r\n[history0]\r\nsource=new\r\n; note\r\ndestination=D\r\n\r\n"
                  "[last]\r\nk=v\r\n[extra]\r\nkey=1\r\n");
        // The POSIX layer refuses to create the file itself; the Windows call
        // creates it, which is why callers test can_write first.
        EXPECT_FALSE(current().profile_write(u"history0", u"source", u"x", tree.path(u"absent.ini")));
        EXPECT_FALSE(tree.exists(u"absent.ini"));
    }
    EXPECT_EQ(current().profile_read(u"history0", u"source", tree.path(u"absent.ini")), u"");
    tree.write_file(u"p.ini", "[s]\nplain =  spaced value  \nquoted=\"in quotes\"\n");
    EXPECT_EQ(current().profile_read(u"s", u"plain", tree.path(u"p.ini")), u"spaced value");
    EXPECT_EQ(current().profile_read(u"s", u"quoted", tree.path(u"p.ini")), u"in quotes");
}

TEST(platform_layer, pages_texts_and_times) {
    const size_t page = page_size();
    EXPECT_GE(page, 4096u);
    EXPECT_EQ(page & (page - 1), 0u);
    auto* block = static_cast<unsigned char*>(current().reserve_pages(3 * page + 1));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % page, 0u);
    block[0] = 1;
    block[4 * page - 1] = 2;
    EXPECT_TRUE(current().release_pages(block, 3 * page + 1));
    EXPECT_FALSE(current().errno_text(ENOENT).empty());
    if (posix()) {
        const std::u16string text = current().error_text(ENOENT);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), u'\n');
    }
    system_time fields;
    ASSERT_TRUE(current().local_time(132000000001234567ULL, fields));
    EXPECT_EQ(fields.millisecond, 123);
    EXPECT_EQ(fields.year, 2019);
    EXPECT_FALSE(current().local_time(0x8000000000000000ULL, fields));
}

#ifndef _WIN32
// Runs the terminal folder prompt with `input` as standard input.
std::optional<std::u16string> pick_with_input(const std::string& input, std::u16string_view initial) {
    int in[2];
    if (pipe(in) != 0) return u"pipe failed";
    EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(in[1]);
    const int saved_in = dup(0), saved_err = dup(2), null = open("/dev/null", O_WRONLY);
    dup2(in[0], 0);
    dup2(null, 2);
    auto result = current().pick_folder(u"", initial);
    dup2(saved_in, 0);
    dup2(saved_err, 2);
    for (int fd : {in[0], null, saved_in, saved_err}) close(fd);
    return result;
}

TEST(platform_layer, terminal_folder_prompt) {
    temp_tree tree;
    tree.make_dir(u"a");
    tree.write_file(u"file", "");
    const std::u16string a = tree.path(u"a");
    EXPECT_EQ(pick_with_input("\n", a), a);
    EXPECT_EQ(pick_with_input(narrow(tree.path(u"file")) + "\n" + narrow(a) + "\n", u"/"), a);
    EXPECT_EQ(pick_with_input("", a), std::nullopt);
    EXPECT_EQ(pick_with_input(narrow(tree.path(u"missing")) + "\n", a), std::nullopt);
}
#endif

// ---- the fault-injecting layer ----

TEST(faulty_layer, installs_for_a_scope_and_forwards_by_default) {
    temp_tree tree;
    tree.write_file(u"f", "abc");
    faulty_os faults;
    {
        faulty_os_scope scope(faults);
        EXPECT_EQ(&current(), &faults);
        uint32_t error = 0;
        file_handle file = current().open_read(tree.path(u"f"), read_mode::compare, error);
        ASSERT_TRUE(file.valid());
        EXPECT_EQ(read_some(current(), file, 8), "abc");
        EXPECT_TRUE(current().close(file, error));
        EXPECT_EQ(faults.open_count(tree.path(u"f")), 1);
        EXPECT_EQ(faults.read_sizes(tree.path(u"f")), std::vector<uint32_t>{8});
    }
    EXPECT_EQ(&current(), &native_os());
}

TEST(faulty_layer, open_delete_attribute_truncate_and_find_rules_fail_with_their_code) {
    temp_tree tree;
    tree.write_file(u"f", "abc");
    const std::u16string f = tree.path(u"f");
    faulty_os faults;
    faults.fail_open(f, ERR_ACCESS_DENIED);
    faults.fail_open_write(tree.path(u"w"), 1234);
    faults.fail_delete(f, 31);
    faults.fail_set_read_only(f, 32);
    faults.fail_truncate(f, 33);
    faults.fail_find(tree.path(u"*.*"), 34);
    find_entry entry;
    uint32_t error = 0;
    const file_handle opened = faults.open_for_change(f, change_kind::remove, error);
    const std::pair<std::function<bool()>, uint32_t> calls[] = {
        {[&] { return faults.open_read(f, read_mode::compare, error).valid(); }, ERR_ACCESS_DENIED},
        {[&] { return faults.open_write(tree.path(u"w"), write_mode::truncate, error).valid(); }, 1234},
        {[&] { return faults.open_lock(f, error).valid(); }, ERR_ACCESS_DENIED},
        {[&] { return faults.delete_opened(opened, f, file_id{}, error); }, 31},
        {[&] { return faults.set_read_only(opened, true, error); }, 32},
        {[&] { return faults.truncate_opened(opened, error); }, 33},
        {[&] { return faults.find_first(tree.path(u"*.*"), entry, error).valid(); }, 34},
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_FALSE(calls[i].first()) << i;
        EXPECT_EQ(error, calls[i].second) << i;
    }
    faults.close(opened, error);
    EXPECT_EQ(faults.open_count(f), 2);
    EXPECT_EQ(faults.delete_count(), 1);
    EXPECT_FALSE(tree.exists(u"w"));
    EXPECT_EQ(tree.read_file(u"f"), "abc");
    EXPECT_FALSE(has(faults.get_attributes(f, error), attr_bits::READONLY));
    search_handle other = faults.find_first(tree.path(u"f*"), entry, error);
    EXPECT_TRUE(other.valid());
    faults.find_close(other, error);
}

TEST(faulty_layer, failing_read_cut_file_and_action_before_the_first_read) {
    temp_tree tree;
    tree.write_file(u"f", "0123456789abcdefghij");
    tree.write_file(u"cut", "0123456789");
    tree.write_file(u"changed", "before");
    faulty_os faults;
    faults.fail_read(tree.path(u"f"), 10, 23);
    faults.cut_at(tree.path(u"cut"), 4);
    int runs = 0;
    faults.before_first_read(tree.path(u"changed"), [&] { ++runs, tree.write_file(u"changed", "after!"); });

    // The bytes before the offset are delivered, then the read fails.
    uint32_t error = 0;
    file_handle file = faults.open_read(tree.path(u"f"), read_mode::compare, error);
    EXPECT_EQ(read_some(faults, file, 4), "0123");
    EXPECT_EQ(read_some(faults, file, 16, 23), "456789");
    EXPECT_EQ(read_some(faults, file, 16, 23), "");
    EXPECT_TRUE(faults.close(file, error));

    // A cut file ends early but keeps its size.
    file = faults.open_read(tree.path(u"cut"), read_mode::compare, error);
    uint64_t size = 0;
    EXPECT_TRUE(faults.size_of(file, size, error));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(read_some(faults, file, 16), "0123");
    EXPECT_EQ(read_some(faults, file, 16), "");
    faults.close(file, error);

    // The action runs once, before the first read.
    const int calls_before = faults.read_calls();
    file = faults.open_read(tree.path(u"changed"), read_mode::compare, error);
    EXPECT_EQ(runs, 0);
    const std::string head = read_some(faults, file, 3);
    EXPECT_EQ(head + read_some(faults, file, 13), "after!");
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(faults.read_calls() - calls_before, 2);
    faults.close(file, error);
}

// ---- starting programs ----

TEST(test_support, runs_a_program_and_collects_its_output_and_status) {
    temp_tree tree;
    std::u16string self;
    uint32_t error = 0;
    ASSERT_TRUE(native_os().executable_path(self, error));
    const program_result listed =
        run_program(self, {u"--gtest_list_tests", u"--gtest_filter=utf_conversion.*"}, tree.root());
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("utf_conversion."), std::string::npos) << listed.out;
#ifndef _WIN32
    const program_result shell = run_program(u"/bin/sh", {u"-c", u"cat; pwd >&2; exit 3"}, tree.root(), "in\n");
    EXPECT_EQ(shell.status, 3);
    EXPECT_EQ(shell.out, "in\n");
    EXPECT_EQ(shell.err, narrow(tree.root()) + "\n");
#endif
}

}  // namespace
}  // namespace zub::test
