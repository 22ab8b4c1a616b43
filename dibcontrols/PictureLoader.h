// Picture files (PNG, BMP, JPEG) decoded into 32-bit pixels, the format chosen by the file's content.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ql {

/// A decoded picture in the image layer's pixel layout: blue, green, red, alpha; bottom row first.
struct TLoadedPicture {
    int Width = 0;
    int Height = 0;
    /// A bitmap file with 32 bits per pixel: its fourth byte is kept as alpha.
    bool Bitmap32 = false;
    /// The file carries an alpha channel (32-bit bitmap, or PNG with alpha or a transparency chunk).
    bool HasAlpha = false;
    std::vector<std::uint8_t> Pixels;
};

/// Decodes a picture held in memory; raises EDIBFormatError on anything it cannot read safely.
TLoadedPicture LoadPicture(std::span<const std::uint8_t> Data);
/// Reads and decodes a file; raises EDIBFormatError when it cannot be opened or read.
TLoadedPicture LoadPictureFile(const std::string& FileName);

/// Raises EDIBFormatError for a picture size no image can hold (DIBSizeFits), before any pixels are decoded.
void CheckPictureSize(long long Width, long long Height);

// One decoder per format; the ones for libraries left out of a build raise EDIBFormatError.
TLoadedPicture LoadBitmapPicture(std::span<const std::uint8_t> Data);
TLoadedPicture LoadPngPicture(std::span<const std::uint8_t> Data);
TLoadedPicture LoadJpegPicture(std::span<const std::uint8_t> Data);

} // namespace ql
