// Big streams: volumes of 1 GiB (sparse files stand in for the full ones),
// positions, the three stream kinds and the buffered reader.
#include "archive/bigstreams.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "test_support.h"

namespace mora::archive {
namespace {

using test::TTempFolder;
constexpr std::int64_t Volume = TQsBigFileStream::VolumeSize;

TEST(BigFileStream, VolumeNames) {
  EXPECT_EQ(TQsBigFileStream::VolumeNameOf("D:\\game.dat", 0), "D:\\game.dat");
  EXPECT_EQ(TQsBigFileStream::VolumeNameOf("D:\\game.dat", 1), "D:\\game.001");
  EXPECT_EQ(TQsBigFileStream::VolumeNameOf("setup\\game.dat", 7), "setup\\game.007");
  EXPECT_EQ(TQsBigFileStream::VolumeNameOf("D:\\game.dat", 1000), "D:\\game.1000");
  // The dot of a folder is not an extension.
  EXPECT_EQ(TQsBigFileStream::VolumeNameOf("D:\\v1.2\\game", 2), "D:\\v1.2\\game.002");
}

TEST(BigFileStream, ReadsAcrossTheFirstVolumeBoundary) {
  TTempFolder folder;
  test::WriteSparseFile(folder / "game.dat", Volume, "0123456789");
  test::WriteFile(folder / "game.001", "abcdefghijklmnopqrstuvwxyz");
  TQsBigFileStream stream(folder / "game.dat", fmBigOpenRead);
  ASSERT_EQ(stream.VolumeCount(), 2);
  EXPECT_EQ(stream.GetSize(), Volume + 26);
  stream.SetPosition(Volume - 10);
  std::string bytes(30, '\0');
  EXPECT_EQ(stream.Read(bytes.data(), 30), 30);
  EXPECT_EQ(bytes, "0123456789abcdefghijklmnopqrst");
  EXPECT_EQ(stream.GetPosition(), Volume + 20);

  // The same range copied into a platform stream.
  platform::TMemoryStream copy;
  stream.SetPosition(Volume - 4);
  EXPECT_EQ(stream.CopyTo(copy, 8), 8);
  EXPECT_EQ(copy.Bytes(), "6789abcd");
  // A read past the end returns what is there.
  stream.SetPosition(Volume + 20);
  EXPECT_EQ(stream.Read(bytes.data(), 30), 6);
}

TEST(BigFileStream, WriteAtTheEndOfVolumeZeroCreatesVolumeOne) {
  TTempFolder folder;
  test::WriteSparseFile(folder / "game.dat", Volume - 4);
  {
    TQsBigFileStream stream(folder / "game.dat", fmBigOpenReadWrite);
    stream.SetPosition(stream.GetSize());
    ASSERT_EQ(stream.GetPosition(), Volume - 4);
    EXPECT_EQ(stream.Write("ABCDEFGH", 8), 8);
    EXPECT_EQ(stream.VolumeCount(), 2);
    EXPECT_EQ(stream.GetSize(), Volume + 4);
    EXPECT_EQ(stream.VolumeName(1), folder / "game.001");
  }
  EXPECT_EQ(platform::GetFileSize(folder / "game.dat"), Volume);
  EXPECT_EQ(test::ReadFile(folder / "game.001"), "EFGH");
  TQsBigFileStream reread(folder / "game.dat", fmBigOpenRead);
  reread.SetPosition(Volume - 4);
  std::string bytes(8, '\0');
  EXPECT_EQ(reread.Read(bytes.data(), 8), 8);
  EXPECT_EQ(bytes, "ABCDEFGH");
}

// Positions past 2^31 and 2^32: five volumes, the first four full (sparse),
// written across the boundary of volumes 1 and 2 and behind volume 3, then
// an archive whose entries lie there, read and checked.
TEST(BigFileStream, PositionsPastTwoAndFourGiB) {
  constexpr std::int64_t TwoGiB = std::int64_t{1} << 31;
  constexpr std::int64_t FourGiB = std::int64_t{1} << 32;
  TTempFolder folder;
  for (int i = 0; i < 4; ++i) {
    test::WriteSparseFile(TQsBigFileStream::VolumeNameOf(folder / "game.dat", i), Volume);
  }
  {
    TQsBigFileStream stream(folder / "game.dat", fmBigOpenReadWrite);
    ASSERT_EQ(stream.GetSize(), FourGiB);
    stream.SetPosition(TwoGiB - 3);
    EXPECT_EQ(stream.Write("low 2GB", 7), 7);
    stream.SetPosition(stream.GetSize());
    EXPECT_EQ(stream.Write("past 4GiB", 9), 9);
    EXPECT_EQ(stream.VolumeCount(), 5);
  }
  EXPECT_EQ(test::ReadFile(folder / "game.004"), "past 4GiB");
  TDirectory directory;
  directory.Entries = {{"low", TwoGiB - 3, 1, 0, BytesCRC32("low 2GB"), 0},
                       {"gap", TwoGiB + 4, 1, 0, 0, 0},
                       {"high", FourGiB, 1, 0, BytesCRC32("past 4GiB"), 0}};
  directory.EndOffset = FourGiB + 9;
  test::WriteFile(folder / "game.ext", EncodeDirectory(directory));

  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  ASSERT_EQ(collection.Count(), 4);
  EXPECT_EQ(collection.Entries(0).Size, 7);
  EXPECT_EQ(collection.Entries(1).Size, FourGiB - TwoGiB - 4);
  EXPECT_EQ(collection.Entries(2).Size, 9);
  for (const auto& [name, content] :
       {std::pair<std::string, std::string>{"low", "low 2GB"}, {"high", "past 4GiB"}}) {
    platform::TMemoryStream loaded;
    collection.LoadEntry(loaded, name);
    EXPECT_EQ(loaded.Bytes(), content);
  }
  // Both checked entries are read where they lie; the gap has no check value.
  EXPECT_TRUE(collection.Verify());
}

TEST(BigFileStream, AGapInTheVolumeChainHidesLaterVolumes) {
  TTempFolder folder;
  test::WriteSparseFile(folder / "game.dat", Volume);
  test::WriteFile(folder / "game.001", "12345");
  test::WriteFile(folder / "game.003", "hidden");
  TQsBigFileStream stream(folder / "game.dat", fmBigOpenRead);
  EXPECT_EQ(stream.VolumeCount(), 2);
  EXPECT_EQ(stream.GetSize(), Volume + 5);
}

TEST(BigFileStream, CreateModeDeletesEveryOldVolume) {
  TTempFolder folder;
  test::WriteFile(folder / "game.dat", "zero");
  test::WriteFile(folder / "game.001", "one");
  test::WriteFile(folder / "game.002", "two");
  {
    TQsBigFileStream stream(folder / "game.dat", fmBigCreate);
    EXPECT_EQ(stream.GetSize(), 0);
    EXPECT_EQ(stream.VolumeCount(), 0);
    EXPECT_FALSE(platform::FileExists(folder / "game.dat"));
    EXPECT_FALSE(platform::FileExists(folder / "game.001"));
    EXPECT_FALSE(platform::FileExists(folder / "game.002"));
    EXPECT_EQ(stream.Write("new", 3), 3);
  }
  EXPECT_EQ(test::ReadFile(folder / "game.dat"), "new");
}

TEST(BigFileStream, MissingFileIsAnEmptyStreamAndPositionsStayInside) {
  TTempFolder folder;
  TQsBigFileStream missing(folder / "none.dat", fmBigOpenRead);
  EXPECT_EQ(missing.GetSize(), 0);
  char byte = 0;
  EXPECT_EQ(missing.Read(&byte, 1), 0);

  test::WriteFile(folder / "small.dat", "12345");
  TQsBigFileStream stream(folder / "small.dat", fmBigOpenRead);
  stream.SetPosition(100);
  EXPECT_EQ(stream.GetPosition(), 5);
  stream.SetPosition(-3);
  EXPECT_EQ(stream.GetPosition(), 0);
  platform::TMemoryStream target;
  EXPECT_EQ(stream.CopyTo(target, 0), 0);  // a count of 0 copies nothing
  EXPECT_EQ(target.Size(), 0);
}

TEST(BigFileStream, CopyFromBigBetweenFilesAndFromMemory) {
  TTempFolder folder;
  test::WriteFile(folder / "src.dat", "hello, volumes");
  TQsBigFileStream source(folder / "src.dat", fmBigOpenRead);
  {
    TQsBigFileStream target(folder / "dst.dat", fmBigCreate);
    source.SetPosition(7);
    EXPECT_EQ(target.CopyFromBig(source, 7), 7);
    EXPECT_EQ(source.GetPosition(), 14);
    TQsBigMemoryStream memory(std::string("++"));
    EXPECT_EQ(target.CopyFromBig(memory, 0), 2);  // 0: all of the source
    platform::TMemoryStream platformSource(std::string("--"));
    platformSource.SetPosition(1);
    EXPECT_EQ(target.CopyFrom(platformSource, 0), 2);
  }
  EXPECT_EQ(test::ReadFile(folder / "dst.dat"), "volumes++--");

  // A short source must not be copied as if it were whole.
  TQsBigMemoryStream tooShort(std::string("ab"));
  TQsBigFileStream target(folder / "dst2.dat", fmBigCreate);
  EXPECT_THROW(target.CopyFromBig(tooShort, 5), base::EReadError);
  source.SetPosition(10);
  EXPECT_THROW(target.CopyFromBig(source, 10), base::EReadError);
}

TEST(BigMemoryStream, CopiesOnlyFromItsOwnKind) {
  TTempFolder folder;
  test::WriteFile(folder / "src.dat", "file bytes");
  TQsBigFileStream file(folder / "src.dat", fmBigOpenRead);
  TQsBigMemoryStream memory;
  EXPECT_EQ(memory.CopyFromBig(file, 4), 0);
  EXPECT_EQ(memory.GetSize(), 0);
  TQsBigMemoryStream other(std::string("xyz"));
  EXPECT_EQ(memory.CopyFromBig(other, 0), 3);
  memory.SetPosition(0);
  platform::TMemoryStream out;
  EXPECT_EQ(memory.CopyTo(out, 0), 0);
  EXPECT_EQ(memory.CopyTo(out, 2), 2);
  EXPECT_EQ(out.Bytes(), "xy");
  memory.LoadFromFile(folder / "src.dat");
  EXPECT_EQ(memory.GetSize(), 10);
}

class TFakeModule : public platform::TModule {
 public:
  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    if (name == "DUMMY" && type == "BINTYPE") return std::string_view(FData);
    return std::nullopt;
  }
  std::string FData = "resource bytes";
};

TEST(BigResourceStream, ReadsAndRefusesWrites) {
  TFakeModule module;
  TQsBigResourceStream stream(module, "DUMMY", "BINTYPE");
  EXPECT_EQ(stream.GetSize(), 14);
  stream.SetPosition(9);
  char bytes[5];
  EXPECT_EQ(stream.Read(bytes, 5), 5);
  EXPECT_EQ(std::string(bytes, 5), "bytes");
  try {
    stream.Write("x", 1);
    ADD_FAILURE() << "a resource stream accepted a write";
  } catch (const base::EStreamError& e) {
    EXPECT_EQ(e.Message(), base::Sjis("読み込み専用リソース ストリームには書き込めません"));
  }
  try {
    TQsBigResourceStream missing(module, "OTHER", "BINTYPE");
    ADD_FAILURE() << "a missing resource was opened";
  } catch (const base::EResNotFound& e) {
    EXPECT_EQ(e.Message(), base::Sjis("OTHER リソースが見つかりません"));
  }
}

TEST(BuffBigStream, MovesItsSourceBackOnDestruction) {
  TQsBigMemoryStream source(std::string(300000, 's'));
  source.SetPosition(0);
  {
    TQsBuffBigStream buffer(source);
    char bytes[6];
    EXPECT_EQ(buffer.Read(bytes, 6), 6);
    EXPECT_EQ(source.GetPosition(), 102400);  // one refill
  }
  EXPECT_EQ(source.GetPosition(), 6);  // moved back by 102,394
}

TEST(BuffBigStream, ReadsAcrossRefillsAndStopsWhenTheSourceRunsDry) {
  std::string data;
  for (int i = 0; i < 250000; ++i) data += static_cast<char>('a' + i % 26);
  TQsBigMemoryStream source(data);
  source.SetPosition(0);
  TQsBuffBigStream buffer(source);
  std::string first(102398, '\0');
  EXPECT_EQ(buffer.Read(first.data(), 102398), 102398);
  std::string across(10, '\0');
  EXPECT_EQ(buffer.Read(across.data(), 10), 10);
  EXPECT_EQ(across, data.substr(102398, 10));
  std::string rest(200000, '\0');
  EXPECT_EQ(buffer.Read(rest.data(), 200000), 250000 - 102408);
  EXPECT_EQ(rest.substr(0, 250000 - 102408), data.substr(102408));
  EXPECT_EQ(buffer.Read(rest.data(), 1), 0);
}

}  // namespace
}  // namespace mora::archive
