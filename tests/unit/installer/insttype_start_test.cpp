// The wizard's start rules, its page transitions and Back limits, and the
// size texts of the chosen parts.
#include "wizard_fixture.h"

namespace mora::installer::testing {
namespace {

TEST_F(WizardTest, ASingleDiskTitleOpensOnTheFilePageWithBackDisabled) {
  auto wizard = Make();
  EXPECT_EQ(wizard->FirstPage, 2);
  EXPECT_EQ(wizard->CurrentPage(), 2);
  EXPECT_EQ(wizard->Caption(), Sjis("インストールするファイル"));
  EXPECT_TRUE(wizard->btnBack->Visible());
  EXPECT_FALSE(wizard->btnBack->Enabled());
  EXPECT_TRUE(wizard->btnNext->Enabled());
  EXPECT_EQ(wizard->btnNext->Caption(), Sjis("次へ(&N) >"));
  EXPECT_TRUE(wizard->btnNext->Default());
  EXPECT_TRUE(wizard->RadioInst->Checked());
  EXPECT_FALSE(wizard->RadioDiskAll->Checked());
  EXPECT_TRUE(wizard->CheckProg->Checked());
  EXPECT_FALSE(wizard->CheckProg->Enabled());
  EXPECT_FALSE(wizard->CheckData->Checked());
  // Nothing but the program is chosen: 10 MiB of this disk.
  EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("10.00"));
  EXPECT_EQ(wizard->RequiredBytes, 10 * MiB);
}

TEST_F(WizardTest, NextAndBackMoveOnePageAndBackStopsAtTheFirstPage) {
  auto wizard = Make();
  Script->Click("btnNext").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 3);
    EXPECT_EQ(wizard->Caption(), Sjis("インストール先の選択"));
    EXPECT_TRUE(wizard->btnBack->Enabled());
  });
  Script->Click("btnNext").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 4);
    EXPECT_EQ(wizard->Caption(), Sjis("インストール準備完了"));
    EXPECT_EQ(wizard->btnNext->Caption(), Sjis("インストール"));
    EXPECT_TRUE(wizard->Label6->IsShowing());
  });
  Script->Click("btnBack").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 3);
    EXPECT_EQ(wizard->btnNext->Caption(), Sjis("次へ(&N) >"));
  });
  Script->Click("btnBack").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 2);
    EXPECT_FALSE(wizard->btnBack->Enabled());
  });
  Script->Close().Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrCancel);
  EXPECT_TRUE(Engine.Installs.empty());
}

TEST_F(WizardTest, BackNeverGoesBelowTheFirstPage) {
  Settings.SetupKind = 1;  // starts on the folder page
  auto wizard = Make();
  wizard->btnBack->SetEnabled(true);  // even when pressed, Back stays on page 3
  Script->Click("btnBack").Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 3);
    EXPECT_FALSE(wizard->btnBack->Enabled());
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, ATwoDiskSetFromDiskOneOpensOnTheMediaPageForAllDisks) {
  TwoDisks(0);
  auto wizard = Make();
  EXPECT_EQ(wizard->FirstPage, 1);
  EXPECT_EQ(wizard->CurrentPage(), 1);
  EXPECT_EQ(wizard->Caption(), Sjis("インストールするCD-ROM"));
  EXPECT_EQ(wizard->LabelDisk->Caption(), Sjis("インストールするCD-ROMを指定してください"));
  EXPECT_EQ(wizard->RadioDiskAll->Caption(), Sjis("全てのCD-ROMをインストール"));
  EXPECT_EQ(wizard->RadioDiskThis->Caption(), Sjis("このCD-ROMをインストール"));
  EXPECT_TRUE(wizard->RadioDiskAll->Checked());
  EXPECT_FALSE(wizard->btnBack->Enabled());

  Script->Click("btnNext").Call([&](ui::TForm&) {
    // Visibility and sizes follow the totals of the whole set.
    EXPECT_EQ(wizard->CurrentPage(), 2);
    EXPECT_TRUE(wizard->CheckProg->Visible());
    EXPECT_TRUE(wizard->CheckMovie->Visible());
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("10.00"));
  });
  Script->Check("CheckData", true).Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("12.50"));
  });
  Script->Click("btnBack").Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 1); });
  Script->Select("RadioDiskThis").Click("btnNext").Call([&](ui::TForm&) {
    // Now only this disk: program 10 MiB and data 1 MiB; no sound or movie.
    EXPECT_FALSE(wizard->CheckSound->Visible());
    EXPECT_FALSE(wizard->CheckMovie->Visible());
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("11.00"));
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, ASetStartedFromDiskTwoInstallsThatDiskOnly) {
  TwoDisks(1);
  auto wizard = Make();
  EXPECT_EQ(wizard->FirstPage, 2);
  EXPECT_EQ(wizard->CurrentPage(), 2);
  EXPECT_FALSE(wizard->RadioDiskAll->Checked());
  EXPECT_FALSE(wizard->RadioDiskThis->Checked());
  EXPECT_FALSE(wizard->CheckProg->Visible());  // disk 2 carries no program
  EXPECT_TRUE(wizard->CheckData->Visible());
  EXPECT_TRUE(wizard->CheckSound->Visible());
  EXPECT_TRUE(wizard->CheckMovie->Visible());
  EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("0.00"));
  Script->Check("CheckSound", true).Check("CheckData", true).Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("2.50"));
    EXPECT_EQ(wizard->RequiredBytes, 5 * MiB / 2);
  });
  Script->Click("btnNext").Click("btnNext").Click("btnNext").Call([&](ui::TForm&) {
    ASSERT_EQ(Engine.Installs.size(), 1u);
    EXPECT_FALSE(Engine.Installs[0].AllDisks);
  });
  Script->Click("btnAbort");
  wizard->ShowModal();
}

