#include "fake_toolkit.h"

#include <algorithm>
#include <utility>

namespace velunor::testing {

namespace {

struct FormControl {
    ControlId id;
    Rect geometry;
    const char* text;
};

// The controls as the windows' forms define them.
constexpr FormControl kForm[] = {
    {ControlId::透明标签_time, {0, 0, 300, 112}, "透明标签"},
    {ControlId::透明标签_日期, {144, 80, 152, 32}, "透明标签"},
    {ControlId::透明标签_差大值, {16, 8, 144, 24}, "透明标签"},
    {ControlId::透明标签_停止, {264, 8, 24, 24}, "停止"},
    {ControlId::标签_当前目标, {8, 88, 50, 16}, "当前目标"},
    {ControlId::标签_完成记录, {64, 88, 65, 16}, "已完成记录"},
    {ControlId::列表框_记录, {0, 112, 300, 128}, ""},
    {ControlId::分组框_增改, {5, 5, 211, 299}, "新增/修改"},
    {ControlId::透明标签1, {11, 19, 72, 136}, "项目名：\r\n\r\n到期时间：\r\n\r\n\r\n备注："},
    {ControlId::编辑框_项目名, {67, 19, 136, 24}, ""},
    {ControlId::日期框_到期时间, {83, 59, 120, 24}, ""},
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

constexpr MenuEntryId kListMenu[] = {MenuEntryId::修改, MenuEntryId::开始倒计时, MenuEntryId::删除,
                                     MenuEntryId::详情, MenuEntryId::完成};
constexpr MenuEntryId kTabMenu[] = {MenuEntryId::新增目标};
constexpr MenuEntryId kTrayMenu[] = {MenuEntryId::说明, MenuEntryId::退出};

}  // namespace

FakeToolkit::FakeToolkit() {
    for (const auto& f : kForm) {
        auto& c = controls_[index(f.id)];
        c.geometry = f.geometry;
        c.text = f.text;
    }
    menu_visible_.fill(true);
    windows_[index(WindowId::main)].geometry = {0, 0, 300, 240};
}

void FakeToolkit::reset_edit_controls() {
    for (const auto& f : kForm) {
        if (window_of(f.id) != WindowId::edit) {
            continue;
        }
        controls_[index(f.id)] = FakeControl{};
        controls_[index(f.id)].geometry = f.geometry;
        controls_[index(f.id)].text = f.text;
    }
    date_ = date_on_open;
}

void FakeToolkit::create_main_window() {
    auto& w = windows_[index(WindowId::main)];
    w.open = true;
    if (handler_ != nullptr) {
        handler_->on_window_created(WindowId::main);
    }
    deliver_after_handler();
}

void FakeToolkit::press(ControlId control, MouseButton button) {
    if (handler_ != nullptr) {
        handler_->on_mouse_press(control, button);
    }
    deliver_after_handler();
}

void FakeToolkit::click(ControlId control) {
    if (handler_ != nullptr) {
        handler_->on_button_click(control);
    }
    deliver_after_handler();
}

void FakeToolkit::tray(int code) {
    if (handler_ != nullptr) {
        handler_->on_tray_event(code);
    }
    deliver_after_handler();
}

void FakeToolkit::screen_changed() {
    if (handler_ != nullptr) {
        handler_->on_screen_changed();
    }
    deliver_after_handler();
}

void FakeToolkit::select(int32_t index) {
    selected_ = (index >= 0 && index < list_count()) ? index : -1;
}

void FakeToolkit::deliver_after_handler() {
    while (!chosen_.empty()) {
        const MenuEntryId entry = chosen_.front();
        chosen_.pop_front();
        if (handler_ != nullptr) {
            handler_->on_menu_entry(entry);
        }
    }
    for (WindowId id : {WindowId::edit, WindowId::main}) {
        if (windows_[index(id)].destroy_requested) {
            destroy_now(id);
        }
    }
}

void FakeToolkit::destroy_now(WindowId window) {
    auto& w = windows_[index(window)];
    w.destroy_requested = false;
    if (!w.open) {
        return;
    }
    if (handler_ != nullptr) {
        handler_->on_window_destroying(window);
    }
    w.open = false;
}

int FakeToolkit::run_posted_tasks() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(posted_mutex_);
        tasks.swap(posted_);
    }
    for (auto& task : tasks) {
        task();
    }
    return static_cast<int>(tasks.size());
}

size_t FakeToolkit::posted_task_count() const {
    std::lock_guard lock(posted_mutex_);
    return posted_.size();
}

void FakeToolkit::set_caption(WindowId window, const std::string& caption) {
    windows_[index(window)].caption = caption;
}

Rect FakeToolkit::window_geometry(WindowId window) const {
    return windows_[index(window)].geometry;
}

void FakeToolkit::set_window_geometry(WindowId window, const Rect& rect) {
    windows_[index(window)].geometry = rect;
}

void FakeToolkit::set_window_background(WindowId window, Rgb colour) {
    windows_[index(window)].background = colour;
}

