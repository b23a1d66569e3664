#include "platform/qt/controls.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "common/text.h"

namespace velunor::qt {

namespace {

// The user may type these into a short-integer box; everything else is dropped.
bool is_short_int_char(QChar c) {
    return (c >= u'0' && c <= u'9') || c == u'-';
}

// Control characters (backspace, the editing shortcuts) go through unfiltered.
bool filtered_out(const QString& typed) {
    return std::any_of(typed.begin(), typed.end(),
                       [](QChar c) { return c.isPrint() && !is_short_int_char(c); });
}

// Rows of the list font's designed height (ListBox::row_height).
class RowHeightDelegate final : public QStyledItemDelegate {
  public:
    explicit RowHeightDelegate(ListBox* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(list_->row_height());
        return size;
    }
    // The style marks the focused list's current row with a tinted panel even when nothing is
    // selected, which reads as a selection; only the selection is marked.
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
    }

  private:
    ListBox* list_;
};

// The dates a DateTime can hold.
QDate first_date() {
    return {100, 1, 1};
}
QDate last_date() {
    return {9999, 12, 31};
}

// The long date in the program's own language, as the clock writes it: 2026年12月11日. The
// locale's long format would mix languages and, in most locales, not fit the box.
QString long_date_format() {
    return QStringLiteral("yyyy年M月d日");
}

}  // namespace

QColor to_qcolor(Rgb colour) {
    return {colour.r, colour.g, colour.b};
}

QString to_qstring(const std::string& text) {
    return QString::fromUtf8(text);
}

std::string to_utf8(const QString& text) {
    return text.toStdString();
}

QString to_display_text(const std::string& text) {
    QString shown = to_qstring(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

TopWindow::TopWindow(WindowId id, WidgetEvents& events)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), id_(id), events_(events) {
    setAutoFillBackground(true);
}

void TopWindow::closeEvent(QCloseEvent* event) {
    // The window goes only through the toolkit, so that its destroying event runs first.
    event->ignore();
    events_.close_requested(id_);
}

GradientLabel::GradientLabel(QWidget* parent) : QLabel(parent) {}

void GradientLabel::set_gradient(Rgb first, Rgb second, Rgb third) {
    colours_ = {first, second, third};
    update();
}

void GradientLabel::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0.0, to_qcolor(colours_[0]));
        gradient.setColorAt(0.5, to_qcolor(colours_[1]));
        gradient.setColorAt(1.0, to_qcolor(colours_[2]));
        painter.fillRect(rect(), gradient);
    }
    QLabel::paintEvent(event);
}

ListBox::ListBox(QWidget* parent, WidgetEvents& events) : QListWidget(parent), events_(events) {
    setItemDelegate(new RowHeightDelegate(this));
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSortingEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    verticalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] { events_.look_changed(this); });
    connect(this, &QListWidget::currentRowChanged, this, [this] { events_.look_changed(this); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { events_.look_changed(this); });
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { events_.look_changed(this); });
}

int ListBox::row_height() const {
    // Rows are the line height plus one pixel of the face the panel was drawn for: 34 + 1 at a
    // character height of 29. The window's sizing (35 pixels an entry plus the frame) rests on
    // that, so nine entries fit without a scroll bar. The CJK faces that stand in for it have a
    // taller line (about 41 pixels) with the glyphs the same size, so their extra leading is
    // dropped rather than the rows made taller.
    constexpr int kDesignedRowHeight = 35;
    return std::min(QFontMetrics(font()).height() + 1, kDesignedRowHeight);
}

void ListBox::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // The delegate's row height follows the font.
        doItemsLayout();
    }
}

void ListBox::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    events_.look_changed(this);
}

void ListBox::focusOutEvent(QFocusEvent* event) {
    QListWidget::focusOutEvent(event);
    events_.look_changed(this);
}

ShortIntBox::ShortIntBox(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignCenter);
    setFrame(false);
    // A thin single-line border; the native frame does not fit in 16 pixels.
    setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #7a7a7a; padding: 0px; }"));
}

QString ShortIntBox::normalised(const QString& text) {
    const int32_t value = std::clamp<int32_t>(text_to_int(to_utf8(text)), -32768, 32767);
    return value == 0 ? QString() : QString::number(value);
}

void ShortIntBox::keyPressEvent(QKeyEvent* event) {
    if (filtered_out(event->text())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ShortIntBox::inputMethodEvent(QInputMethodEvent* event) {
    if (filtered_out(event->commitString())) {
        QInputMethodEvent dropped;
        QLineEdit::inputMethodEvent(&dropped);
        event->accept();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void ShortIntBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The box's own context menu takes the focus only for a moment: a paste from it must land
    // before the text is rewritten.
    if (event->reason() != Qt::PopupFocusReason) {
        const QString shown = normalised(text());
        if (shown != text()) {
            setText(shown);
        }
    }
}

DateBox::DateBox(QWidget* parent) : QDateEdit(parent) {
    setCalendarPopup(true);
    setDisplayFormat(long_date_format());
    setDateRange(first_date(), last_date());
    const QDateTime now = QDateTime::currentDateTime();
    setDate(now.date());
    hour_ = now.time().hour();
    minute_ = now.time().minute();
    second_ = now.time().second();
}

DateTime DateBox::value() const {
    const QDate shown = date();
    DateParts parts;
    parts.year = shown.year();
    parts.month = shown.month();
    parts.day = shown.day();
    parts.hour = hour_;
    parts.minute = minute_;
    parts.second = second_;
    return datetime_from_parts(parts);
}

void DateBox::set_value(DateTime value) {
    const DateParts parts = datetime_parts(value);
    const QDate day(parts.year, parts.month, parts.day);
    if (!day.isValid() || day < minimumDate() || day > maximumDate()) {
        return;
    }
    setDate(day);
    hour_ = parts.hour;
    minute_ = parts.minute;
    second_ = parts.second;
}

NoteBox::NoteBox(QWidget* parent) : QPlainTextEdit(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

}  // namespace velunor::qt
