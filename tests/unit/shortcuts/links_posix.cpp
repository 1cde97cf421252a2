// What only the POSIX shell-link service has: the desktop entries' contents,
// opening the group through xdg-open only with a display, damaged entries,
// the trash and collisions of file operations, and group deletion that never
// follows a symbolic link. A recording xdg-open stands first on PATH, so no
// test starts a real one.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/errors.h"
#include "base/sjis.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/posix/state.h"
#include "platform/shelllink.h"
#include "settings/installset.h"
#include "support.h"
#include "test_links.h"

namespace mora::installer {

namespace test {
std::size_t LongestFittingName(const std::string&) {
  return NAME_MAX - std::string(".desktop").size();
}
TDeletion ExpectedDeletion(const std::string&) { return TDeletion::Removed; }
}  // namespace test

namespace {

using base::Sjis;
using platform::test::FreshFolder;
using platform::test::UniqueName;
namespace fs = std::filesystem;

std::string& OpenerRecord() {
  static std::string record;
  return record;
}

class TRecordingOpener : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/mora-links-bin-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FFolder = pattern;
    OpenerRecord() = FFolder + "/opened";
    const std::string script = FFolder + "/xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << OpenerRecord() << "'\n";
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (FFolder + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(FFolder, ignored);
  }

 private:
  std::string FFolder;
};

[[maybe_unused]] ::testing::Environment* const Opener =
    ::testing::AddGlobalTestEnvironment(new TRecordingOpener);

std::string HostText(const std::string& hostPath) {
  std::ifstream file(hostPath, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Applications() { return platform::posix::StateLayout().ShortcutRoot; }

std::string HostOf(const std::string& path932) { return platform::posix::HostPath(path932); }

// The opener's record after it has had time to run; "" when it never ran.
std::string WaitForRecord(std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(OpenerRecord())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it finish writing
  return fs::exists(OpenerRecord()) ? HostText(OpenerRecord()) : std::string();
}

TEST(DesktopEntries, AnInstallationsThreeLinks) {
  const std::string title = Sjis("テスト表ゲーム");
  // "$", "`" and "%" in a folder name must survive Exec's quoting.
  const std::string dest = "C:\\Program Files\\" + UniqueName("Mora $5 `x` 50%") + "\\";
  ASSERT_TRUE(platform::ForceDirectories(dest));
  test::WriteProgram(dest + "game.exe");
  settings::TMoraInstallSet settings;
  settings.Title = title;
  settings.ProgramFile = "game.exe";
  settings.ReadmeFile = Sjis("読んで.txt");

  CreateShortcuts(settings, dest);

  const std::string group = Applications() + "/" + base::Cp932ToUtf8(title);
  const std::string hostDest = HostOf(dest);
  // Exec's quoting: \ before $ and `, % doubled; then the value's own \ doubled.
  std::string execDest = hostDest;
  for (std::size_t i = 0; (i = execDest.find_first_of("$`", i)) != std::string::npos; i += 3) {
    execDest.insert(i, "\\\\");
  }
  for (std::size_t i = 0; (i = execDest.find('%', i)) != std::string::npos; i += 2)
    execDest.insert(i, "%");
  std::string storedDest;  // the drive path as UTF-8 with its "\" doubled
  for (const char c : base::Cp932ToUtf8(dest))
    storedDest += c == '\\' ? std::string("\\\\") : std::string(1, c);

  auto entry = [&](const std::string& name, const std::string& exec, const std::string& file,
                   int icon) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           name +
           "\n"
           "Comment=" +
           name +
           "\n"
           "Exec=" +
           exec +
           "\n"
           "Path=" +
           hostDest +
           "\n"
           "Terminal=false\n"
           "X-Mora-Target=" +
           storedDest + file +
           "\n"
           "X-Mora-Arguments=\n"
           "X-Mora-WorkDir=" +
           storedDest +
           "\n"
           "X-Mora-IconFile=" +
           storedDest + file +
           "\n"
           "X-Mora-IconIndex=" +
           std::to_string(icon) +
           "\n"
           "X-Mora-HotKey=0\n"
           "X-Mora-ShowCommand=1\n";
  };
  EXPECT_EQ(HostText(group + "/テスト表ゲーム.desktop"),
            entry("テスト表ゲーム", "wine \"" + execDest + "/game.exe\"", "game.exe", 0));
  // install.exe is not there yet: its name makes it a Windows program.
  EXPECT_EQ(HostText(group + "/テスト表ゲームのアンインストール.desktop"),
            entry("テスト表ゲームのアンインストール", "wine \"" + execDest + "/install.exe\"",
                  "install.exe", 1));
  EXPECT_EQ(HostText(group + "/お読みください.desktop"),
            entry("お読みください", "xdg-open \"" + execDest + "/読んで.txt\"", "読んで.txt", 0));
  // No display: the group was not opened.
  EXPECT_EQ(WaitForRecord(std::chrono::milliseconds(200)), "");
}

TEST(DesktopEntries, ArgumentsAndAwkwardTextsRoundTrip) {
  const std::string dest = FreshFolder();
  test::WriteProgram(dest + "tool.exe");
  TShellLink link;
  link.LinkType = TShellLinkType::lnkPrograms;
  link.SubDir = UniqueName("Texts");
  link.Name = " lead";
  link.FileName = dest + "tool.exe";
  link.Arguments = "-x \"a b\" $HOME";
  link.Description = Sjis(" 前\\後\n次\t");
  link.CreateLink();

  const std::string text = HostText(HostOf(link.LinkPath()));
  EXPECT_NE(text.find("\nName=\\slead\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nComment=\\s前\\\\後\\n次\\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("/tool.exe\" \"-x\" \"a b\" \"\\\\$HOME\"\n"), std::string::npos) << text;
  const auto stored = platform::ReadShellLink(link.LinkPath());
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->Description, link.Description);
  EXPECT_EQ(stored->Arguments, link.Arguments);

  // A text without a UTF-8 form is refused before a file is written.
  link.Name = "bad";
  link.Description = "\x81";
  EXPECT_THROW(link.CreateLink(), base::EInvalidPath);
  EXPECT_FALSE(platform::ReadShellLink(link.LinkPath()).has_value());
}

TEST(DesktopEntries, GroupOpensThroughXdgOpenOnlyWithADisplay) {
  std::error_code ignored;
  fs::remove(OpenerRecord(), ignored);
  ::setenv("DISPLAY", ":mora-test", 1);
  const std::string subDir = UniqueName(Sjis("開く"));
  ASSERT_TRUE(platform::ForceDirectories(test::GroupFolder(subDir)));
  OpenShortcutFolder(TShellLinkType::lnkPrograms, subDir);
  ::unsetenv("DISPLAY");
  EXPECT_EQ(WaitForRecord(std::chrono::seconds(5)),
            Applications() + "/" + base::Cp932ToUtf8(subDir) + "\n");

  fs::remove(OpenerRecord(), ignored);
  OpenShortcutFolder(TShellLinkType::lnkPrograms, subDir);
  EXPECT_EQ(WaitForRecord(std::chrono::milliseconds(200)), "");
}

TEST(DesktopEntries, DamagedEntriesAreReportedWithTheirFile) {
  const std::string group = UniqueName("Damaged");
  const std::string folder = test::GroupFolder(group);
  ASSERT_TRUE(platform::ForceDirectories(folder));
  struct TCase {
    const char* Label;
    std::string Text;
    const char* Mentions;
  };
  const std::vector<TCase> cases = {
      {"no group", "Name=x\n", "[Desktop Entry]"},
      {"other group only", "[Desktop Action x]\nName=x\n", "[Desktop Entry]"},
      {"line without =", "[Desktop Entry]\nName=x\nbroken\n", "line 3"},
      {"index not a number", "[Desktop Entry]\nX-Mora-IconIndex=abc\n", "X-Mora-IconIndex"},
      {"index past int32", "[Desktop Entry]\nX-Mora-IconIndex=2147483648\n", "X-Mora-IconIndex"},
      {"hot key past 16 bits", "[Desktop Entry]\nX-Mora-HotKey=65536\n", "X-Mora-HotKey"},
      {"negative hot key", "[Desktop Entry]\nX-Mora-HotKey=-1\n", "X-Mora-HotKey"},
      {"trailing junk", "[Desktop Entry]\nX-Mora-ShowCommand=1x\n", "X-Mora-ShowCommand"},
      {"empty number", "[Desktop Entry]\nX-Mora-ShowCommand=\n", "X-Mora-ShowCommand"},
      {"no Shift-JIS form", "[Desktop Entry]\nComment=\xF0\x9F\x98\x80\n", "Comment"},
      {"not UTF-8", "[Desktop Entry]\nX-Mora-Target=\xFF\n", "X-Mora-Target"},
      {"too large", "[Desktop Entry]\nComment=" + std::string(1024 * 1024, 'x') + "\n",
       "too large"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const std::string path = folder + "case" + std::to_string(++n) + ".desktop";
    std::ofstream(HostOf(path), std::ios::binary) << c.Text;
    try {
      platform::ReadShellLink(path);
      ADD_FAILURE() << "read without complaint";
    } catch (const base::EDamagedData& error) {
      EXPECT_EQ(error.Message().rfind(path + ": ", 0), 0u) << error.Message();
      EXPECT_NE(error.Message().find(c.Mentions), std::string::npos) << error.Message();
    }
  }

  // An entry written by someone else reads with defaults; a missing one is none.
  const std::string foreign = folder + "foreign.desktop";
  std::ofstream(HostOf(foreign))
      << "# made by hand\n[Desktop Entry]\r\nType=Application\r\nName=x\r\n"
         "Comment = hello\r\nExec=true\r\n[Desktop Action a]\r\nbroken\r\n";
  const auto read = platform::ReadShellLink(foreign);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->Description, "hello");
  EXPECT_EQ(read->Target, "");
  EXPECT_EQ(read->IconIndex, 0);
  EXPECT_EQ(read->ShowCommand, 1);
  EXPECT_FALSE(platform::ReadShellLink(folder + "missing.desktop").has_value());
}

TEST(ProgramGroupDeletionPosix, NeverFollowsALinkAndCountsAMissingGroupAsGone) {
  // A group folder that is a symbolic link to a folder elsewhere: only the link goes.
  const std::string elsewhere = FreshFolder();
  platform::WriteFileAtomic(elsewhere + "keep.txt", "keep");
  const std::string group = UniqueName("Linked");
  ASSERT_TRUE(platform::posix::MakeHostFolders(Applications()));
  fs::create_directory_symlink(HostOf(elsewhere), Applications() + "/" + group);
  EXPECT_TRUE(DeleteProgramGroup(group));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Applications() + "/" + group)));
  EXPECT_EQ(platform::ReadFileBytes(elsewhere + "keep.txt"), "keep");

  EXPECT_TRUE(DeleteProgramGroup(UniqueName("NeverMade")));
  EXPECT_TRUE(fs::is_directory(Applications()));
}

