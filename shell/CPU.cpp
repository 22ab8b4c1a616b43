// Processor identification from CPUID leaves 0, 1, 2 and the extended leaves.
#include "shell/CPU.h"

#include <cstring>

namespace ql::vst {

const TEnumType& CPUVendorType() {
    static const TEnumType t{"TCPUVendor",
                             {"cvUnknown", "cvAMD", "cvCentaur", "cvCyrix", "cvIntel", "cvTransmeta",
                              "cvNexGen", "cvRise", "cvUMC", "cvNSC", "cvSiS"}};
    return t;
}

const TEnumType& CPUInstructionType() {
    static const TEnumType t{"TCPUInstruction",
                             {"isFPU", "isTSC", "isCX8", "isSEP", "isCMOV", "isMMX", "isFXSR", "isSSE",
                              "isSSE2", "isSSE3", "isMONITOR", "isCX16", "isX64", "isExMMX", "isEx3DNow",
                              "is3DNow"}};
    return t;
}

const TClassInfo& TCPU::StaticClass() {
    static TClassInfo info("TCPU", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TCPU> b(i);
        b.Enum("Vendor", CPUVendorType(), &TCPU::Vendor, nullptr);
        b.Integer("Signature", &TCPU::Signature, nullptr, 0, "Cardinal");
        b.Integer("EffFamily", &TCPU::EffFamily, nullptr, 0, "Byte");
        b.Integer("EffModel", &TCPU::EffModel, nullptr, 0, "Byte");
        b.Integer("CodeL1CacheSize", &TCPU::CodeL1CacheSize, nullptr, 0, "Word");
        b.Integer("DataL1CacheSize", &TCPU::DataL1CacheSize, nullptr, 0, "Word");
        b.Integer("L2CacheSize", &TCPU::L2CacheSize, nullptr, 0, "Word");
        b.Integer("L3CacheSize", &TCPU::L3CacheSize, nullptr, 0, "Word");
        b.SetOf("Instructions", "TCPUInstructions", CPUInstructionType(), &TCPU::Instructions, nullptr);
    });
}

void TRecordedCPUID::SetVendor(const char* text12, uint32_t maxLeaf) {
    TCPUIDResult r;
    r.eax = maxLeaf;
    std::memcpy(&r.ebx, text12, 4);
    std::memcpy(&r.edx, text12 + 4, 4);
    std::memcpy(&r.ecx, text12 + 8, 4);
    leaves[0] = {r};
}

TCPUIDResult TRecordedCPUID::Query(uint32_t leaf) {
    auto it = leaves.find(leaf);
    if (it == leaves.end() || it->second.empty()) return {};
    size_t n = calls[leaf]++;
    return it->second[n < it->second.size() ? n : it->second.size() - 1];
}

TCPU::TCPU() { Detect(NativeCPUID()); }
TCPU::TCPU(TCPUIDSource& source) { Detect(source); }

void TCPU::Detect(TCPUIDSource& source) {
    // Detection never fails the module: whatever was found before an error stays.
    try {
        DetectSteps(source);
    } catch (...) {
    }
}

namespace {
bool Bit(uint32_t reg, int bit) { return (reg >> bit) & 1u; }

struct VendorText {
    TCPUVendor vendor;
    const char* text;
};
// SiS processors report "SiS SiS SiS " with a trailing blank, like UMC's text.
const VendorText kVendors[] = {
    {cvAMD, "AuthenticAMD"},   {cvCentaur, "CentaurHauls"},   {cvCyrix, "CyrixInstead"},
    {cvIntel, "GenuineIntel"}, {cvTransmeta, "GenuineTMx86"}, {cvNexGen, "NexGenDriven"},
    {cvRise, "RiseRiseRise"},  {cvUMC, "UMC UMC UMC "},       {cvNSC, "Geode by NSC"},
    {cvSiS, "SiS SiS SiS "},
};
} // namespace

