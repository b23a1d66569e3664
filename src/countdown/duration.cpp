#include "countdown/duration.h"

namespace velunor {
// Not written yet.
std::string break_down_duration(int64_t, int32_t) { return {}; }
}  // namespace velunor
