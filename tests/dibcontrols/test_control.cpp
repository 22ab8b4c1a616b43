// The skinned control base: construction checks, Tab order from descriptions, riding children,
// hot state and crossings, emulated focus, keys, accelerators, repetition, template properties,
// popup menus and controls freed inside their own handlers.
#include "DibControlTest.h"

using namespace ql;
using namespace ql::test;

namespace {

using Log = std::vector<std::string>;

/// A control that frees itself from inside one of its handlers.
struct SelfFreeing {
    TTestDIBControl* control = nullptr;
    void Free(TObject*) {
        TComponent::Free(control);
        control = nullptr;
    }
    void FreeOnMouse(TObject*, TMouseButton, TShiftState, int, int) { Free(nullptr); }
};

} // namespace

TEST(DIBControlConstruction, OwnerMustBeOrOwnAContainer) {
    RegisterTestClasses();
    try {
        TTestDIBControl c(nullptr);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Owner cannot be nil");
    }
    TForm plain(nullptr);
    try {
        new TTestDIBControl(&plain);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Parent must be a TDIBContainer");
    }
    EXPECT_EQ(plain.ComponentCount(), 0); // nothing half-made stays behind
    // A form that owns a container is accepted, and so is the container itself.
    auto* container = new TDIBImageAnimContainer(&plain);
    auto* c = new TTestDIBControl(&plain);
    EXPECT_EQ(c->Width(), 32);
    EXPECT_EQ(c->Opacity(), 255);
    EXPECT_EQ(c->PendingTabOrder(), -1);
    EXPECT_EQ(c->WantKeys(), wkArrows);
    EXPECT_EQ(c->RepeatInterval(), 250u);
    EXPECT_EQ(c->TemplateProperties(), (std::vector<std::string>{"Width", "Height"}));
    // A parent that is not a container stands for the container it owns.
    c->SetParent(&plain);
    EXPECT_EQ(c->Parent(), container);
    TForm other(nullptr);
    EXPECT_THROW(c->SetParent(&other), Exception);
    EXPECT_EQ(c->Parent(), container);
    c->SetParent(nullptr);
    EXPECT_EQ(c->Parent(), nullptr);
    EXPECT_NO_THROW(new TTestDIBControl(container));
}

TEST_F(ContainerTest, TabOrderFromADescriptionClosesGapsAndLeavesOutMinusOne) {
    form->ReadDescription(ParseDescription(R"(object F: TForm
  object C2: TDIBImageAnimContainer
    Left = 0
    Top = 0
    Width = 100
    Height = 50
    object A: TTestDIBControl
      DIBTabOrder = 4
    end
    object B: TTestDIBControl
      DIBTabOrder = 0
    end
    object N: TTestDIBControl
      DIBTabOrder = -1
    end
    object D: TTestDIBControl
      DIBTabOrder = 2
    end
  end
end)"));
    auto* c2 = dynamic_cast<TCustomDIBContainer*>(form->FindComponent("C2"));
    ASSERT_NE(c2, nullptr);
    std::vector<std::string> order;
    for (TControl* c : c2->DIBTabList())
        order.push_back(c->Name());
    EXPECT_EQ(order, (std::vector<std::string>{"B", "D", "A"}));
    EXPECT_EQ(static_cast<TTestDIBControl*>(form->FindComponent("A"))->DIBTabOrder(), 2);
    EXPECT_EQ(static_cast<TTestDIBControl*>(form->FindComponent("N"))->DIBTabOrder(), -1);
    EXPECT_TRUE(c2->TabStop());
    // Written at run time, the order moves controls and remembers where they ended up.
    auto* n = static_cast<TTestDIBControl*>(form->FindComponent("N"));
    n->SetDIBTabOrder(0);
    EXPECT_EQ(c2->DIBTabList().front(), n);
    n->SetDIBTabOrder(99);
    EXPECT_EQ(n->DIBTabOrder(), 3);
    EXPECT_EQ(n->PendingTabOrder(), 3);
    n->SetDIBTabOrder(-1);
    EXPECT_EQ(n->DIBTabOrder(), -1);
}

TEST_F(ContainerTest, MovingAControlMovesItsRidingChildrenResizingDoesNot) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    TTestDIBControl* b = AddControl(TRect::Bounds(40, 10, 20, 20));
    auto* label = new TLabel(form);
    label->SetParent(container);
    label->SetBounds(70, 10, 30, 15);
    a->Children().Add()->SetControl(b);
    a->Children().Add()->SetControl(label);
    EXPECT_THROW(a->Children().Add()->SetControl(b), EFeatureError);
    EXPECT_THROW(a->Children().Items(0)->SetControl(nullptr), EFeatureError);
    a->Children().Delete(2);
    EXPECT_EQ(a->Children().Items(0)->DisplayName(), "TTestDIBControl");
    label->SetName("Caption");
    EXPECT_EQ(a->Children().Items(1)->DisplayName(), "Caption");

    a->SetBounds(15, 5, 20, 20);
    EXPECT_EQ(b->BoundsRect(), TRect::Bounds(45, 5, 20, 20));
    EXPECT_EQ(label->BoundsRect(), TRect::Bounds(75, 5, 30, 15));
    a->SetBounds(15, 5, 50, 50);
    EXPECT_EQ(b->BoundsRect(), TRect::Bounds(45, 5, 20, 20));
    // Two controls riding on each other move once each.
    b->Children().Add()->SetControl(a);
    a->SetLeft(25);
    EXPECT_EQ(a->Left(), 25);
    EXPECT_EQ(b->Left(), 55);
    // A child that goes away leaves the list.
    TComponent::Free(label);
    EXPECT_EQ(a->Children().Count(), 1);
}

