// The audio path: replacing and accumulating entries, processing modes, block buffering and its delay,
// sample rate and block size events, tempo and the outgoing MIDI list.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

/// Two channels of audio with channel pointer arrays, as a host hands them over.
struct TBlock {
    TBlock(int frames, float start = 1.0f)
        : in(2, std::vector<float>(frames)), out(2, std::vector<float>(frames)) {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                in[c][i] = start + static_cast<float>(i) + 100.0f * static_cast<float>(c);
        for (int c = 0; c < 2; ++c) {
            inPtr[c] = in[c].data();
            outPtr[c] = out[c].data();
        }
    }
    void FillOut(float v) {
        for (auto& ch : out)
            std::fill(ch.begin(), ch.end(), v);
    }
    std::vector<std::vector<float>> in, out;
    float* inPtr[2];
    float* outPtr[2];
};

class AudioPath : public ::testing::Test {
  protected:
    void SetUp() override {
        module = NewTestModule();
        module->SetAudioMaster(&TRecordingHost::Callback);
        effect = module->GetEffect();
    }
    void Replacing(TBlock& b, int frames) { effect->processReplacing(effect, b.inPtr, b.outPtr, frames); }
    void Accumulating(TBlock& b, int frames) { effect->process(effect, b.inPtr, b.outPtr, frames); }

    TRecordingHost host;
    TOwned<TTestModule> module;
    AEffect* effect = nullptr;
};

TEST_F(AudioPath, ReplacingOverwritesAndAccumulatingAdds) {
    module->SetOnProcess(module->CopyHandler());
    module->SetOnProcessReplacing(module->CopyHandler());
    TBlock b(8);
    b.FillOut(0.5f);
    Replacing(b, 8);
    EXPECT_EQ(b.out, b.in);
    b.FillOut(0.5f);
    Accumulating(b, 8);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 8; ++i)
            EXPECT_FLOAT_EQ(b.out[c][i], b.in[c][i] + 0.5f);
}

TEST_F(AudioPath, EveryCallbackAsksForTheTempo) {
    TBlock b(4);
    Replacing(b, 4);
    Accumulating(b, 4);
    auto tempo = host.Of(audioMasterTempoAt);
    ASSERT_EQ(tempo.size(), 2u);
    EXPECT_EQ(tempo[0].value, 0);
    EXPECT_FLOAT_EQ(module->Tempo(), 120.0f);
}

TEST_F(AudioPath, AccumulatingBlocksLongerThanAnnouncedGoThroughInChunks) {
    module->SetOnProcess(module->CopyHandler());
    module->SetBlockSize(16);
    const int frames = 5000; // far beyond the announced block and the smallest scratch size
    TBlock b(frames);
    b.FillOut(1.0f);
    Accumulating(b, frames);
    ASSERT_GT(module->calls.size(), 1u);
    size_t seen = 0;
    for (const auto& call : module->calls)
        seen += call.size();
    EXPECT_EQ(seen, static_cast<size_t>(frames));
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < frames; i += 499)
            EXPECT_FLOAT_EQ(b.out[c][i], b.in[c][i] + 1.0f) << i;
}

TEST_F(AudioPath, MuteAndCopyModes) {
    TBlock b(6);
    module->SetProcessingMode(pmMute);
    b.FillOut(0.7f);
    Replacing(b, 6);
    for (const auto& ch : b.out)
        for (float v : ch)
            EXPECT_EQ(v, 0.0f);
    b.FillOut(0.7f);
    Accumulating(b, 6);
    for (const auto& ch : b.out)
        for (float v : ch)
            EXPECT_EQ(v, 0.7f);

    module->SetProcessingMode(pmCopy);
    Replacing(b, 6);
    EXPECT_EQ(b.out, b.in);
}

TEST_F(AudioPath, NoHandlerLeavesReplacedOutputsAlone) {
    TBlock b(4);
    b.FillOut(0.25f);
    Replacing(b, 4);
    Accumulating(b, 4);
    for (const auto& ch : b.out)
        for (float v : ch)
            EXPECT_EQ(v, 0.25f);
}

