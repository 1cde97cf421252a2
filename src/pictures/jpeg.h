// JPEG coding of bitmaps through libjpeg(-turbo): decoding the lossy colour
// blocks of pictures into 24-bit surfaces, and encoding surfaces for the
// writer. Damaged or unsupported data throws EDamagedData naming the source.
#pragma once

#include <string>
#include <string_view>

#include "pictures/dibsurface.h"

namespace mora::pictures {

// Decodes a whole JPEG stream (colour or grey) into a 24-bit surface. A
// stream that ends early or whose size exceeds the surface limits fails, and
// so does one of another size than expected (when one is given), before any
// pixel memory is taken.
TDIBSurface DecodeJpeg(std::string_view data, const std::string& sourceName, int expectedWidth = -1,
                       int expectedHeight = -1);

// Encodes the surface's colours as a baseline JPEG of the given quality (1-100).
std::string EncodeJpeg(const TDIBSurface& image, int quality = 90);

}  // namespace mora::pictures
