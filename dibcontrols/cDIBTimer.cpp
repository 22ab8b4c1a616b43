// TDIBTimer on the toolkit's message windows and timers.
#include "dibcontrols/cDIBTimer.h"

namespace ql {

namespace {
constexpr std::uintptr_t kTimerId = 1;
}

const TClassInfo& TDIBTimer::StaticClass() {
    static TClassInfo info("TDIBTimer", &TComponent::StaticClass, ComponentFactory<TDIBTimer>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDIBTimer> b(i);
        b.Boolean("Enabled", &TDIBTimer::Enabled, &TDIBTimer::SetEnabled);
        b.Integer("Interval", &TDIBTimer::Interval, &TDIBTimer::SetInterval, 1000, "Cardinal");
        b.Event(
            "OnTimer", "TNotifyEvent", [](const TDIBTimer& t) { return t.OnTimer(); },
            [](TDIBTimer& t, const TMethod& m) { t.SetOnTimer(TNotifyEvent(m)); });
    });
}

TDIBTimer::TDIBTimer(TComponent* AOwner) : TComponent(AOwner) {}

TDIBTimer::~TDIBTimer() {
    fEnabled = false;
    UpdateTimer();
}

void TDIBTimer::SetEnabled(bool Value) {
    if (Value == fEnabled) return;
    fEnabled = Value;
    UpdateTimer();
}

void TDIBTimer::SetInterval(std::uint32_t Value) {
    if (Value == fInterval) return;
    fInterval = Value;
    UpdateTimer();
}

void TDIBTimer::SetOnTimer(const TNotifyEvent& Value) {
    fOnTimer = Value;
    UpdateTimer();
}

void TDIBTimer::UpdateTimer() {
    // Re-arming may happen inside our own tick (a handler that stops or retunes the timer): the
    // window being dispatched goes away, and the pump no longer finds its timer.
    if (fWindow) fWindow->KillTimer(kTimerId);
    fWindow.reset();
    if (fInterval == 0 || !fEnabled || !fOnTimer) return;
    fWindow = std::make_unique<TMessageWindow>(TMessageWindow::TWindowProc::Of<&TDIBTimer::WndProc>(this));
    if (!fWindow->SetTimer(kTimerId, fInterval)) {
        fEnabled = false;
        fWindow.reset();
    }
}

void TDIBTimer::WndProc(TMessage& Message) {
    // Exceptions from the handler reach the application's handler through the message window.
    if (Message.Msg == WM_TIMER) Timer();
}

void TDIBTimer::Timer() {
    if (fOnTimer) fOnTimer(this);
}

} // namespace ql
