// Whole runs in-process: the result files in a temporary current folder, the
// run log, byte-order marks, the same-folder lines, exit codes, the summary,
// the folder history, the dialog build's lock and stop, and the guards
// against a folder compared with itself and an unwritable result file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "engine/byte_compare.h"
#include "engine/result_logs.h"
#include "engine/run_driver.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "platform/utf.h"
#include "tests/support/capture_host.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

std::u16string crlf(std::u16string_view text) {
    std::u16string r;
    for (char16_t c : text) {
        if (c == u'\n') r.push_back(u'\r');
        r.push_back(c);
    }
    return r;
}

std::u16string summary(std::u16string_view src, std::u16string_view dst, int same = 0, int different = 0) {
    return sformat(
        u"%d same file(s)\n%d different file(s)\n0 file(s) error in \"%s\"\n"
        u"0 file(s) error in \"%s\"\n0 file(s) not found\n0 directory(s) not found\n"
        u"0 file(s) delete from \"%s\"\n0 file(s) delete from \"%s\"\n",
        same, different, src, dst, src, dst);
}

bool ends_with(std::u16string_view text, std::u16string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

const char16_t* const path_lists[] = {u"zubssame.log", u"zubdsame.log", u"zubsdif.log", u"zubddif.log",
                                      u"zubsfnf.log",  u"zubdfnf.log",  u"zubsdnf.log", u"zubddnf.log",
                                      u"zubsrm.log",   u"zubdrm.log",   u"zubserr.log", u"zubderr.log"};
const std::string old_bytes("o\0l\0d\0", 6);  // "old" in UTF-16LE

// Each test runs in a fresh temporary current folder that holds the source
// "src" and destination "dst" as well, so the result files land beside them.
class run_driver_test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(reserve_compare_buffers()); }
    static void TearDownTestSuite() { release_compare_buffers(); }

    void SetUp() override {
        ASSERT_TRUE(platform::current().current_dir(saved_dir_));
        // The settings file is looked for next to this stand-in executable.
        fos_.set_executable_path(work_.path(u"zub64.exe"));
        ASSERT_TRUE(platform::current().set_current_dir(work_.root()));
        work_.make_dir(u"src");
        work_.make_dir(u"dst");
    }
    void TearDown() override { platform::current().set_current_dir(saved_dir_); }

    int run(std::vector<std::u16string> args, capture_host& host) {
        args.insert(args.begin(), host.kind() == build_kind::dialog ? u"zub" : u"zub64");
        run_state state(host);
        return run_engine(state, args);
    }
    int run(std::vector<std::u16string> args) { return run(std::move(args), host_); }

    std::string bytes(std::u16string_view name) const { return read_whole_file(work_.path(name)); }
    std::u16string text(std::u16string_view name) const { return from_utf16le(bytes(name)); }
    void write_settings(std::string_view content) const { work_.write_file(u"zub64.ini", content); }
    // Every path list exists and is empty.
    void expect_empty_lists() const {
        for (const char16_t* list : path_lists)
            EXPECT_TRUE(work_.exists(list) && work_.size_of(list) == 0) << narrow(list);
    }

    temp_tree work_;
    faulty_os fos_;
    faulty_os_scope scope_{fos_};
    capture_host host_;

private:
    std::u16string saved_dir_;
};

