#include "base/binary.h"

#include <gtest/gtest.h>

#include "base/errors.h"

namespace mora::base {
namespace {

TEST(LittleEndian, WriterAndReaderAgree) {
  std::string bytes;
  TLittleEndianWriter writer(bytes);
  writer.WriteByte(0xAB);
  writer.WriteInt32(-2);
  writer.WriteInt64(0x0102030405060708LL);
  writer.WriteBytes("xy");
  ASSERT_EQ(bytes.size(), 15u);
  EXPECT_EQ(bytes.substr(1, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  TLittleEndianReader reader(bytes, "test.bin");
  EXPECT_EQ(reader.ReadByte("b"), 0xAB);
  EXPECT_EQ(reader.ReadInt32("i"), -2);
  EXPECT_EQ(reader.ReadInt64("l"), 0x0102030405060708LL);
  EXPECT_EQ(reader.ReadBytes(2, "s"), "xy");
  EXPECT_TRUE(reader.AtEnd());
}

TEST(LittleEndian, ShortDataNamesSourceOffsetAndField) {
  const std::string bytes("\x01\x02\x03", 3);
  TLittleEndianReader reader(bytes, "install.dat");
  reader.Skip(1, "mark");
  try {
    reader.ReadInt32("DiskCount");
    FAIL() << "read past the end";
  } catch (const EDamagedData& e) {
    EXPECT_EQ(e.Message(), "install.dat: offset 1: DiskCount needs 4 bytes but only 2 are left");
  }
  EXPECT_EQ(reader.Position(), 1u);
  std::int32_t value = 7;
  EXPECT_FALSE(reader.TryReadInt32(value));
  EXPECT_EQ(value, 7);
}

TEST(LittleEndian, HugeCountsAreRejectedBeforeAllocating) {
  const std::string bytes(12, '\0');
  TLittleEndianReader reader(bytes, "install.dat");
  EXPECT_THROW(reader.RequireItems(4000000000u, 4, "PlainFiles count"), EDamagedData);
  EXPECT_NO_THROW(reader.RequireItems(3, 4, "PlainFiles count"));
  EXPECT_THROW(reader.ReadBytes(static_cast<std::size_t>(-1), "name"), EDamagedData);
  EXPECT_THROW(reader.Seek(13, "seek"), EDamagedData);
}

}  // namespace
}  // namespace mora::base
