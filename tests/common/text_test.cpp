#include "common/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace velunor {
namespace {

TEST(TextToInt, ReadsTheLeadingNumber) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"12abc", 12},
        {"-3", -3},
        {"+7", 7},
        {"   42", 42},
        {"\xE3\x80\x80"
         "15",
         15},                              // ideographic space
        {"\xEF\xBC\x91\xEF\xBC\x92", 12},  // full-width 12
        {"\xEF\xBC\x8D\xEF\xBC\x95", -5},  // full-width -5
        {"\xEF\xBC\x8B\xEF\xBC\x99x", 9},  // full-width +9 then x
        {"1\xEF\xBC\x92"
         "3",
         123},  // mixed widths
        {"- 3", 0},
        {"--3", 0},
        {"\t3", 0},
        {"0007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
        {"99999999999999999999999", INT32_MAX},
        {"\xE4\xB8\x80", 0},  // 一 is not a digit
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text_to_int(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(FoldFullWidth, FoldsOnlyTheFullWidthAsciiFormsAndTheIdeographicSpace) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"\xEF\xBC\x81", "!"},  // U+FF01, first of the range
        {"\xEF\xBD\x9E", "~"},  // U+FF5E, last of the range
        {"\xEF\xBC\xA1\xEF\xBD\x81", "Aa"},
        {"\xE3\x80\x80", " "},
        {"\xEF\xBC\x80", "\xEF\xBC\x80"},  // U+FF00 is not folded
        {"\xEF\xBD\x9F", "\xEF\xBD\x9F"},  // U+FF5F is not folded
        {"\xE3\x80\x81", "\xE3\x80\x81"},  // 、 stays
        {"\xE5\xB9\xB4", "\xE5\xB9\xB4"},  // 年 stays
        {"\xEF\xBC", "\xEF\xBC"},          // a cut sequence is kept as it is
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fold_full_width(c.text), c.expected);
    }
}

TEST(Utf8, AcceptsWellFormedSequencesOfOneToFourBytes) {
    const std::string valid[] = {
        "",
        "plain ascii",
        "\xC2\xA9",                  // ©
        "\xE5\x80\x92\xE8\xAE\xA1",  // 倒计
        "\xEF\xBF\xBF",              // U+FFFF
        "\xF0\x9F\x8E\x82",          // 🎂 U+1F382
        "\xF4\x8F\xBF\xBF",          // U+10FFFF
        "\xF0\x90\x80\x80",          // U+10000
        "\xE0\xA0\x80",              // U+0800
        "\xED\x9F\xBF",              // U+D7FF
        std::string("\0", 1),
    };
    for (const std::string& s : valid) {
        EXPECT_TRUE(is_valid_utf8(s)) << testing::PrintToString(s);
    }
}

TEST(Utf8, RejectsOverlongFormsSurrogatesCutSequencesAndStrayBytes) {
    const std::string invalid[] = {
        "\xC0\x80",          // overlong NUL
        "\xC1\xBF",          // overlong
        "\xE0\x9F\xBF",      // overlong three-byte
        "\xF0\x8F\xBF\xBF",  // overlong four-byte
        "\xED\xA0\x80",      // U+D800
        "\xED\xBF\xBF",      // U+DFFF
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",
        "\xFF",
        "\x80",       // lone continuation
        "a\xE5\x80",  // cut at the end
        "\xE5\x80z",  // cut in the middle
        "\xF0\x9F\x8E",
        "\xC2",
    };
    for (const std::string& s : invalid) {
        EXPECT_FALSE(is_valid_utf8(s)) << testing::PrintToString(s);
    }
    EXPECT_EQ(utf8_sequence_length("\xF0\x9F\x8E\x82", 0), 4U);
    EXPECT_EQ(utf8_sequence_length("ab", 2), 0U);
}

TEST(TwoDigit, PadsSingleDigitsOnly) {
    EXPECT_EQ(two_digit(0), "00");
    EXPECT_EQ(two_digit(7), "07");
    EXPECT_EQ(two_digit(10), "10");
    EXPECT_EQ(two_digit(123), "123");
}

}  // namespace
}  // namespace velunor
