// The copy and delete steps as the wizard runs them: what it hands to the
// engine, how the observer shows progress, and how the steps end (finished,
// stopped by the abort button, closed after a failure, or raising).
#include "wizard_fixture.h"

#include "base/errors.h"

namespace mora::installer::testing {
namespace {

TEST_F(WizardTest, InstallHandsTheChoicesToTheEngineAndEndsOnTheExitPage) {
  auto wizard = Make();
  Engine.OnInstall = [&](TStepObserver& observer) {
    EXPECT_EQ(wizard->CurrentPage(), 5);
    EXPECT_EQ(wizard->Caption(), Sjis("ファイルコピー"));
    observer.HideBackButton();
    observer.HideNextButton();
    observer.SetProgressMax(1000);
    observer.SetProgress(400);
    observer.SetStatus(Sjis("a.txt をコピー中..."));
    observer.SetHeading(Sjis("データファイルをチェックしています"));
    EXPECT_EQ(wizard->Progress->Max(), 1000);
    EXPECT_EQ(wizard->Progress->Position(), 400);
    EXPECT_EQ(wizard->LabelCopy->Caption(), Sjis("a.txt をコピー中..."));
    EXPECT_EQ(wizard->LabelCopyCap->Caption(), Sjis("データファイルをチェックしています"));
    EXPECT_FALSE(observer.ProcessMessages());
    observer.HideProgress();
    EXPECT_FALSE(wizard->Progress->Visible());
    EXPECT_FALSE(wizard->LabelCopy->Visible());
    return TStepOutcome::Finished;
  };
  Script->Check("CheckSound", true).Check("CheckMovie", true).Click("btnNext");
  Script->Set("EditDir", "C:\\Games\\Title").Click("btnNext").Click("btnNext");
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 6);
    EXPECT_EQ(wizard->Caption(), Sjis("完了"));
    EXPECT_EQ(wizard->btnAbort->Caption(), Sjis("閉じる(&C)"));
    EXPECT_EQ(wizard->FocusedControl(), wizard->btnAbort);
    EXPECT_FALSE(wizard->btnNext->Visible());
    EXPECT_EQ(wizard->LabelExit->Caption(), Sjis("インストールが完了しました"));
  });
  Script->Click(Sjis("閉じる(&C)"));
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  EXPECT_TRUE(Script->Dialogs().empty());  // closing the exit page asks nothing
  ASSERT_EQ(Engine.Installs.size(), 1u);
  const TInstallRequest& request = Engine.Installs[0];
  EXPECT_EQ(request.SourceFolder, Medium + "\\");
  EXPECT_EQ(request.DestDir, "C:\\Games\\Title\\");
  EXPECT_FALSE(request.AllDisks);
  EXPECT_FALSE(request.Data);
  EXPECT_TRUE(request.Sound);
  EXPECT_TRUE(request.Movie);
  EXPECT_EQ(request.RequiredBytes, 10 * MiB + MiB + MiB / 4);
}

TEST_F(WizardTest, AbortConfirmedDuringTheCopyStopsAtTheNextPollWithResultThree) {
  auto wizard = Make();
  int polls = 0;
  Engine.OnInstall = [&](TStepObserver& observer) {
    observer.HideBackButton();
    observer.HideNextButton();
    while (polls < 10) {
      ++polls;
      if (observer.ProcessMessages()) return TStepOutcome::Stopped;
    }
    return TStepOutcome::Finished;
  };
  Script->Click("btnNext").Click("btnNext").Click("btnNext");
  Script->Click("btnAbort").AtPump().Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrAbort);
  EXPECT_EQ(polls, 1);
  EXPECT_EQ(DialogTexts(), (std::vector<std::string>{Sjis("インストールを中断しますか？")}));
  EXPECT_EQ(wizard->CurrentPage(), 5);
}

TEST_F(WizardTest, AbortDeclinedDuringTheCopyLetsTheStepFinish) {
  auto wizard = Make();
  Engine.OnInstall = [&](TStepObserver& observer) {
    for (int i = 0; i < 3; ++i) {
      if (observer.ProcessMessages()) return TStepOutcome::Stopped;
    }
    return TStepOutcome::Finished;
  };
  Script->Click("btnNext").Click("btnNext").Click("btnNext");
  Script->Click("btnAbort").AtPump().Answer("no");
  Script->Call([&](ui::TForm&) { EXPECT_EQ(wizard->CurrentPage(), 6); });
  Script->Click("btnAbort");
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
}

TEST_F(WizardTest, AStepThatReportsAFailureClosesTheWizardWithResultOne) {
  auto wizard = Make();
  Engine.OnInstall = [&](TStepObserver& observer) {
    observer.MessageDialog(Sjis("ディレクトリを作成できませんでした"), ui::TMsgDlgType::mtWarning,
                           ui::mbOK);
    return TStepOutcome::Closed;
  };
  Script->Click("btnNext").Click("btnNext").Click("btnNext").Answer("OK");
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  EXPECT_EQ(wizard->CurrentPage(), 5);
}

