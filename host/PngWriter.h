// Saving a window's pixels as a PNG file: through libpng where the build has it, else with a small writer of
// its own (uncompressed deflate blocks) that needs no library at all.
#pragma once

#include "host/platform/EditorWindow.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ql::host {

/// The whole PNG file of pixels (8-bit RGB, not interlaced) with the image data in stored deflate blocks.
std::vector<std::uint8_t> EncodePngStored(const platform::Pixels& pixels);

/// Writes pixels to path as a PNG file; empty on success, else why not.
std::string WritePng(const platform::Pixels& pixels, const std::string& path);

} // namespace ql::host
