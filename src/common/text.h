// Text helpers. Texts are UTF-8 std::string throughout the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velunor {

// Folds the full-width forms U+FF01..U+FF5E to U+0021..U+007E and U+3000 to a space; every other
// byte is kept as it is.
std::string fold_full_width(std::string_view text);
// True when the text holds a character that fold_full_width changes.
bool has_full_width(std::string_view text);

// The integer a text starts with after folding full-width forms: leading spaces skipped, an
// optional sign, the leading decimal digits ("" and "abc" give 0, "12abc" 12, "-3" -3).
// Values beyond the 32-bit range are limited to it.
int32_t text_to_int(std::string_view text);

// True when the bytes are well-formed UTF-8 of one- to four-byte sequences (no overlong forms,
// no surrogates, nothing above U+10FFFF, no cut sequence).
bool is_valid_utf8(std::string_view bytes);
// The length of the well-formed UTF-8 sequence that starts at pos (1 to 4), or 0 when the bytes
// there do not start one (or pos is at the end).
size_t utf8_sequence_length(std::string_view bytes, size_t pos);

// "%d" of a number, with a "0" in front of numbers 0..9 (7 gives "07").
std::string two_digit(int64_t value);

}  // namespace velunor
