// Forms: control ownership, the portable modal loop and the graphic layer.
#include "ui/form.h"

#include <exception>

#include "base/errors.h"
#include "ui/application.h"
#include "ui/backend.h"

namespace mora::ui {

TForm::TForm(TApplication& application, std::string name, TForm* owner)
    : FApplication(application), FOwner(owner), FName(std::move(name)) {}

TForm::~TForm() {
  if (FShowing) {
    try {
      FApplication.Backend().HideForm(*this);
    } catch (...) {
      // A window that cannot be destroyed cleanly goes with the process.
    }
    FShowing = false;
  }
  // Controls refer to each other (drive box and folder list); destroy them
  // top-down so each unlinks from a living partner.
  while (!FControls.empty()) FControls.pop_back();
}

void TForm::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  if (FShowing) FApplication.Backend().FormChanged(*this, TFormProperty::Caption);
}

void TForm::SetClientSize(int width, int height) {
  const TSize size{width, height};
  if (size == FClientSize) return;
  FClientSize = size;
  if (FShowing) FApplication.Backend().FormChanged(*this, TFormProperty::ClientSize);
}

void TForm::Adopt(std::unique_ptr<TControl> control, const TRect& bounds, TNotebook* notebook,
                  int page) {
  if (FindControl(control->Name()) != nullptr) {
    throw base::ERangeError("control " + control->Name() + " exists twice in form " + FName);
  }
  control->SetBounds(bounds);
  if (notebook != nullptr) control->SetParent(notebook, page);
  FControls.push_back(std::move(control));
  if (FShowing) FApplication.Backend().ControlChanged(*FControls.back(), TControlProperty::Visible);
}

std::vector<TControl*> TForm::Controls() const {
  std::vector<TControl*> result;
  result.reserve(FControls.size());
  for (const auto& control : FControls) result.push_back(control.get());
  return result;
}

TControl* TForm::FindControl(std::string_view name) const {
  for (const auto& control : FControls) {
    if (control->Name() == name) return control.get();
  }
  return nullptr;
}

void TForm::ThrowNoControl(std::string_view name) {
  throw base::ERangeError("no control " + std::string(name) + " of the requested kind");
}

TButton* TForm::DefaultButton() const {
  for (const auto& control : FControls) {
    auto* button = dynamic_cast<TButton*>(control.get());
    if (button != nullptr && button->Default()) return button;
  }
  return nullptr;
}

TButton* TForm::CancelButton() const {
  for (const auto& control : FControls) {
    auto* button = dynamic_cast<TButton*>(control.get());
    if (button != nullptr && button->Cancel()) return button;
  }
  return nullptr;
}

int TForm::ShowModal() {
  TBackend& backend = FApplication.Backend();
  FModalResult = mrNone;
  backend.BeginModal(*this);
  FModal = true;
  FShowing = true;
  try {
    for (;;) {
      backend.WaitForEvents(*this);
      if (FModalResult == mrNone) continue;
      bool canClose = false;
      try {
        canClose = CloseQuery();
      } catch (...) {
        FApplication.HandleException(std::current_exception());
      }
      if (canClose) break;
      FModalResult = mrNone;
    }
  } catch (...) {
    FModal = false;
    FShowing = false;
    backend.EndModal(*this);
    throw;
  }
  FModal = false;
  FShowing = false;
  backend.EndModal(*this);
  return FModalResult;
}

void TForm::Show() {
  if (FShowing) return;
  FShowing = true;
  FApplication.Backend().ShowForm(*this);
}

void TForm::Hide() {
  if (!FShowing || FModal) return;
  FShowing = false;
  FApplication.Backend().HideForm(*this);
}

void TForm::BringToFront() {
  if (FShowing) FApplication.Backend().BringToFront(*this);
}

bool TForm::CloseQuery() { return OnCloseQuery ? OnCloseQuery(*this) : true; }

void TForm::UserClose() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  try {
    if (CloseQuery()) Hide();
  } catch (...) {
    FApplication.HandleException(std::current_exception());
  }
}

void TForm::UserPressEnter() {
  TButton* button = DefaultButton();
  if (button != nullptr && button->CanUserAct()) button->UserClick();
}

void TForm::UserPressEscape() {
  TButton* button = CancelButton();
  if (button != nullptr && button->CanUserAct()) button->UserClick();
}

void TForm::PaintGraphics(TBitmap& target, TColor face) const {
  target.SetSize(FClientSize.Width, FClientSize.Height);
  target.FillRect({0, 0, FClientSize.Width, FClientSize.Height}, face);
  for (const auto& control : FControls) {
    const auto* graphic = dynamic_cast<const TGraphicControl*>(control.get());
    if (graphic != nullptr && graphic->IsShowing()) graphic->Paint(target);
  }
}

void TForm::ControlChanged(TControl& control, TControlProperty property) {
  if (FShowing) FApplication.Backend().ControlChanged(control, property);
}

void TForm::SetFocusedControl(TControl* control) {
  FFocused = control;
  if (FShowing && control != nullptr) FApplication.Backend().FocusControl(*control);
}

}  // namespace mora::ui
