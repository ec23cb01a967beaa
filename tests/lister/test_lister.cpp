// Tests of quarnel, the folder lister. Most cases call quarnel_main in the
// test process with both standard streams captured as redirected files by the
// fault-injecting layer; one case starts the built program to check the bytes
// that really reach a redirected stream and the exit status.
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

#include "foundation/enumeration.h"
#include "foundation/paths.h"
#include "foundation/text_output.h"
#include "lister/lister.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "tests/support/faulty_os.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

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
const std::u16string HINT = u"for more infomation: quarnel /?\n";

// Decodes redirected output; every line end must be CR LF, which becomes LF.
std::u16string text_of(const std::string& bytes) {
    std::u16string raw = from_utf16le(bytes), text;
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
    std::string out, err;  // narrowed, for readable failure messages
};

// Runs the lister in-process (argument 0 is "quarnel") through `layer`.
run_result run_quarnel(std::vector<std::u16string> args, faulty_os&& layer = faulty_os()) {
    layer.capture_std_streams();
    faulty_os_scope scope(layer);
    args.insert(args.begin(), u"quarnel");
    run_result r;
    r.code = quarnel_main(args);
    r.out = narrow(text_of(layer.captured_bytes(std_stream::output)));
    r.err = narrow(text_of(layer.captured_bytes(std_stream::error)));
    return r;
}

std::u16string dir_line(std::u16string_view relative) { return u"\"" + native(relative) + u"\", dir"; }
std::u16string file_line(std::u16string_view relative, int64_t size) {
    return sformat(u"\"%s\", %I64d", native(relative), size);
}

// The listing holds exactly `expected` (in any order), and each folder's
// subtree follows its "dir" line as one unbroken block.
void expect_listing(const std::string& out, const std::vector<std::u16string>& expected) {
    std::vector<std::string> lines, want;
    for (size_t start = 0, end; start < out.size(); start = end + 1) {
        end = std::min(out.find('\n', start), out.size());
        lines.push_back(out.substr(start, end - start));
    }
    for (const auto& l : expected) want.push_back(narrow(l));
    std::vector<std::string> sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(sorted, want);
    const std::string suffix = "\", dir";
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.size() < suffix.size() || line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string inside = line.substr(0, line.size() - suffix.size()) + narrow(sep());
        const auto inside_of = [&](const std::string& l) { return l.compare(0, inside.size(), inside) == 0; };
        const size_t count = static_cast<size_t>(std::count_if(lines.begin(), lines.end(), inside_of));
        for (size_t k = i + 1; k <= i + count && k < lines.size(); ++k)
            EXPECT_TRUE(inside_of(lines[k])) << lines[k] << " breaks the subtree of " << line;
    }
}

// top/a.txt (3), top/sub/b.bin (5), top/sub/deep/c (0), top/empty/
void make_sample(const temp_tree& t) {
    for (auto dir : {u"top", u"top/sub", u"top/sub/deep", u"top/empty"}) t.make_dir(dir);
    t.write_file(u"top/a.txt", "abc");
    t.write_file(u"top/sub/b.bin", "12345");
    t.write_file(u"top/sub/deep/c", "");
}

const std::vector<std::u16string> SAMPLE_LISTING = {
    file_line(u"a.txt", 3),      dir_line(u"sub"),   file_line(u"sub/b.bin", 5), dir_line(u"sub/deep"),
    file_line(u"sub/deep/c", 0), dir_line(u"empty"),
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
    EXPECT_EQ(plain.err, narrow(BANNER));
    expect_listing(plain.out, SAMPLE_LISTING);

    // A trailing separator names the same folder.
    const run_result trailing = run_quarnel({t.path(u"top") + sep()});
    EXPECT_EQ(trailing.code, 0);
    EXPECT_EQ(trailing.err, narrow(BANNER));
    EXPECT_EQ(trailing.out, plain.out);
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
    EXPECT_EQ(several.out,
              narrow(file_line(u"b.log", 2) + u"\n" + file_line(u"c", 0) + u"\n" + file_line(u"a.txt", 3) + u"\n"));
}

TEST(Lister, NoArgumentOrEmptyArgumentListsTheCurrentFolder) {
    temp_tree t;
    make_sample(t);
    t.make_dir(u"top/-dash");
    t.write_file(u"top/-dash/f", "1");
    current_folder here(t.path(u"top"));

    // Files by bare name; each subfolder's contents relative to that subfolder.
    for (const std::vector<std::u16string>& args : {std::vector<std::u16string>{}, {u""}}) {
        const run_result r = run_quarnel(args);
        EXPECT_EQ(r.code, 0);
        expect_listing(r.out, {file_line(u"a.txt", 3), file_line(u"b.bin", 5), dir_line(u"deep"),
                               file_line(u"deep/c", 0), file_line(u"f", 1)});
    }
    // A lone "-" is dropped, -l and -p change nothing; "--" lets a name begin with '-'.
    const run_result relative = run_quarnel({u"-", u"-l", u"-P", u"sub"});
    EXPECT_EQ(relative.code, 0);
    expect_listing(relative.out, {file_line(u"b.bin", 5), dir_line(u"deep"), file_line(u"deep/c", 0)});
    const run_result dashed = run_quarnel({u"--", u"-dash"});
    EXPECT_EQ(dashed.code, 0);
    EXPECT_EQ(dashed.err, narrow(BANNER));
    expect_listing(dashed.out, {file_line(u"f", 1)});
}

