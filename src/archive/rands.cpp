#include "archive/rands.h"

#include "base/errors.h"

namespace mora::archive {

std::uint32_t TQsRandom::Next() {
  FState = 5u * FState + FSeed;  // unsigned arithmetic wraps modulo 2^32
  return FState;
}

void TQsRandom::InitPool(std::uint32_t count) {
  FPool.clear();
  FPool.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) FPool.push_back(i);
}

std::uint32_t TQsRandom::Pick() {
  if (FPool.empty()) throw base::ERangeError("TQsRandom.Pick: the pool is empty");
  const std::uint32_t index = Next() % static_cast<std::uint32_t>(FPool.size());
  const std::uint32_t value = FPool[index];
  FPool.erase(FPool.begin() + index);
  return value;
}

}  // namespace mora::archive