TEST_F(WizardTest, SizeTextsFollowTheCheckBoxes) {
  auto wizard = Make();
  Script->Check("CheckData", true).Check("CheckSound", true).Check("CheckMovie", true);
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("13.75"));
    EXPECT_EQ(wizard->LabelSzNeed->Caption(), NeedText("13.75"));
  });
  Script->Check("CheckSound", false).Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("12.75"));
    EXPECT_EQ(wizard->LabelSzNeed->Caption(), NeedText("12.75"));
  });
  Script->Close().Answer("yes");
  wizard->ShowModal();
}

TEST_F(WizardTest, SetupKindOneStartsOnTheFolderPageWithEveryPartChosen) {
  Settings.SetupKind = 1;
  auto wizard = Make();
  EXPECT_EQ(wizard->FirstPage, 3);
  EXPECT_EQ(wizard->CurrentPage(), 3);
  EXPECT_FALSE(wizard->btnBack->Enabled());
  EXPECT_TRUE(wizard->CheckData->Checked());
  EXPECT_TRUE(wizard->CheckSound->Checked());
  EXPECT_TRUE(wizard->CheckMovie->Checked());
  EXPECT_EQ(wizard->RequiredBytes, 10 * MiB + 5 * MiB / 2 + MiB + MiB / 4);
  EXPECT_EQ(wizard->LabelSzNeed->Caption(), NeedText("13.75"));
}

TEST_F(WizardTest, SetupKindTwoStartsOnTheConfirmPageIntoTheWindowsFolder) {
  Settings.SetupKind = 2;
  auto wizard = Make();
  EXPECT_EQ(wizard->FirstPage, 4);
  EXPECT_EQ(wizard->CurrentPage(), 4);
  EXPECT_FALSE(wizard->Label6->Visible());
  EXPECT_EQ(wizard->RequiredBytes, 0);
  EXPECT_FALSE(wizard->btnBack->Enabled());
  EXPECT_EQ(wizard->btnNext->Caption(), Sjis("インストール"));
  EXPECT_EQ(wizard->GetDestDir(), platform::WindowsFolder() + "\\");
}

TEST_F(WizardTest, AnAddOnStartsOnTheFolderPageAndNeedsEveryPart) {
  Settings.AddOnPackage = 1;
  auto wizard = Make();
  EXPECT_EQ(wizard->FirstPage, 3);
  EXPECT_EQ(wizard->CurrentPage(), 3);
  EXPECT_EQ(wizard->LabelSzNeed->Caption(), NeedText("13.75"));
  wizard->CheckSound->SetChecked(true);  // fires CheckDataClick
  wizard->CheckData->SetChecked(true);
  wizard->CheckData->SetChecked(false);
  EXPECT_EQ(wizard->LabelSzNeed->Caption(), NeedText("13.75"));
  EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("13.75"));
}

TEST_F(WizardTest, UninstallModeOpensOnTheUninstallPageWithoutBack) {
  Settings.UninstallMode = 1;
  auto wizard = Make();
  EXPECT_EQ(wizard->CurrentPage(), 7);
  EXPECT_EQ(wizard->Caption(), Sjis("アンインストール"));
  EXPECT_FALSE(wizard->btnBack->Visible());
  EXPECT_EQ(wizard->btnNext->Caption(), Sjis("実行"));
  EXPECT_EQ(wizard->LabelUninst->Caption(), Sjis("テスト をコンピュータから削除します"));
  EXPECT_FALSE(wizard->CheckDelSave->Visible());  // no save.dat in the folder

  platform::WriteFileAtomic(Medium + "\\save.dat", "save");
  auto withSave = Make();
  EXPECT_TRUE(withSave->CheckDelSave->Visible());
  EXPECT_FALSE(withSave->CheckDelSave->Checked());
}

TEST_F(WizardTest, ADiskIndexOutsideThePerDiskArraysCountsAsNothing) {
  TwoDisks(0);
  for (int index : {7, -1}) {
    Settings.DiskIndex = index;
    auto wizard = Make();
    EXPECT_EQ(wizard->CurrentPage(), 2);
    EXPECT_FALSE(wizard->CheckProg->Visible());
    EXPECT_FALSE(wizard->CheckData->Visible());
    wizard->CheckData->SetChecked(true);
    wizard->CheckSound->SetChecked(true);
    EXPECT_EQ(wizard->RequiredBytes, 0);
    EXPECT_EQ(wizard->LabelSize->Caption(), SizeText("0.00"));
  }
}

TEST(FormatFloat2Test, TwoDecimalsAtLeastTwoWide) {
  EXPECT_EQ(FormatFloat2(0.0), "0.00");
  EXPECT_EQ(FormatFloat2(12.5), "12.50");
  EXPECT_EQ(FormatFloat2(1234.567), "1234.57");
  EXPECT_EQ(FormatFloat2(0.125), "0.12");  // halves of binary-exact values go to even
}

}  // namespace
}  // namespace mora::installer::testing
