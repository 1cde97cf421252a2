// The shared Vint layout: seeded orders and the header record's fields.
#include <gtest/gtest.h>

#include "archive/rands.h"
#include "pictures/vintlayout.h"

namespace mora::pictures {
namespace {

TEST(VintLayoutTest, ShuffleOrderIsTheSequenceOfPicks) {
  EXPECT_EQ(vint::ShuffleOrder(3, 4), (std::vector<std::uint32_t>{3, 0, 2, 1}));
  EXPECT_EQ(vint::ShuffleOrder(0x40000000, 4), (std::vector<std::uint32_t>{0, 3, 1, 2}));
  EXPECT_TRUE(vint::ShuffleOrder(9, 0).empty());
  for (const std::int32_t seed : {1, 7, -5, 123456789, static_cast<std::int32_t>(0x80000001u)}) {
    for (const std::uint32_t count : {1u, 2u, 5u, 64u, 1000u, 1025u}) {
      archive::TQsRandom random(static_cast<std::uint32_t>(seed));
      random.InitPool(count);
      std::vector<std::uint32_t> picks;
      for (std::uint32_t i = 0; i < count; ++i) picks.push_back(random.Pick());
      EXPECT_EQ(vint::ShuffleOrder(seed, count), picks) << seed << " " << count;
    }
  }
}

TEST(VintLayoutTest, ShuffleOrderHandlesLargeCountsQuickly) {
  // A million tiles: a pool that moved its values would take many minutes.
  const std::vector<std::uint32_t> order = vint::ShuffleOrder(99, 1u << 20);
  std::vector<bool> seen(order.size(), false);
  for (std::uint32_t v : order) {
    ASSERT_LT(v, order.size());
    ASSERT_FALSE(seen[v]);
    seen[v] = true;
  }
}

TEST(VintLayoutTest, HeaderRecordFieldsSitAtTheirOffsets) {
  std::uint8_t bytes[vint::HeaderRecordSize];
  vint::THeaderRecord record;
  record.Version = 0x01020304;
  record.FrameCount = 5;
  record.Shuffled = 1;
  record.Compression = 2;
  record.Background = 0x00AABBCC;
  record.TileWidth = 16;
  record.TileHeight = 8;
  record.FirstLayerOpaque = 1;
  record.Encode(bytes);
  EXPECT_EQ(bytes[0], 0x04);
  EXPECT_EQ(bytes[16], 5);
  EXPECT_EQ(bytes[21], 1);
  EXPECT_EQ(bytes[22], 2);
  EXPECT_EQ(bytes[24], 0xCC);
  EXPECT_EQ(bytes[28], 16);
  EXPECT_EQ(bytes[32], 8);
  EXPECT_EQ(bytes[36], 1);
  const vint::THeaderRecord back = vint::THeaderRecord::Decode(bytes);
  EXPECT_EQ(back.Background, 0x00AABBCC);
  EXPECT_EQ(back.TileHeight, 8);
}

}  // namespace
}  // namespace mora::pictures
