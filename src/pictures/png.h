// PNG files of bitmaps through libpng: writing a surface as 8-bit RGB (the
// picture output of the mora tool) and reading PNG sources for the writer.
// Damaged PNG data throws EDamagedData naming the source.
#pragma once

#include <string>
#include <string_view>

#include "pictures/dibsurface.h"

namespace mora::pictures {

// The surface's colours as an 8-bit RGB PNG (no alpha; any mask is ignored).
std::string EncodePng(const TDIBSurface& image);

// Any PNG as a 24-bit surface; a PNG with transparency also gives the surface
// a mask holding its alpha channel.
TDIBSurface DecodePng(std::string_view data, const std::string& sourceName);

}  // namespace mora::pictures
