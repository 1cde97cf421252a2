// Archives on disk: every placement and version written by the archive
// writer and read back, extraction, the whole-archive check and UpdateFrom.
#include "archive/vrfiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/vrlayout.h"
#include "archive/vrwriter.h"
#include "archive/zstream.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "test_support.h"

namespace mora::archive {
namespace {

using test::TTempFolder;

class TFakeModule : public platform::TModule {
 public:
  explicit TFakeModule(std::string data) : FData(std::move(data)) {}
  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    if (base::SameText932(name, "DUMMY") && base::SameText932(type, "BINTYPE")) {
      return std::string_view(FData);
    }
    return std::nullopt;
  }

 private:
  std::string FData;
};

std::string AllBytes() {
  std::string bytes;
  for (int round = 0; round < 40; ++round) {
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  }
  return bytes;
}

const std::string SjisName = "data\\\x83\x41\x83\x43.bin";  // data\アイ.bin

void AddSample(TVrArchiveWriter& writer, bool stored) {
  TArchiveEntryOptions options;
  options.Stored = stored;
  options.FileTime = 0x3A214C00;
  writer.AddBytes("install.dat", "settings record", options);
  options.FileTime = -2;
  writer.AddBytes(SjisName, AllBytes(), options);
  options.FileTime = 1;
  writer.AddBytes("empty.txt", "", options);
  // Its check value covers the content (checked when it is installed), so
  // the whole-archive check passes over it.
  options.Stored = false;
  options.InstallAsFile = true;
  writer.AddBytes("setup.ini", std::string(700, 'i'), options);
}

TArchiveEntryOptions Options(bool stored, std::int32_t fileTime = 0, bool installAsFile = false,
                             std::optional<std::uint32_t> crc = std::nullopt) {
  TArchiveEntryOptions options;
  options.Stored = stored;
  options.FileTime = fileTime;
  options.InstallAsFile = installAsFile;
  options.CRC = crc;
  return options;
}

enum class TPlacement { Separate, Companion, Appended, Resource };

std::string LoadToMemory(TVrFileCollection& collection, const std::string& name) {
  platform::TMemoryStream stream;
  collection.LoadEntry(stream, name);
  EXPECT_EQ(stream.Position(), 0);
  return stream.Bytes();
}

std::string LoadThroughFile(TVrFileCollection& collection, const std::string& name,
                            const std::string& path) {
  {
    platform::TFileStream file(path, platform::TFileStream::TMode::Create);
    collection.LoadEntry(file, name);
    EXPECT_EQ(file.Position(), 0);
  }
  return test::ReadFile(path);
}

TEST(ArchiveRoundTrip, EveryVersionPlacementAndStorage) {
  for (std::int32_t version : {0, 100, 101, 102}) {
    for (TPlacement placement : {TPlacement::Separate, TPlacement::Companion, TPlacement::Appended,
                                 TPlacement::Resource}) {
      for (bool stored : {false, true}) {
        SCOPED_TRACE("version " + std::to_string(version) + " placement " +
                     std::to_string(static_cast<int>(placement)) +
                     (stored ? " stored" : " packed"));
        TTempFolder folder;
        TVrArchiveWriter writer(version);
        AddSample(writer, stored);
        TVrFileCollection collection;
        switch (placement) {
          case TPlacement::Separate:
            writer.WriteSeparate(folder / "game.dat");
            collection.Open(folder / "game.dat");
            break;
          case TPlacement::Companion:
            writer.WriteWithCompanion(folder / "game.dat");
            ASSERT_TRUE(platform::FileExists(folder / "game.ext"));
            collection.Open(folder / "game.dat");
            break;
          case TPlacement::Appended:
            test::WriteFile(folder / "setup.exe", "MZ" + std::string(1000, 'p'));
            writer.AppendTo(folder / "setup.exe");
            EXPECT_TRUE(HasAppendedArchive(folder / "setup.exe"));
            collection.OpenAppended(folder / "setup.exe");
            break;
          case TPlacement::Resource:
            collection.OpenResource(std::make_unique<TFakeModule>(writer.BuildImage()), "DUMMY",
                                    "BINTYPE");
            break;
        }
        ASSERT_EQ(collection.Count(), 5);
        EXPECT_EQ(collection.Entries(4).Name(), "\\EOF\\");
        EXPECT_EQ(LoadToMemory(collection, "setup.ini"), std::string(700, 'i'));
        EXPECT_EQ(collection.Entries(3).InstallAsFile, version >= 102 ? 1 : 0);
        EXPECT_EQ(collection.IndexOf(SjisName), 1);
        EXPECT_EQ(LoadToMemory(collection, "INSTALL.DAT"), "settings record");
        EXPECT_EQ(LoadToMemory(collection, SjisName), AllBytes());
        EXPECT_EQ(LoadToMemory(collection, "empty.txt"), "");
        EXPECT_EQ(LoadThroughFile(collection, SjisName, folder / "out.bin"), AllBytes());
        const bool hasFields = version >= 101;
        EXPECT_EQ(collection.Entries(0).Stored, hasFields && stored ? 1 : 0);
        EXPECT_EQ(collection.Entries(1).FileTime, hasFields ? -2 : 0);
        if (hasFields) {
          EXPECT_NE(collection.Entries(1).CRC, 0u);
          EXPECT_EQ(collection.Entries(1).Size,
                    stored ? static_cast<std::int64_t>(AllBytes().size())
                           : static_cast<std::int64_t>(DeflateBytes(AllBytes()).size()));
        }
        EXPECT_TRUE(collection.Verify());
        if (placement == TPlacement::Companion) {
          EXPECT_EQ(collection.Entries(0).Offset, 0);
        }
      }
    }
  }
}

TEST(ArchiveWriter, AddFileTakesContentAndTimeFromTheFile) {
  TTempFolder folder;
  test::WriteFile(folder / "source.txt", "from a file");
  ASSERT_TRUE(platform::SetFileDosTime(folder / "source.txt", 0x3A214C00));
  TVrArchiveWriter writer;
  writer.AddFile("copy.txt", folder / "source.txt");
  writer.AddFile("dated.txt", folder / "source.txt", Options(true, 77, false));
  writer.WriteWithCompanion(folder / "game.dat");
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  EXPECT_EQ(LoadToMemory(collection, "copy.txt"), "from a file");
  EXPECT_EQ(collection.Entries(0).FileTime, 0x3A214C00);
  EXPECT_EQ(collection.Entries(1).FileTime, 77);
  EXPECT_EQ(collection.Entries(1).CRC, 0x89616046u);  // zlib.crc32(b"from a file")
  EXPECT_THROW(TVrArchiveWriter(-1), base::ERangeError);
}

TEST(ArchivePlacement, TrailerOfAnArchiveAppendedAtFourMillion) {
  EXPECT_EQ(EncodeTrailer(4000000), std::string("\x00\x09\x3D\x00\x6D\x72", 6));
  TTempFolder folder;
  test::WriteSparseFile(folder / "setup.exe", 4000000, "end of program");
  TVrArchiveWriter writer;
  writer.AddBytes("readme.txt", "hello");
  writer.AppendTo(folder / "setup.exe");
  const std::string file = test::ReadFile(folder / "setup.exe");
  EXPECT_EQ(file.substr(file.size() - 6), std::string("\x00\x09\x3D\x00\x6D\x72", 6));
  EXPECT_EQ(file.substr(4000000, 2), "vf");
  TVrFileCollection collection;
  collection.OpenAppended(folder / "setup.exe");
  ASSERT_EQ(collection.Count(), 2);
  EXPECT_GT(collection.Entries(0).Offset, 4000000);
  EXPECT_EQ(LoadToMemory(collection, "readme.txt"), "hello");
  EXPECT_EQ(collection.BaseFolder, folder.Path());
}

TEST(ArchivePlacement, AFileWithoutTrailerIsNoAppendedArchive) {
  TTempFolder folder;
  test::WriteFile(folder / "plain.exe", "MZ plain program");
  EXPECT_FALSE(HasAppendedArchive(folder / "plain.exe"));
  EXPECT_FALSE(HasAppendedArchive(folder / "missing.exe"));
  TVrFileCollection collection;
  EXPECT_THROW(collection.OpenAppended(folder / "plain.exe"), base::EDamagedData);
  // A trailer whose directory position lies outside the file.
  test::WriteFile(folder / "bad.exe", "MZ" + test::Int32Bytes(5000) + "mr");
  EXPECT_FALSE(HasAppendedArchive(folder / "bad.exe"));
  EXPECT_THROW(collection.OpenAppended(folder / "bad.exe"), base::EDamagedData);
}

TEST(ArchivePlacement, CompanionDirectoryWinsOverTheFilesOwn) {
  TTempFolder folder;
  TVrArchiveWriter writer;
  writer.AddBytes("inner", "inner bytes", Options(true, 0, false));
  writer.WriteSeparate(folder / "game.dat");
  const auto size = platform::GetFileSize(folder / "game.dat").value();
  TDirectory directory;
  directory.Entries = {{"outer", 0, 1, 0, 0, 0}};
  directory.EndOffset = size;
  test::WriteFile(folder / "game.ext", EncodeDirectory(directory));
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  EXPECT_EQ(collection.IndexOf("inner"), -1);
  ASSERT_EQ(collection.IndexOf("outer"), 0);
  EXPECT_EQ(collection.Entries(0).Size, size);
  // Writing as a separate file removes a stale companion. (An open archive
  // cannot be replaced on Windows: close it first.)
  collection.Open("");
  writer.WriteSeparate(folder / "game.dat");
  EXPECT_FALSE(platform::FileExists(folder / "game.ext"));
}

TEST(ArchivePlacement, DamagedDirectoryIsRejectedNamingTheArchive) {
  TTempFolder folder;
  test::WriteFile(folder / "game.dat", test::Int32Bytes(1000) + "short");
  TVrFileCollection collection;
  try {
    collection.Open(folder / "game.dat");
    ADD_FAILURE() << "damaged directory accepted";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find(folder / "game.dat"), std::string::npos) << e.Message();
  }
  test::WriteFile(folder / "game.ext", test::Int32Bytes(-1));
  try {
    collection.Open(folder / "game.dat");
    ADD_FAILURE() << "damaged companion accepted";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find(folder / "game.ext"), std::string::npos) << e.Message();
  }
}

