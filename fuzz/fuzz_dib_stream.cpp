// Fuzz target: any stored image value (plain or framed, any compressor) read into an image.
#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = (ql::RegisterStandardCompressors(), true);
    (void)registered;
    // Values that claim more than 1 MB are left to the unit tests of the size limit: each would
    // spend most of a run zeroing memory instead of exploring the decoders.
    const ql::TDIBStreamInfo info = ql::InspectDIBStream({data, size});
    if (info.compressed && info.uncompressedSize > (1u << 20)) return 0;
    ql::TMemoryDIB img(2, 2);
    std::memset(img.Bits(), 0x5A, 16);
    try {
        img.ReadPixelData(std::vector<std::uint8_t>(data, data + size));
        // Whatever was read must be a whole, consistent image, or one with a zero side and no pixels.
        if (img.Bits() ? img.PlainPayload().size() != 4 + std::size_t{img.Width()} * img.Height() * 4
                       : img.Width() != 0 && img.Height() != 0)
            __builtin_trap();
    } catch (const ql::Exception&) {
        // Refused: the image must be as it was.
        if (img.Width() != 2 || img.Height() != 2 || img.Bits()[15] != 0x5A) __builtin_trap();
    }
    return 0;
}
