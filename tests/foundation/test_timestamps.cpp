// Local time of a file time: the epoch converts, the zone rules at the
// timestamp's date decide the offset (summer and winter), and a time beyond
// the system's range fails.
#include <gtest/gtest.h>

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
    const std::optional<platform::system_time> t = local_time_of(0);
    ASSERT_TRUE(t.has_value());
#ifndef _WIN32
    // 1601-01-01 00:00:00.000, a Monday.
    EXPECT_EQ(std::tuple(t->year, t->month, t->day, t->hour, t->minute, t->second, t->millisecond, t->weekday),
              std::tuple(1601, 1, 1, 0, 0, 0, 0, 1));
#endif
}

// On Windows the zone is the system's: the case runs when it is a Central
// European one (under Wine: TZ=Europe/Berlin in the environment of the run).
TEST(Timestamps, ZoneRulesAtTheTimestampsDate) {
#ifndef _WIN32
    zone_scope berlin("Europe/Berlin");
#endif
    const std::optional<platform::system_time> w =
        local_time_of(file_time_of(1610712000, 250));  // 2021-01-15 12:00:00.250 UTC
    ASSERT_TRUE(w.has_value());
    if (w->hour != 13) GTEST_SKIP() << "the local zone is not Central European time";
    EXPECT_EQ(std::tuple(w->year, w->month, w->day, w->weekday, w->millisecond), std::tuple(2021, 1, 15, 5, 250));
    const std::optional<platform::system_time> s =
        local_time_of(file_time_of(1625140800, 999));  // 2021-07-01 12:00:00.999 UTC
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(std::tuple(s->hour, s->month, s->day, s->millisecond), std::tuple(14, 7, 1, 999));
}

TEST(Timestamps, OutOfRangeFails) { EXPECT_FALSE(local_time_of(UINT64_MAX).has_value()); }

}  // namespace
}  // namespace zub::test
