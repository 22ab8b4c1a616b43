// The two dispatcher layers on a module built in code: event routing, can-do, pins, speaker arrangements.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        module = NewTestModule();
        effect = module->GetEffect();
    }
    intptr_t Dispatch(int32_t op, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, op, index, value, ptr, opt);
    }
    TOwned<TTestModule> module;
    AEffect* effect = nullptr;
};

struct TLog {
    std::vector<std::string> entries;
    void Dispatch(TObject*, int32_t op) { entries.push_back("op " + std::to_string(op)); }
    void Notify(TObject*) { entries.push_back("notify"); }
    void Midi(TObject*, VstMidiEvent& e) { entries.push_back("midi " + std::to_string(e.midiData[1])); }
    void Bypass(TObject*, bool on) { entries.push_back(on ? "bypass on" : "bypass off"); }
    void PanLaw(TObject*, int32_t& type, float& val) {
        entries.push_back("pan " + std::to_string(type) + " " + std::to_string(static_cast<int>(val)));
        type = 99;
    }
    intptr_t Vendor(TObject*, int32_t a, intptr_t b, void*, float) { return a + b; }
    int32_t CanDo(TObject*, const std::string& text) {
        entries.push_back("cando " + text);
        return 1;
    }
    void Connected(TObject*, int32_t index, bool state) {
        entries.push_back("conn " + std::to_string(index) + (state ? " on" : " off"));
    }
    void Vu(float& vu) { vu = 1.0f; }
    int32_t Pin(TObject*, std::string& label, std::string& shortLabel, TSpeakerArrangementType&,
                TChannelPropertyFlags& flags) {
        label = std::string(80, 'L');
        shortLabel = "Side chain";
        flags = SetOf({cpfIsActive, cpfUseSpeaker});
        return 0;
    }
};

TEST_F(Dispatcher, OnDispatcherFiresFirstForEveryRequest) {
    TLog log;
    module->OnDispatcher = TOnDispatcherEvent::Of<&TLog::Dispatch>(&log);
    module->OnOpen = TNotifyEvent::Of<&TLog::Notify>(&log);
    Dispatch(effOpen);
    Dispatch(77);
    Dispatch(-1);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"op 0", "notify", "op 77", "op -1"}));
    EXPECT_EQ(Dispatch(77), 0);
    EXPECT_EQ(Dispatch(-1), 0);
}

TEST_F(Dispatcher, UnassignedEventsReplyZeroAssignedOnesOne) {
    const int32_t handled[] = {effSetBypass,     effStartProcess, effStopProcess,     effBeginSetProgram,
                               effEndSetProgram, effSetPanLaw,    effOfflineNotify,   effOfflinePrepare,
                               effOfflineRun,    effProcessVarIo, effSetEditKnobMode, effVendorSpecific,
                               effGetVu};
    for (int32_t op : handled)
        EXPECT_EQ(Dispatch(op), 0) << op;
    EXPECT_EQ(Dispatch(effConnectInput, 0, 1), 1);
    EXPECT_EQ(Dispatch(effConnectOutput, 0, 1), 1);

    TLog log;
    module->OnSoftBypass = TSoftBypassEvent::Of<&TLog::Bypass>(&log);
    module->OnStartProcess = TNotifyEvent::Of<&TLog::Notify>(&log);
    module->OnSetPanLaw = TOnSetPanLawEvent::Of<&TLog::PanLaw>(&log);
    module->OnVendorSpecific = TOnVendorSpecificEvent::Of<&TLog::Vendor>(&log);
    module->OnGetVU = TGetVUEvent::Of<&TLog::Vu>(&log);
    module->OnInConnected = TInOutConnectedEvent::Of<&TLog::Connected>(&log);
    EXPECT_EQ(Dispatch(effSetBypass, 0, 1), 1);
    EXPECT_EQ(Dispatch(effStartProcess), 1);
    EXPECT_EQ(Dispatch(effSetPanLaw, 0, 2, nullptr, 3.0f), 1);
    EXPECT_EQ(Dispatch(effVendorSpecific, 40, 2), 42);
    EXPECT_EQ(Dispatch(effGetVu), 32767);
    EXPECT_EQ(Dispatch(effConnectInput, 1, 0), 1);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"bypass on", "notify", "pan 2 3", "conn 1 off"}));
}

