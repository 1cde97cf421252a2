// What only the Windows shell-link service shows: links are real shell link
// files below the user's Programs folder, the 259-character limit, and
// whether Wine's explorer answers Program Manager's DDE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/sjis.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/shelllink.h"
#include "support.h"
#include "test_links.h"

// After our headers, so the A/W macros do not rename their declarations.
#include <windows.h>

namespace mora::installer {

namespace test {

std::size_t LongestFittingName(const std::string& folder) {
  // MAX_PATH (260) holds 259 characters and the terminating zero; a
  // double-byte character of code page 932 is one UTF-16 character.
  std::size_t characters = 0;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    if (base::IsCharStart(folder, i)) ++characters;
  }
  return 259 - characters - std::string(".lnk").size();
}

TDeletion ExpectedDeletion(const std::string& title) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const bool wine = ntdll && ::GetProcAddress(ntdll, "wine_get_version");
  if (!wine) return TDeletion::Removed;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return TDeletion::NoServer;
  const std::u16string wide = base::Cp932ToUtf16(title);
  BOOL lossy = FALSE;
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(wide.data()),
                        static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
  return lossy ? TDeletion::Lost : TDeletion::Removed;
}

}  // namespace test

namespace {

using base::Sjis;
using platform::test::FreshFolder;
using platform::test::UniqueName;

TEST(ShellLinkFiles, LinksAreShellLinkFilesInTheUsersProgramsFolder) {
  const auto programs = platform::SpecialFolderPath(platform::csidlPrograms);
  ASSERT_TRUE(programs.has_value());
  EXPECT_EQ(programs->substr(programs->size() - 9), "\\Programs") << *programs;

  TShellLink link;
  link.LinkType = TShellLinkType::lnkPrograms;
  link.SubDir = UniqueName(Sjis("実体"));
  link.Name = Sjis("ゲーム");
  link.FileName = FreshFolder() + "game.exe";
  link.CreateLink();
  EXPECT_EQ(link.LinkPath(), *programs + "\\" + link.SubDir + "\\" + Sjis("ゲーム") + ".lnk");
  // A shell link starts with its header size 0x4C and the class
  // {00021401-0000-0000-C000-000000000046}, in little-endian order.
  const std::string bytes = platform::ReadFileBytes(link.LinkPath());
  const std::string header("\x4C\0\0\0\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 20);
  ASSERT_GE(bytes.size(), header.size());
  EXPECT_EQ(bytes.substr(0, header.size()), header);
}

TEST(ShellLinkFiles, ADamagedLinkFileIsReported) {
  const std::string path = FreshFolder() + "broken.lnk";
  platform::WriteFileAtomic(path, "not a link at all");
  try {
    platform::ReadShellLink(path);
    ADD_FAILURE() << "read without complaint";
  } catch (const base::EDamagedData& error) {
    EXPECT_EQ(error.Message().rfind(path + ": ", 0), 0u) << error.Message();
  }
  EXPECT_FALSE(platform::ReadShellLink(FreshFolder() + "absent.lnk").has_value());
}

}  // namespace
}  // namespace mora::installer