TEST(FileOperationPosix, UndoableDeletionGoesToTheTrash) {
  const std::string root = FreshFolder();
  const std::string trash = platform::posix::StateLayout().TrashFolder;
  TFileOperation operation;  // allow undo, files only
  for (int round = 1; round <= 2; ++round) {
    platform::WriteFileAtomic(root + "note 1.txt", "round " + std::to_string(round));
    EXPECT_FALSE(operation.Execute(TFileOpKind::foDelete, root + "note 1.txt"));
    EXPECT_EQ(operation.LastError, 0);
    EXPECT_FALSE(platform::FileExists(root + "note 1.txt"));
  }
  // The second deletion of the same name takes a name of its own.
  EXPECT_EQ(HostText(trash + "/files/note 1.txt"), "round 1");
  EXPECT_EQ(HostText(trash + "/files/note 1.txt.2"), "round 2");
  const std::string info = HostText(trash + "/info/note 1.txt.trashinfo");
  std::string encoded;
  for (const char c : HostOf(root + "note 1.txt"))
    encoded += c == ' ' ? std::string("%20") : std::string(1, c);
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + encoded + "\nDeletionDate=", 0), 0u) << info;
  EXPECT_EQ(
      info.size(),
      std::string("[Trash Info]\nPath=" + encoded + "\nDeletionDate=2024-01-01T00:00:00\n").size());
}

