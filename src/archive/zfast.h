// The two hot loops under the archive layer, from the fastest library the
// build has: the CRC-32 of the check values and inflating a whole zlib
// stream held in memory. Built from libdeflate where the target has it and
// from zlib otherwise (zfast_libdeflate.cpp / zfast_zlib.cpp, chosen by the
// build); both give the same results bit for bit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mora::archive::detail {

// Continues a CRC-32 register (0 to start) over count bytes.
std::uint32_t UpdateCrc32(std::uint32_t crc, const char* data, std::int64_t count);

// The inflated form of one zlib stream at the start of compressed (bytes
// behind it are ignored): nullopt when it inflates to more than limit bytes;
// damaged or cut data throw EZDecompressionError ("error").
std::optional<std::string> InflateWhole(std::string_view compressed, std::uint64_t limit);

// Which library stands behind the two ("libdeflate" or "zlib").
const char* FastLibraryName();

}  // namespace mora::archive::detail
