// Features of skinned controls: the feature registry and FeatureClassName, the stored feature bytes
// (round trips and damaged bytes), dragging with snap and border, highlighting, shaped hit tests.
#include "DibControlTest.h"

#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

using namespace ql;
using namespace ql::test;

namespace {

/// A feature that counts the messages it sees and may mark one kind handled.
class TCountingFeature : public TDIBFeature {
    QL_CLASS(TCountingFeature)
  public:
    using TDIBFeature::TDIBFeature;
    std::uint32_t Swallow = 0;
    int Seen = 0;
    void FeatureMessage(TMessage& m, bool& handled) override {
        ++Seen;
        if (m.Msg == Swallow) handled = true;
    }
};

const TClassInfo& TCountingFeature::StaticClass() {
    static TClassInfo info("TCountingFeature", &TDIBFeature::StaticClass, ComponentFactory<TCountingFeature>);
    return info;
}

TDIBFeature* AddFeature(TCustomDIBControl* c, const std::string& name) {
    TDIBFeatureItem* item = c->DIBFeatures().Add();
    item->SetFeatureClassName(name);
    return item->Feature();
}

} // namespace

TEST_F(ContainerTest, FeatureClassNamesComeFromTheRegistryInAnyCase) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    std::vector<std::string> names;
    for (const TClassInfo* cls : DIBFeatureClasses())
        names.push_back(cls->Name());
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{"TMoveableDIB", "THighlightDIB", "TShapeableDIB"}));
    EXPECT_NE(FindClass("TShapeableDIB"), nullptr); // also known to stored descriptions

    TDIBFeatureItem* item = a->DIBFeatures().Add();
    EXPECT_EQ(item->DisplayName(), "DIB feature");
    item->SetFeatureClassName("tmoveabledib");
    ASSERT_NE(dynamic_cast<TMoveableDIB*>(item->Feature()), nullptr);
    EXPECT_EQ(item->Feature()->Owner(), a);
    EXPECT_EQ(item->Feature()->Control(), a);
    EXPECT_EQ(item->DisplayName(), "Moveable DIB");
    TDIBFeature* before = item->Feature();
    try {
        item->SetFeatureClassName("TNoSuchFeature");
        ADD_FAILURE();
    } catch (const EFeatureError& e) {
        EXPECT_STREQ(e.what(), "TNoSuchFeature has not been registered");
    }
    EXPECT_EQ(item->Feature(), before);
    EXPECT_EQ(item->FeatureClassName(), "tmoveabledib");
    item->SetFeatureClassName("THighlightDIB");
    EXPECT_EQ(item->DisplayName(), "Highlight dib");
    item->SetFeatureClassName("");
    EXPECT_EQ(item->Feature(), nullptr);
    // A feature freed on its own is forgotten by its item.
    item->SetFeatureClassName("TShapeableDIB");
    TComponent::Free(item->Feature());
    EXPECT_EQ(item->Feature(), nullptr);
    EXPECT_EQ(item->DisplayName(), "DIB feature");
}

TEST_F(ContainerTest, DispatchSkipsEmptyAndDisabledItemsAndStopsAtTheFirstThatHandles) {
    RegisterDIBFeature(TCountingFeature::StaticClass());
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->Record();
    a->DIBFeatures().Add(); // no feature: skipped
    auto* first = static_cast<TCountingFeature*>(AddFeature(a, "TCountingFeature"));
    auto* second = static_cast<TCountingFeature*>(AddFeature(a, "TCountingFeature"));
    first->Swallow = CM_MOUSEENTER;
    a->Perform(CM_MOUSEENTER);
    EXPECT_EQ(first->Seen, 1);
    EXPECT_EQ(second->Seen, 0);
    EXPECT_TRUE(a->Log.empty()); // handled by the feature: the control never saw it
    a->DIBFeatures().Items(1)->SetEnabled(false);
    a->Perform(CM_MOUSEENTER);
    EXPECT_EQ(first->Seen, 1);
    EXPECT_EQ(second->Seen, 1);
    EXPECT_EQ(a->Log, (std::vector<std::string>{"Highlight", "OnMouseEnter"}));
}

