// Components: ownership and freeing, free notification, reading descriptions, data module events.
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"
#include "toolkit/Application.h"
#include "toolkit/Component.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/Menus.h"
#include "toolkit/StdCtrls.h"

#include "tests/runtime/PublishedState.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace ql;

namespace {

std::vector<std::string>* gLog = nullptr;

class TPart : public TComponent {
    QL_CLASS(TPart)
  public:
    explicit TPart(TComponent* owner) : TComponent(owner) {}
    ~TPart() override {
        if (gLog) gLog->push_back("free " + Name());
    }
    int fSize = 0;
    TComponent* fPeer = nullptr;
    std::vector<TComponent*> children;
    void Notification(TComponent* c, TOperation op) override {
        if (op == TOperation::opRemove && c == fPeer) fPeer = nullptr;
        TComponent::Notification(c, op);
    }

  protected:
    void Loaded() override {
        TComponent::Loaded();
        if (gLog) gLog->push_back("loaded " + Name());
    }
    void ReadChild(TComponent* child) override { children.push_back(child); }
};

const TClassInfo& TPart::StaticClass() {
    static TClassInfo info("TTestPart", &TComponent::StaticClass, ComponentFactory<TPart>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TPart> b(i);
        b.Integer(
            "Size", [](const TPart& p) { return p.fSize; },
            [](TPart& p, int64_t v) {
                p.fSize = static_cast<int>(v);
                if (gLog)
                    gLog->push_back(p.Name() + ".Size " + std::string(p.IsLoading() ? "loading" : "live"));
            });
        b.Object(
            "Peer", TComponent::StaticClass(), [](const TPart& p) { return p.fPeer; },
            [](TPart& p, TObject* v) { p.fPeer = dynamic_cast<TComponent*>(v); });
    });
}

class TModule : public TDataModule {
    QL_CLASS(TModule)
  public:
    explicit TModule(TComponent* owner, bool oldOrder = false) : TDataModule(owner) {
        SetOldCreateOrder(oldOrder);
        OnCreate = TNotifyEvent::Of<&TModule::Created>(this);
        OnDestroy = TNotifyEvent::Of<&TModule::Destroyed>(this);
        if (OldCreateOrder()) DoCreate();
    }
    int created = 0;
    bool throwOnCreate = false;
    void Created(TObject*) {
        ++created;
        if (gLog) gLog->push_back("OnCreate");
        if (throwOnCreate) throw std::runtime_error("create failed");
    }
    void Destroyed(TObject*) {
        if (gLog) gLog->push_back("OnDestroy with " + std::to_string(ComponentCount()) + " parts");
    }
};

const TClassInfo& TModule::StaticClass() {
    static TClassInfo info("TTestModule", &TDataModule::StaticClass);
    return info;
}

/// A form class of its own: its settings, a control and its OnCreate binding come from its stored
/// description.
class TStoredForm : public TForm {
    QL_CLASS(TStoredForm)
  public:
    using TForm::TForm;
    int creates = 0;
    bool readoutAtCreate = false;
    void FormCreate(TObject*) {
        ++creates;
        readoutAtCreate = FindComponent("Readout") != nullptr;
    }
};

const TClassInfo& TStoredForm::StaticClass() {
    static TClassInfo info("TStoredForm", &TForm::StaticClass, ComponentFactory<TStoredForm>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TStoredForm> b(i);
        b.Method<&TStoredForm::FormCreate, TNotifyEvent>("FormCreate", "TNotifyEvent");
    });
}

constexpr char kStoredForm[] = R"(object StoredForm: TStoredForm
  BorderStyle = bsNone
  ClientHeight = 226
  ClientWidth = 611
  Color = clBlack
  OnCreate = FormCreate
  object Readout: TLabel
    Left = 260
    Top = 90
    Caption = '3Bit'
    Font.Color = clWhite
  end
end)";

/// A form class without a stored description.
class TBareForm : public TForm {
    QL_CLASS(TBareForm)
  public:
    using TForm::TForm;
};

const TClassInfo& TBareForm::StaticClass() {
    static TClassInfo info("TBareForm", &TForm::StaticClass, ComponentFactory<TBareForm>);
    return info;
}