TEST_F(ContainerTest, RidingChildrenFollowMovesAcrossMostOfTheCoordinateRange) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    TTestDIBControl* b = AddControl(TRect::Bounds(40, 10, 20, 20));
    a->Children().Add()->SetControl(b);
    a->SetLeft(-2000000000);
    EXPECT_EQ(b->Left(), -2000000000 + 30);
    a->SetLeft(2000000000 - 100); // a move of more than 32 bits can hold
    EXPECT_EQ(b->Left(), 2000000000 - 70);
}

TEST_F(ContainerTest, MovesDoNotStampTheFaceButOtherInvalidationsDo) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 20, 20));
    sys().AdvanceTime(100);
    const std::uint32_t now = sys().Now();
    a->SetLeft(30);
    EXPECT_NE(a->InvalidateStamp(), now);
    a->SetOpacity(10);
    EXPECT_EQ(a->InvalidateStamp(), now);
    sys().AdvanceTime(5);
    a->SetWidth(25);
    EXPECT_EQ(a->InvalidateStamp(), now + 5);
}

TEST_F(ContainerTest, CrossingsMakeTheControlHotAndHighlightOncePerTransition) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->Record();
    Open();
    sys().MoveMouse(ScreenAt(20, 20));
    Pump();
    EXPECT_TRUE(a->Hot());
    EXPECT_TRUE(a->MouseInside());
    EXPECT_EQ(a->Log, (Log{"Highlight", "OnMouseEnter"}));
    a->Log.clear();
    sys().MoveMouse(ScreenAt(100, 80));
    Pump();
    EXPECT_FALSE(a->Hot());
    EXPECT_EQ(a->Log, (Log{"OnMouseLeave", "Unhighlight"}));
    // Focused controls stay lit when the mouse leaves.
    a->SetDIBTabOrder(0);
    a->Log.clear();
    a->SetDIBFocus();
    EXPECT_TRUE(a->Focused());
    EXPECT_EQ(container->ActiveControl(), a);
    EXPECT_EQ(a->Log, (Log{"Highlight", "OnEnter"}));
    a->Log.clear();
    sys().MoveMouse(ScreenAt(20, 20));
    sys().MoveMouse(ScreenAt(100, 80));
    Pump();
    EXPECT_EQ(a->Log, (Log{"OnMouseEnter", "OnMouseLeave"}));
}

