#include "common/datetime.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "common/text.h"

namespace velunor {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

struct CivilDate {
    int64_t year;
    int64_t month;
    int64_t day;
};

// The inverse of days_from_civil.
constexpr CivilDate civil_from_days(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day 0 of the DateTime scale: 1899-12-30.
constexpr int64_t kEpochDays = days_from_civil(1899, 12, 30);

// Linear seconds of 100-01-01 00:00:00 and 9999-12-31 23:59:59.
constexpr int64_t kFirstSecond = (days_from_civil(100, 1, 1) - kEpochDays) * kSecondsPerDay;
constexpr int64_t kLastSecond =
    (days_from_civil(9999, 12, 31) - kEpochDays) * kSecondsPerDay + kSecondsPerDay - 1;

static_assert(kFirstSecond == -657434 * kSecondsPerDay);
static_assert(days_from_civil(9999, 12, 31) - kEpochDays == 2958465);

// The value as a point on a straight time line, in days since 1899-12-30 00:00:00: the OLE
// scale runs backwards inside each day before that date (-1.25 is one day back plus 6 hours).
double linear_days(DateTime value) {
    if (!std::isfinite(value)) {
        return value;
    }
    const double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

// Linear days to whole seconds, rounded to the nearest second and limited to [lo, hi].
int64_t linear_seconds(DateTime value, int64_t lo, int64_t hi) {
    if (std::isnan(value)) {
        return lo;
    }
    const double seconds = std::round(linear_days(value) * static_cast<double>(kSecondsPerDay));
    if (seconds <= static_cast<double>(lo)) {
        return lo;
    }
    if (seconds >= static_cast<double>(hi)) {
        return hi;
    }
    return static_cast<int64_t>(seconds);
}

DateParts parts_from_seconds(int64_t seconds) {
    const int64_t days = seconds >= 0 ? seconds / kSecondsPerDay
                                      : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
    const int64_t time_of_day = seconds - days * kSecondsPerDay;
    const CivilDate date = civil_from_days(days + kEpochDays);
    DateParts parts;
    parts.year = static_cast<int>(date.year);
    parts.month = static_cast<int>(date.month);
    parts.day = static_cast<int>(date.day);
    parts.hour = static_cast<int>(time_of_day / 3600);
    parts.minute = static_cast<int>(time_of_day / 60 % 60);
    parts.second = static_cast<int>(time_of_day % 60);
    return parts;
}

// Reads up to max_digits ASCII digits at pos; no digit at all counts as 0.
int read_number(std::string_view text, size_t& pos, int max_digits) {
    int value = 0;
    for (int n = 0; n < max_digits && pos < text.size() && text[pos] >= '0' && text[pos] <= '9';
         ++n, ++pos) {
        value = value * 10 + (text[pos] - '0');
    }
    return value;
}

// Skips one separator at pos when it is one of the ASCII characters or the given word.
void skip_separator(std::string_view text, size_t& pos, std::string_view ascii,
                    std::string_view word) {
    if (pos >= text.size()) {
        return;
    }
    if (ascii.find(text[pos]) != std::string_view::npos) {
        ++pos;
    } else if (text.substr(pos, word.size()) == word) {
        pos += word.size();
    }
}

}  // namespace

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    switch (month) {
        case 2:
            return is_leap_year(year) ? 29 : 28;
        case 4:
        case 6:
        case 9:
        case 11:
            return 30;
        default:
            return 31;
    }
}

int64_t datetime_to_seconds(DateTime value) {
    return linear_seconds(value, kFirstSecond, kLastSecond);
}

DateTime seconds_to_datetime(int64_t seconds) {
    seconds = std::clamp(seconds, kFirstSecond, kLastSecond);
    const DateParts p = parts_from_seconds(seconds);
    return datetime_from_parts(p);
}

DateParts datetime_parts(DateTime value) {
    return parts_from_seconds(datetime_to_seconds(value));
}

DateTime datetime_from_parts(const DateParts& parts) {
    const int64_t days = days_from_civil(parts.year, parts.month, parts.day) - kEpochDays;
    const double time_of_day =
        static_cast<double>(parts.hour * 3600 + parts.minute * 60 + parts.second) /
        static_cast<double>(kSecondsPerDay);
    const auto whole = static_cast<double>(days);
    return days >= 0 ? whole + time_of_day : whole - time_of_day;
}

DateTime make_datetime(int year, int month, int day, int hour, int minute, int second) {
    DateParts parts;
    parts.year = std::clamp(year, 100, 9999);
    parts.month = std::clamp(month, 1, 12);
    parts.day = std::clamp(day, 1, days_in_month(parts.year, parts.month));
    parts.hour = std::clamp(hour, 0, 23);
    parts.minute = std::clamp(minute, 0, 59);
    parts.second = std::clamp(second, 0, 59);
    return datetime_from_parts(parts);
}

int64_t seconds_between(DateTime a, DateTime b) {
    // The difference is taken on the straight time line, so that values before 1899-12-30 count
    // the same way as later ones; for values from that day on it is simply a - b.
    const double seconds =
        (linear_days(a) - linear_days(b)) * static_cast<double>(kSecondsPerDay) + 1.0 / 172800.0;
    if (std::isnan(seconds)) {
        return 0;
    }
    // 2^63 is exact as a double; anything at or beyond it cannot be converted.
    constexpr double kLimit = 9223372036854775808.0;
    if (seconds >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (seconds <= -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(seconds);
}

std::string datetime_to_text(DateTime value) {
    const int64_t last_written = 2958465 * kSecondsPerDay;
    const DateParts p = parts_from_seconds(linear_seconds(value, kFirstSecond, last_written));
    std::string text = std::to_string(p.year) + "年" + std::to_string(p.month) + "月" +
                       std::to_string(p.day) + "日";
    if (p.second != 0) {
        text += std::to_string(p.hour) + "时" + std::to_string(p.minute) + "分" +
                std::to_string(p.second) + "秒";
    } else if (p.minute != 0) {
        text += std::to_string(p.hour) + "时" + std::to_string(p.minute) + "分";
    } else if (p.hour != 0) {
        text += std::to_string(p.hour) + "时";
    }
    return text;
}

DateTime text_to_datetime(std::string_view raw) {
    std::string folded;
    std::string_view text = raw;
    if (has_full_width(raw)) {
        folded = fold_full_width(raw);
        text = folded;
    }
    size_t pos = 0;
    DateParts p;
    p.year = read_number(text, pos, 4);
    skip_separator(text, pos, "/-:.", "年");
    p.month = read_number(text, pos, 2);
    skip_separator(text, pos, "/-:.", "月");
    p.day = read_number(text, pos, 2);
    skip_separator(text, pos, "/-: .", "日");
    p.hour = read_number(text, pos, 2);
    skip_separator(text, pos, "/-:.", "时");
    p.minute = read_number(text, pos, 2);
    skip_separator(text, pos, "/-:.", "分");
    p.second = read_number(text, pos, 2);

    const std::string_view rest = text.substr(pos);
    if (!rest.empty() && !rest.starts_with("秒")) {
        return kMissingDateTime;
    }
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > days_in_month(p.year, p.month) || p.hour > 23 || p.minute > 59 || p.second > 59) {
        return kMissingDateTime;
    }
    return datetime_from_parts(p);
}

DateTime SystemClock::now() const {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return kMissingDateTime;
    }
    return make_datetime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec);
}

void FixedClock::advance(int64_t seconds) {
    constexpr int64_t kSpan = kLastSecond - kFirstSecond;
    set(seconds_to_datetime(datetime_to_seconds(now()) + std::clamp(seconds, -kSpan, kSpan)));
}

}  // namespace velunor
