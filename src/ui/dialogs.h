// The toolkit's message dialog: fixed kinds with their captions, a fixed set
// of buttons with their captions and results. Portable: it only describes a
// dialog; TApplication::MessageDialog hands the description to the backend,
// which shows it centred on the screen (our own captions on every system
// language) and returns the result of the button pressed.
#pragma once

#include <string>
#include <vector>

#include "ui/types.h"

namespace mora::ui {

enum class TMsgDlgType {
  mtWarning,       // caption "警告"
  mtError,         // caption "エラー"
  mtInformation,   // caption "情報"
  mtConfirmation,  // caption "確認"
};

// Buttons as a bit set; shown in this order (Yes, No, OK, Cancel, Abort).
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 0x01;     // "はい(&Y)", result mrYes (6)
constexpr TMsgDlgButtons mbNo = 0x02;      // "いいえ(&N)", result mrNo (7)
constexpr TMsgDlgButtons mbOK = 0x04;      // "OK", result mrOk (1)
constexpr TMsgDlgButtons mbCancel = 0x08;  // "キャンセル", result mrCancel (2)
constexpr TMsgDlgButtons mbAbort = 0x10;   // "中止(&A)", result mrAbort (3)
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

struct TMessageDialogButton {
  int Result = mrNone;
  std::string Caption;  // 932 bytes
};

// Everything a backend needs to show one message dialog.
struct TMessageDialog {
  TMsgDlgType Kind = TMsgDlgType::mtInformation;
  std::string Caption;                        // the kind's caption, 932 bytes
  std::string Text;                           // 932 bytes, lines separated by "\r\n"
  std::vector<TMessageDialogButton> Buttons;  // in display order, at least one
  // Enter: OK when present, else Yes, else the first button.
  int DefaultResult = mrNone;
  // Escape and the close box: Cancel when present, else No, else Abort, else OK.
  int CancelResult = mrNone;
};

// Caption of a kind and of one button bit (932 bytes).
std::string DialogCaption(TMsgDlgType kind);
std::string ButtonCaption(TMsgDlgButtons button);
int ButtonResult(TMsgDlgButtons button);

// Builds the description; an empty button set counts as OK alone.
TMessageDialog MakeMessageDialog(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons);

}  // namespace mora::ui
