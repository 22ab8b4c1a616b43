// The pump, the clock and the timer table.
#include "toolkit/MessageLoop.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <vector>

#include "toolkit/Application.h"
#include "toolkit/backends/Platform.h"

namespace ql {

namespace {

std::uint32_t (*gTickSource)() = nullptr;

struct TimerEntry {
    TMessageWindow* window;
    std::uintptr_t id;
    std::uint32_t interval;
    std::uint32_t due;
};

std::vector<TimerEntry>& Timers() {
    static std::vector<TimerEntry> timers;
    return timers;
}

// Tick comparison that survives the counter wrapping.
bool Reached(std::uint32_t now, std::uint32_t due) { return static_cast<std::int32_t>(now - due) >= 0; }

void DeliverTimers() {
    const std::uint32_t now = GetTickCount();
    // Handlers may start and stop timers; work from a snapshot and re-check each entry.
    const std::vector<TimerEntry> snapshot = Timers();
    for (const TimerEntry& e : snapshot) {
        auto& timers = Timers();
        auto it = std::find_if(timers.begin(), timers.end(),
                               [&](const TimerEntry& t) { return t.window == e.window && t.id == e.id; });
        if (it == timers.end() || !Reached(now, it->due)) continue;
        it->due = now + it->interval;
        TMessageWindow* w = it->window;
        w->Perform(WM_TIMER, e.id, 0);
    }
}

} // namespace

std::uint32_t GetTickCount() {
    if (gTickSource) return gTickSource();
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetTickSource(std::uint32_t (*source)()) { gTickSource = source; }

TMessageWindow::TMessageWindow(TWindowProc proc) : fProc(proc) {
    // A replaced clock must drive every timer, so tests see them tick on their own time.
    if (!gTickSource)
        fNative =
            backends::CreateTimerWindow(TEvent<void(std::uintptr_t)>::Of<&TMessageWindow::NativeTick>(this));
}

TMessageWindow::~TMessageWindow() {
    fNative.reset();
    auto& timers = Timers();
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [this](const TimerEntry& t) { return t.window == this; }),
                 timers.end());
}

bool TMessageWindow::SetTimer(std::uintptr_t id, std::uint32_t intervalMs) {
    if (fNative) return fNative->SetTimer(id, std::max(intervalMs, kMinTimerInterval));
    auto& timers = Timers();
    const std::uint32_t interval = std::max(intervalMs, kMinTimerInterval);
    for (TimerEntry& t : timers)
        if (t.window == this && t.id == id) {
            t.interval = interval;
            t.due = GetTickCount() + interval;
            return true;
        }
    if (timers.size() >= kMaxTimers) return false;
    timers.push_back({this, id, interval, GetTickCount() + interval});
    return true;
}

bool TMessageWindow::KillTimer(std::uintptr_t id) {
    if (fNative) return fNative->KillTimer(id);
    auto& timers = Timers();
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const TimerEntry& t) { return t.window == this && t.id == id; });
    if (it == timers.end()) return false;
    timers.erase(it);
    return true;
}

std::intptr_t TMessageWindow::Perform(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
    TMessage m{msg, wparam, lparam, 0};
    if (!fProc) return 0;
    try {
        fProc(m);
    } catch (const std::exception& e) {
        Application()->HandleException(e);
    }
    return m.Result;
}

void TMessageWindow::NativeTick(std::uintptr_t id) { Perform(WM_TIMER, id, 0); }

std::size_t RunningTimerCount() { return Timers().size() + backends::NativeTimerCount(); }

void ProcessMessages() {
    backends::Headless().ProcessEvents();
    backends::PumpNative();
    DeliverTimers();
    backends::Headless().ProcessEvents();
    backends::PumpNative();
}

} // namespace ql
