// Files and folders through the platform headers: attributes, DOS times,
// copies, Japanese names, enumeration, free space, short names, whole-file
// helpers and path expansion.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/streams.h"
#include "support.h"

namespace mora::platform {
namespace {

using base::Sjis;
using test::FreshFolder;

const TFindData* FindEntry(const std::vector<TFindData>& entries, const std::string& name) {
  for (const auto& entry : entries) {
    if (entry.Name == name) return &entry;
  }
  return nullptr;
}

TEST(PlatformFiles, ReadOnlyAttributeProtectsTheFileUntilCleared) {
  const std::string folder = FreshFolder();
  const std::string file = folder + "locked.txt";
  WriteFileAtomic(file, "keep");
  ASSERT_EQ(GetFileAttributes(file) & (faReadOnly | faDirectory), 0u);

  ASSERT_TRUE(SetFileAttributes(file, GetFileAttributes(file) | faReadOnly));
  EXPECT_NE(GetFileAttributes(file) & faReadOnly, 0u);
  EXPECT_FALSE(DeleteFile(file));
  EXPECT_FALSE(CopyFile(folder + "missing.txt", file, false));
  WriteFileAtomic(folder + "other.txt", "other");
  EXPECT_FALSE(CopyFile(folder + "other.txt", file, false));
  TFileOpenOptions write;
  write.Access = TFileAccess::Write;
  EXPECT_FALSE(TFileHandle::TryOpen(file, write).has_value());
  EXPECT_EQ(ReadFileBytes(file), "keep");

  ASSERT_TRUE(SetFileAttributes(file, GetFileAttributes(file) & ~faReadOnly));
  EXPECT_EQ(GetFileAttributes(file) & faReadOnly, 0u);
  EXPECT_TRUE(DeleteFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(GetFileAttributes(file), InvalidFileAttributes);
}

TEST(PlatformFiles, DosTimeRoundTripsAndCopiesKeepIt) {
  const std::string folder = FreshFolder();
  const std::string file = folder + "dated.bin";
  WriteFileAtomic(file, "x");
  const std::int32_t stamp = test::DosTime(2001, 2, 3, 4, 5, 6);
  ASSERT_TRUE(SetFileDosTime(file, stamp));
  EXPECT_EQ(GetFileDosTime(file), stamp);
  // Odd seconds do not exist in the format: 7 s is stored as 6 s.
  EXPECT_EQ(test::DosTime(2001, 2, 3, 4, 5, 7), stamp);

  ASSERT_TRUE(CopyFile(file, folder + "copy.bin", true));
  EXPECT_EQ(GetFileDosTime(folder + "copy.bin"), stamp);
  const auto entries = FindFiles(folder);
  const TFindData* entry = FindEntry(entries, "copy.bin");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->DosTime, stamp);
  EXPECT_EQ(entry->Size, 1);
  EXPECT_FALSE(GetFileDosTime(folder + "missing.bin").has_value());
}

TEST(PlatformFiles, CopyHonoursFailIfExistsAndNeverTruncatesItsSource) {
  const std::string folder = FreshFolder();
  WriteFileAtomic(folder + "a.txt", "alpha");
  WriteFileAtomic(folder + "b.txt", "bravo!");
  EXPECT_FALSE(CopyFile(folder + "a.txt", folder + "b.txt", true));
  EXPECT_EQ(ReadFileBytes(folder + "b.txt"), "bravo!");
  EXPECT_TRUE(CopyFile(folder + "a.txt", folder + "b.txt", false));
  EXPECT_EQ(ReadFileBytes(folder + "b.txt"), "alpha");
  EXPECT_EQ(GetFileSize(folder + "b.txt"), 5);

  EXPECT_FALSE(CopyFile(folder + "a.txt", folder + "a.txt", false));
  EXPECT_EQ(ReadFileBytes(folder + "a.txt"), "alpha");
  EXPECT_FALSE(CopyFile(folder + "none.txt", folder + "c.txt", false));
  EXPECT_FALSE(FileExists(folder + "c.txt"));
}

TEST(PlatformFiles, MoveReplacesTheTarget) {
  const std::string folder = FreshFolder();
  WriteFileAtomic(folder + "from.txt", "new");
  WriteFileAtomic(folder + "to.txt", "old");
  ASSERT_TRUE(MoveFile(folder + "from.txt", folder + "to.txt"));
  EXPECT_FALSE(FileExists(folder + "from.txt"));
  EXPECT_EQ(ReadFileBytes(folder + "to.txt"), "new");
}

TEST(PlatformFiles, FoldersAreCreatedWithParentsAndRemovedOnlyWhenEmpty) {
  const std::string folder = FreshFolder();
  const std::string deep = folder + "one\\two\\three";
  EXPECT_FALSE(CreateDirectory(folder + "x\\y"));  // one level only
  ASSERT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_FALSE(FileExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // already there
  EXPECT_FALSE(CreateDirectory(deep));
  EXPECT_NE(GetFileAttributes(deep) & faDirectory, 0u);

  WriteFileAtomic(deep + "\\f.txt", "f");
  EXPECT_FALSE(RemoveDirectory(deep));
  EXPECT_FALSE(DeleteFile(deep));
  ASSERT_TRUE(DeleteFile(deep + "\\f.txt"));
  EXPECT_TRUE(RemoveDirectory(deep));
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(FindFiles(deep).empty());
}

TEST(PlatformFiles, JapaneseNamesAreCreatedEnumeratedAndFoundAgain) {
  const std::string folder = FreshFolder();
  // "表" and "ソ" end in the byte 0x5C, which must not split the name.
  const std::string subFolder = Sjis("セーブデータ表");
  const std::string fileName = Sjis("ソフト説明書.txt");
  ASSERT_TRUE(CreateDirectory(folder + subFolder));
  WriteFileAtomic(folder + subFolder + "\\" + fileName, Sjis("内容"));

  const auto top = FindFiles(folder);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].Name, subFolder);
  EXPECT_NE(top[0].Attributes & faDirectory, 0u);

