// The judgement of a file pair: each verdict row with its lines, counters and
// removals, refused removals, judge_single_file, and the safety checks that
// keep the only copy of a file: the same-file guard (hard links, a
// destination reached through a link) and the unchanged-since-compared check.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/pair_judgement.h"
#include "engine/tree_walk.h"
#include "tests/engine/engine_fixture.h"

namespace zub::test {
namespace {

class judgement_test : public engine_test {
protected:
    void SetUp() override {
        engine_test::SetUp();
        files.make_dir(u"s");
        files.make_dir(u"d");
    }
    std::u16string src(std::u16string_view name = u"a") const { return files.path(u"s/" + std::u16string(name)); }
    std::u16string dst(std::u16string_view name = u"a") const { return files.path(u"d/" + std::u16string(name)); }
    void pair(std::string_view s, std::string_view d, std::u16string_view name = u"a") {
        files.write_file(u"s/" + std::u16string(name), s);
        files.write_file(u"d/" + std::u16string(name), d);
    }
    void begin(build_kind kind = build_kind::console) { start(kind, files.path(u"d")); }
    // Judges s/name against d/name as the walk would.
    void judge(std::u16string_view name = u"a") {
        file_info info;
        uint32_t error = 0;
        platform::search_handle search = find_first(src(name), info, error);
        ASSERT_TRUE(search.valid());
        find_close(search, error);
        path_status_record status;
        ASSERT_TRUE(path_status(dst(name), status, error));
        pair_folders folders;
        platform::current().file_identity(files.path(u"s"), folders.src);
        platform::current().file_identity(files.path(u"d"), folders.dst);
        judge_pair(*run, src(name), dst(name), info, status, folders);
    }
    static const uint64_t base_time = 133000000000000000ull;  // 2022
};

TEST_F(judgement_test, same_pair_lines_and_removal_of_either_side) {
    pair("hello", "hello");
    opt.file_log = opt.full_log = opt.long_log = true;
    opt.delete_dst = true;
    begin();
    judge();
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(run->counts.bytes_compared, 5u);
    EXPECT_EQ(run->counts.dst_removed_count, 1);
    EXPECT_FALSE(files.exists(u"d/a"));
    EXPECT_TRUE(files.exists(u"s/a"));
    finish();
    EXPECT_EQ(log(u"zubssame.log"), line(src()));
    EXPECT_EQ(log(u"zubdsame.log"), line(dst()));
    EXPECT_EQ(log(u"zubdrm.log"), line(dst()));
    EXPECT_EQ(log(u"zubfile.log"), u"\"a\", same\n");
    EXPECT_EQ(log(u"zublog.txt"), u"\"a\", same\n");
    EXPECT_EQ(log(u"zublong.log"), u"");

    // -d -z: emptied, not deleted.
    pair("hello", "hello", u"b");
    opt = {};
    opt.delete_dst = opt.empty_instead = true;
    begin();
    judge(u"b");
    EXPECT_TRUE(files.exists(u"d/b"));
    EXPECT_EQ(files.size_of(u"d/b"), 0u);
    EXPECT_EQ(files.read_file(u"s/b"), "hello");
    finish();
    EXPECT_EQ(log(u"zubdrm.log"), line(dst(u"b")));
}

TEST_F(judgement_test, read_only_source_needs_r) {
    pair("same", "same");
    files.set_read_only(u"s/a", true);
    opt.delete_src = true;
    begin();
    judge();
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(run->counts.src_error_count, 1);
    EXPECT_EQ(run->counts.src_removed_count, 0);
    EXPECT_TRUE(files.exists(u"s/a"));
    finish();
    EXPECT_EQ(log(u"zubserr.log"), line(src()));
    EXPECT_EQ(log(u"zubsrm.log"), u"");
    EXPECT_EQ(host->err, u"");

    opt.remove_readonly = true;
    begin();
    judge();
    EXPECT_FALSE(files.exists(u"s/a"));
    EXPECT_EQ(run->counts.src_removed_count, 1);
    EXPECT_EQ(run->counts.src_error_count, 0);
    finish();
    EXPECT_EQ(log(u"zubsrm.log"), line(src()));
}

TEST_F(judgement_test, refused_delete_and_attribute_change) {
    pair("same", "same");
    pair("same", "same", u"b");
    files.set_read_only(u"s/b", true);
    fos.fail_delete(dst(), 5);
    fos.fail_set_read_only(src(u"b"), 5);
    opt.delete_dst = true;
    opt.long_log = opt.full_log = true;
    begin();
    judge();
    EXPECT_EQ(run->counts.dst_error_count, 1);
    EXPECT_TRUE(files.exists(u"d/a"));
    const std::u16string text = errno_text_of(5);
    EXPECT_EQ(host->err, q(dst()) + u" " + text + u"\n");

    opt.delete_dst = false;
    opt.delete_src = opt.remove_readonly = true;
    begin();
    judge(u"b");
    EXPECT_EQ(run->counts.src_error_count, 1);
    EXPECT_TRUE(files.exists(u"s/b"));
    expect_failure(q(src(u"b")) + u" " + text + u"\n", src(u"b") + u": " + text + u"\n", line(src(u"b")), u"",
                   q(src(u"b")) + u" " + text + u"\n", u"\"b\", same\n" + q(src(u"b")) + u" " + text + u"\n");
}

TEST_F(judgement_test, sizes_differ_without_reading_and_times_as_text) {
    pair("0123456789", "01234567890123456789");
    files.set_write_time(u"s/a", base_time);
    files.set_write_time(u"d/a", base_time);
    opt.long_log = opt.full_log = opt.file_log = true;
    begin();
    judge();
    EXPECT_EQ(run->counts.different_count, 1);
    EXPECT_EQ(run->counts.bytes_compared, 10u);
    EXPECT_EQ(fos.open_count(src()), 0);
    finish();
    const std::u16string lng = log(u"zublong.log");
    EXPECT_EQ(lng.substr(0, lng.find(u"timestamp")), q(src()) + u" size 10 < 20 , ");
    EXPECT_EQ(lng.substr(lng.size() - 26, 2), u"= ");
    EXPECT_EQ(log(u"zubfile.log"), u"\"a\", size, 10, \"<\", 20\n");
    EXPECT_EQ(log(u"zublog.txt").substr(0, 24), u"\"a\", size 10 < 20 , time");
    EXPECT_EQ(log(u"zubsdif.log"), line(src()));
    EXPECT_EQ(log(u"zubddif.log"), line(dst()));

    // A time that cannot be converted prints zero fields.
    struct no_local_time : faulty_os {
        bool local_time(platform::file_time, platform::system_time&) override { return false; }
    } layer;
    faulty_os_scope scope(layer);
    begin();
    judge();
    finish();
    EXPECT_EQ(log(u"zublong.log"), q(src()) +
                                       u" size 10 < 20 , timestamp    0-00-00 00:00:00.000 "
                                       u"=    0-00-00 00:00:00.000\n");
}

TEST_F(judgement_test, partial_pairs) {
    pair("0123456789", "01234567890123456789");        // source a part of the destination
    pair("01234567890123456789", "0123456789", u"b");  // destination a part of the source
    pair("0123x56789", "01234567890123456789", u"c");  // not a part at 4
    opt.partial_compare = opt.long_log = opt.full_log = true;
    opt.delete_part = opt.move_script = true;
    begin();
    judge();
    judge(u"b");
    judge(u"c");
    EXPECT_EQ(run->counts.different_count, 3);
    EXPECT_FALSE(files.exists(u"s/a"));
    EXPECT_FALSE(files.exists(u"d/b"));
    EXPECT_TRUE(files.exists(u"s/c"));
    EXPECT_EQ(run->counts.src_removed_count, 1);
    EXPECT_EQ(run->counts.dst_removed_count, 1);
    finish();
    EXPECT_EQ(log(u"zubpart.log"), line(src()) + line(dst(u"b")));
    EXPECT_EQ(log(u"zubmove.bat"), u"move \"" + src(u"b") + u"\" \"" + dst(u"b") + u"\"\n");
    const std::u16string lng = log(u"zublong.log");
    EXPECT_NE(lng.find(q(src()) + u" is a part of dst\n"), std::u16string::npos);
    EXPECT_NE(lng.find(q(dst(u"b")) + u" is a part of src\n"), std::u16string::npos);
    EXPECT_NE(lng.find(q(src(u"c")) + u" not a part at 4\n"), std::u16string::npos);
    const std::u16string full = log(u"zublog.txt");
    EXPECT_NE(full.find(u"\"a\", src is a part of dst\n"), std::u16string::npos);
    EXPECT_NE(full.find(u"\"b\", dst is a part of src\n"), std::u16string::npos);
    EXPECT_NE(full.find(u"\"c\", src is not a part of dst at 4\n"), std::u16string::npos);
}

TEST_F(judgement_test, timestamps_apart_and_content_differences) {
    pair("same bytes", "same bytes");
    files.set_write_time(u"s/a", base_time + 10000);  // 1 ms later
    files.set_write_time(u"d/a", base_time);
    path_status_record s_status, d_status;
    uint32_t error = 0;
    ASSERT_TRUE(path_status(src(), s_status, error));
    ASSERT_TRUE(path_status(dst(), d_status, error));
    if (s_status.written == d_status.written) {
        // The test tree cannot set times finer than a second here.
        files.set_write_time(u"s/a", base_time + 20000000);
        ASSERT_TRUE(path_status(src(), s_status, error));
    }
    pair("abc", "bbc", u"b");
    opt.check_timestamp = opt.long_log = opt.full_log = opt.file_log = true;
    begin();
    judge();
    EXPECT_EQ(run->counts.different_count, 1);
    EXPECT_EQ(fos.read_calls(), 0);
    finish();
    std::u16string lng = log(u"zublong.log");
    ASSERT_FALSE(lng.empty());
    EXPECT_EQ(lng.substr(0, src().size() + 13), q(src()) + u" timestamp ");
    EXPECT_EQ(lng.substr(lng.find(u" > "), 3), u" > ");
    const std::u16string file = log(u"zubfile.log");
    EXPECT_EQ(file.substr(0, 17), u"\"a\", timestamp, 2");
    EXPECT_NE(file.find(sformat(u", %I64u, \">\", ", s_status.written)), std::u16string::npos);
    EXPECT_NE(file.find(sformat(u", %I64u\n", d_status.written)), std::u16string::npos);

    opt.check_timestamp = false;
    begin();
    judge(u"b");
    EXPECT_EQ(run->counts.different_count, 1);
    finish();
    lng = log(u"zublong.log");
    EXPECT_EQ(lng.substr(0, lng.find(u"timestamp")), q(src(u"b")) + u" disagreement at 0 0x61 0x62 , ");
    EXPECT_EQ(log(u"zubfile.log"), u"\"b\", disagreement\n");
    EXPECT_EQ(log(u"zublog.txt").substr(0, 34), u"\"b\", disagreement at 0 0x61 0x62 ,");
}

TEST_F(judgement_test, single_file_root) {
    files.write_file(u"s/f", "x");
    files.make_dir(u"d/f");
    opt.long_log = opt.full_log = true;
    begin();
    judge_single_file(*run, src(u"f"), dst(u"f"));
    EXPECT_EQ(run->counts.different_count + run->counts.same_count + run->counts.file_not_found_count, 0);
    judge_single_file(*run, src(u"f"), dst(u"missing"));
    EXPECT_EQ(run->counts.file_not_found_count, 1);
    finish();
    const std::u16string lng = log(u"zublong.log");
    EXPECT_EQ(lng.substr(0, dst(u"f").size() + 14), q(dst(u"f")) + u" not a file\n");
    EXPECT_EQ(lng.substr(dst(u"f").size() + 14, dst(u"missing").size() + 3), q(dst(u"missing")) + u" ");
    EXPECT_EQ(log(u"zubsfnf.log"), u"");

    files.write_file(u"d/g", "x");
    files.write_file(u"s/g", "x");
    opt = {};
    begin();
    run->dst_prefix_len = 99;
    judge_single_file(*run, src(u"g"), dst(u"g"));
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(run->dst_prefix_len, 0);
}

// --- the safety checks ---

TEST_F(judgement_test, hard_linked_pair_is_never_removed) {
    files.write_file(u"s/a", "only copy");
    std::error_code ec;
    std::filesystem::create_hard_link(std::filesystem::path(src()), std::filesystem::path(dst()), ec);
    if (ec) GTEST_SKIP() << "hard links unavailable: " << ec.message();
    for (bool empty : {false, true}) {
        opt.delete_dst = true;
        opt.empty_instead = empty;
        opt.long_log = true;
        begin();
        judge();
        EXPECT_EQ(run->counts.same_count, 1);
        EXPECT_EQ(run->counts.dst_error_count, 1);
        EXPECT_EQ(run->counts.dst_removed_count, 0);
        EXPECT_EQ(files.read_file(u"s/a"), "only copy");
        EXPECT_EQ(files.read_file(u"d/a"), "only copy");
        const std::u16string text = q(dst()) + u" is the same file as " + q(src()) + u"\n";
        expect_failure(text, dst() + u": is the same file as " + src() + u"\n", u"", line(dst()), text, u"");
        EXPECT_EQ(log(u"zubdrm.log"), u"");
    }
}

TEST_F(judgement_test, destination_reached_through_a_link_to_the_source) {
    files.write_file(u"s/a", "only copy");
    files.make_dir(u"s/sub");
    files.write_file(u"s/sub/b", "second");
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::filesystem::path(files.path(u"s")),
                                              std::filesystem::path(files.path(u"link")), ec);
    if (ec) GTEST_SKIP() << "symbolic links unavailable: " << ec.message();
    opt.delete_dst = true;
    start(build_kind::console, files.path(u"link"));
    walk_tree(*run, files.path(u"s"), files.path(u"link"));
    EXPECT_EQ(run->counts.same_count, 2);
    EXPECT_EQ(run->counts.dst_removed_count, 0);
    EXPECT_EQ(run->counts.dst_error_count, 2);
    EXPECT_EQ(files.read_file(u"s/a"), "only copy");
    EXPECT_EQ(files.read_file(u"s/sub/b"), "second");
}

TEST_F(judgement_test, file_changed_after_comparison_is_not_removed) {
    pair("content", "content");
    pair("content", "content", u"b");
    // The destination's time changes while the pair is being compared.
    fos.before_first_read(src(), [this] { files.set_write_time(u"d/a", base_time); });
    fos.before_first_read(dst(u"b"), [this] { files.set_write_time(u"s/b", base_time); });
    opt.delete_dst = true;
    begin();
    judge();
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(run->counts.dst_error_count, 1);
    EXPECT_TRUE(files.exists(u"d/a"));
    EXPECT_EQ(host->err, q(dst()) + u" changed since it was compared\n");
    opt.delete_dst = false;
    opt.delete_src = true;
    begin();
    judge(u"b");
    EXPECT_EQ(run->counts.src_error_count, 1);
    EXPECT_TRUE(files.exists(u"s/b"));
    finish();
    EXPECT_EQ(log(u"zubserr.log"), line(src(u"b")));
}

// Something swapped into a file's place (or changed) between the comparison
// and its removal: nothing but the compared file is ever changed, and a
// change of either file keeps both.
TEST_F(judgement_test, swaps_before_a_removal_change_nothing_else) {
    const bool posix = platform::native_path_style() == platform::path_style::posix;
    struct row {
        const char* name;
        bool needs_links;
        bool empty, read_only;
        std::function<void()> prepare;  // before the run
        std::function<void()> swap;     // just before the removal opens d/a
        std::u16string err;             // what the removing side is told
    };
    const std::u16string outside = files.path(u"outside");
    const row rows[] = {
        {"link to the source file", true, true, false, nullptr,
         [&] { files.rename(u"d/a", u"d/old"), files.make_link(u"d/a", src()); }, u" is a link: not removed\n"},
        {"link to a file outside", true, false, false, nullptr,
         [&] { files.rename(u"d/a", u"d/old"), files.make_link(u"d/a", outside); }, u" is a link: not removed\n"},
        {"link from the start, -r", true, false, true,
         [&] { files.remove(u"d/a"), files.make_link(u"d/a", outside), files.set_read_only(u"outside", true); },
         nullptr, u" is a link: not removed\n"},
        {"source grew", false, false, false, nullptr, [&] { files.write_file(u"s/a", "same bytes, and more"); },
         u" is kept: " + q(src()) + u" changed since it was compared\n"},
        {"same size and time, other file", false, false, false, nullptr,
         [&] {
             files.write_file(u"d/new", "SAME BYTES");
             files.set_write_time(u"d/new", base_time);
             files.rename(u"d/new", u"d/a");
         },
         u" changed since it was compared\n"},
        {"other names, -z", true, true, false,
         [&] {
             files.write_file(u"s/b", "same bytes");
             files.remove(u"d/a");
             std::filesystem::create_hard_link(std::filesystem::path(src(u"b")), std::filesystem::path(dst()));
         },
         nullptr, u" has other names: not emptied\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.needs_links && !posix) continue;  // Wine makes no links
        files.write_file(u"outside", "same bytes");
        pair("same bytes", "same bytes");
        files.set_write_time(u"d/a", base_time);
        if (r.prepare) r.prepare();
        if (r.swap) fos.before_change(dst(), r.swap);
        opt = {};
        opt.delete_dst = true;
        opt.empty_instead = r.empty;
        opt.remove_readonly = r.read_only;
        begin();
        judge();
        EXPECT_EQ(run->counts.same_count, 1);
        EXPECT_EQ(run->counts.dst_removed_count, 0);
        EXPECT_EQ(run->counts.dst_error_count, 1);
        EXPECT_EQ(host->err, q(dst()) + r.err);
        EXPECT_EQ(files.read_file(u"outside"), "same bytes");
        EXPECT_EQ(files.get_read_only(u"outside"), r.read_only);
        EXPECT_EQ(files.read_file(u"s/a").substr(0, 10), "same bytes");
        files.set_read_only(u"outside", false);
        for (const char16_t* name : {u"d/a", u"d/old", u"s/b"}) files.remove(name);
    }
}

// Windows: a file another program holds without sharing cannot be emptied;
// the line gives the C library's reason for such a refusal.
TEST_F(judgement_test, emptying_a_file_held_elsewhere_is_permission_denied) {
    if (platform::native_path_style() == platform::path_style::posix) GTEST_SKIP() << "sharing modes are Windows'";
    pair("same", "same");
    platform::lock_handle held;
    uint32_t error = 0;
    fos.before_change(dst(), [&] { held = platform::current().open_lock(dst(), error); });
    opt.delete_dst = opt.empty_instead = true;
    begin();
    judge();
    ASSERT_TRUE(held.valid());
    platform::current().release_lock(held);
    EXPECT_EQ(run->counts.dst_error_count, 1);
    EXPECT_EQ(host->err, q(dst()) + u" " + errno_message_text(13) + u"\n");
    EXPECT_EQ(files.read_file(u"d/a"), "same");
}

// A folder swapped for a link to another folder that holds the compared
// file under another name: the deletion checks the folder it deletes in.
TEST_F(judgement_test, folder_swapped_for_a_link_keeps_the_file_there) {
    if (platform::native_path_style() != platform::path_style::posix) GTEST_SKIP() << "Wine makes no links";
    files.make_dir(u"s/sub");
    files.make_dir(u"d/sub");
    files.make_dir(u"other");
    files.write_file(u"s/sub/a", "x");
    files.write_file(u"d/sub/a", "x");
    std::filesystem::create_hard_link(std::filesystem::path(files.path(u"d/sub/a")),
                                      std::filesystem::path(files.path(u"other/a")));
    fos.before_change(files.path(u"d/sub/a"), [&] {
        files.rename(u"d/sub", u"d/old");
        files.make_link(u"d/sub", files.path(u"other"), true);
    });
    opt.delete_dst = true;
    start(build_kind::console, files.path(u"d"));
    walk_tree(*run, files.path(u"s"), files.path(u"d"));
    EXPECT_EQ(run->counts.dst_removed_count, 0);
    EXPECT_EQ(host->err, q(files.path(u"d/sub/a")) + u" changed since it was compared\n");
    EXPECT_TRUE(files.exists(u"other/a"));
    EXPECT_TRUE(files.exists(u"d/old/a"));
}

TEST_F(judgement_test, dialog_counts_and_stop_before_a_pair) {
    pair("x", "x");
    pair("x", "yy", u"b");
    begin(build_kind::dialog);
    judge();
    judge(u"b");
    ASSERT_EQ(host->counts.size(), 2u);
    EXPECT_EQ(host->counts[0].same, 1u);
    EXPECT_EQ(host->counts[1].different, 1u);
    EXPECT_EQ(host->counts[1].bytes, 2);
    host->stop_when = [](int) { return true; };
    judge();
    EXPECT_EQ(run->counts.same_count, 1);
    EXPECT_EQ(host->counts.size(), 2u);
}

}  // namespace
}  // namespace zub::test
