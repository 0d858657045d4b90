// A small PNG writer for screenshots: 8-bit RGB, no filtering, deflated by zlib. The
// picture codecs of the application have their own, full PNG support; this one only
// writes what the display layer shows.
#pragma once

#include <string>

#include "platform/win/wintypes.h"

namespace vx::gdi {
class Surface;
}

namespace vx::display {

// Writes Part of the surface (all of it when Part is null) to the file; false when the
// file cannot be written or the part is empty.
bool WritePng(const std::string& FileName, const vx::gdi::Surface& Picture, const RECT* Part = nullptr);

}  // namespace vx::display
