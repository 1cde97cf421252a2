// The scripted backend: a queue of user actions instead of windows.
#include "ui/scripted/scripted.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "ui/application.h"

namespace mora::ui {

namespace {

std::string Show(const std::string& text932) { return base::Cp932ToUtf8Lossy(text932); }

std::string Trim(std::string_view text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) {
    --end;
  }
  return std::string(text.substr(start, end - start));
}

// Splits off the first word; the rest is trimmed.
std::pair<std::string, std::string> SplitWord(std::string_view text) {
  const std::string trimmed = Trim(text);
  const std::size_t space = trimmed.find_first_of(" \t");
  if (space == std::string::npos) return {trimmed, {}};
  return {trimmed.substr(0, space), Trim(std::string_view(trimmed).substr(space + 1))};
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string DescribeDialog(const TMessageDialog& dialog) {
  std::string text = Show(dialog.Caption) + " \"" + Show(dialog.Text) + "\" [";
  for (std::size_t i = 0; i < dialog.Buttons.size(); ++i) {
    if (i > 0) text += ", ";
    text += Show(dialog.Buttons[i].Caption);
  }
  return text + "]";
}

// A log line shows line breaks and other control characters as escapes.
std::string Escaped(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '\r') {
      result += "\\r";
    } else if (c == '\n') {
      result += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      result += "\\x" + std::string(1, "0123456789abcdef"[(c >> 4) & 0xF]) +
                std::string(1, "0123456789abcdef"[c & 0xF]);
    } else {
      result += c;
    }
  }
  return result;
}

std::string FormLabel(const TForm& form) {
  return form.Name() + " (\"" + Show(form.Caption()) + "\")";
}

}  // namespace

TScriptedBackend::TScriptedBackend() = default;
TScriptedBackend::~TScriptedBackend() = default;

// ---- queueing ---------------------------------------------------------------

TScriptedBackend& TScriptedBackend::Queue(TScriptAction action) {
  FActions.push_back(std::move(action));
  return *this;
}

TScriptedBackend& TScriptedBackend::Click(const std::string& control) {
  return Queue({TScriptActionKind::Click, control, {}, false, {}, "click " + Show(control)});
}

TScriptedBackend& TScriptedBackend::Check(const std::string& control, bool checked) {
  return Queue({TScriptActionKind::Check,
                control,
                checked ? "on" : "off",
                false,
                {},
                "check " + Show(control) + (checked ? " on" : " off")});
}

TScriptedBackend& TScriptedBackend::Select(const std::string& control, const std::string& value) {
  std::string source = "select ";
  source.append(Show(control));
  if (!value.empty()) source.append(" ").append(Show(value));
  return Queue({TScriptActionKind::Select, control, value, false, {}, std::move(source)});
}

TScriptedBackend& TScriptedBackend::Set(const std::string& edit, const std::string& text) {
  return Queue(
      {TScriptActionKind::Set, edit, text, false, {}, "set " + Show(edit) + " " + Show(text)});
}

TScriptedBackend& TScriptedBackend::Drive(char letter, const std::string& driveBox) {
  const std::string value(1, letter);
  std::string source = "drive ";
  if (!driveBox.empty()) source.append(Show(driveBox)).append(" ");
  source.append(value);
  return Queue({TScriptActionKind::Drive, driveBox, value, false, {}, std::move(source)});
}

TScriptedBackend& TScriptedBackend::Answer(int result) {
  return Queue({TScriptActionKind::Answer,
                std::to_string(result),
                {},
                false,
                {},
                "answer " + std::to_string(result)});
}

TScriptedBackend& TScriptedBackend::Answer(const std::string& buttonCaption) {
  return Queue(
      {TScriptActionKind::Answer, buttonCaption, {}, false, {}, "answer " + Show(buttonCaption)});
}

TScriptedBackend& TScriptedBackend::Close() {
  return Queue({TScriptActionKind::Close, {}, {}, false, {}, "close"});
}

TScriptedBackend& TScriptedBackend::Sleep(std::uint32_t milliseconds) {
  return Queue({TScriptActionKind::Sleep,
                {},
                std::to_string(milliseconds),
                false,
                {},
                "sleep " + std::to_string(milliseconds)});
}

TScriptedBackend& TScriptedBackend::WaitFile(const std::string& path) {
  return Queue({TScriptActionKind::WaitFile, {}, path, false, {}, "wait-file " + Show(path)});
}

