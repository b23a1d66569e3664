#include "platform/qt/fontconfig_warm_up.h"

#include <dlfcn.h>

#include <system_error>

namespace velunor::qt {

namespace {

using FcInitFunction = int (*)();

// fontconfig's FcInit, found among the libraries already loaded (Qt's font database links
// fontconfig), or nullptr where Qt was built without it.
FcInitFunction find_fc_init() {
    return reinterpret_cast<FcInitFunction>(dlsym(RTLD_DEFAULT, "FcInit"));
}

}  // namespace

FontconfigWarmUp::FontconfigWarmUp() {
    const FcInitFunction fc_init = find_fc_init();
    if (fc_init == nullptr) {
        return;
    }
    try {
        thread_ = std::thread([fc_init] { (void)fc_init(); });
    } catch (const std::system_error&) {
        // No thread to spare: Qt loads the configuration itself when it first needs it.
    }
}

FontconfigWarmUp::~FontconfigWarmUp() {
    wait();
}

void FontconfigWarmUp::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace velunor::qt
