// qlhost editor: opens a plug-in's editor in a window as a desktop host does, acts on it with the pointer,
// saves what it shows and reports what the actions changed.
#include "host/AudioBuffers.h"
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/EditorHost.h"
#include "host/Plugin.h"
#include "host/PngWriter.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

namespace ql::host::cli {

const char* const kEditorUsage =
    "usage: qlhost editor [PLUGIN] [actions...] [--set INDEX=TEXT]... [--cycles N] [--display NAME] "
    "[--audio]\n\n"
    "Opens the plug-in's editor as a desktop host does: asks for its rectangle (effEditGetRect), opens a\n"
    "top-level window of that size and the editor in it (effEditOpen), and sends effEditIdle every 20 ms.\n"
    "Then performs the actions in the order given, printing every parameter whose display text an action\n"
    "changed, and finally prints every parameter and closes the editor (effEditClose).\n\n"
    "actions (in window coordinates, repeatable, carried out in order):\n"
    "  --click X,Y[,BUTTON]   press and release a button (1 left, 2 middle, 3 right; default 1)\n"
    "  --drag X1,Y1,X2,Y2     press the left button at X1,Y1, move to X2,Y2 a few pixels at a time, release\n"
    "  --hover X,Y            move the pointer there and leave it\n"
    "  --idle MS              keep the editor running for MS milliseconds\n"
    "  --png FILE             save the window's pixels, the editor's included, as a PNG file\n"
    "  --set INDEX=TEXT       enter a parameter as text (effString2Parameter); before the first other\n"
    "                         action it is entered before the editor opens, later ones while it is open\n\n"
    "options:\n"
    "  --cycles N             first open, idle and close the editor N times, each in a new window, and\n"
    "                         check that no window is left behind (exit status 1 when one is)\n"
    "  --display NAME         the X display to use, for qlhost and the plug-in (default: $DISPLAY)\n"
    "  --audio                play a probe signal on an audio thread while the editor is open and print\n"
    "                         the first output samples after each action\n\n"
    "Pointer actions go through the window system's input synthesis (XTest on X11), as if a user made\n"
    "them. Exit status 1 when the editor cannot be opened or an action fails, 2 for a command-line "
    "mistake.\n";

namespace {

constexpr std::chrono::milliseconds kSettle{200};
constexpr std::size_t kShownParameters = 64;

struct Action {
    enum Kind { Click, Drag, Hover, Idle, Png, Set } kind = Idle;
    int v[4] = {0, 0, 0, 0};
    std::string text;
    int index = 0;

    static Action Of(Kind kind, std::vector<int> numbers = {}, std::string text = {}, int index = 0) {
        Action a;
        a.kind = kind;
        std::copy_n(numbers.begin(), std::min<std::size_t>(numbers.size(), 4), a.v);
        a.text = std::move(text);
        a.index = index;
        return a;
    }
};

std::vector<int> ParseNumbers(const std::string& text, const std::string& option, std::size_t min,
                              std::size_t max) {
    std::vector<int> out;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ','))
        out.push_back(static_cast<int>(ParseInt(part, "each number of --" + option, -100000, 100000)));
    if (out.size() < min || out.size() > max || (!text.empty() && text.back() == ','))
        throw UsageError("--" + option + " takes " + (min == max ? std::to_string(min) : "2 or 3") +
                         " numbers separated by commas, not '" + text + "'");
    return out;
}

std::vector<Action> ParseActions(const ParsedArgs& parsed) {
    std::vector<Action> actions;
    for (const auto& [name, value] : parsed.options) {
        if (name == "click") {
            auto n = ParseNumbers(value, name, 2, 3);
            if (n.size() < 3) n.push_back(1);
            if (n[2] < 1 || n[2] > 3) throw UsageError("--click buttons are 1, 2 or 3, not " + value);
            actions.push_back(Action::Of(Action::Click, n));
        } else if (name == "drag") {
            actions.push_back(Action::Of(Action::Drag, ParseNumbers(value, name, 4, 4)));
        } else if (name == "hover") {
            actions.push_back(Action::Of(Action::Hover, ParseNumbers(value, name, 2, 2)));
        } else if (name == "idle") {
            actions.push_back(
                Action::Of(Action::Idle, {static_cast<int>(ParseInt(value, "--idle", 0, 600000))}));
        } else if (name == "png") {
            if (value.empty()) throw UsageError("--png needs a file name");
            actions.push_back(Action::Of(Action::Png, {}, value));
        } else if (name == "set") {
            auto [index, text] = ParseIndexed(value, name);
            actions.push_back(Action::Of(Action::Set, {}, text, index));
        }
    }
    return actions;
}

/// The display texts of the parameters qlhost shows, to tell what an action changed.
std::vector<std::string> Displays(const Plugin& plugin) {
    std::vector<std::string> out;
    const auto n = static_cast<std::size_t>(std::max(plugin.NumParams(), 0));
    for (std::size_t i = 0; i < std::min(n, kShownParameters); ++i)
        out.push_back(plugin.ParamDisplay(static_cast<vst::Int32>(i)));
    return out;
}

