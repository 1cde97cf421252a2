// Shortcuts and program groups through the platform's real shell service:
// natively desktop entries below MORA_HOME, under Wine .lnk files below the
// prefix's Programs folder. Links are read back through the platform and
// checked field by field.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/sjis.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shelllink.h"
#include "settings/installset.h"
#include "support.h"
#include "test_links.h"

namespace mora::installer {
namespace {

using base::Sjis;
using platform::test::FreshFolder;
using platform::test::UniqueName;

// ---- the program group of an installation ------------------------------------

struct TGroupCase {
  const char* Label;
  std::string ReadmeFile;
};

class ProgramGroup : public ::testing::TestWithParam<TGroupCase> {};

TEST_P(ProgramGroup, HoldsTheProgramUninstallAndReadmeLinks) {
  // "表" ends in the byte 0x5C: it must stay part of the name, not split it.
  const std::string title = UniqueName(Sjis("表示テスト"));
  const std::string dest = FreshFolder();
  test::WriteProgram(dest + "game.exe");
  test::WriteProgram(dest + "install.exe");
  settings::TMoraInstallSet settings;
  settings.Title = title;
  settings.ProgramFile = "game.exe";
  settings.ReadmeFile = GetParam().ReadmeFile;

  CreateShortcuts(settings, dest);

  const std::string uninstall = title + Sjis("のアンインストール");
  const std::string readme = Sjis("お読みください");
  std::vector<std::string> expectedNames = {title, uninstall};
  if (!settings.ReadmeFile.empty()) expectedNames.push_back(readme);
  EXPECT_EQ(test::LinkNames(title), test::Sorted(expectedNames));

  struct TExpected {
    std::string Name;
    std::string Target;
    std::int32_t IconIndex;
  };
  std::vector<TExpected> expected = {{title, dest + "game.exe", 0},
                                     {uninstall, dest + "install.exe", 1}};
  if (!settings.ReadmeFile.empty()) expected.push_back({readme, dest + settings.ReadmeFile, 0});
  for (const auto& link : expected) {
    SCOPED_TRACE(base::Cp932ToUtf8(link.Name));
    const auto stored = test::ReadLink(title, link.Name);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->Target, link.Target);
    EXPECT_EQ(stored->Description, link.Name);
    EXPECT_EQ(stored->WorkDir, dest);
    EXPECT_EQ(stored->Arguments, "");
    EXPECT_EQ(stored->IconFile, link.Target);
    EXPECT_EQ(stored->IconIndex, link.IconIndex);
    EXPECT_EQ(stored->HotKey, 0);
    EXPECT_EQ(stored->ShowCommand, 1);
  }

