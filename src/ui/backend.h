// The interface between the widget model and a backend (win32: real windows;
// scripted: no windows, driven by a list of actions). A backend is chosen at
// run time (CreateBackend) and owned by the TApplication.
//
// Contract for backend writers:
// - ShowForm / BeginModal build the native window from the model as it is at
//   that moment: the form's Caption, ClientSize, Position, and every control
//   (kind, ClientBounds, Caption, Visible/IsShowing, Enabled, Checked, Text,
//   progress range and position, label appearance, Default button). Controls
//   on notebook pages are shown only while IsShowing() is true.
// - While a form is shown, the model reports each change through
//   FormChanged / ControlChanged; the backend updates the native control.
//   Changing a native control from there must not feed back into the model as
//   a user action (suppress the notifications, or skip equal values).
// - Graphic controls (TGraphicControl, e.g. paint boxes) are not native: the
//   backend gets the client area's graphic layer from TForm::PaintGraphics and
//   shows it under the native controls; ControlChanged(Picture/Bounds/Visible)
//   of a graphic control, and PageIndex changes, mean "repaint that layer".
// - User input enters the model only through the User* entry points
//   (TControl::UserClick, TEdit::UserSetText, TDirectoryList::UserSelect,
//   TDriveBox::UserSelect, TForm::UserClose/UserPressEnter/UserPressEscape);
//   they catch handler exceptions, so the backend never sees them, except
//   EScriptFailure, which must propagate out of the modal loop.
// - The modal loop itself is TForm::ShowModal (portable): BeginModal, then
//   WaitForEvents until the modal result is set and CloseQuery agrees, then
//   EndModal.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "ui/types.h"

namespace mora::ui {

class TApplication;

class TBackend {
 public:
  virtual ~TBackend() = default;

  virtual std::string Name() const = 0;  // "win32", "scripted"
  virtual TSize ScreenSize() const = 0;
  virtual void ApplicationTitleChanged(const std::string& title) = 0;

  // Non-modal window: create from the model and make visible / hide and
  // destroy the native window (the model stays). HideForm on a form that is
  // not shown does nothing.
  virtual void ShowForm(TForm& form) = 0;
  virtual void HideForm(TForm& form) = 0;
  virtual void BringToFront(TForm& form) = 0;

  // Modal window: like ShowForm, and the application's other windows stop
  // taking input until EndModal (which also hides the window).
  virtual void BeginModal(TForm& form) = 0;
  virtual void EndModal(TForm& form) = 0;
  // Waits until at least one event was dispatched (win32: one GetMessage /
  // DispatchMessage round; scripted: runs the next action, or throws
  // EScriptFailure when the script has none left).
  virtual void WaitForEvents(TForm& modalForm) = 0;
  // Dispatches pending events and returns without waiting.
  virtual void ProcessMessages() = 0;

  virtual void FormChanged(TForm& form, TFormProperty property) = 0;
  virtual void ControlChanged(TControl& control, TControlProperty property) = 0;
  virtual void FocusControl(TControl& control) = 0;

  // Shows the dialog modally, centred on the screen; returns the Result of the
  // button pressed, or dialog.CancelResult for the close box / Escape.
  virtual int ShowMessageDialog(const TMessageDialog& dialog) = 0;

  // The native window of a shown form (an HWND for win32), for system calls
  // that take an owner window; nullptr when the form has none (not shown, or
  // a backend without windows).
  virtual void* NativeWindow(const TForm& form) const;
};

// "scripted" (a TScriptedBackend with an empty script) or "win32" (Windows
// only). Anything else throws EConvertError.
std::unique_ptr<TBackend> CreateBackend(std::string_view name);

// The Windows backend (src/ui/win32/). On other systems it throws
// EPlatformError.
std::unique_ptr<TBackend> CreateWin32Backend();

}  // namespace mora::ui
