// The tree walk: each event with its lines in the files they belong to, the
// -c, -e, -v, -b and -f variants, listing failures, and the dialog build's
// status, progress, counters and stop.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/tree_walk.h"
#include "foundation/paths.h"
#include "tests/engine/engine_fixture.h"

namespace zub::test {
namespace {

class walk_test : public engine_test {
protected:
    void SetUp() override {
        engine_test::SetUp();
        files.make_dir(u"s");
        files.make_dir(u"d");
    }
    std::u16string s(std::u16string_view rel = {}) const {
        return rel.empty() ? files.path(u"s") : files.path(u"s/" + std::u16string(rel));
    }
    std::u16string d(std::u16string_view rel = {}) const {
        return rel.empty() ? files.path(u"d") : files.path(u"d/" + std::u16string(rel));
    }
    void walk(build_kind kind = build_kind::console) {
        start(kind, d());
        walk_tree(*run, s(), d());
    }
};

// A source folder without a destination folder: missing (also with -c), or a file there.
TEST_F(walk_test, destination_folder_not_found) {
    files.make_dir(u"s/sub");
    files.make_dir(u"s/sub/deeper");
    files.write_file(u"s/sub/x", "x");
    files.write_file(u"s/sub/deeper/y", "y");
    opt.move_script = opt.long_log = opt.full_log = true;
    walk();
    EXPECT_EQ(run->counts.dir_not_found_count, 1);
    EXPECT_EQ(run->counts.file_not_found_count, 0);
    finish();
    EXPECT_EQ(log(u"zubsdnf.log"), line(s(u"sub")));
    EXPECT_EQ(log(u"zubddnf.log"), line(d(u"sub")));
    EXPECT_EQ(log(u"zubsfnf.log"), u"");
    EXPECT_EQ(log(u"zubmove.bat"), u"move " + q(s(u"sub")) + u" " + q(d(u"sub")) + u"\n");  // the whole folder
    const std::u16string lng = log(u"zublong.log");
    EXPECT_EQ(lng.substr(0, d(u"sub").size() + 3), q(d(u"sub")) + u" ");
    EXPECT_EQ(lng.back(), u'\n');
    EXPECT_EQ(log(u"zublog.txt"), lng);

    // -c: each file is reported instead of the folder.
    opt.skip_dir_check = true;
    walk();
    EXPECT_EQ(run->counts.dir_not_found_count, 0);
    EXPECT_EQ(run->counts.file_not_found_count, 2);
    finish();
    EXPECT_EQ(log(u"zubsdnf.log"), u"");
    const std::u16string sfnf = log(u"zubsfnf.log");
    EXPECT_TRUE(has(sfnf, line(s(u"sub/x"))) && has(sfnf, line(s(u"sub/deeper/y"))));

    opt.skip_dir_check = false;
    files.write_file(u"d/sub", "a file");
    opt.rename_suffix_on = true;
    opt.rename_suffix = u".old";
    walk();
    EXPECT_EQ(run->counts.dir_not_found_count, 1);
    finish();
    EXPECT_EQ(log(u"zubsdnf.log"), line(s(u"sub")));
    EXPECT_EQ(log(u"zubddnf.log"), line(d(u"sub")));
    EXPECT_EQ(log(u"zublong.log"), q(d(u"sub")) + u" not a directory\n");
    EXPECT_EQ(log(u"zublog.txt"), q(d(u"sub")) + u" not a directory\n");
    EXPECT_EQ(log(u"zubmove.bat"), u"move " + q(d(u"sub")) + u" " + q(d(u"sub") + u".old") + u"\n");
}

TEST_F(walk_test, listing_failure_skips_only_that_folder) {
    files.make_dir(u"s/sub");
    files.make_dir(u"d/sub");
    files.write_file(u"s/sub/x", "x");
    files.write_file(u"s/z", "z");
    files.write_file(u"d/z", "z");
    const std::u16string pattern = listing_pattern(s(u"sub"));
    fos.fail_find(pattern, 5);
    opt.long_log = opt.full_log = true;
    walk();
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(run->counts.file_not_found_count + run->counts.dir_not_found_count, 0);
    finish();
    const std::u16string text = os_text(5);
    EXPECT_EQ(host->err, q(pattern) + u" " + text + u" (5)\n");
    EXPECT_TRUE(has(log(u"zubaer.log"), pattern + u": " + text + u" (5)\n"));
    EXPECT_EQ(log(u"zublong.log"), q(pattern) + u" " + text + u" (5)\n");
    EXPECT_TRUE(has(log(u"zublog.txt"), q(pattern) + u" error " + text + u" (5)\n"));
}

TEST_F(walk_test, missing_file_and_file_meeting_folder) {
    files.write_file(u"s/gone", "g");
    files.write_file(u"s/f", "f");
    files.make_dir(u"d/f");
    files.write_file(u"s/100%.txt", "p");
    opt.move_script = opt.long_log = opt.full_log = opt.rename_suffix_on = true;
    opt.rename_suffix = u"_x";
    walk();
    EXPECT_EQ(run->counts.file_not_found_count, 2);
    EXPECT_EQ(run->counts.different_count, 0);
    finish();
    const std::u16string sfnf = log(u"zubsfnf.log"), dfnf = log(u"zubdfnf.log");
    EXPECT_TRUE(has(sfnf, line(s(u"gone"))) && has(sfnf, line(s(u"100%.txt"))));
    EXPECT_TRUE(has(dfnf, line(d(u"gone"))) && has(dfnf, line(d(u"100%.txt"))));
    EXPECT_EQ(log(u"zubsdif.log"), line(s(u"f")));
    EXPECT_EQ(log(u"zubddif.log"), line(d(u"f")));
    const std::u16string lng = log(u"zublong.log");
    EXPECT_TRUE(has(lng, q(d(u"f")) + u" not a file\n"));
    EXPECT_TRUE(has(lng, q(d(u"gone")) + u" "));
    const std::u16string move = log(u"zubmove.bat");
    EXPECT_TRUE(has(move, u"move \"" + s(u"gone") + u"\" \"" + d(u"gone") + u"\"\n"));
    EXPECT_TRUE(has(move, u"move \"" + s(u"f") + u"\" \"" + s(u"f") + u"_x\"\n"));
    // A '%' in a path is doubled so that the command interpreter keeps it.
    EXPECT_TRUE(has(move, u"move \"" + s(u"100%%.txt") + u"\" \"" + d(u"100%%.txt") + u"\"\n"));
}

TEST_F(walk_test, extension_filter) {
    for (auto name : {u"a.TXT", u"b.txt", u"c.txt.bak", u"noext"}) files.write_file(u"s/" + std::u16string(name), "");
    opt.ext_filter = true;
    opt.verbose = true;
    ext = u".txt";
    walk();
    EXPECT_EQ(run->counts.file_not_found_count, 2);
    finish();
    std::u16string sfnf = log(u"zubsfnf.log");
    EXPECT_TRUE(has(sfnf, line(s(u"a.TXT"))) && has(sfnf, line(s(u"b.txt"))));
    EXPECT_EQ(host->verbose.size(), line(s(u"a.TXT")).size() + line(s(u"b.txt")).size());

    ext = u".txt.";  // the empty entry admits names without an extension
    walk();
    EXPECT_EQ(run->counts.file_not_found_count, 3);
    finish();
    EXPECT_TRUE(has(log(u"zubsfnf.log"), line(s(u"noext"))));
}

TEST_F(walk_test, destination_only_entries_and_roots) {
    files.make_dir(u"d/only");
    files.write_file(u"d/only/x", "x");
    files.write_file(u"d/y", "y");
    opt.long_log = true;
    walk();
    EXPECT_EQ(run->counts.same_count + run->counts.different_count + run->counts.file_not_found_count +
                  run->counts.dir_not_found_count,
              0);
    finish();
    EXPECT_EQ(log(u"zublong.log"), u"");

    // A source root that cannot be examined; a source root that is a file.
    start(build_kind::console, d());
    walk_tree(*run, s(u"missing"), d(u"missing"));
    files.write_file(u"s/file", "same");
    files.write_file(u"d/file", "same");
    walk_tree(*run, s(u"file"), d(u"file"));
    EXPECT_EQ(run->counts.same_count, 1);
    finish();
    EXPECT_EQ(log(u"zublong.log").substr(0, s(u"missing").size() + 3), q(s(u"missing")) + u" ");
}

TEST_F(walk_test, dialog_status_progress_counts_and_stop) {
    files.make_dir(u"s/sub");
    files.make_dir(u"d/sub");
    files.write_file(u"s/sub/a", "abc");
    files.write_file(u"d/sub/a", "abc");
    walk(build_kind::dialog);
    EXPECT_EQ(host->statuses, std::vector<std::u16string>{u"sub"});
    const std::u16string rel = platform::native_path_style() == path_style::windows ? u"sub\\a" : u"sub/a";
    EXPECT_EQ(host->progress, (std::vector<std::pair<std::u16string, int>>{{rel, -1}}));
    ASSERT_EQ(host->counts.size(), 1u);
    EXPECT_EQ(host->counts[0].same, 1u);
    EXPECT_EQ(host->counts[0].bytes, 3);

    // A stop during the comparison of a larger pair leaves no verdict.
    const std::string big(size_t{3} * 1048576, 'b');
    files.write_file(u"s/sub/a", big);
    files.write_file(u"d/sub/a", big);
    opt.long_log = opt.full_log = opt.file_log = true;
    start(build_kind::dialog, d());
    host->stop_when = [this](int) { return host->progress.size() >= 3; };
    walk_tree(*run, s(), d());
    EXPECT_TRUE(run->stopped);
    EXPECT_EQ(run->counts.same_count + run->counts.different_count + run->counts.src_error_count +
                  run->counts.dst_error_count,
              0);
    EXPECT_TRUE(host->counts.empty());
    finish();
    EXPECT_EQ(log(u"zubssame.log"), u"");
    EXPECT_EQ(log(u"zubfile.log"), u"");
    EXPECT_EQ(log(u"zublog.txt"), u"");
}

TEST_F(walk_test, link_back_to_an_ancestor_is_not_walked_again) {
    files.make_dir(u"s/sub");
    files.write_file(u"s/sub/a", "x");
    files.make_dir(u"d/sub");
    files.write_file(u"d/sub/a", "x");
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::filesystem::path(s()), std::filesystem::path(s(u"sub/loop")), ec);
    if (ec) GTEST_SKIP() << "symbolic links unavailable: " << ec.message();
    opt.long_log = true;
    walk();
    finish();
    // The loop is reported once; the rest of the tree is judged as usual.
    const std::u16string text = u"is a link back to a folder being walked: not walked again";
    EXPECT_EQ(host->err, q(s(u"sub/loop")) + u" " + text + u"\n");
    EXPECT_TRUE(has(log(u"zubaer.log"), s(u"sub/loop") + u": " + text + u"\n"));
    EXPECT_TRUE(has(log(u"zublong.log"), q(s(u"sub/loop")) + u" " + text + u"\n"));
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(run->counts.dir_not_found_count, 0);
}

// Levels that each hold two links to the next: without the identity check
// the walk doubles at every level. Each folder is walked once, plain folders
// always, and every further link to one is reported once.
TEST_F(walk_test, links_to_folders_walked_already_are_not_walked_again) {
    if (platform::native_path_style() != platform::path_style::posix) GTEST_SKIP() << "Wine makes no links";
    std::u16string level = u"s";
    for (int i = 0; i < 3; ++i) {
        const std::u16string next = level + u"/n";
        files.make_dir(next);
        files.write_file(next + u"/f", "x");
        files.make_link(level + u"/l1", files.path(next), true);
        files.make_link(level + u"/l2", files.path(next), true);
        level = next;
    }
    opt.skip_dir_check = true;
    walk();
    // A level is walked once as itself each time its parent is, and at most
    // once more through the first link that reaches it (listing order
    // decides): at most 2 + 3 + 4 files, where 3 + 9 + 27 would be walked
    // with every link followed.
    EXPECT_GE(run->counts.file_not_found_count, 3);
    EXPECT_LE(run->counts.file_not_found_count, 9);
    EXPECT_TRUE(has(host->err, u" is a link to a folder walked already: not walked again\n"));
}

}  // namespace
}  // namespace zub::test
