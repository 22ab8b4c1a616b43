// The composing container: backgrounds (colour, centred and tiled pictures), children in z-order
// with opacity, the enlarged update rectangle and its one extra paint, failing children, cursor,
// Tab order with windowed neighbours, and a container read from a stored description.
#include "DibControlTest.h"
#include "DibTestUtil.h"

using namespace ql;
using namespace ql::test;

namespace {

/// A list holding one w x h picture split in a left half of `left` and a right half of `right`.
TDIBImageList* PictureList(TComponent* owner, int w, int h, std::uint32_t left, std::uint32_t right) {
    auto* list = new TDIBImageList(owner);
    TMemoryDIB* dib = list->DIBImages().Add()->DIB();
    dib->ResizeImage(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Put(*dib, x, y, x < w / 2 ? left : right);
    return list;
}

constexpr std::uint32_t kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

/// The toolkit's blend of one channel with weight w.
constexpr std::uint32_t Blend(std::uint32_t s, std::uint32_t d, std::uint32_t w) {
    return (s * w + d * (255 - w) + 255) >> 8;
}

} // namespace

TEST_F(ContainerTest, AnEmptyContainerShowsItsColour) {
    container->SetColor(clYellow);
    Open();
    EXPECT_EQ(Shown(0, 0), Rgb(clYellow));
    EXPECT_EQ(Shown(199, 99), Rgb(clYellow));
    // The system colour of a container is resolved to its value.
    container->SetColor(clBtnFace);
    Pump();
    EXPECT_EQ(Shown(100, 50), Rgb(clBtnFace));
    EXPECT_EQ(container->UpdateRect(), TRect(0, 0, 200, 100));
}

TEST_F(ContainerTest, ChildrenAreComposedInZOrderWithTheirOpacity) {
    TTestDIBControl* back = AddControl(TRect::Bounds(10, 10, 60, 40), clBlue);
    auto* shape = new TShape(form);
    shape->SetParent(container);
    shape->SetBounds(20, 15, 30, 25);
    TTestDIBControl* front = AddControl(TRect::Bounds(50, 30, 40, 40), clRed);
    front->SetOpacity(128);
    front->FaceWidth = 10; // the rest shows what lies beneath
    Open();
    EXPECT_EQ(Shown(15, 15), Rgb(clBlue));
    EXPECT_EQ(Shown(40, 35), Rgb(clWhite));                                         // inside the shape
    EXPECT_EQ(Shown(20, 35), 0u);                                                   // the shape's frame
    const std::uint32_t overBlue = Blend(0xFF, 0, 128) << 16 | Blend(0, 0xFF, 128); // red over blue
    EXPECT_EQ(Shown(55, 45), overBlue);
    const std::uint32_t overWhite =
        Blend(0xFF, 0xFF, 128) << 16 | Blend(0, 0xFF, 128) << 8 | Blend(0, 0xFF, 128);
    EXPECT_EQ(Shown(55, 65), overWhite);
    EXPECT_EQ(Shown(65, 35), Rgb(clBlue)); // right part of the front control: unchanged beneath
    EXPECT_EQ(Shown(80, 65), Rgb(clWhite));
    // Only the changed control's rectangle is composed again, and still over what lies beneath.
    const int backPaints = back->Paints;
    front->SetOpacity(255);
    Pump();
    EXPECT_EQ(container->UpdateRect(), front->BoundsRect());
    EXPECT_EQ(back->Paints, backPaints + 1);
    EXPECT_EQ(Shown(55, 45), Rgb(clRed));
    EXPECT_EQ(Shown(65, 35), Rgb(clBlue));
    // Hidden and moved-away controls leave their background behind.
    back->Hide();
    Pump();
    EXPECT_EQ(Shown(15, 15), Rgb(clWhite));
    EXPECT_EQ(front->PaintDIB(), nullptr); // the scratch image is only lent for the paint
}

TEST_F(ContainerTest, ALabelAndAShapeDrawIntoTheComposedImageInTheirPlace) {
    QL_REQUIRE_FONT_FILES();
    auto* label = new TLabel(form);
    label->SetParent(container);
    label->SetAutoSize(false);
    label->SetBounds(10, 10, 100, 40);
    label->SetTransparent(true);
    label->Font().SetHeight(-30);
    label->Font().SetName("Arial");
    label->SetCaption("Hi");
    TTestDIBControl* over = AddControl(TRect::Bounds(10, 10, 100, 40), clBlue);
    over->SetOpacity(0);
    Open();
    int ink = 0;
    for (int y = 10; y < 50; ++y)
        for (int x = 10; x < 110; ++x)
            ink += Shown(x, y) != Rgb(clWhite);
    EXPECT_GT(ink, 50);
    // Fully opaque on top: the label disappears under the control.
    over->SetOpacity(255);
    Pump();
    for (int y = 10; y < 50; ++y)
        for (int x = 10; x < 110; ++x)
            ASSERT_EQ(Shown(x, y), Rgb(clBlue));
}

TEST_F(ContainerTest, NoPictureOrAnEmptyLinkMeansThePlainColour) {
    TDIBImageList* list = PictureList(form, 20, 10, kBlue, kBlue);
    container->SetDIBImageList(list);
    container->SetColor(clLime);
    Open();
    EXPECT_EQ(container->IndexImage().DIBIndex(), -1);
    EXPECT_EQ(Shown(100, 50), Rgb(clLime));
}

TEST_F(ContainerTest, ACentredPictureShowsTheColourAroundItAndIsRemovedWithItsItem) {
    TDIBImageList* list = PictureList(form, 20, 10, kBlue, kWhite);
    container->SetDIBImageList(list);
    container->SetColor(clLime);
    container->IndexImage().SetDIBIndex(0);
    Open();
    EXPECT_EQ(Shown(89, 44), Rgb(clLime)); // just outside the picture at (90, 45)
    EXPECT_EQ(Shown(90, 45), Rgb(clBlue));
    EXPECT_EQ(Shown(109, 54), Rgb(clWhite));
    EXPECT_EQ(Shown(110, 55), Rgb(clLime));
    // A change of the picture repaints; its deletion brings back the colour.
    list->DIBImages().Items(0)->DIB()->Fill(clRed);
    Pump();
    EXPECT_EQ(Shown(90, 45), Rgb(clRed));
    list->DIBImages().Delete(0);
    EXPECT_EQ(container->IndexImage().DIBIndex(), -1);
    Pump();
    EXPECT_EQ(Shown(90, 45), Rgb(clLime));
}

TEST_F(ContainerTest, APictureOfTheContainersSizeIsDrawnWithoutTheColourFirst) {
    container->SetColor(clRed);
    Open();
    // White is the picture's key colour: where it is, nothing is drawn, so the red stays.
    TDIBImageList* list = PictureList(form, 200, 100, kBlue, kWhite);
    TMemoryDIB* dib = list->DIBImages().Items(0)->DIB();
    dib->SetTransparentMode(TTransparentMode::tmFixed);
    dib->SetTransparentColor(clWhite);
    dib->SetTransparent(true);
    container->SetColor(clLime);
    container->SetDIBImageList(list);
    container->IndexImage().SetDIBIndex(0);
    Pump();
    EXPECT_EQ(Shown(10, 10), Rgb(clBlue));
    EXPECT_EQ(Shown(150, 10), Rgb(clRed));
}

TEST_F(ContainerTest, TiledPicturesCoverTheContainerFromTheTopLeft) {
    TDIBImageList* list = PictureList(form, 30, 40, kBlue, kWhite);
    container->SetDIBImageList(list);
    container->SetColor(clLime);
    container->SetTileMethod(TTileMethod::tmTile);
    container->IndexImage().SetDIBIndex(0);
    Open();
    for (int x : {0, 30, 60, 180})
        for (int y : {0, 40, 80}) {
            EXPECT_EQ(Shown(x, y), Rgb(clBlue)) << x << "," << y;
            EXPECT_EQ(Shown(x + 15, y), Rgb(clWhite)) << x << "," << y;
        }
    EXPECT_EQ(Shown(189, 99), Rgb(clBlue)); // the last tiles, partly visible
    EXPECT_EQ(Shown(199, 99), Rgb(clWhite));
}

TEST_F(ContainerTest, AChildThatEnlargesTheUpdateRectangleCausesExactlyOneExtraPaint) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20), clBlue);
    TTestDIBControl* b = AddControl(TRect::Bounds(100, 10, 20, 20), clRed);
    Open();
    Pump(3);
    // b's invalidation alone paints once.
    std::size_t paints = sys().PaintCount();
    b->Invalidate();
    Pump(3);
    EXPECT_EQ(sys().PaintCount(), paints + 1);
    // a asks for a band across the container whenever something repaints.
    a->Extension = TRect(0, 5, 200, 40);
    const int aPaints = a->Paints;
    paints = sys().PaintCount();
    b->Invalidate();
    Pump(3);
    EXPECT_EQ(sys().PaintCount(), paints + 2);
    EXPECT_EQ(container->UpdateRect(), TRect(0, 5, 200, 40));
    EXPECT_EQ(a->Paints, aPaints + 1);
    EXPECT_FALSE(container->UpdateRectFixed());
    // Up to two extra rows at the bottom are taken in the same paint.
    a->Extension = TRect(100, 10, 120, 32);
    paints = sys().PaintCount();
    b->Invalidate();
    Pump(3);
    EXPECT_EQ(sys().PaintCount(), paints + 1);
    EXPECT_EQ(container->UpdateRect(), TRect(100, 10, 120, 32));
}

