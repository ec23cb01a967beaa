// Differential test of the walk and the comparisons: random trees (fixed
// seed) with random changes on the destination side, walked by the engine,
// and the same/different/not-found/part lists checked against a plain byte
// comparison made here.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/tree_walk.h"
#include "tests/engine/engine_fixture.h"

namespace zub::test {
namespace {

using differential_test = engine_test;

std::set<std::u16string> lines_of(const std::u16string& text) {
    std::set<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        lines.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool is_prefix(const std::string& shorter, const std::string& longer) {
    return shorter.size() < longer.size() && longer.compare(0, shorter.size(), shorter) == 0;
}

TEST_F(differential_test, lists_agree_with_a_plain_comparison) {
    std::mt19937 random(20240611u);
    auto below = [&](uint32_t n) { return n == 0 ? 0u : static_cast<uint32_t>(random() % n); };

    const std::u16string folders[] = {u"", u"one/", u"one/two/", u"three/"};
    for (const auto& side : {u"s/", u"d/"})
        for (const auto& f : folders) files.make_dir(side + f);
    std::set<std::u16string> same, different, missing, part;
    for (int i = 0; i < 100; ++i) {
        const std::u16string rel = folders[below(4)] + u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i / 26)) +
                                   std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
        const uint32_t size = below(10) == 0 ? below(300000) : below(20000);
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(below(4));  // few values: long equal runs
        std::string copy = bytes, source = bytes;
        // One change of ten kinds: a flipped bit, a byte more or less at either side,
        // no destination, a folder in its place, or none (kinds 6 to 9).
        const uint32_t change = below(10);
        const bool absent = change == 3, folder_there = change == 4;
        if (change == 0 && !copy.empty()) {
            const char bit = static_cast<char>(1 << below(8));  // the bit is drawn before the position
            char& flipped = copy[below(size)];
            flipped = static_cast<char>(flipped ^ bit);
        }
        if (change == 1) copy.push_back('\x01');
        if (change == 2 && !copy.empty()) copy.pop_back();
        if (change == 5) source.push_back('\x02');
        files.write_file(u"s/" + rel, source);
        if (folder_there)
            files.make_dir(u"d/" + rel);
        else if (!absent)
            files.write_file(u"d/" + rel, copy);

        const std::u16string sp = files.path(u"s/" + rel), dp = files.path(u"d/" + rel);
        if (absent)
            missing.insert(sp);
        else if (folder_there || source != copy)
            different.insert(sp);
        else
            same.insert(sp);
        if (!absent && !folder_there) {
            if (is_prefix(source, copy)) part.insert(sp);
            if (is_prefix(copy, source)) part.insert(dp);
        }
    }
    ASSERT_GT(same.size(), 20u);
    ASSERT_GT(different.size(), 10u);

    for (bool partial : {false, true}) {
        opt = {};
        opt.partial_compare = partial;
        opt.large_first_block = partial;  // the second pass starts with 16 MiB blocks
        start(build_kind::console, files.path(u"d"));
        walk_tree(*run, files.path(u"s"), files.path(u"d"));
        EXPECT_EQ(run->counts.src_error_count + run->counts.dst_error_count, 0);
        finish();
        EXPECT_EQ(lines_of(log(u"zubssame.log")), same);
        EXPECT_EQ(lines_of(log(u"zubsdif.log")), different);
        EXPECT_EQ(lines_of(log(u"zubsfnf.log")), missing);
        EXPECT_EQ(run->counts.same_count, static_cast<int32_t>(same.size()));
        if (partial) {
            EXPECT_EQ(lines_of(log(u"zubpart.log")), part);
        }
    }
}

}  // namespace
}  // namespace zub::test
