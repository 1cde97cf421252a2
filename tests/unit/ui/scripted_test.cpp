// The portable modal loop driven by the scripted backend: results, the close
// query, dialogs and their answers, the error box, and the answer-file
// syntax with its failures.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/scripted/scripted.h"

namespace mora::ui {
namespace {

using base::Sjis;

class ScriptedTest : public ::testing::Test {
 protected:
  ScriptedTest()
      : Script(new TScriptedBackend), App(std::unique_ptr<TBackend>(Script)), Form(App, "Form") {
    Ok = &Form.Add<TButton>("btnOk", {});
    Ok->SetCaption(Sjis("決定"));
    Ok->SetModalResult(mrOk);
    Ask = &Form.Add<TButton>("btnAsk", {});
    Ask->OnClick = [this](TControl&) {
      Answers.push_back(
          App.MessageDialog(Sjis("続けますか？"), TMsgDlgType::mtConfirmation, mbYesNo));
    };
    Edit = &Form.Add<TEdit>("EditDir", {});
    Check = &Form.Add<TCheckBox>("CheckSound", {});
  }
  TScriptedBackend* Script;
  TApplication App;
  TForm Form;
  TButton* Ok;
  TButton* Ask;
  TEdit* Edit;
  TCheckBox* Check;
  std::vector<int> Answers;
};

TEST_F(ScriptedTest, AButtonWithAModalResultEndsTheLoop) {
  Script->Click("btnOk");
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_FALSE(Form.Showing());
  EXPECT_EQ(Script->PendingActions(), 0u);
}

TEST_F(ScriptedTest, ControlsAreFoundByCaptionToo) {
  Script->Click(Sjis("決定"));
  EXPECT_EQ(Form.ShowModal(), mrOk);
}

TEST_F(ScriptedTest, TheCloseBoxAsksCloseQueryAndARefusalKeepsTheFormOpen) {
  int asked = 0;
  Form.OnCloseQuery = [&](TForm& sender) {
    ++asked;
    EXPECT_EQ(sender.ModalResult(), mrCancel);
    return asked > 1;
  };
  Script->Close().Call([](TForm& form) { EXPECT_EQ(form.ModalResult(), mrNone); }).Close();
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST_F(ScriptedTest, DialogsAreAnsweredByCaptionNameOrNumberAndRecorded) {
  Script->Click("btnAsk").Answer(Sjis("はい(&Y)"));
  Script->Click("btnAsk").Answer("no");
  Script->Click("btnAsk").Answer(mrYes);
  Script->Click("btnOk");
  Form.ShowModal();
  EXPECT_EQ(Answers, (std::vector<int>{mrYes, mrNo, mrYes}));
  ASSERT_EQ(Script->Dialogs().size(), 3u);
  const TDialogRecord& first = Script->Dialogs()[0];
  EXPECT_EQ(first.Dialog.Kind, TMsgDlgType::mtConfirmation);
  EXPECT_EQ(first.Dialog.Caption, Sjis("確認"));
  EXPECT_EQ(first.Dialog.Text, Sjis("続けますか？"));
  EXPECT_EQ(first.Result, mrYes);
}

TEST_F(ScriptedTest, AnUnansweredDialogFailsWithItsText) {
  Script->Click("btnAsk").Click("btnOk");
  try {
    Form.ShowModal();
    FAIL() << "expected a script failure";
  } catch (const EScriptFailure& failure) {
    const std::string message = failure.what();
    EXPECT_NE(message.find("続けますか？"), std::string::npos) << message;
    EXPECT_NE(message.find("click btnOk"), std::string::npos) << message;
  }
  EXPECT_FALSE(Form.Showing());
}

TEST_F(ScriptedTest, AnAnswerForAButtonTheDialogLacksFails) {
  Script->Click("btnAsk").Answer("OK");
  EXPECT_THROW(Form.ShowModal(), EScriptFailure);
}

TEST_F(ScriptedTest, TheEndOfTheScriptWhileAFormWaitsFails) {
  EXPECT_THROW(Form.ShowModal(), EScriptFailure);
}

TEST_F(ScriptedTest, HiddenDisabledAndUnknownControlsCannotBeUsed) {
  Ok->SetEnabled(false);
  Script->Click("btnOk");
  EXPECT_THROW(Form.ShowModal(), EScriptFailure);
  Ok->SetEnabled(true);
  Ok->SetVisible(false);
  Script->Click("btnOk");
  EXPECT_THROW(Form.ShowModal(), EScriptFailure);
  Script->Click("btnNothing");
  EXPECT_THROW(Form.ShowModal(), EScriptFailure);
}

TEST_F(ScriptedTest, AnExceptionInAHandlerGoesToTheErrorBoxAndTheFormGoesOn) {
  Ask->OnClick = [](TControl&) { throw base::EFOpenError(Sjis("pic.vnt:ファイルがありません")); };
  Script->Click("btnAsk").Answer("OK").Click("btnOk");
  EXPECT_EQ(Form.ShowModal(), mrOk);
  ASSERT_EQ(Script->Dialogs().size(), 1u);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Kind, TMsgDlgType::mtError);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Caption, Sjis("エラー"));
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Text, Sjis("pic.vnt:ファイルがありません"));
}

