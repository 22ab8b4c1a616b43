// Snapshots of a container's controls: recording, AnimateTo and its ticks and events, the blend of
// each kind (integer, float, colour, the angle across 0 with its 359 rule, switching at 128), bounds
// by alignment, left-out controls, controls and snapshots that go away.
#include "DibControlTest.h"

#include "runtime/StreamWriter.h"

using namespace ql;
using namespace ql::test;

namespace {

const TEnumType& ModeType() {
    static const TEnumType t{"TMode", {"mdOff", "mdOn", "mdAuto"}};
    return t;
}

/// A skinned control with values of every blend kind.
class TBlendControl : public TTestDIBControl {
    QL_CLASS(TBlendControl)
  public:
    using TTestDIBControl::TTestDIBControl;
    int Angle = 0;
    double Scale = 100;
    int Mode = 0;
    std::string Caption;
    int ModeWrites = 0;
};

const TClassInfo& TBlendControl::StaticClass() {
    static TClassInfo info("TBlendControl", &TTestDIBControl::StaticClass, ComponentFactory<TBlendControl>);
    return info.Populate([](TClassInfo& i) {
        using T = TBlendControl;
        TClassBuilder<T> b(i);
        b.Integer(
            "Angle", [](const T& c) { return c.Angle; },
            [](T& c, int64_t v) { c.Angle = static_cast<int>(v); }, 0, "TAngle");
        b.Float(
            "Scale", [](const T& c) { return c.Scale; }, [](T& c, double v) { c.Scale = v; }, "Extended");
        b.Enum(
            "Mode", ModeType(), [](const T& c) { return c.Mode; },
            [](T& c, int64_t v) {
                c.Mode = static_cast<int>(v);
                ++c.ModeWrites;
            });
        b.String(
            "Caption", [](const T& c) { return c.Caption; },
            [](T& c, const std::string& v) { c.Caption = v; });
    });
}

class SnapShotTest : public ContainerTest {
  protected:
    TBlendControl* AddBlend(TRect r) {
        auto* c = new TBlendControl(form);
        c->SetParent(container);
        c->SetBoundsRect(r);
        return c;
    }
    /// Records the state now as a new snapshot.
    TDIBContainerSnapShot* Record() {
        TDIBContainerSnapShot* s = container->SnapShots().Add();
        container->RecordSnapShot(s);
        return s;
    }
    void Advance(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 5) {
            sys().AdvanceTime(5);
            Pump();
        }
    }
    /// The blend of a's recorded entries in two snapshots at position p.
    void BlendAt(TBlendControl* a, TDIBContainerSnapShot* from, TDIBContainerSnapShot* to, int p) {
        container->BlendControl(*from->Controls().Find(a), *to->Controls().Find(a), p);
    }

    std::vector<std::string> log;
    void AnimStart(TObject*) { log.push_back("start"); }
    void AnimEnd(TObject*) { log.push_back("end"); }
    void Frame(TObject*, std::uint8_t p) { log.push_back(std::to_string(p)); }
    void Listen() {
        container->OnAnimStart = TNotifyEvent::Of<&SnapShotTest::AnimStart>(this);
        container->OnAnimEnd = TNotifyEvent::Of<&SnapShotTest::AnimEnd>(this);
        container->OnFrame = TFrameEvent::Of<&SnapShotTest::Frame>(this);
    }
};

} // namespace

TEST_F(SnapShotTest, RecordingKeepsEveryWritableValueAsTextAndNamesSnapshotsByNumber) {
    TBlendControl* a = AddBlend(TRect::Bounds(10, 20, 30, 40));
    a->SetName("A");
    a->Scale = 0.1;
    a->Mode = 2;
    a->Caption = "it's";
    TDIBContainerSnapShot* s = Record();
    TDIBContainerSnapShot* t = container->SnapShots().Add();
    EXPECT_EQ(s->DisplayName(), "Snapshot #0");
    EXPECT_EQ(t->DisplayName(), "Snapshot #1");
    t->SetDisplayName("Open");
    EXPECT_EQ(t->DisplayName(), "Open");
    ASSERT_EQ(s->Controls().Count(), 1);
    const TDIBControlProperties& props = s->Controls().Items(0)->Properties();
    EXPECT_EQ(props.Find("left")->Value(), "10");
    EXPECT_EQ(props.Find("Height")->Value(), "40");
    EXPECT_EQ(props.Find("Mode")->Value(), "mdAuto");
    EXPECT_EQ(props.Find("Caption")->Value(), "it's");
    EXPECT_EQ(props.Find("FaceColor")->Value(), std::to_string(clRed));
    EXPECT_EQ(props.Find("Name"), nullptr);
    // Floats exactly: the recorded text reads back as the same double.
    a->Scale = 7;
    container->BlendControl(*s->Controls().Items(0), *s->Controls().Items(0), 200);
    EXPECT_EQ(a->Scale, 0.1);
    // Snapshots are written with the container.
    const std::string text = PrintDescription(form->WriteDescription());
    EXPECT_NE(text.find("SnapShots = <"), std::string::npos);
    EXPECT_NE(text.find("DisplayName = 'Open'"), std::string::npos);
    EXPECT_NE(text.find("PropName = 'Caption'"), std::string::npos);
}

