// Floating-point control: the load-time control word, a guard for audio callbacks, extended-precision
// primitives.
#pragma once

#include <cstdint>

namespace ql {

/// x87 control word loaded at library start-up: all six exceptions masked, 64-bit mantissa, round to nearest.
inline constexpr std::uint16_t kStartupControlWord = 0x133F;

/// Loads kStartupControlWord on the calling thread; on processors with SSE it also masks every SSE exception
/// and selects round-to-nearest in MXCSR, leaving flush-to-zero, denormals-are-zero and the status flags as
/// the thread had them (the host owns those for its own code; the audio path sets what it needs itself).
void SetStartupControlWord() noexcept;

/// Establishes the arithmetic the quantiser needs (round to nearest, every exception masked, 64-bit x87
/// mantissa, no flush-to-zero) for one scope and restores the caller's control and status state exactly on
/// exit, including exception flags raised inside. No allocation, no system call; cheap enough for once per
/// block.
class TFPUGuard {
  public:
    TFPUGuard() noexcept;
    ~TFPUGuard() noexcept;
    TFPUGuard(const TFPUGuard&) = delete;
    TFPUGuard& operator=(const TFPUGuard&) = delete;

  private:
    std::uint16_t fEnvironment[14]; // x87 environment as FNSTENV stores it (28 bytes)
    std::uint32_t fMXCSR;
};

namespace fpu {

std::uint16_t ControlWord() noexcept;
void SetControlWord(std::uint16_t word) noexcept;
/// x87 status word (exception flags in bits 0..5).
std::uint16_t StatusWord() noexcept;
/// True when the processor has MXCSR (always on x86-64).
bool HasMXCSR() noexcept;
/// MXCSR, or 0 when the processor has none.
std::uint32_t MXCSR() noexcept;
void SetMXCSR(std::uint32_t value) noexcept;

/// Natural logarithm on the x87 unit (ln 2 × log2 x, FYL2X), in the current precision control.
long double LnExtended(long double x) noexcept;
/// e^z as 2^(z·log2 e), split into integer (FSCALE) and fractional (F2XM1) powers of two; e^+inf is +inf and
/// e^-inf is 0 rather than the NaN the bare split would give (inf − inf).
long double ExpExtended(long double z) noexcept;
/// Converts to a 64-bit integer in the current rounding mode (FISTP); out of range gives INT64_MIN.
std::int64_t RoundToInt64(long double x) noexcept;

} // namespace fpu
} // namespace ql