TEST_F(ContainerTest, FeaturesTravelInStoredDescriptionsOfBothForms) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->SetName("Knob");
    auto* move = static_cast<TMoveableDIB*>(AddFeature(a, "TMoveableDIB"));
    move->SetSnapSize(8);
    move->SetBorderSize(3);
    move->SetAllowVertical(false);
    move->SetMouseButtons(ButtonBit(TMouseButton::mbRight) | ButtonBit(TMouseButton::mbMiddle));
    a->DIBFeatures().Items(0)->SetFeatureParameters("kept as it is");
    TDIBFeatureItem* off = a->DIBFeatures().Add();
    off->SetFeatureClassName("THighlightDIB");
    static_cast<THighlightDIB*>(off->Feature())->SetHighlightOpacity(77);
    off->SetEnabled(false);
    a->DIBFeatures().Add(); // an empty item writes no feature bytes

    const TDescObject written = form->WriteDescription();
    const std::string text = PrintDescription(written);
    EXPECT_NE(text.find("FeatureClassName = 'TMoveableDIB'"), std::string::npos);
    EXPECT_NE(text.find("DIBFeatureParameters = {"), std::string::npos);
    const std::vector<std::uint8_t> binary = WriteBinaryDescription(written);
    for (const TDescObject& desc : {ParseDescription(text), ReadBinaryDescription(binary)}) {
        Owned<TForm> copy(new TForm(nullptr));
        copy->ReadDescription(desc);
        auto* b = dynamic_cast<TTestDIBControl*>(copy->FindComponent("Knob"));
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(b->DIBFeatures().Count(), 3);
        auto* m = dynamic_cast<TMoveableDIB*>(b->DIBFeatures().Items(0)->Feature());
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->Control(), b);
        EXPECT_EQ(m->SnapSize(), 8);
        EXPECT_EQ(m->BorderSize(), 3);
        EXPECT_FALSE(m->AllowVertical());
        EXPECT_EQ(m->MouseButtons(), ButtonBit(TMouseButton::mbRight) | ButtonBit(TMouseButton::mbMiddle));
        EXPECT_EQ(b->DIBFeatures().Items(0)->FeatureParameters(), "kept as it is");
        auto* h = dynamic_cast<THighlightDIB*>(b->DIBFeatures().Items(1)->Feature());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->HighlightOpacity(), 77);
        EXPECT_FALSE(b->DIBFeatures().Items(1)->Enabled());
        EXPECT_EQ(b->DIBFeatures().Items(2)->Feature(), nullptr);
        // Written again, the copy says exactly what the original said.
        EXPECT_EQ(PrintDescription(copy->WriteDescription()), text);
    }
}

TEST_F(ContainerTest, DamagedFeatureBytesAreRefusedAndChangeNothing) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    auto* move = static_cast<TMoveableDIB*>(AddFeature(a, "TMoveableDIB"));
    move->SetSnapSize(5);
    TDIBFeatureItem* item = a->DIBFeatures().Items(0);
    const std::vector<std::uint8_t> good = item->FeatureBytes();
    ASSERT_GT(good.size(), 20u);
    const int owned = a->ComponentCount();

    auto described = [](const std::string& cls, const std::string& desc) {
        std::vector<std::uint8_t> out;
        AppendBinaryString(out, cls);
        AppendBinaryDescription(out, ParseDescription(desc));
        return out;
    };
    std::vector<std::vector<std::uint8_t>> bad;
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{10}, good.size() - 1})
        bad.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    std::vector<std::uint8_t> trailing = good;
    trailing.push_back(0);
    bad.push_back(trailing);
    bad.push_back(described("TNotAFeature", "object TNotAFeature\nend\n"));
    bad.push_back(described("TMoveableDIB", "object THighlightDIB\nend\n"));
    bad.push_back(described("TMoveableDIB", "object TMoveableDIB\n  Nonsense = 1\nend\n"));
    bad.push_back(described("TMoveableDIB", "object TMoveableDIB\n  SnapSize = 'x'\nend\n"));
    bad.push_back(
        described("TMoveableDIB", "object TMoveableDIB\n  object Inner: TMoveableDIB\n  end\nend\n"));
    std::vector<std::uint8_t> hugeString = {0x07, 0xFF, 0xFF, 0xFF, 0x7F, 'T'};
    bad.push_back(hugeString);
    for (const auto& bytes : bad) {
        EXPECT_THROW(item->ApplyFeatureBytes(bytes), Exception) << bytes.size();
        EXPECT_EQ(item->Feature(), move);
        EXPECT_EQ(move->SnapSize(), 5);
        EXPECT_EQ(a->ComponentCount(), owned); // no half-made feature stays with the control
    }
    // Bytes read from a description are applied when loading ends; bad ones fail that load once.
    item->SetFeatureBytes(bad[5]);
    EXPECT_THROW(a->DIBFeatures().AfterLoad(), EFeatureError);
    EXPECT_NO_THROW(a->DIBFeatures().AfterLoad());
    EXPECT_EQ(item->Feature(), move);
    item->SetFeatureBytes(described("tshapeabledib", "object TShapeableDIB\n  MaskLevel = 9\nend\n"));
    a->DIBFeatures().AfterLoad();
    auto* shaped = dynamic_cast<TShapeableDIB*>(item->Feature());
    ASSERT_NE(shaped, nullptr);
    EXPECT_EQ(shaped->MaskLevel(), 9);
    EXPECT_EQ(item->FeatureClassName(), "tshapeabledib");
}

