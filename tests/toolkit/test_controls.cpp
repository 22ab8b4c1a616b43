// Controls and forms: parents and z-order, alignment, inherited fonts and colours, the class
// registry, stored descriptions, embedding, painting on demand and keyboard focus.
#include "ToolkitTest.h"

#include "runtime/Exceptions.h"
#include "runtime/Streaming.h"
#include "toolkit/Menus.h"

using namespace ql;
using namespace ql::test;

namespace {
/// Records the messages a control receives.
class TProbe : public TGraphicControl {
  public:
    explicit TProbe(TComponent* owner) : TGraphicControl(owner) {}
    void Dispatch(TMessage& m) override {
        log.push_back(m.Msg);
        if (m.Msg == WM_PAINT) ++paints;
        TGraphicControl::Dispatch(m);
    }
    std::vector<std::uint32_t> log;
    int paints = 0;
};
} // namespace

TEST_F(HeadlessTest, ChildrenKeepWindowedControlsAboveGraphicOnes) {
    Owned<TForm> form(new TForm(nullptr));
    auto* panel = new TPanel(form.get());
    auto* a = new TLabel(form.get());
    auto* b = new TShape(form.get());
    panel->SetParent(form.get());
    a->SetParent(form.get());
    b->SetParent(form.get());
    ASSERT_EQ(form->ControlCount(), 3);
    EXPECT_EQ(form->Controls(0), a);
    EXPECT_EQ(form->Controls(1), b);
    EXPECT_EQ(form->Controls(2), panel);
    a->BringToFront();
    EXPECT_EQ(form->Controls(1), a);
    EXPECT_EQ(form->Controls(2), panel);
    a->SendToBack();
    EXPECT_EQ(form->Controls(0), a);
    EXPECT_THROW(form->SetParent(panel), EInvalidOperation); // a cycle
    EXPECT_THROW(form->Controls(3), EListError);
    // Freeing a child takes it out of its parent; freeing the form frees owned children.
    TComponent::Free(b);
    EXPECT_EQ(form->ControlCount(), 2);
}

TEST_F(HeadlessTest, AlignedChildrenShareTheClientArea) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 200, 100);
    auto* top = new TPanel(form.get());
    auto* left = new TPanel(form.get());
    auto* client = new TPanel(form.get());
    for (TPanel* p : {top, left, client})
        p->SetParent(form.get());
    top->SetHeight(20);
    top->SetAlign(TAlign::alTop);
    left->SetWidth(30);
    left->SetAlign(TAlign::alLeft);
    client->SetAlign(TAlign::alClient);
    EXPECT_EQ(top->BoundsRect(), TRect(0, 0, 200, 20));
    EXPECT_EQ(left->BoundsRect(), TRect(0, 20, 30, 100));
    EXPECT_EQ(client->BoundsRect(), TRect(30, 20, 200, 100));
    form->SetClientSize(300, 50);
    EXPECT_EQ(client->BoundsRect(), TRect(30, 20, 300, 50));
    // A panel's border keeps aligned children inside it.
    client->SetBevelOuter(TBevelCut::bvNone);
    client->SetBorderWidth(5);
    auto* inner = new TPanel(form.get());
    inner->SetParent(client);
    inner->SetAlign(TAlign::alClient);
    EXPECT_EQ(inner->BoundsRect(), TRect(5, 5, 265, 25));
}

TEST_F(HeadlessTest, FontsAndColoursFollowTheParentUntilSetOnTheControl) {
    Owned<TForm> form(new TForm(nullptr));
    form->Font().SetName("Arial");
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    EXPECT_EQ(label->Font().Name(), "Arial");
    form->Font().SetHeight(-20);
    EXPECT_EQ(label->Font().Height(), -20);
    label->Font().SetStyle(fsBold);
    EXPECT_FALSE(label->ParentFont());
    form->Font().SetHeight(-30);
    EXPECT_EQ(label->Font().Height(), -20);
    label->SetParentFont(true);
    EXPECT_EQ(label->Font().Height(), -30);
    EXPECT_EQ(label->Font().Style(), 0u);

    form->SetColor(clWhite);
    EXPECT_EQ(label->Color(), clWhite);
    label->SetColor(clRed);
    form->SetColor(clBlue);
    EXPECT_EQ(label->Color(), clRed);
    EXPECT_FALSE(label->ParentColor());
}

