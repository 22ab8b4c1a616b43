// Channel buffers for the audio entries.
#include "host/AudioBuffers.h"

#include <algorithm>

namespace ql::host {

AudioBuffers& AudioBuffers::operator=(const AudioBuffers& other) {
    if (this != &other) {
        Resize(other.fChannels, other.fFrames);
        fSamples = other.fSamples;
    }
    return *this;
}

void AudioBuffers::Resize(std::size_t channels, std::size_t frames) {
    fChannels = channels;
    fFrames = frames;
    fSamples.assign(channels * frames, 0.0f);
    // One spare slot keeps the array non-empty, so Pointers() is a valid address even for zero channels.
    fPointers.assign(channels + 1, nullptr);
    for (std::size_t c = 0; c < channels; ++c)
        fPointers[c] = fSamples.data() + c * frames;
}

void AudioBuffers::Fill(float value) { std::fill(fSamples.begin(), fSamples.end(), value); }

} // namespace ql::host
