// PNG files of drawing surfaces: snapshots that tests save and compare.
#pragma once

#include <string>

#include "toolkit/Surface.h"

namespace ql {

/// Writes a surface as an 8-bit RGB PNG file (alpha ignored, as on screen); false on failure
/// or in builds without PNG support.
bool SavePng(const TDrawingSurface& surface, const std::string& path);
/// Reads an RGB or RGBA PNG file into `surface` (alpha bytes 0); false on failure or in builds
/// that cannot read PNG.
bool LoadPng(TDrawingSurface& surface, const std::string& path);

} // namespace ql
