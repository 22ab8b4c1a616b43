// Builds without an X11 backend: no handle is ever an X11 window.
#include "toolkit/backends/Platform.h"

namespace ql::backends {
TWindowSystem* X11For(TNativeHandle) { return nullptr; }
void PumpX11() {}
} // namespace ql::backends
