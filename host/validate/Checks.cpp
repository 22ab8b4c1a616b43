// Guarded buffers, test signals, floating-point state and session steps for the battery's tests.
#include "host/validate/Checks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#if defined(__x86_64__) || defined(__i386__)
#define QL_VALIDATE_X86 1
#else
#include <cfenv>
#endif

namespace ql::host::validate {

// ---------------------------------------------------------------------------------------------------------
// Context

Context::Context(const Options& options, const TestCase& test)
    : fOptions(options), fRng(options.seed ^ std::hash<std::string>{}(test.name)),
      fHost(std::make_shared<Host>()) {}

double Context::Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(fRng); }

int Context::Below(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(fRng); }

std::shared_ptr<PluginLibrary> Context::Library() {
    if (!fLibrary) fLibrary = PluginLibrary::Load(fOptions.pluginPath);
    return fLibrary;
}

std::unique_ptr<Plugin> Context::NewInstance(bool open) {
    auto plugin = Plugin::Create(Library(), fHost);
    if (open) plugin->Open();
    return plugin;
}

vst::Int32 WalkedParams(const Plugin& plugin) { return std::clamp(plugin.NumParams(), 0, kMaxWalked); }
vst::Int32 WalkedPrograms(const Plugin& plugin) { return std::clamp(plugin.NumPrograms(), 0, kMaxWalked); }

// ---------------------------------------------------------------------------------------------------------
// Texts

GuardedBuffer::GuardedBuffer(std::size_t size) : fSize(size), fBytes(size + 2 * kGuard, kGuardByte) {
    std::memset(fBytes.data() + kGuard, 0, size);
}

std::size_t GuardedBuffer::WrittenPastEnd() const noexcept {
    for (std::size_t i = fBytes.size(); i > kGuard + fSize; --i)
        if (fBytes[i - 1] != kGuardByte) return i - (kGuard + fSize);
    return 0;
}

bool GuardedBuffer::WroteBefore() const noexcept {
    for (std::size_t i = 0; i < kGuard; ++i)
        if (fBytes[i] != kGuardByte) return true;
    return false;
}

std::string GuardedBuffer::Text() const {
    const char* p = reinterpret_cast<const char*>(Bytes());
    return std::string(p, strnlen(p, fSize));
}

bool GuardedBuffer::Terminated() const noexcept { return std::memchr(Bytes(), 0, fSize) != nullptr; }

TextSize TextSizeFor(vst::Int32 opcode) {
    switch (opcode) {
    case vst::effGetParamLabel:
    case vst::effGetParamDisplay:
    case vst::effGetParamName:
        return {64, 8};
    case vst::effGetProgramName:
    case vst::effGetProgramNameIndexed:
        return {24, 24};
    case vst::effGetEffectName:
        return {32, 32};
    case vst::effGetVendorString:
    case vst::effGetProductString:
    case vst::effShellGetNextPlugin:
        return {64, 64};
    default: // effGetErrorText among them
        return {256, 256};
    }
}

void CheckTextBuffer(const GuardedBuffer& buffer, std::size_t standardSize, const std::string& what,
                     Outcome& outcome) {
    if (std::size_t past = buffer.WrittenPastEnd())
        outcome.Fail(what + " wrote " + std::to_string(past) + " byte(s) past its " +
                     std::to_string(buffer.Size()) + "-byte buffer");
    else if (buffer.WroteBefore())
        outcome.Fail(what + " wrote before the start of its buffer");
    else if (!buffer.Terminated())
        outcome.Fail(what + " left no terminating zero inside its " + std::to_string(buffer.Size()) +
                     "-byte buffer");
    else if (buffer.Text().size() + 1 > standardSize)
        // One remark per request, whatever the index or text: the point is the plug-in's habit.
        outcome.Note(what.substr(0, what.find_last_not_of(' ', what.find('(') - 1) + 1) +
                     " gives texts longer than the standard's " + std::to_string(standardSize) +
                     " bytes (within the " + std::to_string(buffer.Size()) + " hosts give)");
}

