// Tests of the path toolkit: the text operations in both path styles on every
// platform, the long-path operations through a table-driven layer (so the
// Windows forms are checked everywhere), and the native style's long paths on
// the real file system.
#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/paths.h"
#include "tests/foundation/table_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

constexpr path_style W = path_style::windows;
constexpr path_style P = path_style::posix;

// One text operation of the toolkit (the joins add the name "x"): 'p'
// parent_dir, 'j' join_path, 'n' join_path_new, 'l' join_path_plain, 'L'
// listing_pattern, 'M' listing_pattern_plain, 's' strip_trailing_backslash.
std::u16string apply(char op, std::u16string_view a, path_style style) {
    std::u16string text(a);
    switch (op) {
    case 'p': return parent_dir(a, style);
    case 'j': return join_path(a, u"x", style);
    case 'n': return join_path_new(a, u"x", style);
    case 'l': return join_path_plain(a, u"x", style);
    case 'L': return listing_pattern(a, style);
    case 'M': return listing_pattern_plain(a, style);
    case 's': strip_trailing_backslash(text, style); return text;
    }
    return u"<unknown op>";
}

TEST(paths_text, operations_in_both_styles) {
    using in_out = std::pair<std::u16string_view, std::u16string_view>;
    const struct {
        char op;
        path_style style;
        std::vector<in_out> cases;
    } rows[] = {
        // parent_dir cuts at the last separator after the root; only ASCII
        // letters make a drive prefix.
        {'p',
         W,
         {{u"C:\\a\\b", u"C:\\a"},
          {u"C:\\a", u"C:\\"},
          {u"a", u""},
          {u"\\\\server\\share", u"\\\\server"},
          {u"\\\\?\\C:\\a", u"\\\\?\\C:"},
          {u"C:", u"C:"},
          {u"C:a", u"C:"},
          {u"C:a\\b", u"C:a"},
          {u"\\a", u"\\"},
          {u"/\\server/share", u"/\\server"},
          {u"sub\\*.txt", u"sub"},
          {u"\u00C4:\\a", u"\u00C4:"}}},
        // In POSIX style `\` and drive prefixes are ordinary text.
        {'p',
         P,
         {{u"/a/b", u"/a"}, {u"/a", u"/"}, {u"/", u"/"}, {u"a/b", u"a"}, {u"C:\\a\\b", u""}, {u"/x/a\\b", u"/x"}}},
        // join_path adds no separator after the root forms; any other folder
        // ending in a separator gets a second one.
        {'j',
         W,
         {{u"C:", u"C:x"},
          {u"C:\\", u"C:\\x"},
          {u"c:/", u"c:/x"},
          {u"\\\\?\\C:\\", u"\\\\?\\C:\\x"},
          {u"C:\\a", u"C:\\a\\x"},
          {u"\\", u"\\x"},
          {u"/", u"/x"},
          {u"C:\\a\\", u"C:\\a\\\\x"},
          {u"\\\\?\\UNC\\s\\sh", u"\\\\?\\UNC\\s\\sh\\x"}}},
        {'j', P, {{u"/", u"/x"}, {u"/a/", u"/a//x"}, {u"C:", u"C:/x"}, {u"\\", u"\\/x"}}},
        {'n',
         W,
         {{u"", u"x"}, {u"/", u"\\x"}, {u"\\\\?\\C:\\", u"\\\\?\\C:\\x"}, {u"C:", u"C:x"}, {u"sub", u"sub\\x"}}},
        {'n', P, {{u"", u"x"}, {u"/", u"/x"}}},
        {'l',
         W,
         {{u"", u"x"}, {u"\\\\?\\C:\\", u"\\\\?\\C:\\\\x"}, {u"C:", u"C:x"}, {u"\\\\?\\C:\\d", u"\\\\?\\C:\\d\\x"}}},
        {'l', P, {{u"d", u"d/x"}}},
        {'L',
         W,
         {{u"\\", u"\\*.*"},
          {u"/", u"\\*.*"},
          {u"C:", u"C:*.*"},
          {u"C:\\", u"C:\\*.*"},
          {u"\\\\?\\C:\\", u"\\\\?\\C:\\*.*"},
          {u"\\\\?\\C:\\data", u"\\\\?\\C:\\data\\*.*"},
          {u"\\\\?\\UNC\\s\\sh", u"\\\\?\\UNC\\s\\sh\\*.*"}}},
        {'L', P, {{u"/", u"/*.*"}, {u"/a", u"/a/*.*"}, {u"C:", u"C:/*.*"}}},
        {'M', W, {{u"", u"*.*"}, {u"sub", u"sub\\*.*"}, {u"C:/", u"C:/*.*"}}},
        {'M', P, {{u"", u"*.*"}}},
        // strip_trailing_backslash removes one separator of the style only.
        {'s', W, {{u"C:\\a\\", u"C:\\a"}, {u"C:\\a/", u"C:\\a/"}, {u"a\\\\", u"a\\"}, {u"", u""}}},
        {'s', P, {{u"/a/", u"/a"}, {u"/", u"/"}, {u"a\\", u"a\\"}}},
    };
    for (const auto& row : rows) {
        for (const auto& [in, out] : row.cases) {
            SCOPED_TRACE(std::string(1, row.op) + (row.style == W ? " windows " : " posix ") + narrow(in));
            EXPECT_EQ(apply(row.op, in, row.style), out);
        }
    }
    EXPECT_TRUE(is_separator(u'/', P));
    EXPECT_FALSE(is_separator(u'\\', P));
    EXPECT_TRUE(is_separator(u'\\', W));
}