TEST_F(run_driver_test, completed_run_writes_summary_to_three_places_and_exits_0) {
    EXPECT_EQ(run({u"-m", u"src", u"dst"}), 0);
    // The typed folder texts appear in the summary, not the long forms.
    EXPECT_EQ(host_.out, summary(u"src", u"dst"));
    EXPECT_EQ(text(u"zublog.txt"), crlf(summary(u"src", u"dst")));
    const std::u16string aer = text(u"zubaer.log");
    EXPECT_EQ(aer, crlf(u"0=[zub64] 1=[-m] 2=[src] 3=[dst] \n" + summary(u"src", u"dst") + u"exit code = 0\n\n"));
    expect_empty_lists();
    EXPECT_FALSE(work_.exists(u"zubpart.log") || work_.exists(u"zubmove.bat"));
    EXPECT_TRUE(host_.err.empty()) << narrow(host_.err);

    // -v puts an empty line before the summary; without -m there is no zublog.txt.
    std::filesystem::remove(std::filesystem::path(work_.path(u"zublog.txt")));
    capture_host verbose;
    EXPECT_EQ(run({u"-v", u"src", u"dst"}, verbose), 0);
    EXPECT_EQ(verbose.out, u"\n" + summary(u"src", u"dst"));
    EXPECT_FALSE(work_.exists(u"zublog.txt"));
}

TEST_F(run_driver_test, early_ends_exit_1_and_log_the_exit_code) {
    EXPECT_EQ(run({u"src"}), 1);
    EXPECT_EQ(run({u"-x", u"src", u"dst"}), 1);
    EXPECT_EQ(run({u"-?"}), 1);
    // Bad usage and bad options never open the result logs.
    EXPECT_FALSE(work_.exists(u"zubssame.log"));
    EXPECT_EQ(text(u"zubaer.log"), crlf(u"0=[zub64] 1=[src] \nexit code = 1\n\n"
                                        u"0=[zub64] 1=[-x] 2=[src] 3=[dst] \nzub64: bad option X\nexit code = 1\n\n"
                                        u"0=[zub64] 1=[-?] \nexit code = 1\n\n"));
    const std::u16string usage =
        u"usage: zub64 [-s|-d] [-r] [-z] [-t] [-e ext] [-p] [-q] [-a] [-v] [-l] [-c|-b] [-f ext] [-n] [-g] [-k] "
        u"[-w] [-i] [-m] [-1|2|3|4] [srcdir dstdir]\n";
    EXPECT_EQ(host_.err, usage + u"zub64: bad option X\nfor more infomation: zub64 /?\n" + usage);
    EXPECT_TRUE(host_.out.empty());

    // No folders on the command line: the host is asked; a cancel ends with 1.
    capture_host cancel;
    EXPECT_EQ(run({u"-s"}, cancel), 1);
    EXPECT_EQ(cancel.resolve_calls, 1);
    EXPECT_FALSE(work_.exists(u"zubssame.log"));

    // An empty folder name cannot be made absolute; it never becomes a walk
    // of the root.
    capture_host empty;
    EXPECT_EQ(run({u"", u"dst"}, empty), 1);
    EXPECT_TRUE(empty.out.empty());

    // Folders picked through the host are used as picked.
    capture_host picked;
    picked.folders = std::make_pair(std::u16string(u"src"), std::u16string(u"dst"));
    EXPECT_EQ(run({}, picked), 0);
    EXPECT_EQ(picked.out, summary(u"src", u"dst"));
}

// Lists are kept with -a and emptied without it; a byte-order mark starts each
// new or emptied file when the settings ask.
TEST_F(run_driver_test, appended_and_emptied_lists_and_byte_order_marks) {
    write_settings("[options]\r\nBOM=1\r\n");
    work_.write_file(u"zubssame.log", old_bytes);
    EXPECT_EQ(run({u"-a", u"-mplgb", u"src", u"dst"}), 0);
    const std::string mark("\xFF\xFE", 2);
    // A list that already holds lines gets no second mark; new files start with one.
    EXPECT_EQ(bytes(u"zubssame.log"), old_bytes);
    for (const char16_t* name : {u"zubdsame.log", u"zubderr.log", u"zubpart.log", u"zublong.log", u"zubfile.log"})
        EXPECT_EQ(bytes(name), mark) << narrow(name);
    EXPECT_EQ(bytes(u"zublog.txt").substr(0, 2), mark);
    EXPECT_EQ(from_utf16le(bytes(u"zublog.txt").substr(2)), crlf(summary(u"src", u"dst")));
    // The move script never carries a mark, and the run log holds this run's
    // argument lines before the marks are written.
    EXPECT_EQ(bytes(u"zubmove.bat"), "");
    EXPECT_NE(bytes(u"zubaer.log").substr(0, 2), mark);

    // Without -a the lists are emptied and marked again.
    EXPECT_EQ(run({u"src", u"dst"}), 0);
    EXPECT_EQ(bytes(u"zubssame.log"), mark);
    EXPECT_NE(bytes(u"zubaer.log").substr(0, 2), mark);

    // Another value than one beginning with "1" writes no mark.
    write_settings("[options]\r\nBOM=0\r\n");
    EXPECT_EQ(run({u"src", u"dst"}), 0);
    EXPECT_EQ(bytes(u"zubssame.log"), "");
    // The run log always grows.
    const std::u16string aer = text(u"zubaer.log");
    EXPECT_TRUE(aer.find(u"1=[-a] 2=[-mplgb]") < aer.find(u"0=[zub64] 1=[src] 2=[dst]"));
}

