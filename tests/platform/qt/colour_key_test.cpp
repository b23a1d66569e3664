#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>
#include <string>
#include <vector>

#include "platform/qt/colour_key.h"

namespace velunor::qt {
namespace {

constexpr QRgb kKey = 0xffffa8ffU;      // RGB(255, 168, 255)
constexpr QRgb kNearKey = 0xfffea8ffU;  // one step off: must stay visible

// '.' is the key colour, '#' white, '~' a colour one step away from the key.
QImage picture(const std::vector<std::string>& rows) {
    QImage image(static_cast<int>(rows.front().size()), static_cast<int>(rows.size()),
                 QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const char c = rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
            image.setPixel(x, y, c == '.' ? kKey : c == '~' ? kNearKey : 0xffffffffU);
        }
    }
    return image;
}

void expect_region_is_the_non_key_pixels(const QImage& image, const QRegion& region) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool keyed = (image.pixel(x, y) & 0xffffffU) == (kKey & 0xffffffU);
            EXPECT_EQ(region.contains(QPoint(x, y)), !keyed) << "pixel " << x << "," << y;
        }
    }
    EXPECT_TRUE(region.boundingRect().isEmpty() || image.rect().contains(region.boundingRect()));
}

TEST(RegionWithoutColour, HoldsExactlyThePixelsThatAreNotTheKey) {
    const std::vector<std::vector<std::string>> cases = {
        {"....", "...."},                  // nothing shown
        {"####", "####"},                  // everything shown
        {"#..#", "#..#", "#..#"},          // equal rows merge into bands
        {".##.", "#..#", ".##.", "#..#"},  // rows differ every time
        {"..~..", ".....", "#####"},       // a near-key pixel is not the key
        {"##..##..#", "##..##..#", "........#", "#........"},
    };
    for (const auto& rows : cases) {
        SCOPED_TRACE(rows.front());
        const QImage image = picture(rows);
        const QRegion region = region_without_colour(image, kKey);
        expect_region_is_the_non_key_pixels(image, region);
    }
}

TEST(RegionWithoutColour, IgnoresAlphaAndConvertsOtherFormats) {
    QImage image = picture({"#..", "..#"});
    QImage translucent = image.convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(1, 0, kKey & 0x00ffffffU);  // key colour with alpha 0 is still the key
    expect_region_is_the_non_key_pixels(translucent, region_without_colour(translucent, kKey));
    const QImage packed = image.convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(region_without_colour(packed, kKey), region_without_colour(image, kKey));
}

}  // namespace
}  // namespace velunor::qt