TEST_F(ContainerTest, ADragOutsideKeepsTheControlHotUntilTheButtonIsReleased) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    TTestDIBControl* b = AddControl(TRect::Bounds(120, 10, 40, 40));
    a->Record();
    b->Record();
    Open();
    sys().MoveMouse(ScreenAt(20, 20));
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    EXPECT_EQ(GetCaptureControl(), a);
    EXPECT_EQ(a->PressedButtons(), ButtonBit(TMouseButton::mbLeft));
    a->Log.clear();
    sys().MoveMouse(ScreenAt(130, 20)); // over b, a still holds the mouse
    Pump();
    EXPECT_FALSE(a->MouseInside());
    EXPECT_TRUE(a->Hot());
    EXPECT_TRUE(a->Log.empty());
    EXPECT_TRUE(b->Log.empty());
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(130, 20));
    Pump();
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_FALSE(a->Hot());
    EXPECT_EQ(a->PressedButtons(), 0);
    EXPECT_EQ(a->Log, (Log{"OnMouseLeave", "Unhighlight"})); // no click: released elsewhere
    EXPECT_EQ(b->Log, (Log{"Highlight", "OnMouseEnter"}));
    EXPECT_TRUE(b->Hot());
    // Back over a during a drag: it is entered again.
    b->Log.clear();
    a->Log.clear();
    sys().MoveMouse(ScreenAt(20, 20));
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    sys().MoveMouse(ScreenAt(100, 20));
    sys().MoveMouse(ScreenAt(25, 25));
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(25, 25));
    Pump();
    EXPECT_TRUE(a->Hot());
    EXPECT_EQ(a->Log, (Log{"Highlight", "OnMouseEnter", "OnMouseEnter", "OnClick"}));
}

TEST_F(ContainerTest, ClicksTakeTheEmulatedFocusOnlyWithATabPosition) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    TTestDIBControl* b = AddControl(TRect::Bounds(60, 10, 40, 40));
    b->SetDIBTabOrder(0);
    Open();
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    EXPECT_FALSE(a->Focused());
    EXPECT_EQ(container->ActiveControl(), nullptr);
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(70, 20));
    Pump();
    EXPECT_TRUE(b->Focused());
    EXPECT_EQ(container->ActiveControl(), b);
    EXPECT_EQ(form->FocusedControl(), container);
    // Disabling the focused control takes the emulated focus away.
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(70, 20));
    Pump();
    b->SetEnabled(false);
    EXPECT_FALSE(b->Focused());
}

TEST_F(ContainerTest, KeysReachTheFocusedControlByItsDialogCode) {
    struct Keys {
        Log log;
        void Down(TObject*, std::uint16_t& key, TShiftState) {
            log.push_back("down " + std::to_string(key));
            if (key == 'X') key = 0;
        }
        void Up(TObject*, std::uint16_t& key, TShiftState) { log.push_back("up " + std::to_string(key)); }
        void Press(TObject*, char& ch) { log.push_back(std::string("char ") + ch); }
    } keys;
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->SetDIBTabOrder(0);
    a->OnKeyDown = TKeyEvent::Of<&Keys::Down>(&keys);
    a->OnKeyUp = TKeyEvent::Of<&Keys::Up>(&keys);
    a->OnKeyPress = TKeyPressEvent::Of<&Keys::Press>(&keys);
    Open();
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    sys().PressKey('A');
    sys().TypeChar('a');
    sys().ReleaseKey('A');
    sys().PressKey(VK_LEFT); // arrows: wanted by default
    sys().ReleaseKey(VK_LEFT);
    sys().PressKey(VK_RETURN); // not wanted unless all keys are
    sys().ReleaseKey(VK_RETURN);
    Pump();
    EXPECT_EQ(keys.log, (Log{"down 65", "char a", "up 65", "down 37", "up 37"}));
    keys.log.clear();
    a->SetWantKeys(wkAllKeys);
    EXPECT_EQ(a->Perform(WM_GETDLGCODE), DLGC_WANTALLKEYS);
    sys().PressKey(VK_RETURN);
    Pump();
    EXPECT_EQ(keys.log, (Log{"down 13"}));
    a->SetWantKeys(wkTab | wkArrows);
    EXPECT_EQ(a->Perform(WM_GETDLGCODE), DLGC_WANTTAB | DLGC_WANTARROWS);
    // A previewing form sees the key first and may take it.
    struct Preview {
        void Down(TObject*, std::uint16_t& key, TShiftState) {
            if (key == 'P') key = 0;
        }
    } preview;
    form->SetKeyPreview(true);
    form->OnKeyDown = TKeyEvent::Of<&Preview::Down>(&preview);
    keys.log.clear();
    sys().PressKey('P');
    sys().PressKey('Q');
    Pump();
    EXPECT_EQ(keys.log, (Log{"down 81"}));
}

