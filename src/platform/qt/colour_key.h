// Colour-keyed top-level windows: pixels of one exact colour are neither drawn nor hit.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace velunor::qt {

// The pixels of the image whose colour (alpha aside) differs from the key, as a region.
QRegion region_without_colour(const QImage& image, QRgb key);

// Keeps a window's shape equal to the pixels that are not of the key colour. The shape also
// bounds the window's input, so clicks on keyed pixels reach whatever lies beneath. Changes are
// collected and applied together once control returns to the event loop; only the changed
// area is rendered again. The shape is set on the native window: a widget mask would also clip
// Qt's own painting to its hundreds of rectangles, which costs far more than the shape itself.
class ColourKeyShape final : public QObject {
  public:
    // before_render runs before the window is rendered: it brings up to date what the window
    // would otherwise only lay out later (a list's entries).
    ColourKeyShape(QWidget* window, QRgb key, std::function<void()> before_render = {});
    ~ColourKeyShape() override;
    ColourKeyShape(const ColourKeyShape&) = delete;
    ColourKeyShape& operator=(const ColourKeyShape&) = delete;

    QRgb key() const { return key_; }
    // An area of the window (in its own coordinates) whose look has changed.
    void invalidate(const QRect& area);
    void invalidate_all();
    // Applies the collected changes now.
    void update_now();
    // The region the window shows, in its coordinates (the native window's mask).
    QRegion shape() const { return shape_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWindow* native_window() const;

    QPointer<QWidget> window_;
    QRgb key_;
    std::function<void()> before_render_;
    QRegion shape_;
    QRegion dirty_;
    bool shaped_ = false;
    QTimer update_timer_;  // zero interval: fires once the event loop has run
};

}  // namespace velunor::qt
