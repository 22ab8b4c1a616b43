// The host library against this project's own plug-in, once the build has made it; skipped until then.
#include "host/AudioBuffers.h"
#include "host/Plugin.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace ql::host;

namespace {

class Quantilaw : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef QL_PLUGIN_PATH
        if (!std::filesystem::exists(QL_PLUGIN_PATH)) GTEST_SKIP() << QL_PLUGIN_PATH << " is not built yet";
        host = std::make_shared<Host>();
        plugin = Plugin::Load(QL_PLUGIN_PATH, host);
        plugin->Open();
#else
        GTEST_SKIP() << "this build has no plug-in target";
#endif
    }
    std::shared_ptr<Host> host;
    std::unique_ptr<Plugin> plugin;
};

} // namespace

TEST_F(Quantilaw, ShowsTheHostItsIdentity) {
    EXPECT_EQ(plugin->EffectName(), "Quantilaw");
    EXPECT_EQ(plugin->ProductString(), "Quantilaw");
    EXPECT_EQ(plugin->VendorString(), "Velmora");
    EXPECT_EQ(plugin->VendorVersion(), 1);
    EXPECT_EQ(vst::FourCCText(plugin->UniqueId()), "QlWv");
    EXPECT_EQ(plugin->Flags(), 25);
    EXPECT_EQ(plugin->NumInputs(), 2);
    EXPECT_EQ(plugin->NumOutputs(), 2);
    EXPECT_EQ(plugin->NumParams(), 1);
    EXPECT_EQ(plugin->NumPrograms(), 1);
    EXPECT_EQ(plugin->Effect().user, plugin->Effect().object);
    EXPECT_EQ(host->Log().Entries(vst::audioMasterVersion).size(), 1u);
}

TEST_F(Quantilaw, OlderHostsFindTheEntryPointMain) {
#ifdef QL_PLUGIN_PATH
    auto viaMain = Plugin::Create(PluginLibrary::Load(QL_PLUGIN_PATH, "main"));
    EXPECT_EQ(viaMain->EffectName(), "Quantilaw");
    EXPECT_NE(&viaMain->Effect(), &plugin->Effect());
#endif
}

TEST_F(Quantilaw, StartsAtThreeBitsCompanded) {
    EXPECT_EQ(plugin->ParamName(0), "Quantisation");
    EXPECT_EQ(plugin->ParamLabel(0), "Bit");
    EXPECT_EQ(plugin->ParamDisplay(0), "3");
    EXPECT_EQ(plugin->ProgramName(), "Init");

    plugin->SetSampleRate(44100.0f);
    plugin->SetBlockSize(4);
    plugin->Resume();
    AudioBuffers in(2, 4), out(2, 4);
    const float inputs[4] = {0.5f, 0.25f, -0.3f, 0.001f};
    const float expected[4] = {0.4575998f, 0.2093975f, -0.2093975f, 0.0f};
    for (std::size_t i = 0; i < 4; ++i)
        in.At(0, i) = in.At(1, i) = inputs[i];
    plugin->ProcessReplacing(in.Pointers(), out.Pointers(), 4);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(out.At(c, i), expected[i], 1e-6) << c << "," << i;
    plugin->Suspend();
}
