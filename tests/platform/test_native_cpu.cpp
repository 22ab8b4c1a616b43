// Processor detection on the machine (or emulator) the build runs on, against what the compiler's runtime
// sees.
#include "shell/CPU.h"

#include <gtest/gtest.h>

using namespace ql::vst;

// The CPUID path differs per compiler and width (<cpuid.h> on MinGW and Linux, 32 and 64 bit); the compiler's
// own feature probe reads the same registers by another route, so the two must agree wherever the tests run.
TEST(NativeProcessor, DetectionAgreesWithTheCompilersOwnFeatureProbe) {
    __builtin_cpu_init();
    TCPU cpu;
    EXPECT_TRUE(cpu.Has(isFPU));
    EXPECT_TRUE(cpu.Has(isTSC));
    EXPECT_EQ(cpu.Has(isCMOV), __builtin_cpu_supports("cmov") != 0);
    EXPECT_EQ(cpu.Has(isMMX), __builtin_cpu_supports("mmx") != 0);
    EXPECT_EQ(cpu.Has(isSSE), __builtin_cpu_supports("sse") != 0);
    EXPECT_EQ(cpu.Has(isSSE2), __builtin_cpu_supports("sse2") != 0);
    EXPECT_EQ(cpu.Has(isSSE3), __builtin_cpu_supports("sse3") != 0);
    if (__builtin_cpu_is("intel")) {
        EXPECT_EQ(cpu.Vendor(), cvIntel);
    } else if (__builtin_cpu_is("amd")) {
        EXPECT_EQ(cpu.Vendor(), cvAMD);
    }
    EXPECT_NE(cpu.Signature(), 0u);
}