TEST_F(HeadlessTest, LabelSizesItselfToItsCaption) {
    Owned<TForm> form(new TForm(nullptr));
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    label->Font().SetName("Arial");
    label->Font().SetHeight(-20);
    label->SetCaption("Hello");
    EXPECT_EQ(label->Width(), label->Canvas().TextWidth("Hello"));
    EXPECT_EQ(label->Height(), label->Canvas().TextHeight("Hello"));
    label->SetAlignment(TAlignment::taRightJustify);
    const int right = label->BoundsRect().Right;
    label->SetCaption("Hello, world");
    EXPECT_EQ(label->BoundsRect().Right, right); // grows to the left
    label->SetAutoSize(false);
    label->SetCaption("x");
    EXPECT_GT(label->Width(), label->Canvas().TextWidth("x"));
}

TEST_F(HeadlessTest, StoredDescriptionsCreateAndSetControlsByName) {
    RegisterToolkitClasses();
    const TClassInfo* cls = FindClass("TLabel");
    ASSERT_NE(cls, nullptr);
    Owned<TForm> form(new TForm(nullptr));
    form->ReadDescription(ParseDescription(R"(
object Editor: TForm
  BorderStyle = bsNone
  ClientHeight = 226
  ClientWidth = 611
  Color = 16777215
  Font.Charset = 1
  Font.Color = -16777208
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  PixelsPerInch = 96
  TextHeight = 13
  object sQ: TShape
    Left = 248
    Top = 56
    Width = 121
    Height = 121
    Pen.Width = 2
  end
  object LbQ: TLabel
    Tag = 3
    Left = 252
    Top = 90
    Width = 114
    Height = 51
    Alignment = taCenter
    AutoSize = False
    Caption = '3Bit'
    Font.Height = -43
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
  end
end)"));
    EXPECT_EQ(form->ClientWidth(), 611);
    EXPECT_EQ(form->ClientHeight(), 226);
    EXPECT_EQ(form->BorderStyle(), TFormBorderStyle::bsNone);
    EXPECT_EQ(form->Color(), clWhite);
    auto* label = dynamic_cast<TLabel*>(form->FindComponent("LbQ"));
    auto* shape = dynamic_cast<TShape*>(form->FindComponent("sQ"));
    ASSERT_TRUE(label && shape);
    EXPECT_EQ(label->Parent(), form.get());
    EXPECT_EQ(label->Tag(), 3);
    EXPECT_EQ(label->BoundsRect(), TRect(252, 90, 366, 141)); // AutoSize off: the stored size stays
    EXPECT_EQ(label->Font().Name(), "Arial");
    EXPECT_EQ(label->Font().Style(), static_cast<TFontStyles>(fsBold));
    EXPECT_EQ(label->Alignment(), TAlignment::taCenter);
    EXPECT_EQ(shape->Pen().Width(), 2);
    EXPECT_EQ(shape->Brush().Color(), clWhite);
    EXPECT_EQ(form->Font().Color(), clWindowText);
}

TEST_F(HeadlessTest, FormEmbedsIntoTheHostWindowAndIsDestroyedWithIt) {
    const std::size_t before = sys().ChildWindowCount();
    {
        Owned<TForm> form(new TForm(nullptr));
        form->SetBorderStyle(TFormBorderStyle::bsNone);
        form->SetClientSize(611, 226);
        form->SetParentWindow(host);
        form->Show();
        form->SetBounds(0, 0, form->Width(), form->Height());
        ASSERT_NE(form->Handle(), 0u);
        EXPECT_EQ(sys().ParentOf(form->Handle()), host);
        EXPECT_EQ(sys().WindowBounds(form->Handle()), TRect(0, 0, 611, 226));
        EXPECT_TRUE(sys().WindowVisible(form->Handle()));
        EXPECT_EQ(sys().ChildWindowCount(), before + 1);
        EXPECT_EQ(form->ClientToScreen({0, 0}), TPoint(100, 50));
    }
    EXPECT_EQ(sys().ChildWindowCount(), before);
    // A form outside any window still paints into its own surface.
    Owned<TForm> loose(new TForm(nullptr));
    loose->Show();
    loose->SetColor(clRed);
    loose->Invalidate();
    loose->Update();
    EXPECT_EQ(loose->Surface().Pixel(5, 5), 0x00FF0000u);
}

TEST_F(HeadlessTest, AParentHandleNoWindowSystemKnowsGetsNoWindow) {
    const std::size_t before = sys().ChildWindowCount();
    const TNativeHandle gone = sys().CreateHostWindow(TRect::Bounds(0, 0, 100, 100));
    sys().DestroyHostWindow(gone);
    Owned<TForm> form(new TForm(nullptr));
    form->Show();
    // Neither the headless system (not one of its windows any more) nor a native one knows it.
    EXPECT_THROW(form->SetParentWindow(gone), EInvalidOperation);
    EXPECT_EQ(form->Handle(), 0u);
    EXPECT_EQ(form->ParentWindow(), 0u);
    EXPECT_EQ(form->WindowSystem(), nullptr);
    EXPECT_EQ(sys().ChildWindowCount(), before);
    EXPECT_EQ(sys().CreateChildWindow(gone, TRect(0, 0, 10, 10), *form), nullptr);
    // The form is unharmed and embeds into a real window afterwards.
    form->SetParentWindow(host);
    ASSERT_NE(form->Handle(), 0u);
    EXPECT_EQ(sys().ParentOf(form->Handle()), host);
}

TEST_F(HeadlessTest, InvalidationPaintsOnlyWhatChangedAtTheNextPump) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetParentWindow(host);
    form->Show();
    auto* a = new TProbe(form.get());
    auto* b = new TProbe(form.get());
    a->SetParent(form.get());
    b->SetParent(form.get());
    a->SetBounds(0, 0, 10, 10);
    b->SetBounds(100, 100, 10, 10);
    Pump();
    EXPECT_EQ(a->paints, 1);
    EXPECT_EQ(b->paints, 1);
    a->Invalidate();
    a->Invalidate();
    EXPECT_EQ(a->paints, 1); // nothing paints outside the pump
    Pump();
    EXPECT_EQ(a->paints, 2); // once for both requests
    EXPECT_EQ(b->paints, 1);
    b->Hide();
    Pump();
    b->Invalidate();
    Pump();
    EXPECT_EQ(b->paints, 1);
}

