// Parameters: host range conversion, curves, smoothing, texts, text entry, automation notices and the
// per-thread re-entry guard of the store.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

class Parameters : public ::testing::Test {
  protected:
    void SetUp() override {
        module = NewTestModule();
        module->AddParameter(1.0f, 24.0f);
        param = module->ParameterProperties()->Items(0);
        param->SetDisplayName("Quantisation");
        param->SetUnits("Bit");
        module->SetAudioMaster(&TRecordingHost::Callback);
        effect = module->GetEffect();
        host.Clear();
    }
    std::string Text(int32_t opcode, int32_t index) {
        char buf[256];
        std::memset(buf, 'x', sizeof buf);
        effect->dispatcher(effect, opcode, index, 0, buf, 0.0f);
        return buf;
    }

    TRecordingHost host;
    TOwned<TTestModule> module;
    TCustomVstParameterProperty* param = nullptr;
    AEffect* effect = nullptr;
};

TEST_F(Parameters, HostValuesMapLinearlyOntoTheRangeAndBack) {
    struct Case {
        float host, own;
        const char* shown;
    } cases[] = {{0.0f, 1.0f, "1"},
                 {1.0f, 24.0f, "24"},
                 {0.5f, 12.5f, "12.5"},
                 {0.3f, 7.9000001f, "7.90000009536743"},
                 {1.0f / 23.0f, 2.0f, "2"}};
    for (const auto& c : cases) {
        effect->setParameter(effect, 0, c.host);
        EXPECT_EQ(module->GetParameter(0), c.own) << c.host;
        EXPECT_EQ(Text(effGetParamDisplay, 0), c.shown);
        EXPECT_EQ(effect->getParameter(effect, 0), c.host);
    }
}

TEST_F(Parameters, ReadBackIsClampedIntoTheHostRange) {
    module->SetParameter(0, 30.0f);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    module->SetParameter(0, -3.0f);
    EXPECT_EQ(effect->getParameter(effect, 0), 0.0f);
}

TEST_F(Parameters, SmoothingAdvancesOncePerHostStore) {
    param->SetMin(0.0f);
    param->SetMax(1.0f);
    param->SetSmoothingFactor(0.5f);
    std::vector<float> stored;
    for (int i = 0; i < 3; ++i) {
        effect->setParameter(effect, 0, 1.0f);
        stored.push_back(module->GetParameter(0));
    }
    EXPECT_EQ(stored, (std::vector<float>{0.25f, 0.5f, 0.6875f}));
}

TEST_F(Parameters, CurvesRoundTrip) {
    param->SetMin(0.0f);
    param->SetMax(1.0f);
    param->SetCurveFactor(9.0f);
    for (TCurveType curve : {ctLogarithmic, ctExponential, ctFrequencyScale}) {
        param->SetCurve(curve);
        for (float v : {0.0f, 0.2f, 0.7f, 1.0f}) {
            effect->setParameter(effect, 0, v);
            EXPECT_NEAR(effect->getParameter(effect, 0), v, 1e-6f) << curve << " " << v;
        }
    }
    param->SetCurve(ctLogarithmic);
    effect->setParameter(effect, 0, 0.5f);
    EXPECT_NEAR(module->GetParameter(0), (std::pow(10.0, 0.5) - 1.0) / 9.0, 1e-6);
}

TEST_F(Parameters, TextsAndTheirBounds) {
    EXPECT_EQ(Text(effGetParamName, 0), "Quantisation");
    EXPECT_EQ(Text(effGetParamLabel, 0), "Bit");
    for (int32_t op : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        EXPECT_EQ(Text(op, 1), "undefined");
        EXPECT_EQ(Text(op, -1), "undefined");
        EXPECT_EQ(effect->dispatcher(effect, op, 0, 0, nullptr, 0.0f), 0); // no buffer: nothing written
    }
    param->SetDisplayName(std::string(40, 'n'));
    param->SetUnits("kilobits per second");
    EXPECT_EQ(Text(effGetParamName, 0), std::string(30, 'n'));
    EXPECT_EQ(Text(effGetParamLabel, 0), "kilobits");

    struct TCustom {
        void Label(TObject*, std::string& s) { s = std::string(100, 'L'); }
        void Display(TObject*, std::string& s) { s = "<" + s + ">"; }
    } custom;
    param->OnCustomParameterLabel = TCustomParameterLabelEvent::Of<&TCustom::Label>(&custom);
    param->OnCustomParameterDisplay = TCustomParameterDisplayEvent::Of<&TCustom::Display>(&custom);
    module->SetParameter(0, 3.0f);
    EXPECT_EQ(Text(effGetParamDisplay, 0), "<3>");
    EXPECT_EQ(Text(effGetParamLabel, 0), std::string(kParamTextBytes - 1, 'L')); // cut to the buffer
}

TEST_F(Parameters, TextEntryStoresInTheParametersOwnRange) {
    char twelve[] = "12";
    EXPECT_EQ(effect->dispatcher(effect, effString2Parameter, 0, 0, twelve, 0.0f), 1);
    EXPECT_EQ(module->GetParameter(0), 12.0f);
    auto automate = host.Of(audioMasterAutomate);
    ASSERT_EQ(automate.size(), 1u);
    EXPECT_EQ(automate[0].index, 0);
    EXPECT_FLOAT_EQ(automate[0].opt, 11.0f / 23.0f);

    char abc[] = "abc";
    EXPECT_EQ(effect->dispatcher(effect, effString2Parameter, 0, 0, abc, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, effString2Parameter, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, effString2Parameter, 7, 0, twelve, 0.0f), 0);
    EXPECT_EQ(module->GetParameter(0), 12.0f);
    char big[] = "30";
    EXPECT_EQ(effect->dispatcher(effect, effString2Parameter, 0, 0, big, 0.0f), 1);
    EXPECT_EQ(module->GetParameter(0), 30.0f); // not limited to the range; the host reads back 1
}

