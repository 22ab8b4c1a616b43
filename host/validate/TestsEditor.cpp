// Level 10: the editor in a real window, as a desktop host opens it: opening, idling and closing, its
// rectangle before and after, opening while audio plays, automation while it is open, and a hundred cycles
// that must leave no window behind. Without a display every test is skipped with the reason.
#include "host/validate/Groups.h"

#include "host/EditorHost.h"

#include <atomic>
#include <thread>

namespace ql::host::validate {
namespace {

using std::chrono::milliseconds;
constexpr vst::Int32 kFrames = 256;
constexpr int kCycles = 100;

EditorSettings Settings(const Context& context) {
    EditorSettings s;
    s.display = context.GetOptions().display;
    // Out of the way of windows that other programs may have on the same display.
    s.placement = platform::Placement::BottomRight;
    return s;
}

/// A fresh opened instance whose editor can be hosted here, or null with the test skipped and the reason.
std::unique_ptr<Plugin> EditorInstance(Context& context, Outcome& o) {
    if (std::string why = platform::WindowSystemProblem(context.GetOptions().display); !why.empty()) {
        o.Skip(why);
        return nullptr;
    }
    auto p = context.NewInstance();
    if (!p->HasEditor()) {
        o.Skip("the flags claim no editor");
        p->Close();
        return nullptr;
    }
    return p;
}

/// Opens the editor; a plug-in whose editor cannot be made here (effEditOpen replied 0) skips the test.
bool OpenOrSkip(EditorHost& editor, Outcome& o) {
    switch (editor.Open()) {
    case EditorOpen::Opened:
        return true;
    case EditorOpen::NoWindowSystem:
        o.Fail("no window for the editor: " + editor.Problem());
        return false;
    case EditorOpen::Refused:
        o.Skip(editor.Problem());
        return false;
    }
    return false;
}

void CloseAndCheck(EditorHost& editor, const std::string& when, Outcome& o) {
    editor.Close();
    if (editor.ChildrenLeftAtClose() > 0)
        o.Fail("effEditClose left " + std::to_string(editor.ChildrenLeftAtClose()) +
               " window(s) inside the host's window (" + when + ")");
}

/// Noise through processReplacing on its own thread, every block checked, until stopped; optionally
/// automating parameters before each block as a host plays back automation.
class AudioThread {
  public:
    AudioThread(const Plugin& p, std::uint64_t seed, bool automate) : fPlugin(p) {
        StartSession(p, 48000.0f, kFrames);
        fThread = std::thread([this, seed, automate] {
            std::mt19937_64 rng(seed);
            std::uniform_real_distribution<float> value(0.0f, 1.0f);
            const vst::Int32 params = std::min(WalkedParams(fPlugin), 8);
            GuardedAudio buffers(static_cast<std::size_t>(fPlugin.NumInputs()),
                                 static_cast<std::size_t>(fPlugin.NumOutputs()), kFrames, false);
            std::uint64_t position = 0;
            while (!fStop.load(std::memory_order_acquire)) {
                if (automate)
                    for (vst::Int32 i = 0; i < params; ++i)
                        fPlugin.SetParameter(i, value(rng));
                FillSignal(buffers, Signal::Noise, rng, position);
                buffers.SnapshotInputs();
                fPlugin.ProcessReplacing(buffers.InPointers(), buffers.OutPointers(), kFrames);
                position += kFrames;
                fBlocks.fetch_add(1, std::memory_order_relaxed);
                if (!CheckBlock(buffers, true, false, "processReplacing with the editor open", fOutcome))
                    break;
            }
        });
    }
    ~AudioThread() { Stop(); }
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

    /// Stops the thread and the session; returns what the audio side found.
    const Outcome& Stop() {
        if (fThread.joinable()) {
            fStop.store(true, std::memory_order_release);
            fThread.join();
            StopSession(fPlugin);
        }
        return fOutcome;
    }
    std::uint64_t Blocks() const { return fBlocks.load(std::memory_order_relaxed); }