TEST(paths_text, file_extension_is_last_dot_of_last_component) {
    const struct {
        path_style style;
        std::u16string_view path;
        int expected;  // -1: none
    } cases[] = {
        {W, u"C:\\a.b\\c", -1}, {W, u"x.tar.gz", 5}, {W, u".profile", 0}, {W, u"C:.x", 2},   {W, u"a.b/c", -1},
        {W, u"dir\\name.", 8},  {W, u"", -1},        {P, u"a\\b.c", 3},   {P, u"d.x/c", -1}, {P, u"C:.x", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.path));
        const auto got = file_extension(c.path, c.style);
        EXPECT_EQ(got ? static_cast<int>(*got) : -1, c.expected);
    }
}

TEST(paths_text, surrogate_pairs_are_never_split) {
    // U+1F600 is D83D DE00; U+10000 is D800 DC00.
    const std::u16string face = u"\U0001F600";
    const std::u16string folder = u"C:\\" + face + u"dir";
    EXPECT_EQ(parent_dir(folder + u"\\" + face + u".txt", W), folder);
    EXPECT_EQ(join_path(folder, face, W), folder + u"\\" + face);
    EXPECT_EQ(file_extension(u"\U00010000.\U00010000", W), std::optional<size_t>(2));
    EXPECT_EQ(file_extension(face + u"\\" + face, W), std::nullopt);
    // A lead surrogate always takes the next unit along, whatever it is: the
    // scans agree with one another on such names instead of cutting a pair.
    EXPECT_EQ(file_extension(u"a.b\xD800.c", W), std::optional<size_t>(1));
    EXPECT_EQ(parent_dir(u"x\\a\xD800\\b", W), u"x");
}

