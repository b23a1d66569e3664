// The ICO reader that spares the program Qt's image plugins: it must see the tray icon exactly
// as Qt's own reader does, and refuse damaged files without reading past them.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/qt/ico_image.h"
#include "ui/main/tray_icon.h"

namespace velunor::qt {
namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& out, size_t at, uint32_t value) {
    out[at] = static_cast<unsigned char>(value);
    out[at + 1] = static_cast<unsigned char>(value >> 8);
}

void put32(Bytes& out, size_t at, uint32_t value) {
    put16(out, at, value & 0xffffU);
    put16(out, at + 2, value >> 16);
}

// Field places in a file with one picture, as make_ico writes it.
constexpr size_t kType = 2;
constexpr size_t kCount = 4;
constexpr size_t kPictureSize = 14;
constexpr size_t kPictureOffset = 18;
constexpr size_t kDib = 22;  // the picture's header
constexpr size_t kDibWidth = kDib + 4;
constexpr size_t kDibHeight = kDib + 8;
constexpr size_t kDibBits = kDib + 14;
constexpr size_t kDibCompression = kDib + 16;
constexpr size_t kDibPalette = kDib + 32;

// An ICO file with one picture of `bits` per pixel (32 or 24) from ARGB pixels given top-down;
// mask holds one flag per pixel, top-down, true for transparent.
Bytes make_ico(int width, int height, const std::vector<QRgb>& pixels,
               const std::vector<bool>& mask = {}, int bits = 32) {
    const size_t bytes_per_pixel = static_cast<size_t>(bits) / 8;
    const size_t colour_row = (static_cast<size_t>(width) * bytes_per_pixel + 3) / 4 * 4;
    const size_t mask_row = (static_cast<size_t>(width) + 31) / 32 * 4;
    const size_t rows = static_cast<size_t>(height);
    const size_t picture = 40 + colour_row * rows + mask_row * rows;
    Bytes out(kDib + picture, 0);
    put16(out, kType, 1);
    put16(out, kCount, 1);
    out[6] = static_cast<unsigned char>(width);
    out[7] = static_cast<unsigned char>(height);
    put16(out, 10, 1);
    put16(out, 12, static_cast<uint32_t>(bits));
    put32(out, kPictureSize, static_cast<uint32_t>(picture));
    put32(out, kPictureOffset, kDib);
    put32(out, kDib, 40);
    put32(out, kDibWidth, static_cast<uint32_t>(width));
    put32(out, kDibHeight, static_cast<uint32_t>(2 * height));
    put16(out, kDib + 12, 1);
    put16(out, kDibBits, static_cast<uint32_t>(bits));
    for (size_t y = 0; y < rows; ++y) {
        const size_t stored = kDib + 40 + colour_row * (rows - 1 - y);
        for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
            const QRgb p = pixels[y * static_cast<size_t>(width) + x];
            unsigned char* at = &out[stored + x * bytes_per_pixel];
            at[0] = static_cast<unsigned char>(qBlue(p));
            at[1] = static_cast<unsigned char>(qGreen(p));
            at[2] = static_cast<unsigned char>(qRed(p));
            if (bits == 32) {
                at[3] = static_cast<unsigned char>(qAlpha(p));
            }
        }
    }
    const size_t masks = kDib + 40 + colour_row * rows;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i]) {
            const size_t y = i / static_cast<size_t>(width);
            const size_t x = i % static_cast<size_t>(width);
            out[masks + mask_row * (rows - 1 - y) + x / 8] |=
                static_cast<unsigned char>(0x80U >> (x % 8));
        }
    }
    return out;
}

QImage qt_reads(std::span<const unsigned char> file) {
    return QImage::fromData(QByteArrayView(reinterpret_cast<const char*>(file.data()),
                                           static_cast<qsizetype>(file.size())),
                            "ICO");
}

// Pixels as they are drawn: premultiplied, so that colours under alpha 0 do not count.
void expect_same_picture(const QImage& actual, const QImage& expected) {
    ASSERT_FALSE(actual.isNull());
    ASSERT_FALSE(expected.isNull());
    ASSERT_EQ(actual.size(), expected.size());
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            ASSERT_EQ(a.pixel(x, y), e.pixel(x, y)) << "pixel " << x << "," << y;
        }
    }
}

