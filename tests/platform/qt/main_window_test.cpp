// The main window as the program sets it up: its controls, the list box, presses, and the
// colour key that cuts its background out.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>
#include <algorithm>

#include "display_environment.h"
#include "platform/qt/colour_key.h"
#include "platform/qt/controls.h"

namespace velunor::testing {
namespace {

constexpr QRgb kKey = 0xffffa8ffU;

struct LabelForm {
    std::string text;  // after the program's set-up
    Rect geometry;
    ControlId id;
    int pixel_size;  // 0: the platform's default font
    Qt::Alignment alignment;
    bool bold;
    bool visible;
};

const LabelForm kMainLabels[] = {
    {"12:34:56", {0, 0, 300, 112}, ControlId::透明标签_time, 56, Qt::AlignCenter, true, true},
    {"2024年5月1日 星期三",
     {144, 80, 152, 32},
     ControlId::透明标签_日期,
     14,
     Qt::AlignRight | Qt::AlignVCenter,
     false,
     true},
    {"",
     {16, 8, 144, 24},
     ControlId::透明标签_差大值,
     14,
     Qt::AlignLeft | Qt::AlignVCenter,
     false,
     true},
    {"停止", {264, 8, 24, 24}, ControlId::透明标签_停止, 14, Qt::AlignCenter, false, false},
    {"当前目标", {8, 88, 50, 16}, ControlId::标签_当前目标, 0, Qt::AlignCenter, false, true},
    {"已完成记录", {64, 88, 65, 16}, ControlId::标签_完成记录, 0, Qt::AlignCenter, false, true},
};

// True when the window's shape holds exactly its drawn pixels that are not the key. The shape
// is painted into an image so that each pixel is compared on its own.
bool shape_is_exact(QWidget* window) {
    const QImage drawn = render_unmasked(window);
    QImage shape(window->size(), QImage::Format_RGB32);
    shape.fill(Qt::black);
    {
        QPainter painter(&shape);
        painter.setClipRegion(window->windowHandle()->mask());
        painter.fillRect(shape.rect(), Qt::white);
    }
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const bool keyed = (drawn.pixel(x, y) | 0xff000000U) == kKey;
            const bool shown = shape.pixel(x, y) == 0xffffffffU;
            if (keyed == shown) {
                return false;
            }
        }
    }
    return true;
}

// A point of the control that the window draws (a click on a keyed pixel goes through the
// window); waits for the window's shape to include the control first.
QPoint drawn_point(ControlId id) {
    QWidget* control = widget_of(id);
    QWidget* window = control->window();
    const QRect area(control->mapTo(window, QPoint(0, 0)), control->size());
    QPoint found(-1, -1);
    wait_until([&] {
        for (int y = area.top(); y <= area.bottom() && found.x() < 0; ++y) {
            for (int x = area.left(); x <= area.right() && found.x() < 0; ++x) {
                if (window->windowHandle()->mask().contains(QPoint(x, y)) &&
                    window->childAt(x, y) == control) {
                    found = {x, y};
                }
            }
        }
        return found.x() >= 0;
    });
    return found;
}

