// End-to-end tests of the built zub64: banner, usage and error texts on
// standard error, --help and --version (and quarnel's), exit statuses, the
// encoding of redirected output, "--", the program's own wildcard expansion
// and the status line on a terminal. Each case starts one process, so
// the cases are few.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "foundation/text_format.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "tests/console/screen_text.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

// A path of the build or source tree as this process names it. A cross build
// runs under Wine, where the Unix path lies on drive Z:.
std::u16string tree_path(const char* unix_path) {
    std::u16string path = platform::utf16_from_bytes(unix_path);
    if (platform::native_path_style() == platform::path_style::windows && !path.empty() && path[0] == u'/') {
        for (char16_t& c : path)
            if (c == u'/') c = u'\\';
        path.insert(0, u"Z:");
    }
    return path;
}

std::u16string program() { return tree_path(ZUB64_EXE); }

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

// Standard output as text: UTF-8 on POSIX; under Windows redirected UTF-16LE
// with CR LF.
std::u16string text_of(const std::string& bytes) {
    if (platform::native_path_style() == platform::path_style::posix) return platform::utf16_from_bytes(bytes);
    std::u16string text = from_utf16le(bytes);
    std::erase(text, u'\r');
    return text;
}

// The synopsis of a manual page as a reader sees it: the macro lines of its
// SYNOPSIS section without their font changes, joined by blanks.
std::u16string man_synopsis(const std::string& page) {
    const size_t start = page.find(".SH SYNOPSIS\n"), end = page.find("\n.SH ", start + 1);
    std::string synopsis;
    size_t at = start + 13;
    while (start != std::string::npos && at < end) {
        const size_t eol = page.find('\n', at);
        const std::string line = page.substr(at, eol - at);
        at = eol + 1;
        const size_t blank = line.find(' ');
        // .B and .I take their words as one text; .RB, .IR and the like alternate fonts between words.
        const bool alternating = blank == 3;
        std::string words;
        bool quoted = false;
        for (char c : line.substr(blank + 1)) {
            if (c == '"')
                quoted = !quoted;
            else if (c != ' ' || quoted || !alternating)
                words += c;
        }
        synopsis += (synopsis.empty() ? "" : " ") + words;
    }
    std::u16string text = platform::utf16_from_bytes(synopsis);
    for (size_t dash = text.find(u"\\-"); dash != std::u16string::npos; dash = text.find(u"\\-")) text.erase(dash, 1);
    return text;
}

// The synopsis the README gives for a program: a line, or a text in
// backquotes, that begins with the program's name and a bracket.
std::u16string readme_synopsis(const std::string& readme, const std::string& name) {
    size_t at = readme.find("\n" + name + " [");
    if (at == std::string::npos) at = readme.find("`" + name + " [");
    if (at == std::string::npos) return {};
    return platform::utf16_from_bytes(readme.substr(at + 1, readme.find_first_of("`\n", at + 1) - at - 1));
}

// --help and --version answer on standard output with status 0, and the
// synopsis that --help prints is the one of the manual page and the README.
TEST_F(console_test, help_and_version_answer_on_standard_output_as_the_pages_say) {
    const std::string readme = read_whole_file(tree_path(ZUB_SOURCE_DIR "/README.md"));
    struct row {
        const char* exe;
        const char* name;
        std::u16string_view version;
    };
    const row rows[] = {{ZUB64_EXE, "zub64", u"zub64 version 13\n"}, {QUARNEL_EXE, "quarnel", u"quarnel Version 6\n"}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::u16string exe = tree_path(r.exe), name = platform::utf16_from_bytes(r.name);
        program_result help = run_program(exe, {u"--help"}, work_.root());
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.err.empty()) << help.err;
        const std::u16string usage = text_of(help.out);
        ASSERT_EQ(usage.rfind(u"usage: " + exe + u" ", 0), 0u) << narrow(usage);
        const std::u16string synopsis = name + usage.substr(7 + exe.size(), usage.size() - 8 - exe.size());
        EXPECT_EQ(usage.back(), u'\n');
        const std::string page =
            read_whole_file(tree_path((std::string(ZUB_SOURCE_DIR "/man/") + r.name + ".1").c_str()));
        EXPECT_EQ(man_synopsis(page), synopsis);
        EXPECT_EQ(readme_synopsis(readme, r.name), synopsis);

        program_result version = run_program(exe, {u"--version"}, work_.root());
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(text_of(version.out), r.version);
        EXPECT_TRUE(version.err.empty()) << version.err;
    }
    EXPECT_FALSE(work_.exists(u"zubaer.log"));  // no run was made
}

// On a terminal the status line comes and goes: the screen at the end is the
// one of a run without it (ZUB_PROGRESS=0), and -v has its own lines instead.
TEST_F(console_test, status_line_on_a_terminal_is_erased_and_fits_its_width) {
    if (platform::native_path_style() != platform::path_style::posix) GTEST_SKIP() << "no pseudo-terminal";
    work_.write_file(u"src/a-folder-with-a-name-long-enough-to-be-cut/file.txt", "same");
    work_.write_file(u"dst/a-folder-with-a-name-long-enough-to-be-cut/file.txt", "same");
    static char off[] = "ZUB_PROGRESS=0", unset[] = "ZUB_PROGRESS=";
    struct row {
        std::vector<std::u16string> args;
        char* variable;
        bool line;
    };
    const row rows[] = {
        {{u"src", u"dst"}, unset, true}, {{u"-v", u"src", u"dst"}, unset, false}, {{u"src", u"dst"}, off, false}};
    std::u16string screens[3];
    for (size_t i = 0; i < std::size(rows); ++i) {
        putenv(rows[i].variable);
        program_result r = run_in_terminal(program(), rows[i].args, work_.root(), 50);
        putenv(unset);
        EXPECT_EQ(r.status, 0);
        const std::u16string shown = platform::utf16_from_bytes(r.out);
        EXPECT_EQ(shown.find(u"\r1 pairs  0 B") != std::u16string::npos, rows[i].line) << r.out;
        // Every text between carriage returns stays within 49 columns.
        for (size_t at = shown.find(u'\r'); at != std::u16string::npos; at = shown.find(u'\r', at + 1))
            EXPECT_LE(shown.find_first_of(u"\r\n", at + 1) - at - 1, 49u) << r.out;
        screens[i] = screen_text(shown);
    }
    EXPECT_EQ(screens[0], screens[2]);
    EXPECT_EQ(screens[2], screen_text(u"zub64 version 13\n1" + summary(u"src", u"dst", 0).substr(1)))
        << narrow(screens[2]);
    EXPECT_EQ(screens[1].find(u"pairs"), std::u16string::npos);
}

}  // namespace
}  // namespace zub::test
