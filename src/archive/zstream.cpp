// Inflating (deflating lives in zdeflate.cpp, which only the writers need).
#include "archive/zstream.h"

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
// Inflaters count in 32-bit values; pieces stay well below that.
constexpr std::size_t MaxPiece = UINT_MAX / 2;

}  // namespace

struct TInflater::TZState {
  std::unique_ptr<detail::TStreamInflate> Engine;
  std::vector<char> Buffer;
};

TInflater::TInflater(std::uint64_t outputLimit)
    : FZ(std::make_unique<TZState>()), FLimit(outputLimit) {
  FZ->Engine = detail::NewStreamInflate();
  if (FZ->Engine == nullptr) {
    FState = TInflateState::Damaged;
    FProblem = "the inflater cannot start";
    return;
  }
  // One byte more than the limit lets a stream that goes past it show so.
  const std::uint64_t wanted = outputLimit >= InflateChunk ? InflateChunk : outputLimit + 1;
  FZ->Buffer.resize(static_cast<std::size_t>(wanted));
}

TInflater::~TInflater() = default;

TInflateState TInflater::Put(std::string_view input, const TSink& sink) {
  using TStatus = detail::TStreamInflate::TStatus;
  std::size_t offset = 0;
  // After a step that filled the buffer the inflater may hold more output
  // without needing input; only a step that left room has given out all it
  // can.
  bool bufferFilled = false;
  while (FState == TInflateState::NeedsInput) {
    const std::size_t pending = input.size() - offset;
    if (pending == 0 && !bufferFilled) break;
    const std::uint64_t allowed = FLimit - FTotalOut;
    const std::size_t room =
        allowed >= FZ->Buffer.size() ? FZ->Buffer.size() : static_cast<std::size_t>(allowed + 1);
    const detail::TStreamInflate::TStep step = FZ->Engine->Step(
        input.data() + offset, std::min(pending, MaxPiece), FZ->Buffer.data(), room);
    offset += step.Consumed;
    bufferFilled = step.Made == room;
    if (step.Status == TStatus::Damaged) {
      FState = TInflateState::Damaged;
      FProblem = FZ->Engine->Problem();
      break;
    }
    if (step.Made > allowed) {
      if (allowed > 0) sink(FZ->Buffer.data(), static_cast<std::size_t>(allowed));
      FTotalOut += allowed;
      FState = TInflateState::OverLimit;
      break;
    }
    if (step.Made > 0) {
      FTotalOut += step.Made;
      sink(FZ->Buffer.data(), step.Made);
    }
    if (step.Status == TStatus::End) {
      FState = TInflateState::Finished;
      break;
    }
    // With room for output and input left, an inflater always moves;
    // standing still would loop for ever.
    if (step.Made == 0 && step.Consumed == 0 && pending > 0) {
      FState = TInflateState::Damaged;
      FProblem = "the inflater makes no progress";
    }
  }
  return FState;
}

TInflateState TInflater::Finish() {
  if (FState == TInflateState::NeedsInput) {
    FState = TInflateState::Damaged;
    FProblem = "the data ends early";
  }
  return FState;
}

namespace detail {

std::optional<std::string> InflateStreamed(std::string_view compressed, std::uint64_t limit) {
  TInflater inflater(limit);
  std::string out;
  // Room for what most streams inflate to, so the output is seldom moved;
  // never more than the limit allows.
  out.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>(limit, std::uint64_t{8} * compressed.size() + InflateChunk)));
  inflater.Put(compressed, [&](const char* data, std::size_t size) { out.append(data, size); });
  switch (inflater.Finish()) {
    case TInflateState::Finished: return out;
    case TInflateState::OverLimit: return std::nullopt;
    default: throw base::EZDecompressionError("error");
  }
}

}  // namespace detail

std::optional<std::string> InflateBytes(std::string_view compressed, std::uint64_t limit) {
  // Whole streams in memory take the fastest inflater the build has.
  if (detail::StreamInflateBeatsWhole()) return detail::InflateStreamed(compressed, limit);
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
