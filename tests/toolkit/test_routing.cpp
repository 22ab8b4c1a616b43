// Mouse routing: hit tests, capture during drags, enter/leave on crossings and shift states.
#include "ToolkitTest.h"

#include <string>

using namespace ql;
using namespace ql::test;

namespace {
/// A control that logs its mouse messages and answers the hit test from a flag.
class TTarget : public TGraphicControl {
  public:
    TTarget(TComponent* owner, std::string tag, std::vector<std::string>& log)
        : TGraphicControl(owner), fTag(std::move(tag)), fLog(log) {}
    bool hit = true;
    void Dispatch(TMessage& m) override {
        switch (m.Msg) {
        case CM_HITTEST:
            m.Result = hit ? 1 : 0;
            return;
        case CM_MOUSEENTER:
            fLog.push_back(fTag + " enter");
            break;
        case CM_MOUSELEAVE:
            fLog.push_back(fTag + " leave");
            break;
        default:
            break;
        }
        TGraphicControl::Dispatch(m);
    }

  private:
    std::string fTag;
    std::vector<std::string>& fLog;
};

struct MouseLog {
    explicit MouseLog(std::vector<std::string>& l) : log(l) {}
    std::vector<std::string>& log;
    std::vector<TShiftState> shifts;
    std::vector<TPoint> points;
    void Down(TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        log.push_back(static_cast<TComponent*>(s)->Name() + " down " + std::to_string(static_cast<int>(b)));
        shifts.push_back(sh);
        points.push_back({x, y});
    }
    void Up(TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        log.push_back(static_cast<TComponent*>(s)->Name() + " up " + std::to_string(static_cast<int>(b)));
        shifts.push_back(sh);
        points.push_back({x, y});
    }
    void Move(TObject* s, TShiftState sh, int x, int y) {
        log.push_back(static_cast<TComponent*>(s)->Name() + " move");
        shifts.push_back(sh);
        points.push_back({x, y});
    }
    void Click(TObject* s) { log.push_back(static_cast<TComponent*>(s)->Name() + " click"); }
};

class Routing : public HeadlessTest {
  protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 300, 200);
        form->SetParentWindow(host);
        form->Show();
        a = Make("A", {10, 10, 60, 60});
        b = Make("B", {40, 40, 100, 100}); // overlaps A, lies above it
        Pump();
        log.clear();
    }
    void TearDown() override {
        TComponent::Free(form);
        HeadlessTest::TearDown();
    }
    TTarget* Make(const std::string& name, TRect r) {
        auto* t = new TTarget(form, name, log);
        t->SetName(name);
        t->SetParent(form);
        t->SetBoundsRect(r);
        t->OnMouseDown = TMouseEvent::Of<&MouseLog::Down>(&mouse);
        t->OnMouseUp = TMouseEvent::Of<&MouseLog::Up>(&mouse);
        t->OnMouseMove = TMouseMoveEvent::Of<&MouseLog::Move>(&mouse);
        t->OnClick = TNotifyEvent::Of<&MouseLog::Click>(&mouse);
        return t;
    }
    TPoint At(int x, int y) { return form->ClientToScreen({x, y}); }

    std::vector<std::string> log;
    MouseLog mouse{log};
    TForm* form = nullptr;
    TTarget* a = nullptr;
    TTarget* b = nullptr;
};
} // namespace

TEST_F(Routing, TheTopmostEnabledChildThatAnswersTheHitTestGetsTheMouse) {
    sys().PressButton(TMouseButton::mbLeft, At(50, 50));
    sys().ReleaseButton(TMouseButton::mbLeft, At(50, 50));
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"B move", "B enter", "B down 0", "B click", "B up 0"}));
    EXPECT_EQ(mouse.points[1], TPoint(10, 10)); // in B's coordinates
    log.clear();
    b->hit = false; // a hole in B: A underneath takes it
    sys().PressButton(TMouseButton::mbLeft, At(51, 51));
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"A move", "B leave", "A enter", "A down 0"}));
    sys().ReleaseButton(TMouseButton::mbLeft, At(51, 51));
    Pump();
    log.clear();
    a->SetEnabled(false); // disabled: the form gets it, but enter/leave still track the control
    sys().MoveMouse(At(20, 20));
    sys().PressButton(TMouseButton::mbLeft, At(20, 20));
    Pump();
    EXPECT_EQ(std::count(log.begin(), log.end(), "A down 0"), 0);
}

TEST_F(Routing, CaptureKeepsReportingADragOutsideTheControl) {
    sys().PressButton(TMouseButton::mbLeft, At(20, 20));
    sys().MoveMouse(At(20, 5));    // above A
    sys().MoveMouse(At(20, -30));  // above the form
    sys().MoveMouse(At(500, 400)); // outside the host's child entirely
    sys().ReleaseButton(TMouseButton::mbLeft, At(500, 400));
    sys().MoveMouse(At(20, 20));
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"A move", "A enter", "A down 0", "A move", "A leave", "A move",
                                             "A move", "A up 0", "A move", "A enter"}));
    // Positions continue beyond A's edges, in A's coordinates; no click when released outside.
    EXPECT_EQ(mouse.points[2], TPoint(10, -5));
    EXPECT_EQ(mouse.points[3], TPoint(10, -40));
    EXPECT_EQ(mouse.points[4], TPoint(490, 390));
    // The left button shows in the shift state of moves while it is held, not on its release.
    EXPECT_TRUE(mouse.shifts[2] & ssLeft);
    EXPECT_FALSE(mouse.shifts[5] & ssLeft);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(sys().CaptureWindow(), 0u);
}

