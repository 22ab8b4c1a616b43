// The host library against VST 2 effects from other vendors, as Debian installs them; skipped where absent.
#include "host/AudioBuffers.h"
#include "host/Plugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace ql::host;

namespace {

class ThirdParty : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(GetParam())) GTEST_SKIP() << GetParam() << " is not installed";
#if defined(__SANITIZE_ADDRESS__)
        // LSP's plug-ins load their code from a library of their own and unload it on close, leaving
        // allocations that the leak checker then reports against an unknown module.
        if (std::string(GetParam()).find("/lsp-plugins/") != std::string::npos)
            GTEST_SKIP() << "LSP's own loader leaks on unload";
#endif
    }
};

} // namespace

TEST_P(ThirdParty, IdentifiesItselfAndProcessesAudioToFiniteOutput) {
    auto host = std::make_shared<Host>();
    auto plugin = Plugin::Load(GetParam(), host);
    plugin->Open();
    EXPECT_FALSE(plugin->EffectName().empty() && plugin->ProductString().empty());
    EXPECT_GE(plugin->NumOutputs(), 1);
    EXPECT_TRUE(plugin->Flags() & vst::effFlagsCanReplacing);
    for (vst::Int32 i = 0; i < plugin->NumParams(); ++i) {
        EXPECT_FALSE(plugin->DispatchText(vst::effGetParamName, i).overran);
        EXPECT_FALSE(plugin->DispatchText(vst::effGetParamDisplay, i).overran);
        float v = plugin->GetParameter(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "parameter " << i << " reads " << v;
    }

    constexpr vst::Int32 kBlock = 256;
    plugin->SetSampleRate(48000.0f);
    plugin->SetBlockSize(kBlock);
    plugin->Resume();
    plugin->StartProcess();
    AudioBuffers in(static_cast<std::size_t>(std::max(plugin->NumInputs(), 1)), kBlock);
    AudioBuffers out(static_cast<std::size_t>(plugin->NumOutputs()), kBlock);
    double energy = 0.0;
    for (int block = 0; block < 40; ++block) {
        for (std::size_t c = 0; c < in.Channels(); ++c)
            for (std::size_t i = 0; i < kBlock; ++i)
                in.At(c, i) =
                    0.5f * static_cast<float>(std::sin(
                               0.05 * static_cast<double>(static_cast<std::size_t>(block) * kBlock + i)));
        plugin->ProcessReplacing(in.Pointers(), out.Pointers(), kBlock);
        for (std::size_t c = 0; c < out.Channels(); ++c)
            for (std::size_t i = 0; i < kBlock; ++i) {
                ASSERT_TRUE(std::isfinite(out.At(c, i))) << "channel " << c << " sample " << i;
                energy += out.At(c, i) * out.At(c, i);
            }
    }
    EXPECT_GT(energy, 0.0) << "the effect let nothing through";
    plugin->StopProcess();
    plugin->Suspend();
    EXPECT_GT(host->TimeInfo().samplePos, 0.0);
    plugin->Close();
}

INSTANTIATE_TEST_SUITE_P(Debian, ThirdParty,
                         ::testing::Values("/usr/lib/vst/MaBitcrush-vst.so", "/usr/lib/vst/3BandEQ-vst.so",
                                           "/usr/lib/vst/lsp-plugins/comp-delay-stereo.so"),
                         [](const auto& info) {
                             std::string name = std::filesystem::path(info.param).stem().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
