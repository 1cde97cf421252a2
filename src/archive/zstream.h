// zlib (RFC 1950) inflating and deflating of whole memory streams, shared by
// archive entries and picture blocks. Damaged data throws
// EZDecompressionError with the message "error".
#pragma once

#include <string>
#include <string_view>

#include "platform/streams.h"

namespace mora::archive {

// Replaces the contents of m by their inflated form; m's position is then its
// end. On failure m keeps its compressed bytes.
void DecompressMemoryStream(platform::TMemoryStream& m);

// Inflates one zlib stream held in bytes.
std::string InflateBytes(std::string_view compressed);
// Deflates bytes into one zlib stream (writers and tests).
std::string DeflateBytes(std::string_view plain, int level = 6);

}  // namespace mora::archive
