#include "display_environment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/qt/forms.h"

namespace velunor::testing {

namespace {

// Starts Xvfb on a free display number (it picks the number itself and reports it through
// -displayfd once it accepts connections) when the tests have no display. The server dies with
// the test process even when the test crashes.
class DisplayEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");  // NOLINT(concurrency-mt-unsafe)
        if (display != nullptr && *display != '\0') {
            return;
        }
        int fds[2] = {-1, -1};
        ASSERT_EQ(pipe(fds), 0);
        server_ = fork();
        ASSERT_GE(server_, 0);
        if (server_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            close(fds[0]);
            const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (null_fd >= 0) {
                dup2(null_fd, STDOUT_FILENO);
                dup2(null_fd, STDERR_FILENO);
            }
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd reader{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&reader, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        const std::string value = ":" + number;
        setenv("DISPLAY", value.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    }

    void TearDown() override {
        shared.reset();
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }

    static std::unique_ptr<QtToolkit> shared;

  private:
    pid_t server_ = -1;
};

std::unique_ptr<QtToolkit> DisplayEnvironment::shared;

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);

int g_argc = 1;
char g_program[] = "qt_toolkit_tests";
char* g_argv[] = {g_program, nullptr};

constexpr int kWatchdogMilliseconds = 30000;

}  // namespace

QtToolkit& toolkit() {
    if (DisplayEnvironment::shared == nullptr) {
        DisplayEnvironment::shared = std::make_unique<QtToolkit>(g_argc, g_argv);
    }
    return *DisplayEnvironment::shared;
}

std::string name(WindowId window) {
    return window == WindowId::main ? "main" : "edit";
}

std::string name(ControlId control) {
    return std::to_string(static_cast<int>(control));
}

void RecordingHandler::on_window_created(WindowId window) {
    log.push_back("created " + name(window));
    if (created) {
        created(window);
    }
}

void RecordingHandler::on_window_destroying(WindowId window) {
    log.push_back("destroying " + name(window));
    if (destroying) {
        destroying(window);
    }
}

void RecordingHandler::on_tray_event(int code) {
    log.push_back("tray " + std::to_string(code));
    if (tray) {
        tray(code);
    }
}

void RecordingHandler::on_mouse_press(ControlId control, MouseButton button) {
    log.push_back("press " + name(control) + (button == MouseButton::left ? " left" : " right"));
    if (pressed) {
        pressed(control, button);
    }
}

void RecordingHandler::on_button_click(ControlId control) {
    log.push_back("click " + name(control));
    if (clicked) {
        clicked(control);
    }
}

void RecordingHandler::on_menu_entry(MenuEntryId entry) {
    log.push_back("menu " + std::to_string(static_cast<int>(entry)));
    if (menu_entry) {
        menu_entry(entry);
    }
}

void set_up_like_the_program(Toolkit& tk, int items) {
    tk.set_caption(WindowId::main, "Velunorv0.7");
    tk.set_window_background(WindowId::main, kColourKey);
    tk.set_background(ControlId::列表框_记录, kColourKey);
    const Rect form = tk.window_geometry(WindowId::main);
    tk.set_window_geometry(WindowId::main,
                           {tk.primary_screen_width() - form.width, 0, form.width, form.height});
    tk.set_text(ControlId::透明标签_差大值, "");
    tk.set_visible(ControlId::透明标签_停止, false);
    tk.set_text_colour(ControlId::标签_当前目标, kWhite);
    tk.set_text_colour(ControlId::标签_完成记录, kBlack);
    tk.set_gradient(ControlId::标签_完成记录, kGrey, kGrey, kGrey);
    tk.apply_window_transparency(WindowId::main, 150, true, kColourKey, true, false);
    tk.list_clear();
    for (int k = 1; k <= items; ++k) {
        tk.list_add("项目" + std::to_string(k), k);
    }
    const Rect time = tk.geometry(ControlId::透明标签_time);
    const Rect window = tk.window_geometry(WindowId::main);
    tk.set_geometry(ControlId::列表框_记录, {0, time.height, window.width, 0});
    int list_height = 0;
    if (items == 0) {
        tk.set_visible(ControlId::列表框_记录, false);
    } else {
        tk.set_visible(ControlId::列表框_记录, true);
        list_height = items >= 10 ? 325 : 35 * items + 25;
        tk.set_geometry(ControlId::列表框_记录, {0, time.height, window.width, list_height});
    }
    tk.set_window_geometry(WindowId::main,
                           {window.left, window.top, window.width, time.height + list_height});
    tk.set_text(ControlId::透明标签_time, "12:34:56");
    tk.set_text(ControlId::透明标签_日期, "2024年5月1日 星期三");
}

int run_main(RecordingHandler& handler, int items, const std::function<void()>& body,
             Ending ending) {
    QtToolkit& tk = toolkit();
    auto created = handler.created;
    handler.created = [&](WindowId window) {
        if (window == WindowId::main) {
            set_up_like_the_program(tk, items);
            tk.post([&] {
                body();
                if (ending == Ending::after_body) {
                    tk.destroy_window(WindowId::main);
                }
            });
        }
        if (created) {
            created(window);
        }
    };
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&tk] {
        ADD_FAILURE() << "the run hung; ending it";
        tk.destroy_window(WindowId::main);
    });
    watchdog.start(kWatchdogMilliseconds);
    tk.set_event_handler(&handler);
    const int status = tk.run_main_window();
    tk.set_event_handler(nullptr);
    handler.created = created;
    return status;
}

QWidget* widget_of(ControlId control) {
    for (QWidget* w : QApplication::allWidgets()) {
        const QVariant id = w->property(qt::kControlProperty);
        if (id.isValid() && id.toInt() == static_cast<int>(control) &&
            w->metaObject()->className() != QStringLiteral("QWidget")) {
            return w;
        }
    }
    return nullptr;
}

QWidget* window_of_widget(WindowId window) {
    QWidget* control =
        widget_of(window == WindowId::main ? ControlId::透明标签_time : ControlId::分组框_增改);
    return control == nullptr ? nullptr : control->window();
}

bool wait_until(const std::function<bool()>& condition, int milliseconds) {
    return QTest::qWaitFor(condition, milliseconds);
}

QImage render_unmasked(QWidget* window) {
    QImage image(window->size(), QImage::Format_RGB32);
    window->render(&image, QPoint(), QRegion(window->rect()),
                   QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    return image;
}

}  // namespace velunor::testing
