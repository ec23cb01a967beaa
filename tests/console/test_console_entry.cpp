// zub64's start-up in-process, with the standard streams captured and the
// folder picker scripted: the banner, the interactive choice of the two
// folders from the remembered pair, what a cancel leaves in the history, and
// the status line on a console.
#include <gtest/gtest.h>

#include "console/console_entry.h"
#include "foundation/settings.h"
#include "tests/console/screen_text.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

class console_entry_test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::current().current_dir(saved_dir_));
        fos_.set_executable_path(work_.path(u"zub64.exe"));
        fos_.capture_std_streams();
        ASSERT_TRUE(platform::current().set_current_dir(work_.root()));
        work_.make_dir(u"src");
        work_.make_dir(u"dst");
    }
    void TearDown() override { platform::current().set_current_dir(saved_dir_); }

    // A settings file remembering `source` and `destination`.
    void remember(std::u16string_view source, std::u16string_view destination) const {
        work_.write_file(u"zub64.ini",
                         "[history0]\r\nsource=" + narrow(source) + "\r\ndestination=" + narrow(destination) + "\r\n");
    }
    std::u16string captured(platform::std_stream which) const { return from_utf16le(fos_.captured_bytes(which)); }

    temp_tree work_;
    faulty_os fos_;
    faulty_os_scope scope_{fos_};

private:
    std::u16string saved_dir_;
};

TEST_F(console_entry_test, a_cancelled_destination_keeps_the_source_and_a_cancelled_source_nothing) {
    const std::u16string src = work_.path(u"src");
    remember(src, work_.path(u"gone"));
    fos_.script_picker({src, std::nullopt});

    EXPECT_EQ(zub64_main({u"zub64"}), 1);
    const auto& calls = fos_.picker_calls();
    ASSERT_EQ(calls.size(), 2u);
    // The remembered source exists and is offered; the remembered destination does not.
    EXPECT_EQ(calls[0], std::make_pair(std::u16string(u"select srcdir"), src));
    EXPECT_EQ(calls[1], std::make_pair(std::u16string(u"select dstdir"), std::u16string()));
    EXPECT_EQ(captured(platform::std_stream::output), u"srcdir=" + src + u"\r\n");
    EXPECT_EQ(captured(platform::std_stream::error), u"zub64 version 13\r\n");
    EXPECT_EQ(read_setting(u"history0", u"source"), src);
    EXPECT_EQ(read_setting(u"history0", u"destination"), work_.path(u"gone"));
    EXPECT_FALSE(work_.exists(u"zubssame.log"));
    const std::u16string aer = from_utf16le(work_.read_file(u"zubaer.log"));
    EXPECT_NE(aer.find(u"srcdir=" + src + u"\r\nexit code = 1\r\n"), std::u16string::npos);

    // A cancelled source ends the run and leaves the history alone.
    remember(u"", u"");
    fos_.script_picker({std::nullopt});
    EXPECT_EQ(zub64_main({u"zub64"}), 1);
    EXPECT_EQ(fos_.picker_calls().size(), 3u);
    EXPECT_EQ(read_setting(u"history0", u"source"), u"");
    EXPECT_EQ(captured(platform::std_stream::output), u"srcdir=" + src + u"\r\n");  // nothing more
}

TEST_F(console_entry_test, picked_folders_are_used_and_remembered) {
    const std::u16string src = work_.path(u"src"), dst = work_.path(u"dst");
    remember(u"", u"");
    fos_.script_picker({src, dst});

    EXPECT_EQ(zub64_main({u"zub64", u"-v"}), 0);
    const std::u16string out = captured(platform::std_stream::output);
    EXPECT_EQ(out.rfind(u"srcdir=" + src + u"\r\ndstdir=" + dst + u"\r\n\r\n0 same file(s)\r\n", 0), 0u) << narrow(out);
    EXPECT_NE(out.find(u"0 file(s) delete from \"" + dst + u"\"\r\n"), std::u16string::npos);
    EXPECT_EQ(fos_.picker_calls().at(0).second, u"");
    EXPECT_EQ(read_setting(u"history0", u"source"), src);
    EXPECT_EQ(read_setting(u"history0", u"destination"), dst);
}

// On a console the status line appears while the run goes and is gone when
// it ends: the screen holds the banner alone, the summary is untouched.
TEST_F(console_entry_test, status_line_on_a_console_leaves_the_screen_as_without_it) {
    work_.write_file(u"src/a.txt", "same");
    work_.write_file(u"dst/a.txt", "same");
    struct row {
        std::vector<std::u16string> args;
        bool line;
    };
    const row rows[] = {{{u"zub64", u"src", u"dst"}, true}, {{u"zub64", u"-v", u"src", u"dst"}, false}};
    for (const row& r : rows) {
        faulty_os console;
        faulty_os_scope posing(console);
        console.capture_std_streams(true);
        EXPECT_EQ(zub64_main(r.args), 0);
        const std::u16string& err = console.console_text(platform::std_stream::error);
        EXPECT_EQ(err.find(u"\r1 pairs  0 B  0 B/s  0:00  a.txt") != std::u16string::npos, r.line) << narrow(err);
        EXPECT_EQ(screen_text(err), u"zub64 version 13\n") << narrow(err);
        const std::u16string& out = console.console_text(platform::std_stream::output);
        EXPECT_NE(out.find(u"1 same file(s)\n0 different file(s)\n"), std::u16string::npos) << narrow(out);
        EXPECT_EQ(out.find(u"pairs"), std::u16string::npos) << narrow(out);
    }
}

}  // namespace
}  // namespace zub::test
