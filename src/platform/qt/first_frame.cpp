#include "platform/qt/first_frame.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <utility>

namespace velunor::qt {

namespace {

// Lives as a child of the window, so that it goes with it; runs the task once.
class FirstFrameWatch final : public QObject {
  public:
    FirstFrameWatch(QWidget* window, std::function<void()> task, std::chrono::milliseconds limit)
        : QObject(window), task_(std::move(task)) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &FirstFrameWatch::run);
        timer_.start(limit);
        if (window->isVisible()) {
            watch_native(window);
        } else {
            // The native window may not exist yet; it does once the window is shown.
            window->installEventFilter(this);
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == parent()) {
            watched->removeEventFilter(this);
            watch_native(static_cast<QWidget*>(watched));
        } else if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            // The window draws its frame while it handles this event; the task comes after.
            watched->removeEventFilter(this);
            timer_.start(0);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void watch_native(QWidget* window) {
        QWindow* native = window->windowHandle();
        if (native == nullptr) {
            return;  // the time limit runs the task
        }
        if (native->isExposed()) {
            timer_.start(0);
        } else {
            native->installEventFilter(this);
        }
    }

    void run() {
        if (task_) {
            const std::function<void()> task = std::move(task_);
            task_ = nullptr;
            deleteLater();
            task();
        }
    }

    std::function<void()> task_;
    QTimer timer_;
};

}  // namespace

void run_after_first_frame(QWidget* window, std::function<void()> task,
                           std::chrono::milliseconds limit) {
    if (window != nullptr && task) {
        new FirstFrameWatch(window, std::move(task), limit);
    }
}

}  // namespace velunor::qt
