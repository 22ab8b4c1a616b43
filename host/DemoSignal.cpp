// The demo signal: tones and sweeps at falling levels, and the noise measurement on the processed result.
#include "host/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>

namespace ql::host {

DemoSignal MakeDemoSignal(double sampleRate) {
    static constexpr double kLevels[] = {0, -6, -12, -20, -30, -40, -50, -60};
    constexpr double kSeconds = 0.5, kFade = 0.01, kTone = 997.0, kSweepFrom = 40.0, kSweepTo = 16000.0;
    const double twoPi = 2.0 * std::numbers::pi;

    DemoSignal demo;
    demo.sampleRate = sampleRate;
    const auto frames = static_cast<std::size_t>(kSeconds * sampleRate);
    const auto fade = static_cast<std::size_t>(kFade * sampleRate);
    demo.interleaved.assign(frames * std::size(kLevels) * DemoSignal::kChannels, 0.0f);
    // Exponential sweep phase: 2π f0 T / ln(f1/f0) · (e^{t/T · ln(f1/f0)} − 1).
    const double sweepRatio = std::log(kSweepTo / kSweepFrom);
    std::size_t start = 0;
    for (double level : kLevels) {
        const double amplitude = std::pow(10.0, level / 20.0);
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            double envelope = 1.0;
            const std::size_t fromEnd = frames - 1 - i;
            if (i < fade || fromEnd < fade) {
                const double x = static_cast<double>(std::min(i, fromEnd)) / static_cast<double>(fade);
                envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * x);
            }
            const double tone = std::sin(twoPi * kTone * t);
            const double sweep = std::sin(twoPi * kSweepFrom * kSeconds / sweepRatio *
                                          (std::exp(t / kSeconds * sweepRatio) - 1.0));
            float* frame = &demo.interleaved[(start + i) * DemoSignal::kChannels];
            frame[0] = static_cast<float>(amplitude * envelope * tone);
            frame[1] = static_cast<float>(amplitude * envelope * sweep);
        }
        demo.segments.push_back({level, start, frames});
        start += frames;
    }
    return demo;
}

std::vector<SegmentQuality> MeasureQuality(const DemoSignal& demo, const std::vector<float>& output,
                                           std::size_t outputChannels, std::size_t processed) {
    std::vector<SegmentQuality> out;
    processed = std::min({processed, outputChannels, DemoSignal::kChannels});
    const std::size_t outputFrames = output.size() / outputChannels;
    for (const DemoSegment& s : demo.segments) {
        SegmentQuality q{s.levelDb, {}};
        for (std::size_t c = 0; c < DemoSignal::kChannels; ++c) {
            if (c >= processed) {
                q.sqnrDb[c] = std::numeric_limits<double>::quiet_NaN();
                continue;
            }
            double signal = 0, noise = 0;
            for (std::size_t i = s.start; i < s.start + s.frames && i < outputFrames; ++i) {
                const double x = demo.interleaved[i * DemoSignal::kChannels + c];
                const double y = output[i * outputChannels + c];
                signal += x * x;
                noise += (y - x) * (y - x);
            }
            q.sqnrDb[c] =
                noise > 0 ? 10.0 * std::log10(signal / noise) : std::numeric_limits<double>::infinity();
        }
        out.push_back(q);
    }
    return out;
}

} // namespace ql::host
