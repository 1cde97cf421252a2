// Deflating for the writers.
#include <zlib.h>

#include "archive/zstream.h"
#include "base/errors.h"

namespace mora::archive {

std::string DeflateBytes(std::string_view plain, int level) {
  uLongf bound = compressBound(static_cast<uLong>(plain.size()));
  std::string out(bound, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &bound,
                reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()),
                level) != Z_OK) {
    throw base::Exception("deflate failed");
  }
  out.resize(bound);
  return out;
}

}  // namespace mora::archive
