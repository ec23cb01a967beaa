// End-to-end tests of the built zub64: banner, usage and error texts on
// standard error, exit statuses, the encoding of redirected output, "--",
// and the program's own wildcard expansion. Each case starts one process, so
// the cases are few.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "foundation/text_format.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

// The program's path as this process names it. A cross build runs under
// Wine, where the Unix path of the build folder lies on drive Z:.
std::u16string program() {
    std::u16string path = platform::utf16_from_bytes(ZUB64_EXE);
    if (platform::native_path_style() == platform::path_style::windows && !path.empty() && path[0] == u'/') {
        for (char16_t& c : path)
            if (c == u'/') c = u'\\';
        path.insert(0, u"Z:");
    }
    return path;
}

std::vector<std::u16string> lines_of(const std::string& utf16le_bytes) {
    std::u16string text = from_utf16le(utf16le_bytes);
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u"\r\n", start);
        if (end == std::u16string::npos) {
            lines.push_back(text.substr(start));  // unterminated: shows up in the comparison
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool ends_with(std::u16string_view text, std::u16string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

const std::u16string banner = u"zub64 version 13";

class console_test : public ::testing::Test {
protected:
    program_result run(const std::vector<std::u16string>& args) { return run_program(program(), args, work_.root()); }

    // Standard error holds the banner and then the usage text.
    void expect_usage(const program_result& r) {
        EXPECT_EQ(r.status, 1);
        const std::vector<std::u16string> lines = lines_of(r.err);
        ASSERT_EQ(lines.size(), 2u) << r.err.size();
        EXPECT_EQ(lines[0], banner);
        EXPECT_EQ(lines[1].substr(0, 7), u"usage: ") << narrow(lines[1]);
        EXPECT_TRUE(ends_with(lines[1],
                              u" [-s|-d] [-r] [-z] [-t] [-e ext] [-p] [-q] [-a] [-v] [-l] [-c|-b] [-f ext] "
                              u"[-n] [-g] [-k] [-w] [-i] [-m] [-1|2|3|4] [srcdir dstdir]"));
        EXPECT_TRUE(r.out.empty());
    }

    std::u16string summary(std::u16string_view src, std::u16string_view dst, int different) {
        return sformat(
            u"0 same file(s)\r\n%d different file(s)\r\n0 file(s) error in \"%s\"\r\n"
            u"0 file(s) error in \"%s\"\r\n0 file(s) not found\r\n0 directory(s) not found\r\n"
            u"0 file(s) delete from \"%s\"\r\n0 file(s) delete from \"%s\"\r\n",
            different, src, dst, src, dst);
    }

    temp_tree work_;
};

TEST_F(console_test, help_and_one_or_three_folders_print_banner_and_usage_to_standard_error) {
    expect_usage(run({u"-?"}));
    if (platform::native_path_style() == platform::path_style::windows) expect_usage(run({u"/H"}));
    expect_usage(run({u"a"}));
    expect_usage(run({u"a", u"b", u"c"}));
}

TEST_F(console_test, bad_option_names_the_letter_in_upper_case) {
    program_result r = run({u"-x", u"a", u"b"});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::u16string> lines = lines_of(r.err);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], banner);
    ASSERT_TRUE(ends_with(lines[1], u": bad option X")) << narrow(lines[1]);
    const std::u16string name = lines[1].substr(0, lines[1].size() - std::u16string_view(u": bad option X").size());
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(lines[2], u"for more infomation: " + name + u" /?");
}

