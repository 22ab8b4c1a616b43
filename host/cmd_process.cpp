// qlhost process: streams a sound file, or the built-in demo, through a plug-in's audio entry.
#include "host/AudioBuffers.h"
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/Plugin.h"
#include "host/SoundFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace ql::host::cli {

const char* const kProcessUsage =
    "usage: qlhost process [PLUGIN] [IN [OUT]] [options]\n\n"
    "Streams IN (any file libsndfile reads) through the plug-in's processReplacing entry in blocks and\n"
    "writes the plug-in's outputs to OUT as a 32-bit float WAV file (default: IN's name with "
    "'-processed.wav',\n"
    "in the current folder). A mono IN feeds every plug-in input; the plug-in's delay is compensated.\n"
    "Without IN it processes a built-in demo (4 s of tones and sweeps from 0 to -60 dBFS), writes it to\n"
    "quantilaw-demo.wav and prints the signal-to-quantisation-noise ratio at each level.\n\n"
    "options:\n"
    "  --param INDEX=VALUE  set a parameter to a host value from 0 to 1 (setParameter); repeatable\n"
    "  --set INDEX=TEXT     enter a parameter as text (effString2Parameter), e.g. --set 0=8 for 8 bits\n"
    "  --block N            frames per call, 1 to 65536 (default 512)\n"
    "  --rate HZ            sample rate to tell the plug-in and to write (default: IN's; the demo's 48000)\n"
    "  --out FILE           where to write, instead of OUT\n"
    "  --accumulate         use the accumulating process entry (onto zeroed outputs) instead\n";

namespace {

constexpr vst::Int32 kMaxChannels = 64;

/// One --param (a host value) or --set (a text) option, applied in the order given.
struct ParameterChange {
    int index;
    bool asText;
    std::string text;
    float hostValue;
};

/// Where the samples come from: a sound file or the demo held in memory.
class Source {
  public:
    explicit Source(std::unique_ptr<SoundFileReader> file) : fFile(std::move(file)) {}
    explicit Source(const DemoSignal* demo) : fDemo(demo) {}

    int Channels() const { return fFile ? fFile->Channels() : static_cast<int>(DemoSignal::kChannels); }
    double SampleRate() const { return fFile ? fFile->SampleRate() : fDemo->sampleRate; }
    std::int64_t Frames() const {
        return fFile ? fFile->Frames() : static_cast<std::int64_t>(fDemo->Frames());
    }

    std::size_t Read(float* interleaved, std::size_t frames) {
        if (fFile) return fFile->Read(interleaved, frames);
        std::size_t n = std::min(frames, fDemo->Frames() - fPosition);
        std::copy_n(fDemo->interleaved.begin() +
                        static_cast<std::ptrdiff_t>(fPosition * DemoSignal::kChannels),
                    n * DemoSignal::kChannels, interleaved);
        fPosition += n;
        return n;
    }

  private:
    std::unique_ptr<SoundFileReader> fFile;
    const DemoSignal* fDemo = nullptr;
    std::size_t fPosition = 0;
};

class Progress {
  public:
    explicit Progress(std::int64_t total) : fTotal(total), fShow(StderrIsTerminal() && total > 0) {}
    void Update(std::int64_t done) {
        if (!fShow) return;
        auto now = std::chrono::steady_clock::now();
        if (done < fTotal && now - fLast < std::chrono::milliseconds(100)) return;
        fLast = now;
        int percent = static_cast<int>(std::min<std::int64_t>(100, 100 * done / fTotal));
        int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r%3d%% [%.*s%.*s]", percent, filled, "##############################",
                     30 - filled, "..............................");
        std::fflush(stderr);
    }
    void Finish() {
        if (fShow) std::fprintf(stderr, "\r%*s\r", 40, "");
    }

  private:
    std::int64_t fTotal;
    bool fShow;
    std::chrono::steady_clock::time_point fLast{};
};

std::string DefaultOutput(const std::string& input) {
    if (input.empty()) return "quantilaw-demo.wav";
    return std::filesystem::path(input).stem().string() + "-processed.wav";
}