// UTF-8 by the settings key or ZUB_ENCODING; a file appended to keeps the
// encoding of what it holds, and the byte-order mark follows the encoding.
TEST_F(run_driver_test, utf8_on_request_and_appended_files_keep_their_encoding) {
    const std::string nl = native_style() == path_style::posix ? "\n" : "\r\n";
    const std::string utf8_mark = "\xEF\xBB\xBF";
    const std::u16string sum = u"\"a\", same\n" + summary(u"src", u"dst", 1);
    work_.write_file(u"src/a", "x");
    work_.write_file(u"dst/a", "x");
    const std::u16string dst_a = *make_long_path(u"dst/a");
    write_settings("[options]\r\nBOM=1\r\nencoding=utf-8\r\n");
    work_.write_file(u"zubssame.log", old_bytes);
    work_.write_file(u"zubaer.log", old_bytes);
    EXPECT_EQ(run({u"-a", u"-m", u"src", u"dst"}), 0);
    EXPECT_EQ(text(u"zubssame.log"), u"old" + crlf(*make_long_path(u"src/a") + u"\n"));
    EXPECT_EQ(bytes(u"zubdsame.log"), utf8_mark + platform::bytes_from_utf16(dst_a) + nl);
    EXPECT_EQ(bytes(u"zublog.txt"), utf8_mark + platform::bytes_from_utf16(nl == "\n" ? sum : crlf(sum)));
    EXPECT_TRUE(ends_with(text(u"zubaer.log"), u"\r\nexit code = 0\r\n\r\n"));

    // ZUB_ENCODING overrides the key: UTF-16LE again, but not in a file appended to.
    static char utf16[] = "ZUB_ENCODING=utf-16", unset[] = "ZUB_ENCODING=";
    putenv(utf16);
    const std::string line8 = platform::bytes_from_utf16(dst_a) + nl;
    EXPECT_EQ(run({u"-a", u"src", u"dst"}), 0);
    EXPECT_EQ(bytes(u"zubdsame.log"), utf8_mark + line8 + line8);
    EXPECT_EQ(run({u"src", u"dst"}), 0);
    putenv(unset);
    EXPECT_EQ(bytes(u"zubdsame.log"), "\xFF\xFE" + utf16le(crlf(dst_a + u"\n")));
}