TEST_F(AudioPath, BlockModeBuffersWithOverlapAndReportsItsDelay) {
    module->SetOnProcessReplacing(module->CopyHandler());
    module->SetBlockModeSize(4);
    module->SetBlockModeOverlap(1);
    module->SetProcessingMode(pmBlockSave);
    EXPECT_EQ(effect->initialDelay, 3);
    EXPECT_FALSE(host.Of(audioMasterIOChanged).empty());

    TBlock b(6, 1.0f); // x0..x5 = 1..6
    Replacing(b, 6);
    EXPECT_EQ(b.out[0], (std::vector<float>{0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(b.out[1], (std::vector<float>{0, 0, 0, 101, 102, 103}));
    ASSERT_EQ(module->calls.size(), 2u);
    EXPECT_EQ(module->calls[0], (std::vector<float>{0, 1, 2, 3}));
    EXPECT_EQ(module->calls[1], (std::vector<float>{3, 4, 5, 6}));

    // Short callbacks only fill the block; the handler runs when it is full.
    TBlock c(2, 7.0f);
    Replacing(c, 2);
    EXPECT_EQ(module->calls.size(), 2u);
    EXPECT_EQ(c.out[0], (std::vector<float>{4, 5}));
}

TEST_F(AudioPath, BlockModeDelayOnlyRisesThroughTheBlockSettings) {
    module->SetOnProcessReplacing(module->CopyHandler());
    module->SetProcessingMode(pmBlockSave); // default 1024 / 0 first
    module->SetBlockModeSize(4);
    module->SetBlockModeOverlap(1);
    EXPECT_EQ(effect->initialDelay, 1024);
    module->SetInitialDelay(100);
    EXPECT_EQ(effect->initialDelay, 100); // size 4 − overlap 1 = 3 is below 100
    module->SetBlockModeSize(1024);
    module->SetBlockModeOverlap(0);
    module->SetInitialDelay(100);
    EXPECT_EQ(effect->initialDelay, 1024);
    module->SetInitialDelay(2000);
    EXPECT_EQ(effect->initialDelay, 2000);
    EXPECT_EQ(module->InitialDelay(), 2000);
}

TEST_F(AudioPath, BlockModeWithoutAHandlerForOneSideRunsOnlyTheOther) {
    module->SetOnProcessReplacing(module->CopyHandler());
    module->SetBlockModeSize(4);
    module->SetProcessingMode(pmBlockSave);
    EXPECT_FALSE(module->ActiveProcess().Assigned());
    TBlock b(4);
    Accumulating(b, 4);
    EXPECT_TRUE(module->calls.empty());
    Replacing(b, 4);
    EXPECT_EQ(module->calls.size(), 1u);
}

TEST_F(AudioPath, ShrinkingTheBlockBelowItsOverlapCannotStallBuffering) {
    module->SetOnProcessReplacing(module->CopyHandler());
    module->SetBlockModeSize(8);
    module->SetBlockModeOverlap(6);
    module->SetProcessingMode(pmBlockSave);
    module->SetBlockModeSize(4); // the overlap of 6 no longer fits
    EXPECT_LT(module->BlockModeOverlap(), module->BlockModeSize());
    TBlock b(16);
    Replacing(b, 16); // would never return with an overlap as large as the block
    EXPECT_FALSE(module->calls.empty());
}

TEST_F(AudioPath, LeavingBlockModeStopsBuffering) {
    module->SetOnProcessReplacing(module->CopyHandler());
    module->SetBlockModeSize(4);
    module->SetProcessingMode(pmBlockSave);
    module->SetProcessingMode(pmNormal);
    TBlock b(3);
    Replacing(b, 3);
    EXPECT_EQ(b.out, b.in);
}

TEST_F(AudioPath, SampleRateAndBlockSizeEvents) {
    std::vector<std::string> seen;
    struct TListener {
        std::vector<std::string>* seen;
        void Rate(TObject*, float r) { seen->push_back("rate " + std::to_string(static_cast<int>(r))); }
        void Size(TObject*, int32_t s) { seen->push_back("size " + std::to_string(s)); }
    } listener{&seen};
    module->OnSampleRateChange = TSampleRateChangeEvent::Of<&TListener::Rate>(&listener);
    module->OnBlockSizeChange = TBlockSizeChangeEvent::Of<&TListener::Size>(&listener);

    EXPECT_EQ(effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f), 1);
    EXPECT_TRUE(seen.empty());
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 1024, nullptr, 0.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    EXPECT_EQ(seen, (std::vector<std::string>{"rate 48000", "size 512"}));
    seen.clear();
    EXPECT_EQ(effect->dispatcher(effect, effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f), 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"rate 48000", "size 512"}));
    EXPECT_EQ(module->BlockModeSize(), 1024);
}

