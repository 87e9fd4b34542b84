// Preloaded into the program: the libsigrok call that WEDGED_CALL names
// blocks for good, as in a driver that hangs; the other is libsigrok's own.

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

int pass(const char* call, void* argument) {
    const char* wedged = std::getenv("WEDGED_CALL");
    while (wedged != nullptr && std::strcmp(wedged, call) == 0) {
        ::pause();
    }
    return reinterpret_cast<int (*)(void*)>(::dlsym(RTLD_NEXT, call))(argument);
}

} // namespace

extern "C" int sr_session_stop(void* session) {
    return pass("sr_session_stop", session);
}

extern "C" int sr_dev_close(void* device) {
    return pass("sr_dev_close", device);
}
