// Programs: selection, names and their bounds, initialisers at the end of loading, OverwritePrograms, chunks.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

class Programs : public ::testing::Test {
  protected:
    void SetUp() override {
        module = NewTestModule();
        module->AddProgram("Init");
        module->AddProgram("Second");
        module->AddParameter(1.0f, 24.0f);
        module->Programs()->Items(0)->SetParameterValue(0, 3.0f);
        module->Programs()->Items(1)->SetParameterValue(0, 8.0f);
        module->FinishLoading();
        module->SetAudioMaster(&TRecordingHost::Callback);
        effect = module->GetEffect();
    }
    intptr_t Dispatch(int32_t op, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, op, index, value, ptr, 0.0f);
    }

    TRecordingHost host;
    TOwned<TTestModule> module;
    AEffect* effect = nullptr;
};

TEST_F(Programs, LoadingSelectsProgramZeroAndAppliesItsValues) {
    EXPECT_EQ(effect->numPrograms, 2);
    EXPECT_EQ(Dispatch(effGetProgram), 0);
    EXPECT_EQ(module->GetParameter(0), 3.0f);
}

TEST_F(Programs, SelectingAnotherProgramAppliesItButReselectingDoesNot) {
    module->SetParameter(0, 12.0f);
    Dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(module->GetParameter(0), 12.0f); // already current: values are not restored
    Dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(module->GetParameter(0), 8.0f);
    EXPECT_EQ(Dispatch(effGetProgram), 1);
    Dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(module->GetParameter(0), 3.0f); // OverwritePrograms is off: program 0 kept its value
    for (intptr_t bad : {intptr_t(2), intptr_t(-1), intptr_t(INTPTR_MAX)}) {
        Dispatch(effSetProgram, 0, bad);
        EXPECT_EQ(Dispatch(effGetProgram), 0);
    }
}

TEST_F(Programs, OverwriteProgramsWritesChangesIntoTheCurrentProgram) {
    module->SetOverwritePrograms(true);
    module->SetParameter(0, 12.0f);
    EXPECT_EQ(module->Programs()->Items(0)->GetParameterValue(0), 12.0f);
    Dispatch(effSetProgram, 0, 1);
    Dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(module->GetParameter(0), 12.0f);
}

TEST_F(Programs, NamesAreCutToWhatTheyHoldAndToTheHostsBuffer) {
    std::string sixty(60, 'a');
    for (int i = 0; i < 60; ++i)
        sixty[static_cast<size_t>(i)] = static_cast<char>('A' + i % 26);
    Dispatch(effSetProgramName, 0, 0, sixty.data());
    EXPECT_EQ(module->CurrentProgramName(), sixty.substr(0, 50));

    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    Dispatch(effGetProgramName, 0, 0, buf);
    EXPECT_EQ(std::string(buf), sixty.substr(0, kProgramNameBytes - 1));
    EXPECT_EQ(buf[kProgramNameBytes], 'x'); // nothing beyond the buffer the host gave

    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 1, 0, buf), 1);
    EXPECT_STREQ(buf, "Second");
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 2, 0, buf), 0);
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, -1, 0, buf), 0);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 1);
    EXPECT_EQ(Dispatch(effSetProgramName, 0, 0, nullptr), 0);
}

TEST_F(Programs, ValueAccessorsRejectBadIndices) {
    TCustomVstProgram* p = module->Programs()->Items(0);
    EXPECT_THROW(p->SetParameterValue(1, 1.0f), EListError);
    try {
        p->GetParameterValue(-1);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Index >= numParams!");
    }
    EXPECT_THROW(module->Programs()->Items(5), EListError);
}

TEST_F(Programs, AssignmentCopiesValuesAndName) {
    TCustomVstProgram* a = module->Programs()->Items(0);
    TCustomVstProgram* b = module->Programs()->Items(1);
    b->Assign(a);
    EXPECT_EQ(b->DisplayName(), "Init");
    EXPECT_EQ(b->GetParameterValue(0), 3.0f);
    EXPECT_THROW(b->Assign(module->ParameterProperties()->Items(0)), EConvertError);
}

TEST_F(Programs, ChunksAreOnlyForProgramsThatHaveOne) {
    void* data = nullptr;
    EXPECT_EQ(Dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(Dispatch(effGetChunk, 0, 0, &data), 0); // a bank is not offered, and nothing blocks the host
    EXPECT_EQ(Dispatch(effGetChunk, 1, 0, nullptr), 0);
    uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(Dispatch(effSetChunk, 1, 3, bytes), 0);

    module->Programs()->Items(0)->SetChunkData(std::make_unique<std::vector<uint8_t>>());
    EXPECT_EQ(Dispatch(effSetChunk, 1, 3, bytes), 3);
    EXPECT_EQ(Dispatch(effSetChunk, 1, -3, bytes), 0);
    EXPECT_EQ(Dispatch(effGetChunk, 1, 0, &data), 3);
    EXPECT_EQ(std::memcmp(data, bytes, 3), 0);
    EXPECT_TRUE(module->EditorNeedsUpdate());
}

TEST_F(Programs, InitialisersRunInOrderBeforeProgramZeroIsSelected) {
    auto m = NewTestModule();
    m->AddProgram("A");
    m->AddProgram("B");
    m->AddParameter();
    std::vector<std::string> order;
    struct TInit {
        std::vector<std::string>* order;
        TTestModule* module;
        void Module(TObject*) { order->push_back("module"); }
        void Program(TObject* sender) {
            auto* p = static_cast<TCustomVstProgram*>(sender);
            order->push_back(p->DisplayName());
            p->SetParameterValue(0, p->Index() == 0 ? 0.25f : 0.5f);
        }
        void Change(TObject*, int32_t, float v) {
            order->push_back("value " + std::to_string(v).substr(0, 4));
        }
    } init{&order, m.get()};
    m->OnInitialize = TNotifyEvent::Of<&TInit::Module>(&init);
    for (int i = 0; i < 2; ++i)
        m->Programs()->Items(i)->OnInitialize = TNotifyEvent::Of<&TInit::Program>(&init);
    m->OnParameterChange = TParameterChangeEvent::Of<&TInit::Change>(&init);
    m->FinishLoading();
    EXPECT_EQ(order, (std::vector<std::string>{"module", "A", "B", "value 0.25"}));
}

TEST_F(Programs, BeginLoadComparesThePatchIdentifier) {
    VstPatchChunkInfo info{};
    info.pluginUniqueID = effect->uniqueID;
    EXPECT_EQ(Dispatch(effBeginLoadProgram, 0, 0, &info), 0);
    EXPECT_EQ(Dispatch(effBeginLoadBank, 0, 0, &info), 0);
    info.pluginUniqueID = FourCharCode('X', 'X', 'X', 'X');
    EXPECT_EQ(Dispatch(effBeginLoadProgram, 0, 0, &info), -1);
    EXPECT_EQ(Dispatch(effBeginLoadBank, 0, 0, &info), -1);
    EXPECT_EQ(Dispatch(effBeginLoadBank, 0, 0, nullptr), 0);
}

} // namespace
