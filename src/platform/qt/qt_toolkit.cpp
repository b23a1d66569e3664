#include "platform/qt/qt_toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/qt/colour_key.h"
#include "platform/qt/controls.h"
#include "platform/qt/first_frame.h"
#include "platform/qt/fontconfig_warm_up.h"
#include "platform/qt/forms.h"
#include "platform/qt/ico_image.h"
#include "platform/qt/signal_wake.h"

namespace velunor {

namespace {

using qt::ControlWidgets;
using qt::to_display_text;
using qt::to_qcolor;
using qt::to_qstring;
using qt::to_utf8;

// A task for the window thread, carried as an event so that it keeps its place among the
// other events queued for the thread.
constexpr auto kTaskEvent = static_cast<QEvent::Type>(QEvent::User + 1);

class TaskEvent final : public QEvent {
  public:
    explicit TaskEvent(std::function<void()> task) : QEvent(kTaskEvent), task_(std::move(task)) {}
    void run() const { task_(); }

  private:
    std::function<void()> task_;
};

// Runs the task in the receiver's thread once its event loop gets to it; callable from any
// thread. Qt deletes the event once it has been delivered.
void queue_on(QObject* receiver, std::function<void()> task) {
    QCoreApplication::postEvent(receiver, new TaskEvent(std::move(task)));
}

template <typename E>
size_t index_of(E e) {
    return static_cast<size_t>(e);
}

constexpr size_t kMain = 0;
constexpr size_t kEdit = 1;

size_t index_of(WindowId id) {
    return id == WindowId::main ? kMain : kEdit;
}

// Wayland does not let a client place its own windows; the panel must sit at the screen's
// corner, so the program runs through XWayland unless the user chose a platform.
void prefer_x11_under_wayland() {
    // Runs before the application object exists and before any thread is started.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    if (std::getenv("WAYLAND_DISPLAY") != nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe)
        setenv("QT_QPA_PLATFORM", "xcb", 0);
    }
}

struct MenuEntryText {
    MenuEntryId id;
    const char* text;
};

constexpr MenuEntryText kListMenu[] = {{MenuEntryId::修改, "修改"},
                                       {MenuEntryId::开始倒计时, "开始倒计时"},
                                       {MenuEntryId::删除, "删除"},
                                       {MenuEntryId::详情, "详情"},
                                       {MenuEntryId::完成, "完成"}};
constexpr MenuEntryText kTabMenu[] = {{MenuEntryId::新增目标, "新增目标"}};
constexpr MenuEntryText kTrayMenu[] = {{MenuEntryId::说明, "说明"}, {MenuEntryId::退出, "退出"}};

std::optional<int> tray_code(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return kTrayLeftRelease;
        case QSystemTrayIcon::DoubleClick:
            return kTrayDoubleClick;
        case QSystemTrayIcon::Context:
            return kTrayContextMenu;
        default:
            return std::nullopt;
    }
}

}  // namespace

struct QtToolkit::Impl final : qt::WidgetEvents {
    Impl(int& argc, char** argv);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // ---- windows ----
    QWidget* window(WindowId id) const { return windows[index_of(id)]; }
    QWidget* widget(ControlId id) const { return widgets[index_of(id)]; }
    void create_main_window();
    void destroy_main_now();
    void destroy_edit_now();
    void forget_controls(WindowId id);
    bool shutting_down() const {
        return destroy_pending[kMain] || window(WindowId::main) == nullptr;
    }

    // ---- deferred work ----
    // Window destruction waits until no handler of a deeper loop is running: a window goes at
    // the loop level it was opened at (the main loop for the main window, the modal loop for
    // the edit window).
    void request_destroy(WindowId id);
    void queue_deferred();
    void run_deferred();
    void enter_nested() { ++nesting; }
    void leave_nested();
    void close_popups();