TEST_F(ContainerTest, AnAcceleratorClicksAnEnabledVisibleControlWithAlt) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->Record();
    a->SetAccelerator('k');
    Open();
    container->SetFocus();
    sys().TypeChar('k'); // no Alt
    Pump();
    EXPECT_TRUE(a->Log.empty());
    sys().PressKey(VK_MENU);
    sys().TypeChar('k');
    Pump();
    EXPECT_EQ(a->Log, (Log{"OnClick"}));
    EXPECT_TRUE(a->LastShiftState() & ssAlt);
    a->SetEnabled(false);
    sys().TypeChar('k');
    Pump();
    EXPECT_EQ(a->Log, (Log{"OnClick"}));
}

TEST_F(ContainerTest, PressAndHoldRepeatsThePressUntilReleasedOrStopped) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    int presses = 0;
    struct Counter {
        int* n;
        TTestDIBControl* stopAt3;
        void Down(TObject*, TMouseButton, TShiftState, int, int) {
            if (++*n == 3 && stopAt3) stopAt3->StopRepeat();
        }
    } counter{&presses, nullptr};
    a->OnMouseDown = TMouseEvent::Of<&Counter::Down>(&counter);
    a->SetAutoRepeat(true);
    a->SetRepeatInterval(100);
    Open();
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    EXPECT_EQ(presses, 1);
    for (int i = 0; i < 3; ++i) {
        sys().AdvanceTime(100);
        Pump();
    }
    EXPECT_EQ(presses, 4);
    // Leaving the control pauses repetition; coming back (still held) resumes it.
    sys().MoveMouse(ScreenAt(150, 80));
    Pump();
    sys().AdvanceTime(300);
    Pump();
    EXPECT_EQ(presses, 4);
    sys().MoveMouse(ScreenAt(20, 20));
    Pump();
    sys().AdvanceTime(100);
    Pump();
    EXPECT_EQ(presses, 5);
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    sys().AdvanceTime(500);
    Pump();
    EXPECT_EQ(presses, 5);
    EXPECT_FALSE(a->RepeatTimer().Enabled());
    // StopRepeat ends it at the next tick.
    presses = 0;
    counter.stopAt3 = a;
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    for (int i = 0; i < 5; ++i) {
        sys().AdvanceTime(100);
        Pump();
    }
    EXPECT_EQ(presses, 3);
    EXPECT_FALSE(a->RepeatTimer().Enabled());
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
}

