#include "countdown/ticker.h"

namespace velunor {
// Not written yet.
struct Ticker::Impl {};
Ticker::Ticker(Context&) : impl_(std::make_unique<Impl>()) {}
Ticker::~Ticker() = default;
void Ticker::start() {}
void Ticker::stop_and_join() {}
}  // namespace velunor
