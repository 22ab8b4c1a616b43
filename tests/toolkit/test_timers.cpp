// Timers: ticks only through the pump, one entry per timer, restart, stop, failure and errors.
#include "ToolkitTest.h"

#include "toolkit/Application.h"

using namespace ql;
using namespace ql::test;

namespace {
struct Ticks {
    std::vector<std::pair<std::uintptr_t, std::uint32_t>> log;
    bool fail = false;
    void Proc(TMessage& m) {
        if (m.Msg != WM_TIMER) return;
        log.push_back({m.WParam, GetTickCount()});
        if (fail) throw Exception("tick failed");
    }
};
} // namespace

TEST_F(HeadlessTest, TimersTickThroughThePumpAtTheirOwnIntervals) {
    Ticks t;
    TMessageWindow w(TMessageWindow::TWindowProc::Of<&Ticks::Proc>(&t));
    ASSERT_TRUE(w.SetTimer(1, 50));
    ASSERT_TRUE(w.SetTimer(2, 120));
    EXPECT_EQ(RunningTimerCount(), 2u);
    for (int i = 0; i < 25; ++i) {
        sys().AdvanceTime(10);
        EXPECT_TRUE(t.log.empty() || t.log.back().second <= GetTickCount()); // never ahead of the pump
        Pump();
    }
    // Timer 1 at 50, 100, 150, 200, 250; timer 2 at 120, 240.
    std::vector<std::pair<std::uintptr_t, std::uint32_t>> expected{{1, 50},  {1, 100}, {2, 120}, {1, 150},
                                                                   {1, 200}, {2, 240}, {1, 250}};
    EXPECT_EQ(t.log, expected);
    // Nothing ticks without the pump, and a late pump delivers one tick, not a burst.
    t.log.clear();
    sys().AdvanceTime(1000);
    EXPECT_TRUE(t.log.empty());
    Pump();
    EXPECT_EQ(t.log.size(), 2u);
}

TEST_F(HeadlessTest, RestartingAndStoppingATimer) {
    Ticks t;
    TMessageWindow w(TMessageWindow::TWindowProc::Of<&Ticks::Proc>(&t));
    ASSERT_TRUE(w.SetTimer(7, 100));
    sys().AdvanceTime(90);
    ASSERT_TRUE(w.SetTimer(7, 100)); // restarts the interval
    EXPECT_EQ(RunningTimerCount(), 1u);
    sys().AdvanceTime(20);
    Pump();
    EXPECT_TRUE(t.log.empty());
    sys().AdvanceTime(80);
    Pump();
    EXPECT_EQ(t.log.size(), 1u);
    EXPECT_TRUE(w.KillTimer(7));
    EXPECT_FALSE(w.KillTimer(7));
    sys().AdvanceTime(500);
    Pump();
    EXPECT_EQ(t.log.size(), 1u);
    // Intervals below the minimum run at the minimum.
    ASSERT_TRUE(w.SetTimer(8, 0));
    sys().AdvanceTime(kMinTimerInterval - 1);
    Pump();
    EXPECT_EQ(t.log.size(), 1u);
    sys().AdvanceTime(1);
    Pump();
    EXPECT_EQ(t.log.size(), 2u);
}

TEST_F(HeadlessTest, TimersGoWithTheirWindowAndCreationCanFail) {
    Ticks t;
    {
        TMessageWindow w(TMessageWindow::TWindowProc::Of<&Ticks::Proc>(&t));
        ASSERT_TRUE(w.SetTimer(1, 10));
    }
    EXPECT_EQ(RunningTimerCount(), 0u);
    sys().AdvanceTime(100);
    Pump(); // the window is gone: nothing may reach it
    EXPECT_TRUE(t.log.empty());

    TMessageWindow w(TMessageWindow::TWindowProc::Of<&Ticks::Proc>(&t));
    std::size_t made = 0;
    while (made < kMaxTimers && w.SetTimer(made + 1, 1000))
        ++made;
    EXPECT_EQ(made, kMaxTimers);
    EXPECT_FALSE(w.SetTimer(kMaxTimers + 1, 1000)); // reported to the caller, nothing started
    EXPECT_EQ(RunningTimerCount(), kMaxTimers);
    for (std::size_t i = 1; i <= made; ++i)
        w.KillTimer(i);
    EXPECT_EQ(RunningTimerCount(), 0u);
}

TEST_F(HeadlessTest, ATimerHandlerThatFailsGoesToTheApplication) {
    Ticks t;
    t.fail = true;
    TMessageWindow w(TMessageWindow::TWindowProc::Of<&Ticks::Proc>(&t));
    ASSERT_TRUE(w.SetTimer(1, 10));
    const int before = Application()->ExceptionCount();
    sys().AdvanceTime(10);
    Pump();
    sys().AdvanceTime(10);
    Pump();
    EXPECT_EQ(t.log.size(), 2u); // the timer keeps running
    EXPECT_EQ(Application()->ExceptionCount(), before + 2);
    EXPECT_EQ(Application()->LastExceptionMessage(), "tick failed");
}

TEST_F(HeadlessTest, AHandlerMayStopAnotherTimerDueInTheSamePass) {
    struct Stopper {
        TMessageWindow* other = nullptr;
        int ticks = 0;
        void Proc(TMessage& m) {
            if (m.Msg != WM_TIMER) return;
            ++ticks;
            if (other) other->KillTimer(1);
        }
    } first, second;
    TMessageWindow w1(TMessageWindow::TWindowProc::Of<&Stopper::Proc>(&first));
    TMessageWindow w2(TMessageWindow::TWindowProc::Of<&Stopper::Proc>(&second));
    first.other = &w2;
    w1.SetTimer(1, 10);
    w2.SetTimer(1, 10);
    sys().AdvanceTime(10);
    Pump();
    EXPECT_EQ(first.ticks, 1);
    EXPECT_EQ(second.ticks, 0);
}