  // The group as a whole, as the command line reports it.
  const auto entries = ReadProgramGroup(title);
  ASSERT_EQ(entries.size(), expected.size());
  for (const auto& entry : entries) {
    SCOPED_TRACE(base::Cp932ToUtf8(entry.Name));
    EXPECT_EQ(entry.Path, test::GroupFolder(title) + entry.Name + platform::ShellLinkExtension());
    const auto match = std::find_if(expected.begin(), expected.end(),
                                    [&](const TExpected& link) { return link.Name == entry.Name; });
    ASSERT_NE(match, expected.end());
    EXPECT_EQ(entry.Link.Target, match->Target);
    EXPECT_EQ(entry.Link.IconIndex, match->IconIndex);
  }
  EXPECT_TRUE(ReadProgramGroup(title + "-none").empty());
  EXPECT_TRUE(ReadProgramGroup("..").empty());
}

INSTANTIATE_TEST_SUITE_P(Shortcuts, ProgramGroup,
                         ::testing::Values(TGroupCase{"WithReadme", "readme.txt"},
                                           TGroupCase{"WithoutReadme", ""}),
                         [](const auto& param) { return std::string(param.param.Label); });

// Groups made link by link here, so that no folder window opens.
void MakeGroup(const std::string& title, const std::string& dest) {
  CreateShortcut(title, dest + "game.exe", title, 0, 0, TWindowState::wsNormal, title,
                 TShellLinkType::lnkPrograms, dest);
}

TEST(ProgramGroupDeletion, RemovesTheGroupAndNothingBeside) {
  const std::string dest = FreshFolder();
  // Names with parentheses; each sibling is what a request that stopped at
  // the first parenthesis would name.
  for (const std::string& stem : {std::string("Erase"), Sjis("消す")}) {
    const std::string sibling = UniqueName(stem);
    const std::string doomed = sibling + " (Limited)";
    SCOPED_TRACE(base::Cp932ToUtf8(doomed));
    MakeGroup(sibling, dest);
    MakeGroup(doomed, dest);
    // A group folder goes whole, with whatever else lies in it.
    ASSERT_TRUE(platform::ForceDirectories(test::GroupFolder(doomed) + "extra"));
    platform::WriteFileAtomic(test::GroupFolder(doomed) + "extra\\note.txt", "x");

    switch (test::ExpectedDeletion(doomed)) {
      case test::TDeletion::Removed:
        ASSERT_TRUE(DeleteProgramGroup(doomed));
        test::WaitForGroupGone(doomed);
        EXPECT_FALSE(platform::DirectoryExists(test::GroupFolder(doomed)));
        break;
      case test::TDeletion::NoServer:
        // No one to ask: the caller shows its message, and the group stays.
        EXPECT_FALSE(DeleteProgramGroup(doomed));
        EXPECT_TRUE(test::ReadLink(doomed, doomed).has_value());
        break;
      case test::TDeletion::Lost:
        // The request was made; the server could not read the name.
        EXPECT_TRUE(DeleteProgramGroup(doomed));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(test::ReadLink(doomed, doomed).has_value());
        break;
    }
    EXPECT_TRUE(test::ReadLink(sibling, sibling).has_value());
    EXPECT_EQ(test::LinkNames(sibling), std::vector<std::string>{sibling});
  }
}

// Titles that would put links beside or above the Programs folder, or make
// the deletion reach a parent or another group: nothing is made or removed.
TEST(ProgramGroupNames, TitlesThatNameNoSingleGroupAreRefused) {
  const std::string dest = FreshFolder();
  settings::TMoraInstallSet settings;
  settings.ProgramFile = "game.exe";
  settings.Title = UniqueName("Bystander");
  CreateShortcuts(settings, dest);
  const std::string bystander = settings.Title;
  const std::string programs = *platform::SpecialFolderPath(platform::csidlPrograms) + "\\";
  const auto before = test::EntryNames(programs);

  const std::vector<std::string> titles = {
      "",   ".",  "..",  "...", " ",     ". .",  "a\\b",  "..\\" + bystander, "a/b", "../x", "c:x",
      "x*", "x?", "x|y", "<x>", "\"x\"", "a\tb", "ab\x81"};
  for (const auto& title : titles) {
    SCOPED_TRACE(base::Cp932ToUtf8Lossy(title));
    EXPECT_FALSE(IsProgramGroupName(title));
    settings.Title = title;
    EXPECT_THROW(CreateShortcuts(settings, dest), EShellLinkError);
    EXPECT_FALSE(DeleteProgramGroup(title));
  }
  EXPECT_EQ(test::EntryNames(programs), before);
  EXPECT_EQ(test::LinkNames(bystander).size(), 2u);

  // Names that look alike but are single groups.
  for (const std::string& title : {std::string("a.b"), std::string(".hidden"), std::string("Game "),
                                   Sjis("ソフト"), Sjis("ポート"), std::string("x (2)")}) {
    SCOPED_TRACE(base::Cp932ToUtf8Lossy(title));
    EXPECT_TRUE(IsProgramGroupName(title));
  }
}

// ---- TShellLink ------------------------------------------------------------------

struct TFileNameCase {
  std::string Value;
  std::string Description;  // before
  std::string WorkDir;      // before
  std::string ExpectedDescription;
  std::string ExpectedWorkDir;
};

TEST(ShellLinkFileName, SetFileNameFillsEmptyDescriptionAndWorkDir) {
  const std::vector<TFileNameCase> cases = {
      {"C:\\Game\\play.exe", "", "", "play", "C:\\Game"},
      {"C:\\play.exe", "", "", "play", "C:\\"},
      {"C:play.exe", "", "", "play", "C:"},
      {"\\play.exe", "", "", "play", "\\"},
      {"play.exe", "", "", "play", ""},
      {"C:\\Game\\archive.tar.gz", "", "", "archive.tar", "C:\\Game"},
      {"C:\\Game\\noext", "", "", "noext", "C:\\Game"},
      {"C:\\Game.d\\run", "", "", "run", "C:\\Game.d"},
      // Trail bytes 0x5C of "表" and "ソ" are no delimiters.
      {Sjis("C:\\表\\ソ.exe"), "", "", Sjis("ソ"), Sjis("C:\\表")},
      {"C:\\Game\\play.exe", "Mine", "", "Mine", "C:\\Game"},
      {"C:\\Game\\play.exe", "", "D:\\Work", "play", "D:\\Work"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::Cp932ToUtf8(c.Value));
    TShellLink link;
    link.Description = c.Description;
    link.WorkDir = c.WorkDir;
    link.SetFileName(c.Value);
    EXPECT_EQ(link.FileName, c.Value);
    EXPECT_EQ(link.Description, c.ExpectedDescription);
    EXPECT_EQ(link.WorkDir, c.ExpectedWorkDir);
  }
}

TEST(ShellLinkHotKey, ModifierBitsMoveDownIntoTheShellsHighByte) {
  struct TCase {
    std::uint16_t HotKey;
    std::uint16_t Word;
  };
  const std::vector<TCase> cases = {
      {0x0000, 0x0000},  // none
      {0xC046, 0x0646},  // Ctrl+Alt+F
      {0x2041, 0x0141},  // Shift+A
      {0x4070, 0x0270},  // Ctrl+F1
      {0xE07B, 0x077B},  // Shift+Ctrl+Alt+F12
      {0x0070, 0x0070},  // F1 alone
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HotKeyWord(c.HotKey), c.Word) << std::hex << c.HotKey;
  }
}

