// The UTF-8 check that load applies to every cell, against a reference decoder that decodes
// each sequence by its bit pattern and then rejects overlong forms, surrogates and code points
// above U+10FFFF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/text.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The length of the valid sequence at i, or 0.
size_t reference_sequence(std::string_view s, size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t length = 0;
    uint32_t cp = 0;
    if (b0 < 0x80U) {
        return 1;
    }
    if ((b0 & 0xE0U) == 0xC0U) {
        length = 2;
        cp = b0 & 0x1FU;
    } else if ((b0 & 0xF0U) == 0xE0U) {
        length = 3;
        cp = b0 & 0x0FU;
    } else if ((b0 & 0xF8U) == 0xF0U) {
        length = 4;
        cp = b0 & 0x07U;
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0U) != 0x80U) {
            return 0;
        }
        cp = (cp << 6U) | (b & 0x3FU);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool valid = true;
    for (size_t i = 0; i < text.size();) {
        const size_t expected = reference_sequence(text, i);
        check(velunor::utf8_sequence_length(text, i) == expected);
        if (expected == 0) {
            valid = false;
            ++i;
        } else {
            i += expected;
        }
    }
    check(velunor::is_valid_utf8(text) == valid);
    check(velunor::utf8_sequence_length(text, text.size()) == 0);
    return 0;
}
