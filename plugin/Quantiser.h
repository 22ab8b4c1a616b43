// The companding and linear quantiser: A-law characteristic, per-instance step state and the block handlers.
#pragma once

#include <atomic>
#include <cstdint>

namespace ql::quantilaw {

/// Slope of the compression characteristic's linear segment, A / (1 + ln A) with A = 87.56, computed once at
/// library load in extended precision and rounded to float (16.0005130767822265625).
float LinearGain() noexcept;

/// A-law compression of one sample in extended precision; NaN stays NaN.
float ALawCompress(float x) noexcept;
/// A-law expansion, the inverse characteristic of ALawCompress.
float ALawExpand(float y) noexcept;
/// One quantisation step: v·steps rounded to the nearest integer (ties to even), times inv, rounded to float.
float Quantise(float v, float steps, float inv) noexcept;

/// Step count and its inverse as the audio thread reads them: always a matching pair.
struct TQuantSteps {
    float QuantSteps;
    float QuantStepsInv;
};

/// Quantiser state of one plug-in instance. Written from whichever thread changes the parameter, read by the
/// audio thread; both values travel in one atomic word so a block never mixes an old and a new value.
class TQuantiserState {
  public:
    TQuantiserState() noexcept;
    explicit TQuantiserState(float bitDepth) noexcept : TQuantiserState() { SetBitDepth(bitDepth); }

    /// Sets the step count 2^bits − 1 for a bit depth clamped into 1..24; a NaN depth leaves the state as it
    /// is.
    void SetBitDepth(float bits) noexcept;
    TQuantSteps Steps() const noexcept;
    float QuantSteps() const noexcept { return Steps().QuantSteps; }
    float QuantStepsInv() const noexcept { return Steps().QuantStepsInv; }

  private:
    void Store(float steps, float inv) noexcept;

    std::atomic<std::uint64_t> fSteps;
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the audio thread must not take a lock");
};

inline constexpr float kMinBitDepth = 1.0f;
inline constexpr float kMaxBitDepth = 24.0f;

/// Companded quantiser over a block: expand(quantise(compress(x))) for each of `frames` samples of each of
/// `channels` channels. In-place buffers are fine; null channel pointers are skipped. Called on the audio
/// thread.
void ProcessCompanded(const float* const* inputs, float* const* outputs, int channels, int frames,
                      const TQuantiserState& state) noexcept;
/// Linear quantiser over a block, same contract as ProcessCompanded. Called on the audio thread.
void ProcessLinear(const float* const* inputs, float* const* outputs, int channels, int frames,
                   const TQuantiserState& state) noexcept;

/// Makes the handlers above use the scalar extended-precision code instead of the vector path chosen at load.
/// Meant for tests and the verification tool.
void ForceReferencePath(bool force) noexcept;
/// Name of the vector path the processor got at load ("avx512", "avx2", "sse2" or "reference").
const char* FastPathName() noexcept;

namespace reference {
/// The handlers on the scalar extended-precision code only, whatever the processor offers.
void ProcessCompanded(const float* const* inputs, float* const* outputs, int channels, int frames,
                      const TQuantiserState& state) noexcept;
void ProcessLinear(const float* const* inputs, float* const* outputs, int channels, int frames,
                   const TQuantiserState& state) noexcept;
} // namespace reference

} // namespace ql::quantilaw
