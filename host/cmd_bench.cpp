// qlhost bench: end-to-end speed of a plug-in's processReplacing on a long generated signal.
#include "host/AudioBuffers.h"
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/Plugin.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace ql::host::cli {

const char* const kBenchUsage =
    "usage: qlhost bench [PLUGIN] [--seconds S] [--block N] [--set INDEX=TEXT]... [--param "
    "INDEX=VALUE]...\n\n"
    "Times the plug-in's processReplacing on S seconds (default 60) of generated 48 kHz stereo audio (a "
    "minute\n"
    "of tones, sweep and noise at several levels, repeated as needed) in blocks of N frames (default 512), "
    "and\n"
    "prints samples per second, the real-time factor at 48 kHz stereo and the time per call (mean, median,\n"
    "99th percentile, worst). The plug-in keeps its own settings unless --set (text entry, e.g. --set 0=8)\n"
    "or --param (host value 0..1) changes them.\n";

namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kSignalFrames = std::size_t{60} * 48000;

/// A minute of stereo material at levels from full scale to -60 dBFS: a tone, a sweep and noise.
std::vector<float> MakeSignal() {
    std::vector<float> s(kSignalFrames * 2);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (std::size_t i = 0; i < kSignalFrames; ++i) {
        double t = static_cast<double>(i) / kRate;
        double level = std::pow(10.0, -static_cast<double>((i / 48000) % 7) * 10.0 / 20.0);
        double sweep = std::sin(2 * std::numbers::pi * 40.0 * 60.0 / std::log(400.0) *
                                (std::pow(400.0, t / 60.0) - 1.0));
        s[2 * i] =
            static_cast<float>(level * (0.7 * std::sin(2 * std::numbers::pi * 997.0 * t) + 0.3 * noise(rng)));
        s[2 * i + 1] = static_cast<float>(level * sweep);
    }
    return s;
}

} // namespace