TEST(ArchiveOpen, FoldersEmptyNamesAndMissingModules) {
  TTempFolder folder;
  TVrFileCollection collection;
  const std::string path = folder.Path().substr(0, folder.Path().size() - 1);
  collection.Open(path);
  EXPECT_EQ(collection.Count(), 0);
  EXPECT_EQ(collection.Stream(), nullptr);
  EXPECT_EQ(collection.BaseFolder, folder.Path());
  collection.OpenFile(folder / "game.dat", true);  // missing file taken as a file name
  EXPECT_EQ(collection.BaseFolder, folder.Path());
  EXPECT_EQ(collection.Stream(), nullptr);
  collection.Open("");
  EXPECT_EQ(collection.Count(), 0);
  EXPECT_TRUE(collection.BaseFolder.empty());
  collection.OpenResource(folder / "no-such-module.exe", "DUMMY", "BINTYPE");
  EXPECT_EQ(collection.Count(), 0);
  EXPECT_EQ(collection.Stream(), nullptr);
  try {
    collection.OpenResource(std::make_unique<TFakeModule>(""), "DUMMY", "BINTYPE");
    ADD_FAILURE() << "empty resource accepted";
  } catch (const base::EResNotFound& e) {
    EXPECT_EQ(e.Message(), base::Sjis("リソースが見つかりません"));
  }
}

