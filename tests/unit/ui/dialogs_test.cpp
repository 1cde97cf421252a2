// The message dialog's fixed captions, button order and results.
#include <gtest/gtest.h>

#include "base/sjis.h"
#include "ui/dialogs.h"

namespace mora::ui {
namespace {

using base::Sjis;

TEST(DialogsTest, EachKindHasItsCaption) {
  EXPECT_EQ(MakeMessageDialog("x", TMsgDlgType::mtWarning, mbOK).Caption, Sjis("警告"));
  EXPECT_EQ(MakeMessageDialog("x", TMsgDlgType::mtError, mbOK).Caption, Sjis("エラー"));
  EXPECT_EQ(MakeMessageDialog("x", TMsgDlgType::mtInformation, mbOK).Caption, Sjis("情報"));
  EXPECT_EQ(MakeMessageDialog("x", TMsgDlgType::mtConfirmation, mbOK).Caption, Sjis("確認"));
}

TEST(DialogsTest, ButtonsComeInFixedOrderWithTheirCaptionsAndResults) {
  const TMessageDialog all = MakeMessageDialog("text", TMsgDlgType::mtConfirmation,
                                               mbAbort | mbCancel | mbOK | mbNo | mbYes);
  ASSERT_EQ(all.Buttons.size(), 5u);
  EXPECT_EQ(all.Buttons[0].Caption, Sjis("はい(&Y)"));
  EXPECT_EQ(all.Buttons[0].Result, 6);
  EXPECT_EQ(all.Buttons[1].Caption, Sjis("いいえ(&N)"));
  EXPECT_EQ(all.Buttons[1].Result, 7);
  EXPECT_EQ(all.Buttons[2].Caption, "OK");
  EXPECT_EQ(all.Buttons[2].Result, 1);
  EXPECT_EQ(all.Buttons[3].Caption, Sjis("キャンセル"));
  EXPECT_EQ(all.Buttons[3].Result, 2);
  EXPECT_EQ(all.Buttons[4].Caption, Sjis("中止(&A)"));
  EXPECT_EQ(all.Buttons[4].Result, 3);
  EXPECT_EQ(all.Text, "text");
}

TEST(DialogsTest, DefaultAndCancelButtonsFollowTheSet) {
  const TMessageDialog yesNo = MakeMessageDialog("q", TMsgDlgType::mtWarning, mbYesNo);
  EXPECT_EQ(yesNo.DefaultResult, mrYes);
  EXPECT_EQ(yesNo.CancelResult, mrNo);
  const TMessageDialog okAbort = MakeMessageDialog("q", TMsgDlgType::mtInformation, mbOK | mbAbort);
  EXPECT_EQ(okAbort.DefaultResult, mrOk);
  EXPECT_EQ(okAbort.CancelResult, mrAbort);
  const TMessageDialog none = MakeMessageDialog("q", TMsgDlgType::mtError, 0);
  ASSERT_EQ(none.Buttons.size(), 1u);
  EXPECT_EQ(none.Buttons[0].Result, mrOk);
  EXPECT_EQ(none.CancelResult, mrOk);
}

}  // namespace
}  // namespace mora::ui
