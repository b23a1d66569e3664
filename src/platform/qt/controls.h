// The Qt widgets behind the toolkit's named controls and windows.
#pragma once

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>
#include <array>
#include <string>

#include "platform/toolkit.h"

namespace velunor::qt {

QColor to_qcolor(Rgb colour);
// UTF-8 to QString, and back.
QString to_qstring(const std::string& text);
std::string to_utf8(const QString& text);
// The program writes line breaks as "\r\n"; Qt shows "\n".
QString to_display_text(const std::string& text);

// What the widgets report to the toolkit.
class WidgetEvents {
  public:
    // The user asked the window manager to close a window.
    virtual void close_requested(WindowId window) = 0;
    // Something the user did changed how a control looks (selection, scrolling, focus).
    virtual void look_changed(QWidget* control) = 0;

  protected:
    ~WidgetEvents() = default;
};

// A top-level window: frameless, its background painted in one colour.
class TopWindow final : public QWidget {
  public:
    TopWindow(WindowId id, WidgetEvents& events);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    WindowId id_;
    WidgetEvents& events_;
};

// A label whose background is a vertical gradient of three colours.
class GradientLabel final : public QLabel {
  public:
    explicit GradientLabel(QWidget* parent);
    void set_gradient(Rgb first, Rgb second, Rgb third);
    std::array<Rgb, 3> gradient() const { return colours_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::array<Rgb, 3> colours_{kGrey, kGrey, kGrey};
};

// The list box: rows as high as the font's line plus one pixel.
class ListBox final : public QListWidget {
  public:
    ListBox(QWidget* parent, WidgetEvents& events);
    // The row height for the current font.
    int row_height() const;
    // Lays out the entries now if Qt has only scheduled it; a no-op otherwise.
    void settle() { executeDelayedItemsLayout(); }

  protected:
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    WidgetEvents& events_;
};

// An edit box for a short integer: typing takes only digits and '-'; on losing the focus the
// text becomes the integer it starts with, limited to -32768..32767, and 0 becomes empty.
class ShortIntBox final : public QLineEdit {
  public:
    explicit ShortIntBox(QWidget* parent);
    // The text that the box shows for a typed text once it has lost the focus.
    static QString normalised(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// A date box that carries a time of day the user neither sees nor changes.
class DateBox final : public QDateEdit {
  public:
    explicit DateBox(QWidget* parent);
    DateTime value() const;
    // Dates the box cannot show leave its value as it was.
    void set_value(DateTime value);

  private:
    int hour_ = 0;
    int minute_ = 0;
    int second_ = 0;
};

// A several-line edit box without scroll bars.
class NoteBox final : public QPlainTextEdit {
  public:
    explicit NoteBox(QWidget* parent);
};

}  // namespace velunor::qt
