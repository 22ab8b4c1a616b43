// Level 9: the audio entries and the parameter accessors may not allocate, free, lock or make system calls.
// The host's own callback runs inside them and is held to the same rule.
#include "host/validate/Groups.h"

#include "host/rtcheck/RtCheck.h"

#include <cstring>

namespace ql::host::validate {
namespace {

constexpr vst::Int32 kFrames = 256;
constexpr int kBlocks = 256;

/// One instance ready to play, with its buffers, warmed up outside any check: first calls may set up lazily.
struct Rig {
    std::unique_ptr<Plugin> plugin;
    std::unique_ptr<GuardedAudio> audio;
    vst::Int32 params = 0;
    std::vector<float> values; ///< drawn before the checked calls, so drawing allocates nothing inside them

    Rig(Context& context) {
        plugin = context.NewInstance();
        StartSession(*plugin, 48000.0f, kFrames);
        audio =
            std::make_unique<GuardedAudio>(static_cast<std::size_t>(plugin->NumInputs()),
                                           static_cast<std::size_t>(plugin->NumOutputs()), kFrames, false);
        params = std::min(WalkedParams(*plugin), 64);
        for (int i = 0; i < 1024; ++i)
            values.push_back(static_cast<float>(context.Uniform(0, 1)));
        FillSignal(*audio, Signal::Noise, context.Rng(), 0);
        for (int block = 0; block < 16; ++block) {
            Call('R', block);
            Call('A', block);
            Call('S', block);
            Call('G', block);
        }
    }
    ~Rig() {
        if (plugin && !plugin->IsClosed()) {
            StopSession(*plugin);
            plugin->Close();
        }
    }

    /// One call of the kind named: R processReplacing, A process, S setParameter, G getParameter.
    void Call(char kind, int step) {
        vst::AEffect& e = plugin->Effect();
        switch (kind) {
        case 'R':
            if (e.processReplacing)
                e.processReplacing(&e, const_cast<float**>(audio->InPointers()),
                                   const_cast<float**>(audio->OutPointers()), kFrames);
            break;
        case 'A':
            if (e.process)
                e.process(&e, const_cast<float**>(audio->InPointers()),
                          const_cast<float**>(audio->OutPointers()), kFrames);
            break;
        case 'S':
            if (params > 0 && e.setParameter)
                e.setParameter(&e, step % params, values[static_cast<std::size_t>(step) % values.size()]);
            break;
        case 'G':
            if (params > 0 && e.getParameter) (void)e.getParameter(&e, step % params);
            break;
        }
    }
};

const char* EntryName(char kind) {
    switch (kind) {
    case 'R':
        return "processReplacing";
    case 'A':
        return "process";
    case 'S':
        return "setParameter";
    case 'G':
        return "getParameter";
    }
    return "?";
}

constexpr char kKinds[] = {'R', 'A', 'S', 'G'};

/// Counts what each entry did on this thread; fails naming the entries that allocated, freed or locked.
void CountedRun(Context& context, Outcome& o, bool locks) {
    if (!rtcheck::CountingAvailable()) {
        o.Skip(rtcheck::CountingUnavailableReason());
        return;
    }
    Rig rig(context);
    rtcheck::Counts perKind[4];
    for (int step = 0; step < kBlocks; ++step) {
        for (int k = 0; k < 4; ++k) {
            rtcheck::ResetThreadCounts();
            rtcheck::EnterAudioCall();
            rig.Call(kKinds[k], step);
            rtcheck::LeaveAudioCall();
            rtcheck::Counts c = rtcheck::ThreadCounts();
            perKind[k].allocations += c.allocations;
            perKind[k].frees += c.frees;
            perKind[k].locks += c.locks;
        }
    }
    rtcheck::ResetThreadCounts();
    for (int k = 0; k < 4; ++k) {
        const rtcheck::Counts& c = perKind[k];
        std::string calls = std::to_string(kBlocks) + " calls";
        if (!locks && (c.allocations || c.frees))
            o.Fail(std::string(EntryName(kKinds[k])) + " allocated " + std::to_string(c.allocations) +
                   " and freed " + std::to_string(c.frees) + " time(s) in " + calls);
        if (locks && c.locks)
            o.Fail(std::string(EntryName(kKinds[k])) + " took a lock " + std::to_string(c.locks) +
                   " time(s) in " + calls);
    }
}

void NoHeap(Context& c, Outcome& o) { CountedRun(c, o, false); }
void NoLocks(Context& c, Outcome& o) { CountedRun(c, o, true); }

/// The same calls in a child process that may only read, write and exit; each call announces itself first,
/// so a kill names the entry that made the system call.
void NoSystemCalls(Context& context, Outcome& o) {
#if defined(__SANITIZE_THREAD__)
    o.Skip("the thread sanitizer's runtime makes system calls of its own inside instrumented code");
    return;
#endif
    Rig rig(context);
    rtcheck::GuardedRun run = rtcheck::RunWithoutSystemCalls(
        [](void* context, int fd) {
            Rig& r = *static_cast<Rig*>(context);
            for (int step = 0; step < kBlocks; ++step)
                for (char kind : kKinds) {
                    rtcheck::RawWrite(fd, &kind, 1);
                    r.Call(kind, step);
                }
        },
        &rig);
    if (!run.available) {
        o.Skip(run.detail);
        return;
    }
    if (run.completed) {
        o.Note(std::to_string(kBlocks) + " rounds of the four entries without a system call");
        return;
    }
    std::string entry = run.output.empty() ? "setting up" : EntryName(run.output.back());
    o.Fail(entry + " made a system call (call " + std::to_string(run.output.size()) +
           " of the guarded run; " + run.detail + ")");
}

} // namespace

void AddRealtimeTests(std::vector<TestCase>& t) {
    t.push_back(
        {"realtime.no-heap", 9, "no malloc/free/new/delete inside the audio entries and accessors", NoHeap});
    t.push_back({"realtime.no-locks", 9, "no mutex, read-write lock or semaphore inside them", NoLocks});
    t.push_back({"realtime.no-system-calls", 9, "no system call inside them (strict secure-computing child)",
                 NoSystemCalls});
}

} // namespace ql::host::validate
