// The Quantilaw editor window through the module's editor requests on the headless window system: its
// stored description, the read-out's presses and drags, the companding switch heard through the record,
// the module's state on opening and after changes elsewhere, hosting and ownership.
#include "plugin/QuantilawGUI.h"
#include "plugin/QuantilawModule.h"

#include "tests/runtime/PublishedState.h"
#include "tests/toolkit/ToolkitTest.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace ql;
using namespace ql::vst;
using namespace ql::quantilaw;
using ql::test::HeadlessTest;

namespace {

struct TFree {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
using TModule = std::unique_ptr<TVST2Module1, TFree>;

class EditorWindow : public HeadlessTest {
  protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        RegisterQuantilawClasses();
        module.reset(CreateComponent<TVST2Module1>(nullptr));
        effect = module->GetEffect();
    }
    void TearDown() override {
        module.reset();
        HeadlessTest::TearDown();
    }
    intptr_t Dispatch(int32_t op, void* ptr = nullptr, intptr_t value = 0, int32_t index = 0) {
        return effect->dispatcher(effect, op, index, value, ptr, 0.0f);
    }
    /// Opens the editor in the host window and lets it paint.
    TFmQuantilaw* Open() {
        EXPECT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
        Pump();
        return dynamic_cast<TFmQuantilaw*>(module->EditorForm());
    }
    TPoint OnReadout(int x, int y) { return Editor()->LbQ->ClientToScreen({x, y}); }
    TFmQuantilaw* Editor() { return dynamic_cast<TFmQuantilaw*>(module->EditorForm()); }
    void Press(TPoint p, TMouseButton b = TMouseButton::mbLeft) {
        sys().MoveMouse(p);
        sys().PressButton(b, p);
        Pump();
    }
    void Release(TPoint p, TMouseButton b = TMouseButton::mbLeft) {
        sys().ReleaseButton(b, p);
        Pump();
    }
    void Click(TPoint p, TMouseButton b = TMouseButton::mbLeft) {
        Press(p, b);
        Release(p, b);
    }
    void Move(TPoint p) {
        sys().MoveMouse(p);
        Pump();
    }
    std::string Readout() { return Editor()->LbQ->Caption(); }
    /// One block through the record's replacing entry, both channels alike.
    std::vector<float> Play(const std::vector<float>& input) {
        std::vector<float> l = input, r = input, outL(input.size()), outR(input.size());
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {outL.data(), outR.data()};
        effect->processReplacing(effect, in, out, static_cast<int32_t>(input.size()));
        return outL;
    }