    // ---- events ----
    void close_requested(WindowId id) override { request_destroy(id); }
    void look_changed(QWidget* control) override { reshape(control); }
    void control_pressed(ControlId id, MouseButton button);
    void button_clicked(ControlId id);
    void tray_activated(QSystemTrayIcon::ActivationReason reason);
    void signal_arrived();
    // Follows the primary screen's geometry, and whichever screen is the primary one.
    void watch_primary_screen(QScreen* screen);
    void screen_changed();

    // ---- transparency ----
    // The control's look has changed at its current place.
    void reshape(QWidget* control);
    void set_antialiasing(WindowId id, bool on);

    QListWidget* list() const { return qobject_cast<QListWidget*>(widget(ControlId::列表框_记录)); }

    // ---- menus ----
    void build_menus();
    void deliver_menu_entry(MenuEntryId entry);

    // Starts before the application object, so that the two load side by side.
    qt::FontconfigWarmUp fontconfig;
    std::unique_ptr<QApplication> app;
    EventHandler* handler = nullptr;

    std::array<QPointer<QWidget>, 2> windows{};
    ControlWidgets widgets{};
    // Texts of the controls that only show a text (labels, group boxes, buttons), as written.
    std::array<std::string, kControlCount> texts{};
    std::array<std::unique_ptr<qt::ColourKeyShape>, 2> shapes{};

    std::array<std::unique_ptr<QMenu>, 3> menus{};
    std::array<QAction*, kMenuEntryCount> actions{};
    std::array<bool, kMenuEntryCount> entry_visible{};
    std::unique_ptr<QSystemTrayIcon> tray;

    std::unique_ptr<QObject> router;  // receives posted tasks and filters control events

    // Posting from other threads.
    std::mutex post_mutex;
    QObject* post_target = nullptr;

    // Nested event loops run by message boxes, menus, the modal edit window and
    // process_pending_events; the depth at which the edit window's loop runs.
    int nesting = 0;
    int edit_depth = -1;
    QEventLoop* edit_loop = nullptr;
    std::vector<QPointer<QWidget>> popups;  // open message boxes and menus, innermost last
    std::array<bool, 2> destroy_pending{};
    bool deferred_queued = false;
    bool in_main_loop = false;

    QMetaObject::Connection primary_geometry_watch;
    bool screen_change_queued = false;

    qt::SignalWake signal_wake;
    std::unique_ptr<QSocketNotifier> signal_notifier;
};

namespace {

// Mouse presses on any named control arrive here, before the control itself acts on them.
class Router final : public QObject {
  public:
    using PressHandler = std::function<void(ControlId, MouseButton)>;
    explicit Router(PressHandler pressed) : pressed_(std::move(pressed)) {}

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    PressHandler pressed_;
};

bool Router::event(QEvent* event) {
    if (event->type() == kTaskEvent) {
        static_cast<const TaskEvent*>(event)->run();
        return true;
    }
    return QObject::event(event);
}

bool Router::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick) {
        return QObject::eventFilter(watched, event);
    }
    const QVariant property = watched->property(qt::kControlProperty);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (!property.isValid() ||
        (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton)) {
        return QObject::eventFilter(watched, event);
    }
    const auto id = static_cast<ControlId>(property.toInt());
    const MouseButton button =
        mouse->button() == Qt::LeftButton ? MouseButton::left : MouseButton::right;
    pressed_(id, button);
    // A right press on the list box does not select the entry under the pointer: the list's
    // menu works on the entry selected before.
    if (id == ControlId::列表框_记录) {
        return button == MouseButton::right;
    }
    // Labels and group boxes ignore presses, and Qt would hand the press on to the control
    // beneath: it is reported once, for the control that was pressed.
    return qobject_cast<QLabel*>(watched) != nullptr ||
           qobject_cast<QGroupBox*>(watched) != nullptr;
}

}  // namespace