int RunBench(const std::vector<std::string>& args) {
    ParsedArgs parsed = Parse(args, {{"seconds", true}, {"block", true}, {"set", true}, {"param", true}});
    std::string path = TakePluginPath(parsed.positional);
    if (!parsed.positional.empty())
        throw UsageError("unexpected argument '" + parsed.positional.front() + "'");
    double seconds = 60.0;
    if (auto v = parsed.Last("seconds")) {
        seconds = ParseNumber(*v, "--seconds");
        if (seconds <= 0 || seconds > 86400) throw UsageError("--seconds must be above 0 and at most 86400");
    }
    vst::Int32 block = 512;
    if (auto v = parsed.Last("block")) block = static_cast<vst::Int32>(ParseInt(*v, "--block", 1, 65536));
    std::vector<std::pair<int, std::string>> texts, values;
    for (const auto& s : parsed.All("set"))
        texts.push_back(ParseIndexed(s, "set"));
    for (const auto& s : parsed.All("param")) {
        auto [index, text] = ParseIndexed(s, "param");
        double v = ParseNumber(text, "the value of --param");
        if (v < 0 || v > 1)
            throw UsageError("--param values are host values from 0 to 1, not '" + text + "'");
        values.emplace_back(index, text);
    }

    auto plugin = Plugin::Load(path);
    plugin->Open();
    if (!plugin->Effect().processReplacing) throw HostError(path + " has no processReplacing entry");
    for (const auto& [index, text] : texts) {
        if (index >= plugin->NumParams())
            throw UsageError("--set " + std::to_string(index) + ": the plug-in has " +
                             std::to_string(plugin->NumParams()) + " parameters");
        if (!plugin->StringToParameter(index, text))
            throw HostError("the plug-in did not take \"" + text + "\" for parameter " +
                            std::to_string(index));
    }
    for (const auto& [index, text] : values) {
        if (index >= plugin->NumParams())
            throw UsageError("--param " + std::to_string(index) + ": the plug-in has " +
                             std::to_string(plugin->NumParams()) + " parameters");
        plugin->SetParameter(index, static_cast<float>(std::stod(text)));
    }
    plugin->SetSampleRate(static_cast<float>(kRate));
    plugin->SetBlockSize(block);
    plugin->Resume();
    plugin->StartProcess();

    const std::vector<float> signal = MakeSignal();
    const std::size_t inputs = static_cast<std::size_t>(std::max(plugin->NumInputs(), 0));
    const std::size_t outputs = static_cast<std::size_t>(std::max(plugin->NumOutputs(), 0));
    AudioBuffers in(inputs, static_cast<std::size_t>(block)), out(outputs, static_cast<std::size_t>(block));
    const std::uint64_t total = static_cast<std::uint64_t>(seconds * kRate);
    std::vector<double> callSeconds;
    callSeconds.reserve(static_cast<std::size_t>(total / static_cast<std::uint64_t>(block) + 1));
    std::uint64_t done = 0;
    std::size_t position = 0;
    double busy = 0;
    bool finite = true;
    while (done < total) {
        vst::Int32 frames =
            static_cast<vst::Int32>(std::min<std::uint64_t>(static_cast<std::uint64_t>(block), total - done));
        for (vst::Int32 i = 0; i < frames; ++i) {
            for (std::size_t c = 0; c < inputs; ++c)
                in.At(c, static_cast<std::size_t>(i)) = signal[2 * position + (c & 1)];
            position = (position + 1) % kSignalFrames;
        }
        auto start = std::chrono::steady_clock::now();
        plugin->ProcessReplacing(in.Pointers(), out.Pointers(), frames);
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        busy += elapsed;
        callSeconds.push_back(elapsed);
        for (std::size_t c = 0; c < outputs && finite; ++c)
            for (vst::Int32 i = 0; i < frames; ++i)
                if (!std::isfinite(out.At(c, static_cast<std::size_t>(i)))) finite = false;
        done += static_cast<std::uint64_t>(frames);
    }
    plugin->StopProcess();
    plugin->Suspend();
    plugin->Close();

    // The first call often pays for lazy set-up; it is shown on its own and left out of the distribution.
    const double firstCall = callSeconds.front();
    if (callSeconds.size() > 1) {
        busy -= firstCall;
        done -= static_cast<std::uint64_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(block), done));
        callSeconds.erase(callSeconds.begin());
    }
    std::sort(callSeconds.begin(), callSeconds.end());
    auto at = [&](double q) {
        return callSeconds[static_cast<std::size_t>(q * static_cast<double>(callSeconds.size() - 1))];
    };
    const double audioSeconds = static_cast<double>(done) / kRate;
    const double channels = static_cast<double>(std::max(inputs, outputs));
    std::printf("Plug-in            %s\n", path.c_str());
    std::printf("Audio              %.1f s at 48 kHz, %zu in / %zu out, blocks of %d frames, %zu calls\n",
                audioSeconds, inputs, outputs, block, callSeconds.size());
    std::printf("Time in plug-in    %.3f s\n", busy);
    std::printf("Samples per second %.4g (%.4g frames per second, all %g channels)\n",
                static_cast<double>(done) * channels / busy, static_cast<double>(done) / busy, channels);
    std::printf("Real-time factor   %.1fx at 48 kHz stereo\n",
                audioSeconds / busy * (channels > 0 ? channels / 2.0 : 1.0));
    std::printf(
        "Per call           mean %.2f us, median %.2f us, 99%% %.2f us, worst %.2f us (budget %.2f us)\n",
        busy / static_cast<double>(callSeconds.size()) * 1e6, at(0.5) * 1e6, at(0.99) * 1e6,
        callSeconds.back() * 1e6, block / kRate * 1e6);
    std::printf("First call         %.2f us\n", firstCall * 1e6);
    if (!finite) {
        std::fprintf(stderr, "qlhost bench: the plug-in gave non-finite output\n");
        return 1;
    }
    return 0;
}

} // namespace ql::host::cli
