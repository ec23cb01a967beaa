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
#include <tuple>

#include "foundation/timestamps.h"

namespace zub::test {
namespace {

// 100 ns units since 1601-01-01 UTC for a POSIX time.
constexpr uint64_t file_time_of(int64_t unix_seconds, int millis = 0) {
    return static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL + static_cast<uint64_t>(millis) * 10000ULL;
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
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
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
    // 1601-01-01 00:00:00.000, a Monday.
    EXPECT_EQ(
        std::tuple(t->year + 1900, t->month + 1, t->day, t->hour, t->minute, t->second, t->millisecond, t->weekday),
        std::tuple(1601, 1, 1, 0, 0, 0, 0, 1));
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
    EXPECT_EQ(std::tuple(w->year, w->month, w->day, w->weekday, w->millisecond), std::tuple(121, 0, 15, 5, 250));

    // The same record is returned and overwritten by the next conversion.
    const time_fields* s = local_time_of(summer);
    ASSERT_EQ(s, w);
    EXPECT_EQ(std::tuple(s->hour, s->month, s->day, s->millisecond, s->daylight_flag), std::tuple(14, 6, 1, 999, -1));
}

TEST(Timestamps, OutOfRangeFailsWithEinval) {
    errno = 0;
    uint64_t beyond = UINT64_MAX;
    EXPECT_EQ(local_time_of(beyond), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
}  // namespace zub::test
