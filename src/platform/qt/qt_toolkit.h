// The toolkit on Qt 6 Widgets.
#pragma once

#include <memory>

#include "platform/toolkit.h"

namespace velunor {

class QtToolkit final : public Toolkit {
  public:
    // Starts the Qt application; argc and argv must outlive the toolkit.
    QtToolkit(int& argc, char** argv);
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    // Creates the main window with its controls, reports it created (before it is ever shown),
    // shows it, and runs the event loop until the main window has been destroyed. SIGTERM,
    // SIGINT, SIGHUP and the end of the desktop session destroy the main window the same way
    // (its about-to-be-destroyed event runs on the window thread). Returns the exit status.
    int run_main_window();

    void set_event_handler(EventHandler* handler) override;
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
    int32_t list_selected() const override;
    std::string list_text(int32_t index) const override;
    int32_t list_value(int32_t index) const override;
    DateTime date_value() const override;
    void set_date_value(DateTime value) override;
    int primary_screen_width() const override;
    int primary_screen_height() const override;
    Rect primary_screen_geometry() const override;
    Point pointer_position() const override;
    bool message_box(const std::string& text, const std::string& caption,
                     MessageButtons buttons) override;
    void set_menu_entry_visible(MenuEntryId entry, bool visible) override;
    void popup_menu(MenuId menu, Point at) override;
    void create_tray_icon(std::span<const unsigned char> ico_file, const std::string& tip) override;
    void post(std::function<void()> task) override;
    void process_pending_events() override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velunor
