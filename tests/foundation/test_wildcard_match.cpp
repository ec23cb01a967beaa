// The match of one name against a Windows wildcard, as a directory search
// applies it to each name it reads: '*', '?' (one character, a surrogate
// pair included) and the DOS rules for patterns ending in ".*" and ".".
#include <gtest/gtest.h>

#include "platform/wildcard_match.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

TEST(wildcard_match, names_against_patterns) {
    struct row {
        const char16_t* pattern;
        const char16_t* name;
        bool matches;
    };
    const row rows[] = {
        {u"a?c", u"abc", true},
        {u"a?c", u"adc", true},
        {u"a?c", u"abcd", false},
        {u"a?c", u"ac", false},
        {u"*.txt", u"x.txt", true},
        {u"*.txt", u"y.txt.log", false},
        {u"*.txt", u"noext", false},
        {u"ab*", u"abc", true},
        {u"ab*", u"abcd", true},
        {u"ab*", u"adc", false},
        {u"*c*d", u"abcxcd", true},  // a '*' takes the shortest run that lets the rest match
        {u"abc", u"ABC", false},     // case-sensitive
        // "*.*" and "*" match every name, "." and ".." included.
        {u"*.*", u"noext", true},
        {u"*.*", u"y.txt.log", true},
        {u"*.*", u"..", true},
        {u"*", u"", true},
        // A pattern ending in ".*" also matches the name without a dot.
        {u"x.*", u"x", true},
        {u"x.*", u"x.txt", true},
        {u"x.*", u"xy", false},
        // A pattern ending in "." matches names without a dot by the rest.
        {u"no*.", u"noext", true},
        {u"no*.", u"no.ext", false},
        {u"noext.", u"noext.", true},
        // '?' is one character: a surrogate pair, or a unit that pairs with nothing.
        {u"?", u"\U0001F600", true},
        {u"??", u"\U0001F600", false},
        {u"a?b", u"a\U0001F600b", true},
        {u"*?", u"\U0001F600", true},
        {u"?", u"\xD800", true},
        {u"?b",
         u"\xD800"
         u"b",
         true},
    };
    for (const row& r : rows) {
        EXPECT_EQ(platform::wildcard_match(r.pattern, r.name), r.matches)
            << narrow(r.pattern) << " against " << narrow(r.name);
    }
}

}  // namespace
}  // namespace zub::test
