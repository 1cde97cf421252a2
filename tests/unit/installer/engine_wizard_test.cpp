// The wizard with the real engine, driven through the scripted backend:
// a whole installation and its removal, the disk question answered through
// the wizard's dialogs, and the abort button during the copy step.
#include "engine_fixture.h"
#include "wizard_fixture.h"

namespace mora::installer::testing {
namespace {

class EngineWizardTest : public WizardTest {
 protected:
  EngineWizardTest() {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Folder = Medium + "\\";
    Dest = "C:\\Games\\" + test + "\\";
    RemoveTree(Dest);
    Settings.ProgramFile = "game.exe";
    Settings.ReadmeFile = "readme.txt";
    Settings.ShowReadme = 1;
  }
  ~EngineWizardTest() override {
    RemoveTree(Dest);
    RemoveTree(Folder);
    Settings.DeleteRegKey();
  }

  std::unique_ptr<TFormType> MakeWizard(settings::TMoraInstallSet& settings,
                                        archive::TVrFileCollection* archive,
                                        TWizardEnvironment environment) {
    environment.OpenDocument = [this](const std::string& file, const std::string& parameters,
                                      const std::string& folder) {
      Documents.push_back(file + "|" + parameters + "|" + folder);
      return 42;
    };
    return std::make_unique<TFormType>(App, nullptr, settings, archive, RealEngine, environment);
  }

  // Clicks through the pages of a single-disk title up to the copy step.
  void ChooseDestination() {
    Script->Check("CheckData", true).Check("CheckSound", false).Click("btnNext");
    Script->Set("EditDir", Dest.substr(0, Dest.size() - 1)).Click("btnNext");
    Script->Click(Sjis("インストール"));
  }

  std::string Folder;  // the medium, with "\"
  std::string Dest;
  std::vector<std::string> Documents;
  TRecordingShell Shell;
  TMoraInstallEngine RealEngine{Shell.Services()};
};

TEST_F(EngineWizardTest, InstallsAndRemovesATitleThroughItsPages) {
  Settings.PlainFiles = {"readme.txt", "bgm.mp3"};
  archive::TVrArchiveWriter writer;
  writer.AddBytes("scenario.dat", "scenario");
  WriteDiskTo(Folder, Settings, {{"readme.txt", "read me"}, {"bgm.mp3", "music"}}, &writer);
  archive::TVrFileCollection medium;
  medium.Open(Folder + "game.dat");

  auto wizard = MakeWizard(Settings, &medium, Environment());
  ChooseDestination();
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), TFormType::PageExit);
    EXPECT_EQ(wizard->LabelExit->Caption(), Sjis("インストールが完了しました"));
    EXPECT_EQ(wizard->LabelCopyCap->Caption(), Sjis("レジストリを更新しています"));
    EXPECT_FALSE(wizard->Progress->Visible());
    EXPECT_FALSE(wizard->btnNext->Visible());
  });
  Script->Click(Sjis("閉じる(&C)"));
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  wizard.reset();
  medium.Open("");
  EXPECT_TRUE(Script->Dialogs().empty());
  EXPECT_EQ(FilesBelow(Dest),
            (std::vector<std::string>{"game.dat", "game.ext", "install.dat", "readme.txt"}));
  EXPECT_EQ(Settings.ReadRegString("InstallPath", ""), Dest);
  EXPECT_EQ(Shell.Calls, std::vector<std::string>{"create " + Settings.Title + " " + Dest});
  EXPECT_EQ(Documents, std::vector<std::string>{Dest + "readme.txt||" + Dest});

  // Started again from the installation folder, the wizard removes it all.
  settings::TMoraInstallSet installed;
  installed.LoadFromFile(Dest + "install.dat");
  ASSERT_EQ(installed.UninstallMode, 1);
  TWizardEnvironment environment = Environment();
  environment.FirstArgument = Dest.substr(0, Dest.size() - 1);
  auto remover = MakeWizard(installed, nullptr, environment);
  EXPECT_EQ(remover->CurrentPage(), TFormType::PageUninst);
  Script->Click(Sjis("実行"));
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(remover->CurrentPage(), TFormType::PageExit);
    EXPECT_EQ(remover->LabelExit->Caption(), Sjis("アンインストールが完了しました"));
    EXPECT_EQ(remover->LabelDel->Caption(), Sjis("レジストリを削除しています..."));
    EXPECT_EQ(remover->Directory->Directory(), platform::WindowsFolder());
  });
  Script->Click(Sjis("閉じる(&C)"));
  EXPECT_EQ(remover->ShowModal(), ui::mrOk);
  EXPECT_FALSE(platform::DirectoryExists(Dest));
  EXPECT_EQ(Settings.ReadRegString("InstallPath", "(gone)"), "(gone)");
  EXPECT_EQ(Shell.Calls.back(), "delete " + Settings.Title);
}

TEST_F(EngineWizardTest, TheDiskQuestionIsAnsweredInTheWizardsDialogs) {
  TwoDisks(0);
  Settings.PlainFiles = {"one.txt", "two.txt"};
  settings::TMoraInstallSet second = Settings;
  second.DiskIndex = 1;
  archive::TVrArchiveWriter firstArchive;
  firstArchive.AddBytes("one.dat", "1");
  archive::TVrArchiveWriter secondArchive;
  secondArchive.AddBytes("two.dat", "2");
  WriteDiskTo(Folder, Settings, {{"one.txt", "1"}}, &firstArchive);
  TWizardEnvironment environment = Environment();
  environment.Sleep = [&](std::uint32_t milliseconds) {
    if (milliseconds == 500) WriteDiskTo(Folder, second, {{"two.txt", "2"}}, &secondArchive);
  };
  archive::TVrFileCollection medium;
  medium.Open(Folder + "game.dat");
  auto wizard = MakeWizard(Settings, &medium, environment);
  EXPECT_EQ(wizard->CurrentPage(), TFormType::PageMedia);
  Script->Click("btnNext");
  ChooseDestination();
  Script->Answer("abort").Answer("no").Answer("ok");
  Script->Click(Sjis("閉じる(&C)"));
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  wizard.reset();
  medium.Open("");
  const std::string prompt = Sjis("ディスク2を入れてからOKをクリックしてください");
  EXPECT_EQ(DialogTexts(),
            (std::vector<std::string>{prompt, Sjis("インストールを中断しますか？"), prompt}));
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Caption, Sjis("情報"));
  EXPECT_EQ(ReadFile(Dest + "two.txt"), "2");
  settings::TMoraInstallSet installed;
  installed.LoadFromFile(Dest + "install.dat");
  EXPECT_EQ(installed.InstalledFiles, (std::vector<std::string>{"one.txt", "game.ext", "two.txt",
                                                                "game.dat", "install.dat"}));
}

TEST_F(EngineWizardTest, TheAbortButtonStopsTheCopyAtItsNextPoll) {
  Settings.PlainFiles = {"readme.txt"};
  WriteDiskTo(Folder, Settings, {{"readme.txt", "r"}}, nullptr);
  archive::TVrFileCollection medium;
  auto wizard = MakeWizard(Settings, &medium, Environment());
  ChooseDestination();
  Script->Click("btnAbort").AtPump().Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrAbort);
  EXPECT_EQ(wizard->CurrentPage(), TFormType::PageCopy);
  EXPECT_FALSE(platform::FileExists(Dest + "readme.txt"));
  EXPECT_FALSE(platform::FileExists(Dest + "install.dat"));
  EXPECT_TRUE(Shell.Calls.empty());
}

}  // namespace
}  // namespace mora::installer::testing
