#include "countdown/ticker.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "countdown/display.h"
#include "platform/wait.h"

namespace velunor {

namespace {

// Shared between the ticker and the tick tasks it posts, which may run after the ticker is gone.
struct TickShare {
    // Cleared by stop_and_join: a tick task that runs afterwards does nothing.
    std::atomic<bool> live{true};
    // A posted tick has not run yet; the ticker posts no second one meanwhile, so a window thread
    // that is held up finds one tick waiting, not a backlog.
    std::atomic<bool> tick_queued{false};
};

}  // namespace

struct Ticker::Impl {
    explicit Impl(Context& context) : ctx(context) {}

    // Asks the window thread for a tick. The tick itself runs there, in turn with every change
    // of the lists and with the countdown commands, so it needs no lock.
    void post_tick() {
        if (share->tick_queued.exchange(true)) {
            return;
        }
        ctx.toolkit.post([share = share, context = &ctx] {
            share->tick_queued.store(false);
            if (!share->live.load() || context->state.ticker_running.load() != 1) {
                return;
            }
            tick(*context);
        });
    }

    // The ticker thread: a tick, then a one-second wait, while ticker_running is exactly 1.
    void ticker_loop() {
        while (ctx.state.ticker_running.load() == 1) {
            post_tick();
            responsive_wait(1, kWaitSeconds, queue);
        }
        loop_running.store(false);
    }

    Context& ctx;
    TaskQueue queue;  // the ticker thread's own queue; stop_and_join wakes the wait through it
    std::shared_ptr<TickShare> share;
    std::atomic<bool> loop_running{false};
    std::thread thread;
};

Ticker::Ticker(Context& ctx) : impl_(std::make_unique<Impl>(ctx)) {}

Ticker::~Ticker() {
    stop_and_join();
}

void Ticker::start() {
    if (impl_->thread.joinable()) {
        return;
    }
    impl_->share = std::make_shared<TickShare>();
    impl_->loop_running.store(true);
    try {
        impl_->thread = std::thread([impl = impl_.get()] { impl->ticker_loop(); });
    } catch (const std::system_error&) {
        // No thread: the clock stays as it was last shown and everything else works as usual.
        impl_->loop_running.store(false);
    }
}

void Ticker::stop_and_join() {
    impl_->ctx.state.ticker_running.store(0);
    if (impl_->share) {
        impl_->share->live.store(false);
    }
    if (!impl_->thread.joinable()) {
        return;
    }
    TaskQueue& queue = impl_->queue;
    queue.post([&queue] { queue.end_wait(); });
    impl_->thread.join();
    // The thread may have ended before its wait ran the wake-up; drop it so that a later start
    // does not begin with a shortened wait.
    queue.run_pending();
    queue.take_end_request();
}

bool Ticker::loop_running() const {
    return impl_->loop_running.load();
}

}  // namespace velunor
