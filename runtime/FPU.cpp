// x87 and SSE control-state handling and x87 primitives, in GCC-style inline assembly for i686 and x86-64.
#include "runtime/FPU.h"

#include <cmath>

#if !defined(__i386__) && !defined(__x86_64__)
#error "runtime/FPU.cpp supports x86 processors only"
#endif

namespace ql {
namespace {

constexpr std::uint32_t kMXCSRFlags = 0x003F;         // IE DE ZE OE UE PE
constexpr std::uint32_t kMXCSRMasks = 0x1F80;         // IM DM ZM OM UM PM
constexpr std::uint32_t kMXCSRFlushToZero = 0x8000;   // FZ
constexpr std::uint32_t kMXCSRDenormalsZero = 0x0040; // DAZ

// Precision control 64-bit, rounding to nearest, every exception masked; reserved bits kept as found.
constexpr std::uint16_t kControlClear = 0x0F3F;
constexpr std::uint16_t kControlSet = 0x033F;

bool DetectMXCSR() noexcept {
#if defined(__x86_64__)
    return true;
#else
    // CPUID exists on every processor that can run this library's 32-bit build (i586 and later); bit 25 of
    // EDX of leaf 1 says whether SSE (and so MXCSR) is there.
    unsigned eax = 1, ebx, ecx = 0, edx;
    __asm__ volatile("cpuid" : "+a"(eax), "=b"(ebx), "+c"(ecx), "=d"(edx));
    return (edx >> 25) & 1u;
#endif
}

const bool gHasMXCSR = DetectMXCSR();

inline std::uint32_t ReadMXCSR() noexcept {
    std::uint32_t value = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(value));
    return value;
}

inline void WriteMXCSR(std::uint32_t value) noexcept { __asm__ volatile("ldmxcsr %0" : : "m"(value)); }

} // namespace

namespace fpu {

std::uint16_t ControlWord() noexcept {
    std::uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

void SetControlWord(std::uint16_t word) noexcept { __asm__ volatile("fldcw %0" : : "m"(word)); }

std::uint16_t StatusWord() noexcept {
    std::uint16_t word;
    __asm__ volatile("fnstsw %0" : "=m"(word));
    return word;
}

bool HasMXCSR() noexcept { return gHasMXCSR; }

std::uint32_t MXCSR() noexcept { return gHasMXCSR ? ReadMXCSR() : 0; }

void SetMXCSR(std::uint32_t value) noexcept {
    if (gHasMXCSR) WriteMXCSR(value);
}

long double LnExtended(long double x) noexcept {
    long double result;
    __asm__("fldln2\n\t"
            "fxch %%st(1)\n\t"
            "fyl2x"
            : "=t"(result)
            : "0"(x));
    return result;
}

long double ExpExtended(long double z) noexcept {
    if (std::isinf(z)) return z > 0 ? z : 0.0L;
    long double result;
    // st0 = z·log2 e; n = round(st0); f = st0 − n in [-0.5, 0.5] where F2XM1 is exact to the last bit or so;
    // result = (2^f − 1 + 1) · 2^n.
    __asm__("fldl2e\n\t"
            "fmulp %%st, %%st(1)\n\t"
            "fld %%st(0)\n\t"
            "frndint\n\t"
            "fxch %%st(1)\n\t"
            "fsub %%st(1), %%st\n\t"
            "f2xm1\n\t"
            "fld1\n\t"
            "faddp %%st, %%st(1)\n\t"
            "fscale\n\t"
            "fstp %%st(1)"
            : "=t"(result)
            : "0"(z));
    return result;
}

std::int64_t RoundToInt64(long double x) noexcept {
    std::int64_t result;
    __asm__("fistpll %0" : "=m"(result) : "t"(x) : "st");
    return result;
}

} // namespace fpu

void SetStartupControlWord() noexcept {
    fpu::SetControlWord(kStartupControlWord);
    if (gHasMXCSR) {
        const std::uint32_t old = ReadMXCSR();
        WriteMXCSR((old & (kMXCSRFlags | kMXCSRFlushToZero | kMXCSRDenormalsZero)) | kMXCSRMasks);
    }
}

TFPUGuard::TFPUGuard() noexcept : fMXCSR(0) {
    // FNSTENV masks every x87 exception after storing; the control word is then set explicitly anyway.
    __asm__ volatile("fnstenv %0" : "=m"(fEnvironment));
    const std::uint16_t word = static_cast<std::uint16_t>((fEnvironment[0] & ~kControlClear) | kControlSet);
    fpu::SetControlWord(word);
    if (gHasMXCSR) {
        fMXCSR = ReadMXCSR();
        // Keep the flags as they were so that the exit restore is the only write the caller can observe;
        // flush-to-zero and denormals-are-zero are off because the reference arithmetic keeps subnormals.
        WriteMXCSR((fMXCSR & kMXCSRFlags) | kMXCSRMasks);
    }
}

TFPUGuard::~TFPUGuard() noexcept {
    if (gHasMXCSR) WriteMXCSR(fMXCSR);
    // FLDENV brings back control word, status word (flags) and tag word as they were on entry; the x87 stack
    // is empty at both points because the guard spans whole statements.
    __asm__ volatile("fldenv %0" : : "m"(fEnvironment));
}

} // namespace ql
