// Processor detection on recorded CPUID registers and on the real processor.
#include "shell/CPU.h"

#include <gtest/gtest.h>

using namespace ql::vst;

namespace {

TCPUIDResult Regs(uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0) { return {a, b, c, d}; }

TRecordedCPUID Intel(uint32_t signature, uint32_t edx1) {
    TRecordedCPUID src;
    src.SetVendor("GenuineIntel", 1);
    src.leaves[1] = {Regs(signature, 0, 0, edx1)};
    return src;
}

} // namespace

TEST(CPU, VendorIsMatchedOnTheWholeTwelveCharacters) {
    const std::pair<const char*, TCPUVendor> cases[] = {
        {"AuthenticAMD", cvAMD},   {"CentaurHauls", cvCentaur},   {"CyrixInstead", cvCyrix},
        {"GenuineIntel", cvIntel}, {"GenuineTMx86", cvTransmeta}, {"NexGenDriven", cvNexGen},
        {"RiseRiseRise", cvRise},  {"UMC UMC UMC ", cvUMC},       {"Geode by NSC", cvNSC},
        {"SiS SiS SiS ", cvSiS},   {"GenuineIntex", cvUnknown},   {"HygonGenuine", cvUnknown},
    };
    for (auto [text, vendor] : cases) {
        TRecordedCPUID src;
        src.SetVendor(text, 0);
        EXPECT_EQ(TCPU(src).Vendor(), vendor) << text;
    }
}

TEST(CPU, SysenterIsHiddenOnEarlyIntelSteppingsOnly) {
    const uint32_t sepBit = 1u << 11;
    auto early = Intel(0x611, sepBit);
    EXPECT_FALSE(TCPU(early).Has(isSEP));
    auto fixed = Intel(0x633, sepBit);
    EXPECT_TRUE(TCPU(fixed).Has(isSEP));
    TRecordedCPUID amd;
    amd.SetVendor("AuthenticAMD", 1);
    amd.leaves[1] = {Regs(0x611, 0, 0, sepBit)};
    EXPECT_TRUE(TCPU(amd).Has(isSEP));
}

TEST(CPU, FamilyAndModelIncludeTheExtendedFieldsForFamily15) {
    TRecordedCPUID src;
    src.SetVendor("AuthenticAMD", 1);
    src.leaves[1] = {Regs(0x00100F22)};
    TCPU cpu(src);
    EXPECT_EQ(cpu.EffFamily(), 16);
    EXPECT_EQ(cpu.EffModel(), 2);
    EXPECT_EQ(cpu.Signature(), 0x00100F22u);

    src.leaves[1] = {Regs(0x000506E3)}; // family 6: extended fields ignored
    src.calls.clear();
    TCPU other(src);
    EXPECT_EQ(other.EffFamily(), 6);
    EXPECT_EQ(other.EffModel(), 14);
}

TEST(CPU, InstructionBitsComeFromLeafOneAndTheExtendedLeaf) {
    TRecordedCPUID src;
    src.SetVendor("GenuineIntel", 1);
    const uint32_t edx =
        (1u << 0) | (1u << 4) | (1u << 8) | (1u << 15) | (1u << 23) | (1u << 24) | (1u << 25) | (1u << 26);
    src.leaves[1] = {Regs(0x906EA, 0, (1u << 0) | (1u << 3) | (1u << 13), edx)};
    src.leaves[0x80000000u] = {Regs(0x80000001u)};
    src.leaves[0x80000001u] = {Regs(0, 0, 0, (1u << 29) | (1u << 22) | (1u << 30) | (1u << 31))};
    TCPU cpu(src);
    for (auto i : {isFPU, isTSC, isCX8, isCMOV, isMMX, isFXSR, isSSE, isSSE2, isSSE3, isMONITOR, isCX16,
                   isX64, isExMMX, isEx3DNow, is3DNow})
        EXPECT_TRUE(cpu.Has(i)) << int(i);
    EXPECT_FALSE(cpu.Has(isSEP));

    // MONITOR counts only for Intel; an operating system without SSE state removes all SSE levels.
    src.SetVendor("AuthenticAMD", 1);
    src.calls.clear();
    src.sseWorks = false;
    TCPU amd(src);
    EXPECT_FALSE(amd.Has(isMONITOR));
    EXPECT_FALSE(amd.Has(isSSE));
    EXPECT_FALSE(amd.Has(isSSE2));
    EXPECT_FALSE(amd.Has(isSSE3));
    EXPECT_TRUE(amd.Has(isMMX));
}

