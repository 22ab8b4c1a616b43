// What the Win32 backend offers the GDI text engine and tests: native regions and what it holds.
#pragma once

#include <cstddef>
#include <string>

#include "toolkit/Region.h"

namespace ql::win32 {

/// A native region (an HRGN) holding exactly the pixels of `region`; the caller deletes it.
/// Null when the system cannot make one.
void* CreateNativeRegion(const TRegion& region);
/// The pixels a native region holds.
TRegion RegionFromNative(void* region);

/// "Windows error (N) " followed by the system's text for error code N.
std::string SystemErrorMessage(unsigned long code);

/// Child windows the backend holds (destroyed ones are gone from the count at once).
std::size_t WindowCount();
/// Hidden timer windows alive.
std::size_t TimerWindowCount();
/// Bitmap sections (with their memory device contexts) alive.
std::size_t SectionCount();
/// Whether the backend's window class is registered: only while one of its windows exists.
bool WindowClassRegistered();

} // namespace ql::win32
