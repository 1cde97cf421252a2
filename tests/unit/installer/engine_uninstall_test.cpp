// The delete step over installations made by the copy step: what goes,
// what stays (save data, a user's files and their folders), where an abort
// leaves things, and names that point outside the installation folder.
#include "engine_fixture.h"

namespace mora::installer::testing {
namespace {

class UninstallTest : public EngineTest {
 protected:
  // Installs loose files in three folders and a data archive.
  void InstallTitle() {
    Settings.PlainFiles = {"readme.txt", "sub\\a.txt", "sub\\deep\\b.txt", "other\\c.txt"};
    archive::TVrArchiveWriter writer;
    writer.AddBytes("data.dat", "data");
    WriteDisk(Settings,
              {{"readme.txt", "r"},
               {"sub\\a.txt", "a"},
               {"sub\\deep\\b.txt", "b"},
               {"other\\c.txt", "c"}},
              &writer);
    ASSERT_EQ(Install(Request()), TStepOutcome::Finished);
    ASSERT_EQ(InstallPath(), Dest);
    Shell.Calls.clear();
    Observer = TRecordingObserver();
  }

  bool KeyExists() const {
    return platform::RegKeyExists(platform::TRootKey::CurrentUser,
                                  "Software\\" + Settings.RegistryKey);
  }
};

TEST_F(UninstallTest, RemovesTheInstallationAndKeepsOnlyWhatWasNotRecorded) {
  const struct {
    const char* Case;
    bool SaveData;
    bool DeleteSave;
    const char* UserFile;
    std::vector<std::string> Left;
  } cases[] = {
      {"save data kept", true, false, nullptr, {"save.dat"}},
      {"save data deleted", true, true, nullptr, {}},
      {"no save data", false, false, nullptr, {}},
      {"a user's file", false, false, "sub\\deep\\mine.txt", {"sub\\deep\\mine.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    RemoveTree(Dest);
    Settings.InstalledFiles.clear();
    InstallTitle();
    if (c.SaveData) WriteFile(Dest + "save.dat", "progress");
    if (c.UserFile != nullptr) WriteFile(Dest + c.UserFile, "mine");
    // A recorded file that became read-only goes all the same.
    ASSERT_TRUE(platform::SetFileAttributes(Dest + "other\\c.txt", platform::faReadOnly));

    ASSERT_EQ(Uninstall(c.DeleteSave), TStepOutcome::Finished);
    EXPECT_EQ(FilesBelow(Dest), c.Left);
    EXPECT_EQ(platform::DirectoryExists(Dest), !c.Left.empty());
    // Sibling folders left empty are gone even when the tree survives.
    EXPECT_FALSE(platform::DirectoryExists(Dest + "other"));
    EXPECT_EQ(platform::DirectoryExists(Dest + "sub\\deep"), c.UserFile != nullptr);
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ(Shell.Calls, std::vector<std::string>{"delete " + Settings.Title});
    EXPECT_EQ(Observer.Statuses,
              (std::vector<std::string>{Sjis("ショートカットを削除しています..."),
                                        Sjis("ファイルを削除しています..."),
                                        Sjis("レジストリを削除しています...")}));
    EXPECT_EQ(Observer.Heading, Settings.Title + Sjis(" を削除しています"));
    EXPECT_EQ(Observer.Caption, Sjis("削除"));
    EXPECT_TRUE(Observer.NextHidden);
    EXPECT_EQ(Observer.Folders, std::vector<std::string>{platform::WindowsFolder()});
    EXPECT_EQ(Observer.Waits, (std::vector<std::uint32_t>{3000, 1000}));
    EXPECT_EQ(Observer.FrontRequests, 1);
    EXPECT_EQ(Observer.ExitText, Sjis("アンインストールが完了しました"));
    EXPECT_TRUE(Observer.Dialogs.empty());
  }
}

TEST_F(UninstallTest, AProgramGroupThatCannotBeRemovedIsReportedAndTheRestGoes) {
  InstallTitle();
  Shell.DeleteAnswer = false;
  Observer.Answers = {ui::mrOk};
  ASSERT_EQ(Uninstall(false), TStepOutcome::Finished);
  EXPECT_EQ(Observer.DialogTexts(),
            std::vector<std::string>{Sjis("ショートカットの削除に失敗しました")});
  EXPECT_EQ(Observer.Dialogs[0].Kind, ui::TMsgDlgType::mtInformation);
  EXPECT_FALSE(platform::DirectoryExists(Dest));
  EXPECT_FALSE(KeyExists());
}

TEST_F(UninstallTest, AnAbortAtEitherPollLeavesWhatWasNotRemovedYet) {
  const struct {
    int StopAtPump;
    bool GroupRemoved;
  } cases[] = {{1, false}, {2, true}};
  InstallTitle();
  const std::vector<std::string> installed = FilesBelow(Dest);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.StopAtPump);
    Shell.Calls.clear();
    Observer = TRecordingObserver();
    const int stopAt = c.StopAtPump;
    Observer.StopWhen = [stopAt](const TRecordingObserver& seen) { return seen.Pumps == stopAt; };
    EXPECT_EQ(Uninstall(false), TStepOutcome::Stopped);
    EXPECT_EQ(Shell.Calls.size(), c.GroupRemoved ? 1u : 0u);
    EXPECT_EQ(FilesBelow(Dest), installed);
    EXPECT_TRUE(KeyExists());
  }
}

TEST_F(UninstallTest, NamesPointingOutsideTheInstallationFolderAreRefused) {
  InstallTitle();
  WriteFile(Root + "victim.txt", "not ours");
  WriteFile(Dest + "inside.txt", "ours");
  settings::TMoraInstallSet record = Record();
  const std::vector<std::string> hostile = {"..\\victim.txt",    "sub\\..\\..\\victim.txt",
                                            Root + "victim.txt", Root.substr(2) + "victim.txt",
                                            "inside.txt:stream", "..."};
  for (const std::string& name : hostile) record.InstalledFiles.push_back(name);
  record.InstalledFiles.push_back("inside.txt");
  record.SaveToFile(Dest + "install.dat");
  Observer.Answers = {ui::mrOk};

  ASSERT_EQ(Uninstall(false), TStepOutcome::Finished);
  EXPECT_EQ(ReadFile(Root + "victim.txt"), "not ours");
  EXPECT_FALSE(platform::DirectoryExists(Dest));
  ASSERT_EQ(Observer.Dialogs.size(), 1u);
  EXPECT_EQ(Observer.Dialogs[0].Kind, ui::TMsgDlgType::mtWarning);
  std::string expected = Sjis("インストール先の外を指すファイル名は削除しませんでした");
  for (const std::string& name : hostile) expected += "\r\n" + name;
  EXPECT_EQ(Observer.Dialogs[0].Text, expected);
}

TEST_F(UninstallTest, ADriveRootIsNeverSweptForEmptyFolders) {
  platform::ForceDirectories(Root + "empty");
  settings::TMoraInstallSet record = Settings;
  TUninstallRequest request;
  request.InstallFolder = "C:\\";
  request.FirstArgument = "C:\\";
  ASSERT_EQ(Engine.Uninstall(record, request, Observer), TStepOutcome::Finished);
  EXPECT_TRUE(platform::DirectoryExists(Root + "empty"));
}

}  // namespace
}  // namespace mora::installer::testing