TEST(CPU, WithoutCpuidOnlyTheFpuProbeCounts) {
    TRecordedCPUID src;
    src.hasCPUID = false;
    EXPECT_EQ(TCPU(src).Instructions(), 1u << isFPU);
    src.fpuProbe = false;
    EXPECT_EQ(TCPU(src).Instructions(), 0u);
    EXPECT_EQ(TCPU(src).Vendor(), cvUnknown);
}

TEST(CPU, LeafTwoDescriptorsAcrossSeveralCalls) {
    TRecordedCPUID src;
    src.SetVendor("GenuineIntel", 2);
    // First call: 2 calls in all; descriptors 0x40 (before any L2: no effect), 0x2C, 0x30, 0x22.
    // Second call: 0x43 (L2 512), then 0x40 again (now clears L3), 0xFF (unknown, ignored).
    src.leaves[2] = {Regs(0x2C304002, 0x00000022, 0, 0), Regs(0xFF404302, 0, 0, 0)};
    TCPU cpu(src);
    EXPECT_EQ(cpu.DataL1CacheSize(), 32);
    EXPECT_EQ(cpu.CodeL1CacheSize(), 32);
    EXPECT_EQ(cpu.L2CacheSize(), 512);
    EXPECT_EQ(cpu.L3CacheSize(), 0);
    EXPECT_EQ(src.calls[2], 2u);

    TRecordedCPUID one;
    one.SetVendor("GenuineIntel", 2);
    one.leaves[2] = {Regs(0x00224001)}; // 0x40 with no L2 yet keeps the L3 size from 0x22 after it
    EXPECT_EQ(TCPU(one).L3CacheSize(), 512);
}

TEST(CPU, CyrixOnlyDescriptors) {
    TRecordedCPUID src;
    src.SetVendor("CyrixInstead", 2);
    src.leaves[2] = {Regs(0x00708001)};
    TCPU cyrix(src);
    EXPECT_EQ(cyrix.CodeL1CacheSize(), 8); // 0x80 sets both, 0x70 is not for Cyrix
    EXPECT_EQ(cyrix.DataL1CacheSize(), 8);

    src.SetVendor("GenuineIntel", 2);
    src.calls.clear();
    TCPU intel(src);
    EXPECT_EQ(intel.CodeL1CacheSize(), 12);
    EXPECT_EQ(intel.DataL1CacheSize(), 0);
}

TEST(CPU, ExtendedCacheLeaves) {
    TRecordedCPUID src;
    src.SetVendor("AuthenticAMD", 1);
    src.leaves[1] = {Regs(0x630)};
    src.leaves[0x80000000u] = {Regs(0x80000006u)};
    src.leaves[0x80000005u] = {Regs(0, 0, 64u << 24, 32u << 24)};
    src.leaves[0x80000006u] = {Regs(0, 0, 256u << 16, 0)};
    TCPU duron(src);
    EXPECT_EQ(duron.DataL1CacheSize(), 64);
    EXPECT_EQ(duron.CodeL1CacheSize(), 32);
    EXPECT_EQ(duron.L2CacheSize(), 64);

    src.leaves[1] = {Regs(0x6A0)};
    src.calls.clear();
    EXPECT_EQ(TCPU(src).L2CacheSize(), 256);

    // Exactly 0x80000005: the extended cache leaves are not read at all.
    src.leaves[0x80000000u] = {Regs(0x80000005u)};
    src.calls.clear();
    TCPU older(src);
    EXPECT_EQ(older.DataL1CacheSize(), 0);
    EXPECT_EQ(src.calls.count(0x80000005u), 0u);

    TRecordedCPUID via;
    via.SetVendor("CentaurHauls", 1);
    via.leaves[1] = {Regs(0x670)};
    via.leaves[0x80000000u] = {Regs(0x80000006u)};
    via.leaves[0x80000006u] = {Regs(0, 0, 0x40000000u, 0)};
    EXPECT_EQ(TCPU(via).L2CacheSize(), 64);
}

TEST(CPU, RealProcessorHasTheBasics) {
    TCPU cpu;
    EXPECT_TRUE(cpu.Has(isFPU));
    EXPECT_TRUE(cpu.Has(isSSE2));
    EXPECT_NE(cpu.Signature(), 0u);
    EXPECT_EQ(cpu.ClassType().FindProperty("Instructions")->GetOrd(cpu), cpu.Instructions());
}