std::string CheckedText(const Plugin& plugin, vst::Int32 opcode, vst::Int32 index, vst::IntPtr value,
                        const std::string& what, Outcome& outcome, vst::IntPtr* reply) {
    TextSize size = TextSizeFor(opcode);
    GuardedBuffer buffer(size.host);
    vst::IntPtr r = plugin.Dispatch(opcode, index, value, buffer.Data());
    if (reply) *reply = r;
    CheckTextBuffer(buffer, size.standard, what, outcome);
    return buffer.Text();
}

// ---------------------------------------------------------------------------------------------------------
// Audio

namespace {

constexpr std::uint32_t kGuardBits = 0x7FC0DEADu; ///< a quiet NaN no plug-in computes by chance

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float FromBits(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

} // namespace

GuardedAudio::GuardedAudio(std::size_t inputs, std::size_t outputs, std::size_t frames, bool inPlace)
    : fInputs(inputs), fOutputs(outputs), fFrames(frames), fInPlace(inPlace) {
    std::size_t separateOutputs = inPlace ? (outputs > inputs ? outputs - inputs : 0) : outputs;
    fChannels.assign(inputs + separateOutputs, std::vector<float>(frames + 2 * kGuard, 0.0f));
    RestoreGuards();
    // Never empty arrays: a plug-in without inputs still gets a valid pointer to look at.
    fInPtr.assign(std::max<std::size_t>(inputs, 1), nullptr);
    fOutPtr.assign(std::max<std::size_t>(outputs, 1), nullptr);
    for (std::size_t c = 0; c < inputs; ++c)
        fInPtr[c] = fChannels[c].data() + kGuard;
    for (std::size_t c = 0; c < outputs; ++c) {
        std::size_t k = inPlace ? (c < inputs ? c : inputs + (c - inputs)) : inputs + c;
        fOutPtr[c] = fChannels[k].data() + kGuard;
    }
}

void GuardedAudio::RestoreGuards() {
    for (auto& ch : fChannels)
        for (std::size_t i = 0; i < kGuard; ++i) {
            ch[i] = FromBits(kGuardBits);
            ch[kGuard + fFrames + i] = FromBits(kGuardBits);
        }
}

void GuardedAudio::FillOutputs(float value) {
    for (std::size_t c = 0; c < fOutputs; ++c)
        std::fill_n(fOutPtr[c], fFrames, value);
}

void GuardedAudio::SnapshotInputs() {
    fSnapshot.clear();
    for (std::size_t c = 0; c < fInputs; ++c)
        fSnapshot.emplace_back(fInPtr[c], fInPtr[c] + fFrames);
}

bool GuardedAudio::InputsChanged() const {
    if (fFrames == 0) return false;
    for (std::size_t c = 0; c < fSnapshot.size(); ++c)
        if (std::memcmp(fSnapshot[c].data(), fInPtr[c], fFrames * sizeof(float)) != 0) return true;
    return false;
}

int GuardedAudio::DamagedGuard() const {
    for (std::size_t k = 0; k < fChannels.size(); ++k)
        for (std::size_t i = 0; i < kGuard; ++i)
            if (Bits(fChannels[k][i]) != kGuardBits || Bits(fChannels[k][kGuard + fFrames + i]) != kGuardBits)
                return static_cast<int>(k);
    return -1;
}

const char* SignalName(Signal s) {
    switch (s) {
    case Signal::Silence:
        return "silence";
    case Signal::Noise:
        return "noise";
    case Signal::FullScaleSine:
        return "full-scale sine";
    case Signal::PlusMinusOne:
        return "+1/-1 exactly";
    case Signal::Denormals:
        return "denormals";
    case Signal::NaN:
        return "NaN";
    case Signal::PlusInf:
        return "+Inf";
    case Signal::MinusInf:
        return "-Inf";
    case Signal::MixedNonFinite:
        return "noise with NaN and Inf";
    }
    return "?";
}

bool IsFinite(Signal s) {
    return s != Signal::NaN && s != Signal::PlusInf && s != Signal::MinusInf && s != Signal::MixedNonFinite;
}

void FillSignal(GuardedAudio& audio, Signal s, std::mt19937_64& rng, std::uint64_t position) {
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t c = 0; c < audio.Inputs(); ++c) {
        float* p = audio.In(c);
        for (std::size_t i = 0; i < audio.Frames(); ++i) {
            double t = static_cast<double>(position + i);
            switch (s) {
            case Signal::Silence:
                p[i] = 0.0f;
                break;
            case Signal::Noise:
                p[i] = noise(rng);
                break;
            case Signal::FullScaleSine:
                p[i] = static_cast<float>(std::sin(t * 0.0654 + static_cast<double>(c)));
                break;
            case Signal::PlusMinusOne:
                p[i] = ((i + c) & 1) ? -1.0f : 1.0f;
                break;
            case Signal::Denormals: {
                static constexpr float kTiny[] = {1e-40f,
                                                  -1e-40f,
                                                  std::numeric_limits<float>::denorm_min(),
                                                  -std::numeric_limits<float>::denorm_min(),
                                                  1e-39f,
                                                  0.0f};
                p[i] = kTiny[(i + c) % 6];
                break;
            }
            case Signal::NaN:
                p[i] = nan;
                break;
            case Signal::PlusInf:
                p[i] = inf;
                break;
            case Signal::MinusInf:
                p[i] = -inf;
                break;
            case Signal::MixedNonFinite:
                p[i] = i % 7 == 3 ? nan : i % 11 == 5 ? inf : i % 13 == 7 ? -inf : noise(rng);
                break;
            }
        }
    }
}

