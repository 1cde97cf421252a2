// The installation's course over two disks at the archive level: one
// hard-disk collection takes over the entries of a first medium whose archive
// continues in a volume file (an entry across the 1 GiB boundary of the
// source), then those of a second medium served from a resource, without
// being reopened in between; it is checked with progress and cancel, then
// reopened from its files and compared entry by entry with what was written.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "archive/vrwriter.h"
#include "archive/zstream.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "test_support.h"

namespace mora::archive {
namespace {

using test::TTempFolder;
constexpr std::int64_t Volume = TQsBigFileStream::VolumeSize;

class TFakeModule : public platform::TModule {
 public:
  explicit TFakeModule(std::string data) : FData(std::move(data)) {}
  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    if (name == "DUMMY" && type == "BINTYPE") return std::string_view(FData);
    return std::nullopt;
  }

 private:
  std::string FData;
};

// Bytes that differ from offset to offset and from seed to seed, so a copy
// from a wrong place cannot pass.
std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  return bytes;
}

// What the hard-disk archive must hold under a name after the course.
struct TExpected {
  std::string Content;  // as LoadEntry gives it
  std::int32_t FileTime = 0;
  bool Stored = false;
};

std::string Load(TVrFileCollection& collection, const std::string& name) {
  platform::TMemoryStream stream;
  collection.LoadEntry(stream, name);
  return stream.Bytes();
}

// Disk 1: game.dat with its directory at 0, a large install-as-file entry
// (sparse, never copied to the hard disk) that fills volume 0 up to the
// entry "cross.bin", which continues in game.001, and entries behind it.
// Fills expected with what the hard disk must get from it.
void WriteFirstDisk(const std::string& fileName, std::map<std::string, TExpected>& expected) {
  struct TPart {
    std::string Name;
    std::string Bytes;  // as stored
    TExpected Expect;
  };
  std::vector<TPart> parts;
  const std::string cross = Pattern(100000, 1);
  parts.push_back({"cross.bin", cross, {cross, 10, true}});
  const std::string text(30000, 'k');
  parts.push_back({"packed.txt", DeflateBytes(text), {text, 10, false}});
  parts.push_back({"old.txt", "first disk's old.txt", {"first disk's old.txt", 10, true}});
  const std::string japanese = base::Sjis("データ\\表.bin");  // 0x5C trail byte
  parts.push_back({japanese, Pattern(777, 2), {Pattern(777, 2), 11, true}});
  for (int i = 0; i < 6; ++i) {
    const std::string name = "small" + std::to_string(i) + ".txt";
    const std::string content = Pattern(50 + static_cast<std::size_t>(i), 10 + i);
    parts.push_back({name, content, {content, 12 + i, true}});
  }

  TDirectory directory;
  directory.Version = VersionWritten;
  directory.Entries.push_back({"movie.avi", 0, 1, 9, 0, 1});
  for (const auto& part : parts) {
    directory.Entries.push_back({part.Name, 0,
                                 part.Expect.Stored ? std::uint8_t{1} : std::uint8_t{0},
                                 part.Expect.FileTime, BytesCRC32(part.Bytes), 0});
  }
  directory.Entries[0].Offset = EncodedDirectorySize(directory);

  test::WriteSparseFile(fileName, Volume);
  TQsBigFileStream stream(fileName, fmBigOpenReadWrite);
  stream.SetPosition(Volume - 40000);  // 40,000 bytes of cross.bin in volume 0
  for (std::size_t i = 0; i < parts.size(); ++i) {
    directory.Entries[i + 1].Offset = stream.GetPosition();
    ASSERT_EQ(stream.Write(parts[i].Bytes.data(), static_cast<std::int64_t>(parts[i].Bytes.size())),
              static_cast<std::int64_t>(parts[i].Bytes.size()));
    expected[parts[i].Name] = parts[i].Expect;
  }
  directory.EndOffset = stream.GetPosition();
  const std::string encoded = EncodeDirectory(directory);
  stream.SetPosition(0);
  stream.Write(encoded.data(), static_cast<std::int64_t>(encoded.size()));
  ASSERT_EQ(stream.VolumeCount(), 2);
}

// Disk 2: a setup program's resource. old.txt is newer, packed.txt is as old
// as disk 1's (kept), big.bin is larger than the copy buffer.
std::string SecondDiskImage(std::map<std::string, TExpected>& expected) {
  TVrArchiveWriter writer;
  TArchiveEntryOptions options;
  options.Stored = true;
  options.FileTime = 20;
  writer.AddBytes("old.txt", "second disk's old.txt", options);
  expected["/old.txt"] = expected["old.txt"];
  expected["old.txt"] = {"second disk's old.txt", 20, true};

  options.FileTime = 10;
  writer.AddBytes("packed.txt", "not taken: not newer", options);

  const std::string big = Pattern(2 * 1048576 + 12345, 3);
  options.FileTime = 21;
  writer.AddBytes("big.bin", big, options);
  expected["big.bin"] = {big, 21, true};

  writer.AddBytes("empty.txt", "", options);
  expected["empty.txt"] = {"", 21, true};

  options.Stored = false;
  options.FileTime = 22;
  writer.AddBytes("new.txt", std::string(5000, 'n'), options);
  expected["new.txt"] = {std::string(5000, 'n'), 22, false};

  options.InstallAsFile = true;
  writer.AddBytes("install.dat", "settings of disk 2", options);
  return writer.BuildImage();
}

