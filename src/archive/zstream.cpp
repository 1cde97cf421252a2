// Inflating (deflating lives in zdeflate.cpp, which only the writers need).
#include "archive/zstream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "base/errors.h"

namespace mora::archive {

namespace {

// Inflated data is produced in chunks of this size to bound each step.
constexpr std::size_t InflateChunk = 1000000;

[[noreturn]] void FailInflate() { throw base::EZDecompressionError("error"); }

}  // namespace

std::string InflateBytes(std::string_view compressed) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) FailInflate();
  std::string out;
  std::string chunk(InflateChunk, '\0');
  std::size_t offset = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (z.avail_in == 0 && offset < compressed.size()) {
      const std::size_t n = std::min<std::size_t>(compressed.size() - offset, UINT_MAX / 2);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + offset));
      z.avail_in = static_cast<uInt>(n);
      offset += n;
    }
    z.next_out = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_out = static_cast<uInt>(chunk.size());
    status = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = chunk.size() - z.avail_out;
    out.append(chunk.data(), produced);
    if (status == Z_STREAM_END) break;
    // No progress with all input consumed means the stream was cut short.
    if (status != Z_OK || (produced == 0 && z.avail_in == 0 && offset >= compressed.size())) {
      inflateEnd(&z);
      FailInflate();
    }
  }
  inflateEnd(&z);
  return out;
}

void DecompressMemoryStream(platform::TMemoryStream& m) {
  std::string inflated = InflateBytes(m.Bytes());
  m.Clear();
  m.WriteBytes(inflated);
}

}  // namespace mora::archive