TEST(LoadEntry, LooseFileOverridesTheEntry) {
  TTempFolder folder;
  TVrArchiveWriter writer;
  writer.AddBytes("install.dat", "from the archive");
  writer.WriteSeparate(folder / "game.dat");
  test::WriteFile(folder / "install.dat", "loose file");
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  EXPECT_EQ(LoadToMemory(collection, "install.dat"), "loose file");
  EXPECT_EQ(LoadThroughFile(collection, "install.dat", folder / "copy.dat"), "loose file");
  collection.BaseFolder.clear();
  EXPECT_EQ(LoadToMemory(collection, "install.dat"), "from the archive");
}

TEST(LoadEntry, MissingNameAndDamagedZlibData) {
  TTempFolder folder;
  const std::string garbage = "this is no zlib stream";
  TDirectory directory;
  directory.Version = 101;
  directory.Entries = {{"bad.bin", 0, 0, 0, 0, 0}};
  directory.EndOffset = static_cast<std::int64_t>(garbage.size());
  test::WriteFile(folder / "game.dat", garbage);
  test::WriteFile(folder / "game.ext", EncodeDirectory(directory));
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  try {
    platform::TMemoryStream stream;
    collection.LoadEntry(stream, "nothere.txt");
    ADD_FAILURE() << "missing name loaded";
  } catch (const base::Exception& e) {
    EXPECT_EQ(e.Message(), "nothere.txt" + base::Sjis(":ファイルがありません"));
  }
  platform::TMemoryStream memory;
  try {
    collection.LoadEntry(memory, "bad.bin");
    ADD_FAILURE() << "damaged zlib data inflated";
  } catch (const base::EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "error");
  }
  EXPECT_EQ(memory.Bytes(), garbage);  // the compressed bytes stay
  platform::TFileStream file(folder / "out.bin", platform::TFileStream::TMode::Create);
  EXPECT_THROW(collection.LoadEntry(file, "bad.bin"), base::EZDecompressionError);
}