    TModule module;
    AEffect* effect = nullptr;
};

const std::vector<float> kSignal = {0.5f, 0.25f, -0.3f, 0.01f, 0.001f, -0.07f};

std::vector<float> Reference(bool companded, float bits) {
    TQuantiserState state(bits);
    std::vector<float> l = kSignal, outL(kSignal.size());
    const float* in[1] = {l.data()};
    float* out[1] = {outL.data()};
    (companded ? reference::ProcessCompanded
               : reference::ProcessLinear)(in, out, 1, static_cast<int>(kSignal.size()), state);
    return outL;
}

TEST_F(EditorWindow, IsTheSameMadeInCodeByClassNameOrInsideADescription) {
    TFmQuantilaw* reference = CreateComponent<TFmQuantilaw>(nullptr);
    EXPECT_EQ(reference->ClientWidth(), 611);
    EXPECT_EQ(reference->ClientHeight(), 226);
    EXPECT_EQ(reference->Caption(), "Quantilaw");
    EXPECT_EQ(reference->BorderStyle(), TFormBorderStyle::bsNone);
    EXPECT_EQ(reference->Color(), clWhite);
    EXPECT_EQ(reference->Font().Name(), "MS Sans Serif");
    // Every component found, the controls in their stored order inside the container.
    ASSERT_NE(reference->Container, nullptr);
    ASSERT_NE(reference->DIBImages, nullptr);
    ASSERT_NE(reference->DIBSettings, nullptr);
    std::vector<std::string> order;
    order.reserve(static_cast<std::size_t>(reference->Container->ControlCount()));
    for (int i = 0; i < reference->Container->ControlCount(); ++i)
        order.push_back(reference->Container->Controls(i)->Name());
    EXPECT_EQ(order,
              (std::vector<std::string>{"Kompressor", "Expander", "sQ", "LbQ", "L1", "DIBFadeLabel1"}));
    EXPECT_EQ(reference->DIBImages->DIBImages().Count(), 2);
    EXPECT_EQ(reference->DIBImages->DIBImages().Items(0)->DisplayName(), "Kompressor");
    EXPECT_EQ(reference->DIBImages->DIBImages().Items(1)->DisplayName(), "Expander");
    for (TDIBImage* plot : {reference->Kompressor, reference->Expander}) {
        ASSERT_NE(plot, nullptr);
        EXPECT_EQ(plot->Width(), 214);
        EXPECT_EQ(plot->Height(), 192);
        EXPECT_EQ(plot->Top(), 16);
        EXPECT_TRUE(plot->AutoSize());
        EXPECT_EQ(plot->Opacity(), 255);
        EXPECT_EQ(plot->OnClick, TNotifyEvent::Of<&TFmQuantilaw::QuantilawClick>(reference));
        EXPECT_EQ(plot->IndexMain().DIBImageList(), reference->DIBImages);
    }
    EXPECT_EQ(reference->Kompressor->IndexMain().DIBIndex(), 0);
    EXPECT_EQ(reference->Expander->IndexMain().DIBIndex(), 1);
    EXPECT_EQ(reference->LbQ->Tag(), 3);
    EXPECT_EQ(reference->LbQ->Caption(), "3Bit");
    EXPECT_EQ(reference->LbQ->Font().Height(), -43);
    EXPECT_EQ(reference->LbQ->OnMouseDown, TMouseEvent::Of<&TFmQuantilaw::LbQMouseDown>(reference));
    EXPECT_EQ(reference->LbQ->OnMouseMove, TMouseMoveEvent::Of<&TFmQuantilaw::LbQMouseMove>(reference));
    EXPECT_EQ(reference->sQ->Pen().Width(), 2);
    for (TDIBFadeLabel* arrow : {reference->L1, reference->DIBFadeLabel1}) {
        ASSERT_NE(arrow, nullptr);
        EXPECT_EQ(arrow->Caption(), ">");
        EXPECT_EQ(arrow->ColorHighlighted(), clWhite);
        EXPECT_EQ(arrow->FrameCount(), 10);
    }
    // The pictures are stored pixels: white, black and mid-grey only, all opaque.
    TAbstractSuperDIB* picture = nullptr;
    ASSERT_TRUE(reference->DIBImages->GetImage(0, picture));
    EXPECT_EQ(picture->Width(), 214);
    EXPECT_EQ(picture->Height(), 192);
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x) {
            const std::uint32_t p = *picture->PixelAt(x, y);
            ASSERT_TRUE(p == 0xFFFFFFFFu || p == 0xFF000000u || p == 0xFF808080u) << x << "," << y;
        }
    EXPECT_EQ(*picture->PixelAt(24, 100), 0xFF000000u);  // the vertical axis
    EXPECT_EQ(*picture->PixelAt(100, 172), 0xFF000000u); // the horizontal axis

    TComponent holder(nullptr);
    auto* byName = dynamic_cast<TFmQuantilaw*>(FindClass("TFmQuantilaw")->Create(&holder));
    ASSERT_NE(byName, nullptr);
    holder.ReadDescription(
        ParseDescription("object Holder: TComponent\n  object Editor: TFmQuantilaw\n  end\nend"));
    auto* described = dynamic_cast<TFmQuantilaw*>(holder.FindComponent("Editor"));
    ASSERT_NE(described, nullptr);
    for (TFmQuantilaw* f : {byName, described}) {
        test::ExpectSamePublishedState(*f, *reference, {"Name"});
        ASSERT_NE(f->LbQ, nullptr);
        EXPECT_EQ(f->LbQ->Caption(), "3Bit");
    }
    TComponent::Free(reference);
}

TEST_F(EditorWindow, OpensInTheHostsWindowAndShowsThePlotsReadoutAndFrame) {
    ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 0);
    TFmQuantilaw* editor = Open();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Module, module.get());
    EXPECT_EQ(sys().ParentOf(editor->Handle()), host);
    EXPECT_EQ(sys().WindowBounds(editor->Handle()), TRect::Bounds(0, 0, 611, 226)); // at the host's corner
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 1);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 226);
    EXPECT_EQ(rect->right, 611);
    const TDrawingSurface* shown = sys().WindowPixels(editor->Handle());
    ASSERT_NE(shown, nullptr);
    auto rgb = [&](int x, int y) { return shown->Pixel(x, y) & 0xFFFFFF; };
    EXPECT_EQ(rgb(8 + 24, 16 + 100), 0x000000u);   // the left plot's axis
    EXPECT_EQ(rgb(390 + 24, 16 + 100), 0x000000u); // the right plot's axis
    EXPECT_EQ(rgb(8 + 119, 16 + 89), 0x000000u);   // both curves run through the origin
    EXPECT_EQ(rgb(390 + 119, 16 + 89), 0x000000u);
    EXPECT_EQ(rgb(249, 100), 0x000000u); // the frame
    EXPECT_EQ(rgb(5, 5), 0xFFFFFFu);
    int ink = 0;
    for (int y = 90; y < 141; ++y)
        for (int x = 252; x < 366; ++x)
            ink += rgb(x, y) == 0;
    EXPECT_GT(ink, 100); // "3Bit"
}

