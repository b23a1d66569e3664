// Date-time values as OLE Automation dates, and the texts built from them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace velunor {

// Days since 1899-12-30 00:00:00 in the whole part (negative before it); the magnitude of the
// fractional part is the time of day as a fraction of 24 hours (-1.25 is 1899-12-29 06:00).
using DateTime = double;

// 100-01-01 00:00:00: stands for a missing or unreadable date-time.
inline constexpr DateTime kMissingDateTime = -657434.0;
// 9999-12-31 00:00:00: the latest value a text is written for.
inline constexpr DateTime kLastDateTime = 2958465.0;

struct DateParts {
    int year = 100;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const DateParts&, const DateParts&) = default;
};

bool is_leap_year(int year);
int days_in_month(int year, int month);

// Calendar fields of a value, read after rounding it to the nearest second. Values outside
// 100-01-01 00:00:00 .. 9999-12-31 23:59:59 are limited to that range; NaN reads as the first.
DateParts datetime_parts(DateTime value);
// The value as whole seconds since 1899-12-30 00:00:00 on a straight time line (negative
// before it), rounded to the nearest second and limited like datetime_parts.
int64_t datetime_to_seconds(DateTime value);
// The inverse of datetime_to_seconds.
DateTime seconds_to_datetime(int64_t seconds);
// The value of six components that are already in range (years 100 to 9999).
DateTime datetime_from_parts(const DateParts& parts);

// Limits each component to its range first (day to the length of its month), then builds the
// value: an hour of 24 gives 23, a minute or second of 60 gives 59, a negative value gives 0.
DateTime make_datetime(int year, int month, int day, int hour, int minute, int second);

// Whole seconds from b to a: (a - b) * 86400 + 1/172800, truncated toward zero. 64 bits wide,
// so that due times more than 68 years ahead still count as ahead.
int64_t seconds_between(DateTime a, DateTime b);

// "2024年5月1日14时30分", dropping trailing zero time fields; the value is first limited to
// 100-01-01 00:00:00 .. 9999-12-31 00:00:00.
std::string datetime_to_text(DateTime value);
// Parses the texts datetime_to_text writes and forms such as 2024-05-01 14:30:00 and 2024/5/1;
// an empty or unparsable text gives kMissingDateTime.
DateTime text_to_datetime(std::string_view text);

// The source of "now": the local date and time to the whole second.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
};

class SystemClock final : public Clock {
  public:
    DateTime now() const override;
};

// A clock that tests set by hand; safe to read from another thread.
class FixedClock final : public Clock {
  public:
    explicit FixedClock(DateTime value = 0.0) : value_(value) {}
    DateTime now() const override { return value_.load(); }
    void set(DateTime value) { value_.store(value); }
    void set(int year, int month, int day, int hour, int minute, int second) {
        set(make_datetime(year, month, day, hour, minute, second));
    }
    // Moves the clock forward by whole seconds.
    void advance(int64_t seconds);

  private:
    std::atomic<DateTime> value_;
};

}  // namespace velunor
