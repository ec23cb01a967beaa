// The printers: UTF-16LE with CR LF and no byte-order mark on files and
// redirected standard streams, the console road with bare LF, the verbose
// writer's console record, dropped over-long messages, harmless writes to a
// stream that failed to open; the one-line rule of the system's error texts;
// the compare buffers and small blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/text_output.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

using platform::std_stream;

// The UTF-16LE bytes of a text.
std::string le(std::u16string_view text) { return utf16le(text); }

TEST(TextOutput, FileReceivesUtf16LeWithCrLfAndNoMark) {
    temp_tree tree;
    std::u16string path = tree.path(u"out.log");
    text_stream log;
    ASSERT_TRUE(log.open(path, platform::write_mode::truncate));
    EXPECT_EQ(print_to(log, u"%s=%d\n", u"caf\u00e9", 7), 7);
    EXPECT_EQ(print_to(log, u"two\nlines\n"), 10);
    EXPECT_EQ(print_to(log, u""), 0);  // an empty format writes nothing
    log.close();
    EXPECT_EQ(tree.read_file(u"out.log"), le(u"caf\u00e9=7\r\ntwo\r\nlines\r\n"));

    // Append mode keeps what is there; truncate empties.
    const std::string all = le(u"caf\u00e9=7\r\ntwo\r\nlines\r\nmore\r\n");
    ASSERT_TRUE(log.open(path, platform::write_mode::append));
    print_to(log, u"more\n");
    EXPECT_EQ(log.length(), static_cast<int64_t>(all.size()));
    log.close();
    EXPECT_EQ(tree.read_file(u"out.log"), all);
    ASSERT_TRUE(log.open(path, platform::write_mode::truncate));
    log.close();
    EXPECT_EQ(tree.read_file(u"out.log"), "");
}

TEST(TextOutput, LongMessagesAreWrittenWholeOrNotAtAll) {
    temp_tree tree;
    text_stream log;
    ASSERT_TRUE(log.open(tree.path(u"long.log"), platform::write_mode::truncate));
    // Fills the format buffer exactly (NUL included); every LF doubles its
    // bytes' share, so the converted text is far beyond any small work area.
    std::u16string fits(PRINT_BUFFER_UNITS - 1, u'\n');
    for (size_t i = 0; i < fits.size(); i += 3) fits[i] = u'x';
    EXPECT_EQ(print_to(log, u"%s", fits), static_cast<int>(fits.size()));
    std::u16string too_long(PRINT_BUFFER_UNITS, u'y');
    EXPECT_EQ(print_to(log, u"%s", too_long), -1);
    log.close();
    std::u16string expected;
    for (char16_t c : fits) {
        if (c == u'\n') expected += u'\r';
        expected += c;
    }
    EXPECT_EQ(tree.read_file(u"long.log"), le(expected));
}

TEST(TextOutput, StreamThatFailedToOpenSwallowsWrites) {
    temp_tree tree;
    text_stream log;
    EXPECT_FALSE(log.open(tree.path(u"missing/folder/x.log"), platform::write_mode::truncate));
    EXPECT_FALSE(log.is_open());
    print_to(log, u"lost %d\n", 1);
    EXPECT_EQ(write_text(u"abc", 2, 3, log), 0);
    EXPECT_FALSE(log.write_bytes("\xFF\xFE", 2));
    EXPECT_EQ(log.length(), -1);
    log.close();
    EXPECT_FALSE(tree.exists(u"missing"));
}

// A result file collects its text and writes it in batches of whole lines:
// whatever is on disk at any moment ends on a line end.
TEST(TextOutput, FilesAreWrittenInWholeLines) {
    temp_tree tree;
    text_stream log;
    ASSERT_TRUE(log.open(tree.path(u"lines.log"), platform::write_mode::truncate));
    const std::u16string line(99, u'x');
    for (int i = 0; i < 400; ++i) print_to(log, u"%s\n", line);  // 80,800 bytes
    print_to(log, u"half a line");
    const std::string on_disk = tree.read_file(u"lines.log");
    ASSERT_FALSE(on_disk.empty());
    EXPECT_EQ(on_disk.substr(on_disk.size() - 4), std::string("\r\0\n\0", 4));
    EXPECT_EQ(log.length(), 80800 + 22);
    EXPECT_TRUE(log.flush());
    EXPECT_EQ(tree.size_of(u"lines.log"), 80822u);
    log.close();
}

TEST(TextOutput, WriteTextCountsAndBytes) {
    temp_tree tree;
    text_stream log;
    ASSERT_TRUE(log.open(tree.path(u"w.log"), platform::write_mode::truncate));
    EXPECT_EQ(write_text(u"a\nb", 2, 0, log), 0);
    EXPECT_EQ(write_text(u"a\nb", 2, -1, log), 0);
    EXPECT_EQ(write_text(u"a\nb", 2, 3, log), 4);  // units written, inserted CR included
    const char16_t high[] = {0x3042, 0xD83D, 0xDE00};
    EXPECT_EQ(write_text(high, 2, 3, log), 3);
    log.close();
    EXPECT_EQ(tree.read_file(u"w.log"), std::string("a\0\r\0\n\0b\0\x42\x30\x3D\xD8\x00\xDE", 14));
}

