// The commands of the list menu and the tab menu.
#pragma once

#include "countdown/context.h"

namespace velunor {

void new_target(Context& ctx);         // "新增目标"
void modify_selected(Context& ctx);    // "修改"
void delete_selected(Context& ctx);    // "删除"
void complete_selected(Context& ctx);  // "完成"
void show_details(Context& ctx);       // "详情"

}  // namespace velunor
