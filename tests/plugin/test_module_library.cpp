// The built Quantilaw library as a host hears it: worked values, accumulation, and two instances in one
// process.
#include "host/AudioBuffers.h"
#include "host/Plugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace ql::host;

namespace {

class QuantilawSound : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(QL_PLUGIN_PATH)) GTEST_SKIP() << "the plug-in is not built";
        host = std::make_shared<Host>();
        library = PluginLibrary::Load(QL_PLUGIN_PATH);
    }
    std::unique_ptr<Plugin> Start() {
        auto p = Plugin::Create(library, host);
        p->Open();
        p->SetSampleRate(48000.0f);
        p->SetBlockSize(64);
        p->Resume();
        return p;
    }
    static std::vector<float> Play(Plugin& p, const std::vector<float>& input, bool accumulate = false,
                                   float start = 0.0f) {
        AudioBuffers in(2, input.size()), out(2, input.size());
        out.Fill(start);
        for (std::size_t i = 0; i < input.size(); ++i)
            in.At(0, i) = in.At(1, i) = input[i];
        if (accumulate)
            p.Process(in.Pointers(), out.Pointers(), static_cast<vst::Int32>(input.size()));
        else
            p.ProcessReplacing(in.Pointers(), out.Pointers(), static_cast<vst::Int32>(input.size()));
        std::vector<float> left(out.Channel(0), out.Channel(0) + input.size());
        std::vector<float> right(out.Channel(1), out.Channel(1) + input.size());
        EXPECT_EQ(left, right);
        return left;
    }

    std::shared_ptr<Host> host;
    std::shared_ptr<PluginLibrary> library;
};

TEST_F(QuantilawSound, CompandedAtThreeAndEightBits) {
    auto p = Start();
    auto out = Play(*p, {0.5f, 0.25f, -0.3f, 0.01f, 0.001f, 0.0f, -0.0f, 1.0f, -1.0f});
    const float want[] = {0.4575998f, 0.2093975f, -0.2093975f, 0.008928286f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f};
    for (std::size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], want[i], 5e-7f) << i;
    EXPECT_FALSE(std::signbit(out[6])); // −0 comes back as +0
    ASSERT_TRUE(p->StringToParameter(0, "8"));
    out = Play(*p, {0.5f, 0.01f, 0.001f});
    EXPECT_NEAR(out[0], 0.5032226f, 5e-7f);
    EXPECT_NEAR(out[1], 0.01004870f, 5e-9f);
    EXPECT_NEAR(out[2], 0.0009803608f, 5e-10f);
}

TEST_F(QuantilawSound, AccumulatingAddsOntoTheHostsBuffers) {
    auto p = Start();
    auto out = Play(*p, {0.5f, 0.25f}, true, 0.5f);
    EXPECT_NEAR(out[0], 0.9575998f, 1e-6f);
    EXPECT_NEAR(out[1], 0.7093975f, 1e-6f);
}

TEST_F(QuantilawSound, TwoInstancesKeepTheirOwnDepth) {
    auto a = Start();
    auto b = Start();
    ASSERT_TRUE(b->StringToParameter(0, "8"));
    EXPECT_NEAR(Play(*a, {0.5f})[0], 0.4575998f, 5e-7f);
    EXPECT_NEAR(Play(*b, {0.5f})[0], 0.5032226f, 5e-7f);
    EXPECT_EQ(a->ParamDisplay(0), "3");
    EXPECT_EQ(b->ParamDisplay(0), "8");
}

TEST_F(QuantilawSound, EveryBlockAsksForTheTempoAndNothingElse) {
    auto p = Start();
    host->Log().Clear();
    Play(*p, std::vector<float>(256, 0.1f));
    auto all = host->Log().Entries();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].opcode, vst::audioMasterTempoAt);
}

} // namespace
