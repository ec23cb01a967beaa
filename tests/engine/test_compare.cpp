// Byte comparison and prefix comparison: results, block sizes read, the
// failure lines in every file they go to, -n/-v, -w titles and load levels.
#include <gtest/gtest.h>

#include "engine/byte_compare.h"
#include "engine/prefix_compare.h"
#include "tests/engine/engine_fixture.h"

#include <cstring>
#include <utility>

namespace zub::test {
namespace {

using compare_test = engine_test;

const uint32_t MiB = 1048576;

TEST_F(compare_test, equal_empty_and_first_byte_results) {
    files.write_file(u"a", "");
    files.write_file(u"b", "");
    files.write_file(u"c", std::string(size_t{3} * MiB, 'x'));
    files.write_file(u"d", "y" + std::string(3 * MiB - 1, 'x'));
    start();
    EXPECT_EQ(compare_files(*run, files.path(u"a"), files.path(u"b"), 0), compare_outcome{});
    EXPECT_EQ(compare_files(*run, files.path(u"c"), files.path(u"d"), int64_t{3} * MiB), differs_at(0));
    EXPECT_EQ(fos.read_sizes(files.path(u"c")), std::vector<uint32_t>{8192});
    EXPECT_EQ(run->first_diff_src_byte, 'x');
    EXPECT_EQ(run->first_diff_dst_byte, 'y');

    opt.large_first_block = true;  // -i: one 16 MiB block, read in 1 MiB calls
    start();
    files.write_file(u"e", "y" + std::string(3 * MiB - 1, 'x'));
    EXPECT_EQ(compare_files(*run, files.path(u"e"), files.path(u"c"), int64_t{3} * MiB), differs_at(0));
    EXPECT_EQ(fos.read_sizes(files.path(u"e")), (std::vector<uint32_t>{MiB, MiB, MiB, MiB}));
    // Past the first four 1 MiB reads of a block, which go round again.
    std::string six(size_t{6} * MiB, 'x');
    six[5 * MiB + 77] = 'q';
    files.write_file(u"f", six);
    files.write_file(u"g", std::string(size_t{6} * MiB, 'x'));
    EXPECT_EQ(compare_files(*run, files.path(u"g"), files.path(u"f"), int64_t{6} * MiB), differs_at(5 * MiB + 77));
    EXPECT_EQ(run->first_diff_src_byte, 'x');
    EXPECT_EQ(run->first_diff_dst_byte, 'q');
}

TEST_F(compare_test, last_byte_of_20_mib_with_growing_blocks) {
    const uint32_t size = 20 * MiB;
    std::string bytes(size, '\x5a');
    files.write_file(u"a", bytes);
    bytes.back() = '\x5b';
    files.write_file(u"b", bytes);
    start();
    EXPECT_EQ(compare_files(*run, files.path(u"a"), files.path(u"b"), size), differs_at(20971519));
    // 8 KiB doubling to 16 MiB; blocks above 1 MiB are read in 1 MiB calls,
    // the last block ends with a short call.
    std::vector<uint32_t> expected{8192, 16384, 32768, 65536, 131072, 262144, 524288};
    for (int i = 0; i < 1 + 2 + 4 + 8 + 5; ++i) expected.push_back(MiB);
    EXPECT_EQ(fos.read_sizes(files.path(u"a")), expected);
    EXPECT_EQ(fos.read_sizes(files.path(u"b")), expected);

    // Read around the cache, a block of 128 KiB or more is read in calls of
    // up to 4 MiB a side (the last one short); load level 3 keeps its calls
    // of 1 MiB.
    fos.read_around_cache();
    for (const int level : {4, 3}) {
        start();
        run->load_level = level;
        const size_t before = fos.read_sizes(files.path(u"a")).size();
        EXPECT_EQ(compare_files(*run, files.path(u"a"), files.path(u"b"), size), differs_at(20971519));
        std::vector<uint32_t> calls{8192, 16384, 32768, 65536};
        if (level == 4) {
            for (uint32_t block = 131072; block <= 4 * MiB; block *= 2) calls.push_back(block);
            calls.insert(calls.end(), 4, 4 * MiB);  // the blocks of 8 and 16 MiB
        } else {
            calls = expected;
        }
        for (const char16_t* name : {u"a", u"b"}) {
            const std::vector<uint32_t> sizes = fos.read_sizes(files.path(name));
            EXPECT_EQ(std::vector<uint32_t>(sizes.begin() + static_cast<std::ptrdiff_t>(before), sizes.end()), calls)
                << level;
        }
    }
}

// The failure rows of a comparison: a file refused, a failing read, a file
// shorter at read time than listed; each with its lines in every file.
TEST_F(compare_test, failure_lines_in_every_file) {
    files.write_file(u"a", std::string(100, 'q'));
    files.write_file(u"b", std::string(100, 'q'));
    files.write_file(u"c", std::string(100000, 'q'));
    files.write_file(u"d", std::string(100000, 'q'));
    const std::u16string a = files.path(u"a"), b = files.path(u"b"), c = files.path(u"c"), text = os_text(5);
    opt.long_log = opt.full_log = true;

    fos.cut_at(b, 99);  // shrank after it was listed
    start();
    EXPECT_EQ(compare_files(*run, a, b, 100), compare_outcome{outcome::length_mismatch});
    EXPECT_EQ(run->counts.src_error_count, 1);
    EXPECT_EQ(run->counts.dst_error_count, 1);
    expect_failure(q(b) + u", error 12 src=100 > dst=99\n", b + u": error 12 src=100 > dst=99 pos=0\n", line(a),
                   line(b), q(b) + u" error 12\n", q(b) + u", error 12, src=100 > dst=99\n");

    fos.fail_open(a, 5);
    start();
    EXPECT_EQ(compare_files(*run, a, c, 3), compare_outcome{outcome::src_error});
    EXPECT_EQ(fos.open_count(c), 0);
    EXPECT_EQ(run->counts.src_error_count, 1);
    expect_failure(q(a) + u", " + text + u" (5)\n", u"", line(a), u"", q(a) + u" " + text + u" (5)\n",
                   q(a) + u", error, " + text + u" (5)\n");

    // The destination's zublog.txt line has no code.
    fos.fail_open(b, 5);
    start();
    EXPECT_EQ(compare_files(*run, c, b, 3), compare_outcome{outcome::dst_error});
    EXPECT_EQ(run->counts.dst_error_count, 1);
    expect_failure(q(b) + u", " + text + u" (5)\n", u"", u"", line(b), q(b) + u" " + text + u" (5)\n",
                   q(b) + u", error, " + text + u"\n");

    // A failing read is not in zublong.log.
    fos.fail_read(c, 8192, 5);
    start();
    EXPECT_EQ(compare_files(*run, files.path(u"d"), c, 100000), compare_outcome{outcome::dst_error});
    EXPECT_EQ(run->counts.src_error_count, 0);
    EXPECT_EQ(run->counts.dst_error_count, 1);
    expect_failure(q(c) + u", " + text + u" (5) pos=8192 d=0\n", c + u": " + text + u" (5) pos=8192 d=0\n", u"",
                   line(c), u"", q(c) + u", error, " + text + u" (5) pos=8192 d=0\n");
}

TEST_F(compare_test, all_differences_counted_and_dumped) {
    std::string bytes(6000000, '\0');
    files.write_file(u"a", bytes);
    bytes[10] = '\x01';
    bytes[5000000] = '\x7f';
    files.write_file(u"b", bytes);
    opt.find_all_diffs = opt.long_log = opt.verbose = true;
    start();
    EXPECT_EQ(compare_files(*run, files.path(u"a"), files.path(u"b"), 6000000), differs_at(10));
    EXPECT_EQ(run->diff_byte_count, 2u);
    EXPECT_EQ(run->last_diff_pos, 5000000u);
    EXPECT_EQ(host->out, u"a: 00 01\n4c4b40: 00 7f\n");

    // -n without -l is not in force: the comparison stops at the first difference.
    opt.long_log = false;
    start();
    EXPECT_EQ(compare_files(*run, files.path(u"a"), files.path(u"b"), 6000000), differs_at(10));
    EXPECT_EQ(run->diff_byte_count, 0u);
    EXPECT_EQ(host->out, u"");
}

TEST_F(compare_test, title_progress_and_load_levels) {
    files.write_file(u"small1", std::string(100, 's'));
    files.write_file(u"small2", std::string(100, 's'));
    files.write_file(u"big1", std::string(size_t{3} * MiB, 'b'));
    files.write_file(u"big2", std::string(size_t{3} * MiB, 'b'));
    const std::u16string s1 = files.path(u"small1"), big = files.path(u"big1");
    opt.title_progress = true;
    start();
    EXPECT_EQ(compare_files(*run, s1, files.path(u"small2"), 100), compare_outcome{});
    EXPECT_EQ(host->titles, std::vector<std::u16string>{s1});
    host->titles.clear();
    EXPECT_EQ(compare_files(*run, big, files.path(u"big2"), int64_t{3} * MiB), compare_outcome{});
    // Shown when changed and the block is at least 64 KiB.
    EXPECT_EQ(host->titles, (std::vector<std::u16string>{big, big + u"  1%", big + u"  3%", big + u"  8%",
                                                         big + u" 16%", big + u" 33%", big + u" 66%"}));
    EXPECT_EQ(fos.sleep_calls(), 0);

    // Level 1: 1 ms per block (two: the data and the end) and 30 ms per pair.
    opt.title_progress = false;
    load_level = 1;
    start();
    EXPECT_EQ(compare_files(*run, s1, files.path(u"small2"), 100), compare_outcome{});
    EXPECT_EQ(fos.sleep_calls(), 3);
    // -k yields after each block.
    load_level = 4;
    opt.yield_each_block = true;
    start();
    EXPECT_EQ(compare_files(*run, s1, files.path(u"small2"), 100), compare_outcome{});
    EXPECT_EQ(fos.sleep_calls(), 5);

    // The prefix comparison pauses only per read call: at level 1 the short
    // final block does not, its empty last pass (two requests of 0 bytes)
    // sleeps twice, and there is no pause after the pair.
    files.write_file(u"abc", "abc");
    files.write_file(u"abcdef", "abcdef");
    opt.yield_each_block = false;
    load_level = 1;
    start();
    const int before = fos.sleep_calls();
    EXPECT_EQ(compare_prefix(*run, files.path(u"abc"), files.path(u"abcdef"), 3), compare_outcome{});
    EXPECT_EQ(fos.sleep_calls() - before, 2);
}

TEST_F(compare_test, missing_buffers_are_a_source_error) {
    files.write_file(u"a", "abc");
    files.write_file(u"b", "abc");
    start();
    unsigned char* saved = std::exchange(src_buffer, nullptr);
    const compare_outcome r1 = compare_files(*run, files.path(u"a"), files.path(u"b"), 3);
    const compare_outcome r2 = compare_prefix(*run, files.path(u"a"), files.path(u"b"), 3);
    src_buffer = saved;
    EXPECT_TRUE(r1.kind == outcome::src_error && r2.kind == outcome::src_error);
    EXPECT_EQ(run->counts.src_error_count, 2);
    EXPECT_EQ(fos.open_count(files.path(u"a")), 0);
    EXPECT_NE(host->err.find(u"no compare buffers"), std::u16string::npos);
}

TEST_F(compare_test, prefix_results_and_final_block_rounding) {
    files.write_file(u"abc", "abc");
    files.write_file(u"abd", "abd");
    files.write_file(u"abcdef", "abcdef");
    files.write_file(u"empty", "");
    std::string big(MiB, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    files.write_file(u"big", big);
    files.write_file(u"head", big.substr(0, 10000));
    start();
    EXPECT_EQ(compare_prefix(*run, files.path(u"abc"), files.path(u"abcdef"), 3), compare_outcome{});
    EXPECT_EQ(fos.read_sizes(files.path(u"abc")), std::vector<uint32_t>{4096});
    EXPECT_EQ(compare_prefix(*run, files.path(u"abd"), files.path(u"abcdef"), 3), differs_at(2));
    EXPECT_EQ(compare_prefix(*run, files.path(u"empty"), files.path(u"abcdef"), 0), compare_outcome{});
    EXPECT_EQ(compare_prefix(*run, files.path(u"head"), files.path(u"big"), 10000), compare_outcome{});
    EXPECT_EQ(fos.read_sizes(files.path(u"big")), (std::vector<uint32_t>{8192, 4096}));
    // The destination smaller: the source is the larger file.
    EXPECT_EQ(compare_prefix(*run, files.path(u"big"), files.path(u"head"), 10000), compare_outcome{});
    // Large blocks (-i) are compared while they are read: a difference past
    // the compared length does not count, one just before it does.
    opt.large_first_block = true;
    start();
    std::string large = big + big + big;
    files.write_file(u"large", large);
    large[3 * MiB - 1000] ^= 1;
    files.write_file(u"longer", large + "tail");
    EXPECT_EQ(compare_prefix(*run, files.path(u"large"), files.path(u"longer"), 3 * MiB - 1000), compare_outcome{});
    EXPECT_EQ(compare_prefix(*run, files.path(u"large"), files.path(u"longer"), 3 * MiB - 999),
              differs_at(3 * MiB - 1000));
    EXPECT_EQ(run->counts.src_error_count + run->counts.dst_error_count, 0);
}

TEST_F(compare_test, prefix_error_12_wordings) {
    files.write_file(u"small", std::string(20000, 'p'));
    files.write_file(u"large", std::string(40000, 'p'));
    const std::u16string s = files.path(u"small"), l = files.path(u"large");
    fos.cut_at(s, 5000);  // the smaller file shrank after it was listed
    opt.long_log = opt.full_log = true;
    start();
    EXPECT_EQ(compare_prefix(*run, s, l, 20000), compare_outcome{outcome::length_mismatch});
    EXPECT_EQ(run->counts.src_error_count, 1);
    EXPECT_EQ(run->counts.dst_error_count, 1);
    expect_failure(q(s) + u", error 12 src=5000 dst=8192\n", s + u": error 12 src=5000 < dst=8192 pos=0\n", line(s),
                   line(l), q(s) + u" error 12\n", q(s) + u", error, 12 src=5000 dst=8192\n");
}

TEST_F(compare_test, prefix_final_block_short_read_is_not_compared_with_stale_bytes) {
    files.write_file(u"abc", "abc");
    files.write_file(u"abcdef", "abcdef");
    const std::u16string s = files.path(u"abc"), d = files.path(u"abcdef");
    start();
    // Leaves "abc" in the source buffer; then the source reads as "ab".
    ASSERT_EQ(compare_prefix(*run, s, d, 3), compare_outcome{});
    faulty_os shrunk;
    shrunk.cut_at(s, 2);
    faulty_os_scope scope(shrunk);
    EXPECT_EQ(compare_prefix(*run, s, d, 3), compare_outcome{outcome::length_mismatch});
    EXPECT_EQ(host->err, q(s) + u", error 12 src=2 dst=3\n");
}

TEST_F(compare_test, dialog_progress_and_stop) {
    files.make_dir(u"d");
    files.write_file(u"a", std::string(size_t{3} * MiB, 'z'));
    files.write_file(u"d/a", std::string(size_t{3} * MiB, 'z'));
    const std::u16string a = files.path(u"a"), da = files.path(u"d/a");
    start(build_kind::dialog, files.path(u"d"));
    EXPECT_EQ(compare_files(*run, a, da, int64_t{3} * MiB), compare_outcome{});
    std::vector<std::pair<std::u16string, int>> expected{{u"a", -1}, {u"a", 1},  {u"a", 3}, {u"a", 8},
                                                         {u"a", 16}, {u"a", 33}, {u"a", 66}};
    EXPECT_EQ(host->progress, expected);
    EXPECT_TRUE(host->titles.empty());
    // Two polls per block; a stop ends the comparison before the next read.
    host->stop_when = [](int poll) { return poll > 7; };
    host->stop_polls = 0;
    EXPECT_EQ(compare_files(*run, a, da, int64_t{3} * MiB), compare_outcome{outcome::stopped});
    EXPECT_EQ(fos.read_sizes(a).size() - 11, 4u);  // blocks 1 to 4 of this pass read
    EXPECT_EQ(fos.read_sizes(da).size() - 11, 3u);
}

TEST(compare_buffers, page_aligned_whole_and_released_twice) {
    ASSERT_TRUE(reserve_compare_buffers());
    for (auto* buffer : {src_buffer, dst_buffer}) {
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % platform::page_size(), 0u);
    }
    src_buffer[0] = 1;
    src_buffer[COMPARE_BUFFER_BYTES - 1] = 2;
    std::memset(dst_buffer, 0xAB, COMPARE_BUFFER_BYTES);
    release_compare_buffers();
    EXPECT_TRUE(src_buffer == nullptr && dst_buffer == nullptr);
    release_compare_buffers();  // nothing left to release
}

}  // namespace
}  // namespace zub::test