TEST_F(Parameters, HostStoresAreEchoedAsAutomation) {
    effect->setParameter(effect, 0, 0.25f);
    auto automate = host.Of(audioMasterAutomate);
    ASSERT_EQ(automate.size(), 1u);
    EXPECT_EQ(automate[0].opt, 0.25f);
    param->SetCanBeAutomated(false);
    effect->setParameter(effect, 0, 0.5f);
    EXPECT_EQ(host.Of(audioMasterAutomate).size(), 1u);
    EXPECT_EQ(effect->dispatcher(effect, effCanBeAutomated, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, effCanBeAutomated, 5, 0, nullptr, 0.0f), 1);
}

TEST_F(Parameters, BadIndicesAreIgnoredByTheRecordEntries) {
    effect->setParameter(effect, 0, 0.5f);
    effect->setParameter(effect, 1, 0.9f);
    effect->setParameter(effect, -1, 0.9f);
    effect->setParameter(effect, INT32_MAX, 0.9f);
    EXPECT_EQ(module->GetParameter(0), 12.5f);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.0f);
    EXPECT_EQ(effect->getParameter(effect, -1), 0.0f);
    effect->setParameter(nullptr, 0, 0.9f);
    EXPECT_EQ(effect->getParameter(nullptr, 0), 0.0f);
}

struct TReentrant {
    TTestModule* module;
    int calls = 0;
    void Change(TObject*, int32_t, float value) {
        ++calls;
        module->SetParameter(0, value + 1.0f); // a store made from inside the notification is dropped
    }
};

TEST_F(Parameters, AStoreFromInsideTheNotificationIsDropped) {
    TReentrant listener{module.get()};
    param->OnParameterChange = TParameterChangeEvent::Of<&TReentrant::Change>(&listener);
    module->SetParameter(0, 5.0f);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(module->GetParameter(0), 5.0f);
    EXPECT_FALSE(module->InSetParameter());
    EXPECT_TRUE(module->EditorNeedsUpdate());
}

/// Holds the first thread inside the store until the second thread's store has completed.
struct TBlockingListener {
    std::atomic<bool> firstInside{false};
    std::atomic<bool> release{false};
    std::atomic<int> seen{0};
    void Change(TObject*, int32_t, float value) {
        seen.fetch_add(1);
        if (value == 1.0f) {
            firstInside = true;
            while (!release)
                std::this_thread::yield();
        }
    }
};

TEST_F(Parameters, StoresFromTwoThreadsAtOnceAreNotLost) {
    TBlockingListener listener;
    param->OnParameterChange = TParameterChangeEvent::Of<&TBlockingListener::Change>(&listener);
    std::thread first([&] { module->SetParameter(0, 1.0f); });
    while (!listener.firstInside)
        std::this_thread::yield();
    EXPECT_TRUE(module->InSetParameter());
    module->SetParameter(0, 2.0f); // the automation value of another thread
    EXPECT_EQ(module->GetParameter(0), 2.0f);
    EXPECT_EQ(listener.seen.load(), 2);
    listener.release = true;
    first.join();
    EXPECT_EQ(host.Of(audioMasterAutomate).size(), 2u);
    EXPECT_FALSE(module->InSetParameter());
}

TEST_F(Parameters, AStoreThatOvertakesAnotherLeavesValueTextAndHandlerStateAtTheLastValue) {
    // The handler keeps what it was last given, as the quantiser keeps its step count.
    struct TState : TBlockingListener {
        std::atomic<float> applied{0.0f};
        void Change(TObject* s, int32_t i, float value) {
            TBlockingListener::Change(s, i, value);
            applied = value;
        }
    } listener;
    param->OnParameterChange = TParameterChangeEvent::Of<&TState::Change>(&listener);
    std::thread first([&] { module->SetParameter(0, 1.0f); });
    while (!listener.firstInside)
        std::this_thread::yield();
    module->SetParameter(0, 2.0f); // finishes while the first store is still in its handler
    EXPECT_EQ(listener.applied.load(), 2.0f);
    listener.release = true;
    first.join();
    EXPECT_EQ(module->GetParameter(0), 2.0f);
    EXPECT_EQ(listener.applied.load(), 2.0f);
    EXPECT_EQ(Text(effGetParamDisplay, 0), "2");
    EXPECT_FALSE(module->InSetParameter());
}

TEST_F(Parameters, TheGuardIsPerModule) {
    auto other = NewTestModule();
    other->AddParameter();
    struct TChain {
        TTestModule* other;
        void Change(TObject*, int32_t, float) { other->SetParameter(0, 0.75f); }
    } chain{other.get()};
    param->OnParameterChange = TParameterChangeEvent::Of<&TChain::Change>(&chain);
    module->SetParameter(0, 4.0f);
    EXPECT_EQ(other->GetParameter(0), 0.75f);
}

TEST_F(Parameters, ProgramChunkFlagKeepsValuesOutOfTheModule) {
    module->SetFlags(SetOf({pfFlagsProgramChunks}));
    module->SetParameter(0, 9.0f);
    EXPECT_EQ(module->GetParameter(0), 0.0f);
    EXPECT_EQ(host.Of(audioMasterAutomate).size(), 1u);
}

} // namespace
