// The host library against the fixture plug-in: loading, entry points, requests, texts and audio.
#include "host/AudioBuffers.h"
#include "host/Plugin.h"

#include <gtest/gtest.h>

#include <thread>

using namespace ql::host;

namespace {

std::unique_ptr<Plugin> LoadFixture(std::shared_ptr<Host> host = {}) {
    auto plugin = Plugin::Load(QL_FIXTURE_PLUGIN, std::move(host));
    plugin->Open();
    return plugin;
}

} // namespace

TEST(PluginLoading, FindsEitherEntryPointAndReportsWhichOne) {
    EXPECT_EQ(PluginLibrary::Load(QL_FIXTURE_PLUGIN)->EntryName(), "VSTPluginMain");
    auto library = PluginLibrary::Load(QL_FIXTURE_MAIN);
    EXPECT_EQ(library->EntryName(), "main");
    auto plugin = Plugin::Create(library);
    EXPECT_EQ(plugin->EffectName(), "Fixture Gain");
}

TEST(PluginLoading, ExplainsWhyALibraryCannotBeUsed) {
    auto message = [](auto&& load) -> std::string {
        try {
            load();
        } catch (const HostError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(
        message([] { PluginLibrary::Load("/no/such/plugin.so"); }).find("cannot load /no/such/plugin.so"),
        std::string::npos);
    EXPECT_NE(message([] {
                  PluginLibrary::Load(QL_FIXTURE_NOENTRY);
              }).find("exports no entry point VSTPluginMain or main"),
              std::string::npos);
    EXPECT_NE(message([] { PluginLibrary::Load(QL_FIXTURE_PLUGIN, "NoSuchEntry"); }).find("NoSuchEntry"),
              std::string::npos);
    // A library's own file that is not a shared library at all.
    EXPECT_NE(message([] { PluginLibrary::Load(__FILE__); }).find("cannot load"), std::string::npos);
}

TEST(PluginLoading, RejectsAMissingOrForeignRecord) {
    auto host = std::make_shared<Host>();
    host->SetReply(vst::audioMasterVersion, 0); // the fixture, like any careful plug-in, then gives up
    EXPECT_THROW(Plugin::Load(QL_FIXTURE_PLUGIN, host), HostError);
    try {
        Plugin::Create(PluginLibrary::Load(QL_FIXTURE_PLUGIN, "BadMagicMain"));
        FAIL() << "a record without the magic was accepted";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("0x4E6F7065"), std::string::npos) << e.what();
    }
}

TEST(PluginLoading, RequestsDuringTheEntryPointReachTheLoadingHost) {
    auto host = std::make_shared<Host>();
    auto plugin = Plugin::Load(QL_FIXTURE_PLUGIN, host);
    auto versions = host->Log().Entries(vst::audioMasterVersion);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0].effect, nullptr);
    // Afterwards requests carrying the record find their host by it, even with another host loading.
    auto other = std::make_shared<Host>();
    auto second = Plugin::Load(QL_FIXTURE_PLUGIN, other);
    plugin->SetParameter(0, 0.25f);
    EXPECT_EQ(host->Log().Entries(vst::audioMasterAutomate).size(), 1u);
    EXPECT_TRUE(other->Log().Entries(vst::audioMasterAutomate).empty());
}

