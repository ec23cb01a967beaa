// The parts of the platform layer that are the same on every OS: which layer
// is installed (the native one, or a test's fault-injecting layer in front of it).
#include "platform/platform.h"

namespace zub::platform {

namespace {
os* installed = nullptr;
}

os& current() { return installed ? *installed : native_os(); }

os* install(os* layer) {
    os* previous = installed;
    installed = layer;
    return previous;
}

}  // namespace zub::platform
