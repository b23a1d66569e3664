#include "common/text.h"

namespace velunor {
// Not written yet.
std::string fold_full_width(std::string_view text) { return std::string(text); }
int32_t text_to_int(std::string_view) { return 0; }
bool is_valid_utf8(std::string_view) { return true; }
std::string two_digit(int64_t value) { return std::to_string(value); }
}  // namespace velunor