void PrintParameter(const Plugin& plugin, std::size_t index, const std::string& display, const char* indent) {
    const auto i = static_cast<vst::Int32>(index);
    std::printf("%s%s = %s %s\n", indent, plugin.ParamName(i).c_str(), display.c_str(),
                plugin.ParamLabel(i).c_str());
}

/// A short probe signal played block after block on an audio thread while the editor runs; the last output
/// block is kept for the user-interface thread to look at.
class AudioProbe {
  public:
    static constexpr vst::Int32 kFrames = 64;
    static constexpr float kProbe[] = {0.5f, 0.25f, -0.3f, 0.001f};
    static constexpr std::size_t kShown = 4;

    explicit AudioProbe(const Plugin& plugin)
        : fPlugin(plugin), fIn(static_cast<std::size_t>(std::max(plugin.NumInputs(), 0)), kFrames),
          fOut(static_cast<std::size_t>(plugin.NumOutputs()), kFrames) {
        for (std::size_t c = 0; c < fIn.Channels(); ++c)
            for (std::size_t i = 0; i < kFrames; ++i)
                fIn.At(c, i) = kProbe[i % std::size(kProbe)];
        fPlugin.Resume();
        fPlugin.StartProcess();
        fThread = std::thread([this] { Run(); });
    }
    ~AudioProbe() {
        fStop.store(true);
        fThread.join();
        fPlugin.StopProcess();
        fPlugin.Suspend();
    }
    AudioProbe(const AudioProbe&) = delete;
    AudioProbe& operator=(const AudioProbe&) = delete;

    /// The first output samples of the first channel from a block that started after this call.
    std::string Latest() {
        std::unique_lock<std::mutex> lock(fMutex);
        const std::uint64_t wanted = fBlocks + 2;
        if (!fChanged.wait_for(lock, std::chrono::seconds(2), [&] { return fBlocks >= wanted; }))
            return "(the audio thread is stuck)";
        std::string text;
        char number[32];
        for (float v : fLast) {
            std::snprintf(number, sizeof number, "%s%.7g", text.empty() ? "" : " ", static_cast<double>(v));
            text += number;
        }
        return text;
    }

