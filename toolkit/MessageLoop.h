// The user-interface thread's message pump: clock, timers on hidden message windows, event delivery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/Events.h"
#include "toolkit/Messages.h"

namespace ql {

class TNativeTimerWindow;

/// Milliseconds of the toolkit's clock (wraps after 49.7 days, like every tick counter).
std::uint32_t GetTickCount();
/// Replaces the clock (the headless backend's deterministic one); null restores the system clock.
void SetTickSource(std::uint32_t (*source)());

/// Shortest interval a timer runs at; shorter requests run at this rate.
constexpr std::uint32_t kMinTimerInterval = 10;
/// Running timers of the toolkit's own table the process may hold; creating more fails.
constexpr std::size_t kMaxTimers = 10000;

/// A hidden window that only receives messages: timers and messages sent to it. Its procedure
/// runs on the user-interface thread. Where the window system has timers of its own (Windows),
/// the window is a native one and its ticks come through the thread's message loop; elsewhere,
/// and while a replaced clock runs (tests), they come from the toolkit's table in ProcessMessages.
class TMessageWindow {
  public:
    using TWindowProc = TEvent<void(TMessage&)>;
    explicit TMessageWindow(TWindowProc proc);
    ~TMessageWindow();
    TMessageWindow(const TMessageWindow&) = delete;
    TMessageWindow& operator=(const TMessageWindow&) = delete;

    /// Starts (or restarts) timer `id`: a WM_TIMER with WParam id every interval milliseconds.
    /// Returns false, and starts nothing, when the timer cannot be created.
    bool SetTimer(std::uintptr_t id, std::uint32_t intervalMs);
    /// Stops timer `id`; false when it was not running.
    bool KillTimer(std::uintptr_t id);
    /// Runs the procedure; an exception from it goes to the application's exception handler.
    std::intptr_t Perform(std::uint32_t msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

  private:
    void NativeTick(std::uintptr_t id);
    TWindowProc fProc;
    std::unique_ptr<TNativeTimerWindow> fNative;
};

/// Number of running timers in the process (for tests and diagnostics).
std::size_t RunningTimerCount();

/// One pass of the pump: pending window-system events, then due timers (at most one tick per
/// timer per pass; a late timer does not catch up), then the paints that those asked for.
/// Hosts reach it through their idle calls; nothing else delivers events.
void ProcessMessages();

} // namespace ql