TEST_F(SnapShotTest, EachKindBlendsByItsTypeAndTheAngleCrossesZero) {
    TBlendControl* a = AddBlend(TRect::Bounds(10, 10, 40, 40));
    a->SetOpacity(255);
    a->SetFaceColor(clRed);
    a->Angle = 10;
    a->Scale = 100;
    TDIBContainerSnapShot* from = Record();
    a->SetBounds(110, 10, 40, 40);
    a->SetOpacity(55);
    a->SetFaceColor(clBlue);
    a->Angle = 350;
    a->Scale = 200;
    a->Mode = 1;
    a->Caption = "after";
    TDIBContainerSnapShot* to = Record();

    BlendAt(a, from, to, 51);
    EXPECT_EQ(a->Left(), 30);
    EXPECT_EQ(a->Opacity(), 215); // 255 - 200 * 51 / 255
    EXPECT_DOUBLE_EQ(a->Scale, 120.0);
    EXPECT_EQ(a->FaceColor(), 0x003300CC); // each byte of the RGB values
    EXPECT_EQ(a->Mode, 0);
    BlendAt(a, from, to, 128);
    EXPECT_EQ(a->FaceColor(), 0x0080007F);
    EXPECT_EQ(a->Mode, 0); // other kinds keep the start value up to 128...
    EXPECT_EQ(a->Caption, "");
    BlendAt(a, from, to, 129);
    EXPECT_EQ(a->Mode, 1); // ...and take the target above it
    EXPECT_EQ(a->Caption, "after");
    // 10 to 350 goes back through 0: raised by 359 first, lowered by 359 above 359.
    for (auto [p, angle] : {std::pair{0, 10}, {64, 6}, {128, 1}, {200, 355}, {255, 350}}) {
        BlendAt(a, from, to, p);
        EXPECT_EQ(a->Angle, angle) << p;
    }
    // The rule looks one way only: from 350 to 10 the blend turns through 180.
    for (auto [p, angle] : {std::pair{0, 350}, {128, 180}, {255, 10}}) {
        BlendAt(a, to, from, p);
        EXPECT_EQ(a->Angle, angle) << p;
    }
    // Values are set only when they change.
    BlendAt(a, from, to, 129);
    const int writes = a->ModeWrites;
    BlendAt(a, from, to, 200);
    EXPECT_EQ(a->ModeWrites, writes);
}

TEST_F(SnapShotTest, AnimateToTicksFromTheCurrentStateToTheTargetWithItsEvents) {
    TBlendControl* a = AddBlend(TRect::Bounds(10, 10, 40, 40));
    TBlendControl* b = AddBlend(TRect::Bounds(60, 10, 40, 40));
    TDIBContainerSnapShot* target = Record();
    target->Controls().Find(a)->Properties().Find("Left")->SetValue("110");
    target->Controls().Find(b)->Properties().Find("Left")->SetValue("0");
    container->SetLeftOut(b, true);
    Listen();
    container->SetFrameInterval(25);
    container->AnimateTo(target, 100); // four ticks of 63.75
    EXPECT_EQ(log, (std::vector<std::string>{"start"}));
    EXPECT_TRUE(container->Animating());
    EXPECT_EQ(container->Target(), target);
    Advance(25);
    EXPECT_EQ(a->Left(), 34); // 10 + 100 * 63 / 255
    Advance(75);
    EXPECT_EQ(log, (std::vector<std::string>{"start", "63", "127", "191", "255", "end"}));
    EXPECT_EQ(a->Left(), 110);
    EXPECT_EQ(b->Left(), 60); // left out
    EXPECT_FALSE(container->Animating());
    // Starting again midway starts from where the control is, not from where the last one began.
    target->Controls().Find(a)->Properties().Find("Left")->SetValue("210");
    container->AnimateTo(target, 50);
    Advance(25);
    EXPECT_EQ(a->Left(), 159); // 110 + 100 * 127 / 255
    TDIBContainerSnapShot* back = container->SnapShots().Add();
    container->RecordSnapShot(back);
    back->Controls().Find(a)->Properties().Find("Left")->SetValue("10");
    container->AnimateTo(back, 50);
    Advance(25);
    EXPECT_EQ(a->Left(), 85);
    // 0 ms: the target at once, events included.
    log.clear();
    container->AnimateTo(target, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"start", "255", "end"}));
    EXPECT_EQ(a->Left(), 210);
    EXPECT_FALSE(container->Animating());
    // Only the container's own snapshots can be targets.
    TDIBContainerSnapShots foreign(container);
    EXPECT_THROW(container->AnimateTo(foreign.Add(), 10), EInvalidOperation);
    EXPECT_THROW(container->AnimateTo(nullptr, 10), EInvalidOperation);
}