  private:
    const Plugin& fPlugin;
    std::atomic<bool> fStop{false};
    std::atomic<std::uint64_t> fBlocks{0};
    Outcome fOutcome;
    std::thread fThread;
};

void MergeAudio(AudioThread& audio, Outcome& o) {
    const Outcome& a = audio.Stop();
    if (a.Failed()) o.Fail(a.Explanation());
    for (const auto& n : a.notes)
        o.Note(n);
}

/// Opens the editor, idles it for half a second and closes it; a stray idle after closing and a few blocks
/// of audio afterwards must be harmless.
void OpenIdleClose(Context& context, Outcome& o) {
    auto p = EditorInstance(context, o);
    if (!p) return;
    {
        EditorHost editor(*p, Settings(context));
        if (!OpenOrSkip(editor, o)) return;
        editor.Idle(milliseconds(500));
        if (editor.ChildWindows() == 0) o.Note("the editor put no window inside the host's window");
        CloseAndCheck(editor, "after half a second of idles", o);
    }
    p->EditIdle(); // hosts send a late idle now and then
    StartSession(*p, 44100.0f, kFrames);
    GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()), static_cast<std::size_t>(p->NumOutputs()),
                       kFrames, false);
    for (int b = 0; b < 4; ++b) {
        FillSignal(audio, Signal::Noise, context.Rng(), static_cast<std::uint64_t>(b) * kFrames);
        audio.SnapshotInputs();
        p->ProcessReplacing(audio.InPointers(), audio.OutPointers(), kFrames);
        if (!CheckBlock(audio, true, false, "processReplacing after the editor closed", o)) break;
    }
    StopSession(*p);
    p->Close();
}

/// effEditGetRect before opening (may be nothing), while open (must be a usable rectangle, the size the
/// window got) and after closing (may be nothing, must not be nonsense).
void RectBeforeAndAfter(Context& context, Outcome& o) {
    auto p = EditorInstance(context, o);
    if (!p) return;
    auto before = p->EditorRect();
    if (before && !EditorHost::Usable(before))
        o.Note("effEditGetRect before opening points to an unusable rectangle " + DescribeRect(before));
    EditorHost editor(*p, Settings(context));
    if (!OpenOrSkip(editor, o)) return;
    editor.Idle(milliseconds(100));
    vst::IntPtr reply = 0;
    auto open = p->EditorRect(&reply);
    if (!EditorHost::Usable(open)) {
        o.Fail("effEditGetRect while the editor is open gives " +
               (open ? "an unusable rectangle " + DescribeRect(open) : std::string("no rectangle")));
    } else {
        const int w = open->right - open->left, h = open->bottom - open->top;
        if (w != editor.Width() || h != editor.Height())
            o.Fail("effEditGetRect while open says " + DescribeRect(open) + ", but the editor was given " +
                   std::to_string(editor.Width()) + " x " + std::to_string(editor.Height()) +
                   " by the rectangle right after effEditOpen");
        if (EditorHost::Usable(before) &&
            (before->right - before->left != w || before->bottom - before->top != h))
            o.Note("the rectangle changed on opening, from " + DescribeRect(before) + " to " +
                   DescribeRect(open));
    }
    if (reply == 0) o.Note("effEditGetRect replies 0 while the editor is open");
    CloseAndCheck(editor, "after the rectangle checks", o);
    auto after = p->EditorRect();
    if (after && !EditorHost::Usable(after))
        o.Note("effEditGetRect after closing points to an unusable rectangle " + DescribeRect(after));
    p->Close();
}

/// The editor opened, idled and closed three times while another thread plays audio, as when a user opens
/// it during playback.
void OpenDuringAudio(Context& context, Outcome& o) {
    auto p = EditorInstance(context, o);
    if (!p) return;
    AudioThread audio(*p, context.Rng()(), false);
    for (int round = 0; round < 3 && !o.Failed(); ++round) {
        EditorHost editor(*p, Settings(context));
        if (!OpenOrSkip(editor, o)) break;
        editor.Idle(milliseconds(200));
        CloseAndCheck(editor, "round " + std::to_string(round + 1) + " with audio playing", o);
    }
    const std::uint64_t blocks = audio.Blocks();
    MergeAudio(audio, o);
    if (blocks == 0 && o.status == Status::Pass) o.Fail("the audio thread processed no block at all");
    p->Close();
}