TEST_F(Routing, OnlyTheCapturingControlHearsCrossingsWhileItHoldsTheMouse) {
    sys().PressButton(TMouseButton::mbLeft, At(20, 20)); // A
    sys().MoveMouse(At(90, 90));                         // over B: B hears nothing
    sys().MoveMouse(At(20, 20));                         // back over A
    sys().MoveMouse(At(90, 90));
    sys().ReleaseButton(TMouseButton::mbLeft, At(90, 90));
    sys().MoveMouse(At(91, 91));
    Pump();
    std::vector<std::string> crossings;
    for (const auto& e : log)
        if (e.find("enter") != std::string::npos || e.find("leave") != std::string::npos)
            crossings.push_back(e);
    // B never got an enter for the release over it: the toolkit leaves that to its owner.
    EXPECT_EQ(crossings, (std::vector<std::string>{"A enter", "A leave", "A enter", "A leave"}));
}

TEST_F(Routing, LeavingTheNativeWindowLeavesTheControl) {
    sys().MoveMouse(At(20, 20));
    sys().MoveMouse(At(600, 20)); // beyond the form (300 wide) but inside the host window
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"A move", "A enter", "A leave"}));
    EXPECT_EQ(form->MouseControl(), nullptr);
}

TEST_F(Routing, RightAndMiddleButtonsReportTheirButtonAndHeldButtons) {
    sys().PressKey(VK_SHIFT);
    sys().PressButton(TMouseButton::mbRight, At(20, 20));
    sys().PressButton(TMouseButton::mbMiddle, At(20, 20));
    sys().ReleaseButton(TMouseButton::mbRight, At(20, 20));
    sys().MoveMouse(At(20, 300)); // still captured: the middle button is held
    sys().ReleaseButton(TMouseButton::mbMiddle, At(20, 300));
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"A move", "A enter", "A down 1", "A down 2", "A up 1", "A move",
                                             "A leave", "A up 2"}));
    EXPECT_EQ(mouse.shifts[1], static_cast<TShiftState>(ssShift | ssRight));
    EXPECT_EQ(mouse.shifts[2], static_cast<TShiftState>(ssShift | ssRight | ssMiddle));
    EXPECT_EQ(mouse.shifts[3], static_cast<TShiftState>(ssShift | ssMiddle));
    EXPECT_EQ(mouse.points[4], TPoint(10, 290));
    EXPECT_EQ(std::count(log.begin(), log.end(), "A click"), 0); // only the left button clicks
}

TEST_F(Routing, FreeingTheControlUnderTheMouseOrHoldingItIsSafe) {
    sys().PressButton(TMouseButton::mbLeft, At(20, 20));
    Pump();
    ASSERT_EQ(GetCaptureControl(), a);
    TComponent::Free(a);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(form->MouseControl(), nullptr);
    sys().MoveMouse(At(50, 50));
    sys().ReleaseButton(TMouseButton::mbLeft, At(50, 50));
    Pump();
    EXPECT_EQ(form->MouseControl(), b);
}

TEST_F(Routing, AControlFreedByItsOwnClickHandlerHearsNothingMore) {
    struct Freer {
        TTarget* target;
        int ups = 0;
        void Click(TObject*) {
            TComponent::Free(target);
            target = nullptr;
        }
        void Up(TObject*, TMouseButton, TShiftState, int, int) { ++ups; }
    } freer{a};
    a->OnClick = TNotifyEvent::Of<&Freer::Click>(&freer);
    a->OnMouseUp = TMouseEvent::Of<&Freer::Up>(&freer);
    sys().PressButton(TMouseButton::mbLeft, At(20, 20));
    sys().ReleaseButton(TMouseButton::mbLeft, At(20, 20));
    Pump();
    EXPECT_EQ(freer.target, nullptr);
    EXPECT_EQ(freer.ups, 0);
    EXPECT_EQ(GetCaptureControl(), nullptr);
}

TEST(LiveGuard, TellsWhetherAComponentOutlivedACallAndNests) {
    auto* c = new TComponent(nullptr);
    TLiveGuard outer(c);
    {
        TLiveGuard inner(c);
        EXPECT_TRUE(inner.Alive());
    }
    TLiveGuard second(c);
    EXPECT_TRUE(outer.Alive());
    TComponent::Free(c);
    EXPECT_FALSE(outer.Alive());
    EXPECT_FALSE(second.Alive());
    TLiveGuard none(nullptr);
    EXPECT_FALSE(none.Alive());
}

TEST_F(Routing, TheControlUnderThePointerChoosesTheCursor) {
    a->SetCursor(crHandPoint);
    form->SetCursor(crCross);
    sys().MoveMouse(At(20, 20));
    Pump();
    EXPECT_EQ(sys().WindowCursor(form->Handle()), crHandPoint);
    sys().MoveMouse(At(200, 150)); // the form's own
    Pump();
    EXPECT_EQ(sys().WindowCursor(form->Handle()), crCross);
    sys().MoveMouse(At(90, 90)); // B names none: its parent's
    Pump();
    EXPECT_EQ(sys().WindowCursor(form->Handle()), crCross);
}

TEST_F(Routing, WindowsAreFoundUnderAScreenPoint) {
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    panel->SetBounds(200, 100, 50, 50);
    sys().MoveMouse(At(210, 110));
    Pump();
    EXPECT_EQ(GetCursorPos(), At(210, 110));
    EXPECT_EQ(FindWinControlAt(At(210, 110)), panel);
    EXPECT_EQ(FindWinControlAt(At(20, 20)), form); // graphic controls are not windows
    EXPECT_EQ(FindWinControlAt(At(-5, 20)), nullptr);
    panel->SetEnabled(false);
    EXPECT_EQ(FindWinControlAt(At(210, 110)), form);
}