TEST(PluginRequests, IdentityTextsAndNumbers) {
    auto plugin = LoadFixture();
    EXPECT_EQ(plugin->EffectName(), "Fixture Gain");
    EXPECT_EQ(plugin->VendorString(), "Quantilaw Tests");
    EXPECT_EQ(plugin->ProductString(), "Fixture");
    EXPECT_EQ(plugin->VendorVersion(), 7);
    EXPECT_EQ(plugin->VstVersion(), 2400);
    EXPECT_EQ(plugin->Category(), vst::kPlugCategEffect);
    EXPECT_EQ(vst::FourCCText(plugin->UniqueId()), "QlFx");
    EXPECT_EQ(plugin->Flags(), vst::effFlagsCanReplacing | vst::effFlagsCanMono | vst::effFlagsHasEditor);
    EXPECT_EQ(plugin->NumInputs(), 2);
    EXPECT_EQ(plugin->NumOutputs(), 2);
    EXPECT_EQ(plugin->CanDo("receiveVstTimeInfo"), 1);
    EXPECT_EQ(plugin->CanDo("bypass"), 0);

    auto in = plugin->InputProperties(1);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->label, "In 2");
    EXPECT_EQ(in->shortLabel, "I2");
    EXPECT_EQ(in->flags, 3);
    EXPECT_EQ(plugin->OutputProperties(0)->label, "Out 1");
    EXPECT_FALSE(plugin->InputProperties(2));
}

TEST(PluginRequests, ParametersAndPrograms) {
    auto host = std::make_shared<Host>();
    auto plugin = LoadFixture(host);
    EXPECT_EQ(plugin->NumParams(), 2);
    EXPECT_EQ(plugin->ParamName(0), "Gain");
    EXPECT_EQ(plugin->ParamLabel(1), "%");
    plugin->SetParameter(0, 0.75f);
    EXPECT_EQ(plugin->GetParameter(0), 0.75f);
    EXPECT_EQ(plugin->ParamDisplay(0), "0.75");
    EXPECT_TRUE(plugin->StringToParameter(1, "0.125"));
    EXPECT_FALSE(plugin->StringToParameter(1, "abc"));
    EXPECT_EQ(plugin->GetParameter(1), 0.125f);
    EXPECT_TRUE(plugin->CanBeAutomated(1));
    EXPECT_FALSE(plugin->CanBeAutomated(5));
    auto automations = host->Log().Entries(vst::audioMasterAutomate);
    ASSERT_EQ(automations.size(), 2u);
    EXPECT_EQ(automations[0].index, 0);
    EXPECT_EQ(automations[0].opt, 0.75f);
    EXPECT_EQ(automations[1].index, 1);
    EXPECT_EQ(automations[1].effect, &plugin->Effect());

    EXPECT_EQ(plugin->NumPrograms(), 2);
    EXPECT_EQ(plugin->Program(), 0);
    EXPECT_EQ(plugin->ProgramName(), "First");
    plugin->SetProgram(1);
    EXPECT_EQ(plugin->Program(), 1);
    plugin->SetProgramName("Renamed");
    EXPECT_EQ(plugin->ProgramName(), "Renamed");
    EXPECT_EQ(plugin->ProgramNameIndexed(0), "First");
    EXPECT_EQ(plugin->ProgramNameIndexed(1), "Renamed");
    EXPECT_FALSE(plugin->ProgramNameIndexed(2));
}

TEST(PluginRequests, EditorRectangleBeforeDuringAndAfterTheEditor) {
    auto plugin = LoadFixture();
    ASSERT_TRUE(plugin->HasEditor());
    vst::IntPtr reply = -1;
    auto before = plugin->EditorRect(&reply);
    EXPECT_EQ(reply, 0);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->right, 0);
    int parent = 0; // stands for a native window
    EXPECT_TRUE(plugin->EditOpen(&parent));
    auto open = plugin->EditorRect(&reply);
    EXPECT_EQ(reply, 1);
    EXPECT_EQ(open->bottom, 120);
    EXPECT_EQ(open->right, 300);
    plugin->EditIdle();
    plugin->EditClose();
    plugin->EditorRect(&reply);
    EXPECT_EQ(reply, 0);
}

TEST(PluginRequests, ATextWrittenPastTheBufferIsCaughtByTheGuard) {
    auto plugin = LoadFixture();
    TextReply ok = plugin->DispatchText(vst::effGetParamName, 0);
    EXPECT_TRUE(ok.terminated);
    EXPECT_FALSE(ok.overran);
    TextReply longName = plugin->DispatchText(vst::effGetParamName, 9);
    EXPECT_FALSE(longName.terminated);
    EXPECT_TRUE(longName.overran);
    EXPECT_EQ(longName.text, std::string(Plugin::kTextCapacity, 'x'));
}

