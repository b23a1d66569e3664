#include "common/datetime.h"

namespace velunor {
// Not written yet.
bool is_leap_year(int) { return false; }
int days_in_month(int, int) { return 31; }
DateParts datetime_parts(DateTime) { return {}; }
DateTime datetime_from_parts(const DateParts&) { return 0.0; }
DateTime make_datetime(int, int, int, int, int, int) { return 0.0; }
int64_t seconds_between(DateTime, DateTime) { return 0; }
std::string datetime_to_text(DateTime) { return {}; }
DateTime text_to_datetime(std::string_view) { return kMissingDateTime; }
DateTime SystemClock::now() const { return 0.0; }
void FixedClock::advance(int64_t seconds) { set(now() + static_cast<double>(seconds) / 86400.0); }
}  // namespace velunor
