#include "settings/fileutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "platform/files.h"
#include "platform/folders.h"

namespace mora::settings {
namespace {

// 0x95 0x5C is one double-byte character whose trail byte is 0x5C.
const std::string Hyou = "\x95\x5C";

TEST(PathHelpers, AppendPathDelimiter) {
  EXPECT_EQ(AppendPathDelimiter("C:\\"), "C:\\");
  EXPECT_EQ(AppendPathDelimiter("C:\\Games"), "C:\\Games\\");
  EXPECT_EQ(AppendPathDelimiter(""), "\\");
  EXPECT_EQ(AppendPathDelimiter("C:\\" + Hyou), "C:\\" + Hyou + "\\");
  EXPECT_EQ(AppendPathDelimiter(Hyou + "\\"), Hyou + "\\");
}

TEST(PathHelpers, CutLastPathPart) {
  const std::pair<std::string, std::string> cases[] = {
      {"A\\B\\C", "A\\B"},
      {"A\\B\\", "A"},
      {"A", ""},
      {"", ""},
      {"\\", ""},
      {"A\\" + Hyou, "A"},                // the trail byte is no delimiter
      {Hyou + "\\" + Hyou + "\\", Hyou},  // nor is the one before the last "\"
      {Hyou, ""},
  };
  for (const auto& [in, out] : cases) {
    std::string path = in;
    CutLastPathPart(path);
    EXPECT_EQ(path, out) << "from " << in;
  }
}

TEST(FormatThousands, GroupsDigitsInThrees) {
  EXPECT_EQ(FormatThousands(0), "0");
  EXPECT_EQ(FormatThousands(100), "100");
  EXPECT_EQ(FormatThousands(999), "999");
  EXPECT_EQ(FormatThousands(1000), "1,000");
  EXPECT_EQ(FormatThousands(12345), "12,345");
  EXPECT_EQ(FormatThousands(100000), "100,000");
  EXPECT_EQ(FormatThousands(1234567), "1,234,567");
  EXPECT_EQ(FormatThousands(INT_MAX), "2,147,483,647");
  // The sign stays outside the groups.
  EXPECT_EQ(FormatThousands(-100), "-100");
  EXPECT_EQ(FormatThousands(-1000), "-1,000");
  EXPECT_EQ(FormatThousands(INT_MIN), "-2,147,483,648");
}

// Each test works in its own folder on drive C.
class FileHelpers : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FRoot = std::string("C:\\MoraFileTest\\") + info->name();
    ASSERT_TRUE(platform::ForceDirectories(FRoot));
  }

  std::string Path(const std::string& relative) const { return FRoot + "\\" + relative; }
  void Write(const std::string& relative, const std::string& bytes) const {
    platform::WriteFileAtomic(Path(relative), bytes);
  }

  std::string FRoot;
};

TEST_F(FileHelpers, ListFilesRecursesDepthFirstWithTheEnginesFilter) {
  ASSERT_TRUE(platform::ForceDirectories(Path("F\\D")));
  ASSERT_TRUE(platform::ForceDirectories(Path("F\\E")));
  Write("F\\a.txt", "a");
  Write("F\\D\\b.txt", "bb");

  std::vector<std::string> list = {"kept"};
  ListFiles(Path("F"), 0x2F, true, false, list, true);
  std::vector<std::string> sorted(list.begin(), list.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{Path("F\\D\\b.txt"), Path("F\\a.txt"), "kept"}));
  EXPECT_EQ(list.front(), "kept");

  // With directories taken, a folder's entries follow its own place.
  ListFiles(Path("F\\"), 0x3F, true, true, list, true);
  ASSERT_EQ(list.size(), 4u);
  const auto d = std::find(list.begin(), list.end(), Path("F\\D"));
  ASSERT_NE(d, list.end());
  ASSERT_NE(d + 1, list.end());
  EXPECT_EQ(*(d + 1), Path("F\\D\\b.txt"));
  EXPECT_NE(std::find(list.begin(), list.end(), Path("F\\E")), list.end());
}

