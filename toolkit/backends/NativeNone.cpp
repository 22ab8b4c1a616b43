// Builds without a native window system: no handle is ever a native window.
#include "toolkit/backends/Platform.h"

namespace ql::backends {
TWindowSystem* NativeSystemFor(TNativeHandle) { return nullptr; }
void PumpNative() {}
} // namespace ql::backends
