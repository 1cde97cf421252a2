// The destination folder: defaults from the registry and DefaultDir, the
// folder list and drive box, the checks on leaving the folder page, the free
// space, and the close questions.
#include "wizard_fixture.h"

#include "base/errors.h"

namespace mora::installer::testing {
namespace {

const std::string ProgramFiles = "C:\\Program Files";

TEST_F(WizardTest, AProgramFilesDefaultWhereNothingExistsYetKeepsTheSubPath) {
  Settings.DefaultDir = "<ProgramFiles>\\Maker\\Title\\";
  auto wizard = Make();
  EXPECT_EQ(wizard->SubFolder, "Maker\\Title");
  EXPECT_EQ(wizard->Directory->Directory(), ProgramFiles);
  EXPECT_EQ(wizard->EditDir->Text(), ProgramFiles + "\\Maker\\Title");
  EXPECT_EQ(wizard->Drive->Drive(), 'C');

  // Another folder chosen in the list takes the sub-path along.
  ASSERT_TRUE(platform::ForceDirectories("C:\\Games"));
  Script->Click("btnNext").Select("Directory", "C:\\Games").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->EditDir->Text(), "C:\\Games\\Maker\\Title");
  });
  Script->Set("EditDir", "C:\\Typed").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->GetDestDir(), "C:\\Typed\\");
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, TheFolderListStopsAtTheDeepestExistingFolder) {
  Settings.DefaultDir = "<ProgramFiles>\\Deep\\Title";
  ASSERT_TRUE(platform::ForceDirectories(ProgramFiles + "\\Deep"));
  auto wizard = Make();
  EXPECT_EQ(wizard->Directory->Directory(), ProgramFiles + "\\Deep");
  // The proposal is the destination, not the existing parent plus the whole
  // sub-path again ("Deep\Deep\Title"); a folder chosen later still gets
  // the sub-path.
  EXPECT_EQ(wizard->EditDir->Text(), ProgramFiles + "\\Deep\\Title");
  Script->Click("btnNext").Select("Directory", ProgramFiles).Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->EditDir->Text(), ProgramFiles + "\\Deep\\Title");
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, AnExistingDefaultDestinationDropsTheSubPath) {
  Settings.DefaultDir = "<ProgramFiles>\\Here\\Title";
  ASSERT_TRUE(platform::ForceDirectories(ProgramFiles + "\\Here\\Title"));
  auto wizard = Make();
  EXPECT_EQ(wizard->SubFolder, "");
  EXPECT_EQ(wizard->Directory->Directory(), ProgramFiles + "\\Here\\Title");
  EXPECT_EQ(wizard->EditDir->Text(), ProgramFiles + "\\Here\\Title");
}

TEST_F(WizardTest, AStoredInstallPathThatExistsWinsAndTheListGivesExactFolders) {
  ASSERT_TRUE(platform::ForceDirectories("C:\\Old\\Install"));
  Settings.WriteRegString("InstallPath", "C:\\Old\\Install\\");
  auto wizard = Make();
  EXPECT_EQ(wizard->SubFolder, "");
  EXPECT_EQ(wizard->EditDir->Text(), "C:\\Old\\Install");
  EXPECT_EQ(wizard->Directory->Directory(), "C:\\Old\\Install");
  Script->Click("btnNext").Select("Directory", "C:\\Old").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->EditDir->Text(), "C:\\Old");
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, AStoredInstallPathThatIsGoneFallsBackToTheDefault) {
  Settings.WriteRegString("InstallPath", "C:\\Vanished\\");
  Settings.DefaultDir = "<ProgramFiles>\\Maker\\Title";
  auto wizard = Make();
  EXPECT_EQ(wizard->EditDir->Text(), ProgramFiles + "\\Maker\\Title");
}

TEST_F(WizardTest, APlainDefaultDirLiesOnTheWindowsDrive) {
  Settings.DefaultDir = "\\Soft\\Title\\";
  auto wizard = Make();
  const std::string drive = platform::WindowsFolder().substr(0, 1);
  EXPECT_EQ(wizard->SubFolder, "Soft\\Title");
  EXPECT_EQ(wizard->EditDir->Text(), drive + ":\\Soft\\Title");
  EXPECT_EQ(wizard->Directory->Directory(), drive + ":\\");
}

TEST_F(WizardTest, OldSystemsWithoutAProgramFilesValueStartFromTheRoot) {
  Version = 3;
  Settings.DefaultDir = "<ProgramFiles>\\Maker\\Title";
  auto wizard = Make();
  EXPECT_EQ(wizard->EditDir->Text(), "\\Maker\\Title");
  EXPECT_EQ(wizard->Drive->Drive(), 0);  // "\" names no drive
}

