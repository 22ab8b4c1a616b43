// Builds without a native window system: no handle is ever a native window, surfaces are plain
// memory and timers are the toolkit's own.
#include "toolkit/backends/Platform.h"

namespace ql::backends {
TWindowSystem* NativeSystemFor(TNativeHandle) { return nullptr; }
void PumpNative() {}
std::unique_ptr<TNativeSurfaceMemory> CreateSurfaceMemory(std::int32_t, std::int32_t) { return nullptr; }
std::unique_ptr<TNativeTimerWindow> CreateTimerWindow(TEvent<void(std::uintptr_t)>) { return nullptr; }
std::size_t NativeTimerCount() { return 0; }
} // namespace ql::backends
