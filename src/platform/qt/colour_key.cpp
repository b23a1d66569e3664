#include "platform/qt/colour_key.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstring>
#include <utility>
#include <vector>

namespace velunor::qt {

namespace {

constexpr QRgb kRgbBits = 0x00ffffffU;

using Runs = std::vector<std::pair<int, int>>;  // [first, last] columns of one row

// A region that lies outside every window: X treats an empty shape as "no shape at all", which
// would show the whole window, so a window with nothing to show gets this instead.
QRegion nothing_shown() {
    return {-1, -1, 1, 1};
}

}  // namespace

QRegion region_without_colour(const QImage& source, QRgb key) {
    const QImage image =
        (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32)
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    key &= kRgbBits;
    // Rows are cut into runs of shown pixels; a row with the same runs as the one above
    // extends that band's rectangles, which keeps the region y-x banded as Qt requires.
    std::vector<QRect> rects;
    Runs previous;
    Runs runs;
    size_t band_start = 0;
    const int width = image.width();
    const int height = image.height();
    const size_t row_bytes = static_cast<size_t>(width) * sizeof(QRgb);
    const QRgb* above = nullptr;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        // A row that repeats the one above has its runs (most rows of a panel do: the rows of
        // plain background, the middle of letters' strokes).
        const bool repeats = above != nullptr && std::memcmp(line, above, row_bytes) == 0;
        above = line;
        if (repeats) {
            for (size_t i = band_start; i < rects.size(); ++i) {
                rects[i].setBottom(y);
            }
            continue;
        }
        runs.clear();
        int x = 0;
        while (x < width) {
            if ((line[x] & kRgbBits) == key) {
                ++x;
                continue;
            }
            const int first = x;
            while (x < width && (line[x] & kRgbBits) != key) {
                ++x;
            }
            runs.emplace_back(first, x - 1);
        }
        if (!runs.empty() && runs == previous) {
            for (size_t i = band_start; i < rects.size(); ++i) {
                rects[i].setBottom(y);
            }
            continue;
        }
        band_start = rects.size();
        for (const auto& [first, last] : runs) {
            rects.emplace_back(QPoint(first, y), QPoint(last, y));
        }
        previous.swap(runs);
    }
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

ColourKeyShape::ColourKeyShape(QWidget* window, QRgb key, std::function<void()> before_render)
    : window_(window), key_(key & kRgbBits), before_render_(std::move(before_render)) {
    update_timer_.setSingleShot(true);
    update_timer_.setInterval(0);
    connect(&update_timer_, &QTimer::timeout, this, &ColourKeyShape::update_now);
    window->installEventFilter(this);
    invalidate_all();
}

ColourKeyShape::~ColourKeyShape() {
    if (window_ != nullptr) {
        window_->removeEventFilter(this);
        if (QWindow* native = window_->windowHandle()) {
            native->setMask(QRegion());
        }
    }
}

void ColourKeyShape::invalidate(const QRect& area) {
    if (area.isEmpty()) {
        return;
    }
    dirty_ += area;
    update_timer_.start();
}

void ColourKeyShape::invalidate_all() {
    shaped_ = false;
    update_timer_.start();
}

bool ColourKeyShape::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Resize) {
        invalidate_all();
    }
    return QObject::eventFilter(watched, event);
}

void ColourKeyShape::update_now() {
    update_timer_.stop();
    if (window_ == nullptr) {
        return;
    }
    const QRect whole = window_->rect();
    const QRect area = shaped_ ? (dirty_.boundingRect() & whole) : whole;
    dirty_ = QRegion();
    QRegion next = shaped_ ? shape_.intersected(whole) : QRegion();
    if (!area.isEmpty()) {
        if (before_render_) {
            before_render_();
        }
        QImage image(area.size(), QImage::Format_RGB32);
        image.fill(key_ | 0xff000000U);
        window_->render(
            &image, QPoint(), QRegion(area),
            QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
        next = next.subtracted(QRegion(area))
                   .united(region_without_colour(image, key_).translated(area.topLeft()));
    }
    shaped_ = true;
    QWindow* native = native_window();
    if (native == nullptr || (next == shape_ && !native->mask().isEmpty())) {
        return;
    }
    shape_ = next;
    native->setMask(shape_.isEmpty() ? nothing_shown() : shape_);
}

QWindow* ColourKeyShape::native_window() const {
    if (window_ == nullptr) {
        return nullptr;
    }
    if (window_->windowHandle() == nullptr) {
        window_->winId();  // creates the native window, still hidden
    }
    return window_->windowHandle();
}

}  // namespace velunor::qt
