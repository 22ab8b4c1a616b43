// The Win32 backend under Windows (or wine with an X server): bitmap-section surfaces, GDI text and
// regions, the same pixels as headless, capture and crossings with real input, cursors, key
// state, system timers, and open/close cycles that leave nothing behind.
#include "ToolkitTest.h"

#include <chrono>
#include <memory>
#include <thread>

#include "toolkit/backends/Win32Backend.h"
#include "win32_testhost.h"

using namespace ql;
using namespace ql::test;

namespace {
constexpr std::uint32_t kWhite = 0xFFFFFFFF; // opaque white: drawn pixels show by their alpha 0
bool Inked(std::uint32_t p) { return (p & 0xFFFFFF) != 0xFFFFFF; }
} // namespace

// ---- surfaces ------------------------------------------------------------------------------------

TEST(Win32Surfaces, SurfacesAreBottomUpSectionsThatGdiAndTheToolkitShare) {
    const std::size_t before = win32::SectionCount();
    {
        TDrawingSurface s(7, 5);
        ASSERT_NE(s.DeviceContext(), 0u);
        const TSectionInfo info = SelectedSection(s.DeviceContext());
        EXPECT_TRUE(info.IsSection);
        EXPECT_EQ(info.Width, 7);
        EXPECT_EQ(info.Height, 5); // positive: bottom-up rows
        EXPECT_EQ(info.BitsPerPixel, 32);
        EXPECT_EQ(info.Bits, s.Bits());
        EXPECT_EQ(s.Pixel(6, 4), 0u); // zeroed
        // GDI's top-down rectangle lands where the toolkit's coordinates say, with alpha 0.
        GdiFillRect(s.DeviceContext(), 1, 0, 3, 2, static_cast<std::uint32_t>(RGB(0x11, 0x22, 0x33)));
        EXPECT_EQ(s.Pixel(1, 0), 0x00112233u);
        EXPECT_EQ(s.Pixel(2, 1), 0x00112233u);
        EXPECT_EQ(s.Pixel(3, 1), 0u);
        EXPECT_EQ(s.Pixel(1, 2), 0u);
        EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(s.ScanLine(0)), s.Bits() + 4 * 7 * 4);
        EXPECT_EQ(win32::SectionCount(), before + 1);
        s.Resize(3, 3);
        EXPECT_EQ(win32::SectionCount(), before + 1);
        EXPECT_EQ(SelectedSection(s.DeviceContext()).Width, 3);
        s.Resize(0, 0);
        EXPECT_EQ(s.DeviceContext(), 0u);
        EXPECT_EQ(win32::SectionCount(), before);
        s.Resize(2, 2);
    }
    EXPECT_EQ(win32::SectionCount(), before);
}

// ---- GDI text ------------------------------------------------------------------------------------

TEST(GdiText, EveryFamilyResolvesToARealFaceEvenWhereTheSystemLacksIt) {
    for (const char* name : {"Arial", "MS Sans Serif", "No Such Family 4711", ""}) {
        auto face = DefaultTextEngine().OpenFace({name, -20, false, false});
        EXPECT_TRUE(face->FormatsText()) << name;
        EXPECT_FALSE(face->FamilyName().empty()) << name;
        EXPECT_NE(face->FamilyName(), "Built-in") << name;
        EXPECT_FALSE(face->FileName().empty()) << name;
        EXPECT_GE(face->Metrics().Height(), 20) << name;
        const TGlyph& g = face->Glyph(U'A');
        EXPECT_GT(g.Advance, 5) << name;
        ASSERT_GT(g.Width * g.Height, 0) << name;
        int full = 0, partial = 0;
        for (std::uint8_t c : g.Coverage) {
            full += c == 255;
            partial += c > 0 && c < 255;
        }
        EXPECT_GT(full, 10) << name;
        EXPECT_GT(partial, 0) << name << ": smoothed edges";
    }
    // Bold and italic are different fonts, not the same one again.
    auto plain = DefaultTextEngine().OpenFace({"Arial", -20, false, false});
    auto bold = DefaultTextEngine().OpenFace({"Arial", -20, true, false});
    EXPECT_NE(plain.get(), bold.get());
    EXPECT_GT(bold->Glyph(U'l').Width, plain->Glyph(U'l').Width);
}

