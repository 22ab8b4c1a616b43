// PNG pictures through libpng's memory reader.
#include "dibcontrols/PictureLoader.h"

#include "dibcontrols/cDIBCompressor.h"

#include <png.h>

#include <cstring>

namespace ql {

TLoadedPicture LoadPngPicture(std::span<const std::uint8_t> Data) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, Data.data(), Data.size()))
        throw EDIBFormatError(std::string("PNG file: ") + image.message);
    struct Release {
        png_image* img;
        ~Release() { png_image_free(img); }
    } release{&image};
    // The header's size is checked before any pixel memory is given.
    CheckPictureSize(image.width, image.height);
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_BGRA;
    TLoadedPicture pic;
    pic.Width = static_cast<int>(image.width);
    pic.Height = static_cast<int>(image.height);
    pic.HasAlpha = alpha;
    pic.Pixels.resize(PNG_IMAGE_SIZE(image));
    // A negative row stride stores the top row last: our rows are bottom-up.
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    if (!png_image_finish_read(&image, nullptr, pic.Pixels.data(), stride, nullptr))
        throw EDIBFormatError(std::string("PNG file: ") + image.message);
    if (pic.Pixels.size() != std::size_t(pic.Width) * pic.Height * 4)
        throw EDIBFormatError("PNG file: unexpected pixel layout.");
    return pic;
}

} // namespace ql