TEST(Lister, FailuresCostOneLineAndTheListingGoesOn) {
    temp_tree t;
    make_sample(t);
    const std::u16string pattern =
        listing_pattern_plain(join_path_plain(make_long_path_as_spelled(t.path(u"top")), u"sub"));
    const uint32_t code = windows() ? platform::ERR_ACCESS_DENIED : 13u;  // EACCES on POSIX
    const std::u16string text = errno_message_text(platform::errno_from_os_error(code));
    const std::u16string missing = t.path(u"missing");

    faulty_os layer;
    layer.fail_find(pattern, code);
    const run_result r = run_quarnel({missing, t.path(u"top")}, std::move(layer));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, narrow(BANNER + make_long_path_as_spelled(missing) + u": " + errno_message_text(ENOENT) + u"\n" +
                            pattern + u": " + text + u"\n"));
    expect_listing(r.out, {file_line(u"a.txt", 3), dir_line(u"sub"), dir_line(u"empty")});
}

// A root has no entry of its own: it is listed through its pattern. The
// pattern's search is refused here, so the message shows that it was the one
// tried, and nothing of the real root is listed.
TEST(Lister, RootsAreListedThroughTheirPattern) {
    struct root_case {
        std::u16string argument, pattern;
    };
    const uint32_t refused = windows() ? platform::ERR_ACCESS_DENIED : 13u;  // EACCES on POSIX
    std::vector<root_case> cases{{u"/", u"/*.*"}, {u"//", u"/*.*"}};
    if (windows()) cases = {{u"C:\\", u"\\\\?\\C:\\*.*"}, {u"\\\\server\\share", u"\\\\?\\UNC\\server\\share\\*.*"}};
    const std::u16string text = errno_message_text(platform::errno_from_os_error(refused));
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.argument));
        // The message names the argument as the lister's long-path step gave it.
        const std::u16string shown = make_long_path_as_spelled(c.argument);
        faulty_os layer;
        layer.fail_find(c.pattern, refused);
        // A share that does not exist is not looked for on the network.
        layer.fail_find(shown, platform::ERR_PATH_NOT_FOUND);
        const run_result r = run_quarnel({c.argument}, std::move(layer));
        EXPECT_EQ(r.code, 0);
        // NOLINTNEXTLINE(performance-inefficient-string-concatenation): the expected line, written as it reads
        EXPECT_EQ(r.err, narrow(BANNER + shown + u": " + text + u"\n"));
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(Lister, Options) {
    const std::u16string usage = BANNER + u"usage: quarnel [dir]\n";
    // A '/' cluster is an option on Windows only; on POSIX it is a path.
    const std::u16string slash =
        windows() ? BANNER + u"quarnel: bad option Z\n" + HINT : BANNER + u"/z: " + errno_message_text(ENOENT) + u"\n";
    const struct {
        std::vector<std::u16string> args;
        int code;
        std::u16string err;
    } cases[] = {
        {{u"-lx", u"somewhere"}, 1, BANNER + u"quarnel: bad option X\n" + HINT},
        // A letter outside the basic plane is named whole, not half a surrogate pair.
        {{u"-\U0001F600"}, 1, BANNER + u"quarnel: bad option \U0001F600\n" + HINT},
        {{u"-h", u"somewhere"}, 1, usage},
        {{u"-?", u"somewhere"}, 1, usage},
        {{u"-lH", u"somewhere"}, 1, usage},
        {{u"/z"}, windows() ? 1 : 0, slash},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.args[0]));
        const run_result r = run_quarnel(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, narrow(c.err));
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(Lister, SizesOfFourGibibytesAndMorePrintInFull) {
    temp_tree t;
    t.make_dir(u"big");
    const uint64_t size = 5368709120ull;  // 5 GiB: both 32-bit halves in use
    t.make_sparse(u"big/huge", size);
    if (!t.exists(u"big/huge") || t.size_of(u"big/huge") != size) GTEST_SKIP() << "no sparse file here";
    EXPECT_EQ(run_quarnel({t.path(u"big")}).out, "\"huge\", 5368709120\n");
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
    const std::u16string top = make_long_path_as_spelled(t.path(u"top"));
    const std::u16string back = join_path_plain(join_path_plain(top, u"sub"), u"back");
    EXPECT_EQ(r.err, narrow(BANNER + u"\"" + back + u"\" is a link back to a folder being listed: not listed again\n"));
}

TEST(ListerProgram, RedirectedOutputIsUtf16WithCrLf) {
    // The cross build names the program by its host path; under Wine the
    // host's root is drive Z:.
    std::u16string exe = platform::utf16_from_bytes(QUARNEL_EXE);
    if (windows() && !exe.empty() && exe[0] == u'/') exe = u"Z:" + native(exe);
    temp_tree t;
    make_sample(t);
    const program_result r = run_program(exe, {t.path(u"top")}, t.root());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, utf16le(u"quarnel Version 6\r\n"));
    // No byte-order mark: the first line starts right away with its quote.
    EXPECT_EQ(r.out.substr(0, 2), std::string("\"\0", 2));
    std::u16string crlf;
    for (const auto& line : SAMPLE_LISTING) crlf += line + u"\r\n";
    EXPECT_EQ(r.out.size(), utf16le(crlf).size());
    expect_listing(narrow(text_of(r.out)), SAMPLE_LISTING);

    const program_result bad = run_program(exe, {u"-q"}, t.root());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(from_utf16le(bad.err).find(u": bad option Q\r\n"), std::u16string::npos);
    EXPECT_TRUE(bad.out.empty());
}

}  // namespace
}  // namespace zub::test