TEST_F(ContainerTest, AFailingChildEndsThePaintCycleAndTheNextPaintWorks) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20), clBlue);
    bool fail = true;
    a->PaintHook = [&fail](TCustomDIBControl&) {
        if (fail) throw Exception("face broken");
    };
    const int errors = Application()->ExceptionCount();
    Open();
    EXPECT_EQ(Application()->ExceptionCount(), errors + 1);
    EXPECT_EQ(Application()->LastExceptionMessage(), "face broken");
    EXPECT_EQ(a->PaintDIB(), nullptr);
    fail = false;
    a->Invalidate();
    Pump();
    EXPECT_EQ(Shown(15, 15), Rgb(clBlue));
    EXPECT_EQ(container->SurfaceDIB().Handle()->ClipRegion().BoundingBox(), TRect(0, 0, 200, 100));
}

TEST_F(ContainerTest, BeforeAndAfterPaintSeeTheComposedImage) {
    struct Events {
        using Log = std::vector<std::string>;
        Log log;
        void Before(TObject*, const TAbstractSuperDIB& dib) {
            log.push_back("before " + std::to_string(dib.Width()));
        }
        void After(TObject*, const TAbstractSuperDIB& dib) {
            log.push_back("after " + std::to_string(*dib.PixelAt(15, 15) & 0xFFFFFF));
        }
    } events;
    AddControl(TRect::Bounds(10, 10, 20, 20), clBlue);
    container->BeforePaint = TDIBPaintEvent::Of<&Events::Before>(&events);
    container->AfterPaint = TDIBPaintEvent::Of<&Events::After>(&events);
    Open();
    EXPECT_EQ(events.log, (Events::Log{"before 200", "after " + std::to_string(Rgb(clBlue))}));
}