// Letters in an order that compresses, but not to nothing.
std::string Varied(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 99;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>("abcdefgh"[(state >> 16) & 7]);
  }
  return bytes;
}

TEST(LoadEntry, MemoryLimitBoundsOnlyWhatIsInflatedIntoMemory) {
  TTempFolder folder;
  const std::string content = Varied(300000);
  TVrArchiveWriter writer;
  writer.AddBytes("big.bin", content, Options(false));
  writer.AddBytes("stored.bin", content, Options(true));
  writer.WriteSeparate(folder / "game.dat");
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  collection.MemoryEntryLimit = 299999;
  platform::TMemoryStream memory;
  try {
    collection.LoadEntry(memory, "big.bin");
    ADD_FAILURE() << "inflated past the limit";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find("game.dat: offset "), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("entry big.bin inflates to more than 299999 bytes"),
              std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(memory.Bytes(), DeflateBytes(content));  // the stored bytes stay
  // Stored bytes are what the archive holds; a file takes any size.
  EXPECT_EQ(LoadToMemory(collection, "stored.bin"), content);
  EXPECT_TRUE(LoadThroughFile(collection, "big.bin", folder / "big.out") == content);
  collection.MemoryEntryLimit = 300000;
  EXPECT_TRUE(LoadToMemory(collection, "big.bin") == content);
}

TEST(ExtractEntryToFile, FailureLeavesNoPartialFileAndKeepsAnEarlierOne) {
  TTempFolder folder;
  // Cut in the middle: inflating writes a megabyte or more before the cut
  // shows.
  std::string cut = DeflateBytes(Varied(3 << 20));
  cut.resize(cut.size() / 2);
  const std::string good = DeflateBytes("good content");
  TDirectory directory;
  directory.Version = 101;
  directory.Entries = {{"cut.bin", 0, 0, 0, 0, 0},
                       {"good.bin", static_cast<std::int64_t>(cut.size()), 0, 0, 0, 0}};
  directory.EndOffset = static_cast<std::int64_t>(cut.size() + good.size());
  test::WriteFile(folder / "game.dat", cut + good);
  test::WriteFile(folder / "game.ext", EncodeDirectory(directory));
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");

  test::WriteFile(folder / "out.bin", "earlier");
  EXPECT_THROW(collection.ExtractEntryToFile("cut.bin", folder / "out.bin"),
               base::EZDecompressionError);
  EXPECT_EQ(test::ReadFile(folder / "out.bin"), "earlier");
  EXPECT_THROW(collection.ExtractEntryToFile("missing.bin", folder / "new.bin"), base::EFOpenError);
  EXPECT_FALSE(platform::FileExists(folder / "new.bin"));
  // Sound content whose check value is not the one expected: written in
  // full, then refused before the rename. 0x352441C2 is the CRC-32 of "abc".
  EXPECT_THROW(collection.ExtractEntryToFile("good.bin", folder / "out.bin", 0x352441C2u, true),
               base::EDamagedData);
  EXPECT_EQ(test::ReadFile(folder / "out.bin"), "earlier");
  for (const auto& found : platform::FindFiles(folder.Path())) {
    EXPECT_EQ(found.Name.find(".~part"), std::string::npos) << found.Name;
  }

  collection.ExtractEntryToFile("good.bin", folder / "out.bin", BytesCRC32("good content"), true);
  EXPECT_EQ(test::ReadFile(folder / "out.bin"), "good content");
}

TEST(CheckValues, Crc32OfAbcAndShortStreams) {
  EXPECT_EQ(BytesCRC32("abc"), 0x352441C2u);
  platform::TMemoryStream memory(std::string("abc"));
  memory.SetPosition(2);
  EXPECT_EQ(MemoryStreamCRC32(memory), 0x352441C2u);
  TQsBigMemoryStream big(std::string("xabc"));
  big.SetPosition(1);
  char buffer[2];
  EXPECT_EQ(StreamCRC32(big, 3, buffer, 2), 0x352441C2u);  // through a small buffer
  big.SetPosition(1);
  EXPECT_EQ(StreamCRC32(big, 10, buffer, 2), std::nullopt);  // ends early
  EXPECT_EQ(StreamCRC32(big, 0, buffer, 2), 0u);

  TCrc32Stream pieces;
  pieces.WriteBytes("a");
  pieces.WriteBytes("bc");
  EXPECT_EQ(pieces.CRC(), 0x352441C2u);
  EXPECT_EQ(pieces.Size(), 3);
}

// A medium archive of version 102 in folder\medium\game.dat.
void WriteMedium(const std::string& fileName, std::int32_t timeOfB, const std::string& contentOfB) {
  TVrArchiveWriter writer;
  writer.AddBytes("a.txt", "alpha", Options(true, 100, false));
  writer.AddBytes("b.txt", contentOfB, Options(false, timeOfB, false));
  writer.AddBytes("install.dat", "settings", Options(true, 5, true));
  writer.WriteSeparate(fileName);
}

TEST(Verify, FindsDamageAndPassesOverUncheckedEntries) {
  TTempFolder folder;
  TVrArchiveWriter writer;
  writer.AddBytes("ok.txt", "fine", Options(true, 0, false));
  writer.AddBytes("unchecked.txt", "no check value", Options(true, 0, false, 0u));
  writer.AddBytes("bad.txt", "damaged", Options(true, 0, false, 0x12345678u));
  writer.WriteSeparate(folder / "game.dat");
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  int firstBad = 0;
  EXPECT_FALSE(collection.Verify(&firstBad));
  EXPECT_EQ(firstBad, 2);
  collection.SetName(2, "/bad.txt");  // superseded entries are passed over
  EXPECT_TRUE(collection.Verify(&firstBad));
  EXPECT_EQ(firstBad, -1);

  TVrArchiveWriter empty;
  empty.WriteSeparate(folder / "empty.dat");
  collection.Open(folder / "empty.dat");
  ASSERT_EQ(collection.Count(), 1);
  EXPECT_TRUE(collection.Verify());
}

TEST(Verify, ReportsProgressOnEveryTenthEntryAndStopsOnCancel) {
  TTempFolder folder;
  TVrArchiveWriter writer;
  for (int i = 0; i < 25; ++i) {
    std::string name(1, 'f');
    name += std::to_string(i);
    writer.AddBytes(name, "x", Options(true, 0, false, i == 24 ? 1u : 0u));
  }
  writer.WriteSeparate(folder / "game.dat");
  TVrFileCollection collection;
  collection.Open(folder / "game.dat");
  std::vector<int> seen;
  collection.OnProgress = [&](TVrFileCollection&, TVrFile&, std::int64_t, std::int32_t index,
                              std::int32_t count, bool& cancel) {
    EXPECT_EQ(count, 25);
    seen.push_back(index);
    cancel = index == 19;
  };
  EXPECT_TRUE(collection.Verify());  // stopped before the damaged last entry
  EXPECT_EQ(seen, (std::vector<int>{9, 19}));
}

TEST(UpdateFrom, BuildsANewTargetWithItsCompanionDirectory) {
  TTempFolder folder;
  platform::ForceDirectories(folder / "medium");
  WriteMedium(folder / "medium\\game.dat", 200, "bravo");
  TVrFileCollection medium;
  medium.Open(folder / "medium\\game.dat");
  TVrFileCollection target;
  target.OpenFile(folder / "inst\\game.dat", true);
  platform::ForceDirectories(folder / "inst");
  EXPECT_TRUE(target.UpdateFrom(medium));
  EXPECT_TRUE(platform::FileExists(folder / "inst\\game.dat"));
  EXPECT_TRUE(platform::FileExists(folder / "inst\\game.ext"));
  // No sentinel after the update; install-as-file entries stay out.
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Entries(0).Offset, 0);
  EXPECT_EQ(target.IndexOf("install.dat"), -1);
  EXPECT_TRUE(target.Verify());

  target.Open("");  // volumes created by the update are not shared
  TVrFileCollection reopened;
  reopened.Open(folder / "inst\\game.dat");
  ASSERT_EQ(reopened.Count(), 3);
  EXPECT_EQ(LoadToMemory(reopened, "a.txt"), "alpha");
  EXPECT_EQ(LoadToMemory(reopened, "b.txt"), "bravo");
  EXPECT_EQ(reopened.Entries(1).FileTime, 200);
  EXPECT_TRUE(reopened.Verify());
}