TEST(MultiDisk, TwoDisksIntoOneHardDiskArchiveWithoutReopening) {
  TTempFolder folder;
  platform::ForceDirectories(folder / "disk1");
  platform::ForceDirectories(folder / "inst");
  std::map<std::string, TExpected> expected;
  WriteFirstDisk(folder / "disk1\\game.dat", expected);

  TVrFileCollection target;
  target.OpenFile(folder / "inst\\game.dat", true);
  {
    TVrFileCollection disk1;
    disk1.Open(folder / "disk1\\game.dat");
    ASSERT_EQ(disk1.Count(), 12);
    const TVrFile& cross = disk1.Entries(disk1.IndexOf("cross.bin"));
    ASSERT_LT(cross.Offset, Volume);
    ASSERT_GT(cross.Offset + cross.Size, Volume);
    ASSERT_TRUE(target.UpdateFrom(disk1));
  }
  // Between the disks the medium archive is closed; the hard disk's stays.
  TVrFileCollection disk2;
  disk2.OpenResource(std::make_unique<TFakeModule>(SecondDiskImage(expected)), "DUMMY", "BINTYPE");
  std::vector<std::string> copied;
  target.OnProgress = [&](TVrFileCollection&, TVrFile& file, std::int64_t, std::int32_t,
                          std::int32_t, bool&) { copied.emplace_back(file.Name()); };
  ASSERT_TRUE(target.UpdateFrom(disk2));
  EXPECT_EQ(copied, (std::vector<std::string>{"old.txt", "big.bin", "empty.txt", "new.txt"}));

  // 10 entries of disk 1, 4 of disk 2, one of them superseding old.txt.
  ASSERT_EQ(target.Count(), 14);
  ASSERT_EQ(static_cast<std::size_t>(target.Count()), expected.size());
  EXPECT_EQ(target.IndexOf("movie.avi"), -1);
  EXPECT_EQ(target.IndexOf("install.dat"), -1);
  EXPECT_EQ(target.Entries(target.IndexOf("/old.txt")).Size, 20);

  // The check reports on every tenth entry, counting all 14, and stops when
  // told to: a damaged last entry (new.txt, from disk 2) is not reached.
  TQsBigStream& stream = *target.Stream();
  char last = 0;
  stream.SetPosition(stream.GetSize() - 1);
  ASSERT_EQ(stream.Read(&last, 1), 1);
  const char damaged = static_cast<char>(last ^ 0x5A);
  stream.SetPosition(stream.GetSize() - 1);
  ASSERT_EQ(stream.Write(&damaged, 1), 1);
  std::vector<std::int32_t> reported;
  target.OnProgress = [&](TVrFileCollection&, TVrFile&, std::int64_t, std::int32_t index,
                          std::int32_t count, bool& cancel) {
    EXPECT_EQ(count, 14);
    reported.push_back(index);
    cancel = true;
  };
  EXPECT_TRUE(target.Verify());
  EXPECT_EQ(reported, std::vector<std::int32_t>{9});
  target.OnProgress = nullptr;
  int firstBad = -1;
  EXPECT_FALSE(target.Verify(&firstBad));
  EXPECT_EQ(firstBad, 13);
  stream.SetPosition(stream.GetSize() - 1);
  ASSERT_EQ(stream.Write(&last, 1), 1);
  EXPECT_TRUE(target.Verify(&firstBad));
  EXPECT_EQ(firstBad, -1);

  target.Open("");  // the volumes written by the updates are not shared
  TVrFileCollection reopened;
  reopened.Open(folder / "inst\\game.dat");
  reopened.BaseFolder.clear();      // entries from the archive only
  ASSERT_EQ(reopened.Count(), 15);  // with the sentinel
  EXPECT_TRUE(reopened.Verify());
  for (const auto& [name, expect] : expected) {
    SCOPED_TRACE(name);
    const int index = reopened.IndexOf(name);
    ASSERT_GE(index, 0);
    const TVrFile& entry = reopened.Entries(index);
    EXPECT_EQ(entry.FileTime, expect.FileTime);
    EXPECT_EQ(entry.Stored, expect.Stored ? 1 : 0);
    EXPECT_EQ(Load(reopened, name), expect.Content);
  }
}

}  // namespace
}  // namespace mora::archive
