// Tests of quarnel, the folder lister. Most cases call quarnel_main in the
// test process with both standard streams captured as redirected files by the
// fault-injecting layer; two cases start the built program to check the
// bytes that really reach a redirected stream and the exit status.
//
// Folders list in the file system's order, so listings are compared as sets
// of lines, and depth-first order is checked separately: every folder's
// subtree must follow its "dir" line as one block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "enumeration.h"
#include "faulty_os.h"
#include "lister.h"
#include "paths.h"
#include "platform/platform.h"
#include "run_program.h"
#include "temp_tree.h"
#include "text_output.h"

namespace zub::test {
namespace {

using platform::std_stream;

bool windows() { return native_style() == path_style::windows; }
std::u16string sep() { return windows() ? u"\\" : u"/"; }

// A relative path written with '/' in the native spelling.
std::u16string native(std::u16string_view relative) {
    std::u16string s(relative);
    if (windows()) std::replace(s.begin(), s.end(), u'/', u'\\');
    return s;
}

const std::u16string BANNER = u"quarnel Version 6\n";

// Decodes redirected output; every line end must be CR LF, which becomes LF.
std::u16string text_of(const std::string& bytes) {
    std::u16string raw = from_utf16le(bytes);
    std::u16string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'\r' && i + 1 < raw.size() && raw[i + 1] == u'\n') continue;
        if (raw[i] == u'\n') {
            EXPECT_TRUE(i > 0 && raw[i - 1] == u'\r') << "bare LF in redirected output";
        }
        text.push_back(raw[i]);
    }
    return text;
}

struct run_result {
    int code = -1;
    std::u16string out, err;
};

// Runs the lister in-process (argument 0 is "quarnel") through `layer`.
run_result run_quarnel(std::vector<std::u16string> args, faulty_os& layer) {
    layer.capture_std_streams();
    faulty_os_scope scope(layer);
    args.insert(args.begin(), u"quarnel");
    run_result r;
    r.code = quarnel_main(args);
    r.out = text_of(layer.captured_bytes(std_stream::output));
    r.err = text_of(layer.captured_bytes(std_stream::error));
    return r;
}

run_result run_quarnel(std::vector<std::u16string> args) {
    faulty_os layer;
    return run_quarnel(std::move(args), layer);
}

std::vector<std::u16string> lines_of(const std::u16string& text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::u16string dir_line(std::u16string_view relative) { return u"\"" + native(relative) + u"\", dir"; }
std::u16string file_line(std::u16string_view relative, int64_t size) {
    return sformat(u"\"%s\", %I64d", native(relative), size);
}

std::vector<std::string> narrowed(std::vector<std::u16string> lines) {
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(narrow(l));
    return out;
}

// The listing holds exactly `expected` (in any order), and each folder's
// subtree follows its "dir" line as one unbroken block.
void expect_listing(const std::u16string& out, const std::vector<std::u16string>& expected) {
    const std::vector<std::u16string> lines = lines_of(out);
    EXPECT_EQ(narrowed(lines), narrowed(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::u16string& line = lines[i];
        const std::u16string suffix = u"\", dir";
        if (line.size() < suffix.size() || line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::u16string inside = line.substr(0, line.size() - suffix.size()) + sep();
        const size_t count = static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.compare(0, inside.size(), inside) == 0;
        }));
        for (size_t k = i + 1; k <= i + count && k < lines.size(); ++k)
            EXPECT_EQ(lines[k].compare(0, inside.size(), inside), 0)
                << narrow(lines[k]) << " breaks the subtree of " << narrow(line);
    }
}

// top/a.txt (3), top/sub/b.bin (5), top/sub/deep/c (0), top/empty/
void make_sample(const temp_tree& t) {
    t.make_dir(u"top");
    t.write_file(u"top/a.txt", "abc");
    t.make_dir(u"top/sub");
    t.write_file(u"top/sub/b.bin", "12345");
    t.make_dir(u"top/sub/deep");
    t.write_file(u"top/sub/deep/c", "");
    t.make_dir(u"top/empty");
}

const std::vector<std::u16string> SAMPLE_LISTING = {
    file_line(u"a.txt", 3), dir_line(u"sub"),        file_line(u"sub/b.bin", 5),
    dir_line(u"sub/deep"),  file_line(u"sub/deep/c", 0), dir_line(u"empty"),
};

// Makes a folder current for the lifetime of the object.
class current_folder {
public:
    explicit current_folder(const std::u16string& folder) {
        platform::native_os().current_dir(previous_);
        EXPECT_TRUE(platform::native_os().set_current_dir(folder));
    }
    ~current_folder() { platform::native_os().set_current_dir(previous_); }

private:
    std::u16string previous_;
};

