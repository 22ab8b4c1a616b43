// The companding and linear quantiser: A-law characteristic, per-instance step state and the block handlers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

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

namespace fast {
struct TLevelTable;
}

/// Quantiser state of one plug-in instance. Written from whichever thread changes the parameter, read by the
/// audio thread; both values travel in one atomic word so a block never mixes an old and a new value.
///
/// For step counts up to 12 bits the state also keeps a level table (the companded output of every level),
/// rebuilt by the thread that changes the depth. How the audio thread stays safe without waiting:
/// - The step pair is the truth; a table is only a cache of its expansion, labelled with the pair it was
/// built
///   for. A block reads the pair once, then takes the published table only when its label is that pair;
///   otherwise (a rebuild not finished yet, a depth above 12 bits) it runs the exact path with the pair. So a
///   block never combines a step count with another step count's table.
/// - There are three preallocated tables. The audio thread pins the published one for the block (a count per
///   table) and checks that it is still the published one after pinning; if not, it lets go and takes the
///   exact path for that block. A builder writes only a table that is neither published nor pinned, and
///   publishes it with one atomic store when it is complete, so no one ever reads a half-built table.
/// - Only one thread builds at a time. A thread that changes the depth while another builds stores its pair
/// and
///   leaves; the builder looks at the pair again after publishing and builds once more if it changed. Nobody
///   waits for anybody, and the last pair stored always gets its table.
/// With one audio thread pinning at most one table, a builder always finds one free of the three.
class TQuantiserState {
  public:
    TQuantiserState() noexcept;
    explicit TQuantiserState(float bitDepth) noexcept : TQuantiserState() { SetBitDepth(bitDepth); }
    ~TQuantiserState();
    TQuantiserState(const TQuantiserState&) = delete;
    TQuantiserState& operator=(const TQuantiserState&) = delete;

    /// Sets the step count 2^bits − 1 for a bit depth clamped into 1..24 and, up to 12 bits, its level table;
    /// a NaN depth leaves the state as it is. Any thread; allocates nothing and never waits.
    void SetBitDepth(float bits) noexcept;
    TQuantSteps Steps() const noexcept;
    float QuantSteps() const noexcept { return Steps().QuantSteps; }
    float QuantStepsInv() const noexcept { return Steps().QuantStepsInv; }

    /// What one block on the audio thread works with: the step pair and, when one is published for exactly
    /// that pair, its level table, pinned until the lease ends.
    class TLease {
      public:
        TLease(const TLease&) = delete;
        TLease& operator=(const TLease&) = delete;
        ~TLease();
        const TQuantSteps& Steps() const noexcept { return fSteps; }
        /// Null when the block has to run without a table.
        const fast::TLevelTable* Table() const noexcept { return fTable; }

      private:
        friend class TQuantiserState;
        TLease(TQuantSteps steps, const fast::TLevelTable* table, std::atomic<std::uint32_t>* pin) noexcept
            : fSteps(steps), fTable(table), fPin(pin) {}
        TQuantSteps fSteps;
        const fast::TLevelTable* fTable;
        std::atomic<std::uint32_t>* fPin;
    };
    TLease Lease() const noexcept;

  private:
    struct TLevelTables;
    void Store(float steps, float inv) noexcept;
    void RefreshLevelTable() noexcept;
    bool PublishLevelTable(std::uint64_t key) noexcept;

    std::atomic<std::uint64_t> fSteps;
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the audio thread must not take a lock");
    std::unique_ptr<TLevelTables> fTables; // allocated with the state, never when the depth changes
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