/// The same published state, the same controls with the same state, and OnCreate fired once, after the
/// description was read.
void ExpectSameStoredForm(TStoredForm& form, TStoredForm& reference) {
    test::ExpectSamePublishedState(form, reference, {"Name"});
    EXPECT_EQ(form.creates, 1);
    EXPECT_TRUE(form.readoutAtCreate);
    auto* label = dynamic_cast<TLabel*>(form.FindComponent("Readout"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Parent(), &form);
    EXPECT_EQ(label->Owner(), &form);
    ASSERT_EQ(form.ComponentCount(), reference.ComponentCount());
    test::ExpectSamePublishedState(*label, *reference.FindComponent("Readout"));
}

/// A form class with a published handler, as a unit's own form has.
class TTestForm : public TForm {
    QL_CLASS(TTestForm)
  public:
    using TForm::TForm;
    int clicks = 0;
    void LabelClick(TObject*) { ++clicks; }
};

const TClassInfo& TTestForm::StaticClass() {
    static TClassInfo info("TTestForm", &TForm::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TTestForm> b(i);
        b.Method<&TTestForm::LabelClick, TNotifyEvent>("LabelClick", "TNotifyEvent");
    });
}

} // namespace

TEST(Component, OwnerFreesWhatItOwnsAfterOnDestroy) {
    std::vector<std::string> log;
    gLog = &log;
    auto* m = CreateComponent<TModule>(nullptr);
    auto* a = new TPart(m);
    a->SetName("a");
    auto* b = new TPart(m);
    b->SetName("b");
    EXPECT_EQ(m->ComponentCount(), 2);
    EXPECT_EQ(m->FindComponent("b"), b);
    EXPECT_EQ(m->FindComponent(""), nullptr);
    EXPECT_EQ(m->created, 1);
    TComponent::Free(m);
    gLog = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"OnCreate", "OnDestroy with 2 parts", "free b", "free a"}));
}

TEST(Component, FreeNotificationClearsReferencesBothWays) {
    TPart owner(nullptr);
    auto* watcher = new TPart(&owner);
    auto* target = new TPart(nullptr);
    watcher->fPeer = target;
    target->FreeNotification(watcher);
    TComponent::Free(target);
    EXPECT_EQ(watcher->fPeer, nullptr);

    // A watcher that goes first must not be told anything later.
    auto* target2 = new TPart(nullptr);
    auto* watcher2 = new TPart(nullptr);
    target2->FreeNotification(watcher2);
    TComponent::Free(watcher2);
    TComponent::Free(target2);

    // A freed child leaves its owner's list.
    auto* child = new TPart(&owner);
    EXPECT_EQ(owner.ComponentCount(), 2);
    TComponent::Free(child);
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_THROW(owner.Components(1), EListError);
}

