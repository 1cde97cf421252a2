// Captions and buttons of the message dialog.
#include "ui/dialogs.h"

#include "base/sjis.h"

namespace mora::ui {

namespace {
constexpr TMsgDlgButtons ButtonOrder[] = {mbYes, mbNo, mbOK, mbCancel, mbAbort};
}

std::string DialogCaption(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::mtWarning: return base::Sjis("警告");
    case TMsgDlgType::mtError: return base::Sjis("エラー");
    case TMsgDlgType::mtInformation: return base::Sjis("情報");
    case TMsgDlgType::mtConfirmation: return base::Sjis("確認");
  }
  return {};
}

std::string ButtonCaption(TMsgDlgButtons button) {
  switch (button) {
    case mbYes: return base::Sjis("はい(&Y)");
    case mbNo: return base::Sjis("いいえ(&N)");
    case mbOK: return "OK";
    case mbCancel: return base::Sjis("キャンセル");
    case mbAbort: return base::Sjis("中止(&A)");
    default: return {};
  }
}

int ButtonResult(TMsgDlgButtons button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    default: return mrNone;
  }
}

TMessageDialog MakeMessageDialog(const std::string& text, TMsgDlgType kind,
                                 TMsgDlgButtons buttons) {
  if ((buttons & (mbYes | mbNo | mbOK | mbCancel | mbAbort)) == 0) buttons = mbOK;
  TMessageDialog dialog;
  dialog.Kind = kind;
  dialog.Caption = DialogCaption(kind);
  dialog.Text = text;
  for (TMsgDlgButtons button : ButtonOrder) {
    if ((buttons & button) != 0)
      dialog.Buttons.push_back({ButtonResult(button), ButtonCaption(button)});
  }
  if ((buttons & mbOK) != 0) {
    dialog.DefaultResult = mrOk;
  } else if ((buttons & mbYes) != 0) {
    dialog.DefaultResult = mrYes;
  } else {
    dialog.DefaultResult = dialog.Buttons.front().Result;
  }
  if ((buttons & mbCancel) != 0) {
    dialog.CancelResult = mrCancel;
  } else if ((buttons & mbNo) != 0) {
    dialog.CancelResult = mrNo;
  } else if ((buttons & mbAbort) != 0) {
    dialog.CancelResult = mrAbort;
  } else {
    dialog.CancelResult = mrOk;
  }
  return dialog;
}

}  // namespace mora::ui
