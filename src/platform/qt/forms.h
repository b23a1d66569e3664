// The two windows' forms: which widget each named control is, where it sits, how it looks.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <string>

#include "platform/qt/controls.h"
#include "platform/toolkit.h"

namespace velunor::qt {

using ControlWidgets = std::array<QPointer<QWidget>, kControlCount>;

// The dynamic property that names a widget's control (its ControlId as an int).
inline constexpr const char* kControlProperty = "velunor_control";

// The main window's size as its form defines it; the program sets it at start-up.
inline constexpr int kMainFormWidth = 300;
inline constexpr int kMainFormHeight = 240;
// The edit window's size as its form defines it.
inline constexpr int kEditFormWidth = 435;
inline constexpr int kEditFormHeight = 315;

// The text a control has in its form.
std::string form_text(ControlId id);

// Builds a window with its controls; the controls are entered in widgets.
TopWindow* build_main_window(WidgetEvents& events, ControlWidgets& widgets);
TopWindow* build_edit_window(WidgetEvents& events, ControlWidgets& widgets);

}  // namespace velunor::qt
