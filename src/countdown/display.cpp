#include "countdown/display.h"

#include <cstddef>
#include <string>

#include "common/text.h"
#include "countdown/duration.h"

namespace velunor {

namespace {

// The counted-down record, or nullptr when countdown_position addresses none (no countdown, or
// deletions have left fewer records than the position).
const ItemRecord* counted_item(const Context& ctx) {
    const int32_t position = ctx.state.countdown_position;
    const ItemList& items = ctx.store.pending_items;
    if (position <= 0 || static_cast<size_t>(position) > items.size()) {
        return nullptr;
    }
    return &items[static_cast<size_t>(position) - 1];
}

// Ends the countdown: the stop label goes and the years/months/days text is emptied. The time
// and the date label keep their texts until the next tick shows the clock.
void end_countdown(Context& ctx) {
    ctx.state.countdown_position = -1;
    ctx.toolkit.set_visible(ControlId::透明标签_停止, false);
    ctx.toolkit.set_text(ControlId::透明标签_差大值, std::string());
}

std::string two_digit_component(int64_t remaining, int32_t selector) {
    return two_digit(text_to_int(break_down_duration(remaining, selector)));
}

}  // namespace

void show_clock(Context& ctx) {
    const DateParts now = datetime_parts(ctx.clock.now());

    std::string time = two_digit(now.hour);
    time += ':';
    time += two_digit(now.minute);
    time += ':';
    time += two_digit(now.second);
    ctx.toolkit.set_text(ControlId::透明标签_time, time);

    std::string date = std::to_string(now.year);
    date += "年";
    date += std::to_string(now.month);
    date += "月";
    date += std::to_string(now.day);
    date += "日";
    ctx.toolkit.set_text(ControlId::透明标签_日期, date);
}

void show_countdown(Context& ctx) {
    if (ctx.state.countdown_position <= 0) {
        return;
    }
    const ItemRecord* item = counted_item(ctx);
    if (item == nullptr) {
        end_countdown(ctx);
        return;
    }
    const int64_t remaining = seconds_between(item->due, ctx.clock.now());
    if (remaining <= 0) {
        end_countdown(ctx);
        return;
    }

    // Whole years, months and days; each only when above 0. The component texts are appended
    // as they are, so a count beyond the 32-bit range still shows its true years.
    static constexpr const char* kWords[] = {"年", "月", "天"};
    std::string left = "剩余:";
    for (int32_t selector = 1; selector <= 3; ++selector) {
        const std::string component = break_down_duration(remaining, selector);
        if (text_to_int(component) > 0) {
            left += component;
            left += kWords[selector - 1];
        }
    }
    ctx.toolkit.set_text(ControlId::透明标签_差大值, left);

    std::string time = two_digit_component(remaining, 4);
    time += ':';
    time += two_digit_component(remaining, 5);
    time += ':';
    time += two_digit_component(remaining, 6);
    ctx.toolkit.set_text(ControlId::透明标签_time, time);
}

void tick(Context& ctx) {
    if (ctx.state.countdown_position <= 0) {
        show_clock(ctx);
        return;
    }
    const ItemRecord* item = counted_item(ctx);
    if (item == nullptr) {
        // The position lies past the end of the list: end the countdown as at expiry.
        end_countdown(ctx);
        return;
    }
    ctx.toolkit.set_text(ControlId::透明标签_日期, item->name);
    show_countdown(ctx);
}

void start_countdown(Context& ctx) {
    const int32_t selected = ctx.toolkit.list_selected();
    if (selected < 0 || ctx.state.list_mode != 0) {
        return;
    }
    // Read the entry before the question: the answer applies to the entry the user asked about.
    const int32_t position = ctx.toolkit.list_value(selected);
    const std::string question = "是否开始倒计时： '" + ctx.toolkit.list_text(selected) + "'  ?";
    if (!ctx.toolkit.message_box(question, "提醒", MessageButtons::ok_cancel)) {
        return;
    }
    ctx.state.countdown_position = position;
    ctx.toolkit.set_visible(ControlId::透明标签_停止, true);
}

void stop_countdown(Context& ctx) {
    end_countdown(ctx);
}

}  // namespace velunor
