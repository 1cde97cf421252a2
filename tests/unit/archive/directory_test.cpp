// Directory layout: reading every version from hand-built bytes, scrambling,
// the shared encoder, and rejection of damaged directories.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/errors.h"
#include "test_support.h"

namespace mora::archive {
namespace {

using test::Int32Bytes;
using test::Int64Bytes;

// The outputs of a generator seeded with the archive key, computed by hand:
// 0x5B2E9D47, 6 * key, 31 * key, 156 * key (mod 2^32).
constexpr std::uint32_t Key1 = 0x5B2E9D47u;
constexpr std::uint32_t Key2 = 0x2317AFAAu;
constexpr std::uint32_t Key3 = 0x0AA50B99u;
constexpr std::uint32_t Key4 = 0x9067D744u;  // negative as a signed number

std::string Xor(std::string bytes, const std::vector<std::uint32_t>& keys) {
  for (std::size_t i = 0; i < bytes.size() && i < keys.size(); ++i) {
    bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^ (keys[i] & 0xFF));
  }
  return bytes;
}

std::string TwentySevenBytes() {
  return std::string(
      "\x02\x00\x00\x00"
      "\x01\x00\x00\x00"
      "a"
      "\x02\x00\x00\x00"
      "bc"
      "\x1B\x00\x00\x00"
      "\x24\x00\x00\x00"
      "\x29\x00\x00\x00",
      27);
}

// Reads a directory from bytes (followed by the entries' bytes).
void ReadFromBytes(TVrFileCollection& collection, const std::string& bytes) {
  TQsBigMemoryStream stream(bytes);
  stream.SetPosition(0);
  collection.ReadDirectory(stream);
}

TEST(Directory, ReadsTheTwentySevenByteVersionZeroExample) {
  TVrFileCollection collection;
  ReadFromBytes(collection, TwentySevenBytes() + std::string(14, 'x'));
  ASSERT_EQ(collection.Count(), 3);
  EXPECT_EQ(collection.Entries(0).Name(), "a");
  EXPECT_EQ(collection.Entries(0).Offset, 27);
  EXPECT_EQ(collection.Entries(0).Size, 9);
  EXPECT_EQ(collection.Entries(1).Name(), "bc");
  EXPECT_EQ(collection.Entries(1).Offset, 36);
  EXPECT_EQ(collection.Entries(1).Size, 5);
  EXPECT_EQ(collection.Entries(2).Name(), "\\EOF\\");
  EXPECT_EQ(collection.Entries(2).Offset, 41);
  EXPECT_EQ(collection.Entries(2).Size, 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(collection.Entries(i).Stored, 0);
    EXPECT_EQ(collection.Entries(i).FileTime, 0);
    EXPECT_EQ(collection.Entries(i).CRC, 0u);
    EXPECT_EQ(collection.Entries(i).InstallAsFile, 0);
  }
  EXPECT_EQ(collection.IndexOf("\\EOF\\"), 2);
  EXPECT_EQ(collection.IndexOf("BC"), 1);
}

TEST(Directory, EncoderWritesTheVersionZeroExampleByteForByte) {
  TDirectory directory;
  directory.Version = 0;
  directory.Entries = {{"a", 27, 0, 0, 0, 0}, {"bc", 36, 0, 0, 0, 0}};
  directory.EndOffset = 41;
  EXPECT_EQ(EncodeDirectory(directory), TwentySevenBytes());
  EXPECT_EQ(EncodedDirectorySize(directory), 27);
}

TEST(Directory, VersionZeroStartsWithTheCount) {
  // 03 00 00 00: three entries, names and offsets as they stand.
  std::string bytes = Int32Bytes(3);
  for (const char* name : {"x", "y", "z"}) bytes += Int32Bytes(1) + name;
  const int size = 4 + 3 * 5 + 4 * 4;
  for (int i = 0; i <= 3; ++i) bytes += Int32Bytes(size + i * 2);
  bytes += std::string(6, '-');
  TVrFileCollection collection;
  ReadFromBytes(collection, bytes);
  ASSERT_EQ(collection.Count(), 4);
  EXPECT_EQ(collection.Entries(2).Name(), "z");
  EXPECT_EQ(collection.Entries(2).Offset, size + 4);
  EXPECT_EQ(collection.Entries(2).Size, 2);
}

TEST(Directory, VersionZeroWithNoEntriesHoldsOnlyTheSentinel) {
  TVrFileCollection collection;
  ReadFromBytes(collection, Int32Bytes(0) + Int32Bytes(8));
  ASSERT_EQ(collection.Count(), 1);
  EXPECT_EQ(collection.Entries(0).Name(), "\\EOF\\");
  EXPECT_EQ(collection.Entries(0).Offset, 8);
}

TEST(Directory, Version100ScramblesNamesAndThirtyTwoBitOffsets) {
  // An empty name takes no output, so "ab" uses the first two.
  const std::string directory = "vf" + Int32Bytes(100) + Int32Bytes(2) + Int32Bytes(0) +
                                Int32Bytes(2) + Xor("ab", {Key1, Key2}) +
                                Int32Bytes(static_cast<std::int32_t>(32u ^ Key1)) +
                                Int32Bytes(static_cast<std::int32_t>(35u ^ Key2)) +
                                Int32Bytes(static_cast<std::int32_t>(39u ^ Key3));
  ASSERT_EQ(directory.size(), 32u);
  TQsBigMemoryStream stream(directory + "0123456");
  stream.SetPosition(0);
  TVrFileCollection collection;
  collection.ReadDirectory(stream);
  EXPECT_EQ(stream.GetPosition(), 32);  // no fields behind the offsets
  ASSERT_EQ(collection.Count(), 3);
  EXPECT_EQ(collection.Entries(0).Name(), "");
  EXPECT_EQ(collection.Entries(0).Offset, 32);
  EXPECT_EQ(collection.Entries(0).Size, 3);
  EXPECT_EQ(collection.Entries(1).Name(), "ab");
  EXPECT_EQ(collection.Entries(1).Offset, 35);
  EXPECT_EQ(collection.Entries(1).Size, 4);
  EXPECT_EQ(collection.Entries(2).Offset, 39);
  EXPECT_EQ(collection.Entries(1).Stored, 0);
  EXPECT_EQ(collection.Entries(1).CRC, 0u);
}

TEST(Directory, NameLengthsOfZeroOrBelowAreEmptyNames) {
  for (const std::int32_t emptyLength : {0, -1, -3, static_cast<std::int32_t>(0x80000000u)}) {
    SCOPED_TRACE(emptyLength);
    // Neither empty name takes bytes or a generator output, so "ab" uses the
    // first two outputs and the offsets follow right behind it at 24.
    const std::string directory = "vf" + Int32Bytes(100) + Int32Bytes(3) + Int32Bytes(emptyLength) +
                                  Int32Bytes(emptyLength) + Int32Bytes(2) +
                                  Xor("ab", {Key1, Key2}) +
                                  Int32Bytes(static_cast<std::int32_t>(40u ^ Key1)) +
                                  Int32Bytes(static_cast<std::int32_t>(40u ^ Key2)) +
                                  Int32Bytes(static_cast<std::int32_t>(41u ^ Key3)) +
                                  Int32Bytes(static_cast<std::int32_t>(44u ^ Key4));
    ASSERT_EQ(directory.size(), 40u);
    TVrFileCollection collection;
    ReadFromBytes(collection, directory + "xyzw");
    ASSERT_EQ(collection.Count(), 4);
    EXPECT_EQ(collection.Entries(0).Name(), "");
    EXPECT_EQ(collection.Entries(1).Name(), "");
    EXPECT_EQ(collection.Entries(2).Name(), "ab");
    EXPECT_EQ(collection.Entries(0).Size, 0);
    EXPECT_EQ(collection.Entries(1).Size, 1);
    EXPECT_EQ(collection.Entries(2).Size, 3);
  }
}

std::string Version101Bytes(std::int32_t version) {
  const int size = 10 + 3 * 5 + 4 * 8 + 3 * 9 + (version >= 102 ? 3 : 0);
  std::string bytes = "vf" + Int32Bytes(version) + Int32Bytes(3);
  bytes += Int32Bytes(1) + Xor("a", {Key1});
  bytes += Int32Bytes(1) + Xor("b", {Key2});
  bytes += Int32Bytes(1) + Xor("c", {Key3});
  // 64-bit offsets: XORed with the outputs sign-extended.
  bytes += Int64Bytes(static_cast<std::int64_t>(size) ^ 0x000000005B2E9D47LL);
  bytes += Int64Bytes(static_cast<std::int64_t>(size + 1) ^ 0x000000002317AFAALL);
  bytes += Int64Bytes(static_cast<std::int64_t>(size + 3) ^ 0x000000000AA50B99LL);
  bytes += Int64Bytes(static_cast<std::int64_t>(size + 6) ^
                      static_cast<std::int64_t>(0xFFFFFFFF9067D744ULL));
  bytes += std::string("\x01\x00\x01", 3);
  bytes += Int32Bytes(0x12345678) + Int32Bytes(-1) + Int32Bytes(5);
  bytes += Int32Bytes(static_cast<std::int32_t>(0xDEADBEEFu)) + Int32Bytes(0) + Int32Bytes(7);
  if (version >= 102) bytes += std::string("\x00\x01\x00", 3);
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(size));
  return bytes + "abbccc";
}

