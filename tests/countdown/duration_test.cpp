#include "countdown/duration.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>

namespace velunor {
namespace {

struct Case {
    int64_t seconds;
    std::array<const char*, 6> components;  // years, months, days, hours, minutes, seconds
    const char* short_text;
    const char* full_text;
};

const Case kCases[] = {
    {0, {"0", "0", "0", "0", "0", "0"}, "0秒", "0年0月0天0时0分0秒"},
    {59, {"0", "0", "0", "0", "0", "59"}, "59秒", "0年0月0天0时0分59秒"},
    {60, {"0", "0", "0", "0", "1", "0"}, "1分0秒", "0年0月0天0时1分0秒"},
    {3600, {"0", "0", "0", "1", "0", "0"}, "1时0分0秒", "0年0月0天1时0分0秒"},
    {86399, {"0", "0", "0", "23", "59", "59"}, "23时59分59秒", "0年0月0天23时59分59秒"},
    {86400, {"0", "0", "1", "0", "0", "0"}, "1天0时0分0秒", "0年0月1天0时0分0秒"},
    {90061, {"0", "0", "1", "1", "1", "1"}, "1天1时1分1秒", "0年0月1天1时1分1秒"},
    {2591999, {"0", "0", "29", "23", "59", "59"}, "29天23时59分59秒", "0年0月29天23时59分59秒"},
    {2592000, {"0", "1", "0", "0", "0", "0"}, "1月0天0时0分0秒", "0年1月0天0时0分0秒"},
    // 31 days: a month and a day.
    {2678400, {"0", "1", "1", "0", "0", "0"}, "1月1天0时0分0秒", "0年1月1天0时0分0秒"},
    {31103999,
     {"0", "11", "29", "23", "59", "59"},
     "11月29天23时59分59秒",
     "0年11月29天23时59分59秒"},
    {31104000, {"1", "0", "0", "0", "0", "0"}, "1年0月0天0时0分0秒", "1年0月0天0时0分0秒"},
    // 365 days: a year of 360 days and 5 days.
    {31536000, {"1", "0", "5", "0", "0", "0"}, "1年0月5天0时0分0秒", "1年0月5天0时0分0秒"},
    {36561906, {"1", "2", "3", "4", "5", "6"}, "1年2月3天4时5分6秒", "1年2月3天4时5分6秒"},
    {2147483647,
     {"69", "0", "15", "3", "14", "7"},
     "69年0月15天3时14分7秒",
     "69年0月15天3时14分7秒"},
    // Beyond 32 bits the years keep counting.
    {3000000000,
     {"96", "5", "12", "5", "20", "0"},
     "96年5月12天5时20分0秒",
     "96年5月12天5时20分0秒"},
    {std::numeric_limits<int64_t>::max(),
     {"296533308798", "0", "20", "15", "30", "7"},
     "296533308798年0月20天15时30分7秒",
     "296533308798年0月20天15时30分7秒"},
};

TEST(BreakDownDuration, GivesEachComponentTheShortAndTheFullText) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.seconds);
        for (int32_t selector = 1; selector <= 6; ++selector) {
            EXPECT_EQ(break_down_duration(c.seconds, selector),
                      c.components[static_cast<size_t>(selector - 1)])
                << "selector " << selector;
        }
        EXPECT_EQ(break_down_duration(c.seconds, 0), c.short_text);
        for (int32_t selector : {7, -1, 100, std::numeric_limits<int32_t>::min()}) {
            EXPECT_EQ(break_down_duration(c.seconds, selector), c.full_text)
                << "selector " << selector;
        }
    }
}

}  // namespace
}  // namespace velunor
