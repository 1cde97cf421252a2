// Command-line splitting, profile writing and the system's version.
#include <gtest/gtest.h>

#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "support.h"

namespace mora::platform {
namespace {

using Args = std::vector<std::string>;

TEST(PlatformCommandLine, QuotesGroupAndBackslashesNeverEscape) {
  EXPECT_EQ(ParseCommandLine("prog \"C:\\medium\\\""), (Args{"prog", "C:\\medium\\"}));
  EXPECT_EQ(ParseCommandLine("\"C:\\Program Files\\x.exe\"  a\t\"b c\"d  "),
            (Args{"C:\\Program Files\\x.exe", "a", "b cd"}));
  EXPECT_EQ(ParseCommandLine("p C:\\a\\\\b\\\"c d\""), (Args{"p", "C:\\a\\\\b\\c d"}));
  EXPECT_EQ(ParseCommandLine(""), Args{});
  // The trail byte 0x5C of a double-byte character stays part of the name.
  const std::string path = base::Sjis("D:\\表\\");
  EXPECT_EQ(ParseCommandLine("p \"" + path + "\""), (Args{"p", path}));
}

std::vector<std::string> NonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TEST(PlatformProfile, WritesAndReplacesKeysPerSection) {
  const std::string file = test::FreshFolder() + "wininit.ini";
  ASSERT_TRUE(WriteProfileString(file, "rename", "NUL", "C:\\TEMP\\A.EXE"));
  EXPECT_EQ(NonEmptyLines(ReadFileBytes(file)), (Args{"[rename]", "NUL=C:\\TEMP\\A.EXE"}));
  ASSERT_TRUE(WriteProfileString(file, "other", "k", "v"));
  ASSERT_TRUE(WriteProfileString(file, "rename", "NUL", "C:\\TEMP\\B.EXE"));
  ASSERT_TRUE(WriteProfileString(file, "rename", "second", "2"));
  EXPECT_EQ(NonEmptyLines(ReadFileBytes(file)),
            (Args{"[rename]", "NUL=C:\\TEMP\\B.EXE", "second=2", "[other]", "k=v"}));
}

TEST(PlatformSystem, ReportsAnNtFamilyVersion) {
  EXPECT_EQ(PlatformFamily(), TPlatformFamily::WindowsNT);
  EXPECT_GT(WindowsVersion() & 0xFF, 3u);
}

}  // namespace
}  // namespace mora::platform