TEST_F(EditorWindow, PressesStepOneBitUpOrDownWithAnyButtonAndClamp) {
    Open();
    Click(OnReadout(50, 0));
    EXPECT_EQ(Readout(), "4Bit");
    EXPECT_EQ(Editor()->LbQ->Tag(), 4);
    EXPECT_EQ(module->GetParameter(0), 4.0f);
    Click(OnReadout(50, 24), TMouseButton::mbRight);
    EXPECT_EQ(Readout(), "5Bit");
    Click(OnReadout(50, 25), TMouseButton::mbMiddle); // 51 / 2 = 25 is the lower half
    EXPECT_EQ(Readout(), "4Bit");
    Click(OnReadout(50, 50));
    Click(OnReadout(50, 50));
    EXPECT_EQ(Readout(), "2Bit");
    EXPECT_EQ(module->GetParameter(0), 2.0f);
    for (int i = 0; i < 5; ++i)
        Click(OnReadout(50, 40));
    EXPECT_EQ(Readout(), "1Bit");
    EXPECT_EQ(module->GetParameter(0), 1.0f);
    for (int i = 0; i < 30; ++i)
        Click(OnReadout(50, 3));
    EXPECT_EQ(Readout(), "24Bit");
    EXPECT_EQ(Editor()->LbQ->Tag(), 24);
    EXPECT_EQ(module->GetParameter(0), 24.0f);
    EXPECT_EQ(Play(kSignal), Reference(true, 24));
}

TEST_F(EditorWindow, DragsStepOncePerMoveBeyondTwoPixels) {
    Open();
    Press(OnReadout(50, 30)); // lower half: 2
    EXPECT_EQ(Readout(), "2Bit");
    EXPECT_EQ(Editor()->LastMouseY, 30);
    Move(OnReadout(50, 27));
    EXPECT_EQ(Readout(), "3Bit");
    Move(OnReadout(50, 26));
    Move(OnReadout(50, 25));
    EXPECT_EQ(Readout(), "3Bit"); // 1 pixel each: nothing yet
    Move(OnReadout(50, 24));      // 3 from the last step
    EXPECT_EQ(Readout(), "4Bit");
    Move(OnReadout(50, -76)); // far above the read-out, still one step
    EXPECT_EQ(Readout(), "5Bit");
    Move(OnReadout(50, 200)); // far below: one step down
    EXPECT_EQ(Readout(), "4Bit");
    EXPECT_EQ(module->GetParameter(0), 4.0f);
    Release(OnReadout(50, 200));
    // Moves without the left button change nothing, also with another button held.
    Move(OnReadout(50, 10));
    Move(OnReadout(50, 40));
    Press(OnReadout(50, 40), TMouseButton::mbRight);
    EXPECT_EQ(Readout(), "3Bit");
    Move(OnReadout(50, 0));
    EXPECT_EQ(Readout(), "3Bit");
    Release(OnReadout(50, 0), TMouseButton::mbRight);
}

TEST_F(EditorWindow, ClickingAPlotSwitchesCompandingOffAndOn) {
    TFmQuantilaw* editor = Open();
    ASSERT_TRUE(module->Companding());
    const std::vector<float> companded = Play(kSignal);
    EXPECT_EQ(companded, Reference(true, 3));
    Click(editor->Kompressor->ClientToScreen({100, 100}));
    EXPECT_EQ(editor->Kompressor->Opacity(), 25);
    EXPECT_EQ(editor->Expander->Opacity(), 25);
    EXPECT_FALSE(module->Companding());
    EXPECT_EQ(module->OnProcess(), module->OnProcessReplacing());
    EXPECT_EQ(Play(kSignal), Reference(false, 3));
    EXPECT_NE(Play(kSignal), companded);
    EXPECT_EQ(module->GetParameter(0), 3.0f); // no parameter change
    Click(editor->Expander->ClientToScreen({100, 100}));
    EXPECT_EQ(editor->Kompressor->Opacity(), 255);
    EXPECT_EQ(editor->Expander->Opacity(), 255);
    EXPECT_TRUE(module->Companding());
    EXPECT_EQ(Play(kSignal), companded);
}