TEST_F(run_driver_test, same_folder_by_text) {
    const std::u16string src_long = *make_long_path(u"src");
    const std::u16string variant_long = *make_long_path(u"x/../src");

    EXPECT_EQ(run({u"-m", u"src", u"x/../src"}), 1);
    const std::u16string lines = u"src(src) = dst(x/../src) = " + src_long + u" = " + variant_long + u"\n";
    EXPECT_EQ(host_.err, lines);
    EXPECT_TRUE(host_.out.empty());
    EXPECT_EQ(text(u"zublog.txt"), crlf(lines));
    EXPECT_EQ(text(u"zubaer.log"), crlf(u"0=[zub64] 1=[-m] 2=[src] 3=[x/../src] \n" + lines + u"exit code = 1\n\n"));
    expect_empty_lists();

    // Equal texts print only the first line.
    capture_host equal;
    EXPECT_EQ(run({u"src", u"src"}, equal), 1);
    EXPECT_EQ(equal.err, u"src(src) = dst(src)\n");

    capture_host cased;
    if (native_style() == path_style::windows) {
        // Texts that differ only in case name one folder and count as equal texts.
        EXPECT_EQ(run({u"src", u"SRC"}, cased), 1);
        EXPECT_EQ(cased.err, u"src(src) = dst(SRC)\n");
    } else {
        // POSIX file names are case-sensitive: two folders.
        work_.make_dir(u"src2");
        work_.make_dir(u"SRC2");
        EXPECT_EQ(run({u"src2", u"SRC2"}, cased), 0);
    }
}

TEST_F(run_driver_test, same_folder_by_identity) {
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::filesystem::path(work_.path(u"src")),
                                              std::filesystem::path(work_.path(u"link")), ec);
    if (ec) GTEST_SKIP() << "symbolic links are not available here: " << ec.message();
    work_.write_file(u"src/a.txt", "only copy");

    // -d would remove every file of dst, which is the only copy in src.
    EXPECT_EQ(run({u"-d", u"src", u"link"}), 1);
    // The texts differ, so both long forms follow (equal ones when the long
    // form resolves the link, different ones when it keeps the link's name).
    EXPECT_EQ(host_.err,
              u"src(src) = dst(link) = " + *make_long_path(u"src") + u" = " + *make_long_path(u"link") + u"\n");
    EXPECT_EQ(work_.read_file(u"src/a.txt"), "only copy");
    EXPECT_EQ(work_.size_of(u"zubdrm.log"), 0u);
}

TEST_F(run_driver_test, history_is_written_only_into_an_existing_settings_file) {
    EXPECT_EQ(run({u"src", u"dst"}), 0);
    EXPECT_FALSE(work_.exists(u"zub64.ini"));

    write_settings("[options]\r\nBOM=0\r\n");
    EXPECT_EQ(run({u"src", u"dst"}), 0);
    EXPECT_EQ(read_setting(u"history0", u"source"), u"src");
    EXPECT_EQ(read_setting(u"history0", u"destination"), u"dst");

    // A run that stops as the same folder does not touch the history.
    EXPECT_EQ(run({u"dst", u"dst"}), 1);
    EXPECT_EQ(read_setting(u"history0", u"source"), u"src");
}

TEST_F(run_driver_test, destination_paths_are_shown_relative_to_the_destination_root) {
    work_.write_file(u"src/sub/a.txt", "same bytes");
    work_.write_file(u"dst/sub/a.txt", "same bytes");
    const bool windows = native_style() == path_style::windows;
    // With or without a separator after the roots, the pair is found and the
    // destination root and one separator are left out.
    for (const std::u16string trail : {u"", u"/", windows ? u"\\" : u""}) {
        capture_host host;
        EXPECT_EQ(run({u"-g", u"src" + trail, u"dst" + trail}, host), 0);
        EXPECT_EQ(text(u"zubfile.log"), windows ? u"\"sub\\a.txt\", same\r\n" : u"\"sub/a.txt\", same\r\n")
            << narrow(trail);
    }
    // A folder and its spelling with a trailing separator are one folder.
    capture_host same;
    EXPECT_EQ(run({u"dst", u"dst/"}, same), 1);
    EXPECT_EQ(same.err.rfind(u"src(dst) = dst(dst/) = ", 0), 0u) << narrow(same.err);
}

