// The hot loops from libdeflate: its CRC-32 (folding with carry-less
// multiplication where the processor has it) and its whole-buffer inflater,
// both several times faster than zlib's on this kind of machine.
#include <libdeflate.h>

#include <algorithm>
#include <memory>

#include "archive/zfast.h"
#include "base/errors.h"

namespace mora::archive::detail {

std::uint32_t UpdateCrc32(std::uint32_t crc, const char* data, std::int64_t count) {
  if (count <= 0) return crc;
  return libdeflate_crc32(crc, data, static_cast<std::size_t>(count));
}

std::optional<std::string> InflateWhole(std::string_view compressed, std::uint64_t limit) {
  std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
  if (decompressor == nullptr) throw base::EZDecompressionError("error");
  // The whole output must fit the buffer: start at a size most streams
  // stay under and double it, never beyond the limit. A stream that fills a
  // buffer of the limit's size inflates to more than the limit.
  std::string out;
  const std::uint64_t ceiling = std::min<std::uint64_t>(limit, out.max_size());
  std::uint64_t room = std::min<std::uint64_t>(
      ceiling,
      std::max<std::uint64_t>(std::uint64_t{64} << 10, std::uint64_t{8} * compressed.size()));
  while (true) {
    out.resize(static_cast<std::size_t>(room));
    std::size_t used = 0;
    std::size_t made = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress_ex(decompressor.get(), compressed.data(), compressed.size(),
                                      out.data(), out.size(), &used, &made);
    if (result == LIBDEFLATE_SUCCESS) {
      out.resize(made);
      return out;
    }
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE) throw base::EZDecompressionError("error");
    if (room >= ceiling) return std::nullopt;
    room = std::min(ceiling, room * 2);
  }
}

const char* FastLibraryName() { return "libdeflate"; }

}  // namespace mora::archive::detail