TEST(UpdateFrom, TakesOverOnlyNewerEntries) {
  TTempFolder folder;
  platform::ForceDirectories(folder / "disk1");
  platform::ForceDirectories(folder / "disk2");
  platform::ForceDirectories(folder / "inst");
  WriteMedium(folder / "disk1\\game.dat", 200, "bravo");
  WriteMedium(folder / "disk2\\game.dat", 200, "BRAVO");
  TVrFileCollection disk1;
  disk1.Open(folder / "disk1\\game.dat");
  TVrFileCollection target;
  target.OpenFile(folder / "inst\\game.dat", true);
  ASSERT_TRUE(target.UpdateFrom(disk1));

  // Equal file times: nothing taken over, the companion stays as it was.
  target.Open("");
  target.Open(folder / "inst\\game.dat");
  const std::string companion = test::ReadFile(folder / "inst\\game.ext");
  TVrFileCollection disk2;
  disk2.Open(folder / "disk2\\game.dat");
  EXPECT_FALSE(target.UpdateFrom(disk2));
  EXPECT_EQ(test::ReadFile(folder / "inst\\game.ext"), companion);

  // A newer b.txt supersedes the old one, whose bytes stay behind a "/" name.
  disk2.Open("");
  WriteMedium(folder / "disk2\\game.dat", 201, "newer bravo");
  disk2.Open(folder / "disk2\\game.dat");
  target.Open("");
  const auto sizeBefore = platform::GetFileSize(folder / "inst\\game.dat").value();
  target.Open(folder / "inst\\game.dat");
  EXPECT_TRUE(target.UpdateFrom(disk2));
  EXPECT_EQ(target.IndexOf("/b.txt"), 1);
  EXPECT_EQ(target.IndexOf("b.txt"), 2);
  EXPECT_EQ(target.Entries(2).Offset, sizeBefore);

  target.Open("");  // volumes created by the update are not shared
  TVrFileCollection reopened;
  reopened.Open(folder / "inst\\game.dat");
  ASSERT_EQ(reopened.Count(), 4);
  EXPECT_EQ(LoadToMemory(reopened, "b.txt"), "newer bravo");
  EXPECT_EQ(reopened.Entries(1).Name(), "/b.txt");
  EXPECT_TRUE(reopened.Verify());
}

