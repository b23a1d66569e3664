// The ticker: a thread that asks the window thread for a tick once a second.
#pragma once

#include <memory>

#include "countdown/context.h"

namespace velunor {

class Ticker {
  public:
    explicit Ticker(Context& ctx);
    ~Ticker();  // stops and joins
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

    // Starts the thread; it runs ticker_loop while ctx.state.ticker_running is 1.
    void start();
    // Clears ticker_running, wakes the thread's wait at once and joins it. Safe to call twice.
    void stop_and_join();
    // True from start() until the thread's loop has returned.
    bool loop_running() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velunor
