// Levels 1 and 2: opening and closing cold and warm, many instances at once, and the call orders of real
// hosts.
#include "host/validate/Groups.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace ql::host::validate {
namespace {

constexpr vst::Int32 kBlock = 512;

void CheckRecord(const Plugin& plugin, Outcome& o) {
    const vst::AEffect& e = plugin.Effect();
    if (e.numInputs < 0 || e.numOutputs < 0 || e.numParams < 0 || e.numPrograms < 0)
        o.Fail("the record claims a negative count (inputs " + std::to_string(e.numInputs) + ", outputs " +
               std::to_string(e.numOutputs) + ", parameters " + std::to_string(e.numParams) + ", programs " +
               std::to_string(e.numPrograms) + ")");
    if (e.numOutputs == 0) o.Note("the record has no outputs");
}

/// Loads the library, creates and opens an instance, closes it and unloads the library: what a host does
/// when it scans plug-ins, first with the library not yet in the process (cold), then again (warm).
void OpenCloseColdWarm(Context& context, Outcome& o) {
    for (int round = 0; round < 2; ++round) {
        // Loading runs the library's start-up code on this thread; a host sees what it leaves behind.
        SetDefaultFpu();
        FpuState before = ReadFpu();
        auto library = PluginLibrary::Load(context.GetOptions().pluginPath);
        auto plugin = Plugin::Create(library, context.GetHost());
        FpuState after = ReadFpu();
        if (after.control != before.control || after.simd != before.simd) {
            char text[160];
            std::snprintf(
                text, sizeof text,
                "loading changed the loading thread's floating-point control (x87 0x%04X -> 0x%04X, "
                "MXCSR 0x%04X -> 0x%04X)",
                before.control, after.control, before.simd, after.simd);
            o.Note(text);
        }
        SetDefaultFpu();
        CheckRecord(*plugin, o);
        plugin->Open();
        vst::IntPtr reply = plugin->Close();
        if (reply != 0 && reply != 1) o.Note("effClose replied " + std::to_string(reply));
        plugin.reset();
        library.reset();
    }
}

/// A project with a hundred instances of the plug-in, closed in an order unrelated to their creation.
void HundredInstances(Context& context, Outcome& o) {
    constexpr int kCount = 100;
    std::vector<std::unique_ptr<Plugin>> instances;
    instances.reserve(kCount);
    for (int i = 0; i < kCount; ++i)
        instances.push_back(context.NewInstance());
    for (int i = 1; i < kCount; ++i)
        if (&instances[static_cast<std::size_t>(i)]->Effect() == &instances[0]->Effect())
            o.Fail("two instances share one record");
    // Each one plays a little, so per-instance state is really in use when the others go.
    for (auto& p : instances) {
        StartSession(*p, 44100.0f, 64);
        GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()),
                           static_cast<std::size_t>(p->NumOutputs()), 64, false);
        FillSignal(audio, Signal::Noise, context.Rng(), 0);
        audio.SnapshotInputs();
        p->ProcessReplacing(audio.InPointers(), audio.OutPointers(), 64);
        CheckBlock(audio, true, false, "processReplacing", o);
        StopSession(*p);
    }
    std::vector<int> order(kCount);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), context.Rng());
    for (int i : order)
        instances[static_cast<std::size_t>(i)]->Close();
}

/// Plays a few blocks of noise and checks them.
void PlayBlocks(Context& context, const Plugin& plugin, vst::Int32 frames, int blocks, Outcome& o) {
    GuardedAudio audio(static_cast<std::size_t>(plugin.NumInputs()),
                       static_cast<std::size_t>(plugin.NumOutputs()), static_cast<std::size_t>(frames),
                       false);
    for (int b = 0; b < blocks; ++b) {
        FillSignal(audio, Signal::Noise, context.Rng(),
                   static_cast<std::uint64_t>(b) * static_cast<std::uint64_t>(frames));
        audio.SnapshotInputs();
        plugin.ProcessReplacing(audio.InPointers(), audio.OutPointers(), frames);
        if (!CheckBlock(audio, true, false, "processReplacing of " + std::to_string(frames) + " frames", o))
            return;
    }
}

void SettingsBeforeOpen(Context& context, Outcome& o) {
    auto plugin = context.NewInstance(false);
    plugin->SetSampleRate(48000.0f);
    plugin->SetBlockSize(kBlock);
    plugin->Open();
    plugin->Resume();
    plugin->StartProcess();
    PlayBlocks(context, *plugin, kBlock, 8, o);
    StopSession(*plugin);
    plugin->Close();
}

void SettingsAfterOpen(Context& context, Outcome& o) {
    auto plugin = context.NewInstance();
    StartSession(*plugin, 48000.0f, kBlock);
    PlayBlocks(context, *plugin, kBlock, 8, o);
    StopSession(*plugin);
    plugin->Close();
}

/// Hosts that send start and stop around processing and hosts that never do, each resuming twice.
void ResumeSuspend(Context& context, Outcome& o, bool startStop) {
    auto plugin = context.NewInstance();
    plugin->SetSampleRate(44100.0f);
    plugin->SetBlockSize(kBlock);
    for (int round = 0; round < 2; ++round) {
        plugin->Resume();
        if (startStop) plugin->StartProcess();
        PlayBlocks(context, *plugin, kBlock, 4, o);
        if (startStop) plugin->StopProcess();
        plugin->Suspend();
    }
    plugin->Close();
}

void WithStartStop(Context& c, Outcome& o) { ResumeSuspend(c, o, true); }
void WithoutStartStop(Context& c, Outcome& o) { ResumeSuspend(c, o, false); }

/// The maximum block size changes while suspended, smaller and then larger than before.
void BlockSizeChange(Context& context, Outcome& o) {
    auto plugin = context.NewInstance();
    plugin->SetSampleRate(48000.0f);
    for (vst::Int32 frames : {512, 64, 4096, 1}) {
        plugin->SetBlockSize(frames);
        plugin->Resume();
        plugin->StartProcess();
        PlayBlocks(context, *plugin, frames, 3, o);
        // Hosts may also send a shorter block than announced.
        if (frames > 1) PlayBlocks(context, *plugin, frames / 2, 1, o);
        StopSession(*plugin);
    }
    plugin->Close();
}

} // namespace

void AddLifecycleTests(std::vector<TestCase>& t) {
    t.push_back({"lifecycle.open-close-cold-warm", 1, "load, main, effOpen, effClose, unload, twice",
                 OpenCloseColdWarm});
    t.push_back({"lifecycle.hundred-instances", 1, "100 instances alive at once, closed in random order",
                 HundredInstances});
    t.push_back(
        {"host-order.settings-before-open", 2, "rate and block size set before effOpen", SettingsBeforeOpen});
    t.push_back(
        {"host-order.settings-after-open", 2, "rate and block size set after effOpen", SettingsAfterOpen});
    t.push_back({"host-order.resume-with-start-stop", 2,
                 "effMainsChanged around processing with effStartProcess", WithStartStop});
    t.push_back({"host-order.resume-without-start-stop", 2,
                 "effMainsChanged around processing without effStartProcess", WithoutStartStop});
    t.push_back({"host-order.block-size-change", 2, "block size changed between suspend and resume",
                 BlockSizeChange});
}

} // namespace ql::host::validate
