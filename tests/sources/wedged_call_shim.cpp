// Preloaded into the program, makes the libsigrok call that WEDGED_CALL
// names (sr_session_stop or sr_dev_close) block for good, as a driver that
// hangs does; the other is passed on to libsigrok.

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

bool wedged(const char* call) {
    const char* named = std::getenv("WEDGED_CALL");
    return named != nullptr && std::strcmp(named, call) == 0;
}

[[noreturn]] void blockForGood() {
    for (;;) {
        ::pause();
    }
}

// libsigrok's own function of that name.
using Call = int (*)(void*);
Call libsigrok(const char* call) {
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, call));
}

} // namespace

extern "C" int sr_session_stop(void* session) {
    if (wedged("sr_session_stop")) {
        blockForGood();
    }
    static const Call call = libsigrok("sr_session_stop");
    return call(session);
}

extern "C" int sr_dev_close(void* device) {
    if (wedged("sr_dev_close")) {
        blockForGood();
    }
    static const Call call = libsigrok("sr_dev_close");
    return call(device);
}
