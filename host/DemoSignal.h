// The built-in demo signal of `qlhost process` and the quantisation noise measured on what comes back.
#pragma once

#include <cstddef>
#include <vector>

namespace ql::host {

/// One stretch of the demo at one level: a tone on the left channel, a sweep on the right.
struct DemoSegment {
    double levelDb;    ///< peak level in dB relative to full scale
    std::size_t start; ///< first frame
    std::size_t frames;
};

struct DemoSignal {
    static constexpr std::size_t kChannels = 2;
    double sampleRate = 0;
    std::vector<float> interleaved; ///< kChannels samples per frame
    std::vector<DemoSegment> segments;

    std::size_t Frames() const noexcept { return interleaved.size() / kChannels; }
};

/// Half a second per level (0, -6, -12, -20, -30, -40, -50 and -60 dBFS): a 997 Hz sine on the left and an
/// exponential sweep from 40 Hz to 16 kHz on the right, each faded in and out.
DemoSignal MakeDemoSignal(double sampleRate);

/// Signal-to-noise ratio of each demo channel in one segment, in dB; infinite where output equals input,
/// NaN for a channel that was not processed.
struct SegmentQuality {
    double levelDb;
    double sqnrDb[DemoSignal::kChannels];
};

/// Compares output (outputChannels interleaved, frame-aligned with the input) with the demo, segment by
/// segment, for the first `processed` demo channels (those the plug-in had an input and an output for).
std::vector<SegmentQuality> MeasureQuality(const DemoSignal& demo, const std::vector<float>& output,
                                           std::size_t outputChannels, std::size_t processed);

} // namespace ql::host
