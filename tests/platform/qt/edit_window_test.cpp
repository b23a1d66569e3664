// The edit window's form: created anew on each opening, modal, its date box and time boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>

#include "display_environment.h"
#include "platform/qt/controls.h"

namespace velunor::testing {
namespace {

struct EditForm {
    ControlId id;
    Rect geometry;  // inside the parent
    std::string text;
};

const EditForm kEditForm[] = {
    {ControlId::分组框_增改, {5, 5, 211, 299}, "新增/修改"},
    {ControlId::透明标签1, {11, 19, 72, 136}, "项目名：\r\n\r\n到期时间：\r\n\r\n\r\n备注："},
    {ControlId::编辑框_项目名, {67, 19, 136, 24}, ""},
    {ControlId::日期框_到期时间, {83, 59, 120, 24}, std::string()},  // text not compared
    {ControlId::透明标签2, {75, 91, 128, 16}, "时     分     秒"},
    {ControlId::编辑框_时, {80, 91, 24, 16}, "00"},
    {ControlId::编辑框_分, {123, 91, 24, 16}, "00"},
    {ControlId::编辑框_秒, {163, 91, 24, 16}, "00"},
    {ControlId::编辑框_备注, {59, 115, 144, 136}, ""},
    {ControlId::按钮_增改_返回, {7, 259, 88, 32}, "返回"},
    {ControlId::按钮_增改_确认, {99, 259, 104, 32}, "确 认"},
    {ControlId::分组框_说明, {224, 8, 200, 200}, "说 明"},
    {ControlId::标签_说明, {16, 24, 168, 136}, "标签"},
    {ControlId::按钮_说明_退出, {40, 168, 120, 24}, "退 出"},
};

QPoint centre_in_window(ControlId id) {
    QWidget* w = widget_of(id);
    return w->mapTo(w->window(), w->rect().center());
}

// Opens the edit window from the main window's loop; `inside` runs in the edit window's loop
// and closes it when it is done.
void with_edit_window(RecordingHandler& handler, const std::function<void()>& inside) {
    QtToolkit& tk = toolkit();
    handler.created = [&](WindowId window) {
        if (window == WindowId::edit) {
            tk.post([&] {
                inside();
                tk.destroy_window(WindowId::edit);
            });
        }
    };
    run_main(handler, 0, [&] {
        tk.open_modal(WindowId::edit);
        handler.log.push_back("modal returned");
    });
}

TEST(QtEditWindow, OpensWithItsFormCentredOnTheScreenAndBlocksTheMainWindow) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    with_edit_window(handler, [&] {
        const int width = tk.primary_screen_width();
        const int height = tk.primary_screen_height();
        EXPECT_EQ(tk.window_geometry(WindowId::edit),
                  (Rect{(width - 435) / 2, (height - 315) / 2, 435, 315}));
        QWidget* window = window_of_widget(WindowId::edit);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(window->windowTitle().isEmpty());
        for (const EditForm& form : kEditForm) {
            SCOPED_TRACE(name(form.id));
            EXPECT_EQ(tk.geometry(form.id), form.geometry);
            if (form.id != ControlId::日期框_到期时间) {
                EXPECT_EQ(tk.text(form.id), form.text);
            }
        }
        // The date box starts at the current date and time, to the second.
        const QDateTime now = QDateTime::currentDateTime();
        const DateTime value = tk.date_value();
        const DateParts parts = datetime_parts(value);
        EXPECT_EQ(QDate(parts.year, parts.month, parts.day), now.date());
        EXPECT_LE(std::abs(QTime(parts.hour, parts.minute, parts.second).secsTo(now.time())), 2);

        // The main window takes no input while the edit window is open; the edit window does.
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QTest::mouseClick(window_of_widget(WindowId::main)->windowHandle(), Qt::LeftButton, {},
                          QPoint(33, 96));
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          centre_in_window(ControlId::按钮_增改_确认));
    });
    const std::vector<std::string> expected = {
        "created main",    "created edit",   "press 17 left",  "click 17",
        "destroying edit", "modal returned", "destroying main"};
    EXPECT_EQ(handler.log, expected);
}

TEST(QtEditWindow, EachOpeningStartsFromTheForm) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    int openings = 0;
    handler.created = [&](WindowId window) {
        if (window != WindowId::edit) {
            return;
        }
        ++openings;
        EXPECT_EQ(tk.text(ControlId::编辑框_项目名), "");
        EXPECT_EQ(tk.text(ControlId::编辑框_时), "00");
        EXPECT_EQ(tk.text(ControlId::分组框_增改), "新增/修改");
        EXPECT_TRUE(tk.is_visible(ControlId::分组框_说明));
        tk.set_text(ControlId::编辑框_项目名, "名字");
        tk.set_text(ControlId::编辑框_时, "12");
        tk.set_text(ControlId::分组框_增改, "新 增 项 目");
        tk.set_visible(ControlId::分组框_说明, false);
        tk.set_window_geometry(WindowId::edit, {10, 20, 221, 309});
        EXPECT_EQ(tk.window_geometry(WindowId::edit), (Rect{10, 20, 221, 309}));
        tk.destroy_window(WindowId::edit);
    };
    run_main(handler, 0, [&] {
        tk.open_modal(WindowId::edit);
        tk.open_modal(WindowId::edit);
        // Once closed, the edit window's controls answer as absent.
        EXPECT_EQ(tk.text(ControlId::编辑框_项目名), "");
        EXPECT_EQ(tk.window_geometry(WindowId::edit), Rect{});
    });
    EXPECT_EQ(openings, 2);
}

