// The headless window system: windows in memory, injected input, a clock that tests advance.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/Surface.h"
#include "toolkit/backends/Platform.h"

namespace ql {

/// A window system without a display. It keeps every window's presented pixels, so what a form
/// showed can be read back; input and time only move when the caller says so.
class THeadlessWindowSystem final : public TWindowSystem {
  public:
    THeadlessWindowSystem();
    ~THeadlessWindowSystem() override;

    const char* Name() const override { return "headless"; }
    std::unique_ptr<TPlatformWindow> CreateChildWindow(TNativeHandle parent, const TRect& bounds,
                                                       TPlatformWindowSink& sink) override;
    TPoint CursorPos() override { return fCursor; }
    bool IsKeyDown(int virtualKey) override;
    void ProcessEvents() override;

    // Host side ---------------------------------------------------------------------------------
    /// A top-level window as a host would make one, at `screenBounds`.
    TNativeHandle CreateHostWindow(const TRect& screenBounds);
    void DestroyHostWindow(TNativeHandle handle);
    bool IsWindow(TNativeHandle handle) const;
    /// Child windows (made through CreateChildWindow) still alive.
    std::size_t ChildWindowCount() const;
    std::vector<TNativeHandle> ChildrenOf(TNativeHandle parent) const;
    TNativeHandle ParentOf(TNativeHandle handle) const;
    TRect WindowBounds(TNativeHandle handle) const;
    bool WindowVisible(TNativeHandle handle) const;
    TNativeHandle CaptureWindow() const { return fCapture; }
    TNativeHandle FocusWindow() const { return fFocus; }
    /// What the window last presented (window-sized; zero where nothing was presented).
    const TDrawingSurface* WindowPixels(TNativeHandle handle) const;
    /// The cursor shape the window shows (crDefault, crHandPoint, ...).
    TCursor WindowCursor(TNativeHandle handle) const;
    /// Number of WM_PAINT messages sent so far.
    std::size_t PaintCount() const { return fPaintCount; }

    // Input (screen coordinates; delivered by the next ProcessEvents) ----------------------------
    void MoveMouse(TPoint screen);
    void PressButton(TMouseButton button, TPoint screen);
    void ReleaseButton(TMouseButton button, TPoint screen);
    void PressKey(int virtualKey);
    void ReleaseKey(int virtualKey);
    void TypeChar(char32_t ch);

    // Clock ---------------------------------------------------------------------------------------
    /// Installs (true) or removes (false) this system's clock as the toolkit's clock.
    void UseVirtualClock(bool on);
    std::uint32_t Now() const { return fNow; }
    void AdvanceTime(std::uint32_t ms) { fNow += ms; }

    /// Drops queued input, host windows and key state; child windows are left to their owners.
    void Reset();

    struct Window;

  private:
    friend class THeadlessWindow;
    Window* Find(TNativeHandle handle) const;
    TPoint ScreenOrigin(const Window& w) const;
    /// The deepest visible child window at a screen point, or 0.
    TNativeHandle ChildAt(TPoint screen) const;
    void Send(TNativeHandle target, TMessage m);
    void DeliverMouse(std::uint32_t msg, TPoint screen);
    std::uintptr_t MouseKeys() const;
    void UpdateHover(TPoint screen);
    void RemoveWindow(TNativeHandle handle);

    std::vector<std::unique_ptr<Window>> fWindows; // creation order = z-order among siblings
    std::vector<std::function<void()>> fInput;
    std::vector<int> fKeysDown;
    TPoint fCursor;
    TNativeHandle fCapture = 0, fHover = 0, fFocus = 0;
    TNativeHandle fNextHandle = 0x7F000001;
    std::uint32_t fNow = 0;
    std::size_t fPaintCount = 0;
};

THeadlessWindowSystem& HeadlessSystem();

} // namespace ql