TEST_F(Dispatcher, IncomingEventsReachTheMidiHandlerInOrder) {
    TLog log;
    module->OnProcessMidi = TProcessMidiEvent::Of<&TLog::Midi>(&log);
    VstMidiEvent a{}, b{};
    a.type = b.type = kVstMidiType;
    a.midiData[1] = 60;
    b.midiData[1] = 64;
    VstEvent other{};
    other.type = 6;
    struct {
        int32_t numEvents;
        intptr_t reserved;
        VstEvent* events[4];
    } list{4, 0, {reinterpret_cast<VstEvent*>(&a), &other, nullptr, reinterpret_cast<VstEvent*>(&b)}};
    EXPECT_EQ(Dispatch(effProcessEvents, 0, 0, &list), 1);
    EXPECT_EQ(Dispatch(effProcessEvents, 0, 0, nullptr), 1);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"midi 60", "midi 64"}));
}

TEST_F(Dispatcher, CanDoMatchesWholeTextsCaseSensitively) {
    module->SetCanDos(SetOf({plugAsSend, _2in2out}));
    TLog log;
    module->OnCanDo = TOnCanDoEvent::Of<&TLog::CanDo>(&log);
    struct Case {
        const char* text;
        intptr_t reply;
    } cases[] = {{"plugAsSend", 1}, {"2in2out", 1},    {"_2in2out", 0}, {"sendVstMidiEvent", -1},
                 {"bypass", -1},    {"PlugAsSend", 0}, {"", 0},         {"plugAsSendX", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Dispatch(effCanDo, 0, 0, const_cast<char*>(c.text)), c.reply) << c.text;
    EXPECT_EQ(Dispatch(effCanDo, 0, 0, nullptr), 0);
    EXPECT_EQ(log.entries.front(), "cando plugAsSend");
}

TEST_F(Dispatcher, PinLabelsAreCutToTheirFields) {
    VstPinProperties pin;
    std::memset(&pin, 0x7F, sizeof pin);
    TLog log;
    module->OnOutputProperties = TOnGetChannelPropertiesEvent::Of<&TLog::Pin>(&log);
    EXPECT_EQ(Dispatch(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_EQ(std::string(pin.label), std::string(63, 'L'));
    EXPECT_STREQ(pin.shortLabel, "Side ch");
    EXPECT_EQ(pin.flags, 5);
    EXPECT_EQ(pin.arrangementType, 0x7F7F7F7F); // left as the host supplied it
    EXPECT_EQ(Dispatch(effGetOutputProperties, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, SpeakerArrangementHelpers) {
    VstSpeakerArrangement* a = nullptr;
    ASSERT_TRUE(module->NewSpeakerArrangement(a, 3));
    EXPECT_EQ(a->numChannels, 3);
    a->type = 7;
    std::strcpy(a->speakers[2].name, "Right");
    a->speakers[2].azimuth = 0.5f;
    a->speakers[2].type = 2;
    VstSpeakerArrangement* copy = nullptr;
    ASSERT_TRUE(module->CopySpeakerArrangement(copy, a));
    EXPECT_EQ(copy->type, 7);
    EXPECT_EQ(copy->numChannels, 3);
    EXPECT_STREQ(copy->speakers[2].name, "Right");
    EXPECT_EQ(copy->speakers[2].azimuth, 0.5f);
    EXPECT_EQ(copy->speakers[2].type, 2);
    EXPECT_FALSE(module->CopySpeakerArrangement(copy, nullptr));
    EXPECT_FALSE(module->CopySpeakerProperties(nullptr, &a->speakers[0]));
    EXPECT_FALSE(module->NewSpeakerArrangement(a, -1));
    EXPECT_EQ(a, nullptr);
    EXPECT_TRUE(module->FreeSpeakerArrangement(copy));
    EXPECT_EQ(copy, nullptr);
    int32_t untouched[2] = {11, 12};
    EXPECT_EQ(Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&untouched[0]), &untouched[1]),
              0);
    EXPECT_EQ(untouched[0] + untouched[1], 23);
}

TEST_F(Dispatcher, RequestsToTheHostNeedACallback) {
    EXPECT_EQ(module->HostVersion(), 1);
    EXPECT_TRUE(module->HostInputConnected(0));
    EXPECT_FALSE(module->HostUpdateDisplay());
    EXPECT_EQ(module->HostGetSampleRate(), 44100.0f);
    TRecordingHost host;
    module->SetAudioMaster(&TRecordingHost::Callback);
    host.otherReply = 48000;
    EXPECT_EQ(module->HostGetSampleRate(), 48000.0f);
    EXPECT_EQ(module->SampleRate(), 48000.0f);
    EXPECT_FALSE(module->HostOutputConnected(1));
    EXPECT_EQ(host.Of(audioMasterPinConnected).back().value, 1);
    EXPECT_FALSE(module->HostOpenFileSelector(nullptr));
    EXPECT_TRUE(host.Of(audioMasterOpenFileSelector).empty());
    EXPECT_EQ(module->HostVersion(), 2400);
}

} // namespace