TEST(PluginRequests, ClosingEndsTheRecordAndFurtherRequestsAreRefused) {
    auto plugin = LoadFixture();
    EXPECT_EQ(plugin->Close(), 1);
    EXPECT_TRUE(plugin->IsClosed());
    EXPECT_THROW(plugin->Dispatch(vst::effGetProgram), HostError);
    EXPECT_THROW(plugin->SetParameter(0, 0.0f), HostError);
    EXPECT_EQ(plugin->Close(), 0); // a second close sends nothing
}

TEST(PluginAudio, ReplacingOverwritesAndAccumulatingAdds) {
    auto host = std::make_shared<Host>();
    auto plugin = LoadFixture(host);
    plugin->SetSampleRate(48000.0f);
    plugin->SetBlockSize(64);
    plugin->Resume();
    plugin->StartProcess();
    EXPECT_EQ(host->Log().Entries(vst::audioMasterWantMidi).size(), 1u);

    AudioBuffers in(2, 64), out(2, 64);
    for (std::size_t i = 0; i < 64; ++i) {
        in.At(0, i) = 0.5f;
        in.At(1, i) = -0.25f;
    }
    out.Fill(9.0f);
    plugin->ProcessReplacing(in.Pointers(), out.Pointers(), 64); // gain 1 at the fixture's default
    EXPECT_EQ(out.At(0, 63), 0.5f);
    EXPECT_EQ(out.At(1, 0), -0.25f);
    plugin->Process(in.Pointers(), out.Pointers(), 64);
    EXPECT_EQ(out.At(0, 10), 1.0f);
    EXPECT_EQ(out.At(1, 10), -0.5f);

    EXPECT_EQ(host->TimeInfo().samplePos, 128.0);
    EXPECT_TRUE(host->TimeInfo().flags & vst::kVstTransportPlaying);
    EXPECT_EQ(host->Log().Entries(vst::audioMasterTempoAt).size(), 2u);
    plugin->StopProcess();
    plugin->Suspend();
    EXPECT_FALSE(host->TimeInfo().flags & vst::kVstTransportPlaying);
}

TEST(PluginAudio, RequestsFromTheAudioThreadAreLoggedWithItsThread) {
    auto host = std::make_shared<Host>();
    auto plugin = LoadFixture(host);
    plugin->Resume();
    AudioBuffers in(2, 32), out(2, 32);
    std::thread::id audio;
    std::thread worker([&] {
        audio = std::this_thread::get_id();
        for (int i = 0; i < 100; ++i)
            plugin->ProcessReplacing(in.Pointers(), out.Pointers(), 32);
    });
    worker.join();
    auto tempo = host->Log().Entries(vst::audioMasterTempoAt);
    ASSERT_EQ(tempo.size(), 100u);
    for (const auto& r : tempo)
        EXPECT_EQ(r.thread, audio);
    EXPECT_NE(host->Log().Entries(vst::audioMasterWantMidi).at(0).thread, audio);
}

TEST(PluginAudio, InstancesSharingAHostKeepTheirOwnRecords) {
    auto host = std::make_shared<Host>();
    auto a = LoadFixture(host);
    auto b = LoadFixture(host);
    EXPECT_NE(&a->Effect(), &b->Effect());
    a->SetParameter(0, 0.0f); // gain 0 in a only
    AudioBuffers in(2, 8), out(2, 8);
    in.Fill(1.0f);
    a->ProcessReplacing(in.Pointers(), out.Pointers(), 8);
    EXPECT_EQ(out.At(0, 0), 0.0f);
    b->ProcessReplacing(in.Pointers(), out.Pointers(), 8);
    EXPECT_EQ(out.At(0, 0), 1.0f);
}
