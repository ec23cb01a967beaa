// The option parser: letters, value letters, "--", the option prefixes of
// both path styles, the validation order and the dialog build's differences.
#include <gtest/gtest.h>

#include "engine/options.h"
#include "tests/support/capture_host.h"

namespace zub::test {
namespace {

using platform::path_style;

struct parsed {
    capture_host host;
    run_state run{host};
    parse_result result;

    parsed(std::vector<std::u16string> args, path_style style = path_style::windows,
           build_kind kind = build_kind::console)
        : host(kind) {
        run.reset();
        set_program_name(u"zub64");
        args.insert(args.begin(), u"zub64");
        result = parse_options(run, args, style);
    }
    parse_outcome outcome() const { return result.outcome; }
};

TEST(parse_options, every_flag_letter_in_either_case) {
    parsed p({u"-sRzTpqaVlgkWiM", u"a", u"b"});
    ASSERT_EQ(p.outcome(), parse_outcome::PARSED);
    const run_options& o = p.run.options;
    EXPECT_TRUE(o.delete_src && o.remove_readonly && o.empty_instead && o.check_timestamp && o.partial_compare &&
                o.delete_part && o.append_logs && o.verbose && o.long_log && o.file_log && o.yield_each_block &&
                o.title_progress && o.large_first_block && o.full_log);
    EXPECT_FALSE(o.delete_dst || o.skip_dir_check || o.move_script || o.ext_filter || o.rename_suffix_on);
    EXPECT_EQ(p.result.first_folder, 2u);
    EXPECT_EQ(p.result.folder_count, 2u);

    parsed c({u"-c", u"-d", u"a", u"b"});
    EXPECT_EQ(c.outcome(), parse_outcome::PARSED);
    EXPECT_TRUE(c.run.options.skip_dir_check && c.run.options.delete_dst);
    parsed b({u"-b", u"a", u"b"});
    EXPECT_TRUE(b.run.options.move_script);

    // -n is in force only with -l, in either order.
    EXPECT_FALSE(parsed({u"-n", u"a", u"b"}).run.options.find_all_diffs);
    EXPECT_TRUE(parsed({u"-ln", u"a", u"b"}).run.options.find_all_diffs);
    EXPECT_TRUE(parsed({u"-n", u"-l", u"a", u"b"}).run.options.find_all_diffs);
}

TEST(parse_options, value_letters_take_following_arguments_in_letter_order) {
    parsed ef({u"-ef", u".txt", u".old", u"a", u"b"});
    ASSERT_EQ(ef.outcome(), parse_outcome::PARSED);
    EXPECT_EQ(ef.run.options.ext_filter_value, u".txt");
    EXPECT_EQ(ef.run.options.rename_suffix, u".old");
    EXPECT_TRUE(ef.run.options.ext_filter && ef.run.options.rename_suffix_on);
    EXPECT_EQ(ef.result.first_folder, 4u);

    parsed fe({u"-fe", u".old", u".txt", u"a", u"b"});
    EXPECT_EQ(fe.run.options.rename_suffix, u".old");
    EXPECT_EQ(fe.run.options.ext_filter_value, u".txt");

    // -E equals -e, the value keeps its spelling, and a value may begin with '-'.
    parsed upper({u"-E", u".TXT.Log", u"a", u"b"});
    EXPECT_EQ(upper.outcome(), parse_outcome::PARSED);
    EXPECT_EQ(upper.run.options.ext_filter_value, u".TXT.Log");
    parsed dash({u"-f", u"-x", u"a", u"b"});
    EXPECT_EQ(dash.outcome(), parse_outcome::PARSED);
    EXPECT_EQ(dash.run.options.rename_suffix, u"-x");
}

TEST(parse_options, load_level_last_digit_wins_and_is_not_reset) {
    parsed p({u"-2", u"-4", u"a", u"b"});
    EXPECT_EQ(p.run.load_level, 4);
    parsed q({u"-13", u"-s2"});
    EXPECT_EQ(q.outcome(), parse_outcome::PARSED);
    EXPECT_EQ(q.run.load_level, 2);
    q.run.reset();
    EXPECT_EQ(q.run.load_level, 2);
}

TEST(parse_options, usage_rules_and_their_order) {
    EXPECT_EQ(parsed({u"a"}).outcome(), parse_outcome::BAD_USAGE);
    EXPECT_EQ(parsed({u"a", u"b", u"c"}).outcome(), parse_outcome::BAD_USAGE);
    // An option-like argument after a folder is a folder.
    parsed after({u"a", u"-s", u"b"});
    EXPECT_EQ(after.outcome(), parse_outcome::BAD_USAGE);
    EXPECT_FALSE(after.run.options.delete_src);
    EXPECT_EQ(parsed({u"-s", u"-d", u"a", u"b"}).outcome(), parse_outcome::BAD_USAGE);
    EXPECT_EQ(parsed({u"-sd", u"a", u"b"}).outcome(), parse_outcome::BAD_USAGE);
    EXPECT_EQ(parsed({u"-c", u"-b", u"a", u"b"}).outcome(), parse_outcome::BAD_USAGE);
    EXPECT_EQ(parsed({u"-s", u"-s", u"a", u"b"}).outcome(), parse_outcome::PARSED);
    EXPECT_EQ(parsed({u"-e"}).outcome(), parse_outcome::BAD_USAGE);
    EXPECT_EQ(parsed({u"a", u"b", u"-e"}).outcome(), parse_outcome::BAD_USAGE);
    // No folders at all is a run whose folders are asked for.
    parsed none({u"-s"});
    EXPECT_EQ(none.outcome(), parse_outcome::PARSED);
    EXPECT_EQ(none.result.folder_count, 0u);
    // -e swallowing one of two folders leaves one: a count fault, not a value fault.
    EXPECT_EQ(parsed({u"-e", u"a", u"b"}).outcome(), parse_outcome::BAD_USAGE);
}

TEST(parse_options, bad_option_stops_at_once_with_upper_case_letter_and_help_letters) {
    parsed p({u"-sx", u"a", u"b"});
    EXPECT_EQ(p.outcome(), parse_outcome::BAD_OPTION);
    EXPECT_TRUE(p.run.options.delete_src);
    EXPECT_EQ(p.host.err, u"zub64: bad option X\n");
    EXPECT_TRUE(p.host.out.empty());

    // Only ASCII letters are upper-cased.
    parsed e({u"-\u00e9", u"a", u"b"});
    EXPECT_EQ(e.outcome(), parse_outcome::BAD_OPTION);
    EXPECT_EQ(e.host.err, u"zub64: bad option \u00e9\n");

    // The help letters of the console build are bad options in the dialog build.
    EXPECT_EQ(parsed({u"-h"}).outcome(), parse_outcome::HELP);
    EXPECT_EQ(parsed({u"/?"}).outcome(), parse_outcome::HELP);
    EXPECT_EQ(parsed({u"-s?", u"a", u"b"}).outcome(), parse_outcome::HELP);
    EXPECT_EQ(parsed({u"-?"}, path_style::posix).outcome(), parse_outcome::HELP);

    parsed h({u"-h", u"a", u"b"}, path_style::windows, build_kind::dialog);
    EXPECT_EQ(h.outcome(), parse_outcome::BAD_OPTION);
    EXPECT_EQ(h.host.err, u"zub64: bad option H\n");
    parsed q({u"-lkgm?", u"a", u"b"}, path_style::windows, build_kind::dialog);
    EXPECT_EQ(q.outcome(), parse_outcome::BAD_OPTION);
    EXPECT_EQ(q.host.err, u"zub64: bad option ?\n");
}

TEST(parse_options, double_dash_lone_prefixes_and_slash) {
    parsed p({u"-s", u"--", u"-dir1", u"dir2"});
    ASSERT_EQ(p.outcome(), parse_outcome::PARSED);
    EXPECT_FALSE(p.run.options.delete_dst);
    EXPECT_EQ(p.result.first_folder, 3u);

    // A lone "-" or "/" is a cluster without letters; "-" and "/" inside a cluster are skipped.
    parsed lone({u"-", u"/", u"-s-l/m", u"--v", u"a", u"b"});
    ASSERT_EQ(lone.outcome(), parse_outcome::PARSED);
    EXPECT_TRUE(lone.run.options.delete_src && lone.run.options.long_log && lone.run.options.full_log &&
                lone.run.options.verbose);
    EXPECT_EQ(lone.result.first_folder, 5u);

    // '/' begins options only in the Windows style.
    parsed win({u"/s", u"a", u"b"}, path_style::windows);
    EXPECT_EQ(win.outcome(), parse_outcome::PARSED);
    EXPECT_TRUE(win.run.options.delete_src);

    // On POSIX a leading '/' is an absolute path.
    parsed posix({u"-d", u"/data/a", u"/data/b"}, path_style::posix);
    ASSERT_EQ(posix.outcome(), parse_outcome::PARSED);
    EXPECT_EQ(posix.result.first_folder, 2u);
    EXPECT_TRUE(posix.run.options.delete_dst);
    EXPECT_EQ(parsed({u"/?"}, path_style::posix).outcome(), parse_outcome::BAD_USAGE);
}

}  // namespace
}  // namespace zub::test
