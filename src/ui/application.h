// The application object: owns the backend chosen at run time, keeps the
// application title, shows message dialogs and the error box for exceptions
// that escape an event handler, and pumps messages for long steps.
// Script failures of the scripted backend (EScriptFailure) are never turned
// into error boxes: HandleException rethrows them so a test or an unattended
// run stops with their message.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "ui/dialogs.h"
#include "ui/types.h"

namespace mora::ui {

class TBackend;

class TApplication {
 public:
  explicit TApplication(std::unique_ptr<TBackend> backend);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  TBackend& Backend() const { return *FBackend; }

  // The application title (the task bar's caption), 932 bytes.
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& title);

  // Shows a message dialog centred on the screen; returns the result of the
  // button pressed (mrOk, mrYes, ...; see dialogs.h).
  int MessageDialog(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons);

  // The error box: an error dialog with OK showing the exception's message
  // (mora::base::Exception: Message(); others: what()).
  void ShowException(const std::exception& error);
  // Shows a caught exception in the error box. Rethrows EScriptFailure and
  // anything that is not a std::exception.
  void HandleException(std::exception_ptr error);

  // Dispatches pending events without waiting (long steps call it).
  void ProcessMessages();

  TSize ScreenSize() const;

 private:
  std::unique_ptr<TBackend> FBackend;
  std::string FTitle;
};

}  // namespace mora::ui
