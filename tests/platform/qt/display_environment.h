// A display for the Qt toolkit's tests, the one toolkit of the test process, and a way to run
// the main window the way the program does.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qt_toolkit.h"

namespace velunor::testing {

// The toolkit, created on first use on the display that the test environment provides.
QtToolkit& toolkit();

// Records every event as a line of text and runs the hook given for it, if any.
class RecordingHandler final : public EventHandler {
  public:
    std::vector<std::string> log;
    std::function<void(WindowId)> created;
    std::function<void(WindowId)> destroying;
    std::function<void(ControlId, MouseButton)> pressed;
    std::function<void(ControlId)> clicked;
    std::function<void(MenuEntryId)> menu_entry;
    std::function<void(int)> tray;

    void on_window_created(WindowId window) override;
    void on_window_destroying(WindowId window) override;
    void on_tray_event(int code) override;
    void on_mouse_press(ControlId control, MouseButton button) override;
    void on_button_click(ControlId control) override;
    void on_menu_entry(MenuEntryId entry) override;
};

std::string name(WindowId window);
std::string name(ControlId control);

// What the program does when its main window has been created: caption, key-coloured
// background, top-right placement, tab colours, transparency, a list of `items` entries
// ("项目1", ...) sized 35 × n + 25, and clock texts.
void set_up_like_the_program(Toolkit& tk, int items);

enum class Ending {
    after_body,  // the main window is destroyed when the body returns
    by_itself,   // something the body started ends the run
};

// Runs the main window with the handler: the program's set-up when it is created, then `body`
// once the loop runs. A watchdog ends a run that hangs. Returns run_main_window's result.
int run_main(RecordingHandler& handler, int items, const std::function<void()>& body,
             Ending ending = Ending::after_body);

// The widget behind a control or window, or nullptr.
QWidget* widget_of(ControlId control);
QWidget* window_of_widget(WindowId window);
// Runs events until the condition holds or the time is up; true when it holds.
bool wait_until(const std::function<bool()>& condition, int milliseconds = 3000);
// The window as drawn, whatever its shape.
QImage render_unmasked(QWidget* window);

}  // namespace velunor::testing