QtToolkit::Impl::Impl(int& argc, char** argv) {
    prefer_x11_under_wayland();
    app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    router = std::make_unique<Router>(
        [this](ControlId id, MouseButton button) { control_pressed(id, button); });
    {
        std::lock_guard lock(post_mutex);
        post_target = router.get();
    }
    entry_visible.fill(true);
    if (signal_wake.read_fd() >= 0) {
        signal_notifier =
            std::make_unique<QSocketNotifier>(signal_wake.read_fd(), QSocketNotifier::Read);
        QObject::connect(signal_notifier.get(), &QSocketNotifier::activated, router.get(),
                         [this] { signal_arrived(); });
    }
    QObject::connect(app.get(), &QGuiApplication::primaryScreenChanged, router.get(),
                     [this](QScreen* screen) {
                         watch_primary_screen(screen);
                         screen_changed();
                     });
    watch_primary_screen(QGuiApplication::primaryScreen());
    // The desktop session is ending: the lists are saved as on every other way out.
    QObject::connect(app.get(), &QGuiApplication::commitDataRequest, router.get(), [this] {
        request_destroy(WindowId::main);
        if (nesting == 0) {
            run_deferred();
        }
    });
}

QtToolkit::Impl::~Impl() {
    {
        std::lock_guard lock(post_mutex);
        post_target = nullptr;
    }
    signal_wake.restore();
    signal_notifier.reset();
    tray.reset();
    shapes = {};
    delete windows[kEdit];
    delete windows[kMain];
    menus = {};
    router.reset();
    app.reset();
}

void QtToolkit::Impl::build_menus() {
    const std::span<const MenuEntryText> entries[] = {kListMenu, kTabMenu, kTrayMenu};
    for (size_t m = 0; m < menus.size(); ++m) {
        menus[m] = std::make_unique<QMenu>();
        for (const auto& entry : entries[m]) {
            QAction* action = menus[m]->addAction(to_qstring(entry.text));
            action->setData(static_cast<int>(entry.id));
            action->setVisible(entry_visible[index_of(entry.id)]);
            actions[index_of(entry.id)] = action;
        }
    }
}

void QtToolkit::Impl::create_main_window() {
    windows[kMain] = qt::build_main_window(*this, widgets);
    for (size_t i = 0; i < widgets.size(); ++i) {
        if (widgets[i] != nullptr && window_of(static_cast<ControlId>(i)) == WindowId::main) {
            texts[i] = qt::form_text(static_cast<ControlId>(i));
        }
    }
    for (QWidget* w : windows[kMain]->findChildren<QWidget*>()) {
        if (w->property(qt::kControlProperty).isValid()) {
            w->installEventFilter(router.get());
        }
    }
    build_menus();
}

void QtToolkit::Impl::forget_controls(WindowId id) {
    for (size_t i = 0; i < widgets.size(); ++i) {
        if (window_of(static_cast<ControlId>(i)) == id) {
            widgets[i] = nullptr;
        }
    }
}

void QtToolkit::Impl::destroy_edit_now() {
    destroy_pending[kEdit] = false;
    QWidget* w = windows[kEdit];
    if (w == nullptr) {
        return;
    }
    if (handler != nullptr) {
        handler->on_window_destroying(WindowId::edit);
    }
    shapes[kEdit].reset();
    forget_controls(WindowId::edit);
    windows[kEdit] = nullptr;
    w->hide();
    delete w;
    if (edit_loop != nullptr) {
        edit_loop->quit();
    }
}

void QtToolkit::Impl::destroy_main_now() {
    destroy_pending[kMain] = false;
    QWidget* w = windows[kMain];
    if (w == nullptr) {
        return;
    }
    if (handler != nullptr) {
        handler->on_window_destroying(WindowId::main);
    }
    tray.reset();
    for (auto& menu : menus) {
        if (menu != nullptr) {
            menu->close();
        }
    }
    shapes[kMain].reset();
    forget_controls(WindowId::main);
    windows[kMain] = nullptr;
    w->hide();
    delete w;
    if (in_main_loop) {
        QCoreApplication::exit(0);
    }
}

void QtToolkit::Impl::request_destroy(WindowId id) {
    if (window(id) == nullptr) {
        return;
    }
    destroy_pending[index_of(id)] = true;
    queue_deferred();
}

void QtToolkit::Impl::queue_deferred() {
    if (deferred_queued) {
        return;
    }
    deferred_queued = true;
    queue_on(router.get(), [this] { run_deferred(); });
}

