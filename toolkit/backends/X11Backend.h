// What the X11 backend tells tests about itself.
#pragma once

#include <cstddef>

namespace ql::x11 {
/// Whether the backend's own display connection is open (it is only while windows exist).
bool ConnectionOpen();
/// Native windows the backend holds.
std::size_t WindowCount();
} // namespace ql::x11