TEST_F(ScriptedTest, CheckSetAndCloseActionsChangeTheModel) {
  Script->Check("CheckSound", true).Check("CheckSound", true).Set("EditDir", "C:\\Games");
  Script->Call([this](TForm&) {
    EXPECT_TRUE(Check->Checked());
    EXPECT_EQ(Edit->Text(), "C:\\Games");
  });
  Script->Check("CheckSound", false).Close();
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  EXPECT_FALSE(Check->Checked());
}

TEST_F(ScriptedTest, PumpActionsRunOnlyWhenALongStepPumps) {
  int pumpedClicks = 0;
  Ask->OnClick = [&](TControl&) {
    // A long step: pumps until the abort button was pressed.
    for (int i = 0; i < 3 && Form.ModalResult() != mrAbort; ++i) {
      App.ProcessMessages();
      ++pumpedClicks;
    }
  };
  auto& abort = Form.Add<TButton>("btnAbort", {});
  abort.SetModalResult(mrAbort);
  Script->Click("btnAsk").Click("btnAbort").AtPump().Click("btnOk");
  EXPECT_EQ(Form.ShowModal(), mrAbort);
  EXPECT_EQ(pumpedClicks, 1);
  EXPECT_EQ(Script->PendingActions(), 1u);  // btnOk never ran
}

TEST_F(ScriptedTest, AnswerFilesUseTheTextSyntax) {
  Script->LoadScript(
      "\xEF\xBB\xBF# unattended\n"
      "check CheckSound on\r\n"
      "set EditDir C:\\Program Files\\ゲーム\n"
      "\n"
      "click btnAsk\n"
      "answer いいえ(&N)\n"
      "click 決定\n");
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_TRUE(Check->Checked());
  EXPECT_EQ(Edit->Text(), Sjis("C:\\Program Files\\ゲーム"));
  EXPECT_EQ(Answers, (std::vector<int>{mrNo}));

  const std::string file = platform::TempFolder() + "answers.txt";
  platform::WriteFileAtomic(file, "pump click btnOk\nclose\n");
  TScriptedBackend fromFile;
  fromFile.LoadAnswerFile(file);
  EXPECT_EQ(fromFile.PendingActions(), 2u);
}