TEST(paths_ext_list, parses_runs_of_extensions) {
    using entries = std::vector<std::u16string>;
    const struct {
        std::optional<std::u16string> value;
        entries expected;
    } cases[] = {
        {u".txt.log", {u"txt", u"log"}},
        {u".txt.", {u"txt", u""}},
        {u"txt", {u"xt"}},
        {u"*c.h", {u"c", u"h"}},
        {u".\U0001F600.a", {u"\U0001F600", u"a"}},  // the trail unit is not a dot
        {std::nullopt, {}},
        {u"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.value.value_or(u"(none)")));
        ext_list list;
        const std::u16string before = u".old";
        parse_ext_list(list, &before);  // a parse replaces what was there
        parse_ext_list(list, c.value ? &*c.value : nullptr);
        EXPECT_EQ(list.entries, c.expected);
    }
    ext_list list;
    const std::u16string two = u".txt.log";
    parse_ext_list(list, &two);
    free_ext_list(list);
    EXPECT_TRUE(list.entries.empty());
}

TEST(paths_case, equal_ignore_case_maps_letter_pairs_only) {
    const struct {
        std::u16string_view a, b;
        bool equal;
    } cases[] = {
        {u"ReadMe.TXT", u"readme.txt", true},
        {u"[", u"{", false},
        {u"@", u"`", false},  // not letters
        {u"abc", u"abcd", false},
        {u"\u00C9t\u00C9", u"\u00E9t\u00E9", true},  // Latin-1
        {u"\u00D7", u"\u00F7", false},               // multiply vs divide
        {u"\u0178", u"\u00FF", true},
        {u"\u0141\u0179", u"\u0142\u017A", true},  // Y diaeresis, Extended-A
        {u"\u03A3\u0391", u"\u03C3\u03B1", true},
        {u"\u0386", u"\u03AC", true},  // Greek
        {u"\u0416\u0401", u"\u0436\u0451", true},
        {u"\u0462", u"\u0463", true},  // Cyrillic
        {u"\u0416", u"\u0417", false},
    };
    for (const auto& c : cases) EXPECT_EQ(equal_ignore_case(c.a, c.b), c.equal) << narrow(c.a) << " " << narrow(c.b);
    EXPECT_TRUE(same_path_text(u"C:\\Data", u"c:\\data", W));
    EXPECT_FALSE(same_path_text(u"/Data", u"/data", P));
    EXPECT_TRUE(same_path_text(u"/data", u"/data", P));
}

// --- long paths through a table-driven layer ---

class long_paths : public ::testing::Test {
protected:
    table_os os;
    layer_scope scope{os};

    std::u16string long_path(std::u16string_view name, path_style style = W) {
        return make_long_path(name, style).value_or(u"<null>");
    }
    // A name whose full path is itself.
    void known(const std::u16string& name) { os.full_paths[name] = name; }
    void TearDown() override { EXPECT_EQ(os.open_searches, 0) << "a search was left open"; }
};

TEST_F(long_paths, windows_respells_each_component_as_stored) {
    known(u"c:\\data");
    os.add_entry(u"\\\\?\\C:\\data", u"Data");
    EXPECT_EQ(long_path(u"c:\\data"), u"\\\\?\\C:\\Data");
    // An 8.3 alias comes back with the long name; every level is respelled.
    known(u"c:\\progra~1\\sub");
    os.add_entry(u"\\\\?\\C:\\progra~1\\sub", u"Sub");
    os.add_entry(u"\\\\?\\C:\\progra~1", u"Program Files");
    EXPECT_EQ(long_path(u"c:\\progra~1\\sub"), u"\\\\?\\C:\\Program Files\\Sub");
    // A missing folder keeps the whole spelling, also of the parts that exist.
    known(u"c:\\data\\new");
    EXPECT_EQ(long_path(u"c:\\data\\new"), u"\\\\?\\C:\\data\\new");
}

TEST_F(long_paths, windows_server_device_and_fixed_forms) {
    known(u"\\\\server\\share\\dir");
    EXPECT_EQ(long_path(u"\\\\server\\share\\dir"), u"\\\\?\\UNC\\server\\share\\dir");
    os.add_entry(u"\\\\?\\UNC\\server\\share\\dir", u"Dir");
    EXPECT_EQ(long_path(u"\\\\server\\share\\dir"), u"\\\\?\\UNC\\server\\share\\Dir");
    os.searched.clear();
    known(u"\\\\.\\PhysicalDrive0");
    for (auto fixed : {u"\\\\.\\PhysicalDrive0", u"//./PhysicalDrive0", u"\\\\", u"\\\\?", u"\\\\?\\", u""}) {
        EXPECT_EQ(long_path(fixed), fixed);
    }
    EXPECT_TRUE(os.searched.empty());
}

TEST_F(long_paths, windows_relative_prefixed_and_unresolvable_names) {
    os.full_paths[u"sub"] = u"d:\\work\\sub";
    os.add_entry(u"\\\\?\\D:\\work\\sub", u"sub");
    os.add_entry(u"\\\\?\\D:\\work", u"Work");
    EXPECT_EQ(long_path(u"sub"), u"\\\\?\\D:\\Work\\sub");
    known(u"\\\\?\\c:\\x");
    EXPECT_EQ(long_path(u"\\\\?\\c:\\x"), u"\\\\?\\C:\\x");
    const size_t searches = os.searched.size();
    known(u"C:\\");
    EXPECT_EQ(long_path(u"C:\\"), u"\\\\?\\C:\\");
    EXPECT_EQ(os.searched.size(), searches) << "the drive root is never searched";
    // Without a full path the name is kept as typed.
    EXPECT_EQ(long_path(u"bad|name"), u"bad|name");
    os.full_paths[u"huge"] = u"C:\\" + std::u16string(FULL_PATH_UNITS, u'a');
    EXPECT_EQ(long_path(u"huge"), u"huge");
}

TEST_F(long_paths, windows_dot_entries_are_skipped_and_wildcards_take_the_first_match) {
    known(u"c:\\da*");
    os.add_entry(u"\\\\?\\C:\\da*", u"Data");
    os.add_entry(u"\\\\?\\C:\\da*", u"Dance");
    EXPECT_EQ(long_path(u"c:\\da*"), u"\\\\?\\C:\\Data");
    known(u"c:\\d\\.");
    os.add_entry(u"\\\\?\\C:\\d\\.", u".");
    os.add_entry(u"\\\\?\\C:\\d\\.", u"..");
    EXPECT_EQ(long_path(u"c:\\d\\."), u"\\\\?\\C:\\d\\.");
}

TEST_F(long_paths, windows_display_and_lister_variants) {
    known(u"c:\\data");
    os.add_entry(u"C:\\data", u"Data");
    EXPECT_EQ(make_display_path(u"c:\\data", W).value_or(u"<null>"), u"C:\\Data");
    known(u"\\\\server\\share\\dir");
    os.add_entry(u"\\\\server\\share\\dir", u"Dir");
    EXPECT_EQ(make_display_path(u"\\\\server\\share\\dir", W).value_or(u"<null>"), u"\\\\server\\share\\Dir");
    os.searched.clear();
    EXPECT_EQ(make_long_path_as_spelled(u"c:\\data", W), u"\\\\?\\C:\\data");
    EXPECT_EQ(make_long_path_as_spelled(u"\\\\server\\share\\dir", W), u"\\\\?\\UNC\\server\\share\\dir");
    EXPECT_EQ(make_long_path_as_spelled(u"\\\\", W), u"\\\\");
    EXPECT_TRUE(os.searched.empty()) << "the lister's variant does not respell";
}

TEST_F(long_paths, canonical_path_ends_at_a_folder_that_is_its_own_parent) {
    // A search that answers for `C:` itself must not send the recursion round forever.
    os.add_entry(u"C:", u"cwd");
    os.add_entry(u"C:x", u"X");
    EXPECT_EQ(canonical_path(u"C:x", W).value_or(u"<null>"), u"C:X");
    os.add_entry(u"", u"something");
    EXPECT_EQ(canonical_path(u"", W).value_or(u"<null>"), u"");
}

TEST_F(long_paths, posix_style_has_no_prefix_and_stops_at_the_root) {
    os.full_paths[u"data"] = u"/home/u/data";
    os.add_entry(u"/home/u/data", u"Data");
    os.add_entry(u"/home/u", u"u");
    os.add_entry(u"/home", u"home");
    os.add_entry(u"/", u"root-entry");  // never asked: "/" is the root form
    EXPECT_EQ(long_path(u"data", P), u"/home/u/Data");
    EXPECT_EQ(std::count(os.searched.begin(), os.searched.end(), u"/"), 0);
    known(u"/x/missing");
    EXPECT_EQ(long_path(u"/x/missing", P), u"/x/missing");
    EXPECT_EQ(long_path(u"unknown", P), u"unknown");  // no full path: kept as typed
    EXPECT_EQ(long_path(u"", P), u"");
    os.full_paths[u"\\\\server"] = u"/home/u/\\\\server";  // `\` is ordinary text
    EXPECT_EQ(long_path(u"\\\\server", P), u"/home/u/\\\\server");
    EXPECT_EQ(make_long_path_as_spelled(u"data", P), u"/home/u/data");
    EXPECT_EQ(make_display_path(u"data", P).value_or(u"<null>"), u"/home/u/Data");
}

// --- the native style on the real file system ---

TEST(paths_native, make_long_path_resolves_and_respells) {
    temp_tree tree;
    tree.make_dir(u"Data");
    tree.make_dir(u"Data/Sub");
    const std::u16string sep = native_style() == W ? u"\\" : u"/";
    const std::u16string expected = make_long_path(tree.path(u"Data/Sub")).value_or(u"<null>");
    // A path spelled with "." and ".." comes back as the stored one. On
    // Windows a wildcard component respells to its match; on POSIX, where a
    // name may hold * and ?, it is a name and stays as typed.
    const std::u16string typed = tree.root() + sep + u"Data" + sep + u"." + sep + u"Su*" + sep + u".." + sep + u"S?b";
    const std::u16string dotted = tree.root() + sep + u"Data" + sep + u"." + sep + u"Sub" + sep + u".." + sep + u"Sub";
    EXPECT_EQ(make_long_path(dotted).value_or(u"<null>"), expected);
    EXPECT_TRUE(expected.size() >= 8 && expected.substr(expected.size() - 8) == u"Data" + sep + u"Sub");
    if (native_style() == W) {
        EXPECT_EQ(make_long_path(typed).value_or(u"<null>"), expected);
        EXPECT_EQ(make_long_path(tree.path(u"Dat*")).value_or(u"<null>"), parent_dir(expected));
    } else {
        EXPECT_EQ(make_long_path(tree.path(u"Dat*")).value_or(u"<null>"), tree.path(u"Dat*"));
    }
    if (native_style() == W) {
        EXPECT_EQ(expected.substr(0, 4), u"\\\\?\\");
        // Case differences are respelled on Windows file systems.
        std::u16string lower = tree.root() + u"\\data\\sub";
        EXPECT_EQ(make_long_path(lower).value_or(u"<null>"), expected);
    } else {
        EXPECT_EQ(expected, tree.path(u"Data/Sub"));
    }
    // A missing folder keeps its whole spelling, only made absolute (and prefixed).
    const std::u16string missing = tree.path(u"Data/nothing/here");
    EXPECT_EQ(make_long_path(missing).value_or(u"<null>"), native_style() == W ? u"\\\\?\\" + missing : missing);
}

TEST(paths_native, relative_name_is_resolved_against_the_current_folder) {
    temp_tree tree;
    tree.make_dir(u"sub");
    platform::os& os = platform::current();
    std::u16string saved;
    ASSERT_TRUE(os.current_dir(saved));
    ASSERT_TRUE(os.set_current_dir(tree.root()));
    const std::u16string from_relative = make_long_path(u"sub").value_or(u"<null>");
    ASSERT_TRUE(os.set_current_dir(saved));
    EXPECT_EQ(from_relative, make_long_path(tree.path(u"sub")).value_or(u"<null>"));
}

}  // namespace
}  // namespace zub::test
