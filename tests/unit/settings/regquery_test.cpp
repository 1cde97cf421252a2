#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::settings {
namespace {

using platform::TRootKey;

constexpr TRootKey User = TRootKey::CurrentUser;

TMoraInstallSet WithKey(const std::string& registryKey) {
  TMoraInstallSet s;
  s.RegistryKey = registryKey;
  return s;
}

bool KeyExists(const std::string& path) { return platform::RegKeyExists(User, path); }

TEST(InstallSetRegistry, EmptyKeyDisablesEveryRegistryOperation) {
  TMoraInstallSet s;
  s.ProgramFile = "game.exe";
  EXPECT_EQ(s.ReadRegString("InstallPath", "dflt"), "dflt");
  EXPECT_FALSE(s.IsInstalled());
  s.WriteRegString("InstallPath", "C:\\x\\");
  EXPECT_FALSE(platform::RegQueryValue(User, "Software", "InstallPath").has_value());
  EXPECT_FALSE(platform::RegQueryValue(User, "Software\\", "InstallPath").has_value());
  platform::RegWriteString(User, "Software\\MoraEmptyGuard", "v", "1");
  s.DeleteRegKey();
  EXPECT_TRUE(KeyExists("Software\\MoraEmptyGuard"));
  platform::RegDeleteKeyTree(User, "Software\\MoraEmptyGuard");
}

TEST(InstallSetRegistry, LeadingDelimiterAddressesTheSameKey) {
  WithKey("\\MoraMakerA\\Title").WriteRegString("InstallPath", "C:\\Games\\T\\");
  const auto stored = platform::RegQueryValue(User, "Software\\MoraMakerA\\Title", "InstallPath");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->Type, platform::TRegValueType::String);
  EXPECT_EQ(stored->Data, "C:\\Games\\T\\");
  EXPECT_EQ(WithKey("MoraMakerA\\Title").ReadRegString("InstallPath", ""), "C:\\Games\\T\\");
  WithKey("MoraMakerA\\Title").DeleteRegKey();
  EXPECT_FALSE(KeyExists("Software\\MoraMakerA"));
}

TEST(InstallSetRegistry, ReadingGivesTheDefaultAndCreatesNothing) {
  const TMoraInstallSet s = WithKey("MoraMakerB\\Title");
  EXPECT_EQ(s.ReadRegString("InstallPath", "none"), "none");
  EXPECT_FALSE(KeyExists("Software\\MoraMakerB"));
  s.WriteRegString("Other", base::Sjis("値"));
  EXPECT_EQ(s.ReadRegString("InstallPath", "none"), "none");
  EXPECT_EQ(s.ReadRegString("Other", ""), base::Sjis("値"));
  s.WriteRegString("Zero", std::string("ab\0cd", 5));
  EXPECT_EQ(s.ReadRegString("Zero", "x"), "ab");
  s.WriteRegString("Empty", "");
  EXPECT_EQ(s.ReadRegString("Empty", "x"), "");
  s.DeleteRegKey();
}

TEST(InstallSetRegistry, ValueOfAnotherTypeIsRejected) {
  const TMoraInstallSet s = WithKey("MoraMakerC\\Title");
  platform::RegWriteBinary(User, "Software\\MoraMakerC\\Title", "InstallPath",
                           std::string("\x01\x02", 2));
  try {
    s.ReadRegString("InstallPath", "");
    FAIL() << "binary data read as a string";
  } catch (const base::ERegistryException& e) {
    EXPECT_EQ(e.Message(), base::Sjis("'InstallPath' のデータ型が不正です"));
  }
  s.DeleteRegKey();
  EXPECT_FALSE(KeyExists("Software\\MoraMakerC"));
}

TEST(InstallSetRegistry, DeleteRemovesParentsOnlyWhenEmptied) {
  // A maker level that holds another title stays.
  WithKey("MoraMakerD\\B").WriteRegString("InstallPath", "C:\\B\\");
  WithKey("MoraMakerD\\C").WriteRegString("InstallPath", "C:\\C\\");
  WithKey("MoraMakerD\\B").DeleteRegKey();
  EXPECT_FALSE(KeyExists("Software\\MoraMakerD\\B"));
  EXPECT_TRUE(KeyExists("Software\\MoraMakerD\\C"));
  // Once the last title goes, the maker level goes too, Software stays.
  WithKey("\\MoraMakerD\\C").DeleteRegKey();
  EXPECT_FALSE(KeyExists("Software\\MoraMakerD"));
  EXPECT_TRUE(KeyExists("Software"));

  // A maker level with a value of its own stays; the subtree goes whole.
  platform::RegWriteString(User, "Software\\MoraMakerE", "Owner", "x");
  platform::RegWriteString(User, "Software\\MoraMakerE\\T\\Deep\\Er", "v", "1");
  WithKey("MoraMakerE\\T").DeleteRegKey();
  EXPECT_FALSE(KeyExists("Software\\MoraMakerE\\T"));
  EXPECT_TRUE(KeyExists("Software\\MoraMakerE"));
  platform::RegDeleteKeyTree(User, "Software\\MoraMakerE");

  // Three levels that held only the title all go.
  WithKey("MoraMakerF\\Series\\T\\").WriteRegString("InstallPath", "C:\\T\\");
  WithKey("MoraMakerF\\Series\\T\\").DeleteRegKey();
  EXPECT_FALSE(KeyExists("Software\\MoraMakerF"));
}

