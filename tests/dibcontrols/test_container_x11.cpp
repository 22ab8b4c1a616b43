// A container read from a stored description shows the same pixels on the headless window system
// and under a real X server (skipped without one).
#include "DibControlTest.h"

#include <chrono>
#include <functional>
#include <thread>

#ifdef QL_TEST_X11
#include "tests/toolkit/x11_testhost.h"
#endif

using namespace ql;
using namespace ql::test;

namespace {

std::string OutPath(const char* name) { return std::string(QL_TEST_OUTPUT_DIR) + "/" + name; }

} // namespace

TEST_F(HeadlessTest, AContainerFromADescriptionRendersHeadless) {
    QL_REQUIRE_FONT_FILES();
    Owned<TForm> form(ReadEditorLikeForm());
    form->SetParentWindow(host);
    form->Show();
    Pump();
    const TDrawingSurface* px = sys().WindowPixels(form->Handle());
    ASSERT_NE(px, nullptr);
    EXPECT_TRUE(SavePng(*px, OutPath("container_headless.png")));
    EXPECT_EQ(px->Pixel(20, 20) & 0xFFFFFF, 0x8787C3u);  // navy at 120 over white
    EXPECT_EQ(px->Pixel(250, 50) & 0xFFFFFF, 0x800000u); // maroon
    EXPECT_EQ(px->Pixel(285, 50) & 0xFFFFFF, 0xFFFFFFu); // beneath the right control
    EXPECT_EQ(px->Pixel(100, 50) & 0xFFFFFF, 0u);        // the frame's left edge
}

#ifdef QL_TEST_X11

TEST(ContainerX11, ShowsTheSamePixelsAsHeadless) {
    QL_REQUIRE_FONT_FILES();
    auto hostWindow = std::make_unique<TX11TestHost>(400, 200);
    if (!hostWindow->Ok()) GTEST_SKIP() << "no X server";
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
    ASSERT_STREQ(form->WindowSystem()->Name(), "x11");
    form->Show();
    TDrawingSurface shown;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    bool painted = false;
    while (!painted && std::chrono::steady_clock::now() < end) {
        ProcessMessages();
        painted = hostWindow->Capture(form->Handle(), shown) &&
                  shown.Pixel(250, 50) == reference.Pixel(250, 50) &&
                  shown.Pixel(100, 50) == reference.Pixel(100, 50);
        if (!painted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(painted);
    SavePng(shown, OutPath("container_x11.png"));
    ASSERT_EQ(shown.Width(), reference.Width());
    ASSERT_EQ(shown.Height(), reference.Height());
    int differing = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            differing += (shown.Pixel(x, y) & 0xFFFFFF) != (reference.Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0);
    hostWindow.reset();
    ProcessMessages();
}

#endif
