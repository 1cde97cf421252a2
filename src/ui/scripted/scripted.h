// The scripted backend: no windows. Controls keep their state in the model;
// a queue of actions plays the user: each wait of a modal loop runs the next
// action, each message dialog takes the next action as its answer, and
// actions marked "pump" run when a long step pumps messages. Dialogs are
// recorded (kind, caption, text, buttons, answer). Used in-process by tests
// and, from an answer file, by the native setup program for unattended runs.
// Every mismatch (no action left, an unanswered dialog, a missing, hidden or
// disabled control) throws EScriptFailure with a readable UTF-8 message.
//
// Answer-file syntax (UTF-8, one action per line, "#" starts a comment line):
//   click <control>             user click (button, check box, radio button)
//   check <control> on|off      click the check box when its state differs
//   select <radio>              check a radio button
//   select <folderlist> <path>  choose a folder in a folder list
//   set <edit> <text>           type a new text (the rest of the line)
//   drive <letter>              choose a drive in the form's drive box
//   drive <drivebox> <letter>
//   answer <button>             answer a message dialog: its caption
//                               ("はい(&Y)"), ok/yes/no/cancel/abort, or the
//                               result number (1, 2, 3, 6, 7)
//   close                       the close box of the active form
//   sleep <ms>                  wait that long before the next action
//   wait-file <path>            wait until the file exists (at most a
//                               minute), to keep step with another program
//   pump <action>               run <action> at the next message pump of a
//                               long step instead of at a modal wait
// Controls are found by name, else by caption (a showing control first), in
// the active (innermost modal) form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ui/backend.h"

namespace mora::ui {

// A script that does not fit what the program does. what() is UTF-8.
class EScriptFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TScriptActionKind {
  Click,
  Check,
  Select,
  Set,
  Drive,
  Answer,
  Close,
  Call,
  Sleep,
  WaitFile
};

struct TScriptAction {
  TScriptActionKind Kind = TScriptActionKind::Click;
  std::string Target;  // control name or caption (932); Answer: button; Drive: box or empty
  std::string Value;   // Check: "on"/"off"; Select: path or empty; Set: text; Drive: letter
  bool AtPump = false;
  std::function<void(TForm& activeForm)> Callback;  // Call
  std::string Source;                               // how it reads, for messages (UTF-8)
  int Line = 0;  // its line in the script text it came from (0: none)
};

struct TDialogRecord {
  TMessageDialog Dialog;
  int Result = mrNone;
};

class TScriptedBackend : public TBackend {
 public:
  TScriptedBackend();
  ~TScriptedBackend() override;

  // Queueing actions (texts are 932 bytes). Each returns *this for chaining.
  TScriptedBackend& Click(const std::string& control);
  TScriptedBackend& Check(const std::string& control, bool checked);
  TScriptedBackend& Select(const std::string& control, const std::string& value = {});
  TScriptedBackend& Set(const std::string& edit, const std::string& text);
  TScriptedBackend& Drive(char letter, const std::string& driveBox = {});
  TScriptedBackend& Answer(int result);
  TScriptedBackend& Answer(const std::string& buttonCaption);
  TScriptedBackend& Close();
  TScriptedBackend& Sleep(std::uint32_t milliseconds);
  // path: a file path as the program takes it (drive path, or a host path
  // starting with "/").
  TScriptedBackend& WaitFile(const std::string& path);
  // How long wait-file waits before the script fails.
  static constexpr std::uint32_t WaitFileTimeoutMs = 60000;
  // Runs test code with the active form at this point of the script.
  TScriptedBackend& Call(std::function<void(TForm& activeForm)> callback);
  // Marks the action queued last to run at a message pump.
  TScriptedBackend& AtPump();

  // Parses one line / a whole text / an answer file (UTF-8). Syntax errors
  // throw EScriptFailure naming the line. Actions from a text or file carry
  // "<sourceName>:<line>: " in their messages, so a failure at run time
  // points at the line that queued the action. Answer files over
  // MaxAnswerFileSize are refused.
  static constexpr std::size_t MaxAnswerFileSize = 1024 * 1024;
  void AddLine(std::string_view utf8Line);
  // Lines before firstLine are passed over (their numbers still count), so
  // a script can be continued where another process stopped reading it.
  void LoadScript(std::string_view utf8Text, const std::string& sourceName = "script",
                  int firstLine = 1);
  void LoadAnswerFile(const std::string& path, int firstLine = 1);

  std::size_t PendingActions() const { return FActions.size(); }
  // The script line of the next pending action (0 when there is none or it
  // was not queued from a script text).
  int NextActionLine() const { return FActions.empty() ? 0 : FActions.front().Line; }
  // How the next pending action reads ("" when there is none).
  std::string NextActionSource() const { return FActions.empty() ? "" : FActions.front().Source; }
  const std::vector<TDialogRecord>& Dialogs() const { return FDialogs; }
  // Executed actions, shown windows and message dialogs, in order, as
  // readable UTF-8 lines (a dialog's line break shows as "\r\n").
  const std::vector<std::string>& Log() const { return FLog; }
  // Called with each line as it is added to Log() (a front end's transcript).
  std::function<void(const std::string& utf8Line)> OnLog;
  // Innermost modal form, else the last shown form, else nullptr.
  TForm* ActiveForm() const;
  const std::vector<TForm*>& ShownForms() const { return FShown; }
  const std::string& ApplicationTitle() const { return FTitle; }
  void SetScreenSize(TSize size) { FScreen = size; }

  // TBackend
  std::string Name() const override { return "scripted"; }
  TSize ScreenSize() const override { return FScreen; }
  void ApplicationTitleChanged(const std::string& title) override;
  void ShowForm(TForm& form) override;
  void HideForm(TForm& form) override;
  void BringToFront(TForm& form) override;
  void BeginModal(TForm& form) override;
  void EndModal(TForm& form) override;
  void WaitForEvents(TForm& modalForm) override;
  void ProcessMessages() override;
  void FormChanged(TForm& form, TFormProperty property) override;
  void ControlChanged(TControl& control, TControlProperty property) override;
  void FocusControl(TControl& control) override;
  int ShowMessageDialog(const TMessageDialog& dialog) override;

 private:
  TScriptedBackend& Queue(TScriptAction action);
  void AddLog(std::string line);
  void Run(const TScriptAction& action);
  TControl& FindTarget(TForm& form, const TScriptAction& action) const;

  std::deque<TScriptAction> FActions;
  std::vector<TDialogRecord> FDialogs;
  std::vector<std::string> FLog;
  std::vector<TForm*> FShown;
  std::vector<TForm*> FModal;
  std::string FTitle;
  TSize FScreen{1024, 768};
};

}  // namespace mora::ui
