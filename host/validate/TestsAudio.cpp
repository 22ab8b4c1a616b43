// Levels 6 and 7: both audio entries, separate and in place, over sample rates, block sizes and hostile
// signals; the floating-point state a call leaves behind; automation between sub-blocks.
#include "host/validate/Groups.h"

#include <cmath>

namespace ql::host::validate {
namespace {

constexpr float kRates[] = {8000, 11025, 22050, 44100, 48000, 88200, 96000, 176400, 192000};
constexpr vst::Int32 kBlocks[] = {1, 7, 32, 64, 512, 1024, 4096, 0};
constexpr vst::Int32 kMaxBlock = 4096;
constexpr Signal kFiniteSignals[] = {Signal::Noise, Signal::Silence, Signal::FullScaleSine,
                                     Signal::PlusMinusOne, Signal::Denormals};

bool HasEntry(const Plugin& p, bool accumulate, Outcome& o) {
    const vst::AEffect& e = p.Effect();
    if (accumulate && !e.process) {
        o.Skip("the record has no process entry");
        return false;
    }
    if (!accumulate && !e.processReplacing) {
        if (e.flags & vst::effFlagsCanReplacing)
            o.Fail("the flags claim processReplacing but the entry is null");
        else
            o.Skip("the plug-in does not offer processReplacing");
        return false;
    }
    return true;
}

/// Every rate, every block size, every finite signal through one entry, checking each block.
void Sweep(Context& context, Outcome& o, bool accumulate, bool inPlace) {
    auto p = context.NewInstance();
    if (!HasEntry(*p, accumulate, o)) return;
    const char* entry = accumulate ? "process" : "processReplacing";
    std::uint64_t position = 0;
    for (float rate : kRates) {
        StartSession(*p, rate, kMaxBlock);
        for (vst::Int32 frames : kBlocks) {
            GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()),
                               static_cast<std::size_t>(p->NumOutputs()), static_cast<std::size_t>(frames),
                               inPlace);
            for (Signal s : kFiniteSignals) {
                for (int block = 0; block < 2; ++block) {
                    FillSignal(audio, s, context.Rng(), position);
                    audio.SnapshotInputs();
                    if (accumulate && !inPlace) audio.FillOutputs(0.25f);
                    Play(*p, audio, frames, accumulate);
                    position += static_cast<std::uint64_t>(frames);
                    std::string what = std::string(entry) + " at " + std::to_string(static_cast<int>(rate)) +
                                       " Hz, " + std::to_string(frames) + " frames, " + SignalName(s);
                    if (!CheckBlock(audio, true, s == Signal::Denormals, what, o)) {
                        StopSession(*p);
                        return;
                    }
                }
            }
        }
        StopSession(*p);
    }
    p->Close();
}

void ReplacingSeparate(Context& c, Outcome& o) { Sweep(c, o, false, false); }
void ReplacingInPlace(Context& c, Outcome& o) { Sweep(c, o, false, true); }
void AccumulatingSeparate(Context& c, Outcome& o) { Sweep(c, o, true, false); }
void AccumulatingInPlace(Context& c, Outcome& o) { Sweep(c, o, true, true); }

/// NaN and infinities at the input: nothing may crash or write outside the buffers; whether the plug-in
/// recovers on the following finite blocks is remarked on.
void NonFiniteInput(Context& context, Outcome& o) {
    for (bool accumulate : {false, true}) {
        auto p = context.NewInstance();
        if (accumulate ? !p->Effect().process : !p->Effect().processReplacing) continue;
        const char* entry = accumulate ? "process" : "processReplacing";
        StartSession(*p, 48000.0f, 512);
        for (Signal bad : {Signal::NaN, Signal::PlusInf, Signal::MinusInf, Signal::MixedNonFinite}) {
            for (bool inPlace : {false, true}) {
                GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()),
                                   static_cast<std::size_t>(p->NumOutputs()), 512, inPlace);
                FillSignal(audio, bad, context.Rng(), 0);
                audio.SnapshotInputs();
                if (accumulate && !inPlace) audio.FillOutputs(0.0f);
                Play(*p, audio, 512, accumulate);
                CheckBlock(audio, false, false, std::string(entry) + " with " + SignalName(bad) + " input",
                           o);
                bool recovered = false;
                for (int block = 0; block < 200 && !recovered; ++block) {
                    FillSignal(audio, Signal::Noise, context.Rng(), 0);
                    audio.SnapshotInputs();
                    if (accumulate) audio.FillOutputs(0.0f);
                    if (accumulate && inPlace) FillSignal(audio, Signal::Noise, context.Rng(), 0);
                    Play(*p, audio, 512, accumulate);
                    Outcome scratch;
                    recovered = CheckBlock(audio, true, true, "", scratch);
                    if (audio.DamagedGuard() >= 0) CheckBlock(audio, false, false, entry, o);
                }
                if (!recovered)
                    o.Note(std::string(entry) + " still gives non-finite output 200 blocks after " +
                           SignalName(bad) + " input");
            }
        }
        StopSession(*p);
        p->Close();
    }
}

