// The program: the Qt toolkit, the items, the shared state and the main window's handlers,
// wired together; the main window's event loop runs until the window has gone.
#include "countdown/context.h"
#include "countdown/ticker.h"
#include "platform/instance_lock.h"
#include "platform/qt/qt_toolkit.h"
#include "platform/run_directory.h"
#include "ui/main/main_window.h"

int main(int argc, char** argv) {
    using namespace velunor;

    const std::filesystem::path run_dir = find_run_directory(executable_directory());
    // One program per data file: while a program runs on this directory, a second start ends
    // here, before it opens a window or reads data.db, and so cannot overwrite what the first
    // one saves. A lock that cannot be taken at all (a file system without locks) does not
    // keep the program from running. Held until main returns, after the final save.
    const InstanceLock lock(run_dir);
    if (lock.state() == InstanceLock::State::held_elsewhere) {
        return 0;
    }

    QtToolkit toolkit(argc, argv);
    ItemStore store;
    ProgramState state;
    const SystemClock clock;
    Context ctx{toolkit, store, state, clock, run_dir};
    // Declared after everything it touches, so it is stopped and joined (by the tear-down, or
    // at the latest by its destructor) before the store and the toolkit go.
    Ticker ticker(ctx);
    MainWindowEvents events(ctx, ticker);
    toolkit.set_event_handler(&events);

    const int status = toolkit.run_main_window();
    toolkit.set_event_handler(nullptr);
    return status;
}
