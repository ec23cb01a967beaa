// The settings file: the escape encoding both ways (hand-edited and cut
// escapes included), where the file is, that a missing file reads empty and
// is never created, that a write replaces a key in place and keeps the rest,
// what happens without an executable path, and the folder picker's answers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/settings.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

using platform::std_stream;

TEST(Settings, EscapeEncodingRoundTrip) {
    std::u16string folder = u"C:\\Donn\u00e9es\\%x";
    EXPECT_EQ(encode_setting_value(folder), u"C:\\Donn%00E9es\\%0025x");
    EXPECT_EQ(decode_setting_value(u"C:\\Donn%00E9es\\%0025x"), folder);

    std::u16string mixed = u"\u3042\U0001F600~\x7f\x80%";
    std::u16string stored = encode_setting_value(mixed);
    EXPECT_EQ(stored, u"%3042%D83D%DE00~\x7f%0080%0025");  // a surrogate pair is two escapes
    EXPECT_EQ(decode_setting_value(stored), mixed);
    EXPECT_EQ(encode_setting_value(u"plain ascii"), u"plain ascii");
}

TEST(Settings, HandWrittenAndCutEscapes) {
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"%00e9", u"\u00e9"},                     // lower-case digits
        {u"%zz12", u"\u0012"},                     // other characters count as 0
        {u"a%00410", u"aA0"},   {u"a%4A", u"aJ"},  // cut: read from what is there
        {u"a%004", u"a\u0004"}, {u"ab%", u"ab"},   // a final '%' yields nothing
        {u"ab%0000cd", u"ab"},                     // a decoded NUL ends the value
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(decode_setting_value(in), out) << narrow(in);
    // The decoded value is bounded.
    std::u16string raw;
    for (int i = 0; i < 40000; ++i) raw += u"%3042";
    std::u16string decoded = decode_setting_value(raw);
    EXPECT_EQ(decoded.size(), 32779u);
    EXPECT_EQ(decoded.back(), u'\u3042');
}

TEST(Settings, PathNextToTheExecutable) {
    faulty_os layer;
    faulty_os_scope scope(layer);
    const bool windows = platform::native_path_style() == platform::path_style::windows;
    // On Windows the last three characters are replaced, whatever they are.
    std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"C:\\tools\\zub64.exe", u"C:\\tools\\zub64.ini"},
        {u"C:\\tools\\ZUB.EXE", u"C:\\tools\\ZUB.ini"},
    };
    if (windows)
        cases.push_back({u"C:\\tools\\zub64.com", u"C:\\tools\\zub64.ini"});
    else
        cases.insert(cases.end(), {{u"/usr/local/bin/zub64", u"/usr/local/bin/zub64.ini"},
                                   {u"/opt/x.exe.d/zub", u"/opt/x.exe.d/zub.ini"}});
    for (const auto& [exe, ini] : cases) {
        layer.set_executable_path(exe);
        EXPECT_EQ(settings_path(), std::optional<std::u16string>(ini)) << narrow(exe);
    }
}

// A settings file next to a program in a temporary folder.
class settings_file : public ::testing::Test {
protected:
    temp_tree tree;
    faulty_os layer;
    faulty_os_scope scope{layer};
    void SetUp() override { layer.set_executable_path(tree.path(u"zub64.exe")); }
};

TEST_F(settings_file, missing_file_reads_empty_and_is_never_created) {
    EXPECT_EQ(read_setting(u"history0", u"source"), u"");
    write_setting(u"history0", u"source", u"C:\\a");
    EXPECT_FALSE(tree.exists(u"zub64.ini"));
    EXPECT_EQ(read_setting(u"history0", u"source"), u"");
}

TEST_F(settings_file, write_replaces_in_place_and_keeps_the_rest) {
    tree.write_file(u"zub64.ini", "[history0]\r\nsource=old\r\ndestination=D:\\b\r\n[options]\r\nBOM=1\r\n");
    std::u16string folder = u"C:\\Donn\u00e9es\\%x";
    write_setting(u"history0", u"source", folder);
    EXPECT_EQ(tree.read_file(u"zub64.ini"),
              "[history0]\r\nsource=C:\\Donn%00E9es\\%0025x\r\ndestination=D:\\b\r\n[options]\r\nBOM=1\r\n");
    EXPECT_EQ(read_setting(u"history0", u"source"), folder);
    EXPECT_EQ(read_setting(u"history0", u"destination"), u"D:\\b");
    EXPECT_EQ(read_setting(u"options", u"BOM"), u"1");
    EXPECT_EQ(read_setting(u"options", u"missing"), u"");
    EXPECT_EQ(read_setting(u"nosection", u"BOM"), u"");
    // A hand-written value with lower-case digits.
    tree.write_file(u"zub64.ini", "[options]\r\nextensions=caf%00e9\r\n");
    EXPECT_EQ(read_setting(u"options", u"extensions"), u"caf\u00e9");
}

