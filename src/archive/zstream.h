// zlib (RFC 1950) inflating and deflating, shared by archive entries and
// picture blocks. TInflater inflates one stream piece by piece into a sink
// through a fixed buffer, with an optional limit on its output, so memory
// stays flat whatever the data claims. The helpers built on it throw
// EZDecompressionError with the message "error" for damaged or cut data.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/streams.h"

namespace mora::archive {

enum class TInflateState {
  NeedsInput,  // all input taken, the stream goes on
  Finished,    // the stream's end and check value were reached
  Damaged,     // not a zlib stream, or its data or check value is wrong
  OverLimit,   // the stream inflates to more than the limit allows
};

class TInflater {
 public:
  static constexpr std::uint64_t NoLimit = std::numeric_limits<std::uint64_t>::max();
  // Receives each piece of output in order; may throw (the inflater is then
  // simply destroyed).
  using TSink = std::function<void(const char* data, std::size_t size)>;

  explicit TInflater(std::uint64_t outputLimit = NoLimit);
  ~TInflater();  // frees the inflater's state
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Inflates the next piece of the compressed stream, handing the output to
  // sink. Stops at the stream's end (bytes behind it are left unused), at
  // damage, or when the output would pass the limit (the output up to the
  // limit has then been handed out). Once it is no longer NeedsInput the
  // state stays and further input is ignored.
  TInflateState Put(std::string_view input, const TSink& sink);
  // Call when no input follows: a stream still waiting for input was cut
  // short and becomes Damaged.
  TInflateState Finish();

  TInflateState State() const { return FState; }
  std::uint64_t TotalOut() const { return FTotalOut; }
  // What was wrong: the inflating library's own words, or that the data
  // ends early.
  const std::string& Problem() const { return FProblem; }

 private:
  struct TZState;
  std::unique_ptr<TZState> FZ;
  std::uint64_t FLimit;
  std::uint64_t FTotalOut = 0;
  TInflateState FState = TInflateState::NeedsInput;
  std::string FProblem;
};

// Inflates one zlib stream held in bytes. Damaged or cut data throws
// EZDecompressionError ("error").
std::string InflateBytes(std::string_view compressed);
// The same, but nullopt when the stream inflates to more than limit bytes;
// no more than limit bytes are held meanwhile.
std::optional<std::string> InflateBytes(std::string_view compressed, std::uint64_t limit);

// Replaces the contents of m by their inflated form; m's position is then its
// end. On failure m keeps its compressed bytes. The second form returns
// false, leaving m as it was, when the contents inflate to more than limit.
void DecompressMemoryStream(platform::TMemoryStream& m);
bool DecompressMemoryStream(platform::TMemoryStream& m, std::uint64_t limit);

// Deflates bytes into one zlib stream (writers and tests).
std::string DeflateBytes(std::string_view plain, int level = 6);

}  // namespace mora::archive
