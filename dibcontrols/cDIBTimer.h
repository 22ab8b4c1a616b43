// TDIBTimer: the image layer's timer component, one hidden message window and system timer each.
#pragma once

#include "toolkit/Component.h"
#include "toolkit/MessageLoop.h"

#include <cstdint>
#include <memory>

namespace ql {

/// Fires OnTimer every Interval milliseconds while Enabled. A timer with Interval 0 or without
/// OnTimer holds no window and no system timer; a timer the system refuses turns Enabled off.
/// User-interface thread only: ticks arrive through that thread's message pump.
class TDIBTimer : public TComponent {
    QL_CLASS(TDIBTimer)
  public:
    explicit TDIBTimer(TComponent* AOwner);
    /// Stops the timer and destroys its window.
    ~TDIBTimer() override;

    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool Value);
    std::uint32_t Interval() const { return fInterval; }
    void SetInterval(std::uint32_t Value);
    const TNotifyEvent& OnTimer() const { return fOnTimer; }
    /// Always re-arms, so assigning a handler starts an enabled timer.
    void SetOnTimer(const TNotifyEvent& Value);
    /// Whether a system timer is running now.
    bool Running() const { return fWindow != nullptr; }

  protected:
    /// One tick: fires OnTimer. Called on the user-interface thread from the message pump.
    virtual void Timer();

  private:
    void UpdateTimer();
    void WndProc(TMessage& Message);

    std::unique_ptr<TMessageWindow> fWindow;
    std::uint32_t fInterval = 1000;
    TNotifyEvent fOnTimer;
    bool fEnabled = false;
};

} // namespace ql
