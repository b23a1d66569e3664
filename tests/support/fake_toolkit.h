// A toolkit without a display: it records everything the logic writes, answers message boxes
// and popup menus from a script, and lets a test act as the user.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit.h"

namespace velunor::testing {

struct FakeControl {
    std::string text;
    bool visible = true;
    bool enabled = true;
    Rect geometry;
    std::optional<Rgb> text_colour;
    std::optional<Rgb> background;
    std::optional<std::array<Rgb, 3>> gradient;
};

struct FakeWindow {
    bool open = false;  // created and not destroyed
    bool destroy_requested = false;
    std::string caption;
    Rect geometry;
    std::optional<Rgb> background;
    int modal_opens = 0;
    struct Transparency {
        int alpha;
        bool use_alpha;
        Rgb key;
        bool use_key;
        bool click_through;
    };
    std::optional<Transparency> transparency;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageButtons buttons;
    bool answer;
};

struct ShownMenu {
    MenuId menu;
    Point at;
    std::vector<MenuEntryId> visible_entries;  // in menu order
};

struct ListEntry {
    std::string text;
    int32_t value;
};

class FakeToolkit final : public Toolkit {
  public:
    FakeToolkit();

    // ---- what the test scripts ----
    // Answers for the next message boxes, in order (true = OK). When none is left: Cancel.
    std::deque<bool> message_answers;
    // Entries chosen in the next popup menus, in order (nullopt = the menu is dismissed).
    std::deque<std::optional<MenuEntryId>> menu_choices;
    // What the user does while the next modal windows are open, in order. When none is left,
    // the user closes the window at once.
    std::deque<std::function<void(FakeToolkit&)>> modal_scripts;
    int screen_width = 1920;
    int screen_height = 1080;
    // Where the primary screen starts on the whole desktop.
    int screen_left = 0;
    int screen_top = 0;
    Point pointer{100, 200};
    // The date box's value when the edit window is created.
    DateTime date_on_open = 0.0;

    // ---- acting as the user (each delivers the event, then runs deferred work) ----
    void create_main_window();  // created event, then the window counts as shown
    void press(ControlId control, MouseButton button = MouseButton::left);
    void click(ControlId control);
    void tray(int code);
    // Reports a change of the primary screen: set screen_* first.
    void screen_changed();
    void select(int32_t index);  // selects a list entry (-1: none)
    void type(ControlId control, const std::string& text) { set_text(control, text); }
    // Runs the tasks posted so far (from any thread); returns how many ran.
    int run_posted_tasks();
    size_t posted_task_count() const;

    // ---- what the test inspects ----
    const FakeControl& control(ControlId id) const { return controls_[index(id)]; }
    const FakeWindow& window(WindowId id) const { return windows_[index(id)]; }
    const std::vector<ListEntry>& list_entries() const { return list_; }
    std::vector<ShownMessage> messages;
    std::vector<ShownMenu> menus;
    std::vector<unsigned char> tray_icon;
    std::string tray_tip;
    bool tray_created = false;
    bool date_enabled() const { return control(ControlId::日期框_到期时间).enabled; }
    bool menu_entry_visible(MenuEntryId id) const { return menu_visible_[index(id)]; }
    // Every text ever written to a control, in order.
    std::vector<std::pair<ControlId, std::string>> text_log;

    // ---- Toolkit ----
    void set_event_handler(EventHandler* handler) override { handler_ = handler; }
    void set_caption(WindowId window, const std::string& caption) override;
    Rect window_geometry(WindowId window) const override;
    void set_window_geometry(WindowId window, const Rect& rect) override;
    void set_window_background(WindowId window, Rgb colour) override;
    void open_modal(WindowId window) override;
    void destroy_window(WindowId window) override;
    void apply_window_transparency(WindowId window, int alpha, bool use_alpha, Rgb key_colour,
                                   bool use_key, bool click_through) override;
    void set_text(ControlId control, const std::string& text) override;
    std::string text(ControlId control) const override;
    void set_visible(ControlId control, bool visible) override;
    bool is_visible(ControlId control) const override;
    Rect geometry(ControlId control) const override;
    void set_geometry(ControlId control, const Rect& rect) override;
    void set_enabled(ControlId control, bool enabled) override;
    void set_text_colour(ControlId control, Rgb colour) override;
    void set_background(ControlId control, Rgb colour) override;
    void set_gradient(ControlId control, Rgb first, Rgb second, Rgb third) override;
    void list_clear() override;
    void list_add(const std::string& text, int32_t value) override;
    int32_t list_count() const override;
    int32_t list_selected() const override { return selected_; }
    std::string list_text(int32_t index) const override;
    int32_t list_value(int32_t index) const override;
    DateTime date_value() const override { return date_; }
    void set_date_value(DateTime value) override { date_ = value; }
    int primary_screen_width() const override { return screen_width; }
    int primary_screen_height() const override { return screen_height; }
    Rect primary_screen_geometry() const override {
        return {screen_left, screen_top, screen_width, screen_height};
    }
    Point pointer_position() const override { return pointer; }
    bool message_box(const std::string& text, const std::string& caption,
                     MessageButtons buttons) override;
    void set_menu_entry_visible(MenuEntryId entry, bool visible) override;
    void popup_menu(MenuId menu, Point at) override;
    void create_tray_icon(std::span<const unsigned char> ico_file, const std::string& tip) override;
    void post(std::function<void()> task) override;
    void process_pending_events() override { run_posted_tasks(); }

  private:
    template <typename E>
    static size_t index(E e) {
        return static_cast<size_t>(e);
    }
    void reset_edit_controls();
    void deliver_after_handler();  // chosen menu entries, then deferred destruction
    void destroy_now(WindowId window);

    EventHandler* handler_ = nullptr;
    std::array<FakeControl, kControlCount> controls_{};
    std::array<FakeWindow, 2> windows_{};
    std::array<bool, kMenuEntryCount> menu_visible_{};
    std::vector<ListEntry> list_;
    int32_t selected_ = -1;
    DateTime date_ = 0.0;
    std::deque<MenuEntryId> chosen_;
    mutable std::mutex posted_mutex_;
    std::deque<std::function<void()>> posted_;
};

}  // namespace velunor::testing
