// The Quantilaw module built from its stored description: settings, bindings, and the quantiser heard through
// the record's audio entries in both modes, per instance, in place, and at clamped depths.
#include "plugin/QuantilawGUI.h"
#include "plugin/QuantilawModule.h"
#include "toolkit/backends/Headless.h"

#include "tests/runtime/PublishedState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace ql;
using namespace ql::vst;
using namespace ql::quantilaw;

namespace {

struct TFree {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
using TModule = std::unique_ptr<TVST2Module1, TFree>;

TModule NewModule() { return TModule(CreateComponent<TVST2Module1>(nullptr)); }

/// Runs one stereo block through the record's replacing entry; both channels carry the same input.
std::vector<float> Play(TVST2Module1& m, const std::vector<float>& input, bool accumulate = false,
                        float start = 0.0f) {
    std::vector<float> left = input, right = input;
    std::vector<float> outL(input.size(), start), outR(input.size(), start);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    AEffect* e = m.GetEffect();
    (accumulate ? e->process : e->processReplacing)(e, in, out, static_cast<int32_t>(input.size()));
    EXPECT_EQ(outL, outR);
    return outL;
}

void SetBits(TVST2Module1& m, const char* text) {
    AEffect* e = m.GetEffect();
    EXPECT_EQ(e->dispatcher(e, effString2Parameter, 0, 0, const_cast<char*>(text), 0.0f), 1);
}

void ExpectNear(const std::vector<float>& got, const std::vector<float>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 5e-7f * std::max(1.0f, std::abs(want[i]))) << i;
}

const std::vector<float> kInputs = {0.5f, 0.25f, -0.3f, 0.01f, 0.001f};

TEST(QuantilawModule, TakesItsSettingsFromTheStoredDescription) {
    TModule m = NewModule();
    EXPECT_EQ(m->EffectName(), "Quantilaw");
    EXPECT_EQ(m->ProductName(), "Quantilaw");
    EXPECT_EQ(m->VendorName(), "Velmora");
    EXPECT_EQ(m->Version(), "1");
    EXPECT_EQ(m->UniqueID(), "QlWv");
    EXPECT_EQ(m->Flags(), SetOf({pfHasEditor, pfFlagsCanMono, pfFlagsCanReplacing}));
    EXPECT_EQ(m->CanDos(), SetOf({plugAsChannelInsert, plugAsSend, _2in2out}));
    EXPECT_EQ(m->PlugCategory(), cgEffect);
    EXPECT_EQ(m->Left(), 248);
    EXPECT_EQ(m->Top(), 106);
    EXPECT_EQ(m->Width(), 215);
    EXPECT_EQ(m->Height(), 150);
    EXPECT_EQ(m->CurrentProgram(), 0);
    EXPECT_EQ(m->CurrentProgramName(), "Init");
    EXPECT_EQ(m->Programs()->Items(0)->GetParameterValue(0), 3.0f);
    const TCustomVstParameterProperty& p = *m->ParameterProperties()->Items(0);
    EXPECT_EQ(p.DisplayName(), "Quantisation");
    EXPECT_EQ(p.Units(), "Bit");
    EXPECT_EQ(p.Min(), 1.0f);
    EXPECT_EQ(p.Max(), 24.0f);
    EXPECT_EQ(p.VSTModule(), m.get());
    EXPECT_TRUE(m->OnEditOpen.Assigned());
    EXPECT_EQ(m->OnProcess().code(), m->OnProcessReplacing().code());
    EXPECT_EQ(m->GetEffect()->user, nullptr);
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 7.0f);
    EXPECT_NE(m->CPU(), nullptr);
}

TEST(QuantilawModule, IsTheSameMadeInCodeByClassNameOrInsideADescription) {
    RegisterQuantilawClasses(); // as the library's start-up does
    TModule reference = NewModule();
    const TClassInfo* cls = FindClass("TVST2Module1");
    ASSERT_NE(cls, nullptr);
    TModule byName(dynamic_cast<TVST2Module1*>(cls->Create(nullptr)));
    ASSERT_NE(byName, nullptr);
    TComponent holder(nullptr);
    holder.ReadDescription(
        ParseDescription("object Holder: TComponent\n  object Quantilaw: TVST2Module1\n  end\nend"));
    auto* described = dynamic_cast<TVST2Module1*>(holder.FindComponent("Quantilaw"));
    ASSERT_NE(described, nullptr);
    EXPECT_EQ(described->Owner(), &holder);
    for (TVST2Module1* m : {byName.get(), described}) {
        // Its own description read and its end of loading done: program 0 applied, 3 bits.
        test::ExpectSamePublishedState(*m, *reference, {"Name"});
        EXPECT_EQ(m->GetParameter(0), 3.0f);
        EXPECT_EQ(m->QuantiserState().QuantSteps(), 7.0f);
        const AEffect* e = m->GetEffect();
        EXPECT_EQ(e->flags, 25);
        EXPECT_EQ(e->numParams, 1);
        EXPECT_EQ(e->numPrograms, 1);
        EXPECT_EQ(e->object, m);
        EXPECT_EQ(Play(*m, kInputs), Play(*reference, kInputs));
    }
}

