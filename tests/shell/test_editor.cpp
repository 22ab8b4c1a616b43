// Editor hosting: opening into the host's window, the rectangle, idle refresh, closing and ownership.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

struct TOpener {
    int destroyed = 0;
    int idles = 0;
    TFakeForm* last = nullptr;
    bool give = true;
    void* foreign = nullptr; ///< a parent the forms cannot live in
    void Open(TObject*, IEditorForm*& form) {
        if (!give) return;
        last = new TFakeForm(&destroyed);
        last->foreign = foreign;
        form = last;
    }
    void Idle(TObject*) { ++idles; }
};

class Editor : public ::testing::Test {
  protected:
    void SetUp() override {
        module = NewTestModule();
        module->AddParameter();
        module->SetFlags(SetOf({pfHasEditor}));
        module->OnEditOpen = TGetEditorEvent::Of<&TOpener::Open>(&opener);
        module->OnEditIdle = TNotifyEvent::Of<&TOpener::Idle>(&opener);
        effect = module->GetEffect();
    }
    intptr_t Dispatch(int32_t op, void* ptr = nullptr, intptr_t value = 0) {
        return effect->dispatcher(effect, op, 0, value, ptr, 0.0f);
    }

    TOpener opener;
    TOwned<TTestModule> module;
    AEffect* effect = nullptr;
    int parentWindow = 0;
};

TEST_F(Editor, RectangleBeforeDuringAndAfterAnOpenEditor) {
    ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 0);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top + rect->left + rect->bottom + rect->right, 0);

    EXPECT_EQ(Dispatch(effEditOpen, &parentWindow), 1);
    EXPECT_EQ(opener.last->parent, &parentWindow);
    EXPECT_TRUE(opener.last->shown);
    EXPECT_TRUE(opener.last->borderless);
    EXPECT_EQ(opener.last->bounds, (std::vector<int>{0, 0, 611, 226}));
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 1);
    EXPECT_EQ(rect->bottom, 226);
    EXPECT_EQ(rect->right, 611);

    Dispatch(effEditClose);
    EXPECT_EQ(opener.destroyed, 1);
    EXPECT_EQ(module->EditorForm(), nullptr);
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 0);
    EXPECT_EQ(rect->bottom, 226);
    EXPECT_EQ(Dispatch(effEditGetRect, nullptr), 0);
}

TEST_F(Editor, IdleRepaintsOncePerBatchOfChanges) {
    Dispatch(effEditOpen, &parentWindow);
    module->EditIdle(); // opening itself is no change
    Dispatch(effEditIdle);
    const int afterOpen = opener.last->invalidated;
    effect->setParameter(effect, 0, 0.5f);
    effect->setParameter(effect, 0, 0.6f);
    Dispatch(effEditIdle);
    Dispatch(effEditIdle);
    EXPECT_EQ(opener.last->invalidated, afterOpen + 1);
    EXPECT_EQ(opener.idles, afterOpen + 1);
}

TEST_F(Editor, NoEditorBitNoForm) {
    module->SetFlags(0);
    EXPECT_EQ(Dispatch(effEditOpen, &parentWindow), 0);
    EXPECT_EQ(opener.last, nullptr);
    module->SetFlags(SetOf({pfHasEditor}));
    opener.give = false;
    EXPECT_EQ(Dispatch(effEditOpen, &parentWindow), 0);
    EXPECT_EQ(module->EditorForm(), nullptr);
    Dispatch(effEditClose); // nothing open: only the event
}

TEST_F(Editor, AParentTheFormCannotLiveInOpensNoEditor) {
    int foreignWindow = 0;
    opener.foreign = &foreignWindow;
    EXPECT_EQ(Dispatch(effEditOpen, &foreignWindow), 0);
    EXPECT_EQ(opener.destroyed, 1); // the handler's form is not left behind
    EXPECT_EQ(module->EditorForm(), nullptr);
    ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 0);
    EXPECT_EQ(rect->bottom + rect->right, 0);

    // An editor that is open stays open when a further open fails.
    EXPECT_EQ(Dispatch(effEditOpen, &parentWindow), 1);
    TFakeForm* open = opener.last;
    EXPECT_EQ(Dispatch(effEditOpen, &foreignWindow), 0);
    EXPECT_EQ(opener.destroyed, 2);
    EXPECT_EQ(module->EditorForm(), open);
    EXPECT_EQ(Dispatch(effEditGetRect, &rect), 1);
}

TEST_F(Editor, ASecondOpenReplacesTheFirstFormWithoutLeavingItBehind) {
    Dispatch(effEditOpen, &parentWindow);
    Dispatch(effEditOpen, &parentWindow);
    EXPECT_EQ(opener.destroyed, 1);
    EXPECT_EQ(module->EditorForm(), opener.last);
}

TEST_F(Editor, DestroyingTheModuleDestroysAnOpenForm) {
    Dispatch(effEditOpen, &parentWindow);
    module.reset();
    EXPECT_EQ(opener.destroyed, 1);
}

TEST_F(Editor, OpeningReplaysParameterValuesToTheModulesListener) {
    std::vector<float> seen;
    struct TListen {
        std::vector<float>* seen;
        void Change(TObject*, int32_t, float v) { seen->push_back(v); }
    } listen{&seen};
    module->SetParameter(0, 0.5f);
    module->OnParameterChange = TParameterChangeEvent::Of<&TListen::Change>(&listen);
    Dispatch(effEditOpen, &parentWindow);
    EXPECT_EQ(seen, (std::vector<float>{0.5f}));
}

TEST_F(Editor, KeysAndKnobModeReachOnlyAssignedHandlers) {
    EXPECT_EQ(effect->dispatcher(effect, effEditKeyDown, 'a', 0x0105, nullptr, 2.6f), 0);
    VstKeyCode got{};
    int knob = -1;
    struct TKeys {
        VstKeyCode* got;
        int* knob;
        void Key(TObject*, VstKeyCode& k) { *got = k; }
        void Knob(TObject*, int32_t v) { *knob = v; }
    } keys{&got, &knob};
    module->OnEditorKeyDown = TVSTKeyEvent::Of<&TKeys::Key>(&keys);
    module->OnEditorKnobMode = TSetKnobModeEvent::Of<&TKeys::Knob>(&keys);
    EXPECT_EQ(effect->dispatcher(effect, effEditKeyDown, 'a', 0x0105, nullptr, 2.6f), 1);
    EXPECT_EQ(got.character, 'a');
    EXPECT_EQ(got.virt, 0x05);
    EXPECT_EQ(got.modifier, 3);
    EXPECT_EQ(effect->dispatcher(effect, effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(knob, 2);
}

} // namespace
