// The built Quantilaw library driven through the host library: the record, the dispatcher's replies, texts,
// parameters and programs as a host sees them.
#include "host/Plugin.h"
#ifdef QL_TEST_X11
#include "tests/toolkit/x11_testhost.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <filesystem>

using namespace ql::host;

namespace {

class Library : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(QL_PLUGIN_PATH)) GTEST_SKIP() << "the plug-in is not built";
        host = std::make_shared<Host>();
        library = PluginLibrary::Load(QL_PLUGIN_PATH);
        plugin = Plugin::Create(library, host);
        plugin->Open();
    }
    vst::IntPtr Dispatch(vst::Int32 op, vst::Int32 index = 0, vst::IntPtr value = 0, void* ptr = nullptr,
                         float opt = 0.0f) {
        return plugin->Dispatch(op, index, value, ptr, opt);
    }

    std::shared_ptr<Host> host;
    std::shared_ptr<PluginLibrary> library;
    std::unique_ptr<Plugin> plugin;
};

TEST_F(Library, RecordAsTheHostReceivesIt) {
    const vst::AEffect& e = plugin->Effect();
    EXPECT_EQ(e.magic, 0x56737450);
    EXPECT_EQ(e.flags, 25);
    EXPECT_EQ(e.numInputs, 2);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.numParams, 1);
    EXPECT_EQ(e.numPrograms, 1);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.version, 1);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_EQ(e.resvd1, 0);
    EXPECT_EQ(e.resvd2, 0);
    EXPECT_EQ(e.realQualities, 0);
    EXPECT_EQ(e.offQualities, 0);
    EXPECT_NE(e.object, nullptr);
    EXPECT_EQ(e.user, e.object);
    EXPECT_EQ(e.uniqueID, vst::FourCC('Q', 'l', 'W', 'v'));
    const char zeros[60] = {};
    EXPECT_EQ(std::memcmp(e.future, zeros, sizeof zeros), 0);
}

TEST_F(Library, EveryCallGivesAnIndependentRecord) {
    auto second = Plugin::Create(library, host);
    const vst::AEffect& a = plugin->Effect();
    const vst::AEffect& b = second->Effect();
    EXPECT_NE(&a, &b);
    EXPECT_NE(a.object, b.object);
    // Byte for byte as the host holds them, padding included, apart from the two module pointers.
    auto bytes = [](const vst::AEffect& e) {
        std::array<unsigned char, sizeof e> raw{};
        std::memcpy(raw.data(), &e, sizeof e);
        for (std::size_t at : {offsetof(vst::AEffect, object), offsetof(vst::AEffect, user)})
            std::memset(raw.data() + at, 0, sizeof(void*));
        return raw;
    };
    EXPECT_EQ(bytes(a), bytes(b));
    EXPECT_EQ(second->Close(), 1);
}

