// The win32 backend: every form becomes a TFormWindow (kept in the form's
// BackendState), modal loops run on the Win32 message loop, message dialogs
// are our own windows.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "ui/backend.h"
#include "ui/win32/formwindow.h"
#include "ui/win32/msgdialog.h"
#include "ui/win32/window.h"

namespace mora::ui {

namespace win32 {
namespace {

class TWin32Backend : public TBackend {
 public:
  TWin32Backend() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
  }

  std::string Name() const override { return "win32"; }

  TSize ScreenSize() const override {
    return TSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }

  // The forms carry their own captions on the task bar; the title is kept
  // for the program's own use (nothing native shows it).
  void ApplicationTitleChanged(const std::string& title) override { FTitle = title; }

  void ShowForm(TForm& form) override {
    TFormWindow& window = WindowOf(form);
    window.Build();
    window.Place();
    window.ShowWindowNow();
  }

  void HideForm(TForm& form) override {
    if (TFormWindow* window = ExistingWindowOf(form)) window->Hide();
  }

  void BringToFront(TForm& form) override {
    TFormWindow* window = ExistingWindowOf(form);
    if (!window || !window->Handle()) return;
    BringWindowToTop(window->Handle());
    SetForegroundWindow(window->Handle());
  }

  void BeginModal(TForm& form) override {
    TFormWindow& window = WindowOf(form);
    window.Build();
    window.Place();
    window.BeginModal();
  }

  void EndModal(TForm& form) override {
    if (TFormWindow* window = ExistingWindowOf(form)) window->EndModal();
  }

  void WaitForEvents(TForm& modalForm) override {
    // WM_QUIT (posted again for outer loops) ends the modal loop like the
    // close box would.
    if (!PumpOneMessage()) modalForm.SetModalResult(mrCancel);
  }

  void ProcessMessages() override { PumpPendingMessages(); }

  void FormChanged(TForm& form, TFormProperty property) override {
    if (TFormWindow* window = ExistingWindowOf(form)) window->FormChanged(property);
  }

  void ControlChanged(TControl& control, TControlProperty property) override {
    if (TFormWindow* window = ExistingWindowOf(control.Form()))
      window->ControlChanged(control, property);
  }

  void FocusControl(TControl& control) override {
    if (TFormWindow* window = ExistingWindowOf(control.Form())) window->Focus(control);
  }

  int ShowMessageDialog(const TMessageDialog& dialog) override {
    return win32::ShowMessageDialog(dialog);
  }

  void* NativeWindow(const TForm& form) const override {
    const auto* window = dynamic_cast<const TFormWindow*>(form.BackendState.get());
    if (!window || !window->Handle() || !IsWindowVisible(window->Handle())) return nullptr;
    return window->Handle();
  }

 private:
  static TFormWindow* ExistingWindowOf(TForm& form) {
    return dynamic_cast<TFormWindow*>(form.BackendState.get());
  }

  static TFormWindow& WindowOf(TForm& form) {
    if (TFormWindow* window = ExistingWindowOf(form)) return *window;
    auto window = std::make_unique<TFormWindow>(form);
    TFormWindow& result = *window;
    form.BackendState = std::move(window);
    return result;
  }

  std::string FTitle;
};

}  // namespace
}  // namespace win32

std::unique_ptr<TBackend> CreateWin32Backend() { return std::make_unique<win32::TWin32Backend>(); }

}  // namespace mora::ui