TEST_F(HeadlessTest, TabMovesTheFocusThroughTabStopsAndFocusEventsFire) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetParentWindow(host);
    form->Show();
    std::vector<TPanel*> panels;
    for (int i = 0; i < 3; ++i) {
        auto* p = new TPanel(form.get());
        p->SetParent(form.get());
        p->SetBounds(i * 50, 0, 40, 40);
        p->SetTabStop(true);
        panels.push_back(p);
    }
    panels[2]->SetTabOrder(0);
    panels[1]->SetTabStop(false);
    struct Events {
        std::vector<std::string> log;
        void Enter(TObject* s) { log.push_back("enter " + static_cast<TComponent*>(s)->Name()); }
        void Exit(TObject* s) { log.push_back("exit " + static_cast<TComponent*>(s)->Name()); }
    } ev;
    for (int i = 0; i < 3; ++i) {
        panels[i]->SetName("P" + std::to_string(i));
        panels[i]->OnEnter = TNotifyEvent::Of<&Events::Enter>(&ev);
        panels[i]->OnExit = TNotifyEvent::Of<&Events::Exit>(&ev);
    }
    form->SelectFirst();
    EXPECT_EQ(form->ActiveControl(), panels[2]);
    sys().PressButton(TMouseButton::mbLeft, Screen(*form, {5, 5})); // gives the native focus
    sys().ReleaseButton(TMouseButton::mbLeft, Screen(*form, {5, 5}));
    sys().PressKey(VK_TAB);
    sys().ReleaseKey(VK_TAB);
    Pump();
    EXPECT_EQ(form->ActiveControl(), panels[0]);
    sys().PressKey(VK_SHIFT);
    sys().PressKey(VK_TAB);
    Pump();
    EXPECT_EQ(form->ActiveControl(), panels[2]);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"enter P2", "exit P2", "enter P0", "exit P0", "enter P2"}));
    // Disabling the focused control takes the focus away; freeing it clears the form's references.
    panels[2]->SetEnabled(false);
    EXPECT_EQ(form->FocusedControl(), nullptr);
    panels[0]->SetFocus();
    TComponent::Free(panels[0]);
    EXPECT_EQ(form->ActiveControl(), nullptr);
}