TEST_F(console_test, differences_only_end_with_0_and_redirected_output_is_utf16le_crlf) {
    work_.write_file(u"src/a.txt", "one");
    work_.write_file(u"dst/a.txt", "two");
    // Patterns reach the program unexpanded (no shell here). The Windows
    // build expands them itself, each to the one folder it matches; on POSIX
    // the shell has had its turn, so a pattern is a name taken as typed, and
    // a source root that does not exist fails the run.
    if (platform::native_path_style() == platform::path_style::posix) {
        program_result typed = run({u"sr?", u"dst"});
        EXPECT_EQ(typed.status, 1);
        ASSERT_EQ(lines_of(typed.err).size(), 2u);
        EXPECT_NE(lines_of(typed.err)[1].find(u"sr?\""), std::u16string::npos) << narrow(lines_of(typed.err)[1]);
        EXPECT_TRUE(typed.out.empty());
    }
    const bool expands = platform::expands_command_line_wildcards();
    program_result r = run({expands ? u"sr?" : u"src", expands ? u"ds?" : u"dst"});
    EXPECT_EQ(r.status, 0);
    const std::u16string expected = summary(u"src", u"dst", 1);
    EXPECT_EQ(r.out, utf16le(expected));
    // No byte-order mark, LF written as CR LF.
    EXPECT_EQ(r.out.substr(0, 4), std::string("0\0 \0", 4));
    EXPECT_NE(r.out.find(std::string("\r\0\n\0", 4)), std::string::npos);
    EXPECT_EQ(lines_of(r.err).at(0), banner);
    EXPECT_TRUE(work_.exists(u"zubsdif.log"));
}

// With standard output closed, the first result file opened must not take
// its descriptor (and with it the verbose lines and the summary).
TEST_F(console_test, closed_standard_output_stays_apart_from_the_run_log) {
    if (platform::native_path_style() != platform::path_style::posix) GTEST_SKIP() << "POSIX descriptors";
    work_.write_file(u"src/a.txt", "same");
    work_.write_file(u"dst/a.txt", "same");
    program_result r = run_program(u"/bin/sh", {u"-c", u"exec \"$0\" -v src dst 1>&-", program()}, work_.root());
    EXPECT_EQ(r.status, 0);
    const std::u16string aer = from_utf16le(read_whole_file(work_.path(u"zubaer.log")));
    EXPECT_EQ(aer.find(u"a.txt"), std::u16string::npos) << narrow(aer);
    EXPECT_EQ(aer.find(u"same file(s)"), aer.rfind(u"same file(s)"));
}

TEST_F(console_test, double_dash_lets_a_folder_begin_with_a_dash) {
    work_.make_dir(u"-dir1");
    work_.make_dir(u"dir2");
    program_result r = run({u"--", u"-dir1", u"dir2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, utf16le(summary(u"-dir1", u"dir2", 0)));
}

// Every entry under a folder, by its relative path (the bytes the system holds on POSIX).
std::set<std::string> tree_of(const std::u16string& root) {
    std::set<std::string> names;
    const std::filesystem::path base(platform::bytes_from_utf16(root));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base))
        names.insert(entry.path().lexically_relative(base).string());
    return names;
}

// In UTF-8 a non-UTF-8 name is listed as its own bytes, and zubmove.sh run by
// sh moves every missing entry, whatever its name, to its destination place.
TEST_F(console_test, utf8_lists_and_move_script_keep_hostile_names) {
    if (platform::native_path_style() != platform::path_style::posix) GTEST_SKIP() << "no zubmove.sh on Windows";
    const std::vector<std::u16string> names = {u"a b", u"it's $HOME", u"new\nline", u"\xDCFFname\u00e9", u"sub"};
    for (const std::u16string& name : names) work_.write_file(u"src/" + name + (name == u"sub" ? u"/-x" : u""), "1");
    work_.write_file(u"src/same", "2");
    work_.write_file(u"dst/same", "2");
    static char utf8[] = "ZUB_ENCODING=utf-8", unset[] = "ZUB_ENCODING=";
    putenv(utf8);
    program_result r = run({u"-b", u"src", u"dst"});
    putenv(unset);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "zub64 version 13\n");
    EXPECT_EQ(r.out.substr(0, 35), "1 same file(s)\n0 different file(s)\n");
    EXPECT_EQ(r.out.find_first_of(std::string("\r\0", 2)), std::string::npos);
    const std::string odd = platform::bytes_from_utf16(work_.path(u"src/" + names[3]));
    EXPECT_NE(work_.read_file(u"zubsfnf.log").find(odd + "\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(odd));

    const std::set<std::string> src_before = tree_of(work_.path(u"src"));
    ASSERT_EQ(run_program(u"/bin/sh", {u"zubmove.sh"}, work_.root()).status, 0);
    EXPECT_EQ(tree_of(work_.path(u"dst")), src_before);
    EXPECT_EQ(tree_of(work_.path(u"src")), std::set<std::string>{"same"});
}

}  // namespace
}  // namespace zub::test
