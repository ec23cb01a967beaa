// Tests of the path toolkit: the text operations in both path styles on every
// platform, the long-path operations through a table-driven layer (so the
// Windows forms are checked everywhere), and the native style's long paths on
// the real file system.
#include <gtest/gtest.h>

#include <algorithm>

#include "paths.h"
#include "table_os.h"
#include "temp_tree.h"

namespace zub::test {
namespace {

constexpr path_style W = path_style::windows;
constexpr path_style P = path_style::posix;

TEST(paths_windows_text, parent_dir_cuts_at_last_separator_after_the_root) {
    EXPECT_EQ(parent_dir(u"C:\\a\\b", W), u"C:\\a");
    EXPECT_EQ(parent_dir(u"C:\\a", W), u"C:\\");
    EXPECT_EQ(parent_dir(u"a", W), u"");
    EXPECT_EQ(parent_dir(u"\\\\server\\share", W), u"\\\\server");
    EXPECT_EQ(parent_dir(u"\\\\?\\C:\\a", W), u"\\\\?\\C:");
    EXPECT_EQ(parent_dir(u"C:", W), u"C:");
    EXPECT_EQ(parent_dir(u"C:a", W), u"C:");
    EXPECT_EQ(parent_dir(u"C:a\\b", W), u"C:a");
    EXPECT_EQ(parent_dir(u"\\a", W), u"\\");
    EXPECT_EQ(parent_dir(u"C:/a/b", W), u"C:/a");
    EXPECT_EQ(parent_dir(u"/\\server/share", W), u"/\\server");
    EXPECT_EQ(parent_dir(u"sub\\*.txt", W), u"sub");
    // Only ASCII letters make a drive prefix.
    EXPECT_EQ(parent_dir(u"\u00C4:\\a", W), u"\u00C4:");
}

TEST(paths_windows_text, join_path_adds_no_separator_after_root_forms) {
    EXPECT_EQ(join_path(u"C:", u"x", W), u"C:x");
    EXPECT_EQ(join_path(u"C:\\", u"x", W), u"C:\\x");
    EXPECT_EQ(join_path(u"c:/", u"x", W), u"c:/x");
    EXPECT_EQ(join_path(u"\\\\?\\C:\\", u"x", W), u"\\\\?\\C:\\x");
    EXPECT_EQ(join_path(u"C:\\a", u"x", W), u"C:\\a\\x");
    EXPECT_EQ(join_path(u"\\", u"x", W), u"\\x");
    EXPECT_EQ(join_path(u"/", u"x", W), u"/x");
    // Any other folder ending in a separator gets a second one.
    EXPECT_EQ(join_path(u"C:\\a\\", u"x", W), u"C:\\a\\\\x");
    EXPECT_EQ(join_path(u"\\\\?\\UNC\\s\\sh", u"x", W), u"\\\\?\\UNC\\s\\sh\\x");
}

TEST(paths_windows_text, join_variants) {
    EXPECT_EQ(join_path_new(u"", u"x", W), u"x");
    EXPECT_EQ(join_path_new(u"/", u"x", W), u"\\x");
    EXPECT_EQ(join_path_new(u"\\\\?\\C:\\", u"x", W), u"\\\\?\\C:\\x");
    EXPECT_EQ(join_path_new(u"C:", u"x.txt", W), u"C:x.txt");
    EXPECT_EQ(join_path_new(u"sub", u"a.txt", W), u"sub\\a.txt");

    EXPECT_EQ(dialog_join_path_new(u"\\\\?\\C:\\", u"x", W), u"\\\\?\\C:\\\\x");
    EXPECT_EQ(dialog_join_path_new(u"C:\\", u"x", W), u"C:\\x");
    EXPECT_EQ(dialog_join_path_new(u"", u"x", W), u"x");

    EXPECT_EQ(lister_join_path(u"", u"x", W), u"x");
    EXPECT_EQ(lister_join_path(u"\\\\?\\C:\\", u"x", W), u"\\\\?\\C:\\\\x");
    EXPECT_EQ(lister_join_path(u"C:", u"x", W), u"C:x");
    EXPECT_EQ(lister_join_path(u"\\\\?\\C:\\d", u"x", W), u"\\\\?\\C:\\d\\x");
}

TEST(paths_windows_text, file_extension_is_last_dot_of_last_component) {
    EXPECT_EQ(file_extension(u"C:\\a.b\\c", W), std::nullopt);
    EXPECT_EQ(file_extension(u"x.tar.gz", W), std::optional<size_t>(5));
    EXPECT_EQ(file_extension(u".profile", W), std::optional<size_t>(0));
    EXPECT_EQ(file_extension(u"C:.x", W), std::optional<size_t>(2));
    EXPECT_EQ(file_extension(u"a.b/c", W), std::nullopt);
    EXPECT_EQ(file_extension(u"dir\\name.", W), std::optional<size_t>(8));
    EXPECT_EQ(file_extension(u"", W), std::nullopt);
}

TEST(paths_windows_text, listing_pattern_forms) {
    EXPECT_EQ(listing_pattern(u"\\", W), u"\\*.*");
    EXPECT_EQ(listing_pattern(u"/", W), u"\\*.*");
    EXPECT_EQ(listing_pattern(u"C:", W), u"C:*.*");
    EXPECT_EQ(listing_pattern(u"C:\\", W), u"C:\\*.*");
    EXPECT_EQ(listing_pattern(u"\\\\?\\C:\\", W), u"\\\\?\\C:\\*.*");
    EXPECT_EQ(listing_pattern(u"\\\\?\\C:\\data", W), u"\\\\?\\C:\\data\\*.*");
    EXPECT_EQ(listing_pattern(u"\\\\?\\UNC\\s\\sh", W), u"\\\\?\\UNC\\s\\sh\\*.*");
    EXPECT_EQ(lister_listing_pattern(u"", W), u"*.*");
    EXPECT_EQ(lister_listing_pattern(u"sub", W), u"sub\\*.*");
    EXPECT_EQ(lister_listing_pattern(u"C:/", W), u"C:/*.*");
}

TEST(paths_windows_text, strip_trailing_backslash_removes_one_backslash_only) {
    std::u16string a = u"C:\\a\\";
    strip_trailing_backslash(a, W);
    EXPECT_EQ(a, u"C:\\a");
    std::u16string b = u"C:\\a/";
    strip_trailing_backslash(b, W);
    EXPECT_EQ(b, u"C:\\a/");
    std::u16string c = u"a\\\\";
    strip_trailing_backslash(c, W);
    EXPECT_EQ(c, u"a\\");
    std::u16string empty;
    strip_trailing_backslash(empty, W);
    EXPECT_EQ(empty, u"");
}

TEST(paths_windows_text, surrogate_pairs_are_never_split) {
    // U+1F600 is D83D DE00; U+10000 is D800 DC00.
    const std::u16string face = u"\U0001F600";
    const std::u16string folder = u"C:\\" + face + u"dir";
    EXPECT_EQ(parent_dir(folder + u"\\" + face + u".txt", W), folder);
    EXPECT_EQ(join_path(folder, face, W), folder + u"\\" + face);
    EXPECT_EQ(file_extension(u"\U00010000.\U00010000", W), std::optional<size_t>(2));
    EXPECT_EQ(file_extension(face + u"\\" + face, W), std::nullopt);
    // A lead surrogate always takes the next unit along, whatever it is: the
    // scans agree with one another on such names instead of cutting a pair.
    const std::u16string lone = u"a.b\xD800.c";
    EXPECT_EQ(file_extension(lone, W), std::optional<size_t>(1));
    EXPECT_EQ(parent_dir(u"x\\a\xD800\\b", W), u"x");
}

TEST(paths_posix_text, parent_dir) {
    EXPECT_EQ(parent_dir(u"/a/b", P), u"/a");
    EXPECT_EQ(parent_dir(u"/a", P), u"/");
    EXPECT_EQ(parent_dir(u"a", P), u"");
    EXPECT_EQ(parent_dir(u"/", P), u"/");
    EXPECT_EQ(parent_dir(u"a/b", P), u"a");
    EXPECT_EQ(parent_dir(u"C:\\a\\b", P), u"");  // `\` and drive prefixes are ordinary text
    EXPECT_EQ(parent_dir(u"/x/a\\b", P), u"/x");
}

TEST(paths_posix_text, joins_and_patterns) {
    EXPECT_EQ(join_path(u"/", u"x", P), u"/x");
    EXPECT_EQ(join_path(u"/a", u"x", P), u"/a/x");
    EXPECT_EQ(join_path(u"/a/", u"x", P), u"/a//x");
    EXPECT_EQ(join_path(u"C:", u"x", P), u"C:/x");
    EXPECT_EQ(join_path(u"\\", u"x", P), u"\\/x");
    EXPECT_EQ(join_path_new(u"", u"x", P), u"x");
    EXPECT_EQ(join_path_new(u"/", u"x", P), u"/x");
    EXPECT_EQ(dialog_join_path_new(u"", u"x", P), u"x");
    EXPECT_EQ(lister_join_path(u"", u"x", P), u"x");
    EXPECT_EQ(lister_join_path(u"d", u"x", P), u"d/x");

    EXPECT_EQ(listing_pattern(u"/", P), u"/*.*");
    EXPECT_EQ(listing_pattern(u"/a", P), u"/a/*.*");
    EXPECT_EQ(listing_pattern(u"C:", P), u"C:/*.*");
    EXPECT_EQ(lister_listing_pattern(u"", P), u"*.*");

    EXPECT_EQ(file_extension(u"a\\b.c", P), std::optional<size_t>(3));
    EXPECT_EQ(file_extension(u"d.x/c", P), std::nullopt);
    EXPECT_EQ(file_extension(u"C:.x", P), std::optional<size_t>(2));

    std::u16string a = u"/a/";
    strip_trailing_backslash(a, P);
    EXPECT_EQ(a, u"/a");
    std::u16string root = u"/";
    strip_trailing_backslash(root, P);
    EXPECT_EQ(root, u"/");
    std::u16string b = u"a\\";
    strip_trailing_backslash(b, P);
    EXPECT_EQ(b, u"a\\");

    EXPECT_TRUE(is_separator(u'/', P));
    EXPECT_FALSE(is_separator(u'\\', P));
    EXPECT_TRUE(is_separator(u'\\', W));
}

TEST(paths_ext_list, parses_runs_of_extensions) {
    ext_list list;
    const std::u16string two = u".txt.log";
    parse_ext_list(list, &two);
    EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"txt", u"log"}));

    const std::u16string trailing = u".txt.";
    parse_ext_list(list, &trailing);
    EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"txt", u""}));

    const std::u16string bare = u"txt";
    parse_ext_list(list, &bare);
    EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"xt"}));

    const std::u16string other_first = u"*c.h";
    parse_ext_list(list, &other_first);
    EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"c", u"h"}));

    const std::u16string pair = u".\U0001F600.a";  // the trail unit is not a dot
    parse_ext_list(list, &pair);
    EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"\U0001F600", u"a"}));

    parse_ext_list(list, nullptr);
    EXPECT_TRUE(list.entries.empty());

    const std::u16string empty;
    parse_ext_list(list, &two);
    parse_ext_list(list, &empty);
    EXPECT_TRUE(list.entries.empty());

    parse_ext_list(list, &two);
    free_ext_list(list);
    EXPECT_TRUE(list.entries.empty());
}

