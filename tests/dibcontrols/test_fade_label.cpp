// The fade label: its colour table, the fade's ticks on the virtual clock, layouts, measuring,
// the disabled look, accelerators and the space key.
#include "tests/dibcontrols/DibControlTest.h"

#include "dibcontrols/cDIBFadeLabel.h"

using namespace ql;
using namespace ql::test;

namespace {

/// Records the rectangles the label lays its caption out in.
class TProbeLabel : public TDIBFadeLabel {
  public:
    using TDIBFadeLabel::TDIBFadeLabel;
    std::vector<TRect> Drawn;
    int Clicks = 0;
    void Click() override {
        ++Clicks;
        TDIBFadeLabel::Click();
    }

  protected:
    void DrawCaptionText(TRect& Rect, std::uint32_t Flags) override {
        TDIBFadeLabel::DrawCaptionText(Rect, Flags);
        if (!(Flags & DT_CALCRECT)) Drawn.push_back(Rect);
    }
};

class FadeLabelTest : public ContainerTest {
  protected:
    TProbeLabel* AddLabel(TRect r, const std::string& caption = ">") {
        auto* l = new TProbeLabel(form);
        l->SetParent(container);
        l->SetBoundsRect(r);
        l->SetCaption(caption);
        l->Font().SetName("Arial");
        l->Font().SetHeight(-48);
        l->Font().SetColor(clBlack);
        return l;
    }
    /// Advances the clock by one frame delay and lets the timers tick.
    void Frame(std::uint32_t ms = 50) {
        sys().AdvanceTime(ms);
        Pump();
    }
};

TEST_F(FadeLabelTest, DefaultsAndTheColourTable) {
    TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 28, 55));
    EXPECT_EQ(l->ColorHighlighted(), clWhite);
    EXPECT_EQ(l->FrameCount(), 10);
    EXPECT_EQ(l->FrameDelay(), 50u);
    EXPECT_TRUE(l->Transparent());
    EXPECT_TRUE(l->ShowAccelChar());
    EXPECT_FALSE(l->AutoSize());
    EXPECT_EQ(l->FadeColor(), clBlack);
    const std::vector<std::uint32_t> grey = {25, 51, 76, 102, 127, 153, 178, 204, 229, 255};
    ASSERT_EQ(l->FadeColors().size(), grey.size());
    for (std::size_t i = 0; i < grey.size(); ++i)
        EXPECT_EQ(l->FadeColors()[i], grey[i] * 0x010101u) << i;
    // Towards a colour: channels move on their own, and from a system colour by its value.
    l->SetColorHighlighted(RGB(200, 0, 100));
    l->SetFrameCount(4);
    EXPECT_EQ(l->FadeColors(), (std::vector<std::uint32_t>{RGB(50, 0, 25), RGB(100, 0, 50), RGB(150, 0, 75),
                                                           RGB(200, 0, 100)}));
    l->SetFrameCount(1);
    EXPECT_TRUE(l->FadeColors().empty());
}

TEST_F(FadeLabelTest, EnteringLightsAtOnceAndLeavingFadesOneStepPerFrame) {
    TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 28, 55));
    Open();
    sys().MoveMouse(ScreenAt(20, 30));
    Pump();
    EXPECT_EQ(l->FadeColor(), clWhite);
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    EXPECT_EQ(l->FadeColor(), clWhite); // until the first tick
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < 10; ++i) {
        Frame();
        seen.push_back(static_cast<std::uint32_t>(l->FadeColor()) & 0xFF);
    }
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{255, 229, 204, 178, 153, 127, 102, 76, 51, 0}));
    EXPECT_FALSE(l->FadeTimer().Enabled());
    // Back in during a fade: lit at once, the fade stopped.
    sys().MoveMouse(ScreenAt(20, 30));
    Pump();
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    Frame();
    Frame();
    sys().MoveMouse(ScreenAt(20, 30));
    Pump();
    EXPECT_EQ(l->FadeColor(), clWhite);
    EXPECT_FALSE(l->FadeTimer().Enabled());
}

TEST_F(FadeLabelTest, WithoutFramesLeavingRestoresTheFontColourAtOnce) {
    for (int variant = 0; variant < 3; ++variant) {
        TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 28, 55));
        if (variant == 0) l->SetFrameCount(1);
        if (variant == 1) l->SetFrameCount(0);
        if (variant == 2) l->SetFrameDelay(0);
        Open();
        sys().MoveMouse(ScreenAt(20, 30));
        Pump();
        EXPECT_EQ(l->FadeColor(), clWhite) << variant;
        sys().MoveMouse(ScreenAt(150, 80));
        Pump();
        EXPECT_EQ(l->FadeColor(), clBlack) << variant;
        EXPECT_FALSE(l->FadeTimer().Enabled()) << variant;
        TComponent::Free(l);
    }
}