TEST(ShellLinkCreate, StoresEveryPropertyAndMakesMissingFolders) {
  const std::string group = UniqueName("Props");
  struct TCase {
    TWindowState State;
    std::int32_t ShowCommand;
  };
  // SetShowCmd takes 1 normal, 6 minimized, 3 maximized.
  const std::vector<TCase> cases = {
      {TWindowState::wsNormal, 1}, {TWindowState::wsMinimized, 6}, {TWindowState::wsMaximized, 3}};
  const std::string dest = FreshFolder();
  test::WriteProgram(dest + "tool.exe");
  int n = 0;
  for (const auto& c : cases) {
    TShellLink link;
    link.LinkType = TShellLinkType::lnkPrograms;
    link.SubDir = group + "\\" + Sjis("下位");  // two missing levels
    link.Name = "tool" + std::to_string(++n);
    link.FileName = dest + "tool.exe";
    link.Arguments = "-x \"a b\" 100%";
    link.Description = Sjis("説明 \\ with a backslash");
    link.WorkDir = dest + "work";
    link.HotKey = 0xC046;
    link.IconIndex = 2;
    link.WindowState = c.State;
    link.CreateLink();

    const auto stored = platform::ReadShellLink(link.LinkPath());
    ASSERT_TRUE(stored.has_value()) << link.Name;
    EXPECT_EQ(stored->Target, dest + "tool.exe");
    EXPECT_EQ(stored->Arguments, "-x \"a b\" 100%");
    EXPECT_EQ(stored->Description, Sjis("説明 \\ with a backslash"));
    EXPECT_EQ(stored->WorkDir, dest + "work");
    EXPECT_EQ(stored->HotKey, 0x0646);
    EXPECT_EQ(stored->IconFile, dest + "tool.exe");
    EXPECT_EQ(stored->IconIndex, 2);
    EXPECT_EQ(stored->ShowCommand, c.ShowCommand);
  }
  EXPECT_EQ(test::EntryNames(test::GroupFolder(group + "\\" + Sjis("下位"))).size(), 3u);
}