void PrintQuality(const std::vector<SegmentQuality>& quality) {
    std::printf("\nSignal-to-quantisation-noise ratio of the demo (output against input, dB):\n");
    std::printf("  %-10s %12s %12s\n", "level", "tone (L)", "sweep (R)");
    for (const auto& q : quality) {
        char level[32];
        std::snprintf(level, sizeof level, "%g dBFS", q.levelDb);
        std::printf("  %-10s", level);
        for (double db : q.sqnrDb) {
            if (std::isnan(db))
                std::printf(" %12s", "-");
            else if (std::isinf(db))
                std::printf(" %12s", "exact");
            else
                std::printf(" %12.1f", db);
        }
        std::printf("\n");
    }
}

} // namespace

int RunProcess(const std::vector<std::string>& args) {
    ParsedArgs parsed = Parse(args, {{"param", true},
                                     {"set", true},
                                     {"block", true},
                                     {"rate", true},
                                     {"out", true},
                                     {"accumulate", false}});
    std::string pluginPath = TakePluginPath(parsed.positional);
    auto& positional = parsed.positional;
    if (positional.size() > 2) throw UsageError("unexpected argument '" + positional[2] + "'");
    std::string inPath = positional.empty() ? std::string() : positional[0];
    if (positional.size() == 2 && parsed.Has("out")) throw UsageError("give OUT or --out, not both");
    std::string outPath =
        positional.size() == 2 ? positional[1] : parsed.Last("out").value_or(DefaultOutput(inPath));
    const auto block =
        static_cast<vst::Int32>(ParseInt(parsed.Last("block").value_or("512"), "--block", 1, 65536));
    std::optional<double> rateOption;
    if (auto r = parsed.Last("rate")) {
        rateOption = ParseNumber(*r, "--rate");
        if (*rateOption < 1.0 || *rateOption > 1e6) throw UsageError("--rate must be from 1 to 1000000 Hz");
    }
    // Every parameter option is checked before anything is loaded, so a typo costs nothing.
    std::vector<ParameterChange> changes;
    for (const auto& [name, value] : parsed.options) {
        if (name != "param" && name != "set") continue;
        auto [index, text] = ParseIndexed(value, name);
        ParameterChange change{index, name == "set", text, 0.0f};
        if (!change.asText) {
            double v = ParseNumber(text, "the value of --param");
            if (v < 0.0 || v > 1.0)
                throw UsageError("--param values are host values from 0 to 1, not " + text);
            change.hostValue = static_cast<float>(v);
        }
        changes.push_back(change);
    }

    DemoSignal demo;
    std::unique_ptr<Source> source;
    if (inPath.empty()) {
        demo = MakeDemoSignal(rateOption.value_or(48000.0));
        source = std::make_unique<Source>(&demo);
    } else {
        source = std::make_unique<Source>(std::make_unique<SoundFileReader>(inPath));
    }
    const double rate = rateOption.value_or(source->SampleRate());

    auto host = std::make_shared<Host>();
    auto plugin = Plugin::Load(pluginPath, host);
    plugin->Open();
    const vst::Int32 numIn = plugin->NumInputs(), numOut = plugin->NumOutputs();
    if (numOut < 1 || numOut > kMaxChannels || numIn < 0 || numIn > kMaxChannels)
        throw HostError("the plug-in declares " + std::to_string(numIn) + " inputs and " +
                        std::to_string(numOut) +
                        " outputs; qlhost handles 0 to 64 inputs and 1 to 64 outputs");
    const bool accumulate = parsed.Has("accumulate") || !plugin->Effect().processReplacing;
    if (accumulate && !plugin->Effect().process) throw HostError("the plug-in has no audio entry");
    if (source->Channels() > numIn)
        std::fprintf(stderr,
                     "qlhost process: %s has %d channels; the plug-in takes %d, the rest are left out\n",
                     inPath.empty() ? "the demo" : inPath.c_str(), source->Channels(), numIn);

    plugin->SetSampleRate(static_cast<float>(rate));
    plugin->SetBlockSize(block);
    for (const ParameterChange& change : changes) {
        if (change.index >= plugin->NumParams())
            throw HostError("no parameter " + std::to_string(change.index) + ": the plug-in has " +
                            std::to_string(plugin->NumParams()));
        if (!change.asText)
            plugin->SetParameter(change.index, change.hostValue);
        else if (!plugin->StringToParameter(change.index, change.text))
            throw HostError("the plug-in did not take '" + change.text + "' for parameter " +
                            std::to_string(change.index));
    }
    for (vst::Int32 i = 0; i < plugin->NumParams(); ++i)
        std::printf("%s = %s %s\n", plugin->ParamName(i).c_str(), plugin->ParamDisplay(i).c_str(),
                    plugin->ParamLabel(i).c_str());

    SoundFileWriter writer(outPath, numOut, rate);
    plugin->Resume();
    plugin->StartProcess();

    // The plug-in's reported delay is taken off the front and made up with silence at the end, so the output
    // lines up with the input sample for sample.
    const std::int64_t delay =
        std::clamp<std::int64_t>(plugin->InitialDelay(), 0, static_cast<std::int64_t>(rate) * 60);
    std::int64_t toSkip = delay, tailLeft = delay, written = 0, consumed = 0, nonFinite = 0;
    float peak = 0.0f;
    const auto inChannels = static_cast<std::size_t>(source->Channels());
    AudioBuffers in(static_cast<std::size_t>(numIn), static_cast<std::size_t>(block));
    AudioBuffers out(static_cast<std::size_t>(numOut), static_cast<std::size_t>(block));
    std::vector<float> fileBlock(static_cast<std::size_t>(block) * inChannels);
    std::vector<float> outBlock(static_cast<std::size_t>(block) * static_cast<std::size_t>(numOut));
    std::vector<float> kept;
    Progress progress(source->Frames());

    for (;;) {
        std::size_t n = source->Read(fileBlock.data(), static_cast<std::size_t>(block));
        if (n == 0) {
            if (tailLeft == 0) break;
            n = static_cast<std::size_t>(std::min<std::int64_t>(block, tailLeft));
            std::fill(fileBlock.begin(), fileBlock.end(), 0.0f);
            tailLeft -= static_cast<std::int64_t>(n);
        } else {
            consumed += static_cast<std::int64_t>(n);
        }
        for (std::size_t c = 0; c < in.Channels(); ++c) {
            float* channel = in.Channel(c);
            if (c < inChannels || inChannels == 1) {
                const std::size_t from = c < inChannels ? c : 0;
                for (std::size_t i = 0; i < n; ++i)
                    channel[i] = fileBlock[i * inChannels + from];
            } else {
                std::fill_n(channel, n, 0.0f);
            }
        }
        if (accumulate) {
            out.Fill(0.0f);
            plugin->Process(in.Pointers(), out.Pointers(), static_cast<vst::Int32>(n));
        } else {
            plugin->ProcessReplacing(in.Pointers(), out.Pointers(), static_cast<vst::Int32>(n));
        }
        const auto skip =
            static_cast<std::size_t>(std::min<std::int64_t>(toSkip, static_cast<std::int64_t>(n)));
        toSkip -= static_cast<std::int64_t>(skip);
        std::size_t frames = 0;
        for (std::size_t i = skip; i < n; ++i, ++frames)
            for (std::size_t c = 0; c < out.Channels(); ++c) {
                float v = out.Channel(c)[i];
                if (!std::isfinite(v))
                    ++nonFinite;
                else
                    peak = std::max(peak, std::fabs(v));
                outBlock[frames * out.Channels() + c] = v;
            }
        writer.Write(outBlock.data(), frames);
        if (inPath.empty())
            kept.insert(kept.end(), outBlock.begin(),
                        outBlock.begin() + static_cast<std::ptrdiff_t>(frames * out.Channels()));
        written += static_cast<std::int64_t>(frames);
        progress.Update(consumed);
    }
    progress.Finish();
    plugin->StopProcess();
    plugin->Suspend();
    plugin->Close();
    writer.Close();

    std::error_code ec;
    auto shown = std::filesystem::absolute(outPath, ec);
    std::printf("Wrote %lld frames of %d channels at %g Hz to %s\n", static_cast<long long>(written), numOut,
                rate, (ec ? outPath : shown.string()).c_str());
    std::printf("Output peak %s", peak > 0 ? "" : "silent");
    if (peak > 0) std::printf("%.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    if (delay > 0) std::printf(", plug-in delay of %lld frames compensated", static_cast<long long>(delay));
    std::printf("\n");
    if (nonFinite > 0)
        std::fprintf(stderr, "qlhost process: %lld output samples are not finite\n",
                     static_cast<long long>(nonFinite));
    if (inPath.empty())
        PrintQuality(
            MeasureQuality(demo, kept, static_cast<std::size_t>(numOut), static_cast<std::size_t>(numIn)));
    return nonFinite > 0 ? 1 : 0;
}

} // namespace ql::host::cli
