// Tests of the command-line wildcard expansion: what counts as a pattern, and
// how patterns are replaced by their matches (listing order, folder part,
// patterns without matches), through a table-driven layer and on the real
// file system.
#include <gtest/gtest.h>

#include <set>

#include "paths.h"
#include "table_os.h"
#include "temp_tree.h"
#include "wildcards.h"

namespace zub::test {
namespace {

using args = std::vector<std::u16string>;

TEST(wildcards, has_wildcard) {
    EXPECT_TRUE(has_wildcard(u"src*"));
    EXPECT_TRUE(has_wildcard(u"a?c"));
    EXPECT_FALSE(has_wildcard(u"plain"));
    EXPECT_FALSE(has_wildcard(u"/?"));
    EXPECT_FALSE(has_wildcard(u"-?"));
    EXPECT_TRUE(has_wildcard(u"-??"));
    EXPECT_TRUE(has_wildcard(u"x/?"));
    EXPECT_FALSE(has_wildcard(u"\\\\?\\C:\\data"));
    EXPECT_TRUE(has_wildcard(u"\\\\?\\C:\\da*"));
    EXPECT_TRUE(has_wildcard(u"\\\\?\\C:\\d?ta"));
    EXPECT_FALSE(has_wildcard(u""));
    EXPECT_TRUE(has_wildcard(u"\U0001F600*"));
    // A lead surrogate takes the unit after it along, whatever it is.
    EXPECT_FALSE(has_wildcard(u"a\xD800*"));
}

class expansion : public ::testing::Test {
protected:
    table_os os;
    layer_scope scope{os};
};

TEST_F(expansion, without_patterns_the_vector_is_unchanged) {
    const args in{u"zub64", u"/?", u"-d", u"\\\\?\\C:\\data"};
    EXPECT_EQ(expand_wildcards(in), in);
    EXPECT_TRUE(os.searched.empty());
    EXPECT_EQ(expand_wildcards(args{u"zub*"}), args{u"zub*"});  // argument 0 is never a pattern
    EXPECT_EQ(expand_wildcards(args{}), args{});
}

TEST_F(expansion, matches_in_listing_order_without_dot_entries) {
    os.add_entry(u"src*", u".");
    os.add_entry(u"src*", u"src2");
    os.add_entry(u"src*", u"..");
    os.add_entry(u"src*", u"src1", platform::ATTR_HIDDEN);
    EXPECT_EQ(expand_wildcards(args{u"zub64", u"-s", u"src*", u"x"}), (args{u"zub64", u"-s", u"src2", u"src1", u"x"}));
    EXPECT_EQ(os.open_searches, 0);
}

TEST_F(expansion, patterns_without_names_are_kept) {
    EXPECT_EQ(expand_wildcards(args{u"zub64", u"*.none", u"-?"}), (args{u"zub64", u"*.none", u"-?"}));
    // Only "." and ".." (a folder without entries) match no name either.
    os.add_entry(u"*", u".");
    os.add_entry(u"*", u"..");
    EXPECT_EQ(expand_wildcards(args{u"zub64", u"*", u"dst"}), (args{u"zub64", u"*", u"dst"}));
    EXPECT_EQ(os.open_searches, 0);
}

TEST_F(expansion, matches_are_joined_onto_the_folder_part) {
    if (native_style() != path_style::windows) {
        os.add_entry(u"sub/*.txt", u"a.txt", 0);
        os.add_entry(u"sub/*.txt", u"b.txt", 0);
        EXPECT_EQ(expand_wildcards(args{u"p", u"sub/*.txt"}), (args{u"p", u"sub/a.txt", u"sub/b.txt"}));
        os.add_entry(u"/da*", u"data");
        EXPECT_EQ(expand_wildcards(args{u"p", u"/da*"}), (args{u"p", u"/data"}));
        return;
    }
    os.add_entry(u"sub\\*.txt", u"a.txt", 0);
    os.add_entry(u"sub\\*.txt", u"b.txt", 0);
    EXPECT_EQ(expand_wildcards(args{u"p", u"sub\\*.txt"}), (args{u"p", u"sub\\a.txt", u"sub\\b.txt"}));
    os.add_entry(u"C:*.txt", u"a.txt", 0);
    EXPECT_EQ(expand_wildcards(args{u"p", u"C:*.txt"}), (args{u"p", u"C:a.txt"}));
    os.add_entry(u"\\\\?\\C:\\da*", u"data");
    EXPECT_EQ(expand_wildcards(args{u"p", u"\\\\?\\C:\\da*"}), (args{u"p", u"\\\\?\\C:\\data"}));
}

TEST(expansion_native, folders_and_files_on_disk) {
    temp_tree tree;
    tree.make_dir(u"src1");
    tree.make_dir(u"src2");
    tree.make_dir(u"other");
    tree.make_dir(u"sub");
    tree.write_file(u"sub/a.txt", "a");
    tree.write_file(u"sub/b.txt", "b");
    tree.write_file(u"sub/c.log", "c");
    tree.make_dir(u"empty");

    const args out = expand_wildcards(args{u"zub64", u"-s", tree.path(u"src*"), tree.path(u"sub/*.txt")});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0], u"zub64");
    EXPECT_EQ(out[1], u"-s");
    EXPECT_EQ((std::set<std::u16string>{out[2], out[3]}),
              (std::set<std::u16string>{tree.path(u"src1"), tree.path(u"src2")}));
    EXPECT_EQ((std::set<std::u16string>{out[4], out[5]}),
              (std::set<std::u16string>{tree.path(u"sub/a.txt"), tree.path(u"sub/b.txt")}));

    const std::u16string none = tree.path(u"*.none");
    EXPECT_EQ(expand_wildcards(args{u"zub64", none}), (args{u"zub64", none}));
    const std::u16string in_missing = tree.path(u"missing/*");
    EXPECT_EQ(expand_wildcards(args{u"zub64", in_missing}), (args{u"zub64", in_missing}));
    const std::u16string in_empty = tree.path(u"empty/*");
    EXPECT_EQ(expand_wildcards(args{u"zub64", in_empty}), (args{u"zub64", in_empty}));
}

TEST(expansion_native, relative_pattern_gives_relative_names) {
    temp_tree tree;
    tree.make_dir(u"src1");
    tree.make_dir(u"src2");
    platform::os& os = platform::current();
    std::u16string saved;
    ASSERT_TRUE(os.current_dir(saved));
    ASSERT_TRUE(os.set_current_dir(tree.root()));
    const args out = expand_wildcards(args{u"zub64", u"-s", u"src*"});
    ASSERT_TRUE(os.set_current_dir(saved));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ((std::set<std::u16string>{out[2], out[3]}), (std::set<std::u16string>{u"src1", u"src2"}));
}

}  // namespace
}  // namespace zub::test
