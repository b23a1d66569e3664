#include "platform/qt/ico_image.h"

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velunor::qt {

namespace {

// Little-endian fields of a byte range; a field that does not lie wholly inside the range
// reads as nothing.
class Fields {
  public:
    explicit Fields(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    std::optional<uint32_t> u16(size_t at) const { return read(at, 2); }
    std::optional<uint32_t> u32(size_t at) const { return read(at, 4); }
    std::optional<int32_t> i32(size_t at) const {
        const auto value = read(at, 4);
        if (!value) {
            return std::nullopt;
        }
        return static_cast<int32_t>(*value);
    }

  private:
    std::optional<uint32_t> read(size_t at, size_t size) const {
        if (at > bytes_.size() || size > bytes_.size() - at) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (size_t i = size; i-- > 0;) {
            value = (value << 8) | bytes_[at + i];
        }
        return value;
    }

    std::span<const unsigned char> bytes_;
};

// The file starts with a directory (reserved 0, type 1 for icons, the count of pictures) and an
// entry per picture; the entry's last two fields are the picture's size and place in the file.
constexpr size_t kEntrySizeField = 6 + 8;
constexpr size_t kEntryOffsetField = 6 + 12;
constexpr uint32_t kIconType = 1;

// The picture: a BITMAPINFOHEADER whose height counts the colour rows and the mask rows.
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBitsPerPixel = 32;
constexpr uint32_t kUncompressed = 0;  // BI_RGB
constexpr int32_t kLargestSide = 256;

}  // namespace

QImage decode_bgra_ico(std::span<const unsigned char> file) {
    const Fields ico(file);
    const auto reserved = ico.u16(0);
    const auto type = ico.u16(2);
    const auto count = ico.u16(4);
    const auto size = ico.u32(kEntrySizeField);
    const auto offset = ico.u32(kEntryOffsetField);
    if (!reserved || *reserved != 0 || !type || *type != kIconType || !count || *count == 0 ||
        !size || !offset || *offset > file.size() || *size > file.size() - *offset) {
        return {};
    }
    const std::span<const unsigned char> picture = file.subspan(*offset, *size);
    const Fields dib(picture);
    const auto header_size = dib.u32(0);
    const auto width = dib.i32(4);
    const auto doubled_height = dib.i32(8);
    const auto bits = dib.u16(14);
    const auto compression = dib.u32(16);
    const auto palette_size = dib.u32(32);
    // PNG pictures, palettes, other depths and bit fields are left to Qt's reader.
    if (!header_size || *header_size < kInfoHeaderSize || *header_size > picture.size() || !bits ||
        *bits != kBitsPerPixel || !compression || *compression != kUncompressed || !palette_size ||
        *palette_size != 0) {
        return {};
    }
    if (!width || *width < 1 || *width > kLargestSide || !doubled_height || *doubled_height < 2 ||
        *doubled_height > 2 * kLargestSide || *doubled_height % 2 != 0) {
        return {};
    }
    const int columns = *width;
    const int rows = *doubled_height / 2;
    const size_t colour_row = static_cast<size_t>(columns) * 4;
    const size_t colours_at = *header_size;
    if (colour_row * static_cast<size_t>(rows) > picture.size() - colours_at) {
        return {};
    }
    // The mask: a bit per pixel, 1 for transparent, rows padded to four bytes.
    const size_t mask_row = (static_cast<size_t>(columns) + 31) / 32 * 4;
    const size_t mask_at = colours_at + colour_row * static_cast<size_t>(rows);
    const bool has_mask = mask_row * static_cast<size_t>(rows) <= picture.size() - mask_at;

    QImage image(columns, rows, QImage::Format_ARGB32);
    if (image.isNull()) {
        return {};
    }
    bool has_alpha = false;
    for (int y = 0; y < rows; ++y) {
        // Rows are stored bottom-up.
        const size_t stored_row = static_cast<size_t>(rows - 1 - y);
        const unsigned char* bgra = picture.data() + colours_at + colour_row * stored_row;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < columns; ++x, bgra += 4) {
            line[x] = qRgba(bgra[2], bgra[1], bgra[0], bgra[3]);
            has_alpha = has_alpha || bgra[3] != 0;
        }
    }
    if (has_alpha) {
        return image;
    }
    // A 32-bit picture made before alpha channels: the mask alone says what is transparent, and
    // without a mask every pixel is opaque.
    for (int y = 0; y < rows; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const unsigned char* mask = nullptr;
        if (has_mask) {
            mask = picture.data() + mask_at + mask_row * static_cast<size_t>(rows - 1 - y);
        }
        for (int x = 0; x < columns; ++x) {
            const bool transparent =
                mask != nullptr && (mask[static_cast<size_t>(x) / 8] & (0x80U >> (x % 8))) != 0;
            line[x] = transparent ? qRgba(0, 0, 0, 0) : (line[x] | 0xff000000U);
        }
    }
    return image;
}

QImage read_ico(std::span<const unsigned char> file) {
    QImage image = decode_bgra_ico(file);
    if (image.isNull() && !file.empty()) {
        image = QImage::fromData(QByteArrayView(reinterpret_cast<const char*>(file.data()),
                                                static_cast<qsizetype>(file.size())),
                                 "ICO");
    }
    return image;
}

}  // namespace velunor::qt
