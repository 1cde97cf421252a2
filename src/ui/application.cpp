// The application object.
#include "ui/application.h"

#include "base/errors.h"
#include "ui/backend.h"
#include "ui/scripted/scripted.h"

namespace mora::ui {

TApplication::TApplication(std::unique_ptr<TBackend> backend) : FBackend(std::move(backend)) {
  if (!FBackend) throw base::ERangeError("application without a user-interface backend");
}

TApplication::~TApplication() = default;

void TApplication::SetTitle(const std::string& title) {
  FTitle = title;
  FBackend->ApplicationTitleChanged(title);
}

int TApplication::MessageDialog(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
  return FBackend->ShowMessageDialog(MakeMessageDialog(text, kind, buttons));
}

void TApplication::ShowException(const std::exception& error) {
  const auto* own = dynamic_cast<const base::Exception*>(&error);
  MessageDialog(own != nullptr ? own->Message() : std::string(error.what()), TMsgDlgType::mtError,
                mbOK);
}

void TApplication::HandleException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EScriptFailure&) {
    throw;
  } catch (const std::exception& caught) {
    ShowException(caught);
  }
}

void TApplication::ProcessMessages() { FBackend->ProcessMessages(); }

TSize TApplication::ScreenSize() const { return FBackend->ScreenSize(); }

}  // namespace mora::ui