TEST(UpdateFrom, VerifyChecksTheLastAppendedEntry) {
  // After an update there is no sentinel: the entry appended last must still
  // be checked.
  TTempFolder folder;
  platform::ForceDirectories(folder / "medium");
  platform::ForceDirectories(folder / "inst");
  WriteMedium(folder / "medium\\game.dat", 200, "bravo");
  TVrFileCollection medium;
  medium.Open(folder / "medium\\game.dat");
  TVrFileCollection target;
  target.OpenFile(folder / "inst\\game.dat", true);
  ASSERT_TRUE(target.UpdateFrom(medium));
  ASSERT_EQ(target.Entries(target.Count() - 1).Name(), "b.txt");
  ASSERT_EQ(target.IndexOf("\\EOF\\"), -1);
  // Damage the last byte of the entry appended last, through the archive's
  // own stream (the update holds the file without sharing).
  TQsBigStream& stream = *target.Stream();
  stream.SetPosition(stream.GetSize() - 1);
  ASSERT_EQ(stream.Write("\xFF", 1), 1);
  int firstBad = -1;
  EXPECT_FALSE(target.Verify(&firstBad));
  EXPECT_EQ(firstBad, 1);

  // Reopened, the directory ends in the sentinel again: still damaged.
  target.Open("");
  target.Open(folder / "inst\\game.dat");
  ASSERT_EQ(target.Count(), 3);
  EXPECT_FALSE(target.Verify(&firstBad));
  EXPECT_EQ(firstBad, 1);
}

