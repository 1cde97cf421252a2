// The one inflater of the program: output handed out piece by piece in
// order, whatever the input pieces; its limit; cut, damaged and trailing data.
#include <gtest/gtest.h>

#include <string>

#include "archive/zstream.h"
#include "base/errors.h"
#include "platform/streams.h"

namespace mora::archive {
namespace {

// A megabyte and a quarter that compresses but not trivially, so the output
// spans many of the inflater's steps.
std::string Content() {
  std::string bytes(1250000, '\0');
  std::uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>("abcdefgh"[(state >> 16) & 7]);
  }
  return bytes;
}

struct TInflated {
  TInflateState State;
  std::string Output;
  std::string Problem;
};

// Feeds the input in pieces of the given size, then finishes.
TInflated Inflate(std::string_view input, std::size_t piece,
                  std::uint64_t limit = TInflater::NoLimit) {
  TInflater inflater(limit);
  TInflated result;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    inflater.Put(input.substr(at, piece),
                 [&](const char* data, std::size_t size) { result.Output.append(data, size); });
  }
  result.State = inflater.Finish();
  result.Problem = inflater.Problem();
  EXPECT_EQ(inflater.TotalOut(), result.Output.size());
  return result;
}

TEST(Inflater, OutputIsTheSameWhateverTheInputPieces) {
  const std::string content = Content();
  const std::string compressed = DeflateBytes(content);
  for (const std::size_t piece : {std::size_t{3}, std::size_t{65536}, compressed.size()}) {
    SCOPED_TRACE(piece);
    const TInflated result = Inflate(compressed, piece);
    EXPECT_EQ(result.State, TInflateState::Finished);
    EXPECT_TRUE(result.Output == content);
  }
}

TEST(Inflater, LimitStopsTheOutputExactlyThere) {
  const std::string content = Content();
  const std::string compressed = DeflateBytes(content);
  const std::uint64_t size = content.size();
  struct TCase {
    std::uint64_t Limit;
    TInflateState State;
  } cases[] = {
      {size, TInflateState::Finished},
      {size + 1, TInflateState::Finished},
      {size - 1, TInflateState::OverLimit},
      {65536, TInflateState::OverLimit},  // one whole step of output
      {0, TInflateState::OverLimit},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Limit);
    const TInflated result = Inflate(compressed, 4096, c.Limit);
    EXPECT_EQ(result.State, c.State);
    const std::size_t kept = static_cast<std::size_t>(std::min(size, c.Limit));
    EXPECT_EQ(result.Output.size(), kept);
    EXPECT_TRUE(result.Output == content.substr(0, kept));
  }
  // An empty stream fits a limit of 0.
  EXPECT_EQ(Inflate(DeflateBytes(""), 1, 0).State, TInflateState::Finished);
}

TEST(Inflater, DamagedCutAndTrailingData) {
  const std::string compressed = DeflateBytes("a line of text, a line of text, a line of text");
  std::string badHeader = compressed;
  badHeader[1] = static_cast<char>(badHeader[1] ^ 1);  // header check fails
  std::string badCheck = compressed;
  badCheck.back() = static_cast<char>(badCheck.back() ^ 0x40);  // Adler-32 differs
  struct TCase {
    const char* Name;
    std::string Input;
    TInflateState State;
    std::string Problem;
  } cases[] = {
      {"header", badHeader, TInflateState::Damaged, "incorrect header check"},
      {"check value", badCheck, TInflateState::Damaged, "incorrect data check"},
      {"cut before the check value", compressed.substr(0, compressed.size() - 4),
       TInflateState::Damaged, "the data ends early"},
      {"nothing at all", "", TInflateState::Damaged, "the data ends early"},
      {"bytes behind the stream", compressed + "trailing", TInflateState::Finished, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TInflated result = Inflate(c.Input, 5);
    EXPECT_EQ(result.State, c.State);
    EXPECT_EQ(result.Problem, c.Problem);
  }
}

TEST(Inflater, MemoryHelpersKeepTheirInputWhenTheyFail) {
  const std::string compressed = DeflateBytes(std::string(5000, 'z'));
  EXPECT_EQ(InflateBytes(compressed, 4999), std::nullopt);
  EXPECT_EQ(InflateBytes(compressed, 5000), std::string(5000, 'z'));

  platform::TMemoryStream memory(compressed);
  EXPECT_FALSE(DecompressMemoryStream(memory, 100));
  EXPECT_EQ(memory.Bytes(), compressed);
  EXPECT_TRUE(DecompressMemoryStream(memory, 5000));
  EXPECT_EQ(memory.Bytes(), std::string(5000, 'z'));

  platform::TMemoryStream damaged(compressed.substr(0, 10));
  try {
    DecompressMemoryStream(damaged);
    ADD_FAILURE() << "a cut stream inflated";
  } catch (const base::EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "error");
  }
  EXPECT_EQ(damaged.Bytes(), compressed.substr(0, 10));
}

}  // namespace
}  // namespace mora::archive