  private:
    void Run() {
        while (!fStop.load()) {
            fPlugin.ProcessReplacing(fIn.Pointers(), fOut.Pointers(), kFrames);
            {
                std::lock_guard<std::mutex> lock(fMutex);
                for (std::size_t i = 0; i < kShown; ++i)
                    fLast[i] = fOut.Channels() ? fOut.At(0, i) : 0.0f;
                ++fBlocks;
            }
            fChanged.notify_all();
            // Roughly the pace of 64 frames at 48 kHz.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const Plugin& fPlugin;
    AudioBuffers fIn, fOut;
    std::mutex fMutex;
    std::condition_variable fChanged;
    std::uint64_t fBlocks = 0;
    float fLast[kShown] = {};
    std::atomic<bool> fStop{false};
    std::thread fThread;
};

void Require(bool ok, const std::string& what) {
    if (!ok) throw HostError(what + " failed: the window system could not make the pointer actions");
}

/// Opens, idles and closes the editor cycles times, each in a new window, and reports what the window system
/// holds before and after. False when a window is left behind.
bool RunCycles(const Plugin& plugin, const EditorSettings& settings, int cycles) {
    const platform::WindowCounts before = platform::CountWindows(settings.display);
    int strayChildren = 0;
    for (int i = 0; i < cycles; ++i) {
        EditorHost editor(plugin, settings);
        if (editor.Open() != EditorOpen::Opened)
            throw HostError("cycle " + std::to_string(i + 1) + ": " + editor.Problem());
        editor.Tick();
        editor.Tick();
        editor.Close();
        if (editor.ChildrenLeftAtClose() > 0) ++strayChildren;
    }
    const platform::WindowCounts after = platform::CountWindows(settings.display);
    std::printf("%d open/idle/close cycles (counted on %s)\n", cycles, platform::CountScope());
    auto line = [](const char* what, long b, long a) {
        if (b < 0 || a < 0) return;
        std::printf("  %-22s %ld before, %ld after\n", what, b, a);
    };
    line("windows", before.windows, after.windows);
    line("clients", before.clients, after.clients);
    line("resources", before.resources, after.resources);
    bool ok = true;
    if (strayChildren > 0) {
        std::printf("  %d of %d closes left a window inside the host's window\n", strayChildren, cycles);
        ok = false;
    }
    if (before.windows >= 0 && after.windows > before.windows) {
        std::printf("  %ld window(s) left behind\n", after.windows - before.windows);
        ok = false;
    }
    return ok;
}

} // namespace

int RunEditor(const std::vector<std::string>& args) {
    ParsedArgs parsed = Parse(args, {{"png", true},
                                     {"click", true},
                                     {"drag", true},
                                     {"hover", true},
                                     {"idle", true},
                                     {"set", true},
                                     {"cycles", true},
                                     {"display", true},
                                     {"audio", false}});
    const std::string pluginPath = TakePluginPath(parsed.positional);
    if (!parsed.positional.empty())
        throw UsageError("unexpected argument '" + parsed.positional.front() + "'");
    const std::vector<Action> actions = ParseActions(parsed);
    const int cycles = static_cast<int>(ParseInt(parsed.Last("cycles").value_or("0"), "--cycles", 0, 100000));

    EditorSettings settings;
    if (auto display = parsed.Last("display")) {
        if (display->empty()) throw UsageError("--display needs a name, e.g. :0");
        settings.display = *display;
#ifndef _WIN32
        // The plug-in opens its own connection, to the display the environment names.
        setenv("DISPLAY", display->c_str(), 1);
#endif
    }
    if (std::string why = platform::WindowSystemProblem(settings.display); !why.empty()) throw HostError(why);

    auto host = std::make_shared<Host>();
    auto plugin = Plugin::Load(pluginPath, host);
    plugin->Open();
    if (!plugin->HasEditor()) throw HostError("the plug-in's flags say it has no editor");
    plugin->SetSampleRate(48000.0f);
    plugin->SetBlockSize(AudioProbe::kFrames);

    auto enter = [&](const Action& a) {
        if (a.index >= plugin->NumParams())
            throw HostError("no parameter " + std::to_string(a.index) + ": the plug-in has " +
                            std::to_string(plugin->NumParams()));
        if (!plugin->StringToParameter(a.index, a.text))
            throw HostError("the plug-in did not take '" + a.text + "' for parameter " +
                            std::to_string(a.index));
    };
    std::size_t first = 0;
    for (; first < actions.size() && actions[first].kind == Action::Set; ++first)
        enter(actions[first]);

    bool ok = true;
    if (cycles > 0) ok = RunCycles(*plugin, settings, cycles);

    std::unique_ptr<AudioProbe> audio;
    if (parsed.Has("audio")) audio = std::make_unique<AudioProbe>(*plugin);
    EditorHost editor(*plugin, settings);
    std::printf("effEditGetRect before opening: %s\n", DescribeRect(plugin->EditorRect()).c_str());
    if (editor.Open() != EditorOpen::Opened) throw HostError(editor.Problem());
    std::printf("effEditGetRect after opening:  %s\n", DescribeRect(editor.RectAfter()).c_str());
    std::printf("opened in a %d x %d %s window\n", editor.Width(), editor.Height(),
                platform::WindowSystemName());
    editor.Idle(kSettle);
    if (audio) std::printf("audio: %s\n", audio->Latest().c_str());
    std::fflush(stdout);

    std::vector<std::string> shown = Displays(*plugin);
    for (std::size_t k = first; k < actions.size(); ++k) {
        const Action& a = actions[k];
        char what[96];
        switch (a.kind) {
        case Action::Click:
            std::snprintf(what, sizeof what, "click %d,%d button %d", a.v[0], a.v[1], a.v[2]);
            Require(editor.Click(a.v[0], a.v[1], a.v[2]), what);
            break;
        case Action::Drag:
            std::snprintf(what, sizeof what, "drag %d,%d to %d,%d", a.v[0], a.v[1], a.v[2], a.v[3]);
            Require(editor.Drag(a.v[0], a.v[1], a.v[2], a.v[3]), what);
            break;
        case Action::Hover:
            std::snprintf(what, sizeof what, "hover %d,%d", a.v[0], a.v[1]);
            Require(editor.Hover(a.v[0], a.v[1]), what);
            break;
        case Action::Idle:
            std::snprintf(what, sizeof what, "idle %d ms", a.v[0]);
            editor.Idle(std::chrono::milliseconds(a.v[0]));
            break;
        case Action::Set:
            std::snprintf(what, sizeof what, "set %d=%.60s", a.index, a.text.c_str());
            enter(a);
            editor.Tick();
            break;
        case Action::Png: {
            platform::Pixels pixels;
            if (!editor.Capture(pixels)) throw HostError("could not read back the window's pixels");
            if (std::string why = WritePng(pixels, a.text); !why.empty()) throw HostError(why);
            std::error_code ec;
            auto full = std::filesystem::absolute(a.text, ec);
            std::printf("saved %s (%d x %d)\n", (ec ? a.text : full.string()).c_str(), pixels.width,
                        pixels.height);
            std::fflush(stdout);
            continue;
        }
        }
        std::printf("%s\n", what);
        std::vector<std::string> now = Displays(*plugin);
        for (std::size_t i = 0; i < now.size(); ++i)
            if (i >= shown.size() || now[i] != shown[i]) PrintParameter(*plugin, i, now[i], "  ");
        shown = std::move(now);
        if (audio) std::printf("  audio: %s\n", audio->Latest().c_str());
        std::fflush(stdout);
    }
    editor.Idle(std::chrono::milliseconds(60));
    const int params = plugin->NumParams();
    for (std::size_t i = 0; i < shown.size(); ++i)
        PrintParameter(*plugin, i, shown[i], "");
    if (static_cast<std::size_t>(params) > shown.size())
        std::printf("... and %d more parameters\n", params - static_cast<int>(shown.size()));
    editor.Close();
    audio.reset();
    plugin->Close();
    return ok ? 0 : 1;
}

} // namespace ql::host::cli
