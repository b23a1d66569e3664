#include "common/datetime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace velunor {
namespace {

DateParts parts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateParts{y, mo, d, h, mi, s};
}

constexpr double kSecond = 1.0 / 86400.0;

TEST(DateTimeParts, KnownValues) {
    struct Case {
        DateTime value;
        DateParts expected;
    };
    const Case cases[] = {
        {0.0, parts(1899, 12, 30)},
        {1.0, parts(1899, 12, 31)},
        {2.5, parts(1900, 1, 1, 12)},
        {60.0, parts(1900, 2, 28)},
        {61.0, parts(1900, 3, 1)},  // 1900 is not a leap year
        {-1.0, parts(1899, 12, 29)},
        {-1.25, parts(1899, 12, 29, 6)},
        {-0.5, parts(1899, 12, 30, 12)},
        {-2.75, parts(1899, 12, 28, 18)},
        {-657434.0, parts(100, 1, 1)},
        {2958465.0, parts(9999, 12, 31)},
        {2958465.0 + 86399 * kSecond, parts(9999, 12, 31, 23, 59, 59)},
        {45413.0 + 14.5 / 24.0, parts(2024, 5, 1, 14, 30)},
        {45351.0, parts(2024, 2, 29)},
        {36585.0, parts(2000, 2, 29)},
        // Rounded to the nearest second, also across midnight and from the negative side.
        {0.5 + 0.4 * kSecond, parts(1899, 12, 30, 12, 0, 0)},
        {0.5 + 0.6 * kSecond, parts(1899, 12, 30, 12, 0, 1)},
        {1.0 - 0.4 * kSecond, parts(1899, 12, 31)},
        {-1.0 - (86400 - 0.3) * kSecond, parts(1899, 12, 30)},
        // Outside the range and not a number: limited to it.
        {-1e9, parts(100, 1, 1)},
        {1e9, parts(9999, 12, 31, 23, 59, 59)},
        {std::numeric_limits<double>::infinity(), parts(9999, 12, 31, 23, 59, 59)},
        {std::numeric_limits<double>::quiet_NaN(), parts(100, 1, 1)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(datetime_parts(c.value), c.expected) << c.value;
    }
}

TEST(DateTimeParts, BuildsTheSameValuesItReads) {
    EXPECT_EQ(datetime_from_parts(parts(1899, 12, 30)), 0.0);
    EXPECT_EQ(datetime_from_parts(parts(100, 1, 1)), kMissingDateTime);
    EXPECT_EQ(datetime_from_parts(parts(9999, 12, 31)), kLastDateTime);
    EXPECT_EQ(datetime_from_parts(parts(1899, 12, 29, 6)), -1.25);
    EXPECT_EQ(datetime_from_parts(parts(1900, 1, 1, 12)), 2.5);
}

// Every year from 100 to 9999: the first and last second of every month, and a time of day
// with every field set, convert to a value and back, and print and parse back to that value.
TEST(DateTimeParts, EveryYearConvertsBothWays) {
    for (int year = 100; year <= 9999; ++year) {
        for (int month = 1; month <= 12; ++month) {
            const int last_day = days_in_month(year, month);
            for (const DateParts p :
                 {parts(year, month, 1), parts(year, month, last_day, 23, 59, 59),
                  parts(year, month, last_day / 2, 7, 8, 9)}) {
                const DateTime value = datetime_from_parts(p);
                ASSERT_EQ(datetime_parts(value), p) << value;
                if (value <= kLastDateTime) {
                    ASSERT_EQ(text_to_datetime(datetime_to_text(value)), value)
                        << datetime_to_text(value);
                } else {
                    ASSERT_EQ(datetime_to_text(value), "9999年12月31日");
                }
            }
        }
    }
}

TEST(DateTime, LeapYears) {
    EXPECT_TRUE(is_leap_year(2024));
    EXPECT_TRUE(is_leap_year(2000));
    EXPECT_TRUE(is_leap_year(400));
    EXPECT_FALSE(is_leap_year(1900));
    EXPECT_FALSE(is_leap_year(2023));
    EXPECT_FALSE(is_leap_year(100));
    EXPECT_EQ(days_in_month(2024, 2), 29);
    EXPECT_EQ(days_in_month(2100, 2), 28);
    EXPECT_EQ(days_in_month(2023, 4), 30);
    EXPECT_EQ(days_in_month(2023, 12), 31);
}

TEST(MakeDateTime, LimitsEachComponentToItsRange) {
    struct Case {
        int y, mo, d, h, mi, s;
        DateParts expected;
    };
    const Case cases[] = {
        {2024, 5, 1, 14, 30, 0, parts(2024, 5, 1, 14, 30, 0)},
        {2024, 5, 1, 24, 60, 60, parts(2024, 5, 1, 23, 59, 59)},
        {2024, 5, 1, -1, -5, -60, parts(2024, 5, 1, 0, 0, 0)},
        {2023, 2, 31, 0, 0, 0, parts(2023, 2, 28)},
        {2024, 2, 31, 0, 0, 0, parts(2024, 2, 29)},
        {2024, 4, 31, 0, 0, 0, parts(2024, 4, 30)},
        {2024, 13, 0, 0, 0, 0, parts(2024, 12, 1)},
        {2024, 0, 40, 0, 0, 0, parts(2024, 1, 31)},
        {50, 1, 1, 0, 0, 0, parts(100, 1, 1)},
        {10000, 12, 31, 0, 0, 0, parts(9999, 12, 31)},
        {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, parts(100, 1, 1)},
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX,
         parts(9999, 12, 31, 23, 59, 59)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(datetime_parts(make_datetime(c.y, c.mo, c.d, c.h, c.mi, c.s)), c.expected)
            << c.y << '-' << c.mo << '-' << c.d << ' ' << c.h << ':' << c.mi << ':' << c.s;
    }
}

TEST(SecondsBetween, CountsWholeSecondsFromBToA) {
    const DateTime base = make_datetime(2024, 5, 1, 14, 30, 0);
    EXPECT_EQ(seconds_between(base, base), 0);
    EXPECT_EQ(seconds_between(make_datetime(2024, 5, 1, 14, 30, 1), base), 1);
    EXPECT_EQ(seconds_between(make_datetime(2024, 5, 2, 14, 30, 0), base), 86400);
    EXPECT_EQ(seconds_between(make_datetime(2025, 5, 1, 14, 30, 0), base), 365 * 86400);
    EXPECT_LT(seconds_between(make_datetime(2024, 5, 1, 13, 30, 0), base), 0);
    EXPECT_LE(seconds_between(make_datetime(2024, 5, 1, 14, 29, 59), base), 0);
    // Across 1899-12-30, where the scale runs backwards inside each day.
    EXPECT_EQ(seconds_between(make_datetime(1899, 12, 30, 6, 0, 0),
                              make_datetime(1899, 12, 29, 18, 0, 0)),
              12 * 3600);
}

// More than 68 years ahead no longer fits 32 bits; the count must stay positive and exact.
TEST(SecondsBetween, FarAwayDueTimesStayAhead) {
    const DateTime now = make_datetime(2024, 1, 1, 0, 0, 0);
    const DateTime far = make_datetime(2100, 1, 1, 0, 0, 0);
    const int64_t days = 27759;  // 2024-01-01 to 2100-01-01
    EXPECT_EQ(seconds_between(far, now), days * 86400);
    EXPECT_GT(seconds_between(far, now), int64_t{INT32_MAX});
    EXPECT_EQ(seconds_between(kLastDateTime, kMissingDateTime), int64_t{3615899} * 86400);
    EXPECT_EQ(seconds_between(kMissingDateTime, kLastDateTime), -int64_t{3615899} * 86400);
    EXPECT_EQ(seconds_between(std::numeric_limits<double>::quiet_NaN(), now), 0);
    EXPECT_EQ(seconds_between(std::numeric_limits<double>::infinity(), now), INT64_MAX);
    EXPECT_EQ(seconds_between(-std::numeric_limits<double>::infinity(), now), INT64_MIN);
}

TEST(DateTimeToText, DropsTrailingZeroFields) {
    struct Case {
        DateTime value;
        const char* expected;
    };
    const Case cases[] = {
        {make_datetime(2024, 5, 1, 14, 30, 0), "2024年5月1日14时30分"},
        {make_datetime(2024, 5, 1, 14, 0, 0), "2024年5月1日14时"},
        {make_datetime(2024, 5, 1, 0, 0, 0), "2024年5月1日"},
        {make_datetime(2024, 5, 1, 0, 0, 5), "2024年5月1日0时0分5秒"},
        {make_datetime(2024, 5, 1, 0, 7, 0), "2024年5月1日0时7分"},
        {make_datetime(2024, 12, 31, 23, 59, 59), "2024年12月31日23时59分59秒"},
        {0.0, "1899年12月30日"},
        {-1.25, "1899年12月29日6时"},
        {kMissingDateTime, "100年1月1日"},
        {kLastDateTime, "9999年12月31日"},
        // Limited to 100-01-01 00:00:00 .. 9999-12-31 00:00:00 first.
        {kLastDateTime + 0.5, "9999年12月31日"},
        {1e12, "9999年12月31日"},
        {-1e12, "100年1月1日"},
        {std::numeric_limits<double>::quiet_NaN(), "100年1月1日"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(datetime_to_text(c.value), c.expected) << c.value;
    }
}

TEST(TextToDateTime, ParsesWrittenAndCommonForms) {
    struct Case {
        const char* text;
        DateParts expected;
    };
    const Case cases[] = {
        {"2024年5月1日14时30分", parts(2024, 5, 1, 14, 30)},
        {"2024年5月1日14时30分5", parts(2024, 5, 1, 14, 30, 5)},
        {"2024年5月1日14时30分5秒", parts(2024, 5, 1, 14, 30, 5)},
        {"2024年5月1日14时30分5秒 and more", parts(2024, 5, 1, 14, 30, 5)},
        {"2024年5月1日14时30分5秒\xE5", parts(2024, 5, 1, 14, 30, 5)},
        {"2024-05-01 14:30:00", parts(2024, 5, 1, 14, 30)},
        {"2024/5/1", parts(2024, 5, 1)},
        {"2024.5.1.8.9.10", parts(2024, 5, 1, 8, 9, 10)},
        {"2024-05-01-14-30", parts(2024, 5, 1, 14, 30)},
        {"20240501", parts(2024, 5, 1)},  // digit counts split the fields
        {"2024年2月29日", parts(2024, 2, 29)},
        {"2000年2月29日", parts(2000, 2, 29)},
        {"100年1月1日", parts(100, 1, 1)},
        {"9999年12月31日23时59分59秒", parts(9999, 12, 31, 23, 59, 59)},
        // Full-width digits and separators, and the ideographic space.
        {"\xEF\xBC\x92\xEF\xBC\x90\xEF\xBC\x92\xEF\xBC\x94\xEF\xBC\x8F\xEF\xBC\x95\xEF\xBC\x8F"
         "\xEF\xBC\x91\xE3\x80\x80\xEF\xBC\x98\xEF\xBC\x9A\xEF\xBC\x90\xEF\xBC\x95",
         parts(2024, 5, 1, 8, 5)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(datetime_parts(text_to_datetime(c.text)), c.expected) << c.text;
    }
}

TEST(TextToDateTime, TextsThatDoNotParseGiveTheMissingValue) {
    const char* const texts[] = {
        "",
        "   ",
        "abc",
        "2024年13月1日",
        "2023年2月29日",
        "1900年2月29日",
        "2024年5月1日25时",
        "2024年5月1日14时60分",
        "2024年5月1日14时30分60秒",
        "2024年5月1日14时30分5X",
        "2024年4月31日",
        "2024年0月1日",
        "2024年5月0日",
        "99年1月1日",
        "12345年1月1日",
        "2024年5月1日 14时",
        "2024 5 1",
        "-2024-5-1",
    };
    for (const char* text : texts) {
        EXPECT_EQ(text_to_datetime(text), kMissingDateTime) << text;
    }
}

TEST(Clock, SystemClockGivesWholeSeconds) {
    const SystemClock clock;
    const DateTime now = clock.now();
    EXPECT_EQ(seconds_to_datetime(datetime_to_seconds(now)), now);
    EXPECT_GT(now, make_datetime(2020, 1, 1, 0, 0, 0));
    EXPECT_LE(seconds_between(clock.now(), now), 2);
}

TEST(Clock, FixedClockMovesOnlyWhenTold) {
    FixedClock clock;
    clock.set(2024, 5, 1, 23, 59, 59);
    EXPECT_EQ(clock.now(), make_datetime(2024, 5, 1, 23, 59, 59));
    clock.advance(1);
    EXPECT_EQ(clock.now(), make_datetime(2024, 5, 2, 0, 0, 0));
    clock.advance(-86400);
    EXPECT_EQ(clock.now(), make_datetime(2024, 5, 1, 0, 0, 0));
    clock.set(-1.25);
    clock.advance(int64_t{6} * 3600);
    EXPECT_EQ(clock.now(), -1.5);  // 1899-12-29 12:00
}

}  // namespace
}  // namespace velunor