TEST(Component, ReadsDescriptionsWithChildrenReferencesAndLoadedOrder) {
    RegisterClass(TPart::StaticClass());
    std::vector<std::string> log;
    gLog = &log;
    TPart root(nullptr);
    root.SetName("Root");
    root.ReadDescription(ParseDescription(R"(object Root: TTestPart
  Size = 3
  object Child1: TTestPart
    Size = 4
    Peer = Root
  end
  object Child2: TTestPart
    Peer = Child1
  end
end)"));
    gLog = nullptr;
    ASSERT_EQ(root.ComponentCount(), 2);
    auto* c1 = dynamic_cast<TPart*>(root.FindComponent("Child1"));
    auto* c2 = dynamic_cast<TPart*>(root.FindComponent("Child2"));
    ASSERT_TRUE(c1 && c2);
    EXPECT_EQ(c1->fSize, 4);
    EXPECT_EQ(c1->fPeer, &root);
    EXPECT_EQ(c2->fPeer, c1);
    EXPECT_EQ(root.children, (std::vector<TComponent*>{c1, c2}));
    EXPECT_FALSE(root.IsLoading());
    EXPECT_EQ(log, (std::vector<std::string>{"Root.Size loading", "Child1.Size loading", "loaded Root",
                                             "loaded Child1", "loaded Child2"}));
}

TEST(Component, ReadErrorsAndMissingResources) {
    TPart root(nullptr);
    EXPECT_THROW(
        root.ReadDescription(ParseDescription("object R: TTestPart\n  object C: TNoSuchClass\n  end\nend")),
        EReadError);
    EXPECT_FALSE(root.IsLoading());
    try {
        root.ReadResource("TNoSuchModule");
        FAIL();
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource TNoSuchModule not found");
    }
}

TEST(Component, OnCreateTimingAndFailuresGoToTheApplication) {
    std::vector<std::string> log;
    gLog = &log;
    auto* early = CreateComponent<TModule>(nullptr, true); // fired inside the constructor, once
    EXPECT_EQ(early->created, 1);
    TComponent::Free(early);

    int before = Application()->ExceptionCount();
    auto* failing = new TModule(nullptr);
    failing->throwOnCreate = true;
    failing->AfterConstruction(); // the failure is reported, construction goes on
    EXPECT_EQ(Application()->ExceptionCount(), before + 1);
    EXPECT_EQ(Application()->LastExceptionMessage(), "create failed");
    TComponent::Free(failing);
    gLog = nullptr;
}

TEST(Component, DescriptionsMayNameColoursAndCharsets) {
    RegisterToolkitClasses();
    TForm form(nullptr);
    form.ReadDescription(ParseDescription(R"(object Form1: TForm
  Color = clWhite
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  object Label1: TLabel
    Color = clBtnFace
  end
end)"));
    EXPECT_EQ(form.Color(), clWhite);
    EXPECT_EQ(form.Font().Color(), clWindowText);
    auto* label = dynamic_cast<TLabel*>(form.FindComponent("Label1"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Color(), clBtnFace);
    EXPECT_THROW(form.ReadDescription(ParseDescription("object Form1: TForm\n  Color = clNoSuchColour\nend")),
                 EReadError);
}

TEST(Component, AFormClassIsTheSameMadeInCodeByClassNameOrInsideADescription) {
    RegisterToolkitClasses();
    RegisterClass(TStoredForm::StaticClass());
    RegisterClass(TBareForm::StaticClass());
    RegisterResource("TStoredForm", kStoredForm, sizeof kStoredForm - 1);

    TStoredForm* reference = CreateComponent<TStoredForm>(nullptr);
    EXPECT_EQ(reference->ClientWidth(), 611);
    EXPECT_EQ(reference->Color(), clBlack);
    ASSERT_NE(reference->FindComponent("Readout"), nullptr);
    EXPECT_EQ(dynamic_cast<TLabel*>(reference->FindComponent("Readout"))->Caption(), "3Bit");
    ExpectSameStoredForm(*reference, *reference);

    TComponent holder(nullptr);
    auto* byName = dynamic_cast<TStoredForm*>(FindClass("TStoredForm")->Create(&holder));
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->Owner(), &holder);
    ExpectSameStoredForm(*byName, *reference);

    holder.ReadDescription(
        ParseDescription("object Holder: TComponent\n  object Editor: TStoredForm\n  end\nend"));
    auto* described = dynamic_cast<TStoredForm*>(holder.FindComponent("Editor"));
    ASSERT_NE(described, nullptr);
    EXPECT_FALSE(described->IsLoading());
    ExpectSameStoredForm(*described, *reference);
    TComponent::Free(reference);

    // A form class with nothing stored is refused on every path, and nothing of it is left behind.
    const int owned = holder.ComponentCount();
    try {
        CreateComponent<TBareForm>(nullptr);
        FAIL();
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource TBareForm not found");
    }
    EXPECT_THROW(FindClass("TBareForm")->Create(&holder), EResNotFound);
    EXPECT_THROW(holder.ReadDescription(
                     ParseDescription("object Holder: TComponent\n  object B: TBareForm\n  end\nend")),
                 EResNotFound);
    EXPECT_EQ(holder.ComponentCount(), owned);
    // Only components can own what the registry creates.
    TStoredForm loose(nullptr);
    EXPECT_THROW(FindClass("TStoredForm")->Create(&loose.Font()), EInvalidOperation);
}

TEST(Component, WritesTheDescriptionItReads) {
    RegisterClass(TPart::StaticClass());
    const char* text = R"(object Root: TTestPart
  Size = 3
  object Child1: TTestPart
    Size = 4
    Peer = Owner
  end
  object Child2: TTestPart
    Peer = Child1
  end
end
)";
    TPart root(nullptr);
    root.SetName("Root");
    root.ReadDescription(ParseDescription(text));
    EXPECT_EQ(PrintDescription(root.WriteDescription()), text);

    TPart copy(nullptr);
    copy.ReadDescription(ReadBinaryDescription(WriteBinaryDescription(root.WriteDescription())));
    copy.SetName("Root");
    EXPECT_EQ(PrintDescription(copy.WriteDescription()), text);

    // A reference the description cannot name is refused, not dropped.
    auto* stray = new TPart(nullptr);
    dynamic_cast<TPart*>(root.FindComponent("Child2"))->fPeer = stray;
    EXPECT_THROW(root.WriteDescription(), EWriteError);
    stray->SetName("Stray");
    TPart elsewhere(nullptr);
    elsewhere.SetName("Elsewhere");
    elsewhere.InsertComponent(stray);
    const std::string qualified = PrintDescription(root.WriteDescription());
    EXPECT_NE(qualified.find("Peer = Elsewhere.Stray"), std::string::npos) << qualified;
}

TEST(Component, FormsWriteControlsInsideTheirParentsAndMenusWithTheirItems) {
    RegisterToolkitClasses();
    TTestForm form(nullptr);
    form.SetName("Form1");
    auto* menu = new TPopupMenu(&form);
    menu->SetName("Menu1");
    auto* item = new TMenuItem(&form);
    item->SetName("Item1");
    item->SetCaption("Open");
    menu->Items().Add(item);
    auto* sub = new TMenuItem(&form);
    sub->SetName("Item2");
    item->Add(sub);
    auto* panel = new TPanel(&form);
    panel->SetName("Panel1");
    panel->SetParent(&form);
    panel->SetPopupMenu(menu);
    auto* label = new TLabel(&form);
    label->SetName("Label1");
    label->SetParent(panel);
    label->SetCaption("3Bit");
    label->OnClick = TNotifyEvent::Of<&TTestForm::LabelClick>(&form);

    const TDescObject desc = form.WriteDescription();
    EXPECT_EQ(desc.name, "Form1");
    ASSERT_EQ(desc.children.size(), 2u); // what has no parent comes first, then the form's own controls
    EXPECT_EQ(desc.children[0].name, "Menu1");
    ASSERT_EQ(desc.children[0].children.size(), 1u);
    ASSERT_EQ(desc.children[0].children[0].children.size(), 1u);
    EXPECT_EQ(desc.children[0].children[0].children[0].name, "Item2");
    EXPECT_EQ(desc.children[1].name, "Panel1");
    ASSERT_EQ(desc.children[1].children.size(), 1u);
    EXPECT_EQ(desc.children[1].children[0].name, "Label1");
    const std::string text = PrintDescription(desc);
    EXPECT_NE(text.find("PopupMenu = Menu1"), std::string::npos) << text;
    EXPECT_NE(text.find("OnClick = LabelClick"), std::string::npos) << text;

    for (const TDescObject& form2 :
         {ParseDescription(text), ReadBinaryDescription(WriteBinaryDescription(desc))}) {
        TTestForm copy(nullptr);
        copy.SetName("Form1");
        copy.ReadDescription(form2);
        EXPECT_EQ(PrintDescription(copy.WriteDescription()), text);
        auto* panel2 = dynamic_cast<TPanel*>(copy.FindComponent("Panel1"));
        auto* label2 = dynamic_cast<TLabel*>(copy.FindComponent("Label1"));
        auto* menu2 = dynamic_cast<TPopupMenu*>(copy.FindComponent("Menu1"));
        ASSERT_TRUE(panel2 && label2 && menu2);
        EXPECT_EQ(label2->Parent(), panel2);
        EXPECT_EQ(panel2->PopupMenu(), menu2);
        ASSERT_EQ(menu2->Items().Count(), 1);
        EXPECT_EQ(menu2->Items().Items(0)->Caption(), "Open");
        EXPECT_EQ(menu2->Items().Items(0)->Count(), 1);
        label2->OnClick(label2);
        EXPECT_EQ(copy.clicks, 1);
    }
}