bool CheckBlock(GuardedAudio& audio, bool finiteInput, bool subnormalInput, const std::string& what,
                Outcome& outcome) {
    bool ok = true;
    if (int k = audio.DamagedGuard(); k >= 0) {
        outcome.Fail(what + ": wrote outside the " + std::to_string(audio.Frames()) +
                     " frames of a channel buffer (guard samples of buffer " + std::to_string(k) +
                     " changed)");
        audio.RestoreGuards();
        ok = false;
    }
    if (!audio.InPlace() && audio.InputsChanged()) {
        outcome.Fail(what + ": changed its input buffers");
        ok = false;
    }
    if (finiteInput) {
        for (std::size_t c = 0; c < audio.Outputs() && ok; ++c)
            for (std::size_t i = 0; i < audio.Frames(); ++i) {
                float v = audio.Out(c)[i];
                if (!std::isfinite(v)) {
                    outcome.Fail(what + ": output " + std::to_string(c) + " sample " + std::to_string(i) +
                                 " is " + Describe(v) + " for finite input");
                    ok = false;
                    break;
                }
                if (!subnormalInput && std::fpclassify(v) == FP_SUBNORMAL) {
                    outcome.Fail(what + ": output " + std::to_string(c) + " sample " + std::to_string(i) +
                                 " is subnormal (" + Describe(v) + ") for input without subnormals");
                    ok = false;
                    break;
                }
            }
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------------------
// Floating-point state

#if defined(QL_VALIDATE_X86)

void SetDefaultFpu() noexcept {
    // x87: all exceptions masked, double-extended precision, round to nearest; SSE: the same masks and
    // rounding, no flush-to-zero; every flag cleared.
    std::uint16_t cw = 0x037F;
    std::uint32_t mxcsr = 0x1F80;
    asm volatile("fnclex\n\tfldcw %0\n\tldmxcsr %1" : : "m"(cw), "m"(mxcsr) : "memory");
}

FpuState ReadFpu() noexcept {
    std::uint16_t cw = 0, sw = 0;
    std::uint32_t mxcsr = 0;
    asm volatile("fnstcw %0\n\tfnstsw %1\n\tstmxcsr %2" : "=m"(cw), "=m"(sw), "=m"(mxcsr) : : "memory");
    return FpuState{cw, sw, mxcsr};
}

namespace {

std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

std::string FlagNames(std::uint32_t flags) {
    static constexpr const char* kNames[] = {"invalid",  "denormal",  "divide-by-zero",
                                             "overflow", "underflow", "inexact"};
    std::string out;
    for (int b = 0; b < 6; ++b)
        if (flags & (1u << b)) out += (out.empty() ? "" : ", ") + std::string(kNames[b]);
    return out;
}

} // namespace

void CompareFpu(const FpuState& before, const FpuState& after, bool checkFlags, const std::string& what,
                Outcome& outcome) {
    if ((before.control & 0x1F3F) != (after.control & 0x1F3F))
        outcome.Fail(what + " left the x87 control word changed (" + Hex(before.control) + " -> " +
                     Hex(after.control) + ")");
    if ((before.simd & ~0x3Fu) != (after.simd & ~0x3Fu))
        outcome.Fail(what + " left the SSE control and status register's modes changed (" + Hex(before.simd) +
                     " -> " + Hex(after.simd) + ")");
    if ((after.status & 0x3800) != (before.status & 0x3800) || (after.status & 0x40))
        outcome.Fail(what + " left the x87 register stack unbalanced (status word " + Hex(after.status) +
                     ")");
    std::uint32_t raised = ((after.simd & ~before.simd) | (after.status & ~before.status)) & 0x3F;
    if (!checkFlags || raised == 0) return;
    // Invalid operations and divisions by zero on finite input are faults a caller can see; the other flags
    // are raised by ordinary arithmetic.
    if (raised & 0x05)
        outcome.Fail(what + " left the " + FlagNames(raised & 0x05) +
                     " exception flag(s) set for finite input");
    if (raised & ~0x05u)
        outcome.Note("calls left the " + FlagNames(raised & ~0x05u) + " flag(s) set (harmless; e.g. " + what +
                     ")");
}

#else

void SetDefaultFpu() noexcept {
    std::fesetenv(FE_DFL_ENV);
    std::feclearexcept(FE_ALL_EXCEPT);
}

FpuState ReadFpu() noexcept {
    FpuState s;
    s.control = static_cast<std::uint32_t>(std::fegetround());
    s.status = static_cast<std::uint32_t>(std::fetestexcept(FE_ALL_EXCEPT));
    return s;
}

void CompareFpu(const FpuState& before, const FpuState& after, bool checkFlags, const std::string& what,
                Outcome& outcome) {
    if (before.control != after.control) outcome.Fail(what + " left the rounding mode changed");
    std::uint32_t raised = after.status & ~before.status;
    if (checkFlags && (raised & (FE_INVALID | FE_DIVBYZERO)))
        outcome.Fail(what + " left the invalid or divide-by-zero flag set for finite input");
}

#endif

// ---------------------------------------------------------------------------------------------------------
// Sessions

void StartSession(const Plugin& plugin, float rate, vst::Int32 block, bool startStop) {
    plugin.SetSampleRate(rate);
    plugin.SetBlockSize(block);
    plugin.Resume();
    if (startStop) plugin.StartProcess();
}

void StopSession(const Plugin& plugin, bool startStop) {
    if (startStop) plugin.StopProcess();
    plugin.Suspend();
}

bool Play(const Plugin& plugin, GuardedAudio& audio, vst::Int32 frames, bool accumulate) {
    if (accumulate)
        plugin.Process(audio.InPointers(), audio.OutPointers(), frames);
    else
        plugin.ProcessReplacing(audio.InPointers(), audio.OutPointers(), frames);
    return true;
}

std::string Describe(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

} // namespace ql::host::validate