void QtToolkit::Impl::close_popups() {
    // Copied: closing a popup ends its loop only once control returns to it.
    const auto open = popups;
    for (const auto& popup : open) {
        if (auto* dialog = qobject_cast<QDialog*>(popup.data())) {
            dialog->reject();
        } else if (popup != nullptr) {
            popup->close();
        }
    }
}

void QtToolkit::Impl::run_deferred() {
    deferred_queued = false;
    if (destroy_pending[kMain]) {
        // Ending the program: the edit window goes first, and message boxes and menus still
        // open are closed as the user's Cancel, so that the handlers waiting on them finish
        // before the main window's destruction saves.
        if (windows[kEdit] != nullptr) {
            destroy_pending[kEdit] = true;
        }
        close_popups();
    }
    if (destroy_pending[kEdit]) {
        if (windows[kEdit] == nullptr) {
            destroy_pending[kEdit] = false;
        } else if (nesting <= edit_depth) {
            destroy_edit_now();
        }
    }
    if (destroy_pending[kMain] && windows[kEdit] == nullptr && nesting == 0) {
        destroy_main_now();
    }
    // Whatever still waits runs when the nested loop in the way ends (leave_nested).
}

void QtToolkit::Impl::leave_nested() {
    --nesting;
    if (destroy_pending[kMain] || destroy_pending[kEdit]) {
        queue_deferred();
    }
}

void QtToolkit::Impl::control_pressed(ControlId id, MouseButton button) {
    if (handler != nullptr && !shutting_down()) {
        handler->on_mouse_press(id, button);
    }
}

void QtToolkit::Impl::button_clicked(ControlId id) {
    if (handler != nullptr && !shutting_down()) {
        handler->on_button_click(id);
    }
}

void QtToolkit::Impl::tray_activated(QSystemTrayIcon::ActivationReason reason) {
    const std::optional<int> code = tray_code(reason);
    if (code && handler != nullptr && !shutting_down()) {
        handler->on_tray_event(*code);
    }
}

void QtToolkit::Impl::signal_arrived() {
    if (signal_wake.drain()) {
        request_destroy(WindowId::main);
    }
}

void QtToolkit::Impl::watch_primary_screen(QScreen* screen) {
    QObject::disconnect(primary_geometry_watch);
    if (screen != nullptr) {
        primary_geometry_watch = QObject::connect(screen, &QScreen::geometryChanged, router.get(),
                                                  [this] { screen_changed(); });
    }
}

void QtToolkit::Impl::screen_changed() {
    // One report for a burst of changes (a new primary screen often changes size too), made once
    // Qt has taken in all of them.
    if (screen_change_queued) {
        return;
    }
    screen_change_queued = true;
    queue_on(router.get(), [this] {
        screen_change_queued = false;
        if (handler != nullptr && window(WindowId::main) != nullptr && !shutting_down()) {
            handler->on_screen_changed();
        }
    });
}

void QtToolkit::Impl::deliver_menu_entry(MenuEntryId entry) {
    queue_on(router.get(), [this, entry] {
        if (handler != nullptr && !shutting_down()) {
            handler->on_menu_entry(entry);
        }
    });
}

void QtToolkit::Impl::reshape(QWidget* control) {
    if (control == nullptr) {
        return;
    }
    QWidget* top = control->window();
    for (size_t i = 0; i < windows.size(); ++i) {
        if (windows[i] == top && shapes[i] != nullptr) {
            shapes[i]->invalidate(QRect(control->mapTo(top, QPoint(0, 0)), control->size()));
        }
    }
}

