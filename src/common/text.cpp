#include "common/text.h"

#include <limits>

namespace velunor {

namespace {

// U+FF01..U+FF3F are EF BC 81..BF and U+FF40..U+FF5E are EF BD 80..9E in UTF-8;
// U+3000 is E3 80 80.
constexpr unsigned char kFullWidthLead = 0xEF;

unsigned char byte_at(std::string_view text, size_t pos) {
    return static_cast<unsigned char>(text[pos]);
}

bool is_continuation(unsigned char byte) {
    return (byte & 0xC0U) == 0x80U;
}

}  // namespace

std::string fold_full_width(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        if (pos + 2 < text.size()) {
            const unsigned char b0 = byte_at(text, pos);
            const unsigned char b1 = byte_at(text, pos + 1);
            const unsigned char b2 = byte_at(text, pos + 2);
            if (b0 == kFullWidthLead && b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) {
                out += static_cast<char>(b2 - 0x81 + 0x21);
                pos += 3;
                continue;
            }
            if (b0 == kFullWidthLead && b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E) {
                out += static_cast<char>(b2 - 0x80 + 0x60);
                pos += 3;
                continue;
            }
            if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) {
                out += ' ';
                pos += 3;
                continue;
            }
        }
        out += text[pos];
        ++pos;
    }
    return out;
}

bool has_full_width(std::string_view text) {
    for (size_t pos = 0; pos + 2 < text.size(); ++pos) {
        const unsigned char b0 = byte_at(text, pos);
        if (b0 != kFullWidthLead && b0 != 0xE3) {
            continue;
        }
        const unsigned char b1 = byte_at(text, pos + 1);
        const unsigned char b2 = byte_at(text, pos + 2);
        if ((b0 == kFullWidthLead && b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) ||
            (b0 == kFullWidthLead && b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E) ||
            (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80)) {
            return true;
        }
    }
    return false;
}

int32_t text_to_int(std::string_view raw) {
    // Most texts hold no full-width form; they are read in place.
    std::string folded;
    std::string_view text = raw;
    if (has_full_width(raw)) {
        folded = fold_full_width(raw);
        text = folded;
    }
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulated as a magnitude that stops growing once it leaves the 32-bit range.
    constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (magnitude < kCap) {
            magnitude = magnitude * 10 + (text[pos] - '0');
        }
        ++pos;
    }
    if (negative) {
        return magnitude >= kCap ? std::numeric_limits<int32_t>::min()
                                 : static_cast<int32_t>(-magnitude);
    }
    return magnitude >= kCap ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(magnitude);
}

size_t utf8_sequence_length(std::string_view bytes, size_t pos) {
    if (pos >= bytes.size()) {
        return 0;
    }
    const unsigned char b0 = byte_at(bytes, pos);
    if (b0 < 0x80) {
        return 1;
    }
    // The second byte's range depends on the lead byte; it rules out overlong forms, the
    // surrogates U+D800..U+DFFF and everything above U+10FFFF.
    size_t length = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 == 0xE0) {
        length = 3;
        lo = 0xA0;
    } else if ((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF) {
        length = 3;
    } else if (b0 == 0xED) {
        length = 3;
        hi = 0x9F;
    } else if (b0 == 0xF0) {
        length = 4;
        lo = 0x90;
    } else if (b0 >= 0xF1 && b0 <= 0xF3) {
        length = 4;
    } else if (b0 == 0xF4) {
        length = 4;
        hi = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() - pos < length) {
        return 0;
    }
    const unsigned char b1 = byte_at(bytes, pos + 1);
    if (b1 < lo || b1 > hi) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (!is_continuation(byte_at(bytes, pos + i))) {
            return 0;
        }
    }
    return length;
}

bool is_valid_utf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (byte_at(bytes, pos) < 0x80) {
            ++pos;
            continue;
        }
        const size_t length = utf8_sequence_length(bytes, pos);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::string two_digit(int64_t value) {
    std::string text = std::to_string(value);
    if (value >= 0 && value < 10) {
        text.insert(text.begin(), '0');
    }
    return text;
}

}  // namespace velunor
