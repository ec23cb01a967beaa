// Tests of the command-line wildcard expansion: what counts as a pattern, and
// how patterns are replaced by their matches (listing order, folder part,
// patterns without matches), through a table-driven layer and on the real
// file system.
#include <gtest/gtest.h>

#include <set>

#include "foundation/paths.h"
#include "foundation/wildcards.h"
#include "tests/foundation/table_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

using args = std::vector<std::u16string>;

TEST(wildcards, has_wildcard) {
    // A lead surrogate takes the unit after it along, whatever it is.
    for (auto yes : {u"src*", u"a?c", u"-??", u"x/?", u"\\\\?\\C:\\da*", u"\\\\?\\C:\\d?ta", u"\U0001F600*"}) {
        EXPECT_TRUE(has_wildcard(yes)) << narrow(yes);
    }
    for (auto no : {u"plain", u"/?", u"-?", u"\\\\?\\C:\\data", u"", u"a\xD800*"}) {
        EXPECT_FALSE(has_wildcard(no)) << narrow(no);
    }
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
    os.add_entry(u"src*", u"src1", platform::attr_bits::HIDDEN);
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
        os.add_entry(u"sub/*.txt", u"a.txt", {});
        os.add_entry(u"sub/*.txt", u"b.txt", {});
        EXPECT_EQ(expand_wildcards(args{u"p", u"sub/*.txt"}), (args{u"p", u"sub/a.txt", u"sub/b.txt"}));
        os.add_entry(u"/da*", u"data");
        EXPECT_EQ(expand_wildcards(args{u"p", u"/da*"}), (args{u"p", u"/data"}));
        return;
    }
    os.add_entry(u"sub\\*.txt", u"a.txt", {});
    os.add_entry(u"sub\\*.txt", u"b.txt", {});
    EXPECT_EQ(expand_wildcards(args{u"p", u"sub\\*.txt"}), (args{u"p", u"sub\\a.txt", u"sub\\b.txt"}));
    os.add_entry(u"C:*.txt", u"a.txt", {});
    EXPECT_EQ(expand_wildcards(args{u"p", u"C:*.txt"}), (args{u"p", u"C:a.txt"}));
    os.add_entry(u"\\\\?\\C:\\da*", u"data");
    EXPECT_EQ(expand_wildcards(args{u"p", u"\\\\?\\C:\\da*"}), (args{u"p", u"\\\\?\\C:\\data"}));
}

TEST(expansion_native, folders_and_files_on_disk) {
    temp_tree tree;
    for (auto folder : {u"src1", u"src2", u"other", u"sub", u"empty"}) tree.make_dir(folder);
    for (auto file : {u"sub/a.txt", u"sub/b.txt", u"sub/c.log"}) tree.write_file(file, "x");
    using set = std::set<std::u16string>;
    const args out = expand_wildcards(args{u"zub64", u"-s", tree.path(u"src*"), tree.path(u"sub/*.txt")});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ((args{out[0], out[1]}), (args{u"zub64", u"-s"}));
    EXPECT_EQ((set{out[2], out[3]}), (set{tree.path(u"src1"), tree.path(u"src2")}));
    EXPECT_EQ((set{out[4], out[5]}), (set{tree.path(u"sub/a.txt"), tree.path(u"sub/b.txt")}));
    for (const auto& kept : {tree.path(u"*.none"), tree.path(u"missing/*"), tree.path(u"empty/*")}) {
        EXPECT_EQ(expand_wildcards(args{u"zub64", kept}), (args{u"zub64", kept}));
    }
    // A relative pattern gives relative names.
    platform::os& os = platform::current();
    std::u16string saved;
    ASSERT_TRUE(os.current_dir(saved));
    ASSERT_TRUE(os.set_current_dir(tree.root()));
    const args relative = expand_wildcards(args{u"zub64", u"-s", u"src*"});
    ASSERT_TRUE(os.set_current_dir(saved));
    ASSERT_EQ(relative.size(), 4u);
    EXPECT_EQ((set{relative[2], relative[3]}), (set{u"src1", u"src2"}));
}

}  // namespace
}  // namespace zub::test