void QtToolkit::Impl::set_antialiasing(WindowId id, bool on) {
    // Text drawn over the key colour is drawn without anti-aliasing: blended edge pixels would
    // be neither the key nor the text's colour and would stay as a pink fringe.
    for (size_t i = 0; i < widgets.size(); ++i) {
        QWidget* w = widgets[i];
        if (w == nullptr || window_of(static_cast<ControlId>(i)) != id) {
            continue;
        }
        const bool over_background =
            (dynamic_cast<QLabel*>(w) != nullptr &&
             dynamic_cast<qt::GradientLabel*>(w) == nullptr && !w->autoFillBackground()) ||
            dynamic_cast<qt::ListBox*>(w) != nullptr;
        if (!over_background) {
            continue;
        }
        QFont font = w->font();
        const auto kept = font.styleStrategy() & ~(QFont::NoAntialias | QFont::PreferAntialias);
        font.setStyleStrategy(
            static_cast<QFont::StyleStrategy>(on ? kept : (kept | QFont::NoAntialias)));
        w->setFont(font);
    }
}

// ---------------------------------------------------------------------------------------------

QtToolkit::QtToolkit(int& argc, char** argv) : impl_(std::make_unique<Impl>(argc, argv)) {}

QtToolkit::~QtToolkit() = default;

int QtToolkit::run_main_window() {
    Impl& d = *impl_;
    if (d.windows[kMain] != nullptr) {
        return 0;
    }
    d.destroy_pending = {};
    d.fontconfig.wait();
    d.create_main_window();
    d.signal_wake.install();
    if (d.handler != nullptr) {
        d.handler->on_window_created(WindowId::main);
    }
    if (QWidget* main = d.windows[kMain]; main != nullptr && !d.destroy_pending[kMain]) {
        if (d.shapes[kMain] != nullptr) {
            // The first frame on screen is already keyed.
            d.shapes[kMain]->update_now();
        }
        main->show();
    }
    if (d.windows[kMain] != nullptr) {
        d.in_main_loop = true;
        QApplication::exec();
        d.in_main_loop = false;
    }
    // The loop was ended from outside (the session manager, for one): the window goes the same
    // way as on every other way out.
    if (d.windows[kMain] != nullptr) {
        d.close_popups();
        d.destroy_edit_now();
        d.destroy_main_now();
    }
    d.signal_wake.restore();
    d.menus = {};
    d.actions = {};
    return 0;
}

void QtToolkit::set_event_handler(EventHandler* handler) {
    impl_->handler = handler;
}

void QtToolkit::set_caption(WindowId window, const std::string& caption) {
    if (QWidget* w = impl_->window(window)) {
        w->setWindowTitle(to_qstring(caption));
    }
}

Rect QtToolkit::window_geometry(WindowId window) const {
    const QWidget* w = impl_->window(window);
    if (w == nullptr) {
        return {};
    }
    const QRect g = w->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void QtToolkit::set_window_geometry(WindowId window, const Rect& rect) {
    QWidget* w = impl_->window(window);
    if (w == nullptr) {
        return;
    }
    const QSize size(std::max(rect.width, 0), std::max(rect.height, 0));
    const bool resized = w->size() != size;
    w->setGeometry(rect.left, rect.top, size.width(), size.height());
    if (auto* shape = impl_->shapes[index_of(window)].get(); shape != nullptr && resized) {
        shape->invalidate_all();
    }
}

void QtToolkit::set_window_background(WindowId window, Rgb colour) {
    if (QWidget* w = impl_->window(window)) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, to_qcolor(colour));
        w->setPalette(palette);
        if (auto* shape = impl_->shapes[index_of(window)].get()) {
            shape->invalidate_all();
        }
    }
}

