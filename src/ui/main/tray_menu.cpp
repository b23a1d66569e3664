#include "ui/main/tray_menu.h"

#include "ui/edit/edit_window.h"

namespace velunor {

void open_tray_menu(Context& ctx, int code) {
    if (code != kTrayContextMenu) {
        return;
    }
    ctx.toolkit.popup_menu(MenuId::菜单_托盘, ctx.toolkit.pointer_position());
}

// Does nothing while the edit window is open (open_edit_window ignores the request), so the
// form and what has been typed into it stay as they are.
void show_help(Context& ctx) {
    open_edit_window(ctx, kEditModeHelp);
}

void exit_program(Context& ctx) {
    // An open edit window goes first, dropping whatever it holds unconfirmed; the main window's
    // destruction then saves the lists and ends the program. Both requests are deferred, and
    // the toolkit ignores the first when the edit window is not open.
    ctx.toolkit.destroy_window(WindowId::edit);
    ctx.toolkit.destroy_window(WindowId::main);
}

}  // namespace velunor