/// A second of automation played back on the audio thread, and changes, program selections and text reads
/// on the user-interface thread, all while the editor is open and idled; every value read must stay in 0..1.
void AutomationWhileOpen(Context& context, Outcome& o) {
    auto p = EditorInstance(context, o);
    if (!p) return;
    EditorHost editor(*p, Settings(context));
    if (!OpenOrSkip(editor, o)) return;
    const vst::Int32 params = std::min(WalkedParams(*p), 8);
    const vst::Int32 programs = std::min(WalkedPrograms(*p), 4);
    {
        AudioThread audio(*p, context.Rng()(), true);
        const auto end = std::chrono::steady_clock::now() + milliseconds(1000);
        for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
            for (vst::Int32 i = 0; i < params; ++i) {
                p->SetParameter(i, static_cast<float>(context.Uniform(0, 1)));
                (void)p->ParamDisplay(i);
                const float v = p->GetParameter(i);
                if (!(v >= 0.0f && v <= 1.0f))
                    o.Fail("getParameter(" + std::to_string(i) + ") reads " + Describe(v) +
                           " while the editor is open");
            }
            if (programs > 1 && round % 10 == 0) p->SetProgram(context.Below(programs));
            editor.Tick();
        }
        MergeAudio(audio, o);
    }
    editor.Idle(milliseconds(100));
    CloseAndCheck(editor, "after automation", o);
    p->Close();
}

/// A hundred open, idle and close cycles, each in a new window as hosts make one: nothing may be left inside
/// the host's window, no window on the display and no connection to it.
void HundredCycles(Context& context, Outcome& o) {
    auto p = EditorInstance(context, o);
    if (!p) return;
    const EditorSettings settings = Settings(context);
    // The first cycle may set up what the plug-in keeps for its lifetime; counting starts after it.
    platform::WindowCounts first;
    for (int cycle = 0; cycle < kCycles && !o.Failed(); ++cycle) {
        {
            EditorHost editor(*p, settings);
            if (!OpenOrSkip(editor, o)) {
                if (cycle > 0 && o.status == Status::Skip)
                    o.Fail("effEditOpen opened the editor " + std::to_string(cycle) +
                           " time(s), then: " + editor.Problem());
                break;
            }
            editor.Tick();
            editor.Tick();
            CloseAndCheck(editor, "cycle " + std::to_string(cycle + 1), o);
        }
        if (cycle == 0) first = platform::CountWindows(settings.display);
    }
    if (o.status != Status::Pass) {
        p->Close();
        return;
    }
    const platform::WindowCounts last = platform::CountWindows(settings.display);
    auto grew = [&](long a, long b, const char* what, bool fail) {
        if (a < 0 || b < 0 || b <= a) return;
        const std::string text = std::to_string(b - a) + " more " + what + " after " +
                                 std::to_string(kCycles) + " cycles than after the first (" +
                                 std::to_string(a) + " -> " + std::to_string(b) + ")";
        if (fail)
            o.Fail(text);
        else
            o.Note(text);
    };
    grew(first.windows, last.windows, "windows on the display", true);
    grew(first.clients, last.clients, "connections to the display", true);
    grew(first.resources, last.resources, "server resources", false);
    p->Close();
}

} // namespace

void AddEditorTests(std::vector<TestCase>& t) {
    t.push_back({"editor.open-idle-close", 10, "the editor in a real window: open, idle half a second, close",
                 OpenIdleClose});
    t.push_back({"editor.rect-before-after", 10,
                 "effEditGetRect before opening, while open and after closing", RectBeforeAndAfter});
    t.push_back({"editor.open-during-audio", 10,
                 "the editor opened and closed while another thread plays audio", OpenDuringAudio});
    t.push_back(
        {"editor.automation-while-open", 10,
         "automation on the audio thread and changes on the user-interface thread with the editor open",
         AutomationWhileOpen});
    t.push_back({"editor.hundred-cycles", 10,
                 "100 open/idle/close cycles leave no window or connection behind", HundredCycles});
}

} // namespace ql::host::validate