TEST(Directory, Version101AddsStoredFlagsTimesAndCheckValues) {
  TVrFileCollection collection;
  ReadFromBytes(collection, Version101Bytes(101));
  ASSERT_EQ(collection.Count(), 4);
  EXPECT_EQ(collection.Entries(2).Name(), "c");
  EXPECT_EQ(collection.Entries(0).Size, 1);
  EXPECT_EQ(collection.Entries(1).Size, 2);
  EXPECT_EQ(collection.Entries(2).Size, 3);
  EXPECT_EQ(collection.Entries(3).Offset, 84 + 6);
  EXPECT_EQ(collection.Entries(0).Stored, 1);
  EXPECT_EQ(collection.Entries(1).Stored, 0);
  EXPECT_EQ(collection.Entries(0).FileTime, 0x12345678);
  EXPECT_EQ(collection.Entries(1).FileTime, -1);
  EXPECT_EQ(collection.Entries(0).CRC, 0xDEADBEEFu);
  EXPECT_EQ(collection.Entries(2).CRC, 7u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(collection.Entries(i).InstallAsFile, 0);
}

TEST(Directory, Version102AddsInstallAsFileFlags) {
  TVrFileCollection collection;
  ReadFromBytes(collection, Version101Bytes(102));
  ASSERT_EQ(collection.Count(), 4);
  EXPECT_EQ(collection.Entries(0).InstallAsFile, 0);
  EXPECT_EQ(collection.Entries(1).InstallAsFile, 1);
  EXPECT_EQ(collection.Entries(3).Offset, 87 + 6);
}

TEST(Directory, EncoderAndDecoderAgreeForEveryVersion) {
  for (std::int32_t version : {0, 100, 101, 102}) {
    TDirectory directory;
    directory.Version = version;
    directory.Entries = {{"data\\\x83\x41.bin", 0, 1, 0x3A214C00, 0x11223344, 1},
                         {"", 0, 0, -5, 0, 0},
                         {"install.dat", 0, 1, 7, 0xFFFFFFFFu, 0}};
    const std::int64_t start = EncodedDirectorySize(directory);
    directory.Entries[0].Offset = start;
    directory.Entries[1].Offset = start + 10;
    directory.Entries[2].Offset = start + 10;
    directory.EndOffset = start + 25;
    const std::string bytes = EncodeDirectory(directory);
    ASSERT_EQ(static_cast<std::int64_t>(bytes.size()), start);
    TQsBigMemoryStream stream(bytes + std::string(25, '\0'));
    stream.SetPosition(0);
    const TDirectory decoded = DecodeDirectory(stream, stream.GetSize(), "round.dat");
    ASSERT_EQ(decoded.Entries.size(), 3u) << version;
    EXPECT_EQ(decoded.EndOffset, start + 25);
    for (std::size_t i = 0; i < 3; ++i) {
      const auto& want = directory.Entries[i];
      const auto& got = decoded.Entries[i];
      EXPECT_EQ(got.Name, want.Name);
      EXPECT_EQ(got.Offset, want.Offset);
      EXPECT_EQ(got.Stored, version >= 101 ? want.Stored : 0);
      EXPECT_EQ(got.FileTime, version >= 101 ? want.FileTime : 0);
      EXPECT_EQ(got.CRC, version >= 101 ? want.CRC : 0u);
      EXPECT_EQ(got.InstallAsFile, version >= 102 ? want.InstallAsFile : 0);
    }
  }
}

TEST(Directory, EncoderRefusesWhatTheVersionCannotHold) {
  TDirectory directory;
  directory.Version = 100;
  directory.Entries = {{"big", 0x100000000LL, 0, 0, 0, 0}};
  directory.EndOffset = 0x100000001LL;
  EXPECT_THROW(EncodeDirectory(directory), base::ERangeError);
  directory.Version = 101;
  EXPECT_NO_THROW(EncodeDirectory(directory));
  directory.EndOffset = 5;  // behind the entry's offset
  EXPECT_THROW(EncodeDirectory(directory), base::ERangeError);
}

// Decoding damaged bytes must fail with a message naming the archive.
void ExpectDamaged(const std::string& bytes, const std::string& what, std::int64_t dataSize = -1) {
  TQsBigMemoryStream stream(bytes);
  stream.SetPosition(0);
  try {
    DecodeDirectory(stream, dataSize < 0 ? stream.GetSize() : dataSize, "broken.dat");
    ADD_FAILURE() << what << ": accepted";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find("broken.dat"), std::string::npos) << e.Message();
  }
}

