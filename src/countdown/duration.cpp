#include "countdown/duration.h"

#include <array>

namespace velunor {

namespace {

struct Unit {
    int64_t seconds;
    const char* word;
};

// Years of 360 days and months of 30 days, whatever the calendar says.
constexpr std::array<Unit, 6> kUnits{{
    {31104000, "年"},
    {2592000, "月"},
    {86400, "天"},
    {3600, "时"},
    {60, "分"},
    {1, "秒"},
}};

}  // namespace

std::string break_down_duration(int64_t total_seconds, int32_t selector) {
    // The mixed-radix digits of the count, largest unit first. 64-bit, so that counts of 68 years
    // and more still give their true years.
    std::array<int64_t, 6> parts{};
    int64_t rest = total_seconds;
    for (size_t i = 0; i < kUnits.size(); ++i) {
        parts[i] = rest / kUnits[i].seconds;
        rest -= parts[i] * kUnits[i].seconds;
    }

    if (selector >= 1 && selector <= 6) {
        return std::to_string(parts[static_cast<size_t>(selector - 1)]);
    }

    // The short text starts at the first of years .. minutes above 0 (seconds when none is);
    // the full text always starts at years.
    size_t first = 0;
    if (selector == 0) {
        while (first < kUnits.size() - 1 && parts[first] <= 0) {
            ++first;
        }
    }
    std::string text;
    for (size_t i = first; i < kUnits.size(); ++i) {
        text += std::to_string(parts[i]);
        text += kUnits[i].word;
    }
    return text;
}

}  // namespace velunor
