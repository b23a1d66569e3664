// Reading the picture of an ICO file, such as the tray icon the program carries.
#pragma once

#include <QImage>
#include <span>

namespace velunor::qt {

// The first picture of an ICO file when it is an uncompressed 32-bit one (BGRA rows bottom-up,
// then the 1-bit AND mask), as the program's own tray icon is. It is decoded here rather than
// by Qt's image plugin, whose loading costs start-up time. A null image for any other kind of
// picture (PNG, fewer bits per pixel) and for a file that is damaged or cut short; nothing
// outside the file is read.
QImage decode_bgra_ico(std::span<const unsigned char> file);

// The first picture of an ICO file of any kind: decode_bgra_ico where it applies, else Qt's
// own reader. A null image when neither can read it.
QImage read_ico(std::span<const unsigned char> file);

}  // namespace velunor::qt