TEST(ShellLinkCreate, AnEmptyFileNameLinksTheRunningProgram) {
  TShellLink link;
  link.LinkType = TShellLinkType::lnkPrograms;
  link.SubDir = UniqueName("Self");
  link.Name = "self";
  link.CreateLink();
  const std::string self = platform::ModuleFileName();
  const auto stored = platform::ReadShellLink(link.LinkPath());
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->Target, self);
  // SetFileName derived both from the program's path.
  std::string folder = self.substr(0, base::LastPathDelimiter(self));
  std::string name = self.substr(base::LastPathDelimiter(self) + 1);
  name.erase(name.rfind('.') == std::string::npos ? name.size() : name.rfind('.'));
  EXPECT_EQ(link.Description, name);
  EXPECT_EQ(stored->Description, name);
  EXPECT_EQ(stored->WorkDir, folder);
}

TEST(ShellLinkCreate, AFolderWithoutAPathFailsAsTheShellSays) {
  // The control panel is a virtual folder: it has no path to put a file in.
  TShellLink link;
  link.LinkType = TShellLinkType::lnkControls;
  link.Name = "x";
  link.FileName = "C:\\x.exe";
  try {
    link.CreateLink();
    ADD_FAILURE() << "CreateLink succeeded";
  } catch (const EShellLinkError& error) {
    EXPECT_EQ(error.Message(), "Error in GetSpecialFolderLocation");
  }
  EXPECT_THROW(OpenShortcutFolder(TShellLinkType::lnkControls, ""), EShellLinkError);
}

TEST(ShellLinkCreate, APathPastThePlatformsLimitFailsBeforeAnythingIsMade) {
  const std::string group = UniqueName("Long");
  // 300 characters are past every platform's limit for a name or a path.
  TShellLink link;
  link.LinkType = TShellLinkType::lnkPrograms;
  link.SubDir = group;
  link.Name = std::string(300, 'n');
  link.FileName = "C:\\x.exe";
  try {
    link.CreateLink();
    ADD_FAILURE() << "CreateLink succeeded";
  } catch (const EShellLinkError& error) {
    EXPECT_EQ(error.Message().rfind("Error in CreateLink: the link path is too long: ", 0), 0u)
        << error.Message();
  }
  EXPECT_FALSE(platform::DirectoryExists(test::GroupFolder(group)));

  // The same through CreateShortcuts with a long title: no group is left behind.
  settings::TMoraInstallSet settings;
  settings.Title = group + std::string(300, 't');
  settings.ProgramFile = "game.exe";
  EXPECT_THROW(CreateShortcuts(settings, FreshFolder()), EShellLinkError);
  EXPECT_FALSE(platform::DirectoryExists(test::GroupFolder(group)));

  // Right at the limit the link is made, one character more it is not.
  link.Name = "";
  const std::size_t fits = test::LongestFittingName(link.LinkFolder());
  link.Name = std::string(fits, 'n');
  EXPECT_NO_THROW(link.CreateLink());
  EXPECT_TRUE(platform::ReadShellLink(link.LinkPath()).has_value());
  link.Name = std::string(fits + 1, 'n');
  EXPECT_THROW(link.CreateLink(), EShellLinkError);
}

// ---- TFileOperation ---------------------------------------------------------------