TEST(Lister, FolderIsListedDepthFirstRelativeToItself) {
    temp_tree t;
    make_sample(t);
    const run_result plain = run_quarnel({t.path(u"top")});
    EXPECT_EQ(plain.code, 0);
    EXPECT_EQ(narrow(plain.err), narrow(BANNER));
    expect_listing(plain.out, SAMPLE_LISTING);

    // A trailing separator names the same folder.
    const run_result trailing = run_quarnel({t.path(u"top") + sep()});
    EXPECT_EQ(trailing.code, 0);
    EXPECT_EQ(narrow(trailing.err), narrow(BANNER));
    EXPECT_EQ(narrow(trailing.out), narrow(plain.out));
}

TEST(Lister, PatternFileAndSeveralArguments) {
    temp_tree t;
    make_sample(t);
    t.write_file(u"top/b.log", "xy");
    t.make_dir(u"top/x.txt");
    t.write_file(u"top/x.txt/inner", "1234");

    // Matching files by bare name; a matching folder is listed like a top-level folder.
    const run_result pattern = run_quarnel({t.path(u"top") + sep() + u"*.txt"});
    EXPECT_EQ(pattern.code, 0);
    expect_listing(pattern.out, {file_line(u"a.txt", 3), file_line(u"inner", 4)});

    // A file by bare name; arguments in the order given.
    const run_result several = run_quarnel({t.path(u"top/b.log"), t.path(u"top/sub/deep"), t.path(u"top/a.txt")});
    EXPECT_EQ(several.code, 0);
    EXPECT_EQ(narrow(several.out), narrow(file_line(u"b.log", 2) + u"\n" + file_line(u"c", 0) + u"\n" +
                                          file_line(u"a.txt", 3) + u"\n"));
}

TEST(Lister, NoArgumentOrEmptyArgumentListsTheCurrentFolder) {
    temp_tree t;
    make_sample(t);
    t.make_dir(u"top/-dash");
    t.write_file(u"top/-dash/f", "1");
    current_folder here(t.path(u"top"));

    // Files by bare name; each subfolder's contents relative to that subfolder.
    const std::vector<std::u16string> expected = {
        file_line(u"a.txt", 3), file_line(u"b.bin", 5), dir_line(u"deep"), file_line(u"deep/c", 0),
        file_line(u"f", 1),
    };
    const run_result none = run_quarnel({});
    EXPECT_EQ(none.code, 0);
    expect_listing(none.out, expected);
    const run_result empty = run_quarnel({u""});
    EXPECT_EQ(empty.code, 0);
    expect_listing(empty.out, expected);

    // A lone "-" is dropped, -l and -p change nothing; "--" lets a name begin with '-'.
    const run_result relative = run_quarnel({u"-", u"-l", u"-P", u"sub"});
    EXPECT_EQ(relative.code, 0);
    expect_listing(relative.out, {file_line(u"b.bin", 5), dir_line(u"deep"), file_line(u"deep/c", 0)});
    const run_result dashed = run_quarnel({u"--", u"-dash"});
    EXPECT_EQ(dashed.code, 0);
    EXPECT_EQ(narrow(dashed.err), narrow(BANNER));
    expect_listing(dashed.out, {file_line(u"f", 1)});
}

TEST(Lister, FailuresCostOneLineAndTheListingGoesOn) {
    temp_tree t;
    make_sample(t);
    const std::u16string top = lister_make_long_path(t.path(u"top"));
    const std::u16string pattern = lister_listing_pattern(lister_join_path(top, u"sub"));
    const uint32_t code = windows() ? platform::ERR_ACCESS_DENIED : 13u;  // EACCES on POSIX
    const std::u16string text = errno_message_text(platform::errno_from_os_error(code));
    const std::u16string missing = t.path(u"missing");

    faulty_os layer;
    layer.fail_find(pattern, code);
    const run_result r = run_quarnel({missing, t.path(u"top")}, layer);
    EXPECT_EQ(r.code, 0);
    const std::u16string not_found = errno_message_text(ENOENT);
    EXPECT_EQ(narrow(r.err), narrow(BANNER + lister_make_long_path(missing) + u": " + not_found + u"\n" + pattern +
                                    u": " + text + u"\n"));
    expect_listing(r.out, {file_line(u"a.txt", 3), dir_line(u"sub"), dir_line(u"empty")});
}