TEST_F(EditorWindow, ShowsTheModulesStateWhenItOpensAndFollowsChangesFromElsewhere) {
    // Set elsewhere before the editor opens: 12.5 bits and linear quantisation.
    module->SetParameter(0, 12.5f);
    module->SetOnProcess(TProcessAudioEvent::Of<&TVST2Module1::VST2ModuleProcess>(module.get()));
    module->SetOnProcessReplacing(TProcessAudioEvent::Of<&TVST2Module1::VST2ModuleProcess>(module.get()));
    TFmQuantilaw* editor = Open();
    EXPECT_EQ(Readout(), "13Bit");
    EXPECT_EQ(editor->LbQ->Tag(), 13);
    EXPECT_EQ(editor->Kompressor->Opacity(), 25);
    EXPECT_EQ(editor->Expander->Opacity(), 25);
    // Steps go from the read-out's whole bit; the first plot click switches companding on.
    Click(OnReadout(50, 5));
    EXPECT_EQ(module->GetParameter(0), 14.0f);
    Click(editor->Kompressor->ClientToScreen({50, 50}));
    EXPECT_TRUE(module->Companding());
    // Automation, other stores and typed text while the editor is open: the read-out follows at the
    // next idle call.
    effect->setParameter(effect, 0, 1.0f);
    Dispatch(effEditIdle);
    EXPECT_EQ(Readout(), "24Bit");
    module->SetParameter(0, 3.0f); // as a program would
    Dispatch(effEditIdle);
    EXPECT_EQ(Readout(), "3Bit");
    char text[] = "7.4";
    Dispatch(effString2Parameter, text);
    Dispatch(effEditIdle);
    EXPECT_EQ(Readout(), "7Bit");
    EXPECT_EQ(editor->LbQ->Tag(), 7);
    Click(OnReadout(50, 40));
    EXPECT_EQ(module->GetParameter(0), 6.0f);
    // The companding choice outlives the window, and a new window shows it.
    Click(editor->Kompressor->ClientToScreen({50, 50}));
    Dispatch(effEditClose);
    EXPECT_EQ(module->EditorForm(), nullptr);
    editor = Open();
    EXPECT_EQ(editor->Kompressor->Opacity(), 25);
    EXPECT_EQ(Readout(), "6Bit");
}

TEST_F(EditorWindow, AHoveredArrowTurnsWhiteAndFadesBack) {
    TFmQuantilaw* editor = Open();
    Move(editor->L1->ClientToScreen({5, 20}));
    EXPECT_EQ(editor->L1->FadeColor(), clWhite);
    Move(editor->LbQ->ClientToScreen({5, 5}));
    for (int i = 0; i < 10; ++i) {
        sys().AdvanceTime(50);
        Dispatch(effEditIdle); // the host's idle calls drive the editor's timers
    }
    EXPECT_EQ(ColorToRGB(editor->L1->FadeColor()), ColorToRGB(editor->L1->Font().Color()));
}

TEST_F(EditorWindow, ASecondOpenClosesTheFirstAndClosingOrDestroyingFreesTheWindow) {
    TFmQuantilaw* first = Open();
    TLiveGuard firstAlive(first);
    TFmQuantilaw* second = Open();
    EXPECT_NE(first, second);
    EXPECT_FALSE(firstAlive.Alive());
    EXPECT_EQ(sys().ChildrenOf(host).size(), 1u);
    TLiveGuard secondAlive(second);
    Dispatch(effEditClose);
    EXPECT_FALSE(secondAlive.Alive());
    EXPECT_TRUE(sys().ChildrenOf(host).empty());
    ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 0);
    EXPECT_EQ(rect->bottom, 226);
    EXPECT_EQ(rect->right, 611);
    TLiveGuard thirdAlive(Open());
    module.reset(); // the host's effClose without effEditClose
    EXPECT_FALSE(thirdAlive.Alive());
    EXPECT_TRUE(sys().ChildrenOf(host).empty());
}

TEST_F(EditorWindow, OpenCloseCyclesLeaveNothingBehind) {
    for (int i = 0; i < 100; ++i) {
        ASSERT_NE(Open(), nullptr);
        Dispatch(effEditIdle);
        Dispatch(effEditClose);
    }
    EXPECT_EQ(sys().ChildWindowCount(), 0u);
    EXPECT_EQ(Dispatch(effEditKeyDown, nullptr, 0, 'a'), 0);
}

} // namespace
