// Fuzz target: the picture loader (PNG, BMP, JPEG chosen by content).
#include "dibcontrols/PictureLoader.h"
#include "dibcontrols/cDIBCompressor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        ql::TLoadedPicture p = ql::LoadPicture({data, size});
        if (p.Width <= 0 || p.Height <= 0 ||
            p.Pixels.size() != std::size_t(p.Width) * std::size_t(p.Height) * 4)
            __builtin_trap();
    } catch (const ql::Exception&) {
    }
    return 0;
}
