// TQsRandom: the seeded generator whose number stream scrambles archive
// directories and whose pick-without-replacement pool orders the shuffled rows
// and tiles of pictures. State := 5 * State + Seed (mod 2^32).
// Pick on an empty pool throws ERangeError instead of dividing by zero.
#pragma once

#include <cstdint>
#include <vector>

namespace mora::archive {

class TQsRandom {
 public:
  explicit TQsRandom(std::uint32_t seed) : FSeed(seed) {}

  std::uint32_t Seed() const { return FSeed; }
  std::uint32_t State() const { return FState; }
  std::uint32_t Next();

  void InitPool(std::uint32_t count);
  std::uint32_t Pick();
  std::size_t PoolSize() const { return FPool.size(); }

 private:
  std::uint32_t FSeed;
  std::uint32_t FState = 0;
  std::vector<std::uint32_t> FPool;
};

}  // namespace mora::archive