TEST(InstallSetRegistry, DeleteNeverLeavesTheTitlesKey) {
  platform::RegWriteString(User, "Software\\MoraGuard\\Keep", "v", "1");
  for (const char* key : {"\\", "\\\\", "..", "\\..", "MoraGuard\\..", "MoraGuard\\Keep\\..\\..",
                          "MoraGuard\\.", "MoraGuard\\\\Keep", "MoraGuard\\..\\MoraGuard"}) {
    SCOPED_TRACE(key);
    WithKey(key).DeleteRegKey();
    EXPECT_TRUE(KeyExists("Software\\MoraGuard\\Keep"));
    EXPECT_TRUE(KeyExists("Software"));
  }
  platform::RegDeleteKeyTree(User, "Software\\MoraGuard");
}

TEST(InstallSetRegistry, InstalledWhenTheFolderHoldsTheProgram) {
  const std::string folder = "C:\\MoraInstalledTest";
  ASSERT_TRUE(platform::ForceDirectories(folder));
  TMoraInstallSet s = WithKey("MoraMakerG\\Title");
  s.ProgramFile = "bin\\game.exe";
  EXPECT_FALSE(s.IsInstalled());            // no value yet
  s.WriteRegString("InstallPath", folder);  // without its trailing "\"
  EXPECT_FALSE(s.IsInstalled());            // the program is missing
  ASSERT_TRUE(platform::ForceDirectories(folder + "\\bin"));
  platform::WriteFileAtomic(folder + "\\bin\\game.exe", "MZ");
  EXPECT_TRUE(s.IsInstalled());
  s.WriteRegString("InstallPath", "");
  EXPECT_FALSE(s.IsInstalled());
  s.DeleteRegKey();
}

TEST(InstallSetQueries, InstalledFilesIgnoreOnlyAsciiCase) {
  TMoraInstallSet s;
  s.AddInstalledFile("data\\A.BIN");
  s.AddInstalledFile("DATA\\a.bin");
  EXPECT_EQ(s.InstalledFileCount(), 1);
  EXPECT_EQ(s.IndexOfInstalledFile("Data\\A.bin"), 0);
  EXPECT_EQ(s.IndexOfInstalledFile("data\\b.bin"), -1);
  // Full-width A and a differ only in case, but not in ASCII case.
  s.AddInstalledFile("\x82\x60.dat");
  s.AddInstalledFile("\x82\x81.dat");
  // A trail byte that looks like 'A' or 'a' is no letter.
  s.AddInstalledFile("\x83\x41.dat");
  s.AddInstalledFile("\x83\x61.dat");
  ASSERT_EQ(s.InstalledFileCount(), 5);
  EXPECT_EQ(s.GetInstalledFile(4), "\x83\x61.dat");
  EXPECT_EQ(s.IndexOfInstalledFile("\x83\x41.DAT"), 3);
  EXPECT_THROW(s.GetInstalledFile(5), base::ERangeError);
  EXPECT_THROW(s.GetInstalledFile(-1), base::ERangeError);
}

TEST(InstallSetQueries, PlainFilesMatchWithoutAsciiCase) {
  TMoraInstallSet s;
  s.PlainFiles = {"movie\\op.mpg", "\x83\x61.txt", ""};
  EXPECT_TRUE(s.IsPlainFile("MOVIE\\OP.MPG"));
  EXPECT_TRUE(s.IsPlainFile("movie\\op.mpg"));
  EXPECT_FALSE(s.IsPlainFile("movie\\op2.mpg"));
  EXPECT_TRUE(s.IsPlainFile("\x83\x61.TXT"));
  EXPECT_FALSE(s.IsPlainFile("\x83\x41.txt"));
  EXPECT_TRUE(s.IsPlainFile(""));
}

TEST(InstallSetQueries, CaptionFallsBackToTitle) {
  TMoraInstallSet s;
  s.Title = "X";
  const std::string expected = std::string("X").append(base::Sjis("のセットアップ"));
  EXPECT_EQ(s.GetSetupCaption(), expected);
  s.SetupCaption = base::Sjis("体験版");
  EXPECT_EQ(s.GetSetupCaption(), base::Sjis("体験版"));
}

}  // namespace
}  // namespace mora::settings