void QtToolkit::open_modal(WindowId window) {
    Impl& d = *impl_;
    if (window != WindowId::edit || d.windows[kEdit] != nullptr || d.shutting_down()) {
        return;
    }
    auto* w = qt::build_edit_window(d, d.widgets);
    d.windows[kEdit] = w;
    for (size_t i = 0; i < d.widgets.size(); ++i) {
        if (d.widgets[i] != nullptr && window_of(static_cast<ControlId>(i)) == WindowId::edit) {
            d.texts[i] = qt::form_text(static_cast<ControlId>(i));
        }
    }
    for (QWidget* child : w->findChildren<QWidget*>()) {
        if (child->property(qt::kControlProperty).isValid()) {
            child->installEventFilter(d.router.get());
        }
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            const auto id = static_cast<ControlId>(button->property(qt::kControlProperty).toInt());
            QObject::connect(button, &QAbstractButton::clicked, d.router.get(),
                             [&d, id] { d.button_clicked(id); });
        }
    }
    const Rect screen = primary_screen_geometry();
    const int left = screen.left + (screen.width - qt::kEditFormWidth) / 2;
    const int top = screen.top + (screen.height - qt::kEditFormHeight) / 2;
    w->setGeometry(left, top, qt::kEditFormWidth, qt::kEditFormHeight);
    // Modal to the main window alone: the tray icon keeps working, so that "exit" from its menu
    // can end the program while the edit window is open.
    w->setParent(d.windows[kMain], w->windowFlags());
    w->setWindowModality(Qt::WindowModal);

    QEventLoop loop;
    d.enter_nested();
    d.edit_depth = d.nesting;
    d.edit_loop = &loop;
    if (d.handler != nullptr) {
        d.handler->on_window_created(WindowId::edit);
    }
    if (d.windows[kEdit] != nullptr) {
        if (!d.destroy_pending[kEdit]) {
            w->show();
            w->activateWindow();
        }
        loop.exec();
    }
    // The loop can also end because the whole application was told to quit.
    if (d.windows[kEdit] != nullptr) {
        d.destroy_edit_now();
    }
    d.edit_loop = nullptr;
    d.edit_depth = -1;
    d.leave_nested();
}

void QtToolkit::destroy_window(WindowId window) {
    impl_->request_destroy(window);
}

void QtToolkit::apply_window_transparency(WindowId window, int alpha, bool use_alpha,
                                          Rgb key_colour, bool use_key, bool click_through) {
    Impl& d = *impl_;
    QWidget* w = d.window(window);
    if (w == nullptr) {
        return;
    }
    w->setWindowOpacity(use_alpha ? std::clamp(alpha, 0, 255) / 255.0 : 1.0);
    if (w->testAttribute(Qt::WA_WState_Created) || w->isVisible()) {
        const bool visible = w->isVisible();
        w->setWindowFlag(Qt::WindowTransparentForInput, click_through);
        if (visible) {
            w->show();
        }
    } else {
        w->setWindowFlag(Qt::WindowTransparentForInput, click_through);
    }
    auto& shape = d.shapes[index_of(window)];
    shape.reset();
    d.set_antialiasing(window, !use_key);
    if (use_key) {
        QPointer<qt::ListBox> list = dynamic_cast<qt::ListBox*>(d.list());
        shape = std::make_unique<qt::ColourKeyShape>(
            w, qRgb(key_colour.r, key_colour.g, key_colour.b), [list] {
                if (list != nullptr && list->isVisible()) {
                    list->settle();
                }
            });
    }
}

void QtToolkit::set_text(ControlId control, const std::string& text) {
    Impl& d = *impl_;
    QWidget* w = d.widget(control);
    if (w == nullptr) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(to_qstring(text));
    } else if (auto* note = qobject_cast<QPlainTextEdit*>(w)) {
        note->setPlainText(to_display_text(text));
    } else {
        std::string& shown = d.texts[index_of(control)];
        if (shown == text) {
            return;  // the clock writes the same texts every second
        }
        shown = text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(to_display_text(text));
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            group->setTitle(to_qstring(text));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setText(to_qstring(text));
        }
    }
    d.reshape(w);
}

std::string QtToolkit::text(ControlId control) const {
    const Impl& d = *impl_;
    QWidget* w = d.widget(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return to_utf8(edit->text());
    }
    if (auto* note = qobject_cast<QPlainTextEdit*>(w)) {
        // Line breaks as the program writes them everywhere else.
        return to_utf8(note->toPlainText().replace(u'\n', QStringLiteral("\r\n")));
    }
    if (auto* date = qobject_cast<QDateEdit*>(w)) {
        return to_utf8(date->text());
    }
    if (qobject_cast<QListWidget*>(w) != nullptr) {
        return {};
    }
    return d.texts[index_of(control)];
}