  const auto inner = FindFiles(folder + subFolder + "\\");
  ASSERT_EQ(inner.size(), 1u);
  EXPECT_EQ(inner[0].Name, fileName);
  EXPECT_EQ(inner[0].Attributes & faDirectory, 0u);
  EXPECT_EQ(inner[0].Size, static_cast<std::int64_t>(Sjis("内容").size()));
  EXPECT_TRUE(FileExists(folder + subFolder + "\\" + fileName));
  EXPECT_EQ(ReadFileBytes(folder + subFolder + "\\" + fileName), Sjis("内容"));
}

TEST(PlatformFiles, EnumerationListsEveryEntryOnceWithoutDots) {
  const std::string folder = FreshFolder();
  WriteFileAtomic(folder + "a.dat", "12345");
  WriteFileAtomic(folder + "b.dat", "");
  ASSERT_TRUE(CreateDirectory(folder + "sub"));
  auto entries = FindFiles(folder);
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.Name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.dat", "b.dat", "sub"}));
  EXPECT_EQ(FindEntry(entries, "a.dat")->Size, 5);
  EXPECT_TRUE(FindFiles(folder + "absent\\").empty());
}

TEST(PlatformFiles, FreeSpaceIsKnownForCAndNotForAMissingDrive) {
  EXPECT_GT(DiskFreeBytes("C:\\"), 0);
  EXPECT_EQ(DiskFreeBytes("Q:\\"), -1);
}

TEST(PlatformFiles, ShortPathNameNamesTheSameFile) {
  const std::string folder = FreshFolder();
  const std::string file = folder + "a rather long file name.text";
  WriteFileAtomic(file, "same");
  const auto shortName = ShortPathName(file);
  ASSERT_TRUE(shortName.has_value());
  EXPECT_EQ(ReadFileBytes(*shortName), "same");
  EXPECT_FALSE(ShortPathName(folder + "missing.txt").has_value());
}

TEST(PlatformFiles, WriteFileAtomicReplacesWholeAndLeavesNoTemporaryFile) {
  const std::string folder = FreshFolder();
  const std::string file = folder + "data.bin";
  WriteFileAtomic(file, std::string(100000, 'a'));
  WriteFileAtomic(file, "short");
  EXPECT_EQ(ReadFileBytes(file), "short");
  EXPECT_EQ(FindFiles(folder).size(), 1u);
  EXPECT_THROW(WriteFileAtomic(folder + "no\\such\\folder.bin", "x"), base::EFCreateError);
  EXPECT_THROW(ReadFileBytes(folder + "missing.bin"), base::EFOpenError);
  EXPECT_THROW(ReadFileBytes(folder), base::EFOpenError);  // a folder is no file
}

TEST(PlatformFiles, ExpandFileNameResolvesAgainstTheCurrentFolder) {
  const std::string current = CurrentFolder();
  const std::string prefix = base::EndsWithPathDelimiter(current) ? current : current + "\\";
  EXPECT_EQ(ExpandFileName("name.txt"), prefix + "name.txt");
  EXPECT_EQ(ExpandFileName("C:\\a\\b\\..\\c.txt"), "C:\\a\\c.txt");
  EXPECT_EQ(ExpandFileName("C:\\a\\.\\b\\"), "C:\\a\\b\\");
}

// One (sparse) file past 2^31 and 2^32 bytes, and an MS-DOS time after
// 2038: where off_t, long or time_t have 32 bits, these are cut short.
TEST(PlatformFiles, SizesOffsetsAndTimesBeyondThirtyTwoBits) {
  const std::string folder = FreshFolder();
  const std::string file = folder + "large.bin";
  constexpr std::int64_t TwoGiB = std::int64_t{1} << 31;
  constexpr std::int64_t FourGiB = std::int64_t{1} << 32;
  TFileOpenOptions options;
  options.Access = TFileAccess::ReadWrite;
  options.Creation = TFileCreation::CreateAlways;
  {
    auto handle = TFileHandle::Open(file, options);
    handle.SetSize(FourGiB + 10);
    EXPECT_EQ(handle.Seek(TwoGiB - 2, TSeekOrigin::Begin), TwoGiB - 2);
    EXPECT_EQ(handle.Write("abcd", 4), 4);
    EXPECT_EQ(handle.Seek(-10, TSeekOrigin::End), FourGiB);
    EXPECT_EQ(handle.Write("0123456789", 10), 10);
    EXPECT_EQ(handle.Size(), FourGiB + 10);
  }
  EXPECT_EQ(GetFileSize(file), FourGiB + 10);
  const auto entries = FindFiles(folder);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Size, FourGiB + 10);
  options.Access = TFileAccess::Read;
  options.Creation = TFileCreation::OpenExisting;
  auto handle = TFileHandle::Open(file, options);
  char bytes[4] = {};
  EXPECT_EQ(handle.Seek(TwoGiB - 2, TSeekOrigin::Begin), TwoGiB - 2);
  ASSERT_EQ(handle.Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "abcd");
  EXPECT_EQ(handle.Seek(FourGiB + 3, TSeekOrigin::Begin), FourGiB + 3);
  ASSERT_EQ(handle.Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "3456");
  handle.Close();