TEST_F(ContainerTest, ControlsFreedInsideTheirOwnHandlersLeaveNothingBehind) {
    Open();
    // Click handler.
    SelfFreeing byClick{AddControl(TRect::Bounds(10, 10, 40, 40))};
    byClick.control->OnClick = TNotifyEvent::Of<&SelfFreeing::Free>(&byClick);
    byClick.control->SetDIBTabOrder(0);
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump(2);
    EXPECT_EQ(byClick.control, nullptr);
    EXPECT_TRUE(container->DIBTabList().empty());
    EXPECT_EQ(container->ActiveControl(), nullptr);
    // Mouse-down handler, the focus having been taken just before.
    SelfFreeing byDown{AddControl(TRect::Bounds(10, 10, 40, 40))};
    byDown.control->SetDIBTabOrder(0);
    byDown.control->OnMouseDown = TMouseEvent::Of<&SelfFreeing::FreeOnMouse>(&byDown);
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump(2);
    EXPECT_EQ(byDown.control, nullptr);
    EXPECT_EQ(container->ActiveControl(), nullptr);
    // Mouse-up, enter and leave handlers.
    SelfFreeing byUp{AddControl(TRect::Bounds(10, 10, 40, 40))};
    byUp.control->OnMouseUp = TMouseEvent::Of<&SelfFreeing::FreeOnMouse>(&byUp);
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(21, 20));
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(21, 20));
    Pump(2);
    EXPECT_EQ(byUp.control, nullptr);
    SelfFreeing byEnter{AddControl(TRect::Bounds(60, 10, 40, 40))};
    byEnter.control->OnMouseEnter = TNotifyEvent::Of<&SelfFreeing::Free>(&byEnter);
    sys().MoveMouse(ScreenAt(70, 20));
    Pump(2);
    EXPECT_EQ(byEnter.control, nullptr);
    SelfFreeing byLeave{AddControl(TRect::Bounds(110, 10, 40, 40))};
    byLeave.control->OnMouseLeave = TNotifyEvent::Of<&SelfFreeing::Free>(&byLeave);
    sys().MoveMouse(ScreenAt(120, 20));
    sys().MoveMouse(ScreenAt(190, 90));
    Pump(2);
    EXPECT_EQ(byLeave.control, nullptr);
    // The repeat timer's own tick.
    SelfFreeing byTick{AddControl(TRect::Bounds(10, 10, 40, 40))};
    int downs = 0;
    struct SecondPress {
        SelfFreeing* f;
        int* n;
        void Down(TObject*, TMouseButton, TShiftState, int, int) {
            if (++*n == 2) f->Free(nullptr);
        }
    } second{&byTick, &downs};
    byTick.control->OnMouseDown = TMouseEvent::Of<&SecondPress::Down>(&second);
    byTick.control->SetAutoRepeat(true);
    sys().PressButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump();
    sys().AdvanceTime(300);
    Pump(2);
    EXPECT_EQ(byTick.control, nullptr);
    sys().ReleaseButton(TMouseButton::mbLeft, ScreenAt(20, 20));
    Pump(2);
    EXPECT_EQ(container->ControlCount(), 0);
}

TEST_F(ContainerTest, TheContainerGoingFirstLeavesItsChildrenUsable) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->SetDIBTabOrder(0);
    Open();
    a->SetDIBFocus();
    TComponent::Free(container);
    container = nullptr;
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(a->DIBTabOrder(), -1);
    a->SetOpacity(3);
    a->Invalidate();
    Pump();
    TComponent::Free(a);
}

