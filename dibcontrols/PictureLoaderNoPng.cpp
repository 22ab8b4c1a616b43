// PNG pictures in builds without libpng: refused with a clear message.
#include "dibcontrols/PictureLoader.h"

#include "dibcontrols/cDIBCompressor.h"

namespace ql {

TLoadedPicture LoadPngPicture(std::span<const std::uint8_t>) {
    throw EDIBFormatError("PNG pictures are not supported by this build.");
}

} // namespace ql