TScriptedBackend& TScriptedBackend::Call(std::function<void(TForm& activeForm)> callback) {
  return Queue({TScriptActionKind::Call, {}, {}, false, std::move(callback), "call"});
}

TScriptedBackend& TScriptedBackend::AtPump() {
  if (FActions.empty()) throw EScriptFailure("pump: there is no action to mark");
  FActions.back().AtPump = true;
  FActions.back().Source = "pump " + FActions.back().Source;
  return *this;
}

void TScriptedBackend::AddLine(std::string_view utf8Line) {
  const std::string line = Trim(utf8Line);
  if (line.empty() || line[0] == '#') return;
  auto fail = [&](const std::string& why) {
    throw EScriptFailure("script line \"" + line + "\": " + why);
  };
  std::string rest932;
  auto [verb, rest] = SplitWord(line);
  try {
    rest932 = base::Utf8ToCp932(rest);
  } catch (const base::Exception&) {
    fail("text is not representable in code page 932");
  }
  verb = Lower(verb);
  if (verb == "pump") {
    if (rest.empty()) fail("pump needs an action");
    const std::size_t before = FActions.size();
    AddLine(rest);
    if (FActions.size() == before) fail("pump needs an action");
    AtPump();
  } else if (verb == "click") {
    if (rest.empty()) fail("click needs a control");
    Click(rest932);
  } else if (verb == "check") {
    const std::size_t space = rest932.find_last_of(" \t");
    if (space == std::string::npos) fail("check needs a control and on or off");
    const std::string state = Lower(rest932.substr(space + 1));
    if (state != "on" && state != "off") fail("check takes on or off");
    Check(Trim(rest932.substr(0, space)), state == "on");
  } else if (verb == "select") {
    auto [target, value] = SplitWord(rest932);
    if (target.empty()) fail("select needs a control");
    Select(target, value);
  } else if (verb == "set") {
    auto [target, value] = SplitWord(rest932);
    if (target.empty()) fail("set needs an edit field");
    Set(target, value);
  } else if (verb == "drive") {
    auto [first, second] = SplitWord(rest932);
    const std::string letter = second.empty() ? first : second;
    if (letter.size() != 1 && !(letter.size() == 2 && letter[1] == ':'))
      fail("drive needs a letter");
    if (!std::isalpha(static_cast<unsigned char>(letter[0]))) fail("drive needs a letter");
    Drive(letter[0], second.empty() ? std::string() : first);
  } else if (verb == "answer") {
    if (rest.empty()) fail("answer needs a button");
    Answer(rest932);
  } else if (verb == "close") {
    Close();
  } else if (verb == "sleep") {
    if (rest.empty() || rest.size() > 7 ||
        !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      fail("sleep takes a number of milliseconds (at most 7 digits)");
    }
    Sleep(static_cast<std::uint32_t>(std::stoul(rest)));
  } else if (verb == "wait-file") {
    if (rest.empty()) fail("wait-file needs a path");
    WaitFile(rest932);
  } else {
    fail("unknown action \"" + verb + "\"");
  }
}

void TScriptedBackend::LoadScript(std::string_view utf8Text, const std::string& sourceName,
                                  int firstLine) {
  std::size_t start = 0;
  if (utf8Text.substr(0, 3) == "\xEF\xBB\xBF") start = 3;  // byte-order mark
  for (int lineNumber = 1; start <= utf8Text.size(); ++lineNumber) {
    std::size_t end = utf8Text.find('\n', start);
    if (end == std::string_view::npos) end = utf8Text.size();
    if (lineNumber >= firstLine) {
      const std::string origin = sourceName + ":" + std::to_string(lineNumber) + ": ";
      const std::size_t before = FActions.size();
      try {
        AddLine(utf8Text.substr(start, end - start));
      } catch (const EScriptFailure& failure) {
        throw EScriptFailure(origin + failure.what());
      }
      if (FActions.size() > before) {
        FActions.back().Source.insert(0, origin);
        FActions.back().Line = lineNumber;
      }
    }
    start = end + 1;
  }
}

void TScriptedBackend::LoadAnswerFile(const std::string& path, int firstLine) {
  const std::string shownPath = Show(path);
  // Checked before reading, so a wrong path (a disk image, say) is not
  // read into memory whole.
  const auto size = platform::GetFileSize(path);
  if (size && *size > static_cast<std::int64_t>(MaxAnswerFileSize)) {
    throw EScriptFailure(shownPath + ": " + std::to_string(*size) +
                         " bytes is too large for an answer file (at most " +
                         std::to_string(MaxAnswerFileSize) + ")");
  }
  LoadScript(platform::ReadFileBytes(path), shownPath, firstLine);
}

