// The X11 backend under a real server: same pixels as headless, capture and crossings with real
// pointer events, timers, and open/close cycles that leave nothing behind (skipped without X).
#include "ToolkitTest.h"

#include <chrono>
#include <functional>
#include <thread>

#include "toolkit/backends/X11Backend.h"

#ifdef QL_TEST_X11
#include "x11_testhost.h"
#endif

using namespace ql;
using namespace ql::test;

namespace {

std::string OutPath(const char* name) { return std::string(QL_TEST_OUTPUT_DIR) + "/" + name; }

} // namespace

TEST_F(HeadlessTest, ReadoutFormRendersLabelAndFrame) {
    QL_REQUIRE_FONT_FILES();
    Owned<TForm> form(MakeReadoutForm());
    form->SetParentWindow(host);
    form->Show();
    Pump();
    const TDrawingSurface* px = sys().WindowPixels(form->Handle());
    ASSERT_NE(px, nullptr);
    EXPECT_TRUE(SavePng(*px, OutPath("readout_headless.png")));
    EXPECT_EQ(px->Pixel(248, 100), 0u);         // frame, left edge
    EXPECT_EQ(px->Pixel(368, 100), 0u);         // frame, right edge
    EXPECT_EQ(px->Pixel(250, 60), 0x00FFFFFFu); // inside the frame
    EXPECT_EQ(px->Pixel(10, 10), 0x00FFFFFFu);  // form background
    int ink = 0;
    for (int y = 90; y < 141; ++y)
        for (int x = 252; x < 366; ++x)
            ink += (px->Pixel(x, y) & 0xFF) < 128;
    EXPECT_GT(ink, 300);
}

#ifdef QL_TEST_X11

namespace {

class X11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        hostWindow = std::make_unique<TX11TestHost>(700, 300);
        if (!hostWindow->Ok()) GTEST_SKIP() << "no X server";
    }
    void TearDown() override {
        hostWindow.reset();
        ProcessMessages();
    }
    /// Pumps as a host's idle calls would until pred holds (or two seconds pass).
    bool PumpUntil(const std::function<bool()>& pred) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            ProcessMessages();
            if (pred()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return pred();
    }
    void Settle() {
        for (int i = 0; i < 5; ++i) {
            hostWindow->Sync();
            ProcessMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::unique_ptr<TX11TestHost> hostWindow;
};

struct Recorder {
    std::vector<std::string> log;
    std::vector<TPoint> points;
    std::vector<TShiftState> shifts;
    void Down(TObject*, TMouseButton, TShiftState s, int x, int y) {
        log.push_back("down");
        points.push_back({x, y});
        shifts.push_back(s);
    }
    void Up(TObject*, TMouseButton, TShiftState s, int x, int y) {
        log.push_back("up");
        points.push_back({x, y});
        shifts.push_back(s);
    }
    void Move(TObject*, TShiftState s, int x, int y) {
        log.push_back("move");
        points.push_back({x, y});
        shifts.push_back(s);
    }
};

class TCrossings : public TGraphicControl {
  public:
    TCrossings(TComponent* o, std::vector<std::string>& log) : TGraphicControl(o), fLog(log) {}
    void Dispatch(TMessage& m) override {
        if (m.Msg == CM_MOUSEENTER) fLog.push_back("enter");
        if (m.Msg == CM_MOUSELEAVE) fLog.push_back("leave");
        TGraphicControl::Dispatch(m);
    }

  private:
    std::vector<std::string>& fLog;
};

} // namespace

TEST_F(X11Test, ReadoutFormShowsTheSamePixelsAsHeadless) {
    TDrawingSurface reference;
    {
        THeadlessWindowSystem& sys = HeadlessSystem();
        const TNativeHandle h = sys.CreateHostWindow(TRect::Bounds(0, 0, 700, 300));
        Owned<TForm> form(MakeReadoutForm());
        form->SetParentWindow(h);
        form->Show();
        ProcessMessages();
        const TDrawingSurface* px = sys.WindowPixels(form->Handle());
        ASSERT_NE(px, nullptr);
        reference.Resize(px->Width(), px->Height());
        BitBlt(reference, 0, 0, px->Width(), px->Height(), *px, 0, 0);
        sys.DestroyHostWindow(h);
    }
    Owned<TForm> form(MakeReadoutForm());
    form->SetParentWindow(hostWindow->Handle());
    EXPECT_STREQ(form->WindowSystem()->Name(), "x11");
    form->Show();
    form->SetBounds(0, 0, form->Width(), form->Height());
    TDrawingSurface shown;
    ASSERT_TRUE(
        PumpUntil([&] { return hostWindow->Capture(form->Handle(), shown) && shown.Pixel(248, 100) == 0; }));
    SavePng(shown, OutPath("readout_x11.png"));
    ASSERT_EQ(shown.Width(), reference.Width());
    ASSERT_EQ(shown.Height(), reference.Height());
    int differing = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            differing += (shown.Pixel(x, y) & 0xFFFFFF) != (reference.Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0);
}