TEST(IcoImage, SeesTheTrayIconAsQtsReaderDoes) {
    const QImage ours = decode_bgra_ico(kTrayIconIco);
    expect_same_picture(ours, qt_reads(kTrayIconIco));
    EXPECT_EQ(ours.size(), QSize(32, 32));
    // A round face: clear corners, an opaque middle.
    EXPECT_EQ(qAlpha(ours.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(ours.pixel(16, 16)), 255);
    expect_same_picture(read_ico(kTrayIconIco), ours);
}

TEST(IcoImage, ReadsRowsBottomUpInBgraOrder) {
    // Odd width, so that the mask's row padding matters; every pixel differs.
    const std::vector<QRgb> pixels = {
        qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 128),  qRgba(0, 0, 255, 255),
        qRgba(10, 20, 30, 0),  qRgba(40, 50, 60, 255), qRgba(70, 80, 90, 200),
    };
    const Bytes file = make_ico(3, 2, pixels);
    const QImage ours = decode_bgra_ico(file);
    ASSERT_EQ(ours.size(), QSize(3, 2));
    for (int i = 0; i < 6; ++i) {
        if (qAlpha(pixels[static_cast<size_t>(i)]) != 0) {
            EXPECT_EQ(ours.pixel(i % 3, i / 3), pixels[static_cast<size_t>(i)]) << "pixel " << i;
        } else {
            EXPECT_EQ(qAlpha(ours.pixel(i % 3, i / 3)), 0) << "pixel " << i;
        }
    }
    expect_same_picture(ours, qt_reads(file));
}

TEST(IcoImage, LetsTheMaskDecideWhenNoPixelHasAlpha) {
    const std::vector<QRgb> pixels = {qRgba(1, 2, 3, 0), qRgba(4, 5, 6, 0), qRgba(7, 8, 9, 0),
                                      qRgba(10, 11, 12, 0)};
    const QImage masked = decode_bgra_ico(make_ico(2, 2, pixels, {true, false, false, true}));
    ASSERT_EQ(masked.size(), QSize(2, 2));
    EXPECT_EQ(qAlpha(masked.pixel(0, 0)), 0);
    EXPECT_EQ(masked.pixel(1, 0), qRgba(4, 5, 6, 255));
    EXPECT_EQ(masked.pixel(0, 1), qRgba(7, 8, 9, 255));
    EXPECT_EQ(qAlpha(masked.pixel(1, 1)), 0);
}

TEST(IcoImage, LeavesOtherKindsOfPictureToQtsReader) {
    const std::vector<QRgb> pixels = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                      qRgb(9, 9, 9)};
    const Bytes file = make_ico(2, 2, pixels, {}, 24);
    EXPECT_TRUE(decode_bgra_ico(file).isNull());
    expect_same_picture(read_ico(file), qt_reads(file));
}

TEST(IcoImage, RefusesDamagedFilesWithoutReadingPastThem) {
    const Bytes good = make_ico(3, 2, std::vector<QRgb>(6, qRgba(1, 2, 3, 255)));
    ASSERT_FALSE(decode_bgra_ico(good).isNull());
    struct Damage {
        const char* what;
        size_t at;
        uint32_t value;
        bool wide;
    };
    const Damage damages[] = {
        {"a cursor, not an icon", kType, 2, false},
        {"no pictures", kCount, 0, false},
        {"picture beyond the end", kPictureOffset, 0xfffffff0U, true},
        {"picture longer than the file", kPictureSize, 0xfffffff0U, true},
        {"picture header too short", kDib, 39, true},
        {"picture header longer than the picture", kDib, 0xffffffffU, true},
        {"no width", kDibWidth, 0, true},
        {"too wide", kDibWidth, 257, true},
        {"negative width", kDibWidth, 0xfffffffdU, true},
        {"no height", kDibHeight, 0, true},
        {"odd doubled height", kDibHeight, 3, true},
        {"negative height", kDibHeight, 0xfffffffcU, true},
        {"taller than the picture holds", kDibHeight, 512, true},
        {"compressed", kDibCompression, 3, true},
        {"palette", kDibPalette, 2, true},
    };
    for (const Damage& d : damages) {
        Bytes bad = good;
        if (d.wide) {
            put32(bad, d.at, d.value);
        } else {
            put16(bad, d.at, d.value);
        }
        EXPECT_TRUE(decode_bgra_ico(bad).isNull()) << d.what;
        (void)read_ico(bad);  // Qt's reader gets the rest; it must not crash either
    }
    // Cut short anywhere, the tray icon is refused: its directory promises more bytes.
    const std::span<const unsigned char> icon(kTrayIconIco);
    for (size_t length = 0; length < icon.size(); ++length) {
        ASSERT_TRUE(decode_bgra_ico(icon.first(length)).isNull()) << "length " << length;
    }
}

}  // namespace
}  // namespace velunor::qt