TEST_F(ContainerTest, TheCursorIsTheOneOfTheSkinnedChildUnderThePointer) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    a->SetCursor(crHandPoint);
    Open();
    sys().MoveMouse(ScreenAt(15, 15));
    Pump();
    EXPECT_EQ(sys().WindowCursor(form->Handle()), crHandPoint);
    sys().MoveMouse(ScreenAt(150, 15));
    Pump();
    EXPECT_EQ(sys().WindowCursor(form->Handle()), crDefault);
}

TEST_F(ContainerTest, TabRunsThroughTheSkinnedControlsThenLetsTheNativeFocusGo) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    TTestDIBControl* b = AddControl(TRect::Bounds(40, 10, 20, 20));
    TTestDIBControl* off = AddControl(TRect::Bounds(70, 10, 20, 20));
    a->SetDIBTabOrder(0);
    b->SetDIBTabOrder(1);
    off->SetDIBTabOrder(2);
    off->SetEnabled(false); // disabled controls are passed over
    // A second container on the form is where the native focus goes next.
    container->SetBounds(0, 0, 200, 60);
    auto* next = new TDIBImageAnimContainer(form);
    next->SetParent(form);
    next->SetBounds(0, 60, 200, 40);
    TTestDIBControl* c = new TTestDIBControl(next);
    c->SetParent(next);
    c->SetDIBTabOrder(0);
    Open();
    a->SetDIBFocus();
    ASSERT_EQ(form->FocusedControl(), container);
    sys().PressKey(VK_TAB);
    sys().ReleaseKey(VK_TAB);
    Pump();
    EXPECT_EQ(container->ActiveControl(), b);
    EXPECT_FALSE(a->Focused());
    EXPECT_TRUE(b->Focused());
    sys().PressKey(VK_TAB);
    sys().ReleaseKey(VK_TAB);
    Pump();
    EXPECT_EQ(container->ActiveControl(), nullptr);
    EXPECT_FALSE(b->Focused());
    EXPECT_EQ(form->FocusedControl(), next);
    EXPECT_EQ(next->ActiveControl(), c);
    EXPECT_TRUE(c->Focused());
    // Shift+Tab goes back into the first container at its last control.
    sys().PressKey(VK_SHIFT);
    sys().PressKey(VK_TAB);
    sys().ReleaseKey(VK_TAB);
    sys().ReleaseKey(VK_SHIFT);
    Pump();
    EXPECT_EQ(form->FocusedControl(), container);
    EXPECT_EQ(container->ActiveControl(), b);
    EXPECT_FALSE(c->Focused());
}

