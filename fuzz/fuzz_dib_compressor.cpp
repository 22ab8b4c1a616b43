// Fuzz target: the compressed part of a framed value for one compressor (the input starts with a 4-byte
// size).
#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {
#if defined(QL_FUZZ_RLE)
const ql::TGUID& kId = ql::TRLEDIBCompressor::kGUID;
#else
const ql::TGUID& kId = ql::TLZHDIBCompressor::kGUID;
#endif
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = (ql::RegisterStandardCompressors(), true);
    (void)registered;
    if (size < 4) return 0;
    // The stated size is kept within 64 KB so that runs explore the coder rather than large allocations
    // (the limit on stated sizes has its own unit test).
    std::uint32_t stated = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                           static_cast<std::uint32_t>(data[2]) << 16;
    stated &= 0xFFFF;
    std::vector<std::uint8_t> value{'D', 'I', 'B', 'C', 'M', 'P'};
    value.insert(value.end(), kId.bytes.begin(), kId.bytes.end());
    for (int i = 0; i < 4; ++i)
        value.push_back(static_cast<std::uint8_t>(stated >> (8 * i)));
    value.insert(value.end(), data + 4, data + size);

    std::vector<std::uint8_t> payload;
    try {
        ql::DecompressDIBStream(nullptr, value, payload);
        if (payload.size() != stated) __builtin_trap();
        std::uint16_t w = 0, h = 0;
        ql::ValidateDIBPayload(payload, w, h);
        ql::TMemoryDIB img;
        img.ReadPixelData(value);
    } catch (const ql::Exception&) {
    }
    return 0;
}