TEST_F(HeadlessTest, KeysReachTheFocusedControlAfterThePreviewAndPopupShortCuts) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetParentWindow(host);
    form->Show();
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    auto* menu = new TPopupMenu(form.get());
    auto* item = new TMenuItem(form.get());
    item->SetShortCut(ShortCut('S', ssCtrl));
    menu->Items().Add(item);
    form->SetPopupMenu(menu);
    struct Keys {
        std::vector<std::string> log;
        bool swallow = false;
        void FormKey(TObject*, std::uint16_t& k, TShiftState) {
            log.push_back("form " + std::to_string(k));
            if (swallow) k = 0;
        }
        void PanelKey(TObject*, std::uint16_t& k, TShiftState) {
            log.push_back("panel " + std::to_string(k));
        }
        void Press(TObject*, char& c) { log.push_back(std::string("char ") + c); }
        void Menu(TObject*) { log.push_back("menu"); }
    } keys;
    form->OnKeyDown = TKeyEvent::Of<&Keys::FormKey>(&keys);
    panel->OnKeyDown = TKeyEvent::Of<&Keys::PanelKey>(&keys);
    panel->OnKeyPress = TKeyPressEvent::Of<&Keys::Press>(&keys);
    item->OnClick = TNotifyEvent::Of<&Keys::Menu>(&keys);
    panel->SetFocus();
    sys().PressButton(TMouseButton::mbLeft, Screen(*form, {300, 200}));
    sys().ReleaseButton(TMouseButton::mbLeft, Screen(*form, {300, 200}));
    sys().PressKey('A');
    sys().TypeChar('a');
    sys().ReleaseKey('A');
    Pump();
    form->SetKeyPreview(true);
    keys.swallow = true;
    sys().PressKey('B');
    sys().ReleaseKey('B');
    sys().PressKey(VK_CONTROL);
    sys().PressKey('S');
    Pump();
    EXPECT_EQ(keys.log, (std::vector<std::string>{"panel 65", "char a", "form 66", "form 17", "menu"}));
    // Removing the menu clears the reference to it.
    TComponent::Free(menu);
    EXPECT_EQ(form->PopupMenu(), nullptr);
}

TEST_F(HeadlessTest, EnabledAndVisibleChangesReachTheControl) {
    Owned<TForm> form(new TForm(nullptr));
    auto* p = new TProbe(form.get());
    p->SetParent(form.get());
    p->SetEnabled(false);
    p->SetEnabled(false);
    p->SetCaption("x");
    p->Hide();
    const auto count = [&](std::uint32_t msg) { return std::count(p->log.begin(), p->log.end(), msg); };
    EXPECT_EQ(count(CM_ENABLEDCHANGED), 1);
    EXPECT_EQ(count(CM_TEXTCHANGED), 1);
    EXPECT_EQ(count(CM_VISIBLECHANGED), 1);
    EXPECT_FALSE(p->Showing());
}