TEST(Directory, RejectsDamagedDirectoriesBeforeAllocating) {
  ExpectDamaged(Int32Bytes(-1) + Int32Bytes(4), "negative count");
  ExpectDamaged(Int32Bytes(0x7FFFFFFF) + std::string(100, '\0'), "huge count");
  ExpectDamaged("vf" + Int32Bytes(102) + Int32Bytes(0x10000000), "count beyond the bytes");
  ExpectDamaged(Int32Bytes(1) + Int32Bytes(0x7FFFFFF0) + std::string(20, 'n'), "long name");
  ExpectDamaged(Int32Bytes(1) + Int32Bytes(1) + "a" + Int32Bytes(13) + Int32Bytes(500),
                "offset beyond the stream");
  ExpectDamaged(Int32Bytes(2) + Int32Bytes(0) + Int32Bytes(0) + Int32Bytes(20) + Int32Bytes(16) +
                    Int32Bytes(20) + std::string(4, 'd'),
                "offsets going backwards");
  ExpectDamaged(Version101Bytes(102).substr(0, 60), "truncated offsets");
  ExpectDamaged(std::string("\x01", 1), "one byte");
  ExpectDamaged("", "empty");
  // A negative 64-bit offset (scrambled with the key of the first output).
  ExpectDamaged("vf" + Int32Bytes(101) + Int32Bytes(0) + Int64Bytes(-1 ^ 0x5B2E9D47LL),
                "negative offset");
}

TEST(Directory, TruncatedFieldsBehindTheOffsetsAreDamaged) {
  const std::string full = Version101Bytes(102);
  const std::string directory = full.substr(0, full.size() - 6);
  for (std::size_t cut = 1; cut <= 9; cut += 4) {
    // The offsets stay within the (separate) data file; only the fields
    // behind them are cut short.
    ExpectDamaged(directory.substr(0, directory.size() - cut), "cut " + std::to_string(cut), 1000);
  }
}

}  // namespace
}  // namespace mora::archive
