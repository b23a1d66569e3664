// Loading fontconfig's configuration on a thread of its own while the application starts.
#pragma once

#include <thread>

namespace velunor::qt {

// Reading fontconfig's configuration files and font caches is the largest single step before
// the panel can draw its first frame, and nothing else needs it until the first font is
// chosen. This starts it on a thread of its own, to run beside the application's connection to
// the display; wait() returns once it is done. Qt's own start of fontconfig then finds it loaded
// (fontconfig's loading is thread-safe: whichever thread comes second waits or finds it done).
class FontconfigWarmUp {
  public:
    FontconfigWarmUp();
    ~FontconfigWarmUp();
    FontconfigWarmUp(const FontconfigWarmUp&) = delete;
    FontconfigWarmUp& operator=(const FontconfigWarmUp&) = delete;

    void wait();

  private:
    std::thread thread_;
};

}  // namespace velunor::qt