/// Each call starts with the state a host's thread runs with, flags cleared; afterwards the modes must be
/// the same and no invalid-operation or division-by-zero flag may be left for finite input.
void FpuStateTest(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    StartSession(*p, 44100.0f, 1024);
    GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()), static_cast<std::size_t>(p->NumOutputs()),
                       1024, false);
    auto around = [&](const std::string& what, bool finite, auto&& call) {
        SetDefaultFpu();
        FpuState before = ReadFpu();
        call();
        FpuState after = ReadFpu();
        CompareFpu(before, after, finite, what, o);
    };
    for (Signal s :
         {Signal::Noise, Signal::Silence, Signal::FullScaleSine, Signal::PlusMinusOne, Signal::Denormals,
          Signal::NaN, Signal::PlusInf, Signal::MixedNonFinite, Signal::Noise}) {
        const bool finite = IsFinite(s);
        FillSignal(audio, s, context.Rng(), 0);
        audio.SnapshotInputs();
        // The entries are called directly: the host library's own bookkeeping around them does arithmetic
        // too.
        vst::AEffect& e = p->Effect();
        float** in = const_cast<float**>(audio.InPointers());
        float** out = const_cast<float**>(audio.OutPointers());
        if (e.processReplacing)
            around(std::string("processReplacing (") + SignalName(s) + ")", finite,
                   [&] { e.processReplacing(&e, in, out, 1024); });
        if (e.process) {
            audio.FillOutputs(0.0f);
            around(std::string("process (") + SignalName(s) + ")", finite,
                   [&] { e.process(&e, in, out, 1024); });
        }
    }
    for (vst::Int32 i = 0; i < std::min(WalkedParams(*p), 32); ++i) {
        float v = static_cast<float>(context.Uniform(0, 1));
        vst::AEffect& e = p->Effect();
        if (e.setParameter)
            around("setParameter(" + std::to_string(i) + ")", true, [&] { e.setParameter(&e, i, v); });
        if (e.getParameter)
            around("getParameter(" + std::to_string(i) + ")", true, [&] { (void)e.getParameter(&e, i); });
    }
    // Hosts run their own code between calls; that must not see the plug-in's leftovers either.
    SetDefaultFpu();
    StopSession(*p);
    p->Close();
}

/// Host automation between 32-frame sub-blocks of each 4096-frame block.
void AutomationSubBlocks(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!p->Effect().processReplacing) {
        o.Skip("the plug-in does not offer processReplacing");
        return;
    }
    constexpr vst::Int32 kSub = 32;
    StartSession(*p, 48000.0f, 4096);
    GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()), static_cast<std::size_t>(p->NumOutputs()),
                       kSub, false);
    const vst::Int32 params = std::min(WalkedParams(*p), 64);
    std::uint64_t position = 0;
    for (int block = 0; block < 16; ++block) {
        for (vst::Int32 sub = 0; sub < 4096 / kSub; ++sub) {
            for (vst::Int32 i = 0; i < params; ++i)
                if (context.Below(4) == 0) p->SetParameter(i, static_cast<float>(context.Uniform(0, 1)));
            FillSignal(audio, block % 2 ? Signal::FullScaleSine : Signal::Noise, context.Rng(), position);
            audio.SnapshotInputs();
            p->ProcessReplacing(audio.InPointers(), audio.OutPointers(), kSub);
            position += kSub;
            if (!CheckBlock(audio, true, false, "processReplacing between automation steps", o)) {
                StopSession(*p);
                return;
            }
        }
    }
    StopSession(*p);
    p->Close();
}

} // namespace

void AddAudioTests(std::vector<TestCase>& t) {
    t.push_back({"audio.replacing-separate", 6,
                 "processReplacing, separate buffers, 8-192 kHz, 0-4096 frames", ReplacingSeparate});
    t.push_back(
        {"audio.replacing-in-place", 6, "processReplacing with outputs on the inputs", ReplacingInPlace});
    t.push_back(
        {"audio.accumulating-separate", 6, "process (accumulating), separate buffers", AccumulatingSeparate});
    t.push_back({"audio.accumulating-in-place", 6, "process (accumulating) with outputs on the inputs",
                 AccumulatingInPlace});
    t.push_back({"audio.non-finite-input", 6, "NaN and infinities at the input", NonFiniteInput});
    t.push_back({"audio.fpu-state", 6, "floating-point modes and flags left for the caller", FpuStateTest});
    t.push_back(
        {"automation.sub-blocks", 7, "parameters set between 32-frame sub-blocks", AutomationSubBlocks});
}

} // namespace ql::host::validate
