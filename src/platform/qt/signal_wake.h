// Turns SIGTERM, SIGINT and SIGHUP into a readable byte on a pipe, so that the window thread
// can end the program in an orderly way: the handler itself only writes that byte.
#pragma once

#include <csignal>

namespace velunor::qt {

class SignalWake {
  public:
    SignalWake();
    ~SignalWake();
    SignalWake(const SignalWake&) = delete;
    SignalWake& operator=(const SignalWake&) = delete;

    // -1 when the pipe could not be made; the signals then keep their old handlers.
    int read_fd() const { return read_fd_; }
    // Routes the three signals to the pipe, until restore().
    void install();
    void restore();
    // Empties the pipe; true when a signal had arrived.
    bool drain();

  private:
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
    int read_fd_ = -1;
    int write_fd_ = -1;
    bool installed_ = false;
    struct sigaction old_[3] = {};
};

}  // namespace velunor::qt
