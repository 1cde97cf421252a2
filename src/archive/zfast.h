// The hot loops under the archive layer, from the fastest library the
// build has: the CRC-32 of the check values and inflating a whole zlib
// stream held in memory, built from libdeflate where the target has it and
// from zlib otherwise (zfast_libdeflate.cpp / zfast_zlib.cpp); and inflating
// a stream piece by piece, built from ISA-L's inflater where the target has
// it and from zlib otherwise (zstream_isal.cpp / zstream_zlib.cpp). The
// build chooses; every choice gives the same results bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// One zlib (RFC 1950) stream inflated step by step through buffers the
// caller owns; nothing of the input is kept between steps.
class TStreamInflate {
 public:
  enum class TStatus {
    Ok,       // went as far as the input and the output room allow
    End,      // reached the stream's end, its check value matched
    Damaged,  // not a zlib stream, damaged data or a wrong check value
  };
  struct TStep {
    TStatus Status = TStatus::Ok;
    std::size_t Consumed = 0;  // input bytes taken
    std::size_t Made = 0;      // output bytes written
  };

  virtual ~TStreamInflate() = default;
  // inSize and outSize stay below 2^31.
  virtual TStep Step(const char* in, std::size_t inSize, char* out, std::size_t outSize) = 0;
  // What was wrong after a Damaged step, in the library's words.
  virtual std::string Problem() const = 0;
};

// A new stream inflater; nullptr when the library cannot start one.
std::unique_ptr<TStreamInflate> NewStreamInflate();
// Which library stands behind it ("ISA-L" or "zlib").
const char* StreamLibraryName();
// True when the stream inflater, writing into a growing buffer, is faster
// than InflateWhole (ISA-L's is, against libdeflate's whole-buffer one).
bool StreamInflateBeatsWhole();

// InflateWhole through the stream inflater (TInflater), for either choice.
std::optional<std::string> InflateStreamed(std::string_view compressed, std::uint64_t limit);

}  // namespace mora::archive::detail