TEST_F(FileHelpers, ListFilesFiltersByMask) {
  ASSERT_TRUE(platform::ForceDirectories(Path("F\\Sub")));
  Write("F\\plain.txt", "p");
  Write("F\\ro.txt", "r");
  ASSERT_TRUE(platform::SetFileAttributes(Path("F\\ro.txt"), platform::faReadOnly));

  std::vector<std::string> list = {"old"};
  ListFiles(Path("F"), 0x10, false, true, list, false);
  EXPECT_EQ(list, std::vector<std::string>{Path("F\\Sub")});

  ListFiles(Path("F"), platform::faReadOnly, false, true, list, false);
  EXPECT_EQ(list, std::vector<std::string>{Path("F\\ro.txt")});

  ListFiles(Path("F"), 0x3F, true, true, list, false);
  EXPECT_EQ(list.size(), 3u);

  // Only files in the folder: the subdirectory filter finds nothing.
  list = {"old"};
  ListFiles(Path("F\\Sub"), 0x10, false, true, list, false);
  Write("F\\Sub\\x.txt", "x");
  ListFiles(Path("F\\Sub"), 0x10, false, true, list, false);
  EXPECT_TRUE(list.empty());

  // A missing folder adds nothing.
  list = {"old"};
  ListFiles(Path("Missing"), 0x3F, true, false, list, true);
  EXPECT_EQ(list, std::vector<std::string>{"old"});
  ASSERT_TRUE(platform::SetFileAttributes(Path("F\\ro.txt"), platform::faNormal));
}

TEST_F(FileHelpers, CopyFileOverReplacesTheTarget) {
  Write("src.bin", "new contents");
  Write("dst.bin", "old");
  EXPECT_TRUE(CopyFileOver(Path("src.bin"), Path("dst.bin")));
  EXPECT_EQ(platform::ReadFileBytes(Path("dst.bin")), "new contents");
  EXPECT_TRUE(CopyFileOver(Path("src.bin"), Path("fresh.bin")));
  EXPECT_EQ(platform::ReadFileBytes(Path("fresh.bin")), "new contents");
  EXPECT_FALSE(CopyFileOver(Path("missing.bin"), Path("dst.bin")));
  EXPECT_EQ(platform::ReadFileBytes(Path("dst.bin")), "new contents");
}

TEST_F(FileHelpers, FileSizeOfGivesZeroWhenItCannotMeasure) {
  Write("five.bin", "12345");
  EXPECT_EQ(FileSizeOf(Path("five.bin")), 5);
  Write("empty.bin", "");
  EXPECT_EQ(FileSizeOf(Path("empty.bin")), 0);
  EXPECT_EQ(FileSizeOf(Path("missing.bin")), 0);
  // Read-only files are measured too.
  ASSERT_TRUE(platform::SetFileAttributes(Path("five.bin"), platform::faReadOnly));
  EXPECT_EQ(FileSizeOf(Path("five.bin")), 5);
  ASSERT_TRUE(platform::SetFileAttributes(Path("five.bin"), platform::faNormal));
}

TEST_F(FileHelpers, DeleteOnRebootOnThe95FamilyWritesWininit) {
  const std::string windows = platform::WindowsFolder();
  ASSERT_TRUE(platform::ForceDirectories(windows));
  const std::string ini = AppendPathDelimiter(windows) + "wininit.ini";
  platform::DeleteFile(ini);

  // A missing file leaves nothing to schedule.
  DeleteFileOnReboot(Path("missing.exe"), platform::TPlatformFamily::Windows95);
  EXPECT_FALSE(platform::FileExists(ini));

  Write("first setup.exe", "MZ");
  Write("second.exe", "MZ");
  const auto first = platform::ShortPathName(Path("first setup.exe"));
  const auto second = platform::ShortPathName(Path("second.exe"));
  ASSERT_TRUE(first && second);
  DeleteFileOnReboot(Path("first setup.exe"), platform::TPlatformFamily::Windows95);
  std::string text = platform::ReadFileBytes(ini);
  EXPECT_NE(text.find("[rename]"), std::string::npos) << text;
  EXPECT_NE(text.find("NUL=" + *first), std::string::npos) << text;

  // The key is always NUL: a second call replaces the first entry.
  DeleteFileOnReboot(Path("second.exe"), platform::TPlatformFamily::Windows95);
  text = platform::ReadFileBytes(ini);
  EXPECT_NE(text.find("NUL=" + *second), std::string::npos) << text;
  EXPECT_EQ(text.find("NUL=" + *first), std::string::npos) << text;
  platform::DeleteFile(ini);
}

}  // namespace
}  // namespace mora::settings
