// text_to_int on any bytes, checked against a plain reference: fold the full-width forms, skip
// spaces, read a sign and the digits, limit to 32 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// U+FF01..U+FF5E to ASCII and U+3000 to a space, decoded the long way.
std::string reference_fold(std::string_view in) {
    std::string out;
    for (size_t i = 0; i < in.size();) {
        if (i + 3 <= in.size()) {
            const auto b0 = static_cast<unsigned char>(in[i]);
            const auto b1 = static_cast<unsigned char>(in[i + 1]);
            const auto b2 = static_cast<unsigned char>(in[i + 2]);
            if ((b0 & 0xF0U) == 0xE0U && (b1 & 0xC0U) == 0x80U && (b2 & 0xC0U) == 0x80U) {
                const unsigned cp = ((b0 & 0x0FU) << 12U) | ((b1 & 0x3FU) << 6U) | (b2 & 0x3FU);
                if (cp >= 0xFF01 && cp <= 0xFF5E) {
                    out += static_cast<char>(cp - 0xFEE0);
                    i += 3;
                    continue;
                }
                if (cp == 0x3000) {
                    out += ' ';
                    i += 3;
                    continue;
                }
            }
        }
        out += in[i];
        ++i;
    }
    return out;
}

int64_t reference_int(std::string_view raw) {
    const std::string text = reference_fold(raw);
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) {
        return 0;
    }
    int64_t sign = 1;
    if (text[i] == '+' || text[i] == '-') {
        sign = text[i] == '-' ? -1 : 1;
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT64_C(1) << 40) {
            value = INT64_C(1) << 40;
        }
    }
    value *= sign;
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check(velunor::text_to_int(text) == reference_int(text));
    const std::string folded = velunor::fold_full_width(text);
    check(folded == reference_fold(text));
    check(folded.size() <= text.size());
    check(velunor::has_full_width(text) == (folded != text));
    if (velunor::is_valid_utf8(text)) {
        check(velunor::is_valid_utf8(folded));
    }
    return 0;
}