TEST(GdiText, DrawTextInksOnlyItsRectangleWithAlphaZeroAndCentres) {
    TDrawingSurface s(200, 80);
    s.Fill(kWhite);
    TCanvas& c = s.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-30);
    c.Font().SetColor(clBlack);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    TRect r{20, 10, 180, 70};
    int changes = 0;
    struct Counter {
        int* n;
        void Changed(TObject*) { ++*n; }
    } counter{&changes};
    c.OnChange = TNotifyEvent::Of<&Counter::Changed>(&counter);
    c.DrawText("Quantilaw", r, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
    EXPECT_EQ(changes, 1);
    int ink = 0, grey = 0, left = 200, right = -1, top = 80, bottom = -1;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x) {
            const std::uint32_t p = s.Pixel(x, y);
            if (!Inked(p)) {
                EXPECT_EQ(p >> 24, 0xFFu) << "untouched pixels keep their alpha at " << x << "," << y;
                continue;
            }
            EXPECT_EQ(p >> 24, 0u) << x << "," << y;
            EXPECT_TRUE(r.Contains(x, y)) << x << "," << y;
            ++ink;
            grey += (p & 0xFF) > 40 && (p & 0xFF) < 215;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    EXPECT_GT(ink, 300);
    EXPECT_GT(grey, 20);
    EXPECT_NEAR(left - r.Left, r.Right - 1 - right, 3) << "centred across";
    EXPECT_NEAR(top - r.Top, r.Bottom - 1 - bottom, 8) << "centred down (the cell holds descent room)";
}

TEST(GdiText, MeasuringAgreesWithTheGlyphsAndWorksWithoutASurface) {
    TCanvas c; // no surface: measures only
    c.Font().SetName("Arial");
    c.Font().SetHeight(-20);
    const std::int32_t line = c.TextHeight("Xg");
    TRect r{5, 7, 500, 7};
    EXPECT_EQ(c.DrawText("3Bit and more", r, DT_CALCRECT | DT_SINGLELINE), line);
    EXPECT_EQ(r.Left, 5);
    EXPECT_EQ(r.Width(), c.TextWidth("3Bit and more"));
    EXPECT_EQ(r.Height(), line);
    TRect two{0, 0, 500, 0};
    EXPECT_EQ(c.DrawText("one\ntwo", two, DT_CALCRECT), 2 * line);
    TRect wrapped{0, 0, c.TextWidth("word word") + 2, 0};
    EXPECT_EQ(c.DrawText("word word word", wrapped, DT_CALCRECT | DT_WORDBREAK), 2 * line);
    // An accelerator prefix takes no room; without prefix handling it is a character.
    TRect prefixed{0, 0, 500, 0}, plain{0, 0, 500, 0};
    c.DrawText("&Bits", prefixed, DT_CALCRECT | DT_SINGLELINE);
    c.DrawText("&Bits", plain, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(prefixed.Width(), c.TextWidth("Bits"));
    EXPECT_EQ(plain.Width(), c.TextWidth("&Bits"));
}

TEST(GdiText, DrawTextKeepsToTheSurfaceClipAndOrigin) {
    TDrawingSurface s(220, 60);
    s.Fill(kWhite);
    TCanvas& c = s.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-40);
    c.Font().SetStyle(fsBold);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.SetOrigin({10, 5});
    c.IntersectClipRect({0, 0, 150, 50}); // logical: device 10..160
    c.ExcludeClipRect({50, 0, 80, 50});   // device 60..90
    TRect r{0, 0, 400, 50};
    c.DrawText("MMMMMMMMMM", r, DT_SINGLELINE | DT_NOCLIP);
    auto inkIn = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = x0; x < x1; ++x)
                n += Inked(s.Pixel(x, y));
        return n;
    };
    EXPECT_EQ(inkIn(0, 10), 0);
    EXPECT_GT(inkIn(10, 60), 50);
    EXPECT_EQ(inkIn(60, 90), 0);
    EXPECT_GT(inkIn(90, 160), 50);
    EXPECT_EQ(inkIn(160, 220), 0);
    // The context is left as it was found: a later whole-surface draw reaches everywhere.
    s.Fill(kWhite);
    c.SetOrigin({0, 0});
    c.SelectClipRegion(nullptr);
    TRect all{0, 0, 220, 60};
    c.DrawText("MMMMMMMMMM", all, DT_SINGLELINE);
    EXPECT_GT(inkIn(60, 90), 50);
    EXPECT_GT(inkIn(160, 220), 50);
}

