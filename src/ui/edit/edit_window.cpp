#include "ui/edit/edit_window.h"

#include <string>

#include "common/datetime.h"
#include "common/text.h"
#include "store/data_file.h"
#include "store/item_store.h"
#include "ui/main/main_window.h"

namespace velunor {

namespace {

constexpr const char* kErrorCaption = "错误！";

// The panels sit 5 pixels in from the window's top-left corner, with as much room again on the
// right and at the bottom.
constexpr int kPanelInset = 5;

struct TimeOfDay {
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
};

TimeOfDay read_time_boxes(const Toolkit& tk) {
    return {text_to_int(tk.text(ControlId::编辑框_时)), text_to_int(tk.text(ControlId::编辑框_分)),
            text_to_int(tk.text(ControlId::编辑框_秒))};
}

// Shows one panel at the window's top-left corner and shrinks the window around it; the
// window's own top-left corner stays where it was created.
void show_panel(Toolkit& tk, ControlId panel, int extra_width, int extra_height) {
    tk.set_visible(panel, true);
    Rect box = tk.geometry(panel);
    box.left = kPanelInset;
    box.top = kPanelInset;
    tk.set_geometry(panel, box);
    Rect window = tk.window_geometry(WindowId::edit);
    window.width = box.width + extra_width;
    window.height = box.height + extra_height;
    tk.set_window_geometry(WindowId::edit, window);
}

void show_error(Toolkit& tk, const char* message) {
    tk.message_box(message, kErrorCaption, MessageButtons::ok);
}

// Clears edit_window_open however the modal call ends.
class OpenFlag {
  public:
    explicit OpenFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~OpenFlag() { flag_ = false; }
    OpenFlag(const OpenFlag&) = delete;
    OpenFlag& operator=(const OpenFlag&) = delete;

  private:
    bool& flag_;
};

}  // namespace

void open_edit_window(Context& ctx, int mode) {
    // There is one edit window. A second request while it is open (the tray's help while the
    // form is being filled in) is ignored: switching its panel would turn an add into a modify
    // or throw away what the user has typed.
    if (ctx.state.edit_window_open) {
        return;
    }
    ctx.state.edit_window_mode = mode;
    const OpenFlag open(ctx.state.edit_window_open);
    ctx.toolkit.open_modal(WindowId::edit);
}

void setup_edit_window(Context& ctx) {
    Toolkit& tk = ctx.toolkit;
    const ItemRecord& buffer = ctx.store.edit_buffer;
    tk.set_visible(ControlId::分组框_说明, false);
    tk.set_visible(ControlId::分组框_增改, false);

    switch (ctx.state.edit_window_mode) {
        case kEditModeAdd:
            show_panel(tk, ControlId::分组框_增改, 2 * kPanelInset, 2 * kPanelInset);
            tk.set_text(ControlId::分组框_增改, "新 增 项 目");
            tk.set_enabled(ControlId::日期框_到期时间, true);
            break;
        case kEditModeModify: {
            show_panel(tk, ControlId::分组框_增改, 2 * kPanelInset, 2 * kPanelInset);
            tk.set_text(ControlId::分组框_增改, "修 改 项 目");
            tk.set_text(ControlId::编辑框_项目名, buffer.name);
            tk.set_date_value(buffer.due);
            tk.set_text(ControlId::编辑框_备注, buffer.note);
            // A completed item keeps its date; only its name, time of day and note can change.
            tk.set_enabled(ControlId::日期框_到期时间, buffer.completed != 1);
            // The time boxes start at the record's own time of day, so that a confirm without
            // touching them keeps the due time instead of moving it to midnight.
            const DateParts due = datetime_parts(buffer.due);
            tk.set_text(ControlId::编辑框_时, two_digit(due.hour));
            tk.set_text(ControlId::编辑框_分, two_digit(due.minute));
            tk.set_text(ControlId::编辑框_秒, two_digit(due.second));
            break;
        }
        case kEditModeHelp:
            // The help panel's own width and height, plus the inset at the top and bottom.
            show_panel(tk, ControlId::分组框_说明, 2 * kPanelInset, 2 * kPanelInset);
            tk.set_text(ControlId::分组框_说明, "当前版本：v0.7");
            tk.set_text(ControlId::标签_说明, "欢迎使用！");
            break;
        default:
            break;
    }
}

void confirm_edit(Context& ctx) {
    Toolkit& tk = ctx.toolkit;
    const int mode = ctx.state.edit_window_mode;
    // Only the add/modify panel has the confirm button.
    if (mode != kEditModeAdd && mode != kEditModeModify) {
        return;
    }

    const std::string name = tk.text(ControlId::编辑框_项目名);
    if (name.empty()) {
        show_error(tk, "记录名称不可为空！");
        return;
    }

    // The due time that will be stored: the date shown with the time boxes' time of day (out of
    // range values limited). The date box's hidden time of day plays no part.
    const TimeOfDay time = read_time_boxes(tk);
    const DateParts date = datetime_parts(tk.date_value());
    const DateTime due =
        make_datetime(date.year, date.month, date.day, time.hour, time.minute, time.second);

    // A completed item may keep a date in the past.
    if (ctx.state.edit_source != 1 && seconds_between(due, ctx.clock.now()) <= 0) {
        show_error(tk, "不可将时间设置为过去时间！");
        return;
    }

    if (time.hour > 24 || time.minute > 60 || time.second > 60) {
        show_error(tk, "时间设置错误！！");
        return;
    }

    ItemRecord& buffer = ctx.store.edit_buffer;
    buffer.name = name;
    buffer.marker = -2;
    buffer.note = tk.text(ControlId::编辑框_备注);
    buffer.due = due;

    const std::string question = "是否确认增加的项目信息如下：\r\n项目名称：" + buffer.name +
                                 "\r\n到期时间：" + datetime_to_text(buffer.due) + "\r\n备注：" +
                                 buffer.note;
    if (!tk.message_box(question, "提醒", MessageButtons::ok_cancel)) {
        return;  // the window stays open with everything entered
    }

    if (mode == kEditModeAdd) {
        append_item(ctx.store, ListId::pending, buffer);
    } else {
        replace_item(ctx.store);
    }
    refresh_item_list(ctx);
    // What the user confirmed is on disk at once. A failed save leaves the previous file whole,
    // and the save at exit tries again.
    save_items(ctx.store, ctx.run_dir);
    tk.destroy_window(WindowId::edit);
}

void close_edit_window(Context& ctx) {
    ctx.toolkit.destroy_window(WindowId::edit);
}

}  // namespace velunor