// A result file that cannot be created or written fails the run, which says
// which one; a run that removes stops removing before its first removal (or
// its next one) whatever the file.
TEST_F(run_driver_test, unwritable_result_files_fail_the_run_and_stop_removals) {
    const bool posix = platform::native_path_style() == platform::path_style::posix;
    const uint32_t full = posix ? 28 : 112;
    const char16_t* const pair_files[] = {u"src/a.txt", u"dst/a.txt", u"src/b.txt", u"dst/b.txt"};
    struct row {
        const char* name;
        std::vector<std::u16string> options;
        bool open_fails;  // else every write fails
        std::u16string file;
    };
    // zubmove.sh starts with its header; zubmove.bat may get its first line
    // only after the removals, so there a list written for every pair stands
    // in for it.
    const row rows[] = {
        {"run log and lists cannot be created", {u"-m"}, true, u"zubaer.log"},
        {"a list lost at the last write", {}, false, u"zubssame.log"},
        {"a list of an earlier owner", {u"-d"}, true, u"zubdsame.log"},
        {"a full disk under a script", {u"-d", posix ? u"-b" : u"-g"}, false, posix ? u"zubmove.sh" : u"zubfile.log"},
        {"the run log, removing", {u"-s"}, false, u"zubaer.log"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        for (const char16_t* name : pair_files) work_.write_file(name, "same");
        work_.write_file(u"src/c.txt", "only here");  // a move line for -b
        faulty_os fos;
        fos.set_executable_path(work_.path(u"zub64.exe"));
        faulty_os_scope scope(fos);
        if (r.open_fails)
            fos.fail_open_write(r.file, platform::ERR_ACCESS_DENIED);
        else
            fos.fail_write(r.file, full);
        capture_host host;
        std::vector<std::u16string> args = r.options;
        args.insert(args.end(), {u"src", u"dst"});
        EXPECT_EQ(run(args, host), 1);
        EXPECT_NE(host.out.find(u"2 same file(s)\n"), std::u16string::npos);  // the run still went to its end
        const bool removes = r.options.size() > 0 && (r.options[0] == u"-d" || r.options[0] == u"-s");
        const std::u16string said =
            r.file + (removes ? u" cannot be written: no more files are removed\n" : u" cannot be written\n");
        EXPECT_NE(host.err.find(said), std::u16string::npos) << narrow(host.err);
        int removed = 0;
        for (const char16_t* name : pair_files) removed += !work_.exists(name);
        EXPECT_EQ(removed, 0);
        if (r.file != u"zubaer.log") {
            EXPECT_NE(text(u"zubaer.log").find(crlf(said)), std::u16string::npos) << "the run log names it too";
        }
    }
}

// A folder moved away and replaced while the walk is in it: the pair is the
// two files at the pair's paths now, and the copy that left the tree is no
// reason to remove anything.
TEST_F(run_driver_test, destination_replaced_mid_walk_removes_nothing) {
    for (const char16_t* name : {u"src/a", u"dst/a", u"src/b", u"dst/b"}) work_.write_file(name, "same bytes");
    bool swapped = false;
    for (const char16_t* name : {u"src/a", u"src/b"})
        fos_.before_change(make_long_path(work_.path(name)).value_or(u""), [&] {
            if (swapped) return;
            swapped = true;
            work_.rename(u"dst", u"aside");
            work_.make_dir(u"dst");
            work_.write_file(u"dst/a", "other byte");
            work_.write_file(u"dst/b", "other byte");
        });
    EXPECT_EQ(run({u"-s", u"src", u"dst"}), 0);
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(work_.exists(u"src/a") && work_.exists(u"src/b"));
    EXPECT_NE(host_.err.find(u"changed since it was compared\n"), std::u16string::npos) << narrow(host_.err);
    EXPECT_EQ(bytes(u"zubsrm.log"), "");
}

// Pairs in flight (a window the settings ask for) give exactly the result
// files, lines and removals of one pair at a time: a refused open, a read
// that fails, a missing and a shorter destination, and a file swapped before
// its removal among the pairs in flight. A rotational device and the load
// levels 1 to 3 keep one pair at a time; a share opens the window at once.
TEST_F(run_driver_test, pairs_in_flight_report_and_remove_as_one_pair_at_a_time) {
    const auto path = [&](std::u16string_view name) { return make_long_path(work_.path(name)).value_or(u""); };
    struct outcome {
        int code;
        std::u16string out, err;
        std::vector<std::string> files;
        int most_read_open;
    };
    using platform::storage_kind;
    const auto run_with = [&](const char* settings, storage_kind storage, int hold_ms = 0,
                              const char16_t* level = u"-4") {
        faulty_os faults;  // fresh rules and counts for each run
        faulty_os_scope in_force(faults);
        faults.set_executable_path(work_.path(u"zub64.exe"));
        faults.report_storage(storage);
        std::filesystem::remove_all(std::filesystem::path(narrow(work_.path(u"src"))));
        std::filesystem::remove_all(std::filesystem::path(narrow(work_.path(u"dst"))));
        for (const char16_t* list : path_lists) std::filesystem::remove(narrow(work_.path(list)));
        for (int i = 0; i < 12; ++i) {
            const std::u16string name = sformat(u"f%02d", i);
            const std::string bytes(size_t(1000 * i + 10), static_cast<char>('a' + i));
            work_.write_file(u"src/" + name, bytes);
            // A first read waits (`hold_ms` at most) until another pair is open too.
            faults.before_first_read(path(u"src/" + name), [&, hold_ms] {
                for (int t = 0; t < hold_ms && faults.most_read_open() < 3; ++t) platform::current().sleep_ms(1);
            });
            if (i == 4) continue;                                            // missing
            work_.write_file(u"dst/" + name, i == 6 ? bytes + "!" : bytes);  // longer
        }
        work_.write_file(u"dst/f08", std::string(8010, 'x'));  // differs
        // Larger pairs, read through the window's large buffers: the same,
        // differing far in, and a destination whose read fails past 512 KiB.
        for (int i = 0; i < 3; ++i) {
            const std::u16string name = sformat(u"g%d", i);
            std::string bytes(size_t(600000 + 50000 * i), static_cast<char>('k' + i));
            work_.write_file(u"src/" + name, bytes);
            if (i == 1) bytes[640000] = '!';
            work_.write_file(u"dst/" + name, bytes);
        }
        faults.fail_read(path(u"dst/g2"), 524288, 5);
        faults.fail_open(path(u"src/f02"), platform::ERR_ACCESS_DENIED);
        faults.fail_read(path(u"dst/f05"), 4096, 23);
        faults.before_change(path(u"dst/f09"), [&] { work_.write_file(u"dst/f09", std::string(9010, 'q')); });
        write_settings(settings);
        capture_host host;
        outcome o{run({u"-d", level, u"src", u"dst"}, host), host.out, host.err, {}, faults.most_read_open()};
        for (const char16_t* list : path_lists) o.files.push_back(bytes(list));
        for (int i = 0; i < 12; ++i) o.files.push_back(work_.exists(sformat(u"dst/f%02d", i)) ? "kept" : "removed");
        for (int i = 0; i < 3; ++i) o.files.push_back(work_.exists(sformat(u"dst/g%d", i)) ? "kept" : "removed");
        return o;
    };
    const outcome one = run_with("[options]\r\ninflight=1\r\n", storage_kind::other);
    const outcome window = run_with("[options]\r\ninflight=6\r\n", storage_kind::other, 2000);
    EXPECT_EQ(one.most_read_open, 2);
    EXPECT_GT(window.most_read_open, 2);
    EXPECT_EQ(window.code, one.code);
    EXPECT_EQ(window.out, one.out);
    EXPECT_EQ(window.err, one.err);
    EXPECT_EQ(window.files, one.files);
    EXPECT_NE(one.err.find(u"changed since it was compared"), std::u16string::npos) << narrow(one.err);
    // Seven removed, and f04 was never there.
    EXPECT_EQ(std::count(one.files.begin(), one.files.end(), "removed"), 8) << narrow(one.out);
    EXPECT_NE(one.err.find(u"g2\", "), std::u16string::npos) << narrow(one.err);
    EXPECT_EQ(run_with("[options]\r\ninflight=6\r\n", storage_kind::rotational, 20).most_read_open, 2);
    for (const char16_t* level : {u"-1", u"-2", u"-3"})
        EXPECT_EQ(run_with("[options]\r\ninflight=6\r\n", storage_kind::other, 20, level).most_read_open, 2)
            << narrow(level);
    // Nothing asked: the pairs of a local tree are timed first (and here do
    // not wait); a share's are in flight from the first one.
    EXPECT_EQ(run_with("", storage_kind::other, 20).most_read_open, 2);
    const outcome share = run_with("", storage_kind::remote, 2000);
    EXPECT_GT(share.most_read_open, 2);
    EXPECT_EQ(share.files, one.files);
}

// A run whose current folder is its source, against a backup that holds
// empty copies of the result files: its own result files are never removed.
TEST_F(run_driver_test, own_result_files_are_never_removed) {
    work_.write_file(u"src/a.txt", "same");
    work_.write_file(u"dst/a.txt", "same");
    for (const char16_t* list : path_lists) work_.write_file(u"dst/" + std::u16string(list), "");
    ASSERT_TRUE(platform::current().set_current_dir(work_.path(u"src")));
    EXPECT_EQ(run({u"-s", u".", u"../dst"}), 0);
    for (const char16_t* list : path_lists) EXPECT_TRUE(work_.exists(u"src/" + std::u16string(list))) << narrow(list);
    EXPECT_FALSE(work_.exists(u"src/a.txt"));
    EXPECT_NE(host_.err.find(u"\" is a result file of this run: not removed\n"), std::u16string::npos);
    EXPECT_NE(host_.out.find(u"1 file(s) delete from \".\""), std::u16string::npos) << "only a.txt removed";
    EXPECT_NE(from_utf16le(work_.read_file(u"src/zubsrm.log")).find(u"a.txt\r\n"), std::u16string::npos);
}

TEST_F(run_driver_test, no_compare_buffers_refuses_the_run) {
    release_compare_buffers();
    const int code = run({u"src", u"dst"});
    ASSERT_TRUE(reserve_compare_buffers());
    EXPECT_EQ(code, 1);
    EXPECT_EQ(host_.err, u"zub64: inadequate memory.\n");
    EXPECT_FALSE(work_.exists(u"zubssame.log"));
    EXPECT_TRUE(ends_with(text(u"zubaer.log"), u"zub64: inadequate memory.\r\nexit code = 1\r\n\r\n"));
}

TEST_F(run_driver_test, dialog_lock_and_option_rules) {
    capture_host dialog(build_kind::dialog);
    uint32_t error = 0;
    platform::lock_handle lock = platform::current().open_lock(u"__LOCK__", error);
    ASSERT_TRUE(lock.valid());
    EXPECT_EQ(run({u"-lkgm", u"src", u"dst"}, dialog), EXIT_LOCK_HELD);
    EXPECT_FALSE(work_.exists(u"zubaer.log"));
    EXPECT_TRUE(dialog.out.empty() && dialog.err.empty());
    platform::current().release_lock(lock);

    EXPECT_EQ(run({u"-lkgm", u"src", u"dst"}, dialog), 0);
    EXPECT_TRUE(work_.exists(u"__LOCK__"));  // kept, never deleted
    ASSERT_EQ(dialog.counts.size(), 1u);
    EXPECT_EQ(dialog.counts[0].same, 0u);
    EXPECT_EQ(dialog.counts[0].bytes, 0);
    EXPECT_EQ(dialog.out, summary(u"src", u"dst"));

    // No help letters and no usage text in the dialog build.
    dialog.err.clear();
    EXPECT_EQ(run({u"-lkgmh", u"src", u"dst"}, dialog), 1);
    EXPECT_EQ(dialog.err, u"zub: bad option H\n");
    EXPECT_EQ(run({u"-lkgm", u"src"}, dialog), 1);
    EXPECT_EQ(dialog.err, u"zub: bad option H\n");
    EXPECT_EQ(dialog.resolve_calls, 0);
}

// The dialog's Stop and the console's Ctrl+C end a run the same way.
TEST_F(run_driver_test, stop_prints_program_abort_and_returns_1) {
    for (build_kind kind : {build_kind::dialog, build_kind::console}) {
        capture_host stopping(kind);
        stopping.stop_when = [](int) { return true; };
        EXPECT_EQ(run({u"-lkgm", u"src", u"dst"}, stopping), 1);
        EXPECT_EQ(stopping.out, u"program abort\n" + summary(u"src", u"dst"));
        EXPECT_EQ(text(u"zublog.txt"), crlf(u"program abort\n" + summary(u"src", u"dst")));
        // The run log shows the run body's own code.
        EXPECT_TRUE(ends_with(text(u"zubaer.log"), u"exit code = 0\r\n\r\n"));
    }
}

// A source root that cannot be found fails the run; a result file that can
// no longer be written stops the removals and fails it too.
TEST_F(run_driver_test, missing_source_root_and_a_full_disk_end_with_1) {
    capture_host missing;
    EXPECT_EQ(run({u"nosuch", u"dst"}, missing), 1);
    EXPECT_TRUE(missing.out.empty());
    const std::u16string absent = make_long_path(u"nosuch").value_or(u"");
    EXPECT_EQ(missing.err.substr(0, absent.size() + 3), u"\"" + absent + u"\" ");
    EXPECT_NE(text(u"zubaer.log").find(absent + u": "), std::u16string::npos);

    for (const char16_t* name : {u"a", u"b", u"c"}) {
        work_.write_file(u"src/" + std::u16string(name), "same");
        work_.write_file(u"dst/" + std::u16string(name), "same");
    }
    // The record of a removal is on disk before the next removal starts.
    std::vector<std::string> records_seen;
    for (const char16_t* name : {u"a", u"b", u"c"})
        fos_.before_change(make_long_path(work_.path(u"dst/" + std::u16string(name))).value_or(u""),
                           [&] { records_seen.push_back(work_.read_file(u"zubdrm.log")); });
    EXPECT_EQ(run({u"-d", u"src", u"dst"}), 0);
    ASSERT_EQ(records_seen.size(), 3u);
    EXPECT_EQ(records_seen[0].size(), 0u);
    EXPECT_LT(records_seen[0].size(), records_seen[1].size());
    EXPECT_LT(records_seen[1].size(), records_seen[2].size());
    for (const char16_t* name : {u"a", u"b", u"c"}) work_.write_file(u"dst/" + std::u16string(name), "same");
    host_.out.clear();
    host_.err.clear();

    fos_.fail_write(u"zubdrm.log", platform::native_path_style() == platform::path_style::posix ? 28 : 112);
    EXPECT_EQ(run({u"-d", u"src", u"dst"}), 1);
    int kept = 0;
    for (const char16_t* name : {u"a", u"b", u"c"}) kept += work_.exists(u"dst/" + std::u16string(name));
    EXPECT_EQ(kept, 2);  // the one removal whose record failed, then no more
    EXPECT_NE(host_.err.find(u"was removed but could not be recorded\n"), std::u16string::npos);
    EXPECT_NE(host_.err.find(u"zubdrm.log cannot be written: no more files are removed\n"), std::u16string::npos);
    EXPECT_NE(host_.out.find(u"1 file(s) delete from \"dst\""), std::u16string::npos);
    EXPECT_NE(host_.out.find(u"2 file(s) error in \"dst\""), std::u16string::npos);
}

}  // namespace
}  // namespace zub::test