// The POSIX settings file is rewritten a line at a time: the new key after
// the section's last line that is not blank, line ends as the file has them,
// a line of any length copied whole.
TEST_F(settings_file, rewrite_keeps_every_other_line_as_it_was) {
    if (platform::native_path_style() != platform::path_style::posix) GTEST_SKIP() << "the system's own reader";
    const std::string long_line(200000, 'z');
    const std::pair<std::string, std::string> cases[] = {
        {"[s]\nx=1\n\n\n[t]\n", "[s]\nx=1\ny=2\n\n\n[t]\n"},
        {"[s]\nx=1", "[s]\nx=1\ny=2"},
        {"[s]\nx=1\n\n", "[s]\nx=1\ny=2\n\n"},
        {"a", "a\n[s]\ny=2\n"},
        {"", "[s]\ny=2\n"},
        {"\xEF\xBB\xBF[s]\r\ny=1\r\n[S]\r\ny=3\r\n", "[s]\r\ny=2\r\n[S]\r\ny=3\r\n"},
        {long_line + "\n[s]\n" + long_line + "=v\ny=1\n", long_line + "\n[s]\n" + long_line + "=v\ny=2\n"},
    };
    const std::u16string ini = tree.path(u"zub64.ini");
    for (const auto& [before, after] : cases) {
        tree.write_file(u"zub64.ini", before);
        EXPECT_TRUE(platform::current().profile_write(u"s", u"y", u"2", ini));
        EXPECT_EQ(tree.read_file(u"zub64.ini"), after) << before.substr(0, 40);
        EXPECT_EQ(platform::current().profile_read(u"S", u"Y", ini), u"2");
    }
}

TEST_F(settings_file, read_only_file_is_not_written) {
    // root may write any file: an access test cannot refuse it there.
    if (platform::native_path_style() == platform::path_style::posix &&
        platform::native_os().can_write(u"/proc/version")) {
        GTEST_SKIP() << "running with root rights";
    }
    tree.write_file(u"zub64.ini", "[history0]\r\nsource=old\r\n");
    tree.set_read_only(u"zub64.ini", true);
    write_setting(u"history0", u"source", u"new");
    tree.set_read_only(u"zub64.ini", false);
    EXPECT_EQ(tree.read_file(u"zub64.ini"), "[history0]\r\nsource=old\r\n");
}

TEST_F(settings_file, pick_folder_answers) {
    layer.capture_std_streams();
    layer.script_picker({std::nullopt, std::u16string(), tree.root()});
    EXPECT_EQ(pick_folder(u"C:\\start", u""), std::nullopt);  // cancelled
    EXPECT_TRUE(layer.captured_bytes(std_stream::error).empty());
    EXPECT_EQ(pick_folder(u"C:\\start", u"source"), std::nullopt);  // not a file-system folder
    EXPECT_EQ(from_utf16le(layer.captured_bytes(std_stream::error)),
              u"bad folder - not a part of the file system.\r\n");
    EXPECT_EQ(pick_folder(u"", u"destination"), std::optional<std::u16string>(tree.root()));
    const auto calls = layer.picker_calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], std::pair(std::u16string(u"select folder"), std::u16string(u"C:\\start")));
    EXPECT_EQ(calls[1].first, u"source");
    EXPECT_EQ(calls[2].first, u"destination");
}

int failures_seen = 0;
void count_failure(uint32_t code) { failures_seen += code == platform::ERR_FILE_NOT_FOUND ? 1 : 0; }

TEST(Settings, NoExecutablePath) {
    faulty_os layer;
    faulty_os_scope scope(layer);
    layer.fail_executable_path();
    set_module_name_failure_handler(count_failure);
    failures_seen = 0;
    EXPECT_EQ(settings_path(), std::nullopt);
    EXPECT_EQ(read_setting(u"history0", u"source"), u"");
    write_setting(u"history0", u"source", u"x");
    EXPECT_EQ(failures_seen, 3);
    set_module_name_failure_handler(nullptr);
}

TEST(SettingsDeathTest, NoExecutablePathEndsTheConsoleProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            faulty_os layer;
            faulty_os_scope scope(layer);
            layer.fail_executable_path();
            settings_path();
        },
        testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace zub::test