// A second process goes on where the first stopped: lines before the one
// named are passed over, the numbers of the rest are kept.
TEST_F(ScriptedTest, AScriptCanBeContinuedFromALineAndWaitsWhereItSays) {
  const std::string flag = platform::TempFolder() + "scripted-flag.txt";
  platform::DeleteFile(flag);
  const std::string text =
      "click btnAsk\nanswer yes\n# the rest\nsleep 30\nwait-file " + flag + "\nclick btnOk\n";
  TScriptedBackend whole;
  whole.LoadScript(text, "answers");
  EXPECT_EQ(whole.PendingActions(), 5u);
  EXPECT_EQ(whole.NextActionLine(), 1);

  Script->LoadScript(text, "answers", 3);
  EXPECT_EQ(Script->PendingActions(), 3u);
  EXPECT_EQ(Script->NextActionLine(), 4);
  EXPECT_EQ(Script->NextActionSource(), "answers:4: sleep 30");
  std::vector<std::string> transcript;
  Script->OnLog = [&](const std::string& line) { transcript.push_back(line); };
  platform::WriteFileAtomic(flag, "");
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_EQ(Script->NextActionLine(), 0);
  EXPECT_EQ(transcript, Script->Log());
  EXPECT_EQ(transcript.back(), "close Form (\"\") with 1");
  platform::DeleteFile(flag);
}

TEST_F(ScriptedTest, DialogsAppearInTheLogWithTheirLineBreaksShown) {
  Ask->OnClick = [this](TControl&) {
    App.MessageDialog(Sjis("一行目\r\n二行目"), TMsgDlgType::mtWarning, mbOK);
  };
  Script->Click("btnAsk").Answer("ok").Click("btnOk");
  EXPECT_EQ(Form.ShowModal(), mrOk);
  const auto& log = Script->Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[2], "dialog 警告 \"一行目\\r\\n二行目\" [OK]");
  EXPECT_EQ(log[3], "answer ok");
}

TEST_F(ScriptedTest, ScriptSyntaxErrorsNameTheLine) {
  TScriptedBackend script;
  EXPECT_THROW(script.AddLine("sleep"), EScriptFailure);
  EXPECT_THROW(script.AddLine("sleep soon"), EScriptFailure);
  EXPECT_THROW(script.AddLine("sleep 99999999"), EScriptFailure);
  EXPECT_THROW(script.AddLine("wait-file"), EScriptFailure);
  EXPECT_THROW(script.AddLine("jump btnOk"), EScriptFailure);
  EXPECT_THROW(script.AddLine("check CheckSound maybe"), EScriptFailure);
  EXPECT_THROW(script.AddLine("drive 12"), EScriptFailure);
  EXPECT_THROW(script.AddLine("pump"), EScriptFailure);
  try {
    script.AddLine("click");
  } catch (const EScriptFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("\"click\""), std::string::npos);
  }
  EXPECT_EQ(script.PendingActions(), 0u);
}

TEST_F(ScriptedTest, AnswerFileFailuresNameTheFileAndLine) {
  const std::string file = platform::TempFolder() + "answers-bad.txt";
  platform::WriteFileAtomic(file, "# comment\nclick btnAsk\n\nbounce btnOk\n");
  TScriptedBackend script;
  try {
    script.LoadAnswerFile(file);
    ADD_FAILURE() << "accepted an unknown action";
  } catch (const EScriptFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("answers-bad.txt:4: "), std::string::npos)
        << failure.what();
  }

  // A failure at run time names the line that queued the action.
  platform::WriteFileAtomic(file, "\nclick btnMissing\n");
  Script->LoadAnswerFile(file);
  try {
    Form.ShowModal();
    ADD_FAILURE() << "clicked a control that does not exist";
  } catch (const EScriptFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("answers-bad.txt:2: click btnMissing"),
              std::string::npos)
        << failure.what();
  }

  platform::WriteFileAtomic(file, std::string(TScriptedBackend::MaxAnswerFileSize + 1, '#'));
  EXPECT_THROW(script.LoadAnswerFile(file), EScriptFailure);
  platform::DeleteFile(file);
}

TEST_F(ScriptedTest, AnswersWithoutADialogFail) {
  Script->Answer("OK");
  EXPECT_THROW(Form.ShowModal(), EScriptFailure);
}

TEST(BackendChoiceTest, BackendsAreChosenByName) {
  EXPECT_EQ(CreateBackend("scripted")->Name(), "scripted");
  EXPECT_THROW(CreateBackend("curses"), base::EConvertError);
}

}  // namespace
}  // namespace mora::ui