TEST_F(FadeLabelTest, AShorterTableDuringAFadeIsNotReadPastItsEnd) {
    TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 28, 55));
    Open();
    sys().MoveMouse(ScreenAt(20, 30));
    Pump();
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    Frame(); // step 9 shown, 8 left
    l->SetFrameCount(3);
    Frame();
    EXPECT_EQ(l->FadeColor(), static_cast<TColor>(l->FadeColors()[2]));
    for (int i = 0; i < 3; ++i)
        Frame();
    EXPECT_EQ(l->FadeColor(), clBlack);
    EXPECT_FALSE(l->FadeTimer().Enabled());
    // A table emptied during a fade ends it at the font colour.
    sys().MoveMouse(ScreenAt(20, 30));
    Pump();
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    l->SetFrameCount(0);
    Frame();
    EXPECT_EQ(l->FadeColor(), clBlack);
    EXPECT_FALSE(l->FadeTimer().Enabled());
}

TEST_F(FadeLabelTest, LayoutsMoveTheCaptionAndAnEmptyCaptionMeasuresOneLine) {
    TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 60, 90), "x");
    Open();
    const TRect top = l->Drawn.back();
    EXPECT_EQ(top.Top, 0);
    l->SetLayout(TTextLayout::tlBottom);
    Pump();
    const int lineHeight = l->Drawn.back().Top; // 90 - text height
    EXPECT_GT(lineHeight, 0);
    l->SetLayout(TTextLayout::tlCenter);
    Pump();
    EXPECT_EQ(l->Drawn.back().Top, lineHeight / 2);
    // Taller text than the control: centring moves it up.
    l->SetBounds(10, 10, 60, 20);
    Pump();
    EXPECT_LT(l->Drawn.back().Top, 0);

    l->SetCaption("");
    l->SetAutoSize(true);
    EXPECT_EQ(l->Height(), 90 - lineHeight);
    EXPECT_GT(l->Width(), 0);
    l->SetCaption("wide text");
    EXPECT_GT(l->Width(), 60);
}

TEST_F(FadeLabelTest, ADisabledLabelIsEngravedInTheHighlightColour) {
    container->SetColor(clGray);
    TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 60, 60), "W");
    Open();
    auto count = [&](std::uint32_t rgb) {
        int n = 0;
        for (int y = 10; y < 70; ++y)
            for (int x = 10; x < 70; ++x)
                n += Shown(x, y) == rgb;
        return n;
    };
    EXPECT_EQ(count(0xFFFFFF), 0);
    EXPECT_GT(count(0x000000), 0);
    l->SetEnabled(false);
    l->Invalidate();
    Pump();
    EXPECT_GT(count(0xFFFFFF), 0);
    EXPECT_GT(count(0x000000), 0);
}

TEST_F(FadeLabelTest, AcceleratorsAndTheSpaceKeyClick) {
    TProbeLabel* l = AddLabel(TRect::Bounds(10, 10, 60, 60), "&Go");
    Open();
    EXPECT_EQ(l->Perform(CM_DIALOGCHAR, 'g'), 1);
    EXPECT_EQ(l->Clicks, 1);
    EXPECT_EQ(l->Perform(CM_DIALOGCHAR, 'o'), 0);
    EXPECT_EQ(l->Clicks, 1);
    l->SetShowAccelChar(false);
    EXPECT_EQ(l->Perform(CM_DIALOGCHAR, 'g'), 0);
    EXPECT_EQ(l->Clicks, 1);
    l->SetShowAccelChar(true);
    l->SetEnabled(false);
    EXPECT_EQ(l->Perform(CM_DIALOGCHAR, 'g'), 0);
    l->SetEnabled(true);
    EXPECT_EQ(CaptionAccelerator("a&&b"), 0);
    EXPECT_EQ(CaptionAccelerator("a&&&b"), 'B');

    l->SetDIBTabOrder(0);
    l->SetDIBFocus();
    EXPECT_TRUE(l->Focused());
    l->Perform(WM_CHAR, 'x');
    EXPECT_EQ(l->Clicks, 1);
    l->Perform(WM_CHAR, ' ');
    EXPECT_GE(l->Clicks, 2);
}

} // namespace