TEST_F(ContainerTest, DraggingFollowsTheMouseInSnapStepsOutsideTheBorder) {
    TTestDIBControl* a = AddControl(TRect::Bounds(40, 20, 40, 40));
    auto* move = static_cast<TMoveableDIB*>(AddFeature(a, "TMoveableDIB"));
    Open();
    auto drag = [&](TPoint from, TPoint to) {
        sys().MoveMouse(ScreenAt(from.X, from.Y));
        sys().PressButton(TMouseButton::mbLeft, ScreenAt(from.X, from.Y));
        Pump();
        const bool dragging = move->Dragging();
        sys().MoveMouse(ScreenAt(to.X, to.Y));
        Pump();
        sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(to.X, to.Y));
        Pump();
        EXPECT_FALSE(move->Dragging());
        return dragging;
    };
    // SnapSize 1: pixel by pixel, and the grab point stays under the mouse.
    EXPECT_TRUE(drag({50, 30}, {53, 29}));
    EXPECT_EQ(a->BoundsRect(), TRect::Bounds(43, 19, 40, 40));
    // SnapSize 8: 13 pixels right and 7 up make one step right and none up.
    move->SetSnapSize(8);
    EXPECT_TRUE(drag({60, 30}, {73, 23}));
    EXPECT_EQ(a->BoundsRect(), TRect::Bounds(51, 19, 40, 40));
    EXPECT_TRUE(drag({60, 30}, {43, 30})); // -17: two steps left, truncated toward zero
    EXPECT_EQ(a->Left(), 35);
    // BorderSize 5: presses within 5 pixels of an edge start no drag, the inside does.
    move->SetSnapSize(1);
    move->SetBorderSize(5);
    const TRect r = a->BoundsRect();
    for (TPoint p :
         {TPoint{r.Left, r.Top + 20}, TPoint{r.Left + 4, r.Top + 20}, TPoint{r.Right - 5, r.Top + 20},
          TPoint{r.Left + 20, r.Top + 2}, TPoint{r.Left + 20, r.Bottom - 1}}) {
        EXPECT_FALSE(drag(p, {p.X + 3, p.Y + 3})) << p.X << "," << p.Y;
        EXPECT_EQ(a->BoundsRect(), r);
    }
    EXPECT_TRUE(drag({r.Left + 5, r.Top + 5}, {r.Left + 6, r.Top + 5}));
    EXPECT_EQ(a->Left(), r.Left + 1);
    // Only the chosen buttons drag, and only the chosen directions move.
    move->SetBorderSize(0);
    move->SetMouseButtons(ButtonBit(TMouseButton::mbRight));
    EXPECT_FALSE(drag({a->Left() + 10, 30}, {a->Left() + 20, 30}));
    move->SetMouseButtons(ButtonBit(TMouseButton::mbLeft));
    move->SetAllowHorizontal(false);
    const int left = a->Left();
    EXPECT_TRUE(drag({left + 10, 30}, {left + 20, 34}));
    EXPECT_EQ(a->Left(), left);
    EXPECT_EQ(a->Top(), 23);
}