// ---- regions -------------------------------------------------------------------------------------

TEST(Win32Regions, NativeRegionsHoldExactlyTheSamePixels) {
    TRegion r(TRect{0, 0, 50, 40});
    r.Subtract(TRect{10, 10, 20, 20});
    r.Union(TRect{60, 5, 70, 100});
    r.Xor(TRegion(TRect{30, 30, 65, 50}));
    void* h = win32::CreateNativeRegion(r);
    ASSERT_NE(h, nullptr);
    for (int y = -2; y < 104; y += 1)
        for (int x = -2; x < 74; x += 1)
            ASSERT_EQ(NativeRegionContains(h, x, y), r.Contains(x, y)) << x << "," << y;
    EXPECT_EQ(win32::RegionFromNative(h), r);
    DeleteNativeRegion(h);

    h = win32::CreateNativeRegion(TRegion());
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(win32::RegionFromNative(h).IsEmpty());
    DeleteNativeRegion(h);

    // A mask of single pixels: thousands of runs, more than one request carries.
    std::vector<TRect> runs;
    for (int y = 0; y < 60; ++y)
        for (int x = y % 2; x < 160; x += 2)
            runs.push_back(TRect::Bounds(x, y, 1, 1));
    const TRegion mask = TRegion::FromRects(runs);
    h = win32::CreateNativeRegion(mask);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(win32::RegionFromNative(h), mask);
    EXPECT_TRUE(NativeRegionContains(h, 0, 0));
    EXPECT_FALSE(NativeRegionContains(h, 1, 0));
    EXPECT_TRUE(NativeRegionContains(h, 1, 1));
    DeleteNativeRegion(h);
}

// ---- windows ---------------------------------------------------------------------------------------

namespace {

class Win32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        HeadlessSystem().UseVirtualClock(false); // the system's clock drives native timers
        hostWindow = std::make_unique<TWin32TestHost>(700, 300);
        if (!hostWindow->Ok()) GTEST_SKIP() << "no window station";
    }
    void TearDown() override {
        hostWindow.reset();
        TWin32TestHost::PumpFor(10);
    }
    static bool PumpUntil(const std::function<bool()>& pred) { return TWin32TestHost::PumpUntil(pred); }
    static void Settle() { TWin32TestHost::PumpFor(60); }
    std::unique_ptr<TWin32TestHost> hostWindow;
};