TEST_F(WizardTest, ADestinationOfThreeCharactersIsRefused) {
  auto wizard = Make();
  Script->Click("btnNext").Set("EditDir", "C:\\").Click("btnNext").Answer("OK");
  Script->Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 3); });
  Script->Set("EditDir", "C:\\A").Click("btnNext");
  Script->Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 4); });
  Script->Close().Answer("yes");
  wizard->ShowModal();
  ASSERT_GE(Script->Dialogs().size(), 1u);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Kind, ui::TMsgDlgType::mtWarning);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Text, Sjis("正しいインストール先を指定してください"));
  ASSERT_EQ(Script->Dialogs()[0].Dialog.Buttons.size(), 1u);
}

TEST_F(WizardTest, TooLittleFreeSpaceAsksAndTheAnswerDecides) {
  FreeBytes = 5 * MiB + MiB / 2;  // 5 MB free, 10 MB needed
  auto wizard = Make();
  Script->Click("btnNext").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->LabelSzDrv->Caption(), Sjis("このドライブには 5 MBの空きがあります"));
  });
  Script->Click("btnNext").Answer("no");
  Script->Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 3); });
  Script->Click("btnNext").Answer(Sjis("はい(&Y)"));
  Script->Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 4); });
  Script->Close().Answer("yes");
  wizard->ShowModal();
  const std::string question =
      Sjis("ドライブにじゅうぶんな空き容量がありません\r\nこのまま処理を続けますか？");
  ASSERT_GE(Script->Dialogs().size(), 2u);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Text, question);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Kind, ui::TMsgDlgType::mtWarning);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Buttons.size(), 2u);
  EXPECT_EQ(Script->Dialogs()[1].Dialog.Text, question);
  EXPECT_EQ(Roots.back(), "C:\\");
}

TEST_F(WizardTest, EnoughFreeSpaceAsksNothingAndLargeFiguresAreGrouped) {
  FreeBytes = std::int64_t{1234567} * MiB;
  auto wizard = Make();
  Script->Click("btnNext").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->LabelSzDrv->Caption(), Sjis("このドライブには 1,234,567 MBの空きがあります"));
  });
  Script->Click("btnNext").Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 4); });
  Script->Close().Answer("yes");
  wizard->ShowModal();
  EXPECT_EQ(Script->Dialogs().size(), 1u);  // only the close question
}

TEST_F(WizardTest, AFailedFreeSpaceQueryCountsAsNothingFree) {
  FreeBytes = -1;
  auto wizard = Make();
  EXPECT_EQ(wizard->DriveFreeMB('C'), 0);
  Script->Click("btnNext").Click("btnNext").Answer("no");
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 3);
    EXPECT_EQ(wizard->LabelSzDrv->Caption(), Sjis("このドライブには 0 MBの空きがあります"));
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, AnAddOnNeedsAnInstallationOfTheSameTitle) {
  Settings.AddOnPackage = 1;
  const std::string dest = "C:\\Installed\\AddOnTarget";
  ASSERT_TRUE(platform::ForceDirectories(dest));
  auto wizard = Make();
  const std::string refusal = Sjis("正しいインストール先を指定してください");
  // No install.dat yet.
  Script->Set("EditDir", dest).Click("btnNext").Answer("OK");
  // Another title's install.dat.
  Script->Call([&](ui::TForm&) {
    settings::TMoraInstallSet other;
    other.Title = Sjis("ほかのタイトル");
    other.SaveToFile(dest + "\\install.dat");
  });
  Script->Click("btnNext").Answer("OK");
  // A damaged one.
  Script->Call([&](ui::TForm&) { platform::WriteFileAtomic(dest + "\\install.dat", "is1"); });
  Script->Click("btnNext").Answer("OK");
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 3);
    settings::TMoraInstallSet same;
    same.Title = Sjis("テスト");
    same.SaveToFile(dest + "\\install.dat");
  });
  Script->Click("btnNext").Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 4); });
  Script->Close().Answer("yes");
  wizard->ShowModal();
  ASSERT_EQ(Script->Dialogs().size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Script->Dialogs()[i].Dialog.Text, refusal);
}

TEST_F(WizardTest, TheCloseBoxAsksAndNoKeepsTheWizardOpen) {
  auto wizard = Make();
  Script->Click("btnNext").Close().Answer("no");
  Script->Call([&](ui::TForm& form) {
    EXPECT_TRUE(form.Showing());
    EXPECT_EQ(wizard->CurrentPage(), 3);
  });
  Script->Close().Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrCancel);
  EXPECT_EQ(DialogTexts(), (std::vector<std::string>{Sjis("インストールを中断しますか？"),
                                                     Sjis("インストールを中断しますか？")}));
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Kind, ui::TMsgDlgType::mtConfirmation);
}

TEST_F(WizardTest, AbortOnAPlainPageAsksTheSameQuestion) {
  Settings.UninstallMode = 1;
  auto wizard = Make();
  Script->Click("btnAbort").Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrCancel);
  EXPECT_EQ(DialogTexts(), (std::vector<std::string>{Sjis("アンインストールを中断しますか？")}));
}

}  // namespace
}  // namespace mora::installer::testing
