// text_to_datetime on any bytes: it returns the missing value or a date-time in range that
// prints and parses back to itself (limited to 9999-12-31 00:00:00). The first eight bytes, read as
// a DateTime, also go through the conversions that must accept any double.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/datetime.h"
#include "common/text.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool in_range(const velunor::DateParts& p) {
    return p.year >= 100 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
           p.day <= velunor::days_in_month(p.year, p.month) && p.hour >= 0 && p.hour <= 23 &&
           p.minute >= 0 && p.minute <= 59 && p.second >= 0 && p.second <= 59;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velunor;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const DateTime parsed = text_to_datetime(text);
    const DateParts parts = datetime_parts(parsed);
    check(in_range(parts));
    check(datetime_from_parts(parts) == parsed);
    const std::string printed = datetime_to_text(parsed);
    check(is_valid_utf8(printed));
    // Texts are written for values up to 9999-12-31 00:00:00; later ones are limited to it.
    check(text_to_datetime(printed) == (parsed <= kLastDateTime ? parsed : kLastDateTime));

    if (size >= sizeof(double)) {
        DateTime value = 0;
        std::memcpy(&value, data, sizeof value);
        check(in_range(datetime_parts(value)));
        const std::string text_of_value = datetime_to_text(value);
        const DateTime back = text_to_datetime(text_of_value);
        check(back >= kMissingDateTime - 1.0 && back <= kLastDateTime);
        check(datetime_to_text(back) == text_of_value);
        (void)seconds_between(value, parsed);
        (void)seconds_between(parsed, value);
        (void)datetime_to_seconds(value);
    }
    return 0;
}