TEST(UpdateFrom, CancelLeavesNoNewCompanion) {
  TTempFolder folder;
  platform::ForceDirectories(folder / "medium");
  platform::ForceDirectories(folder / "inst");
  WriteMedium(folder / "medium\\game.dat", 200, "bravo");
  TVrFileCollection medium;
  medium.Open(folder / "medium\\game.dat");
  TVrFileCollection target;
  target.OpenFile(folder / "inst\\game.dat", true);
  int calls = 0;
  target.OnProgress = [&](TVrFileCollection&, TVrFile& file, std::int64_t size, std::int32_t index,
                          std::int32_t count, bool& cancel) {
    EXPECT_EQ(size, file.Size);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(index, calls);
    cancel = ++calls == 2;
  };
  EXPECT_TRUE(target.UpdateFrom(medium));
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(platform::FileExists(folder / "inst\\game.ext"));
}

TEST(UpdateFrom, AppendsAcrossTheVolumeBoundary) {
  // A hard-disk archive whose data fill volume 0 up to 3 bytes before its
  // end (a sparse stored entry without check value).
  TTempFolder folder;
  platform::ForceDirectories(folder / "inst");
  platform::ForceDirectories(folder / "medium");
  const std::int64_t fill = TQsBigFileStream::VolumeSize - 3;
  test::WriteSparseFile(folder / "inst\\game.dat", fill);
  TDirectory directory;
  directory.Entries = {{"filler", 0, 1, 0, 0, 0}};
  directory.EndOffset = fill;
  test::WriteFile(folder / "inst\\game.ext", EncodeDirectory(directory));
  TVrArchiveWriter writer;
  writer.AddBytes("tail.txt", "0123456789", Options(true, 9, false));
  writer.WriteSeparate(folder / "medium\\game.dat");

  TVrFileCollection medium;
  medium.Open(folder / "medium\\game.dat");
  TVrFileCollection target;
  target.Open(folder / "inst\\game.dat");
  ASSERT_TRUE(target.UpdateFrom(medium));
  auto* stream = dynamic_cast<TQsBigFileStream*>(target.Stream());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->VolumeCount(), 2);
  EXPECT_EQ(stream->VolumeName(1), folder / "inst\\game.001");
  EXPECT_TRUE(target.Verify());

  target.Open("");  // volumes created by the update are not shared
  EXPECT_EQ(test::ReadFile(folder / "inst\\game.001"), "3456789");
  TVrFileCollection reopened;
  reopened.Open(folder / "inst\\game.dat");
  EXPECT_EQ(LoadToMemory(reopened, "tail.txt"), "0123456789");
  EXPECT_TRUE(reopened.Verify());
}

}  // namespace
}  // namespace mora::archive