TEST(QtMainWindow, StartsWithTheFormsControlsAtTheProgramsPlace) {
    for (const int items : {0, 3, 9, 12}) {
        SCOPED_TRACE(items);
        RecordingHandler handler;
        QtToolkit& tk = toolkit();
        const int status = run_main(handler, items, [&] {
            const int list_height = items == 0 ? 0 : items >= 10 ? 325 : 35 * items + 25;
            const Rect placed{tk.primary_screen_width() - 300, 0, 300, 112 + list_height};
            EXPECT_EQ(tk.window_geometry(WindowId::main), placed);
            QWidget* window = window_of_widget(WindowId::main);
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(window->isVisible());
            EXPECT_EQ(window->geometry(), QRect(placed.left, 0, 300, placed.height));
            EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
            EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            EXPECT_EQ(window->windowTitle(), QStringLiteral("Velunorv0.7"));
            EXPECT_NEAR(window->windowOpacity(), 150.0 / 255.0, 0.01);

            for (const LabelForm& form : kMainLabels) {
                SCOPED_TRACE(name(form.id));
                EXPECT_EQ(tk.geometry(form.id), form.geometry);
                EXPECT_EQ(tk.text(form.id), form.text);
                EXPECT_EQ(tk.is_visible(form.id), form.visible);
                auto* label = qobject_cast<QLabel*>(widget_of(form.id));
                ASSERT_NE(label, nullptr);
                EXPECT_EQ(label->text(), QString::fromStdString(form.text));
                EXPECT_EQ(label->alignment(), form.alignment);
                EXPECT_FALSE(label->wordWrap());
                if (form.pixel_size != 0) {
                    const QFontInfo font(label->font());
                    EXPECT_EQ(font.pixelSize(), form.pixel_size);
                    EXPECT_EQ(font.bold(), form.bold);
                    EXPECT_TRUE(font.family().contains(QStringLiteral("CJK")))
                        << font.family().toStdString();
                }
            }
            // The tabs: plain grey backgrounds, white text on the shown list's tab.
            auto* pending = dynamic_cast<qt::GradientLabel*>(widget_of(ControlId::标签_当前目标));
            auto* completed = dynamic_cast<qt::GradientLabel*>(widget_of(ControlId::标签_完成记录));
            ASSERT_TRUE(pending != nullptr && completed != nullptr);
            EXPECT_EQ(pending->gradient(), (std::array<Rgb, 3>{kGrey, kGrey, kGrey}));
            EXPECT_EQ(completed->gradient(), (std::array<Rgb, 3>{kGrey, kGrey, kGrey}));
            EXPECT_EQ(pending->palette().color(QPalette::WindowText), QColor(Qt::white));
            EXPECT_EQ(completed->palette().color(QPalette::WindowText), QColor(Qt::black));

            // The list box: no frame, a scroll bar only when the entries do not fit.
            auto* list = qobject_cast<QListWidget*>(widget_of(ControlId::列表框_记录));
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(tk.is_visible(ControlId::列表框_记录), items > 0);
            EXPECT_EQ(tk.geometry(ControlId::列表框_记录), (Rect{0, 112, 300, list_height}));
            EXPECT_EQ(tk.list_count(), items);
            EXPECT_EQ(tk.list_selected(), -1);
            EXPECT_EQ(list->frameShape(), QFrame::NoFrame);
            EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            const QFontInfo list_font(list->font());
            EXPECT_EQ(list_font.pixelSize(), 29);
            EXPECT_TRUE(list_font.bold());
            if (items > 0) {
                // Rows keep the panel's designed 35 pixels, so up to nine entries fit.
                const int row = 35;
                EXPECT_EQ(list->visualItemRect(list->item(0)).height(), row);
                EXPECT_EQ(list->verticalScrollBar()->isVisible(), items * row > list_height);
                EXPECT_EQ(list->palette().color(QPalette::Base), QColor(255, 168, 255));
                EXPECT_EQ(list->palette().color(QPalette::Text), QColor(Qt::white));
            }
        });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(handler.log.front(), "created main");
        EXPECT_EQ(handler.log.back(), "destroying main");
    }
}

TEST(QtMainWindow, ListBoxKeepsEntriesAndOnlyALeftPressSelects) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    run_main(handler, 3, [&] {
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(tk.list_text(i), "项目" + std::to_string(i + 1));
            EXPECT_EQ(tk.list_value(i), i + 1);
        }
        for (const int32_t outside : {-1, 3, 1000}) {
            EXPECT_EQ(tk.list_text(outside), "");
            EXPECT_EQ(tk.list_value(outside), -1);
        }
        auto* list = qobject_cast<QListWidget*>(widget_of(ControlId::列表框_记录));
        ASSERT_NE(list, nullptr);
        QWindow* window = window_of_widget(WindowId::main)->windowHandle();
        // A point of a row's text: the rest of the row is the key colour, which clicks go through.
        const auto row_text = [&](int row) {
            const QRect rect = list->visualItemRect(list->item(row));
            QWidget* top = list->window();
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    const QPoint p = list->viewport()->mapTo(top, QPoint(x, y));
                    if (top->windowHandle()->mask().contains(p)) {
                        return p;
                    }
                }
            }
            return QPoint(-1, -1);
        };
        ASSERT_TRUE(wait_until([&] { return row_text(2).x() >= 0; }));
        QTest::mouseClick(window, Qt::LeftButton, {}, row_text(1));
        EXPECT_EQ(tk.list_selected(), 1);
        // The right press is reported, and the selection stays where the left press put it.
        QTest::mouseClick(window, Qt::RightButton, {}, row_text(2));
        EXPECT_EQ(tk.list_selected(), 1);
        const std::vector<std::string> presses(handler.log.begin() + 1, handler.log.end());
        EXPECT_EQ(presses, (std::vector<std::string>{"press 6 left", "press 6 right"}));

        tk.list_clear();
        EXPECT_EQ(tk.list_selected(), -1);
        EXPECT_EQ(tk.list_count(), 0);
        tk.list_add("", 7);  // an empty name is an entry like any other
        EXPECT_EQ(tk.list_count(), 1);
        EXPECT_EQ(tk.list_text(0), "");
        EXPECT_EQ(tk.list_value(0), 7);
    });
}

TEST(QtMainWindow, EachPressIsReportedOnceForThePressedControl) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    run_main(handler, 0, [&] {
        tk.set_visible(ControlId::透明标签_停止, true);
        QWindow* window = window_of_widget(WindowId::main)->windowHandle();
        QTest::mouseClick(window, Qt::LeftButton, {}, drawn_point(ControlId::标签_当前目标));
        QTest::mouseClick(window, Qt::RightButton, {}, drawn_point(ControlId::标签_完成记录));
        QTest::mouseClick(window, Qt::LeftButton, {}, drawn_point(ControlId::透明标签_停止));
        const QPoint time = drawn_point(ControlId::透明标签_time);
        QTest::mouseClick(window, Qt::LeftButton, {}, time);
        QTest::mouseClick(window, Qt::MiddleButton, {}, time);  // not reported
    });
    const std::vector<std::string> expected = {"created main", "press 4 left", "press 5 right",
                                               "press 3 left", "press 0 left", "destroying main"};
    EXPECT_EQ(handler.log, expected);
}

