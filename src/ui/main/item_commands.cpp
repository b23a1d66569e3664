#include "ui/main/item_commands.h"

#include <optional>
#include <string>

#include "common/datetime.h"
#include "countdown/display.h"
#include "store/data_file.h"
#include "store/item_store.h"
#include "ui/edit/edit_window.h"
#include "ui/main/main_window.h"

namespace velunor {

namespace {

struct Selection {
    int32_t position = 0;  // the entry's value: the record's 1-based place in the list shown
    std::string text;
};

ListId shown_list(const ProgramState& state) {
    return state.list_mode == 1 ? ListId::completed : ListId::pending;
}

// The selected entry of the list box, when there is one and its value names a record of the
// list shown.
std::optional<Selection> selected_entry(const Context& ctx) {
    const Toolkit& tk = ctx.toolkit;
    const int32_t index = tk.list_selected();
    if (index < 0) {
        return std::nullopt;
    }
    Selection selection{tk.list_value(index), tk.list_text(index)};
    const auto count = static_cast<int64_t>(ctx.store.list(shown_list(ctx.state)).size());
    if (selection.position < 1 || selection.position > count) {
        return std::nullopt;
    }
    return selection;
}

// The counted-down item is addressed by its place in pending_items. When the pending item at
// `removed` goes, the countdown stays on its own item: a removal before it moves it up one
// place, and the removal of the item itself ends the countdown.
void follow_pending_removal(Context& ctx, int32_t removed) {
    int32_t& counted = ctx.state.countdown_position;
    if (counted <= 0) {
        return;
    }
    if (removed < counted) {
        --counted;
    } else if (removed == counted) {
        stop_countdown(ctx);
    }
}

// After every confirmed change: the list box shows the changed list, and the lists are on
// disk at once. A failed save leaves the previous file whole; the save at exit tries again.
void after_change(Context& ctx) {
    refresh_item_list(ctx);
    save_items(ctx.store, ctx.run_dir);
}

}  // namespace

void new_target(Context& ctx) {
    // The main window takes no input while the edit window is open; should a command arrive
    // anyway, it must not change what the open form works on.
    if (ctx.state.edit_window_open) {
        return;
    }
    ctx.state.edit_source = 0;
    open_edit_window(ctx, kEditModeAdd);
}

void modify_selected(Context& ctx) {
    if (ctx.state.edit_window_open) {
        return;
    }
    const auto selection = selected_entry(ctx);
    if (!selection) {
        return;
    }
    const ListId list = shown_list(ctx.state);
    copy_to_edit_buffer(ctx.store, list, selection->position);
    ctx.state.edit_source = list == ListId::completed ? 1 : 0;
    open_edit_window(ctx, kEditModeModify);
}

void delete_selected(Context& ctx) {
    const auto selection = selected_entry(ctx);
    if (!selection) {
        return;
    }
    const std::string question = "是否删除 '" + selection->text + "' 记录？";
    if (!ctx.toolkit.message_box(question, "删除将无法恢复！", MessageButtons::ok_cancel)) {
        return;
    }
    const ListId list = shown_list(ctx.state);
    remove_item(ctx.store, list, selection->position);
    if (list == ListId::pending) {
        follow_pending_removal(ctx, selection->position);
    }
    after_change(ctx);
}

void complete_selected(Context& ctx) {
    // Only pending items can be completed; the completed list's entries are positions in the
    // other list.
    if (ctx.state.list_mode != 0) {
        return;
    }
    const auto selection = selected_entry(ctx);
    if (!selection) {
        return;
    }
    const std::string& name =
        ctx.store.pending_items[static_cast<size_t>(selection->position - 1)].name;
    const std::string question =
        "是否完成： '" + name + "' 项目\r\n提醒，完成后将无法返回到未完成！";
    if (!ctx.toolkit.message_box(question, "警告！", MessageButtons::ok_cancel)) {
        return;
    }
    complete_item(ctx.store, selection->position);
    follow_pending_removal(ctx, selection->position);
    after_change(ctx);
}

void show_details(Context& ctx) {
    const auto selection = selected_entry(ctx);
    if (!selection) {
        return;
    }
    const ItemRecord& record =
        ctx.store.list(shown_list(ctx.state))[static_cast<size_t>(selection->position - 1)];
    const std::string details = "数据名： '" + selection->text + "' \r\n到期时间：" +
                                datetime_to_text(record.due) + "\r\n备注：" + record.note;
    ctx.toolkit.message_box(details, "详情", MessageButtons::ok);
}

}  // namespace velunor