TEST_F(ContainerTest, ActiveControlChangesAreReportedAndFollowTheNativeFocus) {
    int changes = 0;
    struct Counter {
        int* n;
        void Changed(TObject*) { ++*n; }
    } counter{&changes};
    container->OnActiveControlChange = TNotifyEvent::Of<&Counter::Changed>(&counter);
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    a->SetDIBTabOrder(0);
    auto* other = new TDIBImageAnimContainer(form);
    other->SetParent(form);
    other->SetBounds(0, 60, 200, 40);
    Open();
    form->SetFocusedControl(container); // entering the container activates its first control
    EXPECT_EQ(container->ActiveControl(), a);
    EXPECT_TRUE(a->Focused());
    EXPECT_EQ(changes, 1);
    form->SetFocusedControl(other);
    EXPECT_EQ(container->ActiveControl(), nullptr);
    EXPECT_FALSE(a->Focused());
    EXPECT_GE(changes, 2);
    // A control moved to another container takes its focus and Tab place with it.
    a->SetDIBFocus();
    EXPECT_EQ(container->ActiveControl(), a);
    a->SetParent(other);
    EXPECT_EQ(container->ActiveControl(), nullptr);
    EXPECT_TRUE(container->DIBTabList().empty());
    EXPECT_FALSE(a->Focused());
    EXPECT_EQ(other->DIBTabList().front(), a);
}

