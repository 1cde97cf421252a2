// Inflating (deflating lives in zdeflate.cpp, which only the writers need).
#include "archive/zstream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "archive/zfast.h"
#include "base/errors.h"

namespace mora::archive {

namespace {

// Inflated data is produced in chunks of at most this size, so each step
// holds one chunk whatever the whole stream inflates to. Twice zlib's window
// keeps the steps long; a larger buffer would only cost every small entry
// and picture block its allocation.
constexpr std::uint64_t InflateChunk = 64 * 1024;
// zlib counts in 32-bit unsigned values; pieces stay well below that.
constexpr std::size_t MaxPiece = UINT_MAX / 2;

}  // namespace

struct TInflater::TZState {
  z_stream Stream{};
  bool Started = false;
  std::vector<char> Buffer;
};

TInflater::TInflater(std::uint64_t outputLimit)
    : FZ(std::make_unique<TZState>()), FLimit(outputLimit) {
  if (inflateInit(&FZ->Stream) != Z_OK) {
    FState = TInflateState::Damaged;
    FProblem = "the inflater cannot start";
    return;
  }
  FZ->Started = true;
  // One byte more than the limit lets a stream that goes past it show so.
  const std::uint64_t wanted = outputLimit >= InflateChunk ? InflateChunk : outputLimit + 1;
  FZ->Buffer.resize(static_cast<std::size_t>(wanted));
}

TInflater::~TInflater() {
  if (FZ->Started) inflateEnd(&FZ->Stream);
}

TInflateState TInflater::Put(std::string_view input, const TSink& sink) {
  z_stream& z = FZ->Stream;
  std::size_t offset = 0;
  // After a call that filled the buffer zlib may hold more output without
  // needing input; only a call that left room has given out all it can.
  bool bufferFilled = false;
  while (FState == TInflateState::NeedsInput) {
    if (z.avail_in == 0 && offset < input.size()) {
      const std::size_t n = std::min(input.size() - offset, MaxPiece);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + offset));
      z.avail_in = static_cast<uInt>(n);
      offset += n;
    } else if (z.avail_in == 0 && !bufferFilled) {
      break;
    }
    const std::uint64_t allowed = FLimit - FTotalOut;
    const std::size_t room =
        allowed >= FZ->Buffer.size() ? FZ->Buffer.size() : static_cast<std::size_t>(allowed + 1);
    z.next_out = reinterpret_cast<Bytef*>(FZ->Buffer.data());
    z.avail_out = static_cast<uInt>(room);
    const int status = inflate(&z, Z_NO_FLUSH);
    const std::size_t made = room - z.avail_out;
    bufferFilled = z.avail_out == 0;
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      FState = TInflateState::Damaged;
      FProblem = z.msg != nullptr ? z.msg : "damaged deflate data";
      break;
    }
    if (made > allowed) {
      if (allowed > 0) sink(FZ->Buffer.data(), static_cast<std::size_t>(allowed));
      FTotalOut += allowed;
      FState = TInflateState::OverLimit;
      break;
    }
    if (made > 0) {
      FTotalOut += made;
      sink(FZ->Buffer.data(), made);
    }
    if (status == Z_STREAM_END) {
      FState = TInflateState::Finished;
      break;
    }
    // With room for output and input left, zlib always moves; standing still
    // would loop for ever.
    if (made == 0 && z.avail_in != 0 && status == Z_BUF_ERROR) {
      FState = TInflateState::Damaged;
      FProblem = "the inflater makes no progress";
    }
  }
  // Input is handed in pieces; none of it may be kept between calls.
  z.next_in = nullptr;
  z.avail_in = 0;
  return FState;
}

TInflateState TInflater::Finish() {
  if (FState == TInflateState::NeedsInput) {
    FState = TInflateState::Damaged;
    FProblem = "the data ends early";
  }
  return FState;
}

std::optional<std::string> InflateBytes(std::string_view compressed, std::uint64_t limit) {
  // Whole streams in memory take the fastest inflater the build has.
  return detail::InflateWhole(compressed, limit);
}

std::string InflateBytes(std::string_view compressed) {
  return *InflateBytes(compressed, TInflater::NoLimit);
}

bool DecompressMemoryStream(platform::TMemoryStream& m, std::uint64_t limit) {
  std::optional<std::string> inflated = InflateBytes(m.Bytes(), limit);
  if (!inflated) return false;
  // Taken over rather than copied, so the entry is held once.
  const auto size = static_cast<std::int64_t>(inflated->size());
  m.MutableBytes() = std::move(*inflated);
  m.SetPosition(size);
  return true;
}

void DecompressMemoryStream(platform::TMemoryStream& m) {
  DecompressMemoryStream(m, TInflater::NoLimit);
}

}  // namespace mora::archive
