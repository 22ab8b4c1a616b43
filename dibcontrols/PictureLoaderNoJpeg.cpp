// JPEG pictures in builds without libjpeg: refused with a clear message.
#include "dibcontrols/PictureLoader.h"

#include "dibcontrols/cDIBCompressor.h"

namespace ql {

TLoadedPicture LoadJpegPicture(std::span<const std::uint8_t>) {
    throw EDIBFormatError("JPEG pictures are not supported by this build.");
}

} // namespace ql