TEST(QtMainWindow, KeyColouredPixelsAreCutOutAndTheShapeFollowsChanges) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    run_main(handler, 2, [&] {
        QWidget* window = window_of_widget(WindowId::main);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        const auto shape_is_right = [&] { return shape_is_exact(window); };
        EXPECT_TRUE(shape_is_right());
        EXPECT_FALSE(window->windowHandle()->mask().contains(QPoint(2, 2)));  // background
        EXPECT_FALSE(window->windowHandle()->mask().isEmpty());

        // Text over the key colour has no blended edge pixels: the time label holds only the
        // key and the text colour.
        const QImage drawn = render_unmasked(window);
        QPoint text_pixel(-1, -1);
        for (int y = 0; y < 112; ++y) {
            for (int x = 0; x < 300; ++x) {
                const QRgb pixel = drawn.pixel(x, y) | 0xff000000U;
                if (QRect(8, 88, 121, 16).contains(x, y)) {
                    continue;  // the tabs draw on their own grey
                }
                ASSERT_TRUE(pixel == kKey || pixel == 0xffffffffU)
                    << "pixel " << x << "," << y << " is " << std::hex << pixel;
                if (pixel == 0xffffffffU && text_pixel.x() < 0) {
                    text_pixel = {x, y};
                }
            }
        }
        ASSERT_GE(text_pixel.x(), 0);

        // On the screen, a key pixel shows what lies beneath and a text pixel shows the text.
        const QPoint origin = window->geometry().topLeft();
        EXPECT_TRUE(wait_until([&] {
            const QImage screen = QGuiApplication::primaryScreen()
                                      ->grabWindow(0, origin.x(), origin.y(), 300, 112)
                                      .toImage();
            return (screen.pixel(2, 2) | 0xff000000U) != kKey &&
                   (screen.pixel(text_pixel) | 0xff000000U) == 0xffffffffU;
        }));

        // Through the X server: a click on a keyed pixel reaches what lies beneath, a click on
        // the text reaches the window.
        const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (!xdotool.isEmpty()) {
            const auto click_at = [&](QPoint p) {
                QProcess::execute(xdotool, {QStringLiteral("mousemove"), QString::number(p.x()),
                                            QString::number(p.y()), QStringLiteral("click"),
                                            QStringLiteral("1")});
            };
            const size_t before = handler.log.size();
            click_at(origin + QPoint(2, 2));
            click_at(origin + text_pixel);
            EXPECT_TRUE(wait_until([&] { return handler.log.size() > before; }));
            QTest::qWait(100);
            EXPECT_EQ(std::vector<std::string>(handler.log.begin() + static_cast<long>(before),
                                               handler.log.end()),
                      std::vector<std::string>{"press 0 left"});
        }

        // New texts, new entries, a selection and a new size all reshape the window.
        tk.set_text(ControlId::透明标签_time, "88:88:88");
        tk.set_text(ControlId::透明标签_差大值, "1年2月3天");
        EXPECT_TRUE(wait_until(shape_is_right));
        tk.list_add("项目3", 3);
        tk.set_geometry(ControlId::列表框_记录, {0, 112, 300, 130});
        tk.set_window_geometry(WindowId::main, {origin.x(), 0, 300, 242});
        EXPECT_TRUE(wait_until([&] {
            return shape_is_right() &&
                   window->windowHandle()->mask().boundingRect().bottom() > 112 + 95;
        }));
        auto* list = qobject_cast<QListWidget*>(widget_of(ControlId::列表框_记录));
        list->setCurrentRow(2);
        EXPECT_TRUE(wait_until(shape_is_right));
        tk.set_visible(ControlId::列表框_记录, false);
        tk.set_window_geometry(WindowId::main, {origin.x(), 0, 300, 112});
        EXPECT_TRUE(wait_until([&] {
            return shape_is_right() &&
                   window->windowHandle()->mask().boundingRect().bottom() <= 111;
        }));

        // A window with nothing but the key shows nothing at all (an empty shape would mean
        // "unshaped" to X and show it whole).
        for (ControlId id :
             {ControlId::透明标签_time, ControlId::透明标签_日期, ControlId::透明标签_差大值,
              ControlId::标签_当前目标, ControlId::标签_完成记录}) {
            tk.set_visible(id, false);
        }
        EXPECT_TRUE(wait_until([&] {
            return !window->windowHandle()->mask().isEmpty() &&
                   !window->windowHandle()->mask().intersects(QRegion(window->rect()));
        }));
    });
}

}  // namespace
}  // namespace velunor::testing
