// What the tests of the battery share: the context of one test, guarded buffers for texts and audio, test
// signals, the floating-point state around a call, and the session steps a host takes.
#pragma once

#include "host/Plugin.h"
#include "host/validate/Battery.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace ql::host::validate {

/// The plug-in and the random source of one test.
class Context {
  public:
    Context(const Options& options, const TestCase& test);

    const Options& GetOptions() const noexcept { return fOptions; }
    /// Seeded from the run's seed and the test's name, so one test's values do not depend on which others
    /// ran.
    std::mt19937_64& Rng() noexcept { return fRng; }
    double Uniform(double lo, double hi);
    int Below(int n);

    /// The library, loaded on first use and kept for the test.
    std::shared_ptr<PluginLibrary> Library();
    /// A fresh instance through the entry point, opened unless open is false; one Host per test.
    std::unique_ptr<Plugin> NewInstance(bool open = true);
    const std::shared_ptr<Host>& GetHost() const noexcept { return fHost; }

  private:
    const Options& fOptions;
    std::mt19937_64 fRng;
    std::shared_ptr<PluginLibrary> fLibrary;
    std::shared_ptr<Host> fHost;
};

/// At most this many parameters or programs are walked one by one (a record may claim any count).
constexpr vst::Int32 kMaxWalked = 256;
vst::Int32 WalkedParams(const Plugin& plugin);
vst::Int32 WalkedPrograms(const Plugin& plugin);

// ---------------------------------------------------------------------------------------------------------
// Texts

/// A buffer of a given size with guard bytes before and after it; the inside starts zeroed.
class GuardedBuffer {
  public:
    static constexpr std::size_t kGuard = 256;
    static constexpr unsigned char kGuardByte = 0xA5;

    explicit GuardedBuffer(std::size_t size);
    void* Data() noexcept { return fBytes.data() + kGuard; }
    const unsigned char* Bytes() const noexcept { return fBytes.data() + kGuard; }
    std::size_t Size() const noexcept { return fSize; }

    /// How far past the end the plug-in wrote (0 when the guard after is intact).
    std::size_t WrittenPastEnd() const noexcept;
    bool WroteBefore() const noexcept;
    /// The text inside, up to its zero or the end.
    std::string Text() const;
    bool Terminated() const noexcept;

  private:
    std::size_t fSize;
    std::vector<unsigned char> fBytes;
};

/// The sizes a text request gets: what real hosts give (writing more fails) and what the standard names
/// (writing more is remarked on).
struct TextSize {
    std::size_t host;
    std::size_t standard;
};
TextSize TextSizeFor(vst::Int32 opcode);

/// Sends a text request with a guarded buffer of the host's size and checks the write; returns the text.
/// what names the request in messages ("effGetParamName(3)").
std::string CheckedText(const Plugin& plugin, vst::Int32 opcode, vst::Int32 index, vst::IntPtr value,
                        const std::string& what, Outcome& outcome, vst::IntPtr* reply = nullptr);

/// Checks a guarded buffer after a text request: no write outside it, a zero inside it.
void CheckTextBuffer(const GuardedBuffer& buffer, std::size_t standardSize, const std::string& what,
                     Outcome& outcome);

// ---------------------------------------------------------------------------------------------------------
// Audio

/// Channels of frames floats with guard samples before and after each, and channel pointer arrays; the
/// outputs may be the inputs themselves (in place).
class GuardedAudio {
  public:
    static constexpr std::size_t kGuard = 64;

    GuardedAudio(std::size_t inputs, std::size_t outputs, std::size_t frames, bool inPlace);

    std::size_t Frames() const noexcept { return fFrames; }
    std::size_t Inputs() const noexcept { return fInputs; }
    std::size_t Outputs() const noexcept { return fOutputs; }
    bool InPlace() const noexcept { return fInPlace; }
    float* In(std::size_t c) noexcept { return fInPtr[c]; }
    float* Out(std::size_t c) noexcept { return fOutPtr[c]; }
    float* const* InPointers() noexcept { return fInPtr.data(); }
    float* const* OutPointers() noexcept { return fOutPtr.data(); }

    /// Sets every output sample (before an accumulating call; in place this overwrites the inputs).
    void FillOutputs(float value);
    /// Remembers the inputs, to tell later whether the plug-in changed them.
    void SnapshotInputs();
    bool InputsChanged() const;
    /// The first channel whose guards were written, or -1.
    int DamagedGuard() const;
    /// Puts fresh guards in place (after a damaged one was reported).
    void RestoreGuards();

  private:
    std::size_t fInputs, fOutputs, fFrames;
    bool fInPlace;
    std::vector<std::vector<float>> fChannels; ///< inputs first, then the outputs that are not inputs
    std::vector<float*> fInPtr, fOutPtr;
    std::vector<std::vector<float>> fSnapshot;
};

enum class Signal {
    Silence,
    Noise,
    FullScaleSine,
    PlusMinusOne,
    Denormals,
    NaN,
    PlusInf,
    MinusInf,
    MixedNonFinite
};
const char* SignalName(Signal s);
bool IsFinite(Signal s);
/// Fills the inputs of audio with the signal; position is the running frame count (for periodic signals).
void FillSignal(GuardedAudio& audio, Signal s, std::mt19937_64& rng, std::uint64_t position);

/// Checks the outputs of a block: finite (and not subnormal when the input had no subnormals), the guards,
/// the inputs unchanged when separate. Returns false when it failed.
bool CheckBlock(GuardedAudio& audio, bool finiteInput, bool subnormalInput, const std::string& what,
                Outcome& outcome);

// ---------------------------------------------------------------------------------------------------------
// Floating-point state

/// The caller's floating-point environment as the processor holds it.
struct FpuState {
    std::uint32_t control = 0; ///< x87 control word (x86) or the control register
    std::uint32_t status = 0;  ///< x87 status word (x86) or the status register
    std::uint32_t simd = 0;    ///< MXCSR (x86)
};
/// The state a host's thread normally runs with, flags cleared.
void SetDefaultFpu() noexcept;
FpuState ReadFpu() noexcept;
/// What a call left changed: a failure text for modes (and the invalid-operation and division-by-zero
/// flags when checkFlags), remarks for the other flags.
void CompareFpu(const FpuState& before, const FpuState& after, bool checkFlags, const std::string& what,
                Outcome& outcome);

// ---------------------------------------------------------------------------------------------------------
// Sessions

/// The usual host sequence up to processing: sample rate, block size, resume, start.
void StartSession(const Plugin& plugin, float rate, vst::Int32 block, bool startStop = true);
void StopSession(const Plugin& plugin, bool startStop = true);
/// Calls the replacing entry, or the accumulating one; false (and a failure) when the entry is missing.
bool Play(const Plugin& plugin, GuardedAudio& audio, vst::Int32 frames, bool accumulate);
std::string Describe(double value);

} // namespace ql::host::validate
