// TDIBTimer on the virtual clock: when it holds a system timer, re-arming, refusal, handlers that
// stop or free their own timer.
#include "DibControlTest.h"

using namespace ql;
using namespace ql::test;

namespace {

struct Ticks {
    int count = 0;
    TDIBTimer* stopAfterFirst = nullptr;
    TDIBTimer* freeOnTick = nullptr;
    void Tick(TObject*) {
        ++count;
        if (stopAfterFirst) stopAfterFirst->SetEnabled(false);
        if (freeOnTick) {
            TComponent::Free(freeOnTick);
            freeOnTick = nullptr;
        }
    }
    TNotifyEvent Event() { return TNotifyEvent::Of<&Ticks::Tick>(this); }
};

class TimerTest : public HeadlessTest {
  protected:
    void Advance(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 10) {
            sys().AdvanceTime(10);
            Pump();
        }
    }
};

} // namespace

TEST_F(TimerTest, ATimerRunsOnlyWithAnIntervalAHandlerAndEnabled) {
    const std::size_t before = RunningTimerCount();
    Ticks ticks;
    Owned<TDIBTimer> timer(CreateComponent<TDIBTimer>(nullptr));
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 1000u);
    timer->SetEnabled(true);
    EXPECT_FALSE(timer->Running()); // no handler yet
    EXPECT_EQ(RunningTimerCount(), before);
    timer->SetInterval(0);
    timer->SetOnTimer(ticks.Event());
    EXPECT_FALSE(timer->Running()); // interval 0
    timer->SetInterval(100);
    EXPECT_TRUE(timer->Running());
    EXPECT_EQ(RunningTimerCount(), before + 1);
    Advance(350);
    EXPECT_EQ(ticks.count, 3);
    timer->SetEnabled(false);
    EXPECT_FALSE(timer->Running());
    Advance(300);
    EXPECT_EQ(ticks.count, 3);
    // Assigning the handler again restarts the interval from now.
    timer->SetEnabled(true);
    Advance(50);
    timer->SetOnTimer(ticks.Event());
    Advance(60);
    EXPECT_EQ(ticks.count, 3);
    Advance(50);
    EXPECT_EQ(ticks.count, 4);
}

TEST_F(TimerTest, EachTimerHasItsOwnSystemTimerAndDestructionStopsIt) {
    const std::size_t before = RunningTimerCount();
    Ticks a, b;
    {
        Owned<TDIBTimer> t1(CreateComponent<TDIBTimer>(nullptr));
        Owned<TDIBTimer> t2(CreateComponent<TDIBTimer>(nullptr));
        t1->SetInterval(20);
        t1->SetOnTimer(a.Event());
        t1->SetEnabled(true);
        t2->SetInterval(30);
        t2->SetOnTimer(b.Event());
        t2->SetEnabled(true);
        EXPECT_EQ(RunningTimerCount(), before + 2);
        Advance(60);
        EXPECT_EQ(a.count, 3);
        EXPECT_EQ(b.count, 2);
    }
    EXPECT_EQ(RunningTimerCount(), before);
    Advance(100);
    EXPECT_EQ(a.count, 3);
}

TEST_F(TimerTest, AHandlerMayStopOrFreeItsOwnTimer) {
    const std::size_t before = RunningTimerCount();
    Ticks stopper;
    Owned<TDIBTimer> t(CreateComponent<TDIBTimer>(nullptr));
    stopper.stopAfterFirst = t.get();
    t->SetInterval(10);
    t->SetOnTimer(stopper.Event());
    t->SetEnabled(true);
    Advance(100);
    EXPECT_EQ(stopper.count, 1);
    EXPECT_FALSE(t->Enabled());

    Ticks freer;
    auto* doomed = CreateComponent<TDIBTimer>(nullptr);
    freer.freeOnTick = doomed;
    doomed->SetInterval(10);
    doomed->SetOnTimer(freer.Event());
    doomed->SetEnabled(true);
    Advance(100);
    EXPECT_EQ(freer.count, 1);
    EXPECT_EQ(RunningTimerCount(), before);
}

TEST_F(TimerTest, ATimerTheSystemRefusesEndsDisabledWithoutAnError) {
    // Fill the process's timer table to its limit, then ask for one more.
    std::vector<std::unique_ptr<TMessageWindow>> hogs;
    while (RunningTimerCount() < kMaxTimers) {
        hogs.push_back(std::make_unique<TMessageWindow>(TMessageWindow::TWindowProc()));
        ASSERT_TRUE(hogs.back()->SetTimer(1, 100000));
    }
    Ticks ticks;
    Owned<TDIBTimer> t(CreateComponent<TDIBTimer>(nullptr));
    t->SetOnTimer(ticks.Event());
    EXPECT_NO_THROW(t->SetEnabled(true));
    EXPECT_FALSE(t->Enabled());
    EXPECT_FALSE(t->Running());
    hogs.clear();
    t->SetEnabled(true);
    EXPECT_TRUE(t->Running());
}

TEST_F(TimerTest, HandlerErrorsGoToTheApplicationAndTheTimerGoesOn) {
    struct Thrower {
        int count = 0;
        void Tick(TObject*) {
            ++count;
            throw Exception("tick failed");
        }
    } thrower;
    Owned<TDIBTimer> t(CreateComponent<TDIBTimer>(nullptr));
    t->SetInterval(10);
    t->SetOnTimer(TNotifyEvent::Of<&Thrower::Tick>(&thrower));
    t->SetEnabled(true);
    const int errors = Application()->ExceptionCount();
    Advance(30);
    EXPECT_EQ(thrower.count, 3);
    EXPECT_EQ(Application()->ExceptionCount(), errors + 3);
    EXPECT_EQ(Application()->LastExceptionMessage(), "tick failed");
}

TEST(TimerClass, StoredDescriptionsCreateTimersByName) {
    RegisterTestClasses();
    const TClassInfo* cls = FindClass("TDIBTimer");
    ASSERT_NE(cls, nullptr);
    TComponent root(nullptr);
    root.ReadDescription(ParseDescription("object R: TComponent\n  object T: TDIBTimer\n    Interval = 50\n"
                                          "    Enabled = True\n  end\nend"));
    auto* t = dynamic_cast<TDIBTimer*>(root.FindComponent("T"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Interval(), 50u);
    EXPECT_TRUE(t->Enabled());
    EXPECT_FALSE(t->Running());
}
