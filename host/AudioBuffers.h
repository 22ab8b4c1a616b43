// Channel buffers in the shape the audio entries take: an array of channel pointers over float samples.
#pragma once

#include <cstddef>
#include <vector>

namespace ql::host {

/// channels × frames floats, zeroed, with a stable array of channel pointers to hand to a plug-in.
class AudioBuffers {
  public:
    AudioBuffers() = default;
    AudioBuffers(std::size_t channels, std::size_t frames) { Resize(channels, frames); }
    AudioBuffers(const AudioBuffers& other) { *this = other; }
    AudioBuffers& operator=(const AudioBuffers& other);

    /// Sizes the buffers (all samples 0.0) and renews the pointer array.
    void Resize(std::size_t channels, std::size_t frames);
    void Fill(float value);

    std::size_t Channels() const noexcept { return fChannels; }
    std::size_t Frames() const noexcept { return fFrames; }

    float* Channel(std::size_t c) noexcept { return fPointers[c]; }
    const float* Channel(std::size_t c) const noexcept { return fPointers[c]; }
    float& At(std::size_t c, std::size_t i) noexcept { return fPointers[c][i]; }
    float At(std::size_t c, std::size_t i) const noexcept { return fPointers[c][i]; }

    /// The channel pointer array; never null, even with no channels.
    float* const* Pointers() noexcept { return fPointers.data(); }

  private:
    std::size_t fChannels = 0;
    std::size_t fFrames = 0;
    std::vector<float> fSamples;
    std::vector<float*> fPointers = std::vector<float*>(1, nullptr);
};

} // namespace ql::host
