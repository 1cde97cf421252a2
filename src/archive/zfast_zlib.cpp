// The hot loops from zlib: its crc32 and the streaming inflater.
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "archive/zfast.h"

namespace mora::archive::detail {

std::uint32_t UpdateCrc32(std::uint32_t crc, const char* data, std::int64_t count) {
  // zlib's crc32 keeps the pre- and post-inversion inside; feeding it in
  // pieces continues the same register.
  while (count > 0) {
    const auto n = static_cast<uInt>(std::min<std::int64_t>(count, UINT_MAX / 2));
    crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data), n));
    data += n;
    count -= n;
  }
  return crc;
}

std::optional<std::string> InflateWhole(std::string_view compressed, std::uint64_t limit) {
  return InflateStreamed(compressed, limit);
}

const char* FastLibraryName() { return "zlib"; }

}  // namespace mora::archive::detail