// ---- running ----------------------------------------------------------------

TForm* TScriptedBackend::ActiveForm() const {
  if (!FModal.empty()) return FModal.back();
  if (!FShown.empty()) return FShown.back();
  return nullptr;
}

TControl& TScriptedBackend::FindTarget(TForm& form, const TScriptAction& action) const {
  if (TControl* byName = form.FindControl(action.Target)) return *byName;
  // By caption: a control the user can see wins over a hidden one of the
  // same caption (another wizard page may carry the same text).
  TControl* hidden = nullptr;
  for (TControl* control : form.Controls()) {
    if (control->Caption().empty() || control->Caption() != action.Target) continue;
    if (control->IsShowing()) return *control;
    if (hidden == nullptr) hidden = control;
  }
  if (hidden != nullptr) return *hidden;
  throw EScriptFailure(action.Source + ": form " + FormLabel(form) + " has no control \"" +
                       Show(action.Target) + "\"");
}

void TScriptedBackend::Run(const TScriptAction& action) {
  AddLog(action.Source);
  if (action.Kind == TScriptActionKind::Answer) {
    throw EScriptFailure(action.Source + ": no message dialog is open");
  }
  if (action.Kind == TScriptActionKind::Sleep) {
    platform::SleepMs(static_cast<std::uint32_t>(std::stoul(action.Value)));
    return;
  }
  if (action.Kind == TScriptActionKind::WaitFile) {
    const std::string path = !action.Value.empty() && action.Value[0] == '/'
                                 ? platform::PathFromNative(action.Value)
                                 : action.Value;
    constexpr std::uint32_t step = 20;
    for (std::uint32_t waited = 0; !platform::FileExists(path); waited += step) {
      if (waited >= WaitFileTimeoutMs) {
        throw EScriptFailure(action.Source + ": the file did not appear within " +
                             std::to_string(WaitFileTimeoutMs / 1000) + " seconds");
      }
      platform::SleepMs(step);
    }
    return;
  }
  TForm* form = ActiveForm();
  if (form == nullptr) throw EScriptFailure(action.Source + ": no form is shown");
  auto requireUsable = [&](TControl& control) {
    if (!control.IsShowing()) {
      throw EScriptFailure(action.Source + ": " + control.Name() + " is not visible in " +
                           FormLabel(*form));
    }
    if (!control.Enabled()) {
      throw EScriptFailure(action.Source + ": " + control.Name() + " is disabled in " +
                           FormLabel(*form));
    }
  };
  switch (action.Kind) {
    case TScriptActionKind::Click: {
      TControl& control = FindTarget(*form, action);
      requireUsable(control);
      control.UserClick();
      break;
    }
    case TScriptActionKind::Check: {
      auto* box = dynamic_cast<TCheckBox*>(&FindTarget(*form, action));
      if (box == nullptr) throw EScriptFailure(action.Source + ": not a check box");
      const bool wanted = action.Value == "on";
      if (box->Checked() != wanted) {
        requireUsable(*box);
        box->UserClick();
      }
      break;
    }
    case TScriptActionKind::Select: {
      TControl& control = FindTarget(*form, action);
      requireUsable(control);
      if (auto* radio = dynamic_cast<TRadioButton*>(&control)) {
        radio->UserClick();
      } else if (auto* list = dynamic_cast<TDirectoryList*>(&control)) {
        if (action.Value.empty()) throw EScriptFailure(action.Source + ": select needs a folder");
        list->UserSelect(action.Value);
      } else if (auto* drive = dynamic_cast<TDriveBox*>(&control)) {
        if (action.Value.empty()) throw EScriptFailure(action.Source + ": select needs a drive");
        drive->UserSelect(action.Value[0]);
      } else {
        throw EScriptFailure(action.Source + ": " + control.Name() +
                             " is not a radio button, folder list or drive box");
      }
      break;
    }
    case TScriptActionKind::Set: {
      auto* edit = dynamic_cast<TEdit*>(&FindTarget(*form, action));
      if (edit == nullptr) throw EScriptFailure(action.Source + ": not an edit field");
      requireUsable(*edit);
      edit->UserSetText(action.Value);
      break;
    }
    case TScriptActionKind::Drive: {
      TDriveBox* box = nullptr;
      if (!action.Target.empty()) {
        box = dynamic_cast<TDriveBox*>(&FindTarget(*form, action));
      } else {
        for (TControl* control : form->Controls()) {
          if ((box = dynamic_cast<TDriveBox*>(control)) != nullptr) break;
        }
      }
      if (box == nullptr)
        throw EScriptFailure(action.Source + ": no drive box in " + FormLabel(*form));
      requireUsable(*box);
      box->UserSelect(action.Value[0]);
      break;
    }
    case TScriptActionKind::Close: form->UserClose(); break;
    case TScriptActionKind::Call:
      if (action.Callback) action.Callback(*form);
      break;
    case TScriptActionKind::Answer:
    case TScriptActionKind::Sleep:
    case TScriptActionKind::WaitFile: break;
  }
}