TEST_F(AudioPath, ResumeAsksForMidiEveryTime) {
    int resumed = 0, suspended = 0;
    struct TCounter {
        int* n;
        void Hit(TObject*) { ++*n; }
    } onResume{&resumed}, onSuspend{&suspended};
    module->OnResume = TNotifyEvent::Of<&TCounter::Hit>(&onResume);
    module->OnSuspend = TNotifyEvent::Of<&TCounter::Hit>(&onSuspend);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    auto want = host.Of(audioMasterWantMidi);
    ASSERT_EQ(want.size(), 2u);
    EXPECT_EQ(want[0].value, 1);
    EXPECT_EQ(resumed, 2);
    EXPECT_EQ(suspended, 1);
}

TEST_F(AudioPath, QueuedMidiEventsGoToTheHostAfterTheCallback) {
    TBlock b(4);
    Replacing(b, 4);
    EXPECT_TRUE(host.Of(audioMasterProcessEvents).empty());
    TMidiOutEvents& out = module->MidiOutEvents();
    EXPECT_EQ(out.events[0]->type, kVstMidiType);
    EXPECT_EQ(out.events[255]->byteSize, 24);
    EXPECT_EQ(out.events[256], nullptr);
    out.numEvents = 2;
    Replacing(b, 4);
    auto sent = host.Of(audioMasterProcessEvents);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].ptr, static_cast<void*>(&out));
    EXPECT_EQ(out.numEvents, 0);
}

TEST_F(AudioPath, EntriesRejectWhatAHostMustNotSend) {
    module->SetOnProcessReplacing(module->CopyHandler());
    TBlock b(4);
    effect->processReplacing(effect, nullptr, b.outPtr, 4);
    effect->processReplacing(effect, b.inPtr, nullptr, 4);
    effect->processReplacing(effect, b.inPtr, b.outPtr, -5);
    effect->processReplacing(nullptr, b.inPtr, b.outPtr, 4);
    effect->process(nullptr, b.inPtr, b.outPtr, 4);
    EXPECT_TRUE(module->calls.empty());
}

/// Passes the channels that are there, as the plug-in's own handlers do.
struct TSkipMissing {
    int calls = 0;
    void Pass(float* const* inputs, float* const* outputs, int32_t frames) {
        ++calls;
        for (int c = 0; c < 2; ++c)
            if (inputs[c] && outputs[c])
                for (int32_t i = 0; i < frames; ++i)
                    outputs[c][i] = inputs[c][i];
    }
};

TEST_F(AudioPath, AMissingChannelLeavesTheOthersProcessedInEveryMode) {
    TSkipMissing handler;
    const auto pass = TProcessAudioEvent::Of<&TSkipMissing::Pass>(&handler);
    module->SetOnProcess(pass);
    module->SetOnProcessReplacing(pass);
    for (int missingSide = 0; missingSide < 2; ++missingSide) {
        TBlock b(4);
        b.FillOut(0.5f);
        float* in[2] = {b.inPtr[0], missingSide == 0 ? nullptr : b.inPtr[1]};
        float* out[2] = {b.outPtr[0], missingSide == 1 ? nullptr : b.outPtr[1]};
        const int before = handler.calls;
        effect->processReplacing(effect, in, out, 4);
        EXPECT_EQ(handler.calls, before + 1);
        EXPECT_EQ(b.out[0], b.in[0]); // the valid channel is processed
        if (missingSide == 0) {
            EXPECT_EQ(b.out[1], std::vector<float>(4, 0.5f));
        }
        b.FillOut(0.5f);
        effect->process(effect, in, out, 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(b.out[0][i], 0.5f + b.in[0][i]);
    }
    // The framework's own modes and block buffering skip the missing channel too.
    TBlock b(6);
    float* in[2] = {b.inPtr[0], nullptr};
    float* out[2] = {b.outPtr[0], nullptr};
    module->SetProcessingMode(pmCopy);
    effect->processReplacing(effect, in, out, 6);
    EXPECT_EQ(b.out[0], b.in[0]);
    module->SetProcessingMode(pmMute);
    effect->processReplacing(effect, in, out, 6);
    EXPECT_EQ(b.out[0], std::vector<float>(6, 0.0f));
    module->SetProcessingMode(pmNormal);
    module->SetBlockModeSize(4);
    module->SetBlockModeOverlap(0);
    module->SetProcessingMode(pmBlockSave);
    for (int n = 0; n < 3; ++n)
        effect->processReplacing(effect, in, out, 6);
    float* other[2] = {nullptr, b.outPtr[1]};
    effect->processReplacing(effect, in, other, 6);
}

} // namespace