void QtToolkit::set_visible(ControlId control, bool visible) {
    // A control's own flag: a control inside a hidden group box keeps what it was told.
    if (QWidget* w = impl_->widget(control); w != nullptr && w->isHidden() == visible) {
        w->setVisible(visible);
        impl_->reshape(w);
    }
}

bool QtToolkit::is_visible(ControlId control) const {
    const QWidget* w = impl_->widget(control);
    return w != nullptr && !w->isHidden();
}

Rect QtToolkit::geometry(ControlId control) const {
    const QWidget* w = impl_->widget(control);
    if (w == nullptr) {
        return {};
    }
    const QRect g = w->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void QtToolkit::set_geometry(ControlId control, const Rect& rect) {
    QWidget* w = impl_->widget(control);
    if (w == nullptr) {
        return;
    }
    impl_->reshape(w);  // where it was
    w->setGeometry(rect.left, rect.top, std::max(rect.width, 0), std::max(rect.height, 0));
    impl_->reshape(w);  // where it is
}

void QtToolkit::set_enabled(ControlId control, bool enabled) {
    if (QWidget* w = impl_->widget(control)) {
        w->setEnabled(enabled);
        impl_->reshape(w);
    }
}

void QtToolkit::set_text_colour(ControlId control, Rgb colour) {
    if (QWidget* w = impl_->widget(control)) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::WindowText, to_qcolor(colour));
        palette.setColor(QPalette::Text, to_qcolor(colour));
        w->setPalette(palette);
        impl_->reshape(w);
    }
}

void QtToolkit::set_background(ControlId control, Rgb colour) {
    QWidget* w = impl_->widget(control);
    if (w == nullptr) {
        return;
    }
    if (auto* tab = dynamic_cast<qt::GradientLabel*>(w)) {
        tab->set_gradient(colour, colour, colour);
    } else {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, to_qcolor(colour));
        palette.setColor(QPalette::Base, to_qcolor(colour));
        w->setPalette(palette);
        if (qobject_cast<QLabel*>(w) != nullptr) {
            w->setAutoFillBackground(true);
        }
    }
    impl_->reshape(w);
}

void QtToolkit::set_gradient(ControlId control, Rgb first, Rgb second, Rgb third) {
    if (auto* tab = dynamic_cast<qt::GradientLabel*>(impl_->widget(control))) {
        tab->set_gradient(first, second, third);
        impl_->reshape(tab);
    }
}

void QtToolkit::list_clear() {
    if (QListWidget* list = impl_->list()) {
        list->clear();
        impl_->reshape(list);
    }
}

void QtToolkit::list_add(const std::string& text, int32_t value) {
    if (QListWidget* list = impl_->list()) {
        // The value goes in before the entry joins the list: one insertion for the list's model
        // and view to take in, not an insertion and then a change.
        auto* item = new QListWidgetItem(to_qstring(text));
        item->setData(Qt::UserRole, value);
        list->addItem(item);
        impl_->reshape(list);
    }
}

int32_t QtToolkit::list_count() const {
    const QListWidget* list = impl_->list();
    return list == nullptr ? 0 : list->count();
}

int32_t QtToolkit::list_selected() const {
    const QListWidget* list = impl_->list();
    if (list == nullptr) {
        return -1;
    }
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

std::string QtToolkit::list_text(int32_t index) const {
    const QListWidget* list = impl_->list();
    const QListWidgetItem* item = list == nullptr ? nullptr : list->item(index);
    return item == nullptr ? std::string() : to_utf8(item->text());
}

int32_t QtToolkit::list_value(int32_t index) const {
    const QListWidget* list = impl_->list();
    const QListWidgetItem* item = list == nullptr ? nullptr : list->item(index);
    return item == nullptr ? -1 : item->data(Qt::UserRole).toInt();
}

DateTime QtToolkit::date_value() const {
    const auto* box = dynamic_cast<const qt::DateBox*>(impl_->widget(ControlId::日期框_到期时间));
    return box == nullptr ? kMissingDateTime : box->value();
}

void QtToolkit::set_date_value(DateTime value) {
    if (auto* box = dynamic_cast<qt::DateBox*>(impl_->widget(ControlId::日期框_到期时间))) {
        box->set_value(value);
    }
}

int QtToolkit::primary_screen_width() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? 0 : screen->geometry().width();
}

