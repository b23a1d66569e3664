// The window toolkit as the program's logic sees it: named controls and menus, plain values.
// The Qt backend (platform/qt) implements it for the desktop; tests use a fake.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "common/datetime.h"

namespace velunor {

enum class WindowId { main, edit };

enum class ControlId {
    // main window
    透明标签_time,
    透明标签_日期,
    透明标签_差大值,
    透明标签_停止,
    标签_当前目标,
    标签_完成记录,
    列表框_记录,
    // edit window
    分组框_增改,
    透明标签1,
    编辑框_项目名,
    日期框_到期时间,
    透明标签2,
    编辑框_时,
    编辑框_分,
    编辑框_秒,
    编辑框_备注,
    按钮_增改_返回,
    按钮_增改_确认,
    分组框_说明,
    标签_说明,
    按钮_说明_退出,
};
inline constexpr int kControlCount = static_cast<int>(ControlId::按钮_说明_退出) + 1;

// The window a control belongs to.
constexpr WindowId window_of(ControlId id) {
    return static_cast<int>(id) <= static_cast<int>(ControlId::列表框_记录) ? WindowId::main
                                                                            : WindowId::edit;
}

enum class MenuId { 菜单_列表选项, 菜单_当前目标, 菜单_托盘 };

enum class MenuEntryId {
    修改,        // 菜单_列表选项
    开始倒计时,  // 菜单_列表选项
    删除,        // 菜单_列表选项
    详情,        // 菜单_列表选项
    完成,        // 菜单_列表选项
    新增目标,    // 菜单_当前目标
    说明,        // 菜单_托盘
    退出,        // 菜单_托盘
};
inline constexpr int kMenuEntryCount = static_cast<int>(MenuEntryId::退出) + 1;

enum class MouseButton { left, right };
enum class MessageButtons { ok, ok_cancel };

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kColourKey{255, 168, 255};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kGrey{128, 128, 128};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Tray event codes.
inline constexpr int kTrayLeftRelease = 1;
inline constexpr int kTrayDoubleClick = 2;
inline constexpr int kTrayContextMenu = 3;

// What the toolkit reports, always on the window thread.
class EventHandler {
  public:
    virtual ~EventHandler() = default;
    // A window and its controls exist and it has not been shown yet.
    virtual void on_window_created(WindowId window) = 0;
    // A window is about to go; its controls still exist.
    virtual void on_window_destroying(WindowId window) = 0;
    virtual void on_tray_event(int code) = 0;
    virtual void on_mouse_press(ControlId control, MouseButton button) = 0;
    virtual void on_button_click(ControlId control) = 0;
    // A popup menu entry was chosen; delivered after the menu has closed.
    virtual void on_menu_entry(MenuEntryId entry) = 0;
    // The primary screen changed its size or place, or another screen became the primary one.
    virtual void on_screen_changed() {}
};

class Toolkit {
  public:
    virtual ~Toolkit() = default;

    virtual void set_event_handler(EventHandler* handler) = 0;

    // Windows. Geometry is in screen pixels.
    virtual void set_caption(WindowId window, const std::string& caption) = 0;
    virtual Rect window_geometry(WindowId window) const = 0;
    virtual void set_window_geometry(WindowId window, const Rect& rect) = 0;
    virtual void set_window_background(WindowId window, Rgb colour) = 0;
    // Creates the window, reports it created, shows it; the program's other windows take no
    // input until it has been destroyed, and only then does the call return.
    virtual void open_modal(WindowId window) = 0;
    // Deferred: the window goes once the running handler has returned.
    virtual void destroy_window(WindowId window) = 0;
    // Pixels of exactly key_colour are not drawn and let the mouse through; all others are drawn
    // at alpha/255.
    virtual void apply_window_transparency(WindowId window, int alpha, bool use_alpha,
                                           Rgb key_colour, bool use_key, bool click_through) = 0;

    // Controls. Geometry is in pixels inside the control's parent.
    virtual void set_text(ControlId control, const std::string& text) = 0;
    virtual std::string text(ControlId control) const = 0;
    virtual void set_visible(ControlId control, bool visible) = 0;
    virtual bool is_visible(ControlId control) const = 0;
    virtual Rect geometry(ControlId control) const = 0;
    virtual void set_geometry(ControlId control, const Rect& rect) = 0;
    virtual void set_enabled(ControlId control, bool enabled) = 0;
    virtual void set_text_colour(ControlId control, Rgb colour) = 0;
    virtual void set_background(ControlId control, Rgb colour) = 0;
    virtual void set_gradient(ControlId control, Rgb first, Rgb second, Rgb third) = 0;

    // The list box 列表框_记录. Indexes count from 0; an index out of range gives the empty
    // text and the value -1; the selected index is -1 when nothing is selected.
    virtual void list_clear() = 0;
    virtual void list_add(const std::string& text, int32_t value) = 0;
    virtual int32_t list_count() const = 0;
    virtual int32_t list_selected() const = 0;
    virtual std::string list_text(int32_t index) const = 0;
    virtual int32_t list_value(int32_t index) const = 0;

    // The date box 日期框_到期时间: a date shown, with a hidden time of day.
    virtual DateTime date_value() const = 0;
    virtual void set_date_value(DateTime value) = 0;

    // The primary screen's full size, and the pointer, in screen pixels.
    virtual int primary_screen_width() const = 0;
    virtual int primary_screen_height() const = 0;
    // The primary screen's place and size on the whole desktop; with several screens it need
    // not start at 0, 0.
    virtual Rect primary_screen_geometry() const {
        return {0, 0, primary_screen_width(), primary_screen_height()};
    }
    virtual Point pointer_position() const = 0;

    // Blocks; no owner window; every window of the program is blocked meanwhile. True for OK;
    // closing the box counts as Cancel.
    virtual bool message_box(const std::string& text, const std::string& caption,
                             MessageButtons buttons) = 0;

    // Menus: the chosen entry arrives as on_menu_entry after the menu has closed.
    virtual void set_menu_entry_visible(MenuEntryId entry, bool visible) = 0;
    virtual void popup_menu(MenuId menu, Point at) = 0;

    // The notification-area icon of the main window; its mouse actions arrive as on_tray_event.
    virtual void create_tray_icon(std::span<const unsigned char> ico_file,
                                  const std::string& tip) = 0;

    // Runs the task on the window thread, in order; callable from any thread.
    virtual void post(std::function<void()> task) = 0;
    // Runs what is queued for the window thread now.
    virtual void process_pending_events() = 0;
};

}  // namespace velunor