struct Recorder {
    std::vector<std::string> log;
    std::vector<TPoint> points;
    std::vector<TShiftState> shifts;
    void Down(TObject*, TMouseButton, TShiftState s, int x, int y) { Add("down", s, x, y); }
    void Up(TObject*, TMouseButton, TShiftState s, int x, int y) { Add("up", s, x, y); }
    void Move(TObject*, TShiftState s, int x, int y) { Add("move", s, x, y); }
    void Add(const char* what, TShiftState s, int x, int y) {
        log.push_back(what);
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

std::string OutPath(const char* name) { return std::string(QL_TEST_OUTPUT_DIR) + "/" + name; }

} // namespace

TEST_F(Win32Test, ReadoutFormShowsTheSamePixelsAsHeadless) {
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
    ASSERT_NE(form->WindowSystem(), nullptr);
    EXPECT_STREQ(form->WindowSystem()->Name(), "win32");
    form->Show();
    form->SetBounds(0, 0, form->Width(), form->Height());
    EXPECT_EQ(hostWindow->ChildCount(), 1);
    TDrawingSurface shown;
    ASSERT_TRUE(
        PumpUntil([&] { return hostWindow->Capture(form->Handle(), shown) && shown.Pixel(248, 100) == 0; }));
    SavePng(shown, OutPath("readout_win32.png"));
    ASSERT_EQ(shown.Width(), reference.Width());
    ASSERT_EQ(shown.Height(), reference.Height());
    int differing = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            differing += (shown.Pixel(x, y) & 0xFFFFFF) != (reference.Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0);
    // Uncovering the window repaints it from the form, not from a background.
    form->Invalidate();
    ASSERT_TRUE(
        PumpUntil([&] { return hostWindow->Capture(form->Handle(), shown) && shown.Pixel(248, 100) == 0; }));
    EXPECT_EQ(shown.Pixel(10, 10) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(Win32Test, RealPointerEventsAreCapturedDuringADragAndCrossingsAreReported) {
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
    hostWindow->MovePointer(5, 250); // outside the form
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
    hostWindow->MovePointer(5, 250); // out of the form's window: the system's leave
    ASSERT_TRUE(PumpUntil([&] { return crossings.size() == 4; }));
    EXPECT_EQ(crossings, (std::vector<std::string>{"enter", "leave", "enter", "leave"}));
}

TEST_F(Win32Test, TheCursorFollowsTheControlUnderThePointer) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 400, 200);
    form->SetParentWindow(hostWindow->Handle());
    form->Show();
    auto* hand = new TShape(form.get());
    hand->SetParent(form.get());
    hand->SetBounds(100, 50, 100, 50);
    hand->SetCursor(crHandPoint);
    hostWindow->MovePointer(20, 20);
    Settle();
    ASSERT_TRUE(PumpUntil([] { return CursorIsArrow(); }));
    hostWindow->MovePointer(150, 75);
    EXPECT_TRUE(PumpUntil([] { return CursorIsHand(); }));
    hostWindow->MovePointer(20, 20);
    EXPECT_TRUE(PumpUntil([] { return CursorIsArrow(); }));
}

TEST_F(Win32Test, KeysReachTheFocusedFormAndTheKeyStateFollowsTheKeyboard) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 400, 200);
    form->SetParentWindow(hostWindow->Handle());
    form->Show();
    struct Keys {
        std::vector<std::pair<std::uint16_t, TShiftState>> down;
        std::vector<char> chars;
        void Down(TObject*, std::uint16_t& key, TShiftState s) { down.push_back({key, s}); }
        void Press(TObject*, char& ch) { chars.push_back(ch); }
    } keys;
    form->OnKeyDown = TKeyEvent::Of<&Keys::Down>(&keys);
    form->OnKeyPress = TKeyPressEvent::Of<&Keys::Press>(&keys);
    Settle();
    form->PlatformWindow()->SetFocus();
    Settle();
    TWindowSystem* system = form->WindowSystem();
    hostWindow->Key(VK_SHIFT, true);
    EXPECT_TRUE(PumpUntil([&] { return system->IsKeyDown(VK_SHIFT); }));
    hostWindow->Key('Q', true);
    hostWindow->Key('Q', false);
    hostWindow->Key(VK_SHIFT, false);
    ASSERT_TRUE(PumpUntil([&] { return !keys.chars.empty() && !system->IsKeyDown(VK_SHIFT); }));
    ASSERT_FALSE(keys.down.empty());
    EXPECT_EQ(keys.down.back().first, 'Q');
    EXPECT_TRUE(keys.down.back().second & ssShift);
    EXPECT_EQ(keys.chars.back(), 'Q');
}