TEST(QtEditWindow, DateBoxKeepsItsHiddenTimeOfDay) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    with_edit_window(handler, [&] {
        auto* box = qobject_cast<QDateEdit*>(widget_of(ControlId::日期框_到期时间));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->calendarPopup());
        EXPECT_FALSE(box->displayFormat().contains(QStringLiteral("dddd")));

        const DateTime values[] = {make_datetime(2024, 5, 1, 18, 30, 15),
                                   make_datetime(2024, 2, 29, 0, 0, 0),
                                   make_datetime(1899, 12, 29, 6, 0, 0),  // before day 0
                                   kMissingDateTime, make_datetime(9999, 12, 31, 23, 59, 59)};
        for (const DateTime value : values) {
            SCOPED_TRACE(datetime_to_text(value));
            tk.set_date_value(value);
            EXPECT_EQ(tk.date_value(), value);
        }
        // The user picks another day: the time of day stays.
        tk.set_date_value(make_datetime(2024, 5, 1, 18, 30, 15));
        box->setDate(QDate(2025, 1, 31));
        EXPECT_EQ(tk.date_value(), make_datetime(2025, 1, 31, 18, 30, 15));
        // Disabled, it keeps its value.
        tk.set_enabled(ControlId::日期框_到期时间, false);
        EXPECT_FALSE(box->isEnabled());
        EXPECT_EQ(tk.date_value(), make_datetime(2025, 1, 31, 18, 30, 15));
    });
}

TEST(QtEditWindow, TimeBoxesTakeDigitsAndMinusAndTidyUpOnLeaving) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    with_edit_window(handler, [&] {
        auto* hour = qobject_cast<QLineEdit*>(widget_of(ControlId::编辑框_时));
        ASSERT_NE(hour, nullptr);
        EXPECT_EQ(hour->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

        hour->clear();
        QTest::keyClicks(hour, "1a2-b.3 ");
        EXPECT_EQ(tk.text(ControlId::编辑框_时), "12-3");
        QTest::keyClick(hour, Qt::Key_Backspace);
        EXPECT_EQ(tk.text(ControlId::编辑框_时), "12-");

        const std::pair<const char*, const char*> leaving[] = {
            {"00", ""},           {"0", ""},          {"", ""},       {"12abc", "12"},
            {"-5", "-5"},         {"007", "7"},       {"-", ""},      {"99999", "32767"},
            {"-99999", "-32768"}, {"32767", "32767"}, {"１２", "12"}, {"abc", ""},
        };
        for (const auto& [typed, shown] : leaving) {
            SCOPED_TRACE(typed);
            hour->setText(QString::fromUtf8(typed));  // as a paste would put it there
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(hour, &out);
            EXPECT_EQ(tk.text(ControlId::编辑框_时), shown);
        }
        // The box's own context menu takes the focus only for a moment: nothing changes yet.
        hour->setText(QStringLiteral("12abc"));
        QFocusEvent to_menu(QEvent::FocusOut, Qt::PopupFocusReason);
        QApplication::sendEvent(hour, &to_menu);
        EXPECT_EQ(tk.text(ControlId::编辑框_时), "12abc");
    });
}

TEST(QtEditWindow, NameAndNoteBoxesKeepTheirTexts) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    with_edit_window(handler, [&] {
        auto* note = qobject_cast<QPlainTextEdit*>(widget_of(ControlId::编辑框_备注));
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(note->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        tk.set_text(ControlId::编辑框_备注, "第一行\r\n第二行");
        EXPECT_EQ(note->toPlainText(), QStringLiteral("第一行\n第二行"));
        EXPECT_EQ(tk.text(ControlId::编辑框_备注), "第一行\r\n第二行");
        EXPECT_NE(qobject_cast<QLineEdit*>(widget_of(ControlId::编辑框_项目名)), nullptr);
        tk.set_text(ControlId::编辑框_项目名, "  ");
        EXPECT_EQ(tk.text(ControlId::编辑框_项目名), "  ");
        tk.set_text(ControlId::标签_说明, "欢迎使用！");
        EXPECT_EQ(tk.text(ControlId::标签_说明), "欢迎使用！");
    });
}

}  // namespace
}  // namespace velunor::testing