// A root has no entry of its own: it is listed through its pattern. The
// pattern's search is refused here, so the message shows that it was the one
// tried, and nothing of the real root is listed.
TEST(Lister, RootsAreListedThroughTheirPattern) {
    struct root_case {
        std::u16string argument, pattern;
    };
    std::vector<root_case> cases;
    uint32_t refused;
    if (windows()) {
        refused = platform::ERR_ACCESS_DENIED;
        cases = {{u"C:\\", u"\\\\?\\C:\\*.*"}, {u"\\\\server\\share", u"\\\\?\\UNC\\server\\share\\*.*"}};
    } else {
        refused = 13u;  // EACCES
        cases = {{u"/", u"/*.*"}, {u"//", u"/*.*"}};
    }
    const std::u16string text = errno_message_text(platform::errno_from_os_error(refused));
    for (const auto& c : cases) {
        // The message names the argument as the lister's long-path step gave it.
        const std::u16string shown = lister_make_long_path(c.argument);
        faulty_os layer;
        layer.fail_find(c.pattern, refused);
        // A share that does not exist is not looked for on the network.
        layer.fail_find(shown, platform::ERR_PATH_NOT_FOUND);
        const run_result r = run_quarnel({c.argument}, layer);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(narrow(r.err), narrow(BANNER + shown + u": " + text + u"\n")) << narrow(c.argument);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(Lister, Options) {
    const std::u16string hint = u"for more infomation: quarnel /?\n";
    const run_result bad = run_quarnel({u"-lx", u"somewhere"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(narrow(bad.err), narrow(BANNER + u"quarnel: bad option X\n" + hint));
    EXPECT_TRUE(bad.out.empty());

    // A letter outside the basic plane is named whole, not half a surrogate pair.
    const run_result pair = run_quarnel({u"-\U0001F600"});
    EXPECT_EQ(pair.code, 1);
    EXPECT_EQ(narrow(pair.err), narrow(BANNER + u"quarnel: bad option \U0001F600\n" + hint));

    for (const char16_t* help : {u"-h", u"-?", u"-lH"}) {
        const run_result r = run_quarnel({help, u"somewhere"});
        EXPECT_EQ(r.code, 1) << narrow(help);
        EXPECT_EQ(narrow(r.err), narrow(BANNER + u"usage: quarnel [dir]\n")) << narrow(help);
        EXPECT_TRUE(r.out.empty());
    }

    // A '/' cluster is an option on Windows only; on POSIX it is a path.
    const run_result slash = run_quarnel({u"/z"});
    if (windows()) {
        EXPECT_EQ(slash.code, 1);
        EXPECT_EQ(narrow(slash.err), narrow(BANNER + u"quarnel: bad option Z\n" + hint));
    } else {
        EXPECT_EQ(slash.code, 0);
        EXPECT_EQ(narrow(slash.err), narrow(BANNER + u"/z: " + errno_message_text(ENOENT) + u"\n"));
    }
}

TEST(Lister, SizesOfFourGibibytesAndMorePrintInFull) {
    temp_tree t;
    t.make_dir(u"big");
    const uint64_t size = 5368709120ull;  // 5 GiB: both 32-bit halves in use
    t.make_sparse(u"big/huge", size);
    if (!t.exists(u"big/huge") || t.size_of(u"big/huge") != size) GTEST_SKIP() << "no sparse file here";
    const run_result r = run_quarnel({t.path(u"big")});
    EXPECT_EQ(narrow(r.out), "\"huge\", 5368709120\n");
}

TEST(Lister, LinkBackToAnOpenFolderIsNotListedAgain) {
    temp_tree t;
    make_sample(t);
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::filesystem::path(t.path(u"top")),
                                              std::filesystem::path(t.path(u"top/sub/back")), ec);
    if (ec) GTEST_SKIP() << "no folder links here";
    const run_result r = run_quarnel({t.path(u"top")});
    EXPECT_EQ(r.code, 0);
    std::vector<std::u16string> expected = SAMPLE_LISTING;
    expected.push_back(dir_line(u"sub/back"));
    expect_listing(r.out, expected);
    const std::u16string back = lister_join_path(lister_join_path(lister_make_long_path(t.path(u"top")), u"sub"),
                                                 u"back");
    EXPECT_EQ(narrow(r.err),
              narrow(BANNER + u"\"" + back + u"\" is a link back to a folder being listed: not listed again\n"));
}

std::u16string quarnel_exe() {
    std::u16string exe;
    for (const char* p = QUARNEL_EXE; *p; ++p) exe.push_back(static_cast<unsigned char>(*p));
    // The cross build names the program by its host path; under Wine the
    // host's root is drive Z:.
    if (windows() && !exe.empty() && exe[0] == u'/') exe = u"Z:" + native(exe);
    return exe;
}

TEST(ListerProgram, RedirectedOutputIsUtf16WithCrLf) {
    temp_tree t;
    make_sample(t);
    const program_result r = run_program(quarnel_exe(), {t.path(u"top")}, t.root());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, utf16le(u"quarnel Version 6\r\n"));
    // No byte-order mark: the first line starts right away with its quote.
    ASSERT_GE(r.out.size(), 2u);
    EXPECT_EQ(r.out.substr(0, 2), std::string("\"\0", 2));
    EXPECT_EQ(r.out.size() % 2, 0u);
    std::u16string crlf;
    for (const auto& line : SAMPLE_LISTING) crlf += line + u"\r\n";
    EXPECT_EQ(r.out.size(), utf16le(crlf).size());
    expect_listing(text_of(r.out), SAMPLE_LISTING);

    const program_result bad = run_program(quarnel_exe(), {u"-q"}, t.root());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(from_utf16le(bad.err).find(u": bad option Q\r\n"), std::u16string::npos);
    EXPECT_TRUE(bad.out.empty());
}

}  // namespace
}  // namespace zub::test
