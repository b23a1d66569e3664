// How the toolkit runs things: posted tasks, deferred destruction, signals, message boxes and
// popup menus.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <thread>

#include "display_environment.h"

namespace velunor::testing {
namespace {

// Calls act on the first widget of type W that becomes active (a modal box or a popup),
// polling from the event loop that shows it.
template <typename W>
void when_shown(QObject* owner, std::function<void(W*)> act) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
        QWidget* active = QApplication::activePopupWidget();
        if (active == nullptr) {
            active = QApplication::activeModalWidget();
        }
        if (auto* shown = qobject_cast<W*>(active); shown != nullptr && shown->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(shown);
        }
    });
    timer->start(20);
}

std::vector<std::string> after_created(const RecordingHandler& handler) {
    return {handler.log.begin() + 1, handler.log.end()};
}

TEST(QtToolkitPost, TasksFromAnyThreadRunOnTheWindowThreadInOrder) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    run_main(handler, 0, [&] {
        const std::thread::id window_thread = std::this_thread::get_id();
        constexpr int kPerThread = 500;
        std::vector<std::pair<int, int>> ran;
        ran.reserve(size_t{2} * kPerThread);
        bool elsewhere = false;
        std::vector<std::thread> threads;
        threads.reserve(2);
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kPerThread; ++i) {
                    tk.post([&, t, i] {
                        elsewhere = elsewhere || std::this_thread::get_id() != window_thread;
                        ran.emplace_back(t, i);
                    });
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        ASSERT_TRUE(wait_until([&] { return ran.size() == size_t{2} * kPerThread; }));
        EXPECT_FALSE(elsewhere);
        std::array<int, 2> next{};
        for (const auto& [t, i] : ran) {
            EXPECT_EQ(i, next[static_cast<size_t>(t)]++) << "thread " << t;
        }

        // process_pending_events runs what is queued before it returns.
        bool done = false;
        tk.post([&] { done = true; });
        tk.process_pending_events();
        EXPECT_TRUE(done);
    });
}

TEST(QtToolkitDestroy, TheMainWindowGoesAfterTheRunningHandlerWithItsControls) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    handler.destroying = [&](WindowId) {
        handler.log.push_back("controls still there: " + tk.text(ControlId::透明标签_time));
    };
    const int status = run_main(handler, 2, [&] {
        tk.destroy_window(WindowId::main);
        handler.log.push_back("handler goes on: " + tk.text(ControlId::透明标签_time));
    });
    EXPECT_EQ(status, 0);
    const std::vector<std::string> expected = {"created main", "handler goes on: 12:34:56",
                                               "destroying main", "controls still there: 12:34:56"};
    EXPECT_EQ(handler.log, expected);

    // Once the window has gone, calls on its controls do nothing, and late tasks are harmless.
    tk.set_text(ControlId::透明标签_time, "late");
    EXPECT_EQ(tk.list_count(), 0);
    EXPECT_EQ(tk.list_selected(), -1);
    EXPECT_EQ(tk.window_geometry(WindowId::main), Rect{});
    tk.post([&] { tk.set_text(ControlId::透明标签_日期, "late"); });
    tk.process_pending_events();
}

TEST(QtToolkitDestroy, EndingWithTheEditWindowOpenClosesItFirst) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    handler.created = [&](WindowId window) {
        if (window == WindowId::edit) {
            // As the tray menu's exit does, from inside the edit window's loop.
            tk.post([&] { tk.destroy_window(WindowId::main); });
        }
    };
    run_main(
        handler, 0,
        [&] {
            tk.open_modal(WindowId::edit);
            handler.log.push_back("modal returned");
        },
        Ending::by_itself);
    const std::vector<std::string> expected = {"created main", "created edit", "destroying edit",
                                               "modal returned", "destroying main"};
    EXPECT_EQ(handler.log, expected);
}

TEST(QtToolkitSignals, EachEndsTheProgramThroughTheMainWindowsDestruction) {
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        RecordingHandler handler;
        const int status = run_main(
            handler, 0, [&] { (void)raise(signal_number); }, Ending::by_itself);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(handler.log, (std::vector<std::string>{"created main", "destroying main"}));
        // The signal's handling is given back when the loop has ended.
        struct sigaction now = {};
        sigaction(signal_number, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL);
    }
}

TEST(QtToolkitSignals, AnOpenMessageBoxIsAnsweredCancelBeforeTheWindowGoes) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    run_main(
        handler, 0,
        [&] {
            when_shown<QMessageBox>(nullptr, [](QMessageBox*) { (void)raise(SIGTERM); });
            const bool ok = tk.message_box("是否删除？", "提醒", MessageButtons::ok_cancel);
            handler.log.push_back(ok ? "answer OK" : "answer Cancel");
            // Nothing more is asked once the program is ending.
            handler.log.push_back(tk.message_box("again?", "提醒", MessageButtons::ok_cancel)
                                      ? "asked again"
                                      : "not asked");
        },
        Ending::by_itself);
    const std::vector<std::string> expected = {"answer Cancel", "not asked", "destroying main"};
    EXPECT_EQ(after_created(handler), expected);
}