int QtToolkit::primary_screen_height() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? 0 : screen->geometry().height();
}

Rect QtToolkit::primary_screen_geometry() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    const QRect g = screen->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

Point QtToolkit::pointer_position() const {
    const QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}

bool QtToolkit::message_box(const std::string& text, const std::string& caption,
                            MessageButtons buttons) {
    Impl& d = *impl_;
    if (d.destroy_pending[kMain]) {
        return false;  // the program is ending: nobody is asked anything more
    }
    QMessageBox box;
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(to_qstring(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(to_display_text(text));
    box.setIcon(QMessageBox::NoIcon);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    if (buttons == MessageButtons::ok_cancel) {
        box.setEscapeButton(box.addButton(QMessageBox::Cancel));
    }
    // Only the OK button itself counts as OK: closing the box is Cancel.
    bool ok_chosen = false;
    QObject::connect(ok, &QAbstractButton::clicked, &box, [&ok_chosen] { ok_chosen = true; });
    d.popups.emplace_back(&box);
    d.enter_nested();
    box.exec();
    d.popups.pop_back();
    d.leave_nested();
    return ok_chosen;
}

void QtToolkit::set_menu_entry_visible(MenuEntryId entry, bool visible) {
    Impl& d = *impl_;
    d.entry_visible[index_of(entry)] = visible;
    if (QAction* action = d.actions[index_of(entry)]) {
        action->setVisible(visible);
    }
}

void QtToolkit::popup_menu(MenuId menu, Point at) {
    Impl& d = *impl_;
    QMenu* shown = d.menus[index_of(menu)].get();
    if (shown == nullptr || d.shutting_down()) {
        return;
    }
    d.popups.emplace_back(shown);
    d.enter_nested();
    const QAction* chosen = shown->exec(QPoint(at.x, at.y));
    d.popups.pop_back();
    d.leave_nested();
    if (chosen != nullptr) {
        d.deliver_menu_entry(static_cast<MenuEntryId>(chosen->data().toInt()));
    }
}

void QtToolkit::create_tray_icon(std::span<const unsigned char> ico_file, const std::string& tip) {
    Impl& d = *impl_;
    if (d.window(WindowId::main) == nullptr) {
        return;
    }
    const QImage image = qt::read_ico(ico_file);
    if (image.isNull()) {
        return;  // no icon, no tray: the program runs on without them
    }
    // The icon goes into the notification area once the panel's first frame is on the screen:
    // finding the notification area (over D-Bus first, then X) and docking there take round
    // trips that would otherwise hold up the panel's first appearance.
    constexpr std::chrono::seconds kTrayLimit(2);
    qt::run_after_first_frame(
        d.window(WindowId::main),
        [&d, icon = QIcon(QPixmap::fromImage(image)), tip = to_qstring(tip)] {
            if (d.window(WindowId::main) == nullptr || d.tray != nullptr) {
                return;
            }
            d.tray = std::make_unique<QSystemTrayIcon>(icon);
            d.tray->setToolTip(tip);
            QObject::connect(
                d.tray.get(), &QSystemTrayIcon::activated, d.router.get(),
                [&d](QSystemTrayIcon::ActivationReason reason) { d.tray_activated(reason); });
            d.tray->show();
        },
        kTrayLimit);
}

void QtToolkit::post(std::function<void()> task) {
    Impl& d = *impl_;
    std::lock_guard lock(d.post_mutex);
    if (d.post_target == nullptr || !task) {
        return;
    }
    queue_on(d.post_target, std::move(task));
}

void QtToolkit::process_pending_events() {
    Impl& d = *impl_;
    d.enter_nested();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    d.leave_nested();
}

}  // namespace velunor
