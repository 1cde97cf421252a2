#include "archive/rands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/errors.h"

namespace mora::archive {
namespace {

TEST(QsRandom, NextIsFiveTimesStatePlusSeed) {
  TQsRandom random(1);
  std::vector<std::uint32_t> values;
  for (int i = 0; i < 5; ++i) values.push_back(random.Next());
  EXPECT_EQ(values, (std::vector<std::uint32_t>{1, 6, 31, 156, 781}));
  TQsRandom zero(0);
  EXPECT_EQ(zero.Next(), 0u);
  EXPECT_EQ(zero.Next(), 0u);
}

TEST(QsRandom, WrapsModulo2To32) {
  TQsRandom random(0x5B2E9D47);
  EXPECT_EQ(random.Next(), 0x5B2E9D47u);
  EXPECT_EQ(random.Next(), 0x2317AFAAu);  // 6 * 0x5B2E9D47 mod 2^32
  EXPECT_EQ(random.Next(), 0x0AA50B99u);
  EXPECT_EQ(random.Next(), 0x9067D744u);
}

TEST(QsRandom, PicksWithoutReplacement) {
  TQsRandom three(3);
  three.InitPool(4);
  std::vector<std::uint32_t> picks;
  for (int i = 0; i < 4; ++i) picks.push_back(three.Pick());
  EXPECT_EQ(picks, (std::vector<std::uint32_t>{3, 0, 2, 1}));
}

TEST(QsRandom, PickTakesTheStateAsUnsigned) {
  TQsRandom random(0x40000000);
  random.InitPool(4);
  std::vector<std::uint32_t> picks;
  for (int i = 0; i < 4; ++i) picks.push_back(random.Pick());
  EXPECT_EQ(picks, (std::vector<std::uint32_t>{0, 3, 1, 2}));
  EXPECT_EQ(random.State(), 0u);
}

TEST(QsRandom, PoolEdges) {
  for (std::uint32_t seed : {0u, 7u, 0xFFFFFFFFu}) {
    TQsRandom random(seed);
    random.InitPool(1);
    EXPECT_EQ(random.Pick(), 0u);
  }
  TQsRandom empty(5);
  empty.InitPool(0);
  EXPECT_EQ(empty.PoolSize(), 0u);
  EXPECT_EQ(empty.State(), 0u);  // InitPool does not advance the state
  EXPECT_THROW(empty.Pick(), base::ERangeError);
}

TEST(QsRandom, FullPickIsAPermutation) {
  TQsRandom random(0x1234567);
  random.InitPool(100);
  std::vector<std::uint32_t> picks;
  for (int i = 0; i < 100; ++i) picks.push_back(random.Pick());
  std::sort(picks.begin(), picks.end());
  for (std::uint32_t i = 0; i < 100; ++i) EXPECT_EQ(picks[i], i);
}

}  // namespace
}  // namespace mora::archive
