// The window-system seam: the little the toolkit asks of a native window system.
//
// Every backend (headless, and the build's native one: X11 in full Linux builds, Win32 in the
// Windows builds) implements TWindowSystem and TPlatformWindow in one file; WindowSystem.cpp
// chooses between them. Nothing here runs on any thread but the user-interface thread, and
// nothing here starts a thread: events reach the toolkit from ProcessEvents, which the toolkit's
// pump calls, or, where the system has a message loop of its own (Windows), from that loop when
// the host dispatches the thread's messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/Events.h"
#include "toolkit/Graphics.h"
#include "toolkit/Messages.h"

namespace ql {

class TDrawingSurface;

/// A native window handle as hosts hand them over (an X11 Window, an HWND, a headless handle).
using TNativeHandle = std::uintptr_t;

/// Cursor shapes a control asks for; each backend maps them to its own.
using TCursor = std::int16_t;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11,
                  crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15, crMultiDrag = -16,
                  crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21,
                  crSizeAll = -22;

/// Receives a native window's events as toolkit messages: mouse messages in window coordinates,
/// keys, WM_MOUSELEAVE, WM_CAPTURECHANGED, and WM_PAINT with LParam pointing at the TRect to
/// repaint (valid during the call). Called on the user-interface thread from ProcessEvents.
class TPlatformWindowSink {
  public:
    virtual ~TPlatformWindowSink() = default;
    virtual void PlatformMessage(TMessage& message) = 0;
};

/// One native child window. Destroying the object destroys the native window.
class TPlatformWindow {
  public:
    virtual ~TPlatformWindow() = default;
    virtual TNativeHandle Handle() const = 0;
    /// Position relative to the parent and size.
    virtual void SetBounds(const TRect& bounds) = 0;
    virtual void Show(bool visible) = 0;
    /// Asks for a WM_PAINT covering r at a later ProcessEvents.
    virtual void Invalidate(const TRect& r) = 0;
    /// Takes r out of what waits to be painted.
    virtual void Validate(const TRect& r) = 0;
    /// Copies rectangle r of the surface (device coordinates, same position in the window).
    virtual void Present(const TDrawingSurface& surface, const TRect& r) = 0;
    /// Mouse capture: while held, every pointer event goes to this window, also outside it.
    virtual void SetCapture(bool capture) = 0;
    /// Shows one of the toolkit's cursor shapes (crDefault, crHandPoint, ...).
    virtual void SetCursorShape(TCursor cursor) = 0;
    virtual TPoint ClientToScreen(TPoint p) const = 0;
    /// Asks for the keyboard focus.
    virtual void SetFocus() = 0;
};

class TWindowSystem {
  public:
    virtual ~TWindowSystem() = default;
    virtual const char* Name() const = 0;
    /// A child window inside the foreign parent; null when it cannot be created, and for a parent
    /// that is not a window of this system (no window is ever made outside a parent).
    virtual std::unique_ptr<TPlatformWindow> CreateChildWindow(TNativeHandle parent, const TRect& bounds,
                                                               TPlatformWindowSink& sink) = 0;
    /// Pointer position in screen coordinates.
    virtual TPoint CursorPos() = 0;
    /// Whether a key or mouse button (VK_*) is held.
    virtual bool IsKeyDown(int virtualKey) = 0;
    /// Delivers pending native events to their windows' sinks.
    virtual void ProcessEvents() = 0;
};

/// The window system to embed into `parent`: a forced one (tests), the headless system for its
/// own windows, the native one when the handle is one of its windows; null when no system knows
/// the handle (a host that passed something else), so no window is made that nobody could see.
TWindowSystem* WindowSystemFor(TNativeHandle parent);
/// The window system that answers cursor and key-state queries (the last one a window was made in).
TWindowSystem& ActiveWindowSystem();
/// Forces every new window into `system` (null: choose by handle again).
void ForceWindowSystem(TWindowSystem* system);

/// Pixel memory of a drawing surface that the native drawing system can draw on as well (on
/// Windows a DIB section selected into a memory device context): 32-bit pixels, rows bottom-up
/// without padding, zeroed when made.
class TNativeSurfaceMemory {
  public:
    virtual ~TNativeSurfaceMemory() = default;
    virtual std::uint8_t* Bits() const = 0;
    /// The native device context the pixels are selected into.
    virtual TNativeHandle DeviceContext() const = 0;
};

/// A hidden native window that receives system timers through the thread's message loop.
class TNativeTimerWindow {
  public:
    virtual ~TNativeTimerWindow() = default;
    /// False when the system refuses the timer.
    virtual bool SetTimer(std::uintptr_t id, std::uint32_t intervalMs) = 0;
    virtual bool KillTimer(std::uintptr_t id) = 0;
};

/// Backend hooks, each defined by exactly one backend file of the build.
namespace backends {
TWindowSystem& Headless();
/// The build's native system when `parent` is one of its windows; null otherwise or when the
/// build has none.
TWindowSystem* NativeSystemFor(TNativeHandle parent);
/// Pumps the native system when it is in use (no-op otherwise).
void PumpNative();
/// Native pixel memory for a width × height surface (both above 0); null in builds whose surfaces
/// live in plain memory. Raises when the system cannot make it.
std::unique_ptr<TNativeSurfaceMemory> CreateSurfaceMemory(std::int32_t width, std::int32_t height);
/// A hidden window whose system timers call tick(id) from the thread's message loop; null in
/// builds whose timers are the toolkit's own (ticked by ProcessMessages).
std::unique_ptr<TNativeTimerWindow> CreateTimerWindow(TEvent<void(std::uintptr_t)> tick);
/// System timers running in the native timer windows.
std::size_t NativeTimerCount();
} // namespace backends

} // namespace ql