TEST_F(ContainerTest, ImageLinksOfAControlFollowItsListAndStopWhenItIsDestroyed) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    TDIBImageLink* first = nullptr;
    TDIBImageLink* second = nullptr;
    a->CreateImageLink(first);
    a->CreateImageLink(second);
    first->SetDIBIndex(0);
    second->SetDIBIndex(1);
    auto* list = new TDIBImageList(form);
    list->DIBImages().Add();
    list->DIBImages().Add();
    a->SetDIBImageList(list);
    EXPECT_EQ(first->DIBImageList(), list);
    // Each index was reported when it was set, and again when the list arrived.
    EXPECT_EQ(a->ImageChanges, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {0, 1}, {1, 1}}));
    a->ImageChanges.clear();
    list->DIBImages().Delete(0);
    EXPECT_EQ(a->ImageChanges, (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(second->DIBIndex(), 0);
    // The list goes: the control forgets it, its links are detached.
    TComponent::Free(list);
    EXPECT_EQ(a->DIBImageList(), nullptr);
    EXPECT_EQ(second->DIBImageList(), nullptr);
}

TEST_F(ContainerTest, TemplatePropertiesMustBePublishedAndOfAKindATemplateHolds) {
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->AddTemplateProperty("Opacity");
    a->AddTemplateProperty("Font"); // an object the control holds
    a->AddTemplateProperty("Accelerator");
    a->AddTemplateProperty("Opacity"); // twice is twice
    EXPECT_EQ(a->TemplateProperties(),
              (std::vector<std::string>{"Width", "Height", "Opacity", "Font", "Accelerator", "Opacity"}));
    try {
        a->AddTemplateProperty("Nonsense");
        ADD_FAILURE();
    } catch (const EDIBControlError& e) {
        EXPECT_STREQ(e.what(), "Class TTestDIBControl is trying to register Nonsense as a template property, "
                               "and that property does not exist.");
    }
    for (const char* bad : {"OnClick", "PopupMenu", "DIBImageList"}) {
        try {
            a->AddTemplateProperty(bad);
            ADD_FAILURE() << bad;
        } catch (const EDIBControlError& e) {
            EXPECT_STREQ(e.what(), "Attempting to template an invalid property type.");
        }
    }
    // Every registered name is saved, a name registered twice twice.
    std::ostringstream out;
    a->SaveTemplate(out);
    const std::string bytes = out.str();
    EXPECT_NE(bytes.find("Accelerator"), std::string::npos);
    EXPECT_NE(bytes.find("Opacity"), bytes.rfind("Opacity"));
}

TEST_F(ContainerTest, PopupMenusComeFromTheControlOrTheSharedMenuWhenItGetsItems) {
    struct WithItems : TTestDIBControl {
        using TTestDIBControl::TTestDIBControl;
        void AddPopupItems(TPopupMenu& menu) override {
            auto* item = new TMenuItem(nullptr);
            item->SetCaption("Reset");
            menu.Items().Add(item);
        }
    };
    TTestDIBControl* plain = AddControl(TRect::Bounds(10, 10, 20, 20));
    auto* filled = new WithItems(form);
    filled->SetParent(container);
    EXPECT_EQ(plain->FindPopupMenu(), nullptr);
    TPopupMenu* shared = filled->FindPopupMenu();
    ASSERT_EQ(shared, &TCustomDIBControl::SharedPopupMenu());
    EXPECT_EQ(shared->Items().Count(), 1);
    EXPECT_EQ(filled->FindPopupMenu()->Items().Count(), 1); // emptied before it is filled again
    EXPECT_EQ(plain->FindPopupMenu(), nullptr);
    EXPECT_EQ(shared->Items().Count(), 0);
    auto* own = new TPopupMenu(form);
    plain->SetPopupMenu(own);
    EXPECT_EQ(plain->FindPopupMenu(), own);
}

TEST_F(ContainerTest, PopupShortCutsOfTheFocusedControlFireOncePerPress) {
    struct Clicks {
        int n = 0;
        void Click(TObject*) { ++n; }
    } clicks;
    TTestDIBControl* a = AddControl(TRect::Bounds(10, 10, 40, 40));
    a->SetDIBTabOrder(0);
    auto* menu = new TPopupMenu(form);
    auto* item = new TMenuItem(nullptr);
    item->SetShortCut(ShortCut('R', ssCtrl));
    item->OnClick = TNotifyEvent::Of<&Clicks::Click>(&clicks);
    menu->Items().Add(item);
    a->SetPopupMenu(menu);
    struct Keys {
        int downs = 0;
        void Down(TObject*, std::uint16_t&, TShiftState) { ++downs; }
    } keys;
    a->OnKeyDown = TKeyEvent::Of<&Keys::Down>(&keys);
    Open();
    a->SetDIBFocus();
    sys().PressKey(VK_CONTROL);
    sys().PressKey('R');
    sys().ReleaseKey('R');
    sys().ReleaseKey(VK_CONTROL);
    Pump();
    EXPECT_EQ(clicks.n, 1);
    EXPECT_EQ(keys.downs, 1); // the control key only: R went to the menu
}
