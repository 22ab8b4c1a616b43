// The choice of window system for a parent handle, and the system that answers pointer and key queries.
#include "toolkit/backends/Headless.h"

namespace ql {

namespace {
TWindowSystem* gForced = nullptr;
TWindowSystem* gActive = nullptr;
} // namespace

void ForceWindowSystem(TWindowSystem* system) { gForced = system; }

TWindowSystem* WindowSystemFor(TNativeHandle parent) {
    TWindowSystem* chosen = gForced;
    if (!chosen && parent && HeadlessSystem().IsWindow(parent)) chosen = &HeadlessSystem();
    if (!chosen && parent) chosen = backends::NativeSystemFor(parent);
    if (chosen) gActive = chosen;
    return chosen;
}

TWindowSystem& ActiveWindowSystem() { return gActive ? *gActive : HeadlessSystem(); }

} // namespace ql