void FakeToolkit::open_modal(WindowId window) {
    auto& w = windows_[index(window)];
    if (w.open) {
        return;
    }
    if (window == WindowId::edit) {
        reset_edit_controls();
        w.geometry = {(screen_width - 435) / 2, (screen_height - 315) / 2, 435, 315};
    }
    w.open = true;
    w.destroy_requested = false;
    ++w.modal_opens;
    if (handler_ != nullptr) {
        handler_->on_window_created(window);
    }
    if (!modal_scripts.empty()) {
        auto script = std::move(modal_scripts.front());
        modal_scripts.pop_front();
        script(*this);
    }
    // The user leaves a window still open after the script by closing it.
    if (w.open) {
        destroy_now(window);
    }
}

void FakeToolkit::destroy_window(WindowId window) {
    windows_[index(window)].destroy_requested = true;
}

void FakeToolkit::apply_window_transparency(WindowId window, int alpha, bool use_alpha,
                                            Rgb key_colour, bool use_key, bool click_through) {
    windows_[index(window)].transparency =
        FakeWindow::Transparency{alpha, use_alpha, key_colour, use_key, click_through};
}

void FakeToolkit::set_text(ControlId control, const std::string& text) {
    controls_[index(control)].text = text;
    text_log.emplace_back(control, text);
}

std::string FakeToolkit::text(ControlId control) const {
    return controls_[index(control)].text;
}

void FakeToolkit::set_visible(ControlId control, bool visible) {
    controls_[index(control)].visible = visible;
}

bool FakeToolkit::is_visible(ControlId control) const {
    return controls_[index(control)].visible;
}

Rect FakeToolkit::geometry(ControlId control) const {
    return controls_[index(control)].geometry;
}

void FakeToolkit::set_geometry(ControlId control, const Rect& rect) {
    controls_[index(control)].geometry = rect;
}

void FakeToolkit::set_enabled(ControlId control, bool enabled) {
    controls_[index(control)].enabled = enabled;
}

void FakeToolkit::set_text_colour(ControlId control, Rgb colour) {
    controls_[index(control)].text_colour = colour;
}

void FakeToolkit::set_background(ControlId control, Rgb colour) {
    controls_[index(control)].background = colour;
}

void FakeToolkit::set_gradient(ControlId control, Rgb first, Rgb second, Rgb third) {
    controls_[index(control)].gradient = std::array<Rgb, 3>{first, second, third};
}

void FakeToolkit::list_clear() {
    list_.clear();
    selected_ = -1;
}

void FakeToolkit::list_add(const std::string& text, int32_t value) {
    list_.push_back({text, value});
}

int32_t FakeToolkit::list_count() const {
    return static_cast<int32_t>(list_.size());
}

std::string FakeToolkit::list_text(int32_t index) const {
    return (index >= 0 && index < list_count()) ? list_[static_cast<size_t>(index)].text
                                                : std::string();
}

int32_t FakeToolkit::list_value(int32_t index) const {
    return (index >= 0 && index < list_count()) ? list_[static_cast<size_t>(index)].value : -1;
}

bool FakeToolkit::message_box(const std::string& text, const std::string& caption,
                              MessageButtons buttons) {
    bool answer = false;
    if (!message_answers.empty()) {
        answer = message_answers.front();
        message_answers.pop_front();
    }
    if (buttons == MessageButtons::ok) {
        answer = true;  // the only button
    }
    messages.push_back({text, caption, buttons, answer});
    return answer;
}

void FakeToolkit::set_menu_entry_visible(MenuEntryId entry, bool visible) {
    menu_visible_[index(entry)] = visible;
}

void FakeToolkit::popup_menu(MenuId menu, Point at) {
    std::span<const MenuEntryId> entries = kListMenu;
    if (menu == MenuId::菜单_当前目标) {
        entries = kTabMenu;
    } else if (menu == MenuId::菜单_托盘) {
        entries = kTrayMenu;
    }
    ShownMenu shown{menu, at, {}};
    for (MenuEntryId e : entries) {
        if (menu_visible_[index(e)]) {
            shown.visible_entries.push_back(e);
        }
    }
    std::optional<MenuEntryId> choice;
    if (!menu_choices.empty()) {
        choice = menu_choices.front();
        menu_choices.pop_front();
    }
    // Only an entry the menu shows can be chosen.
    if (choice && std::find(shown.visible_entries.begin(), shown.visible_entries.end(), *choice) !=
                      shown.visible_entries.end()) {
        chosen_.push_back(*choice);
    }
    menus.push_back(std::move(shown));
}

void FakeToolkit::create_tray_icon(std::span<const unsigned char> ico_file,
                                   const std::string& tip) {
    tray_icon.assign(ico_file.begin(), ico_file.end());
    tray_tip = tip;
    tray_created = true;
}

void FakeToolkit::post(std::function<void()> task) {
    std::lock_guard lock(posted_mutex_);
    posted_.push_back(std::move(task));
}

}  // namespace velunor::testing
