// Creating modules for hosts and closing them: failures leave nothing behind, nothing thrown reaches the
// host.
#include "ShellTestSupport.h"
#include "shell/VstEntry.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

struct TCloseLog {
    static inline std::vector<std::string> entries;
};

class TLoggedModule : public TTestModule {
  public:
    TLoggedModule() { OnClose = TNotifyEvent::Of<&TLoggedModule::Closed>(this); }
    ~TLoggedModule() override { TCloseLog::entries.push_back("destroyed"); }
    void Closed(TObject*) { TCloseLog::entries.push_back("close"); }
};

TCustomVST1Module* MakeModule(TComponent* owner) {
    auto* m = CreateComponent<TLoggedModule>();
    owner->InsertComponent(m);
    return m;
}

/// For several threads at once: nothing shared is logged.
TCustomVST1Module* MakeQuietModule(TComponent* owner) {
    auto* m = CreateComponent<TTestModule>();
    owner->InsertComponent(m);
    return m;
}

TCustomVST1Module* FailingFactory(TComponent*) { throw Exception("no resources here"); }

TEST(Entry, CreatesAConnectedModuleOwnedByTheApplication) {
    TRecordingHost host;
    const int before = Application()->ComponentCount();
    AEffect* effect = CreateEffect(&TRecordingHost::Callback, &MakeModule);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(Application()->ComponentCount(), before + 1);
    EXPECT_EQ(effect->user, effect->object);
    EXPECT_EQ(host.Of(audioMasterVersion).size(), 1u);

    TCloseLog::entries.clear();
    EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(TCloseLog::entries, (std::vector<std::string>{"close", "destroyed"}));
    EXPECT_EQ(Application()->ComponentCount(), before);
}

TEST(Entry, AFailedSetUpLeavesNoModuleBehind) {
    TRecordingHost host;
    host.version = 0; // a host that answers the version request with 0
    const int before = Application()->ComponentCount();
    TCloseLog::entries.clear();
    EXPECT_EQ(CreateEffect(&TRecordingHost::Callback, &MakeModule), nullptr);
    EXPECT_EQ(Application()->ComponentCount(), before);
    EXPECT_EQ(TCloseLog::entries, (std::vector<std::string>{"destroyed"}));
    EXPECT_EQ(CreateEffect(nullptr, &MakeModule), nullptr);
    EXPECT_EQ(CreateEffect(&TRecordingHost::Callback, &FailingFactory), nullptr);
    EXPECT_EQ(Application()->ComponentCount(), before);
}

TEST(Entry, AFailedLibraryStartUpIsRecordedAndCreatesNoModules) {
    LibraryStartup([] { throw Exception("no compressors"); });
    EXPECT_EQ(StartupError(), "no compressors");
    TRecordingHost host;
    const int before = Application()->ComponentCount();
    EXPECT_EQ(CreateEffect(&TRecordingHost::Callback, &MakeQuietModule), nullptr);
    EXPECT_EQ(Application()->ComponentCount(), before);
    EXPECT_TRUE(host.Of(audioMasterVersion).empty()); // the host is not even asked
    LibraryStartup([] { throw 7; });
    EXPECT_EQ(StartupError(), "start-up failed");

    LibraryStartup(); // a start-up that succeeds clears the record
    EXPECT_EQ(StartupError(), "");
    EXPECT_NE(FindClass("TVST2Module"), nullptr);
    EXPECT_NE(FindClass("TForm"), nullptr);
    AEffect* effect = CreateEffect(&TRecordingHost::Callback, &MakeQuietModule);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(Entry, CreatingAModuleLeavesTheProcesssRandomSequenceAlone) {
    std::srand(12345);
    const int first = std::rand();
    std::srand(12345);
    auto m = NewTestModule(); // the host's (or another plug-in's) sequence is not reseeded behind its back
    EXPECT_EQ(std::rand(), first);
}

TEST(Entry, SetAudioMasterReportsAHostWithoutVersion) {
    TRecordingHost host;
    host.version = 0;
    auto m = NewTestModule();
    try {
        m->SetAudioMaster(&TRecordingHost::Callback);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "AudioMaster Error");
    }
    EXPECT_EQ(host.requests.at(0).ptr, nullptr);
}

TEST(Entry, ModulesComeAndGoFromSeveralThreads) {
    TRecordingHost host;
    const int before = Application()->ComponentCount();
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 20; ++i) {
                AEffect* e = CreateEffect(&TRecordingHost::Callback, &MakeQuietModule);
                if (e) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(Application()->ComponentCount(), before);
}

TEST(Entry, RecordsNotMadeHereAreRefused) {
    AEffect fake{};
    fake.magic = kEffectMagic;
    int something = 0;
    fake.object = &something;
    EXPECT_EQ(TCustomVST1Module::FromEffect(&fake), nullptr);
    EXPECT_EQ(TCustomVST1Module::FromEffect(nullptr), nullptr);
    auto m = NewTestModule();
    AEffect* effect = m->GetEffect();
    EXPECT_EQ(effect->dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(&fake, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, effGetVstVersion, 0, 0, nullptr, 0.0f), 2300);
}

TEST(Entry, AHandlerThatThrowsDoesNotReachTheHost) {
    auto m = NewTestModule();
    struct TThrow {
        void Open(TObject*) { throw Exception("handler failed"); }
        void Audio(float* const*, float* const*, int32_t) { throw Exception("audio failed"); }
    } thrower;
    m->OnOpen = TNotifyEvent::Of<&TThrow::Open>(&thrower);
    m->SetOnProcessReplacing(TProcessAudioEvent::Of<&TThrow::Audio>(&thrower));
    AEffect* effect = m->GetEffect();
    EXPECT_EQ(effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f), 0);
    float a[4] = {}, b[4] = {};
    float* in[2] = {a, a};
    float* out[2] = {b, b};
    effect->processReplacing(effect, in, out, 4);
    SUCCEED();
}

TEST(Entry, RecordOfAModuleBuiltInCode) {
    auto m = NewTestModule();
    const AEffect& e = *m->GetEffect();
    EXPECT_EQ(e.magic, 0x56737450);
    EXPECT_EQ(e.uniqueID, FourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(e.version, 1);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_EQ(e.object, m.get());
    EXPECT_EQ(e.user, nullptr);
    m->SetUniqueID("ABCDE");
    EXPECT_EQ(m->UniqueID(), "ABCD");
    m->SetUniqueID("AB");
    EXPECT_EQ(e.uniqueID, FourCharCode('A', 'B', 0, 0));
    m->SetFlags(SetOf({pfFlagsIsSynth}));
    EXPECT_EQ(e.flags, 256);
    EXPECT_EQ(m->Flags(), SetOf({pfFlagsIsSynth}));
    EXPECT_EQ(m->VST1Flags(), 0u);
    m->SetFlags(SetOf({pfHasEditor, pfFlagsCanMono, pfFlagsCanReplacing, pfFlagsExtHasBuffer}));
    EXPECT_EQ(e.flags, 25 + 2048);
}

} // namespace