TEST(QuantilawModule, CompandedWorkedValues) {
    TModule m = NewModule();
    ExpectNear(Play(*m, kInputs), {0.4575998f, 0.2093975f, -0.2093975f, 0.008928286f, 0.0f});
    SetBits(*m, "8");
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 255.0f);
    ExpectNear(Play(*m, {0.5f, 0.01f, 0.001f, 2.0f}), {0.5032226f, 0.01004870f, 0.0009803608f, 1.987194f});
}

TEST(QuantilawModule, LinearWorkedValuesThroughTheInstalledHandler) {
    TModule m = NewModule();
    m->SetOnProcessReplacing(TProcessAudioEvent::Of<&TVST2Module1::VST2ModuleProcess>(m.get()));
    ExpectNear(Play(*m, kInputs), {4.0f / 7.0f, 2.0f / 7.0f, -2.0f / 7.0f, 0.0f, 0.0f});
    SetBits(*m, "8");
    ExpectNear(Play(*m, {0.5f, 0.01f, 0.001f}), {128.0f / 255.0f, 3.0f / 255.0f, 0.0f});
    SetBits(*m, "1");
    ExpectNear(Play(*m, {0.5f, 0.75f, -0.0f, 1.0f}), {0.0f, 1.0f, 0.0f, 1.0f});
}

TEST(QuantilawModule, AccumulatingAddsTheSameResult) {
    TModule m = NewModule();
    ExpectNear(Play(*m, {0.5f, 0.25f}, true, 1.0f), {1.4575998f, 1.2093975f});
}

TEST(QuantilawModule, InPlaceMatchesSeparateBuffers) {
    TModule m = NewModule();
    std::vector<float> separate = Play(*m, kInputs);
    std::vector<float> l = kInputs, r = kInputs;
    float* io[2] = {l.data(), r.data()};
    AEffect* e = m->GetEffect();
    e->processReplacing(e, io, io, static_cast<int32_t>(l.size()));
    EXPECT_EQ(l, separate);
    EXPECT_EQ(r, separate);
}

TEST(QuantilawModule, EachInstanceKeepsItsOwnDepth) {
    TModule a = NewModule();
    TModule b = NewModule();
    SetBits(*b, "8");
    EXPECT_EQ(a->QuantiserState().QuantSteps(), 7.0f);
    ExpectNear(Play(*a, {0.5f}), {0.4575998f});
    ExpectNear(Play(*b, {0.5f}), {0.5032226f});
}

TEST(QuantilawModule, DepthsOutsideTheRangeAreClampedBeforeTheStepCount) {
    TModule m = NewModule();
    AEffect* e = m->GetEffect();
    SetBits(*m, "0");
    EXPECT_EQ(m->GetParameter(0), 0.0f); // the parameter keeps what was typed
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 1.0f);
    ExpectNear(Play(*m, {0.25f, 1.0f}), {1.0f, 1.0f});
    SetBits(*m, "-5");
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 1.0f);
    SetBits(*m, "30");
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 16777215.0f);
    e->setParameter(e, 0, 1.5f);
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 16777215.0f);
    e->setParameter(e, 0, -0.5f);
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 1.0f);
    e->setParameter(e, 0, 0.5f);
    EXPECT_EQ(m->QuantiserState().QuantSteps(), 5791.61865234375f);
}

TEST(QuantilawModule, ProgramZeroKeepsThreeBits) {
    TModule m = NewModule();
    SetBits(*m, "12");
    EXPECT_EQ(m->Programs()->Items(0)->GetParameterValue(0), 3.0f);
    AEffect* e = m->GetEffect();
    e->dispatcher(e, effSetProgram, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(m->GetParameter(0), 12.0f);
}

TEST(QuantilawModule, EditorRequestsOpenTheEditorWindow) {
    THeadlessWindowSystem& sys = HeadlessSystem();
    sys.Reset();
    const TNativeHandle host = sys.CreateHostWindow(TRect::Bounds(0, 0, 700, 300));
    TModule m = NewModule();
    AEffect* e = m->GetEffect();
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
    auto* editor = dynamic_cast<TFmQuantilaw*>(m->EditorForm());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Module, m.get());
    EXPECT_EQ(editor->LbQ->Caption(), "3Bit");
    EXPECT_EQ(e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(m->EditorForm(), nullptr);
    // A handle no window system knows: no editor.
    int notAWindow = 0;
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, &notAWindow, 0.0f), 0);
    EXPECT_EQ(m->EditorForm(), nullptr);
    sys.Reset();
}

TEST(QuantilawModule, AMissingChannelStillProcessesTheOther) {
    TModule m = NewModule();
    std::vector<float> left = kInputs, outL(kInputs.size(), 9.0f), outR(kInputs.size(), 9.0f);
    float* in[2] = {left.data(), nullptr};
    float* out[2] = {outL.data(), outR.data()};
    AEffect* e = m->GetEffect();
    e->processReplacing(e, in, out, static_cast<int32_t>(kInputs.size()));
    EXPECT_EQ(outL, Play(*m, kInputs));
    EXPECT_EQ(outR, std::vector<float>(kInputs.size(), 9.0f));
    float* outMissing[2] = {nullptr, outR.data()};
    float* both[2] = {left.data(), left.data()};
    e->processReplacing(e, both, outMissing, static_cast<int32_t>(kInputs.size()));
    EXPECT_EQ(outR, Play(*m, kInputs));
}

} // namespace
