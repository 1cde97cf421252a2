// ListFiles over folders holding symbolic links (POSIX): loops back to a
// parent end, and nothing outside the listed folder is reached through a
// link, so the uninstaller's folder removal cannot leave the installation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/folders.h"
#include "settings/fileutil.h"

namespace mora::settings {
namespace {

class LinkedFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FRoot = std::string("C:\\MoraLinkTest\\") + info->name();
    ASSERT_TRUE(platform::ForceDirectories(FRoot));
  }

  std::string Path(const std::string& relative) const { return FRoot + "\\" + relative; }
  void Folder(const std::string& relative) const {
    ASSERT_TRUE(platform::ForceDirectories(Path(relative)));
  }
  void Write(const std::string& relative) const {
    platform::WriteFileAtomic(Path(relative), relative);
  }
  // A symbolic link at relative whose content is target, as given.
  void Link(const std::string& target, const std::string& relative) const {
    const std::string host = platform::PathToNative(Path(relative));
    ASSERT_EQ(::symlink(target.c_str(), host.c_str()), 0) << host;
  }

  std::vector<std::string> Sorted(const std::string& folder, std::uint32_t mask, bool plain,
                                  bool recurse) const {
    std::vector<std::string> list;
    ListFiles(Path(folder), mask, plain, true, list, recurse);
    std::sort(list.begin(), list.end());
    return list;
  }

  std::string FRoot;
};

TEST_F(LinkedFolders, LoopsBackToParentsEndWithEachFileListedOnce) {
  Folder("F\\D");
  Write("F\\a.txt");
  Write("F\\D\\b.txt");
  Link(".", "F\\self");
  Link("..", "F\\D\\up");        // one loop lists the tree dozens of times
  Link("../..", "F\\D\\upTwo");  // two of them never return
  const std::vector<std::string> expected = {Path("F\\D"), Path("F\\D\\b.txt"), Path("F\\a.txt")};
  EXPECT_EQ(Sorted("F", 0x3F, true, true), expected);
  // The engine's listing of a medium: files only.
  EXPECT_EQ(Sorted("F", 0x2F, true, true),
            (std::vector<std::string>{Path("F\\D\\b.txt"), Path("F\\a.txt")}));
}

TEST_F(LinkedFolders, NothingOutsideTheFolderIsReachedThroughALink) {
  Folder("Outside\\Deep");
  Write("Outside\\secret.txt");
  Write("Outside\\Deep\\deeper.txt");
  Folder("Inst\\Data");
  Write("Inst\\x.txt");
  Write("Inst\\Data\\y.txt");
  const std::string outside = platform::PathToNative(Path("Outside"));
  Link(outside, "Inst\\Data\\out");                 // a folder elsewhere
  Link(outside + "/secret.txt", "Inst\\file.lnk");  // a file elsewhere
  Link(outside + "/missing", "Inst\\gone");         // points nowhere

  // Every file below the folder, recursively: the linked file is a file;
  // nothing is listed under the linked folder.
  EXPECT_EQ(Sorted("Inst", 0x2F, true, true),
            (std::vector<std::string>{Path("Inst\\Data\\y.txt"), Path("Inst\\file.lnk"),
                                      Path("Inst\\gone"), Path("Inst\\x.txt")}));
  // The uninstaller's folder removal: the subfolders it enters, then what is
  // left in a folder. The linked folder is no subfolder of the tree; a
  // folder left holding only the link lists as empty, but cannot be removed.
  EXPECT_EQ(Sorted("Inst", 0x10, false, false), std::vector<std::string>{Path("Inst\\Data")});
  EXPECT_TRUE(Sorted("Inst\\Data", 0x10, false, false).empty());
  ASSERT_TRUE(platform::DeleteFile(Path("Inst\\Data\\y.txt")));
  EXPECT_TRUE(Sorted("Inst\\Data", 0x3F, true, false).empty());
  EXPECT_FALSE(platform::RemoveDirectory(Path("Inst\\Data")));

  // Deleting a recorded name that is a link removes the link, not its target.
  EXPECT_TRUE(platform::DeleteFile(Path("Inst\\file.lnk")));
  EXPECT_TRUE(platform::FileExists(Path("Outside\\secret.txt")));
  EXPECT_FALSE(platform::RemoveDirectory(Path("Inst\\Data\\out")));
  EXPECT_TRUE(platform::FileExists(Path("Outside\\Deep\\deeper.txt")));
}

}  // namespace
}  // namespace mora::settings
