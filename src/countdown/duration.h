// Splitting a count of seconds into years of 360 days, months of 30 days, days, hours, minutes
// and seconds.
#pragma once

#include <cstdint>
#include <string>

namespace velunor {

// selector 0: the short text ("1天0时0分0秒"); 1..6: one component as a number text (years,
// months, days, hours, minutes, seconds); any other value: the full text ("0年0月1天0时0分0秒").
std::string break_down_duration(int64_t total_seconds, int32_t selector);

}  // namespace velunor