void TScriptedBackend::WaitForEvents(TForm& modalForm) {
  if (FActions.empty()) {
    throw EScriptFailure("the script ended while " + FormLabel(modalForm) + " waits for the user");
  }
  TScriptAction action = std::move(FActions.front());
  FActions.pop_front();
  Run(action);
}

void TScriptedBackend::ProcessMessages() {
  while (!FActions.empty() && FActions.front().AtPump) {
    TScriptAction action = std::move(FActions.front());
    FActions.pop_front();
    Run(action);
  }
}

void TScriptedBackend::AddLog(std::string line) {
  FLog.push_back(std::move(line));
  if (OnLog) OnLog(FLog.back());
}

int TScriptedBackend::ShowMessageDialog(const TMessageDialog& dialog) {
  AddLog("dialog " + Escaped(DescribeDialog(dialog)));
  if (FActions.empty() || FActions.front().Kind != TScriptActionKind::Answer) {
    throw EScriptFailure("message dialog " + DescribeDialog(dialog) + " was not answered" +
                         (FActions.empty() ? std::string(" (the script ended)")
                                           : "; next action: " + FActions.front().Source));
  }
  const TScriptAction action = std::move(FActions.front());
  FActions.pop_front();
  AddLog(action.Source);
  const std::string answer = action.Target;
  const std::string lower = Lower(answer);
  int wanted = mrNone;
  if (lower == "ok")
    wanted = mrOk;
  else if (lower == "cancel")
    wanted = mrCancel;
  else if (lower == "abort")
    wanted = mrAbort;
  else if (lower == "yes")
    wanted = mrYes;
  else if (lower == "no")
    wanted = mrNo;
  else if (!answer.empty() &&
           std::all_of(answer.begin(), answer.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           answer.size() < 4) {
    wanted = std::stoi(answer);
  }
  for (const TMessageDialogButton& button : dialog.Buttons) {
    if (button.Result == wanted || button.Caption == answer) {
      FDialogs.push_back({dialog, button.Result});
      return button.Result;
    }
  }
  throw EScriptFailure(action.Source + ": message dialog " + DescribeDialog(dialog) +
                       " has no such button");
}

// ---- windows ----------------------------------------------------------------

void TScriptedBackend::ApplicationTitleChanged(const std::string& title) { FTitle = title; }

void TScriptedBackend::ShowForm(TForm& form) {
  if (std::find(FShown.begin(), FShown.end(), &form) == FShown.end()) FShown.push_back(&form);
  AddLog("show " + FormLabel(form));
}

void TScriptedBackend::HideForm(TForm& form) {
  FShown.erase(std::remove(FShown.begin(), FShown.end(), &form), FShown.end());
  FModal.erase(std::remove(FModal.begin(), FModal.end(), &form), FModal.end());
}

void TScriptedBackend::BringToFront(TForm& form) {
  auto it = std::find(FShown.begin(), FShown.end(), &form);
  if (it == FShown.end()) return;
  FShown.erase(it);
  FShown.push_back(&form);
}

void TScriptedBackend::BeginModal(TForm& form) {
  ShowForm(form);
  FModal.push_back(&form);
}

void TScriptedBackend::EndModal(TForm& form) {
  AddLog("close " + FormLabel(form) + " with " + std::to_string(form.ModalResult()));
  HideForm(form);
}

void TScriptedBackend::FormChanged(TForm&, TFormProperty) {}
void TScriptedBackend::ControlChanged(TControl&, TControlProperty) {}
void TScriptedBackend::FocusControl(TControl&) {}

}  // namespace mora::ui