TEST(QtToolkitSignals, TheEditWindowGoesFirst) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    handler.created = [&](WindowId window) {
        if (window == WindowId::edit) {
            // The timer goes with the edit window.
            auto* timer = new QTimer(window_of_widget(WindowId::edit));
            timer->setSingleShot(true);
            QObject::connect(timer, &QTimer::timeout, [] { (void)raise(SIGTERM); });
            timer->start(50);
        }
    };
    run_main(
        handler, 0,
        [&] {
            tk.open_modal(WindowId::edit);
            handler.log.push_back("modal returned");
        },
        Ending::by_itself);
    const std::vector<std::string> expected = {"created edit", "destroying edit", "modal returned",
                                               "destroying main"};
    EXPECT_EQ(after_created(handler), expected);
}

TEST(QtToolkitMessageBox, OnlyTheOkButtonAnswersOk) {
    struct Case {
        const char* action;
        MessageButtons buttons;
        bool answer;
    };
    const Case cases[] = {{"ok", MessageButtons::ok_cancel, true},
                          {"cancel", MessageButtons::ok_cancel, false},
                          {"close", MessageButtons::ok_cancel, false},
                          {"ok", MessageButtons::ok, true},
                          {"close", MessageButtons::ok, false}};
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    run_main(handler, 0, [&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.action) +
                         (c.buttons == MessageButtons::ok ? " of OK" : " of OK+Cancel"));
            QString shown_text;
            QString shown_caption;
            int button_count = 0;
            bool owned = true;
            Qt::WindowModality modality = Qt::NonModal;
            when_shown<QMessageBox>(nullptr, [&](QMessageBox* box) {
                shown_text = box->text();
                shown_caption = box->windowTitle();
                button_count = static_cast<int>(box->buttons().size());
                owned = box->parentWidget() != nullptr;
                modality = box->windowModality();
                if (std::string(c.action) == "ok") {
                    box->button(QMessageBox::Ok)->click();
                } else if (std::string(c.action) == "cancel") {
                    box->button(QMessageBox::Cancel)->click();
                } else {
                    box->close();
                }
            });
            const bool answer = tk.message_box("项目名称：甲\r\n备注：乙", "提醒", c.buttons);
            EXPECT_EQ(answer, c.answer);
            EXPECT_EQ(shown_text, QStringLiteral("项目名称：甲\n备注：乙"));
            EXPECT_EQ(shown_caption, QStringLiteral("提醒"));
            EXPECT_EQ(button_count, c.buttons == MessageButtons::ok ? 1 : 2);
            EXPECT_FALSE(owned);
            EXPECT_EQ(modality, Qt::ApplicationModal);
        }
    });
}

TEST(QtToolkitMenu, ShowsTheVisibleEntriesAndDeliversTheChoiceAfterClosing) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    const auto shown_entries = [](QMenu* menu) {
        std::vector<std::string> texts;
        for (const QAction* action : menu->actions()) {
            if (action->isVisible()) {
                texts.push_back(action->text().toStdString());
            }
        }
        return texts;
    };
    const auto choose = [](QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            }
        }
    };
    run_main(handler, 0, [&] {
        std::vector<std::string> entries;
        QPoint at;
        tk.set_menu_entry_visible(MenuEntryId::开始倒计时, false);
        tk.set_menu_entry_visible(MenuEntryId::完成, false);
        when_shown<QMenu>(nullptr, [&](QMenu* menu) {
            entries = shown_entries(menu);
            at = menu->pos();
            choose(menu, QStringLiteral("删除"));
        });
        tk.popup_menu(MenuId::菜单_列表选项, {100, 200});
        EXPECT_EQ(entries, (std::vector<std::string>{"修改", "删除", "详情"}));
        EXPECT_EQ(at, QPoint(100, 200));
        handler.log.push_back("popup returned");
        EXPECT_TRUE(wait_until([&] { return handler.log.back() == "menu 2"; }));

        tk.set_menu_entry_visible(MenuEntryId::开始倒计时, true);
        tk.set_menu_entry_visible(MenuEntryId::完成, true);
        when_shown<QMenu>(nullptr, [&](QMenu* menu) {
            entries = shown_entries(menu);
            menu->close();  // dismissed: nothing is chosen
        });
        tk.popup_menu(MenuId::菜单_列表选项, {100, 200});
        EXPECT_EQ(entries,
                  (std::vector<std::string>{"修改", "开始倒计时", "删除", "详情", "完成"}));

        when_shown<QMenu>(nullptr, [&](QMenu* menu) {
            entries = shown_entries(menu);
            choose(menu, QStringLiteral("退出"));
        });
        tk.popup_menu(MenuId::菜单_托盘, {300, 40});
        EXPECT_EQ(entries, (std::vector<std::string>{"说明", "退出"}));
        when_shown<QMenu>(nullptr, [&](QMenu* menu) {
            entries = shown_entries(menu);
            menu->close();
        });
        tk.popup_menu(MenuId::菜单_当前目标, {300, 40});
        EXPECT_EQ(entries, (std::vector<std::string>{"新增目标"}));
        handler.log.push_back("last popup returned");
        tk.process_pending_events();
    });
    const std::vector<std::string> expected = {"popup returned", "menu 2", "menu 7",
                                               "last popup returned", "destroying main"};
    EXPECT_EQ(after_created(handler), expected);
}

TEST(QtToolkitTray, AnIconThatCannotBeReadIsLeftOutQuietly) {
    RecordingHandler handler;
    QtToolkit& tk = toolkit();
    const int status = run_main(handler, 0, [&] {
        const unsigned char not_an_icon[] = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'c', 'o'};
        tk.create_tray_icon(not_an_icon, "Kobu");
        tk.create_tray_icon({}, "Kobu");
    });
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace velunor::testing
