// A form: a dialog-style top-level window (fixed border, the program's fixed
// font) with its controls, modal loop and close query. The form owns its
// controls (created with Add/AddTo, destroyed with the form) and asks the
// application's backend to show it; the model keeps every state, so a form
// works the same with every backend.
// ShowModal propagates script failures of the scripted backend; exceptions of
// event handlers go to the application's error box.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ui/bitmap.h"
#include "ui/controls.h"
#include "ui/types.h"

namespace mora::ui {

class TApplication;

// What changed, as told to TBackend::FormChanged.
enum class TFormProperty { Caption, ClientSize };

class TForm {
 public:
  TForm(TApplication& application, std::string name, TForm* owner = nullptr);
  virtual ~TForm();  // hides the window when it is shown
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  TApplication& Application() const { return FApplication; }
  TForm* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }

  const std::string& Caption() const { return FCaption; }  // 932 bytes
  void SetCaption(const std::string& caption);
  TSize ClientSize() const { return FClientSize; }
  int ClientWidth() const { return FClientSize.Width; }
  int ClientHeight() const { return FClientSize.Height; }
  void SetClientSize(int width, int height);
  void SetClientWidth(int width) { SetClientSize(width, FClientSize.Height); }
  void SetClientHeight(int height) { SetClientSize(FClientSize.Width, height); }
  TFormPosition Position() const { return FPosition; }
  void SetPosition(TFormPosition position) { FPosition = position; }

  // Creates a control of type T (constructor T(TForm&, std::string)) on the
  // client area or on a notebook page. Names are unique within the form.
  template <class T>
  T& Add(std::string name, const TRect& bounds) {
    static_assert(std::is_base_of_v<TControl, T>);
    auto control = std::make_unique<T>(*this, std::move(name));
    T& result = *control;
    Adopt(std::move(control), bounds, nullptr, -1);
    return result;
  }
  // The same with the bounds the control gives itself on creation.
  template <class T>
  T& Add(std::string name) {
    static_assert(std::is_base_of_v<TControl, T>);
    auto control = std::make_unique<T>(*this, std::move(name));
    T& result = *control;
    const TRect bounds = result.Bounds();
    Adopt(std::move(control), bounds, nullptr, -1);
    return result;
  }
  template <class T>
  T& AddTo(TNotebook& notebook, int page, std::string name, const TRect& bounds) {
    static_assert(std::is_base_of_v<TControl, T>);
    auto control = std::make_unique<T>(*this, std::move(name));
    T& result = *control;
    Adopt(std::move(control), bounds, &notebook, page);
    return result;
  }

  // All controls in creation order (bottom to top).
  std::vector<TControl*> Controls() const;
  TControl* FindControl(std::string_view name) const;  // nullptr when none
  // The control of that name and type; ERangeError when there is none.
  template <class T>
  T& Control(std::string_view name) const {
    T* control = dynamic_cast<T*>(FindControl(name));
    if (control == nullptr) ThrowNoControl(name);
    return *control;
  }
  TControl* FocusedControl() const { return FFocused; }
  TButton* DefaultButton() const;  // the first button with Default(), or nullptr
  TButton* CancelButton() const;   // the first button with Cancel(), or nullptr

  // Modal result: 0 while the form runs; the modal loop ends when it becomes
  // non-zero and CloseQuery() agrees (otherwise it is reset to 0).
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int result) { FModalResult = result; }

  // Shows the form modally and runs the loop: wait for events (backend), and
  // after each, when ModalResult() != 0, ask CloseQuery(). Returns the modal
  // result. Exceptions from CloseQuery go to the error box (the form stays).
  int ShowModal();
  bool IsModal() const { return FModal; }

  // Non-modal showing (a backdrop window such as the main window).
  void Show();
  void Hide();
  bool Showing() const { return FShowing; }
  void BringToFront();

  // Asked before a modal loop ends. Default: OnCloseQuery when set, else true.
  virtual bool CloseQuery();
  std::function<bool(TForm& sender)> OnCloseQuery;

  // The user pressed the close box. Modal: the modal result becomes mrCancel
  // and the loop asks CloseQuery(). Non-modal: hides when CloseQuery() agrees.
  void UserClose();
  // Keyboard shortcuts a backend may route here: Enter clicks the default
  // button, Escape the cancel button (when they exist and can be used).
  void UserPressEnter();
  void UserPressEscape();

  // Composes the graphic layer of the client area: target gets the client
  // size, is filled with face, and every showing TGraphicControl paints
  // itself in creation order.
  void PaintGraphics(TBitmap& target, TColor face = clBtnFace) const;

  // Opaque per-form state of a backend (native window); destroyed with the
  // form after the window was hidden.
  std::unique_ptr<TBackendState> BackendState;

  // Used by the controls.
  void ControlChanged(TControl& control, TControlProperty property);
  void SetFocusedControl(TControl* control);

 private:
  void Adopt(std::unique_ptr<TControl> control, const TRect& bounds, TNotebook* notebook, int page);
  [[noreturn]] static void ThrowNoControl(std::string_view name);

  TApplication& FApplication;
  TForm* FOwner;
  std::string FName;
  std::string FCaption;
  TSize FClientSize{300, 200};
  TFormPosition FPosition = TFormPosition::ScreenCenter;
  std::vector<std::unique_ptr<TControl>> FControls;
  TControl* FFocused = nullptr;
  int FModalResult = mrNone;
  bool FModal = false;
  bool FShowing = false;
};

}  // namespace mora::ui