TEST_F(ContainerTest, ArrowKeysMoveAMoveableControlBySnapSize) {
    TTestDIBControl* a = AddControl(TRect::Bounds(40, 20, 40, 40));
    auto* move = static_cast<TMoveableDIB*>(AddFeature(a, "TMoveableDIB"));
    move->SetSnapSize(4);
    a->Perform(WM_KEYDOWN, VK_RIGHT);
    a->Perform(WM_KEYDOWN, VK_DOWN);
    a->Perform(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(a->BoundsRect(), TRect::Bounds(44, 28, 40, 40));
    move->SetAllowVertical(false);
    a->Perform(WM_KEYDOWN, VK_UP);
    a->Perform(WM_KEYDOWN, VK_LEFT);
    a->Perform(WM_KEYDOWN, 'A');
    EXPECT_EQ(a->BoundsRect(), TRect::Bounds(40, 28, 40, 40));
}

TEST_F(ContainerTest, HighlightOpacityWhileHotOrFocusedAndTheOwnOpacityAfter) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->SetOpacity(100);
    auto* h = static_cast<THighlightDIB*>(AddFeature(a, "THighlightDIB"));
    h->SetHighlightOpacity(200);
    Open();
    sys().MoveMouse(ScreenAt(20, 20));
    Pump();
    EXPECT_EQ(a->Opacity(), 200);
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    EXPECT_EQ(a->Opacity(), 100);
    // Focused and then hot: the highlight stays until both are gone.
    a->SetDIBTabOrder(0);
    a->SetDIBFocus();
    EXPECT_EQ(a->Opacity(), 200);
    sys().MoveMouse(ScreenAt(20, 20));
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    EXPECT_EQ(a->Opacity(), 200);
    container->ActivateControl(nullptr);
    EXPECT_FALSE(a->Focused());
    EXPECT_EQ(a->Opacity(), 100);
    // A press dragged outside: the release gives the mouse back and the opacity with it.
    sys().MoveMouse(ScreenAt(20, 20));
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    container->ActivateControl(nullptr);
    EXPECT_EQ(a->Opacity(), 200);
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    EXPECT_EQ(a->Opacity(), 200);
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(150, 80));
    Pump();
    EXPECT_FALSE(a->Hot());
    EXPECT_EQ(a->Opacity(), 100);
}

TEST_F(ContainerTest, AShapedControlIsHitOnlyWhereItsFaceIsDrawn) {
    // Under b (left) lies a, which takes the mouse wherever b's face is the key colour.
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 60, 40), clBlue);
    TTestDIBControl* b = AddControl(TRect::Bounds(10, 10, 60, 40), clRed);
    a->Record();
    b->Record();
    b->FaceWidth = 20; // the rest of the face is what lies beneath: black in the hit-test image
    auto* shape = static_cast<TShapeableDIB*>(AddFeature(b, "TShapeableDIB"));
    auto hit = [&](int x, int y) { return b->Perform(CM_HITTEST, 0, MakeMouseLParam(x, y)); };
    // tmAuto: the key is the bottom-left pixel, red here, so only the black part counts.
    EXPECT_EQ(hit(5, 5), 0);
    EXPECT_EQ(hit(30, 5), 1);
    shape->SetTransparentMode(TTransparentMode::tmFixed);
    shape->SetTransparentColor(clBlack);
    b->Invalidate();
    EXPECT_EQ(hit(5, 5), 1);
    EXPECT_EQ(hit(30, 5), 0);
    Open();
    sys().MoveMouse(ScreenAt(50, 20)); // over b's undrawn part: a gets the mouse
    Pump();
    EXPECT_TRUE(a->Hot());
    EXPECT_FALSE(b->Hot());
    sys().MoveMouse(ScreenAt(15, 20));
    Pump();
    EXPECT_TRUE(b->Hot());
    // The face grows: the region is rebuilt at the next hit test, also within the same millisecond.
    const int paints = b->Paints;
    EXPECT_EQ(hit(30, 5), 0);
    EXPECT_EQ(b->Paints, paints); // nothing changed: the region is reused
    b->FaceWidth = 40;
    b->Invalidate();
    EXPECT_EQ(hit(30, 5), 1);
    EXPECT_EQ(hit(45, 5), 0);
    // MaskLevel: the alpha decides, whatever the colour.
    b->PaintHook = [](TCustomDIBControl& c) {
        TAbstractSuperDIB* dib = c.PaintDIB();
        for (int y = 0; y < dib->Height(); ++y)
            for (int x = 0; x < dib->Width(); ++x)
                *dib->PixelAt(x, y) = (x < 10 ? 0x80u : 0x10u) << 24;
    };
    shape->SetMaskLevel(0x40);
    b->Invalidate();
    EXPECT_EQ(hit(5, 5), 1);
    EXPECT_EQ(hit(15, 5), 0);
    // A face entirely of the key colour has no region: the whole control is hit.
    TAbstractSuperDIB* lent = b->PaintDIB();
    shape->SetMaskLevel(0);
    shape->SetTransparentMode(TTransparentMode::tmAuto);
    b->PaintHook = nullptr;
    b->FaceWidth = -1;
    b->Invalidate();
    EXPECT_EQ(hit(50, 30), 1);
    EXPECT_EQ(shape->HitRegion(), nullptr);
    EXPECT_EQ(b->PaintDIB(), lent); // the hit-test image was taken away again
}