  const std::int32_t late = test::DosTime(2100, 2, 3, 4, 5, 6);
  EXPECT_TRUE(SetFileDosTime(file, late));
  EXPECT_EQ(GetFileDosTime(file), late);
}

// Where size_t has 32 bits, a memory stream asked to reach past 4 GiB and a
// whole-file read of a larger file must fail instead of wrapping around
// (where it has 64 bits the same calls would really allocate the memory).
TEST(PlatformFiles, MemoryBeyondTheAddressSpaceIsRefused) {
  if (sizeof(std::size_t) > 4) GTEST_SKIP() << "only a 32-bit address space ends at 4 GiB";
  constexpr std::int64_t FourGiB = std::int64_t{1} << 32;
  TMemoryStream memory;
  memory.SetPosition(FourGiB + 5);
  EXPECT_THROW(memory.Write("x", 1), base::EWriteError);
  EXPECT_THROW(memory.SetSize(FourGiB + 1), base::EWriteError);
  EXPECT_EQ(memory.Size(), 0);

  const std::string file = FreshFolder() + "huge.bin";
  TFileOpenOptions options;
  options.Access = TFileAccess::ReadWrite;
  options.Creation = TFileCreation::CreateAlways;
  TFileHandle::Open(file, options).SetSize(FourGiB + 16);
  EXPECT_THROW(ReadFileBytes(file), base::EFOpenError);
  EXPECT_THROW(memory.LoadFromFile(file), base::EFOpenError);
}

}  // namespace
}  // namespace mora::platform