TEST_F(Library, DispatcherReplies) {
    struct Case {
        vst::Int32 opcode;
        vst::Int32 index;
        vst::IntPtr value;
        vst::IntPtr reply;
    } cases[] = {
        {vst::effGetProgram, 0, 0, 0},
        {vst::effGetVu, 0, 0, 0},
        {vst::effEditDraw, 0, 0, 0},
        {vst::effEditMouse, 0, 0, 0},
        {vst::effEditKey, 0, 0, 0},
        {vst::effEditTop, 0, 0, 0},
        {vst::effEditSleep, 0, 0, 0},
        {vst::effIdentify, 0, 0, 0x4E764566},
        {vst::effCanBeAutomated, 0, 0, 1},
        {vst::effCanBeAutomated, 5, 0, 1},
        {vst::effGetNumProgramCategories, 0, 0, 1},
        {vst::effCopyProgram, 0, 0, 0},
        {vst::effConnectInput, 0, 1, 1},
        {vst::effConnectOutput, 1, 0, 1},
        {vst::effGetPlugCategory, 0, 0, 1},
        {vst::effGetCurrentPosition, 0, 0, 0},
        {vst::effGetDestinationBuffer, 0, 0, 0},
        {vst::effOfflineNotify, 0, 0, 0},
        {vst::effOfflinePrepare, 0, 0, 0},
        {vst::effOfflineRun, 0, 0, 0},
        {vst::effProcessVarIo, 0, 0, 0},
        {vst::effSetSpeakerArrangement, 0, 0, 0},
        {vst::effSetBypass, 0, 1, 0},
        {vst::effGetErrorText, 0, 0, 0},
        {vst::effGetVendorVersion, 0, 0, 1},
        {vst::effVendorSpecific, 1, 2, 0},
        {vst::effGetTailSize, 0, 0, 0},
        {vst::effIdle, 0, 0, 0},
        {vst::effGetIcon, 0, 0, 0},
        {vst::effSetViewPosition, 0, 0, 0},
        {vst::effGetParameterProperties, 0, 0, 0},
        {vst::effKeysRequired, 0, 0, 1},
        {vst::effGetVstVersion, 0, 0, 2300},
        {vst::effEditKeyDown, 'a', 0, 0},
        {vst::effEditKeyUp, 'a', 0, 0},
        {vst::effSetEditKnobMode, 0, 1, 0},
        {vst::effGetMidiProgramName, 0, 0, 0},
        {vst::effGetCurrentMidiProgram, 0, 0, -1},
        {vst::effGetMidiProgramCategory, 0, 0, 0},
        {vst::effHasMidiProgramsChanged, 0, 0, 0},
        {vst::effGetMidiKeyName, 0, 0, 0},
        {vst::effBeginSetProgram, 0, 0, 0},
        {vst::effEndSetProgram, 0, 0, 0},
        {vst::effGetSpeakerArrangement, 0, 0, 0},
        {vst::effShellGetNextPlugin, 0, 0, 0},
        {vst::effStartProcess, 0, 0, 0},
        {vst::effStopProcess, 0, 0, 0},
        {vst::effSetTotalSampleToProcess, 0, 12345, 12345},
        {vst::effSetPanLaw, 0, 0, 0},
        {vst::effProcessEvents, 0, 0, 1},
        {vst::effSetSampleRate, 0, 0, 1},
        {vst::effSetBlockSize, 0, 512, 0},
        {vst::effMainsChanged, 0, 1, 0},
        {vst::effSetBlockSizeAndSampleRate, 0, 512, 1},
        {77, 0, 0, 0},
        {-1, 0, 0, 0},
        {1000, 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Dispatch(c.opcode, c.index, c.value, nullptr,
                           c.opcode == vst::effSetSampleRate ? 48000.0f : 0.0f),
                  c.reply)
            << "opcode " << c.opcode;
}

TEST_F(Library, IdentityTexts) {
    for (auto op : {vst::effGetEffectName, vst::effGetProductString}) {
        TextReply r = plugin->DispatchText(op);
        EXPECT_EQ(r.text, "Quantilaw");
        EXPECT_EQ(r.reply, 1);
        EXPECT_FALSE(r.overran);
    }
    EXPECT_EQ(plugin->VendorString(), "Velmora");
    EXPECT_EQ(plugin->VendorVersion(), 1);
}

TEST_F(Library, CanDoAnswers) {
    const char* yes[] = {"plugAsChannelInsert", "plugAsSend", "2in2out"};
    const char* no[] = {"receiveVstEvents",
                        "receiveVstMidiEvent",
                        "receiveVstTimeInfo",
                        "sendVstEvents",
                        "sendVstMidiEvent",
                        "sendVstTimeInfo",
                        "offline",
                        "mixDryWet",
                        "noRealTime",
                        "multipass",
                        "metapass",
                        "1in1out",
                        "1in2out",
                        "2in1out",
                        "2in4out",
                        "4in2out",
                        "4in4out",
                        "4in8out",
                        "8in4out",
                        "8in8out",
                        "midiProgramNames",
                        "conformsToWindowRules",
                        "LiveWithoutToolbar",
                        "bypass"};
    for (const char* t : yes)
        EXPECT_EQ(plugin->CanDo(t), 1) << t;
    for (const char* t : no)
        EXPECT_EQ(plugin->CanDo(t), -1) << t;
    for (const char* t : {"PlugAsSend", "", "_2in2out", "hasCockosExtensions"})
        EXPECT_EQ(plugin->CanDo(t), 0) << t;
}

TEST_F(Library, PinProperties) {
    for (int i = 0; i < 2; ++i) {
        auto in = plugin->InputProperties(i);
        auto out = plugin->OutputProperties(i);
        ASSERT_TRUE(in && out);
        EXPECT_EQ(in->label, "Input #" + std::to_string(i + 1));
        EXPECT_EQ(in->shortLabel, "In" + std::to_string(i + 1));
        EXPECT_EQ(out->label, "Output #" + std::to_string(i + 1));
        EXPECT_EQ(out->shortLabel, "Out" + std::to_string(i + 1));
        EXPECT_EQ(in->flags, 3);
        EXPECT_EQ(out->flags, 3);
    }
    EXPECT_FALSE(plugin->InputProperties(2));
    EXPECT_FALSE(plugin->OutputProperties(-1));
}

TEST_F(Library, TheEditorOpensInAHostWindowAndCloses) {
    vst::ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(vst::effEditGetRect, 0, 0, &rect), 0);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top + rect->left + rect->bottom + rect->right, 0);
    // A handle that no window system knows opens nothing.
    int notAWindow = 0;
    EXPECT_EQ(Dispatch(vst::effEditOpen, 0, 0, &notAWindow), 0);
    EXPECT_EQ(Dispatch(vst::effEditGetRect, 0, 0, &rect), 0);