TEST(FileOperationPosix, CollisionsPairsAndCopiesOntoThemselves) {
  using F = TFileOpFlag;
  const std::string root = FreshFolder();
  platform::WriteFileAtomic(root + "a.txt", "new");
  ASSERT_TRUE(platform::CreateDirectory(root + "out"));
  platform::WriteFileAtomic(root + "out\\a.txt", "old");
  TFileOperation operation;
  operation.Options = TFileOpFlags{F::fofRenameOnCollision};
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy, root + "a.txt", root + "out"));
  EXPECT_EQ(platform::ReadFileBytes(root + "out\\a.txt"), "old");
  EXPECT_EQ(platform::ReadFileBytes(root + "out\\a (2).txt"), "new");

  // Without the flag the target is replaced, but a copy onto itself never
  // replaces its own source.
  operation.Options = TFileOpFlags{};
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy, root + "a.txt", root + "out"));
  EXPECT_EQ(platform::ReadFileBytes(root + "out\\a.txt"), "new");
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy, root + "a.txt", root));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_EQ(platform::ReadFileBytes(root + "a.txt"), "new");
  EXPECT_EQ(platform::ReadFileBytes(root + "a (2).txt"), "new");

  // Several targets pair with the sources; a count that differs is refused.
  operation.Options = TFileOpFlags{F::fofMultiDestFiles};
  operation.FromFiles = {root + "a.txt", root + "a (2).txt"};
  operation.ToFiles = {root + "p.txt", root + "q.txt"};
  EXPECT_FALSE(operation.Execute(TFileOpKind::foCopy));
  EXPECT_EQ(operation.LastError, 0);
  EXPECT_TRUE(platform::FileExists(root + "p.txt"));
  EXPECT_TRUE(platform::FileExists(root + "q.txt"));
  operation.ToFiles = {root + "r.txt"};
  operation.Execute(TFileOpKind::foCopy);
  EXPECT_NE(operation.LastError, 0);
  EXPECT_FALSE(platform::FileExists(root + "r.txt"));

  // A folder never goes into itself; a rename never replaces.
  ASSERT_TRUE(platform::CreateDirectory(root + "self"));
  operation.Options = TFileOpFlags{};
  operation.Execute(TFileOpKind::foMove, root + "self", root + "self\\inner");
  EXPECT_NE(operation.LastError, 0);
  EXPECT_TRUE(platform::DirectoryExists(root + "self"));
  operation.Execute(TFileOpKind::foRename, root + "p.txt", root + "q.txt");
  EXPECT_NE(operation.LastError, 0);
  EXPECT_TRUE(platform::FileExists(root + "p.txt"));
}

}  // namespace
}  // namespace mora::installer
