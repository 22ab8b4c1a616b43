// The image layer on Windows (under wine with an X server): TWinDIB's pixels are a bitmap section
// in the image's own memory context, a container from a description shows the same pixels in a
// Win32 window as headless, and TDIBTimer ticks on system timers through the message loop.
#include "DibControlTest.h"

#include <memory>

#include "dibcontrols/cDIBTimer.h"
#include "tests/toolkit/win32_testhost.h"
#include "toolkit/backends/Win32Backend.h"

using namespace ql;
using namespace ql::test;

namespace {
std::string OutPath(const char* name) { return std::string(QL_TEST_OUTPUT_DIR) + "/" + name; }
} // namespace

TEST(WinDIBSections, ThePixelsAreASectionThatTheCanvasDrawsOnWithGdiText) {
    TWinDIB dib(40, 24);
    ASSERT_NE(dib.Handle(), nullptr);
    const TSectionInfo info = SelectedSection(dib.Handle()->DeviceContext());
    EXPECT_TRUE(info.IsSection);
    EXPECT_EQ(info.Width, 40);
    EXPECT_EQ(info.Height, 24);
    EXPECT_EQ(info.BitsPerPixel, 32);
    EXPECT_EQ(info.Bits, dib.Bits());
    int changes = 0;
    struct Counter {
        int* n;
        void Changed(TObject*) { ++*n; }
    } counter{&changes};
    dib.OnChange = TNotifyEvent::Of<&Counter::Changed>(&counter);
    dib.Fill(clWhite);
    changes = 0;
    TCanvas& c = *dib.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-18);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    TRect r{0, 0, 40, 24};
    c.DrawText("Ab", r, DT_LEFT);
    EXPECT_EQ(changes, 1); // the image hears of what GDI drew
    int ink = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            ink += (*dib.PixelAt(x, y) & 0xFF) < 128;
    EXPECT_GT(ink, 20);
    // A view shows the same section; resizing makes a new one of the new size.
    TWinDIB view(&dib);
    EXPECT_EQ(view.Bits(), dib.Bits());
    dib.ResizeImage(8, 6);
    EXPECT_EQ(SelectedSection(dib.Handle()->DeviceContext()).Width, 8);
}

namespace {

class Win32DibTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HeadlessSystem().UseVirtualClock(false);
        hostWindow = std::make_unique<TWin32TestHost>(400, 200);
        if (!hostWindow->Ok()) GTEST_SKIP() << "no window station";
    }
    void TearDown() override {
        hostWindow.reset();
        TWin32TestHost::PumpFor(10);
    }
    std::unique_ptr<TWin32TestHost> hostWindow;
};

struct Ticks {
    int count = 0;
    TDIBTimer* stopAfter = nullptr;
    void Tick(TObject*) {
        ++count;
        if (stopAfter && count == 2) stopAfter->SetEnabled(false);
    }
    TNotifyEvent Event() { return TNotifyEvent::Of<&Ticks::Tick>(this); }
};

} // namespace

TEST_F(Win32DibTest, AContainerFromADescriptionShowsTheSamePixelsAsHeadless) {
    TDrawingSurface reference;
    {
        THeadlessWindowSystem& sys = HeadlessSystem();
        const TNativeHandle h = sys.CreateHostWindow(TRect::Bounds(0, 0, 400, 200));
        Owned<TForm> form(ReadEditorLikeForm());
        form->SetParentWindow(h);
        form->Show();
        ProcessMessages();
        const TDrawingSurface* px = sys.WindowPixels(form->Handle());
        ASSERT_NE(px, nullptr);
        reference.Resize(px->Width(), px->Height());
        BitBlt(reference, 0, 0, px->Width(), px->Height(), *px, 0, 0);
        sys.DestroyHostWindow(h);
    }
    Owned<TForm> form(ReadEditorLikeForm());
    form->SetParentWindow(hostWindow->Handle());
    ASSERT_STREQ(form->WindowSystem()->Name(), "win32");
    form->Show();
    TDrawingSurface shown;
    ASSERT_TRUE(TWin32TestHost::PumpUntil([&] {
        return hostWindow->Capture(form->Handle(), shown) &&
               shown.Pixel(250, 50) == reference.Pixel(250, 50) &&
               shown.Pixel(100, 50) == reference.Pixel(100, 50);
    }));
    SavePng(shown, OutPath("container_win32.png"));
    ASSERT_EQ(shown.Width(), reference.Width());
    ASSERT_EQ(shown.Height(), reference.Height());
    int differing = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            differing += (shown.Pixel(x, y) & 0xFFFFFF) != (reference.Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0);
}

TEST_F(Win32DibTest, TimersHoldASystemTimerOfTheirOwnOnlyWhileTheyRun) {
    const std::size_t windows = win32::TimerWindowCount();
    Ticks a, b;
    Owned<TDIBTimer> t1(CreateComponent<TDIBTimer>(nullptr));
    Owned<TDIBTimer> t2(CreateComponent<TDIBTimer>(nullptr));
    t1->SetInterval(20);
    t1->SetEnabled(true);
    EXPECT_EQ(win32::TimerWindowCount(), windows); // no handler: nothing held
    t1->SetOnTimer(a.Event());
    t2->SetInterval(30);
    t2->SetOnTimer(b.Event());
    t2->SetEnabled(true);
    EXPECT_EQ(win32::TimerWindowCount(), windows + 2);
    a.stopAfter = t1.get(); // stopping inside its own tick destroys the window being dispatched
    ASSERT_TRUE(TWin32TestHost::PumpUntil([&] { return a.count >= 2 && b.count >= 3; }));
    EXPECT_FALSE(t1->Running());
    EXPECT_FALSE(t1->Enabled());
    EXPECT_EQ(win32::TimerWindowCount(), windows + 1);
    const int stopped = a.count;
    TWin32TestHost::PumpFor(80);
    EXPECT_EQ(a.count, stopped);
    t2->SetEnabled(false);
    EXPECT_EQ(win32::TimerWindowCount(), windows);
}
