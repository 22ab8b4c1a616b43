// Processor identification: vendor, signature, cache sizes and instruction-set extensions.
#pragma once

#include "runtime/Classes.h"

#include <cstdint>
#include <map>
#include <vector>

namespace ql::vst {

enum TCPUVendor : uint8_t {
    cvUnknown,
    cvAMD,
    cvCentaur,
    cvCyrix,
    cvIntel,
    cvTransmeta,
    cvNexGen,
    cvRise,
    cvUMC,
    cvNSC,
    cvSiS
};

enum TCPUInstruction : uint8_t {
    isFPU,
    isTSC,
    isCX8,
    isSEP,
    isCMOV,
    isMMX,
    isFXSR,
    isSSE,
    isSSE2,
    isSSE3,
    isMONITOR,
    isCX16,
    isX64,
    isExMMX,
    isEx3DNow,
    is3DNow
};

/// A set of TCPUInstruction: bit n is the member with ordinal n.
using TCPUInstructions = uint16_t;

struct TCPUIDResult {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

/// Where detection gets its answers: the real processor, or registers recorded elsewhere (tests).
class TCPUIDSource {
  public:
    virtual ~TCPUIDSource() = default;
    virtual bool HasCPUID() = 0;
    /// One CPUID query with the leaf in EAX and 0 in ECX.
    virtual TCPUIDResult Query(uint32_t leaf) = 0;
    /// The FPU probe used when there is no CPUID instruction.
    virtual bool ProbeFPU() = 0;
    /// Runs one SSE instruction; false when the operating system does not allow SSE state.
    virtual bool TrySSE() = 0;
};

/// The executing processor.
TCPUIDSource& NativeCPUID();

/// Answers recorded in advance: each leaf has a list of results given out in turn (the last
/// one repeats), so repeated leaf-2 queries can differ as they do on real processors.
class TRecordedCPUID : public TCPUIDSource {
  public:
    bool hasCPUID = true;
    bool fpuProbe = true;
    bool sseWorks = true;
    std::map<uint32_t, std::vector<TCPUIDResult>> leaves;
    std::map<uint32_t, size_t> calls;

    /// Leaf 0 from a 12-character vendor text and the highest standard leaf.
    void SetVendor(const char* text12, uint32_t maxLeaf);

    bool HasCPUID() override { return hasCPUID; }
    TCPUIDResult Query(uint32_t leaf) override;
    bool ProbeFPU() override { return fpuProbe; }
    bool TrySSE() override { return sseWorks; }
};

class TCPU : public TPersistent {
    QL_CLASS(TCPU)
  public:
    /// Detects the executing processor.
    TCPU();
    /// Detects from the given source (recorded registers in tests).
    explicit TCPU(TCPUIDSource& source);

    TCPUVendor Vendor() const { return fVendor; }
    uint32_t Signature() const { return fSignature; }
    uint8_t EffFamily() const { return fEffFamily; }
    uint8_t EffModel() const { return fEffModel; }
    uint16_t CodeL1CacheSize() const { return fCodeL1CacheSize; }
    uint16_t DataL1CacheSize() const { return fDataL1CacheSize; }
    uint16_t L2CacheSize() const { return fL2CacheSize; }
    uint16_t L3CacheSize() const { return fL3CacheSize; }
    TCPUInstructions Instructions() const { return fInstructions; }
    bool Has(TCPUInstruction i) const { return (fInstructions >> i) & 1u; }

  private:
    void Detect(TCPUIDSource& source);
    void DetectSteps(TCPUIDSource& source);
    void Add(TCPUInstruction i) { fInstructions = static_cast<TCPUInstructions>(fInstructions | (1u << i)); }
    void Remove(TCPUInstruction i) {
        fInstructions = static_cast<TCPUInstructions>(fInstructions & ~(1u << i));
    }
    void ApplyDescriptor(uint8_t d);

    TCPUVendor fVendor = cvUnknown;
    uint32_t fSignature = 0;
    uint8_t fEffFamily = 0;
    uint8_t fEffModel = 0;
    uint16_t fCodeL1CacheSize = 0;
    uint16_t fDataL1CacheSize = 0;
    uint16_t fL2CacheSize = 0;
    uint16_t fL3CacheSize = 0;
    TCPUInstructions fInstructions = 0;
};

const TEnumType& CPUVendorType();
const TEnumType& CPUInstructionType();

} // namespace ql::vst