TEST_F(SnapShotTest, BoundsFollowTheAlignmentAndWindowedControlsBlendToo) {
    TBlendControl* a = AddBlend(TRect::Bounds(10, 10, 40, 40));
    auto* panel = new TPanel(form);
    panel->SetParent(container);
    panel->SetBounds(100, 10, 20, 20);
    auto* side = new TPanel(form);
    side->SetParent(container);
    side->SetAlign(TAlign::alLeft);
    side->SetWidth(20);
    TDIBContainerSnapShot* from = Record();
    a->SetBounds(20, 30, 60, 70);
    panel->SetBounds(120, 30, 40, 40);
    side->SetWidth(50);
    TDIBContainerSnapShot* to = Record();
    a->SetBounds(10, 10, 40, 40);
    container->BlendControl(*from->Controls().Find(a), *to->Controls().Find(a), 255);
    EXPECT_EQ(a->BoundsRect(), TRect::Bounds(20, 30, 60, 70));
    container->BlendControl(*from->Controls().Find(panel), *to->Controls().Find(panel), 128);
    EXPECT_EQ(panel->BoundsRect(), TRect::Bounds(110, 20, 30, 30));
    // Left-aligned: the width follows the blend, the height and position stay with the alignment.
    const TRect aligned = side->BoundsRect();
    container->BlendControl(*from->Controls().Find(side), *to->Controls().Find(side), 0);
    EXPECT_EQ(side->Width(), 20);
    EXPECT_EQ(side->Top(), aligned.Top);
    EXPECT_EQ(side->Height(), aligned.Height());
    EXPECT_EQ(side->Height(), 100);
}

TEST_F(SnapShotTest, AControlThatGoesLeavesEverySnapshotAndEmptiedSnapshotsGo) {
    TBlendControl* a = AddBlend(TRect::Bounds(10, 10, 40, 40));
    TBlendControl* b = AddBlend(TRect::Bounds(60, 10, 40, 40));
    TDIBContainerSnapShot* both = Record();
    TDIBContainerSnapShot* onlyA = container->SnapShots().Add();
    onlyA->Controls().Add()->SetControl(a);
    container->SnapShots().Add(); // empty from the start: stays
    container->SetLeftOut(a, true);
    container->SetFrameInterval(10);
    container->AnimateTo(onlyA, 100);
    ASSERT_TRUE(container->Animating());
    TComponent::Free(a);
    EXPECT_EQ(container->SnapShots().Count(), 2);
    EXPECT_EQ(container->SnapShots().Items(0), both);
    ASSERT_EQ(both->Controls().Count(), 1);
    EXPECT_EQ(both->Controls().Items(0)->Control(), b);
    EXPECT_EQ(container->Target(), nullptr); // the target went: the animation stopped
    EXPECT_FALSE(container->Animating());
    EXPECT_FALSE(container->IsLeftOut(a));
    Advance(50);
    // Deleting the target snapshot itself stops it too.
    container->AnimateTo(both, 100);
    container->SnapShots().Delete(0);
    EXPECT_FALSE(container->Animating());
    Advance(50);
    EXPECT_EQ(b->Left(), 60);
}

TEST_F(SnapShotTest, StoredTextsThatDoNotFitTheirPropertiesAreLeftAlone) {
    TBlendControl* a = AddBlend(TRect::Bounds(10, 10, 40, 40));
    TDIBContainerSnapShot* from = Record();
    TDIBContainerSnapShot* to = Record();
    for (TDIBContainerSnapShot* s : {from, to}) {
        TDIBControlProperties& props = s->Controls().Find(a)->Properties();
        props.Find("Left")->SetValue("x");
        props.Find("Scale")->SetValue("1e999999");
        props.Find("Mode")->SetValue("mdNothing");
        props.Find("Angle")->SetValue("-9223372036854775808");
        props.Find("Opacity")->SetValue("99999999999999999999");
    }
    to->Controls().Find(a)->Properties().Find("Angle")->SetValue("9223372036854775807");
    to->Controls().Find(a)->Properties().Find("Top")->SetValue("-9223372036854775807");
    for (int p : {0, 100, 200, 255})
        EXPECT_NO_THROW(container->BlendControl(*from->Controls().Find(a), *to->Controls().Find(a), p));
    EXPECT_EQ(a->Left(), 10);
    EXPECT_EQ(a->Top(), -(1 << 24)); // far off any screen: brought within reach
    EXPECT_EQ(a->Scale, 100);
    EXPECT_EQ(a->Mode, 0);
}