void TCPU::DetectSteps(TCPUIDSource& source) {
    if (!source.HasCPUID()) {
        if (source.ProbeFPU()) Add(isFPU);
        return;
    }

    TCPUIDResult r0 = source.Query(0);
    uint32_t maxLeaf = r0.eax;
    char vendor[13];
    std::memcpy(vendor, &r0.ebx, 4);
    std::memcpy(vendor + 4, &r0.edx, 4);
    std::memcpy(vendor + 8, &r0.ecx, 4);
    vendor[12] = '\0';
    fVendor = cvUnknown;
    for (int i = static_cast<int>(std::size(kVendors)) - 1; i >= 0; --i)
        if (std::memcmp(vendor, kVendors[i].text, 12) == 0) {
            fVendor = kVendors[i].vendor;
            break;
        }

    if (maxLeaf >= 1) {
        TCPUIDResult r1 = source.Query(1);
        fSignature = r1.eax;
        fEffFamily = static_cast<uint8_t>((r1.eax >> 8) & 0xF);
        fEffModel = static_cast<uint8_t>((r1.eax >> 4) & 0xF);
        if (fEffFamily == 15) {
            fEffFamily = static_cast<uint8_t>(fEffFamily + ((r1.eax >> 20) & 0xFF));
            fEffModel = static_cast<uint8_t>(fEffModel + ((r1.eax >> 16) & 0xF) * 16);
        }
        const uint32_t edx = r1.edx, ecx = r1.ecx;
        if (Bit(edx, 0)) Add(isFPU);
        if (Bit(edx, 4)) Add(isTSC);
        if (Bit(edx, 8)) Add(isCX8);
        // Early Pentium Pro steppings report SYSENTER without supporting it properly.
        if (Bit(edx, 11) && !(fVendor == cvIntel && (fSignature & 0x0FFF3FFF) < 0x633)) Add(isSEP);
        if (Bit(edx, 15)) Add(isCMOV);
        if (Bit(edx, 23)) Add(isMMX);
        if (Bit(edx, 24)) Add(isFXSR);
        if (Bit(edx, 25)) Add(isSSE);
        if (Bit(edx, 26)) Add(isSSE2);
        if (Bit(ecx, 0)) Add(isSSE3);
        if (Bit(ecx, 3) && fVendor == cvIntel) Add(isMONITOR);
        if (Bit(ecx, 13)) Add(isCX16);
    }

    if (maxLeaf >= 2) {
        TCPUIDResult r2 = source.Query(2);
        const int calls = static_cast<int>(r2.eax & 0xFF);
        for (int k = 1; k <= calls; ++k) {
            const uint32_t regs[4] = {r2.eax, r2.ebx, r2.ecx, r2.edx};
            for (int reg = 0; reg < 4; ++reg)
                for (int byte = (reg == 0 ? 1 : 0); byte < 4; ++byte)
                    ApplyDescriptor(static_cast<uint8_t>(regs[reg] >> (8 * byte)));
            if (k < calls) r2 = source.Query(2);
        }
    }

    const uint32_t maxExt = source.Query(0x80000000u).eax;
    if (maxExt >= 0x80000001u) {
        const uint32_t edx = source.Query(0x80000001u).edx;
        if (Bit(edx, 29)) Add(isX64);
        if (Bit(edx, 22)) Add(isExMMX);
        if (Bit(edx, 30)) Add(isEx3DNow);
        if (Bit(edx, 31)) Add(is3DNow);
    }

    if (Has(isSSE) && !source.TrySSE()) {
        Remove(isSSE);
        Remove(isSSE2);
        Remove(isSSE3);
    }

    if (maxExt >= 0x80000006u) {
        if (fVendor != cvCyrix && fVendor != cvIntel) {
            TCPUIDResult r5 = source.Query(0x80000005u);
            fCodeL1CacheSize = static_cast<uint16_t>(r5.edx >> 24);
            fDataL1CacheSize = static_cast<uint16_t>(r5.ecx >> 24);
        }
        TCPUIDResult r6 = source.Query(0x80000006u);
        if (fVendor == cvAMD && (fSignature & 0xFFF) == 0x630)
            fL2CacheSize = 64; // this Duron stepping reports its level-2 size wrongly
        else if (fVendor == cvCentaur && fEffFamily == 6 && (fEffModel == 7 || fEffModel == 8))
            fL2CacheSize = static_cast<uint16_t>(r6.ecx >> 24);
        else
            fL2CacheSize = static_cast<uint16_t>(r6.ecx >> 16);
    }
}

void TCPU::ApplyDescriptor(uint8_t d) {
    const bool cyrixLike = fVendor == cvCyrix || fVendor == cvNSC;
    switch (d) {
    case 0x06:
        fCodeL1CacheSize = 8;
        break;
    case 0x08:
        fCodeL1CacheSize = 16;
        break;
    case 0x30:
        fCodeL1CacheSize = 32;
        break;
    case 0x70:
        if (!cyrixLike) fCodeL1CacheSize = 12;
        break;
    case 0x71:
        fCodeL1CacheSize = 16;
        break;
    case 0x72:
        fCodeL1CacheSize = 32;
        break;
    case 0x0A:
        fDataL1CacheSize = 8;
        break;
    case 0x0C:
        fDataL1CacheSize = 16;
        break;
    case 0x2C:
        fDataL1CacheSize = 32;
        break;
    case 0x60:
        fDataL1CacheSize = 16;
        break;
    case 0x66:
        fDataL1CacheSize = 8;
        break;
    case 0x67:
        fDataL1CacheSize = 16;
        break;
    case 0x68:
        fDataL1CacheSize = 32;
        break;
    case 0x80:
        if (cyrixLike) fCodeL1CacheSize = fDataL1CacheSize = 8;
        break;
    case 0x39:
    case 0x3B:
    case 0x41:
    case 0x79:
        fL2CacheSize = 128;
        break;
    case 0x3C:
    case 0x42:
    case 0x7A:
    case 0x82:
        fL2CacheSize = 256;
        break;
    case 0x43:
    case 0x7B:
    case 0x7F:
    case 0x83:
    case 0x86:
        fL2CacheSize = 512;
        break;
    case 0x44:
    case 0x78:
    case 0x7C:
    case 0x84:
    case 0x87:
        fL2CacheSize = 1024;
        break;
    case 0x45:
    case 0x7D:
    case 0x85:
        fL2CacheSize = 2048;
        break;
    case 0x22:
        fL3CacheSize = 512;
        break;
    case 0x23:
        fL3CacheSize = 1024;
        break;
    case 0x25:
        fL3CacheSize = 2048;
        break;
    case 0x29:
        fL3CacheSize = 4096;
        break;
    case 0x40:
        if (fL2CacheSize != 0) fL3CacheSize = 0;
        break;
    default:
        break;
    }
}

} // namespace ql::vst