TEST(TextOutput, RedirectedStandardStreams) {
    faulty_os layer;
    faulty_os_scope scope(layer);
    layer.capture_std_streams();
    EXPECT_EQ(print_out(u"out %d\n", 1), 6);
    EXPECT_EQ(print_to(text_stream::err(), u"err\n"), 4);
    EXPECT_EQ(print_to(text_stream::out(), u"to out\n"), 7);
    EXPECT_EQ(print_out(u""), 0);
    EXPECT_EQ(layer.captured_bytes(std_stream::output), le(u"out 1\r\nto out\r\n"));
    EXPECT_EQ(layer.captured_bytes(std_stream::error), le(u"err\r\n"));
    EXPECT_TRUE(layer.console_text(std_stream::output).empty());

    // Verbose lines on a redirected standard output are UTF-16LE like all others.
    take_console_record();
    EXPECT_EQ(print_verbose(u"v %s\n", u"x"), 4);
    EXPECT_EQ(print_verbose(u""), 0);
    EXPECT_EQ(layer.captured_bytes(std_stream::output), le(u"out 1\r\nto out\r\nv x\r\n"));
}

// UTF-8 on request: LF on POSIX (CR LF on Windows); on POSIX a unit that
// stands for a byte of a non-UTF-8 name is that byte again.
TEST(TextOutput, Utf8RedirectedStreamAndEncodingOfExistingText) {
    faulty_os layer;
    faulty_os_scope scope(layer);
    layer.capture_std_streams();
    set_output_encoding(text_encoding::utf8);
    const char16_t text[] = u"\u00e9\U0001F600 \xDCFF\n";
    EXPECT_EQ(print_out(text), 6);
    set_output_encoding(text_encoding::utf16le);
    const bool posix = platform::native_path_style() == platform::path_style::posix;
    EXPECT_EQ(layer.captured_bytes(std_stream::output),
              std::string("\xC3\xA9\xF0\x9F\x98\x80 ") + (posix ? "\xFF\n" : "\xED\xB3\xBF\r\n"));

    const std::pair<std::string_view, text_encoding> heads[] = {{"\xFF\xFE", text_encoding::utf16le},
                                                                {std::string_view("/\0", 2), text_encoding::utf16le},
                                                                {"\xEF\xBB\xBF/", text_encoding::utf8},
                                                                {"0=[\xE3\x81\x82", text_encoding::utf8}};
    for (const auto& [head, encoding] : heads) EXPECT_EQ(encoding_of_text(head), encoding);
    for (std::u16string_view name : {u"utf-8", u"UTF8"}) EXPECT_EQ(encoding_named(name), text_encoding::utf8);
    for (std::u16string_view name : {u"", u"utf-16"}) EXPECT_EQ(encoding_named(name), text_encoding::utf16le);
}

TEST(TextOutput, ConsoleKeepsLineFeedsAndVerboseUsesTheRecord) {
    faulty_os layer;
    faulty_os_scope scope(layer);
    layer.capture_std_streams(true);
    EXPECT_EQ(print_out(u"a\nb\n"), 4);
    // Control characters of a name never reach the console as such.
    EXPECT_EQ(print_to(text_stream::err(), u"%s\n",
                       u"\x1b]0;x\x07\r\x9b"
                       u"2J\te"),
              13);
    EXPECT_EQ(layer.console_text(std_stream::output), u"a\nb\n");
    EXPECT_EQ(layer.console_text(std_stream::error), u"?]0;x???2J\te\n");
    EXPECT_TRUE(layer.captured_bytes(std_stream::output).empty());

    // The verbose writer follows the record taken at the start of the run,
    // and writes CR LF to the console.
    take_console_record();
    EXPECT_EQ(print_verbose(u"v\r\n"), 3);
    EXPECT_EQ(layer.console_text(std_stream::output), u"a\nb\nv?\r\n");

    // A later change of the stream does not move the verbose writer until the
    // record is taken again.
    layer.capture_std_streams(false);
    print_verbose(u"w\n");
    EXPECT_EQ(layer.console_text(std_stream::output), u"a\nb\nv?\r\nw\r\n");
    take_console_record();
    print_verbose(u"z\n");
    EXPECT_EQ(layer.captured_bytes(std_stream::output), le(u"z\r\n"));
}

TEST(TextOutput, OneLineRuleOfSystemTexts) {
    // A CR before a CR is inner, the last line break ends the text.
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {{u"Denied.\r\n", u"Denied."},
                                                                         {u"Denied.\n", u"Denied."},
                                                                         {u"Denied.\r", u"Denied."},
                                                                         {u"two\r\nlines\r\n", u"two  lines"},
                                                                         {u"a\nb\n\n", u"a b"},
                                                                         {u"a\r\r", u"a "},
                                                                         {u"a\n\r", u"a "},
                                                                         {u"", u""},
                                                                         {u"\r\n", u""},
                                                                         {u"no break", u"no break"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(one_line_text(in), out) << narrow(in);
    std::u16string live = system_message_text(platform::ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(live.empty());
    EXPECT_EQ(live.find_first_of(u"\r\n"), std::u16string::npos) << narrow(live);
}

TEST(TextOutput, FailedReservationIsReported) {
    faulty_os layer;
    faulty_os_scope scope(layer);
    layer.capture_std_streams();
    size_t huge = SIZE_MAX / 2 + 1;
    EXPECT_EQ(reserve_block(huge), nullptr);
    std::u16string text = from_utf16le(layer.captured_bytes(std_stream::error));
    EXPECT_EQ(text, sformat(u"can't alloc memory (%d Bytes)\r\n", huge));
}

}  // namespace
}  // namespace zub::test
