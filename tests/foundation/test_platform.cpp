// The platform layer through its interface, as the rest of the code sees it:
// directory search with wildcards, attributes, sizes beyond 4 GiB, error
// codes, full paths, identity, reading, the profile file and the run lock;
// then the fault-injecting layer's rules. Cases that only make sense for the
// POSIX meanings skip on Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "faulty_os.h"
#include "platform/platform.h"
#include "run_program.h"
#include "temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zub::test {
namespace {

using namespace platform;

bool posix() { return native_path_style() == path_style::posix; }
char16_t sep() { return posix() ? u'/' : u'\\'; }
std::u16string join(std::u16string a, std::u16string_view b) {
    a += sep();
    a.append(b);
    return a;
}

// Every name the search returns for `pattern`, in order; `end_code` gets the
// error that ended the search.
std::vector<std::u16string> list(std::u16string_view pattern, uint32_t* end_code = nullptr) {
    std::vector<std::u16string> names;
    find_entry entry;
    handle search = current().find_first(pattern, entry);
    if (!search.valid()) {
        if (end_code) *end_code = last_error();
        return names;
    }
    do {
        names.push_back(entry.name);
    } while (current().find_next(search, entry));
    if (end_code) *end_code = last_error();
    EXPECT_TRUE(current().find_close(search));
    return names;
}

std::set<std::u16string> as_set(const std::vector<std::u16string>& names) { return {names.begin(), names.end()}; }

TEST(platform_layer, empty_folder_lists_dot_and_dotdot_then_ends) {
    temp_tree tree;
    tree.make_dir(u"empty");
    uint32_t end_code = 0;
    const auto names = list(join(tree.path(u"empty"), u"*.*"), &end_code);
    EXPECT_EQ(as_set(names), (std::set<std::u16string>{u".", u".."}));
    EXPECT_EQ(names.size(), 2u);
    EXPECT_TRUE(is_not_found(end_code)) << end_code;
}

TEST(platform_layer, wildcards_match_the_last_component) {
    temp_tree tree;
    for (auto name : {u"abc", u"adc", u"abcd", u"x.txt", u"z.txt", u"y.txt.log", u"noext"}) tree.write_file(name, "1");
    const auto all = as_set(list(join(tree.root(), u"*.*")));
    EXPECT_EQ(all, (std::set<std::u16string>{u".", u"..", u"abc", u"adc", u"abcd", u"x.txt", u"z.txt",
                                              u"y.txt.log", u"noext"}));
    EXPECT_EQ(as_set(list(join(tree.root(), u"a?c"))), (std::set<std::u16string>{u"abc", u"adc"}));
    EXPECT_EQ(as_set(list(join(tree.root(), u"*.txt"))), (std::set<std::u16string>{u"x.txt", u"z.txt"}));
    EXPECT_EQ(as_set(list(join(tree.root(), u"ab*"))), (std::set<std::u16string>{u"abc", u"abcd"}));

    uint32_t code = 0;
    EXPECT_TRUE(list(join(tree.root(), u"*.none"), &code).empty());
    EXPECT_TRUE(is_not_found(code)) << code;
}

TEST(platform_layer, a_name_without_wildcards_finds_that_entry_only) {
    temp_tree tree;
    tree.write_file(u"one.bin", "12345");
    find_entry entry;
    handle search = current().find_first(tree.path(u"one.bin"), entry);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(entry.name, u"one.bin");
    EXPECT_EQ(entry.size, 5u);
    EXPECT_EQ(entry.attributes & ATTR_DIRECTORY, 0u);
    EXPECT_FALSE(current().find_next(search, entry));
    EXPECT_TRUE(is_not_found(last_error()));
    EXPECT_TRUE(current().find_close(search));
}

TEST(platform_layer, missing_paths_fail_with_not_found) {
    temp_tree tree;
    find_entry entry;
    EXPECT_FALSE(current().find_first(tree.path(u"missing"), entry).valid());
    EXPECT_TRUE(is_not_found(last_error()));
    EXPECT_EQ(errno_from_os_error(last_error()), ENOENT);

    EXPECT_FALSE(current().find_first(join(tree.path(u"nodir"), u"*.*"), entry).valid());
    EXPECT_TRUE(is_not_found(last_error())) << last_error();
    EXPECT_EQ(errno_from_os_error(last_error()), ENOENT);

    EXPECT_EQ(current().get_attributes(tree.path(u"missing")), INVALID_ATTRIBUTES);
    EXPECT_TRUE(is_not_found(last_error()));
    EXPECT_FALSE(current().open_read(tree.path(u"missing"), read_mode::compare).valid());
    EXPECT_TRUE(is_not_found(last_error()));
}

TEST(platform_layer, a_folder_pattern_ending_in_a_separator_fails_but_lists_with_star_dot_star) {
    temp_tree tree;
    tree.write_file(u"sub/a", "x");
    find_entry entry;
    std::u16string trailing = tree.path(u"sub");
    trailing += sep();
    EXPECT_FALSE(current().find_first(trailing, entry).valid());
    EXPECT_TRUE(is_not_found(last_error())) << last_error();
    EXPECT_EQ(as_set(list(trailing + u"*.*")), (std::set<std::u16string>{u".", u"..", u"a"}));
}

TEST(platform_layer, five_gib_file_reports_its_full_size) {
    temp_tree tree;
    tree.make_sparse(u"big", 5368709120ULL);
    find_entry entry;
    handle search = current().find_first(tree.path(u"big"), entry);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(entry.size, 5368709120ULL);
    current().find_close(search);

    handle file = current().open_read(tree.path(u"big"), read_mode::exclusive);
    ASSERT_TRUE(file.valid());
    uint64_t size = 0;
    EXPECT_TRUE(current().size_of(file, size));
    EXPECT_EQ(size, 5368709120ULL);
    EXPECT_TRUE(current().close(file));
}

TEST(platform_layer, read_only_bit_is_reported_and_changed) {
    temp_tree tree;
    tree.write_file(u"ro", "data");
    tree.set_read_only(u"ro", true);
    const uint32_t attributes = current().get_attributes(tree.path(u"ro"));
    ASSERT_NE(attributes, INVALID_ATTRIBUTES);
    EXPECT_NE(attributes & ATTR_READONLY, 0u);
    EXPECT_EQ(attributes & ATTR_DIRECTORY, 0u);
    find_entry entry;
    handle search = current().find_first(tree.path(u"ro"), entry);
    ASSERT_TRUE(search.valid());
    EXPECT_NE(entry.attributes & ATTR_READONLY, 0u);
    current().find_close(search);

    EXPECT_TRUE(current().set_attributes(tree.path(u"ro"), attributes & ~ATTR_READONLY));
    EXPECT_EQ(current().get_attributes(tree.path(u"ro")) & ATTR_READONLY, 0u);
    EXPECT_TRUE(current().set_attributes(tree.path(u"ro"), ATTR_READONLY));
    EXPECT_NE(current().get_attributes(tree.path(u"ro")) & ATTR_READONLY, 0u);
    EXPECT_TRUE(current().set_attributes(tree.path(u"ro"), 0));

    tree.make_dir(u"d");
    EXPECT_NE(current().get_attributes(tree.path(u"d")) & ATTR_DIRECTORY, 0u);
}

TEST(platform_layer, posix_attribute_meanings) {
    if (!posix()) GTEST_SKIP() << "POSIX meanings";
    temp_tree tree;
    tree.write_file(u".hidden", "h");
    tree.write_file(u"plain", "p");
    EXPECT_NE(current().get_attributes(tree.path(u".hidden")) & ATTR_HIDDEN, 0u);
    const uint32_t plain = current().get_attributes(tree.path(u"plain"));
    EXPECT_EQ(plain & (ATTR_HIDDEN | ATTR_READONLY | ATTR_DIRECTORY | ATTR_REPARSE_POINT), 0u);
    EXPECT_NE(plain & ATTR_ARCHIVE, 0u);
    // "." and ".." are not hidden.
    find_entry entry;
    handle search = current().find_first(join(tree.root(), u"*.*"), entry);
    ASSERT_TRUE(search.valid());
    do {
        if (entry.name == u"." || entry.name == u"..") {
            EXPECT_EQ(entry.attributes & ATTR_HIDDEN, 0u);
        }
    } while (current().find_next(search, entry));
    current().find_close(search);
#ifndef _WIN32
    // A link to a folder is a folder that is also a reparse point.
    tree.make_dir(u"target");
    ASSERT_EQ(symlink(narrow(tree.path(u"target")).c_str(), narrow(tree.path(u"link")).c_str()), 0);
    const uint32_t link = current().get_attributes(tree.path(u"link"));
    EXPECT_NE(link & ATTR_DIRECTORY, 0u);
    EXPECT_NE(link & ATTR_REPARSE_POINT, 0u);
#endif
}

TEST(platform_layer, name_that_is_not_utf8_is_listed_and_opened_again) {
    if (!posix()) GTEST_SKIP() << "file names are bytes only on POSIX";
    temp_tree tree;
    const std::u16string odd = u"bad\xDCFFname\xDCC3";  // bytes 0xFF and a cut 0xC3
    tree.write_file(odd, "content");
    const auto names = list(join(tree.root(), u"*.*"));
    ASSERT_NE(std::find(names.begin(), names.end(), odd), names.end());
    handle file = current().open_read(join(tree.root(), odd), read_mode::compare);
    ASSERT_TRUE(file.valid());
    char buffer[16];
    uint32_t got = 0;
    EXPECT_TRUE(current().read(file, buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "content");
    current().close(file);
    EXPECT_TRUE(current().delete_file(join(tree.root(), odd)));
    EXPECT_FALSE(tree.exists(odd));
}

TEST(platform_layer, full_path_resolves_dots_by_text) {
    temp_tree tree;
    std::u16string out;
    bool file_part = false;
    const std::u16string name = join(join(join(tree.root(), u"sub"), u".."), u"f");
    ASSERT_TRUE(current().full_path(name, out, &file_part));
    EXPECT_EQ(out, join(tree.root(), u"f"));
    EXPECT_TRUE(file_part);
    ASSERT_TRUE(current().full_path(join(tree.root(), u"sub") + sep(), out, &file_part));
    EXPECT_FALSE(file_part);

    std::u16string here;
    ASSERT_TRUE(current().current_dir(here));
    ASSERT_TRUE(current().full_path(u"rel", out, nullptr));
    EXPECT_EQ(out, here.back() == sep() ? here + u"rel" : join(here, u"rel"));
}

TEST(platform_layer, posix_full_path_details) {
    if (!posix()) GTEST_SKIP() << "POSIX path forms";
    std::u16string out;
    bool file_part = true;
    ASSERT_TRUE(current().full_path(u"/a/./b/../c//d", out, &file_part));
    EXPECT_EQ(out, u"/a/c/d");
    ASSERT_TRUE(current().full_path(u"/..", out, &file_part));
    EXPECT_EQ(out, u"/");
    EXPECT_FALSE(file_part);
    ASSERT_TRUE(current().full_path(u"/a\\b", out, &file_part));
    EXPECT_EQ(out, u"/a\\b");  // a backslash is an ordinary character
}

TEST(platform_layer, identity_follows_the_file_not_the_spelling) {
    temp_tree tree;
    tree.write_file(u"f", "1");
    tree.write_file(u"g", "1");
    tree.make_dir(u"sub");
    file_id a, b, c;
    ASSERT_TRUE(current().file_identity(tree.path(u"f"), a));
    ASSERT_TRUE(current().file_identity(join(join(tree.path(u"sub"), u".."), u"f"), b));
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
    handle file = current().open_read(tree.path(u"data"), read_mode::compare);
    ASSERT_TRUE(file.valid());
    std::string back;
    std::vector<char> buffer(8192);
    uint32_t got = 0;
    int short_reads = 0;
    do {
        ASSERT_TRUE(current().read(file, buffer.data(), static_cast<uint32_t>(buffer.size()), got));
        back.append(buffer.data(), got);
        if (got < buffer.size()) ++short_reads;
    } while (got == buffer.size());
    EXPECT_EQ(short_reads, 1);
    EXPECT_EQ(back, content);
    EXPECT_TRUE(current().close(file));

    tree.make_dir(u"folder");
    EXPECT_FALSE(current().open_read(tree.path(u"folder"), read_mode::compare).valid());
}

TEST(platform_layer, delete_truncate_and_write_access) {
    temp_tree tree;
    tree.write_file(u"f", "abc");
    tree.make_dir(u"d");
    EXPECT_TRUE(current().can_write(tree.path(u"f")));
    EXPECT_FALSE(current().can_write(tree.path(u"missing")));
    EXPECT_TRUE(current().truncate_file(tree.path(u"f")));
    EXPECT_TRUE(tree.exists(u"f"));
    EXPECT_EQ(tree.size_of(u"f"), 0u);
    EXPECT_FALSE(current().truncate_file(tree.path(u"missing")));
    EXPECT_FALSE(tree.exists(u"missing"));
    EXPECT_FALSE(current().delete_file(tree.path(u"d")));
    EXPECT_TRUE(tree.exists(u"d"));
    EXPECT_TRUE(current().delete_file(tree.path(u"f")));
    EXPECT_FALSE(tree.exists(u"f"));
    EXPECT_FALSE(current().delete_file(tree.path(u"f")));
    EXPECT_TRUE(is_not_found(last_error()));

    handle out = current().open_write(tree.path(u"w"), write_mode::truncate);
    ASSERT_TRUE(out.valid());
    EXPECT_TRUE(current().write(out, "one", 3));
    EXPECT_TRUE(current().close(out));
    out = current().open_write(tree.path(u"w"), write_mode::append);
    ASSERT_TRUE(out.valid());
    EXPECT_TRUE(current().write(out, "two", 3));
    EXPECT_TRUE(current().close(out));
    EXPECT_EQ(tree.read_file(u"w"), "onetwo");
}

TEST(platform_layer, run_lock_is_exclusive_between_two_opens) {
    temp_tree tree;
    const std::u16string path = tree.path(u"__LOCK__");
    handle first = current().open_lock(path);
    ASSERT_TRUE(first.valid());
    EXPECT_TRUE(tree.exists(u"__LOCK__"));
    EXPECT_FALSE(current().open_lock(path).valid());
    EXPECT_TRUE(current().close(first));
    handle again = current().open_lock(path);
    EXPECT_TRUE(again.valid());
    current().close(again);
}

TEST(platform_layer, profile_write_replaces_in_place_and_never_creates) {
    temp_tree tree;
    const std::u16string ini = tree.path(u"zub64.ini");
    tree.write_file(u"zub64.ini", "[options]\r\nBOM=0\r\n\r\n[history0]\r\nsource=old\r\n; note\r\n\r\n[last]\r\nk=v\r\n");
    EXPECT_EQ(current().profile_read(u"HISTORY0", u"Source", ini), u"old");
    EXPECT_EQ(current().profile_read(u"history0", u"destination", ini), u"");
    EXPECT_EQ(current().profile_read(u"none", u"source", ini), u"");

    EXPECT_TRUE(current().profile_write(u"history0", u"source", u"new", ini));
    EXPECT_TRUE(current().profile_write(u"history0", u"destination", u"D", ini));
    EXPECT_TRUE(current().profile_write(u"extra", u"key", u"1", ini));
    EXPECT_EQ(current().profile_read(u"history0", u"source", ini), u"new");
    EXPECT_EQ(current().profile_read(u"history0", u"destination", ini), u"D");
    EXPECT_EQ(current().profile_read(u"extra", u"key", ini), u"1");
    EXPECT_EQ(current().profile_read(u"options", u"BOM", ini), u"0");
    EXPECT_EQ(current().profile_read(u"last", u"k", ini), u"v");
    const std::string text = tree.read_file(u"zub64.ini");
    EXPECT_EQ(text.find("old"), std::string::npos);
    if (posix()) {
        EXPECT_EQ(text,
                  "[options]\r\nBOM=0\r\n\r\n[history0]\r\nsource=new\r\n; note\r\ndestination=D\r\n\r\n"
                  "[last]\r\nk=v\r\n[extra]\r\nkey=1\r\n");
    }

    const std::u16string missing = tree.path(u"absent.ini");
    EXPECT_EQ(current().profile_read(u"history0", u"source", missing), u"");
    // The POSIX layer refuses to create the file itself; the Windows call
    // creates it, which is why callers test can_write first.
    if (posix()) {
        EXPECT_FALSE(current().profile_write(u"history0", u"source", u"x", missing));
        EXPECT_FALSE(tree.exists(u"absent.ini"));
    }
}

TEST(platform_layer, profile_read_trims_blanks_and_quotes) {
    temp_tree tree;
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
    const int saved_in = dup(0), saved_err = dup(2);
    const int null = open("/dev/null", O_WRONLY);
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
    EXPECT_EQ(pick_with_input("\n", tree.path(u"a")), tree.path(u"a"));
    EXPECT_EQ(pick_with_input(narrow(tree.path(u"file")) + "\n" + narrow(tree.path(u"a")) + "\n", u"/"),
              tree.path(u"a"));
    EXPECT_EQ(pick_with_input("", tree.path(u"a")), std::nullopt);
    EXPECT_EQ(pick_with_input(narrow(tree.path(u"missing")) + "\n", tree.path(u"a")), std::nullopt);
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
        handle file = current().open_read(tree.path(u"f"), read_mode::compare);
        ASSERT_TRUE(file.valid());
        char buffer[8];
        uint32_t got = 0;
        EXPECT_TRUE(current().read(file, buffer, 8, got));
        EXPECT_EQ(std::string(buffer, got), "abc");
        EXPECT_TRUE(current().close(file));
        EXPECT_EQ(faults.open_count(tree.path(u"f")), 1);
        EXPECT_EQ(faults.read_sizes(tree.path(u"f")), std::vector<uint32_t>{8});
    }
    EXPECT_EQ(&current(), &native_os());
}

TEST(faulty_layer, open_rules_fail_with_their_code) {
    temp_tree tree;
    tree.write_file(u"f", "abc");
    faulty_os faults;
    faults.fail_open(tree.path(u"f"), ERR_ACCESS_DENIED);
    faults.fail_open_write(tree.path(u"w"), 1234);
    EXPECT_FALSE(faults.open_read(tree.path(u"f"), read_mode::compare).valid());
    EXPECT_EQ(last_error(), ERR_ACCESS_DENIED);
    EXPECT_FALSE(faults.open_lock(tree.path(u"f")).valid());
    EXPECT_EQ(faults.open_count(tree.path(u"f")), 2);
    EXPECT_FALSE(faults.open_write(tree.path(u"w"), write_mode::truncate).valid());
    EXPECT_EQ(last_error(), 1234u);
    EXPECT_FALSE(tree.exists(u"w"));
}

TEST(faulty_layer, failing_read_delivers_the_bytes_before_the_offset) {
    temp_tree tree;
    tree.write_file(u"f", "0123456789abcdefghij");
    faulty_os faults;
    faults.fail_read(tree.path(u"f"), 10, 23);
    handle file = faults.open_read(tree.path(u"f"), read_mode::compare);
    ASSERT_TRUE(file.valid());
    char buffer[32] = {};
    uint32_t got = 0;
    EXPECT_TRUE(faults.read(file, buffer, 4, got));
    EXPECT_EQ(std::string(buffer, got), "0123");
    EXPECT_FALSE(faults.read(file, buffer, 16, got));
    EXPECT_EQ(last_error(), 23u);
    EXPECT_EQ(std::string(buffer, got), "456789");
    EXPECT_FALSE(faults.read(file, buffer, 16, got));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(faults.close(file));
}

TEST(faulty_layer, cut_file_ends_early_but_keeps_its_size) {
    temp_tree tree;
    tree.write_file(u"f", "0123456789");
    faulty_os faults;
    faults.cut_at(tree.path(u"f"), 4);
    handle file = faults.open_read(tree.path(u"f"), read_mode::compare);
    ASSERT_TRUE(file.valid());
    uint64_t size = 0;
    EXPECT_TRUE(faults.size_of(file, size));
    EXPECT_EQ(size, 10u);
    char buffer[16];
    uint32_t got = 0;
    EXPECT_TRUE(faults.read(file, buffer, 16, got));
    EXPECT_EQ(std::string(buffer, got), "0123");
    EXPECT_TRUE(faults.read(file, buffer, 16, got));
    EXPECT_EQ(got, 0u);
    faults.close(file);
}

TEST(faulty_layer, action_runs_once_before_the_first_read) {
    temp_tree tree;
    tree.write_file(u"f", "before");
    faulty_os faults;
    int runs = 0;
    faults.before_first_read(tree.path(u"f"), [&] {
        ++runs;
        tree.write_file(u"f", "after!");
    });
    handle file = faults.open_read(tree.path(u"f"), read_mode::compare);
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(runs, 0);
    char buffer[16];
    uint32_t got = 0;
    EXPECT_TRUE(faults.read(file, buffer, 3, got));
    EXPECT_TRUE(faults.read(file, buffer + 3, 13, got));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(std::string(buffer, 3 + got), "after!");
    EXPECT_EQ(faults.read_calls(), 2);
    faults.close(file);
}

TEST(faulty_layer, delete_attribute_truncate_and_find_rules) {
    temp_tree tree;
    tree.write_file(u"f", "abc");
    faulty_os faults;
    faults.fail_delete(tree.path(u"f"), ERR_ACCESS_DENIED);
    faults.fail_set_attributes(tree.path(u"f"), 32);
    faults.fail_truncate(tree.path(u"f"), 33);
    faults.fail_find(join(tree.root(), u"*.*"), 34);
    EXPECT_FALSE(faults.delete_file(tree.path(u"f")));
    EXPECT_EQ(last_error(), ERR_ACCESS_DENIED);
    EXPECT_EQ(faults.delete_count(), 1);
    EXPECT_FALSE(faults.set_attributes(tree.path(u"f"), ATTR_READONLY));
    EXPECT_EQ(last_error(), 32u);
    EXPECT_FALSE(faults.truncate_file(tree.path(u"f")));
    EXPECT_EQ(last_error(), 33u);
    EXPECT_EQ(tree.read_file(u"f"), "abc");
    EXPECT_EQ(faults.get_attributes(tree.path(u"f")) & ATTR_READONLY, 0u);
    find_entry entry;
    EXPECT_FALSE(faults.find_first(join(tree.root(), u"*.*"), entry).valid());
    EXPECT_EQ(last_error(), 34u);
    handle other = faults.find_first(join(tree.root(), u"f*"), entry);
    EXPECT_TRUE(other.valid());
    faults.find_close(other);
}

TEST(faulty_layer, captures_standard_streams_and_title) {
    faulty_os faults;
    faults.capture_std_streams();
    EXPECT_FALSE(faults.is_console(std_stream::output));
    EXPECT_TRUE(faults.write(faults.std_handle(std_stream::output), "o\0u", 3));
    EXPECT_TRUE(faults.write(faults.std_handle(std_stream::error), "err", 3));
    EXPECT_EQ(faults.captured_bytes(std_stream::output), std::string("o\0u", 3));
    EXPECT_EQ(faults.captured_bytes(std_stream::error), "err");
    faults.set_console_title(u"50% x");
    EXPECT_EQ(faults.last_title(), u"50% x");

    faulty_os console;
    console.capture_std_streams(true);
    EXPECT_TRUE(console.is_console(std_stream::error));
    EXPECT_TRUE(console.console_write(std_stream::error, u"h\u00E9"));
    EXPECT_EQ(console.console_text(std_stream::error), u"h\u00E9");
    EXPECT_TRUE(console.captured_bytes(std_stream::error).empty());
}

TEST(faulty_layer, executable_path_and_scripted_picker) {
    faulty_os faults;
    std::u16string path;
    faults.set_executable_path(u"/opt/zub64");
    EXPECT_TRUE(faults.executable_path(path));
    EXPECT_EQ(path, u"/opt/zub64");
    faults.fail_executable_path();
    EXPECT_FALSE(faults.executable_path(path));

    faults.script_picker({u"/a", std::nullopt});
    EXPECT_EQ(faults.pick_folder(u"t1", u"i1"), std::optional<std::u16string>(u"/a"));
    EXPECT_EQ(faults.pick_folder(u"t2", u"i2"), std::nullopt);
    EXPECT_EQ(faults.pick_folder(u"t3", u"i3"), std::nullopt);  // unscripted: cancelled
    const auto calls = faults.picker_calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1], std::make_pair(std::u16string(u"t2"), std::u16string(u"i2")));
}

// ---- starting programs ----

TEST(test_support, runs_a_program_and_collects_its_output_and_status) {
    temp_tree tree;
    std::u16string self;
    ASSERT_TRUE(native_os().executable_path(self));
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