#ifdef QL_TEST_X11
    ql::test::TX11TestHost window(611, 226);
    if (!window.Ok()) GTEST_SKIP() << "no X server";
    EXPECT_EQ(Dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(window.Handle())), 1);
    EXPECT_EQ(window.ChildCount(), 1);
    EXPECT_EQ(Dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->bottom, 226);
    EXPECT_EQ(rect->right, 611);
    EXPECT_EQ(Dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(Dispatch(vst::effEditClose), 0);
    window.Sync();
    EXPECT_EQ(window.ChildCount(), 0);
#else
    GTEST_SKIP() << "this build has no X11 window system";
#endif
}

TEST_F(Library, ParameterAndProgramAsTheHostSeesThem) {
    EXPECT_EQ(plugin->ParamName(0), "Quantisation");
    EXPECT_EQ(plugin->ParamLabel(0), "Bit");
    EXPECT_EQ(plugin->ParamDisplay(0), "3");
    for (const auto& text : {plugin->ParamName(1), plugin->ParamLabel(1), plugin->ParamDisplay(1)})
        EXPECT_EQ(text, "undefined");
    EXPECT_EQ(plugin->ProgramName(), "Init");
    EXPECT_EQ(plugin->ProgramNameIndexed(0), "Init");
    EXPECT_FALSE(plugin->ProgramNameIndexed(1));
    EXPECT_FLOAT_EQ(plugin->GetParameter(0), 2.0f / 23.0f);

    host->Log().Clear();
    plugin->SetParameter(0, 0.3f);
    EXPECT_EQ(plugin->ParamDisplay(0), "7.90000009536743");
    EXPECT_EQ(plugin->GetParameter(0), 0.3f);
    auto automate = host->Log().Entries(vst::audioMasterAutomate);
    ASSERT_EQ(automate.size(), 1u);
    EXPECT_EQ(automate[0].opt, 0.3f);

    EXPECT_TRUE(plugin->StringToParameter(0, "12"));
    EXPECT_EQ(plugin->ParamDisplay(0), "12");
    plugin->SetProgram(0);
    EXPECT_EQ(plugin->ParamDisplay(0), "12"); // program 0 is current already

    plugin->SetProgramName(std::string(60, 'p'));
    EXPECT_EQ(plugin->ProgramName(), std::string(23, 'p'));
    EXPECT_FALSE(plugin->DispatchText(vst::effGetProgramName).overran);

    vst::VstPatchChunkInfo info{};
    info.pluginUniqueID = vst::FourCC('Q', 'l', 'W', 'v');
    EXPECT_EQ(Dispatch(vst::effBeginLoadProgram, 0, 0, &info), 0);
    info.pluginUniqueID = vst::FourCC('N', 'o', 'E', 'f');
    EXPECT_EQ(Dispatch(vst::effBeginLoadProgram, 0, 0, &info), -1);
    EXPECT_EQ(Dispatch(vst::effBeginLoadBank, 0, 0, &info), -1);
}

TEST_F(Library, HostValuesOutsideTheRangeAndBadIndices) {
    plugin->SetParameter(0, 1.0f / 23.0f);
    EXPECT_EQ(plugin->ParamDisplay(0), "2");
    plugin->SetParameter(7, 0.5f);
    EXPECT_EQ(plugin->GetParameter(7), 0.0f);
    EXPECT_EQ(plugin->GetParameter(-1), 0.0f);
    EXPECT_EQ(plugin->ParamDisplay(0), "2");
}

} // namespace