TEST(paths_case, equal_ignore_case_maps_letter_pairs_only) {
    EXPECT_TRUE(equal_ignore_case(u"ReadMe.TXT", u"readme.txt"));
    EXPECT_FALSE(equal_ignore_case(u"[", u"{"));  // not letters: 0x5B and 0x7B differ
    EXPECT_FALSE(equal_ignore_case(u"@", u"`"));
    EXPECT_FALSE(equal_ignore_case(u"abc", u"abcd"));
    EXPECT_TRUE(equal_ignore_case(u"\u00C9t\u00C9", u"\u00E9t\u00E9"));  // Latin-1
    EXPECT_FALSE(equal_ignore_case(u"\u00D7", u"\u00F7"));              // multiply vs divide
    EXPECT_TRUE(equal_ignore_case(u"\u0178", u"\u00FF"));               // Y diaeresis
    EXPECT_TRUE(equal_ignore_case(u"\u0141\u0179", u"\u0142\u017A"));   // Latin Extended-A
    EXPECT_TRUE(equal_ignore_case(u"\u03A3\u0391", u"\u03C3\u03B1"));   // Greek
    EXPECT_TRUE(equal_ignore_case(u"\u0386", u"\u03AC"));
    EXPECT_TRUE(equal_ignore_case(u"\u0416\u0401", u"\u0436\u0451"));   // Cyrillic
    EXPECT_TRUE(equal_ignore_case(u"\u0462", u"\u0463"));
    EXPECT_FALSE(equal_ignore_case(u"\u0416", u"\u0417"));

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
        auto result = make_long_path(name, style);
        EXPECT_TRUE(result.has_value());
        return result.value_or(u"<null>");
    }
    void TearDown() override { EXPECT_EQ(os.open_searches, 0) << "a search was left open"; }
};