TEST_F(X11Test, RealPointerEventsAreCapturedDuringADragAndCrossingsAreReported) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 400, 200);
    form->SetParentWindow(hostWindow->Handle());
    form->Show();
    std::vector<std::string> crossings;
    auto* target = new TCrossings(form.get(), crossings);
    target->SetParent(form.get());
    target->SetBounds(100, 50, 100, 50);
    Recorder rec;
    target->OnMouseDown = TMouseEvent::Of<&Recorder::Down>(&rec);
    target->OnMouseUp = TMouseEvent::Of<&Recorder::Up>(&rec);
    target->OnMouseMove = TMouseMoveEvent::Of<&Recorder::Move>(&rec);
    Settle();

    hostWindow->MovePointer(150, 75);
    ASSERT_TRUE(PumpUntil([&] { return !crossings.empty(); }));
    EXPECT_EQ(crossings, std::vector<std::string>{"enter"});
    hostWindow->Button(1, true);
    ASSERT_TRUE(PumpUntil([&] { return GetCaptureControl() == target; }));
    hostWindow->MovePointer(150, 10); // above the control, inside the form
    ASSERT_TRUE(PumpUntil([&] { return !rec.points.empty() && rec.points.back() == TPoint(50, -40); }));
    hostWindow->MovePointer(600, 250); // outside the form, still inside the host
    ASSERT_TRUE(PumpUntil([&] { return rec.points.back() == TPoint(500, 200); }));
    EXPECT_TRUE(rec.shifts.back() & ssLeft);
    hostWindow->Button(1, false);
    ASSERT_TRUE(PumpUntil([&] { return rec.log.back() == "up"; }));
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_FALSE(rec.shifts.back() & ssLeft);
    EXPECT_EQ(rec.points.back(), TPoint(500, 200));
    EXPECT_EQ(crossings, (std::vector<std::string>{"enter", "leave"}));
    hostWindow->MovePointer(150, 75);
    ASSERT_TRUE(PumpUntil([&] { return crossings.size() == 3; }));
    hostWindow->MovePointer(5, 5);
    ASSERT_TRUE(PumpUntil([&] { return crossings.size() == 4; }));
    EXPECT_EQ(crossings, (std::vector<std::string>{"enter", "leave", "enter", "leave"}));
}

TEST_F(X11Test, TimersTickFromThePumpOnTheRealClock) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetParentWindow(hostWindow->Handle());
    struct Count {
        int ticks = 0;
        void Proc(TMessage& m) { ticks += m.Msg == WM_TIMER; }
    } count;
    TMessageWindow w(TMessageWindow::TWindowProc::Of<&Count::Proc>(&count));
    ASSERT_TRUE(w.SetTimer(1, 20));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([&] { return count.ticks >= 3; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(55));
}

TEST_F(X11Test, AHundredOpenCloseCyclesLeaveNoServerResourcesBehind) {
    std::size_t resources0 = 0, clients0 = 0;
    const bool counted = hostWindow->ServerResources(resources0, clients0);
    for (int i = 0; i < 100; ++i) {
        TForm* form = MakeReadoutForm();
        form->SetParentWindow(hostWindow->Handle());
        form->Show();
        form->Invalidate();
        ProcessMessages();
        hostWindow->MovePointer(300 + i % 7, 100);
        ProcessMessages();
        TComponent::Free(form);
        ASSERT_FALSE(x11::ConnectionOpen()) << "cycle " << i;
    }
    hostWindow->Sync();
    EXPECT_EQ(hostWindow->ChildCount(), 0);
    if (counted) {
        std::size_t resources1 = 0, clients1 = 0;
        ASSERT_TRUE(hostWindow->ServerResources(resources1, clients1));
        EXPECT_EQ(clients1, clients0);
        EXPECT_EQ(resources1, resources0);
    }
}

TEST_F(X11Test, AHostThatDestroysItsWindowFirstDoesNotBreakTheEditor) {
    TForm* form = MakeReadoutForm();
    form->SetParentWindow(hostWindow->Handle());
    form->Show();
    ProcessMessages();
    hostWindow->DestroyWindow();
    ProcessMessages(); // the child window's destruction arrives
    form->Invalidate();
    ProcessMessages();
    TComponent::Free(form); // no X error may end the process
    EXPECT_FALSE(x11::ConnectionOpen());
    // Freeing before the destruction is even seen is just as safe.
    TX11TestHost second(200, 100);
    ASSERT_TRUE(second.Ok());
    form = MakeReadoutForm();
    form->SetParentWindow(second.Handle());
    form->Show();
    second.DestroyWindow();
    TComponent::Free(form);
    EXPECT_FALSE(x11::ConnectionOpen());
}

TEST_F(X11Test, AHandleThatIsNoWindowGetsNoWindow) {
    Owned<TForm> form(new TForm(nullptr));
    EXPECT_THROW(form->SetParentWindow(0x7FFFF0u), EInvalidOperation); // no such X window
    EXPECT_EQ(form->Handle(), 0u);
    EXPECT_EQ(form->WindowSystem(), nullptr);
    EXPECT_FALSE(x11::ConnectionOpen());
}

#endif