TEST_F(ContainerTest, AContainerReadFromADescriptionComposesItsChildrenAndLabel) {
    QL_REQUIRE_FONT_FILES();
    TComponent::Free(form);
    form = new TForm(nullptr);
    form->ReadDescription(ParseDescription(R"(object Editor: TForm
  BorderStyle = bsNone
  ClientHeight = 100
  ClientWidth = 200
  Color = clWhite
  object Images: TDIBImageList
  end
  object Container: TDIBImageAnimContainer
    Left = 0
    Top = 0
    Width = 200
    Height = 100
    Align = alClient
    Color = clWhite
    DIBImageList = Images
    IndexImage.DIBImageList = Images
    IndexImage.DIBIndex = -1
    TileMethod = tmCenter
    BorderDrawPosition = bdOverControls
    TabOrder = 0
    object Left: TTestDIBControl
      Left = 10
      Top = 20
      Width = 40
      Height = 60
      FaceColor = clNavy
      Opacity = 200
      DIBTabOrder = 0
      Accelerator = #0
    end
    object Right: TTestDIBControl
      Left = 150
      Top = 20
      Width = 40
      Height = 60
      FaceColor = clMaroon
      Opacity = 255
      DIBTabOrder = -1
    end
    object LbQ: TLabel
      Left = 60
      Top = 30
      Width = 80
      Height = 40
      Alignment = taCenter
      AutoSize = False
      Caption = '3Bit'
      Font.Height = -30
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
  end
end)"));
    container = dynamic_cast<TDIBImageAnimContainer*>(form->FindComponent("Container"));
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->DIBImageList(), form->FindComponent("Images"));
    EXPECT_EQ(container->ControlCount(), 3);
    Open();
    const std::uint32_t navyOverWhite =
        Blend(0, 0xFF, 200) << 16 | Blend(0, 0xFF, 200) << 8 | Blend(0x80, 0xFF, 200);
    EXPECT_EQ(Shown(20, 30), navyOverWhite);
    EXPECT_EQ(Shown(160, 30), Rgb(clMaroon));
    EXPECT_EQ(Shown(5, 5), Rgb(clWhite));
    int ink = 0;
    for (int y = 30; y < 70; ++y)
        for (int x = 60; x < 140; ++x)
            ink += Shown(x, y) != Rgb(clWhite);
    EXPECT_GT(ink, 100);
}

TEST_F(ContainerTest, FramedWindowedChildrenGetASunkenFrameAndPaintOverTheComposedImage) {
    auto* panel = new TPanel(form);
    panel->SetParent(container);
    panel->SetBounds(50, 20, 40, 30);
    panel->SetBevelOuter(TBevelCut::bvNone);
    panel->SetColor(clYellow);
    panel->SetControlStyle(panel->ControlStyle() | csFramed);
    Open();
    EXPECT_EQ(Shown(49, 19), Rgb(clBtnShadow));    // outside the top-left corner
    EXPECT_EQ(Shown(90, 50), Rgb(clBtnHighlight)); // outside the bottom-right corner
    EXPECT_EQ(Shown(70, 35), Rgb(clYellow));       // the panel's own face on top
    EXPECT_EQ(Shown(48, 18), Rgb(clWhite));
    // A windowed child comes after every skinned one in the Tab order.
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    a->SetDIBTabOrder(0);
    panel->SetTabStop(true);
    EXPECT_EQ(container->TabPosition(a), 0);
    EXPECT_EQ(container->TabPosition(panel), panel->TabOrder() + container->ControlCount());
    EXPECT_EQ(container->FirstControl(), a);
    EXPECT_EQ(container->LastControl(), panel);
}

TEST_F(ContainerTest, ASkinnedChildThatSetsTheCursorItselfIsObeyed) {
    struct Cursor : TTestDIBControl {
        using TTestDIBControl::TTestDIBControl;
        int asked = 0;
        void Dispatch(TMessage& m) override {
            if (m.Msg == WM_SETCURSOR) {
                ++asked;
                form->PlatformWindow()->SetCursorShape(crCross);
                m.Result = 1;
                return;
            }
            TTestDIBControl::Dispatch(m);
        }
        TForm* form = nullptr;
    };
    auto* c = new Cursor(form);
    c->form = form;
    c->SetParent(container);
    c->SetBounds(10, 10, 20, 20);
    c->SetCursor(crHandPoint);
    Open();
    sys().MoveMouse(ScreenAt(15, 15));
    Pump();
    EXPECT_EQ(c->asked, 1);
    EXPECT_EQ(sys().WindowCursor(form->Handle()), crCross);
}