TEST(FileOperationFlags, WordFollowsTheShellsBits) {
  using F = TFileOpFlag;
  struct TCase {
    TFileOpFlags Flags;
    std::uint16_t Word;
  };
  const std::vector<TCase> cases = {
      {TFileOpFlags{}, 0x0000},
      {TFileOperation().Options, 0x00C0},  // allow undo, files only
      {TFileOpFlags{F::fofFilesOnly, F::fofSilent, F::fofNoConfirmation}, 0x0094},  // the wizard's
      {TFileOpFlags{F::fofWantMappingHandle}, 0x0000},
      {TFileOpFlags{F::fofMultiDestFiles, F::fofConfirmMouse, F::fofSilent, F::fofRenameOnCollision,
                    F::fofNoConfirmation, F::fofWantMappingHandle, F::fofAllowUndo, F::fofFilesOnly,
                    F::fofSimpleProgress, F::fofNoConfirmMkdir, F::fofNoErrorUI},
       0x07DF},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(cases[i].Flags.Word(), cases[i].Word) << "case " << i;
  }
  TFileOpFlags flags{F::fofSilent};
  flags.Include(F::fofNoErrorUI);
  flags.Exclude(F::fofSilent);
  EXPECT_FALSE(flags.Contains(F::fofSilent));
  EXPECT_EQ(flags.Word(), 0x0400);
}

// Copy, move, rename and delete through the shell, quietly, with the checks
// on what the file system holds afterwards.
TEST(FileOperationExecute, CopiesMovesRenamesAndDeletes) {
  using F = TFileOpFlag;
  const std::string root = FreshFolder();
  platform::WriteFileAtomic(root + "a.txt", "alpha");
  platform::WriteFileAtomic(root + "b.txt", "beta");
  ASSERT_TRUE(platform::ForceDirectories(root + "tree\\sub"));
  platform::WriteFileAtomic(root + "tree\\sub\\c.txt", "gamma");
  ASSERT_TRUE(platform::CreateDirectory(root + "into"));

  TFileOperation operation;
  operation.Options =
      TFileOpFlags{F::fofSilent, F::fofNoConfirmation, F::fofNoErrorUI, F::fofNoConfirmMkdir};

  // One file into an existing folder.
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy, root + "a.txt", root + "into"));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_EQ(platform::ReadFileBytes(root + "into\\a.txt"), "alpha");
  EXPECT_TRUE(platform::FileExists(root + "a.txt"));

  // Two files from the list into a folder that does not exist yet.
  operation.FromFiles = {root + "a.txt", root + "b.txt"};
  operation.ToFiles = {root + "fresh"};
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_EQ(platform::ReadFileBytes(root + "fresh\\a.txt"), "alpha");
  EXPECT_EQ(platform::ReadFileBytes(root + "fresh\\b.txt"), "beta");

  // A folder tree moves whole; a single source onto a missing name is renamed.
  EXPECT_FALSE(operation.Execute(TFileOpKind::foMove, root + "tree", root + "into"));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_EQ(platform::ReadFileBytes(root + "into\\tree\\sub\\c.txt"), "gamma");
  EXPECT_FALSE(platform::DirectoryExists(root + "tree"));
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy, root + "b.txt", root + "b-copy.txt"));
  EXPECT_EQ(platform::ReadFileBytes(root + "b-copy.txt"), "beta");

  // Rename.
  EXPECT_FALSE(operation.Execute(TFileOpKind::foRename, root + "b-copy.txt", root + "renamed.txt"));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_FALSE(platform::FileExists(root + "b-copy.txt"));
  EXPECT_EQ(platform::ReadFileBytes(root + "renamed.txt"), "beta");

  // Delete a tree for good (no undo asked for).
  EXPECT_FALSE(operation.Execute(TFileOpKind::foDelete, root + "into", ""));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_FALSE(platform::DirectoryExists(root + "into"));

  // A source that is not there is reported.
  operation.Execute(TFileOpKind::foDelete, root + "absent.txt", "");
  EXPECT_NE(operation.LastError, 0);
}

}  // namespace
}  // namespace mora::installer