TEST_F(long_paths, windows_respells_each_component_as_stored) {
    os.full_paths[u"c:\\data"] = u"c:\\data";
    os.add_entry(u"\\\\?\\C:\\data", u"Data");
    EXPECT_EQ(long_path(u"c:\\data"), u"\\\\?\\C:\\Data");

    // An 8.3 alias comes back with the long name; every level is respelled.
    os.full_paths[u"c:\\progra~1\\sub"] = u"c:\\progra~1\\sub";
    os.add_entry(u"\\\\?\\C:\\progra~1\\sub", u"Sub");
    os.add_entry(u"\\\\?\\C:\\progra~1", u"Program Files");
    EXPECT_EQ(long_path(u"c:\\progra~1\\sub"), u"\\\\?\\C:\\Program Files\\Sub");
}

TEST_F(long_paths, windows_missing_folder_keeps_its_spelling) {
    os.full_paths[u"c:\\nothere\\Deeper"] = u"c:\\nothere\\Deeper";
    EXPECT_EQ(long_path(u"c:\\nothere\\Deeper"), u"\\\\?\\C:\\nothere\\Deeper");
    // The whole path keeps its spelling, also the parts that exist.
    os.full_paths[u"c:\\data\\new"] = u"c:\\data\\new";
    os.add_entry(u"\\\\?\\C:\\data", u"Data");
    EXPECT_EQ(long_path(u"c:\\data\\new"), u"\\\\?\\C:\\data\\new");
}

