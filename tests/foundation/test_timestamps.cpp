// Local time of a file time: the epoch converts, the zone rules at the
// timestamp's date decide the offset (summer and winter), and the shared
// record is overwritten by each conversion.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "timestamps.h"

namespace zub::test {
namespace {

// 100 ns units since 1601-01-01 UTC for a POSIX time.
constexpr uint64_t file_time_of(int64_t unix_seconds, int millis = 0) {
    return static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL +
           static_cast<uint64_t>(millis) * 10000ULL;
}

#ifndef _WIN32
// Sets TZ for the lifetime of the object (POSIX only: the Windows zone is a
// system setting, not the process's environment).
class zone_scope {
public:
    explicit zone_scope(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~zone_scope() {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};
#endif

TEST(Timestamps, FileTimeZeroConverts) {
#ifndef _WIN32
    zone_scope utc("UTC");
#endif
    uint64_t zero = 0;
    const time_fields* t = local_time_of(zero);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->day_of_year, -1);
    EXPECT_EQ(t->daylight_flag, -1);
#ifndef _WIN32
    EXPECT_EQ(t->year + 1900, 1601);
    EXPECT_EQ(t->month + 1, 1);
    EXPECT_EQ(t->day, 1);
    EXPECT_EQ(t->hour, 0);
    EXPECT_EQ(t->minute, 0);
    EXPECT_EQ(t->second, 0);
    EXPECT_EQ(t->millisecond, 0);
    EXPECT_EQ(t->weekday, 1);  // a Monday
#endif
}

// On Windows the zone is the system's: the case runs when it is a Central
// European one (under Wine: TZ=Europe/Berlin in the environment of the run).
TEST(Timestamps, ZoneRulesAtTheTimestampsDate) {
#ifndef _WIN32
    zone_scope berlin("Europe/Berlin");
#endif
    uint64_t winter = file_time_of(1610712000, 250);  // 2021-01-15 12:00:00.250 UTC
    uint64_t summer = file_time_of(1625140800, 999);  // 2021-07-01 12:00:00.999 UTC
    const time_fields* w = local_time_of(winter);
    ASSERT_NE(w, nullptr);
    if (w->hour != 13) GTEST_SKIP() << "the local zone is not Central European time";
    EXPECT_EQ(w->hour, 13);
    EXPECT_EQ(w->millisecond, 250);
    EXPECT_EQ(w->year, 121);
    EXPECT_EQ(w->month, 0);
    EXPECT_EQ(w->day, 15);
    EXPECT_EQ(w->weekday, 5);

    // The same record is returned and overwritten by the next conversion.
    const time_fields* s = local_time_of(summer);
    ASSERT_EQ(s, w);
    EXPECT_EQ(s->hour, 14);
    EXPECT_EQ(s->month, 6);
    EXPECT_EQ(s->day, 1);
    EXPECT_EQ(s->millisecond, 999);
    EXPECT_EQ(s->daylight_flag, -1);
}

TEST(Timestamps, TwoConversionsShareTheRecord) {
#ifndef _WIN32
    zone_scope utc("UTC");
#endif
    const time_fields* a = local_time_of(file_time_of(0));
    ASSERT_NE(a, nullptr);
    int first_year = a->year;
    const time_fields* b = local_time_of(file_time_of(1625140800));
    ASSERT_EQ(a, b);
    EXPECT_NE(b->year, first_year);
    EXPECT_EQ(b->year + 1900, 2021);
}

TEST(Timestamps, OutOfRangeFailsWithEinval) {
    errno = 0;
    uint64_t beyond = UINT64_MAX;
    EXPECT_EQ(local_time_of(beyond), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
}  // namespace zub::test