TEST_F(WizardTest, AFailureRaisedByTheStepIsShownAndOnlyAbortRemains) {
  auto wizard = Make();
  Engine.OnInstall = [&](TStepObserver& observer) -> TStepOutcome {
    observer.HideBackButton();
    observer.HideNextButton();
    throw base::EDamagedData(Sjis("ファイルが壊れています"));
  };
  Script->Click("btnNext").Click("btnNext").Click("btnNext").Answer("OK");
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 5);
    EXPECT_FALSE(wizard->btnNext->Visible());
    EXPECT_FALSE(wizard->btnBack->Visible());
    EXPECT_TRUE(wizard->btnAbort->CanUserAct());
  });
  Script->Click("btnAbort").Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrAbort);
  EXPECT_EQ(DialogTexts(), (std::vector<std::string>{Sjis("ファイルが壊れています"),
                                                     Sjis("インストールを中断しますか？")}));
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Kind, ui::TMsgDlgType::mtError);
}

TEST_F(WizardTest, TwoDisksFromDiskOneInstallEveryDisk) {
  TwoDisks(0);
  auto wizard = Make();
  Script->Click("btnNext").Click("btnNext").Click("btnNext").Click("btnNext").Click("btnAbort");
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  ASSERT_EQ(Engine.Installs.size(), 1u);
  EXPECT_TRUE(Engine.Installs[0].AllDisks);
}

TEST_F(WizardTest, UninstallRunsTheDeleteStepWithTheSaveDataChoice) {
  Settings.UninstallMode = 1;
  platform::WriteFileAtomic(Medium + "\\save.dat", "save");
  auto wizard = Make();
  Engine.OnUninstall = [&](TStepObserver& observer) {
    EXPECT_EQ(wizard->CurrentPage(), 8);
    EXPECT_EQ(wizard->Caption(), Sjis("削除"));
    observer.HideNextButton();
    observer.SetHeading(Sjis("テスト を削除しています"));
    observer.SetStatus(Sjis("ファイルを削除しています..."));
    EXPECT_EQ(wizard->LabelDelTitle->Caption(), Sjis("テスト を削除しています"));
    EXPECT_EQ(wizard->LabelDel->Caption(), Sjis("ファイルを削除しています..."));
    observer.ChooseFolder(platform::WindowsFolder());
    EXPECT_EQ(wizard->Directory->Directory(), platform::WindowsFolder());
    observer.SetExitText(Sjis("アンインストールが完了しました"));
    return TStepOutcome::Finished;
  };
  Script->Check("CheckDelSave", true).Click(Sjis("実行"));
  Script->Call([&](ui::TForm&) {
    EXPECT_EQ(wizard->CurrentPage(), 6);
    EXPECT_EQ(wizard->LabelExit->Caption(), Sjis("アンインストールが完了しました"));
    EXPECT_EQ(wizard->btnAbort->Caption(), Sjis("閉じる(&C)"));
  });
  Script->Click("btnAbort");
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  ASSERT_EQ(Engine.Uninstalls.size(), 1u);
  EXPECT_EQ(Engine.Uninstalls[0].InstallFolder, Medium + "\\");
  EXPECT_EQ(Engine.Uninstalls[0].FirstArgument, Medium);
  EXPECT_TRUE(Engine.Uninstalls[0].DeleteSave);
}

TEST_F(WizardTest, AHiddenSaveDataBoxNeverAsksToDeleteSaveData) {
  Settings.UninstallMode = 1;
  auto wizard = Make();
  wizard->CheckDelSave->SetChecked(true);  // hidden: no save.dat
  Script->Click("btnNext").Click("btnAbort");
  wizard->ShowModal();
  ASSERT_EQ(Engine.Uninstalls.size(), 1u);
  EXPECT_FALSE(Engine.Uninstalls[0].DeleteSave);
}

TEST_F(WizardTest, AbortDuringTheDeleteStepAsksAboutTheUninstallation) {
  Settings.UninstallMode = 1;
  auto wizard = Make();
  Engine.OnUninstall = [&](TStepObserver& observer) {
    return observer.ProcessMessages() ? TStepOutcome::Stopped : TStepOutcome::Finished;
  };
  Script->Click("btnNext").Click("btnAbort").AtPump().Answer("yes");
  EXPECT_EQ(wizard->ShowModal(), ui::mrAbort);
  EXPECT_EQ(DialogTexts(), (std::vector<std::string>{Sjis("アンインストールを中断しますか？")}));
}

}  // namespace
}  // namespace mora::installer::testing

namespace mora::installer::testing {
namespace {

TEST_F(WizardTest, AnAnswerFileDrivesAWholeInstallation) {
  auto wizard = Make();
  Script->LoadScript(
      "# unattended installation of every part\n"
      "check CheckData on\n"
      "check CheckSound on\n"
      "click btnNext\n"
      "set EditDir C:\\ゲーム\\タイトル\n"
      "click btnNext\n"
      "click インストール\n"
      "click 閉じる(&C)\n");
  EXPECT_EQ(wizard->ShowModal(), ui::mrOk);
  ASSERT_EQ(Engine.Installs.size(), 1u);
  EXPECT_EQ(Engine.Installs[0].DestDir, Sjis("C:\\ゲーム\\タイトル\\"));
  EXPECT_TRUE(Engine.Installs[0].Data);
  EXPECT_TRUE(Engine.Installs[0].Sound);
  EXPECT_FALSE(Engine.Installs[0].Movie);
  EXPECT_EQ(Script->PendingActions(), 0u);
}

}  // namespace
}  // namespace mora::installer::testing