TEST_F(long_paths, windows_server_device_and_fixed_forms) {
    os.full_paths[u"\\\\server\\share\\dir"] = u"\\\\server\\share\\dir";
    EXPECT_EQ(long_path(u"\\\\server\\share\\dir"), u"\\\\?\\UNC\\server\\share\\dir");
    os.add_entry(u"\\\\?\\UNC\\server\\share\\dir", u"Dir");
    EXPECT_EQ(long_path(u"\\\\server\\share\\dir"), u"\\\\?\\UNC\\server\\share\\Dir");

    os.searched.clear();
    os.full_paths[u"\\\\.\\PhysicalDrive0"] = u"\\\\.\\PhysicalDrive0";
    EXPECT_EQ(long_path(u"\\\\.\\PhysicalDrive0"), u"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(long_path(u"//./PhysicalDrive0"), u"//./PhysicalDrive0");
    EXPECT_EQ(long_path(u"\\\\"), u"\\\\");
    EXPECT_EQ(long_path(u"\\\\?"), u"\\\\?");
    EXPECT_EQ(long_path(u"\\\\?\\"), u"\\\\?\\");
    EXPECT_EQ(long_path(u""), u"");
    EXPECT_TRUE(os.searched.empty());
}

TEST_F(long_paths, windows_relative_and_prefixed_names) {
    os.full_paths[u"sub"] = u"d:\\work\\sub";
    os.add_entry(u"\\\\?\\D:\\work\\sub", u"sub");
    os.add_entry(u"\\\\?\\D:\\work", u"Work");
    EXPECT_EQ(long_path(u"sub"), u"\\\\?\\D:\\Work\\sub");

    os.full_paths[u"\\\\?\\c:\\x"] = u"\\\\?\\c:\\x";
    EXPECT_EQ(long_path(u"\\\\?\\c:\\x"), u"\\\\?\\C:\\x");

    const size_t searches = os.searched.size();
    os.full_paths[u"C:\\"] = u"C:\\";
    EXPECT_EQ(long_path(u"C:\\"), u"\\\\?\\C:\\");
    EXPECT_EQ(os.searched.size(), searches) << "the drive root is never searched";
}

TEST_F(long_paths, windows_name_without_full_path_is_kept_as_typed) {
    EXPECT_EQ(long_path(u"bad|name"), u"bad|name");
    os.full_paths[u"huge"] = u"C:\\" + std::u16string(FULL_PATH_UNITS, u'a');
    EXPECT_EQ(long_path(u"huge"), u"huge");
}

TEST_F(long_paths, windows_dot_entries_are_skipped_and_wildcards_take_the_first_match) {
    os.full_paths[u"c:\\da*"] = u"c:\\da*";
    os.add_entry(u"\\\\?\\C:\\da*", u"Data");
    os.add_entry(u"\\\\?\\C:\\da*", u"Dance");
    EXPECT_EQ(long_path(u"c:\\da*"), u"\\\\?\\C:\\Data");

    os.full_paths[u"c:\\d\\."] = u"c:\\d\\.";
    os.add_entry(u"\\\\?\\C:\\d\\.", u".");
    os.add_entry(u"\\\\?\\C:\\d\\.", u"..");
    EXPECT_EQ(long_path(u"c:\\d\\."), u"\\\\?\\C:\\d\\.");
}

TEST_F(long_paths, windows_display_and_lister_variants) {
    os.full_paths[u"c:\\data"] = u"c:\\data";
    os.add_entry(u"C:\\data", u"Data");
    EXPECT_EQ(make_display_path(u"c:\\data", W).value_or(u"<null>"), u"C:\\Data");
    os.full_paths[u"\\\\server\\share\\dir"] = u"\\\\server\\share\\dir";
    os.add_entry(u"\\\\server\\share\\dir", u"Dir");
    EXPECT_EQ(make_display_path(u"\\\\server\\share\\dir", W).value_or(u"<null>"), u"\\\\server\\share\\Dir");

    os.searched.clear();
    EXPECT_EQ(lister_make_long_path(u"c:\\data", W), u"\\\\?\\C:\\data");
    EXPECT_EQ(lister_make_long_path(u"\\\\server\\share\\dir", W), u"\\\\?\\UNC\\server\\share\\dir");
    EXPECT_EQ(lister_make_long_path(u"\\\\", W), u"\\\\");
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

    os.full_paths[u"/x/missing"] = u"/x/missing";
    EXPECT_EQ(long_path(u"/x/missing", P), u"/x/missing");
    EXPECT_EQ(long_path(u"unknown", P), u"unknown");  // no full path: kept as typed
    EXPECT_EQ(long_path(u"", P), u"");
    os.full_paths[u"\\\\server"] = u"/home/u/\\\\server";  // `\` is ordinary text
    EXPECT_EQ(long_path(u"\\\\server", P), u"/home/u/\\\\server");
    EXPECT_EQ(lister_make_long_path(u"data", P), u"/home/u/data");
    EXPECT_EQ(make_display_path(u"data", P).value_or(u"<null>"), u"/home/u/Data");
}

// --- the native style on the real file system ---

TEST(paths_native, make_long_path_resolves_and_respells) {
    temp_tree tree;
    tree.make_dir(u"Data");
    tree.make_dir(u"Data/Sub");
    const std::u16string sep = native_style() == W ? u"\\" : u"/";
    const std::u16string expected = make_long_path(tree.path(u"Data/Sub")).value_or(u"<null>");
    // A path spelled with "." and ".." and a wildcard comes back as the stored one.
    const std::u16string typed = tree.root() + sep + u"Data" + sep + u"." + sep + u"Su*" + sep + u".." + sep + u"S?b";
    EXPECT_EQ(make_long_path(typed).value_or(u"<null>"), expected);
    // The last component is spelled as stored; a wildcard one respells to the match.
    EXPECT_TRUE(expected.size() >= 8 && expected.substr(expected.size() - 8) == u"Data" + sep + u"Sub");
    EXPECT_EQ(make_long_path(tree.path(u"Dat*")).value_or(u"<null>"),
              parent_dir(expected));
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