TEST_F(Win32Test, TimersTickThroughTheThreadsMessageLoop) {
    const std::size_t timersBefore = RunningTimerCount();
    struct Count {
        int ticks = 0;
        std::unique_ptr<TMessageWindow>* freeOnTick = nullptr;
        void Proc(TMessage& m) {
            if (m.Msg != WM_TIMER) return;
            ++ticks;
            if (freeOnTick) freeOnTick->reset(); // as a timer component that re-arms in its tick
        }
    } count, second;
    {
        TMessageWindow w(TMessageWindow::TWindowProc::Of<&Count::Proc>(&count));
        ASSERT_TRUE(w.SetTimer(1, 20));
        EXPECT_EQ(RunningTimerCount(), timersBefore + 1);
        EXPECT_EQ(win32::TimerWindowCount(), 1u);
        // The toolkit's pump alone delivers nothing: ticks come from the message loop.
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i) {
            ProcessMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(count.ticks, 0);
        ASSERT_TRUE(PumpUntil([&] { return count.ticks >= 3; }));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(55));
        EXPECT_TRUE(w.KillTimer(1));
        EXPECT_FALSE(w.KillTimer(1));
        const int stopped = count.ticks;
        TWin32TestHost::PumpFor(80);
        EXPECT_EQ(count.ticks, stopped);
    }
    EXPECT_EQ(win32::TimerWindowCount(), 0u);
    EXPECT_EQ(RunningTimerCount(), timersBefore);
    // A handler may destroy its own window in the middle of the tick.
    auto owned = std::make_unique<TMessageWindow>(TMessageWindow::TWindowProc::Of<&Count::Proc>(&second));
    second.freeOnTick = &owned;
    ASSERT_TRUE(owned->SetTimer(5, 10));
    ASSERT_TRUE(PumpUntil([&] { return second.ticks == 1; }));
    TWin32TestHost::PumpFor(60);
    EXPECT_EQ(second.ticks, 1);
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(win32::TimerWindowCount(), 0u);
}

TEST_F(Win32Test, AHundredOpenCloseCyclesLeaveNothingBehind) {
    const std::size_t sections = win32::SectionCount();
    for (int i = 0; i < 100; ++i) {
        TForm* form = MakeReadoutForm();
        form->SetParentWindow(hostWindow->Handle());
        form->Show();
        form->Invalidate();
        TWin32TestHost::DispatchMessages();
        ProcessMessages();
        hostWindow->MovePointer(300 + i % 7, 100);
        TWin32TestHost::DispatchMessages();
        ProcessMessages();
        TComponent::Free(form);
        ASSERT_EQ(win32::WindowCount(), 0u) << "cycle " << i;
    }
    Settle();
    EXPECT_EQ(hostWindow->ChildCount(), 0);
    EXPECT_FALSE(win32::WindowClassRegistered());
    EXPECT_EQ(win32::SectionCount(), sections);
}

TEST_F(Win32Test, AHostThatDestroysItsWindowFirstDoesNotBreakTheEditor) {
    TForm* form = MakeReadoutForm();
    form->SetParentWindow(hostWindow->Handle());
    form->Show();
    Settle();
    hostWindow->DestroyWindow(); // destroys the form's window with it
    EXPECT_EQ(win32::WindowCount(), 0u);
    form->Invalidate();
    form->SetBounds(1, 1, 300, 100);
    form->PlatformWindow()->SetCapture(true);
    Settle();
    TComponent::Free(form);
    EXPECT_FALSE(win32::WindowClassRegistered());
}

TEST_F(Win32Test, AHandleThatIsNoWindowGetsNoWindow) {
    constexpr std::uintptr_t kNoWindow = 0x7FFFF0;
    ASSERT_FALSE(IsNativeWindow(kNoWindow));
    Owned<TForm> form(new TForm(nullptr));
    EXPECT_THROW(form->SetParentWindow(kNoWindow), EInvalidOperation);
    EXPECT_EQ(form->Handle(), 0u);
    EXPECT_EQ(form->WindowSystem(), nullptr);
    EXPECT_EQ(win32::WindowCount(), 0u);
}
