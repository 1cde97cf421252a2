// The main window.
#include "startup/main.h"

#include <cstdlib>
#include <exception>

#include "base/sjis.h"
#include "settings/installset.h"
#include "startup/background.h"
#include "ui/types.h"

namespace mora::startup {

TFormMain::TFormMain(ui::TApplication& application, settings::TMoraInstallSet& settings,
                     archive::TVrFileCollection* archive)
    : ui::TForm(application, "FormMain"), FSettings(settings), FArchive(archive) {
  SetCaption("FormMain");
  SetClientSize(600, 400);
  SetPosition(ui::TFormPosition::ScreenCenter);
  // Bottom to top: gradient, picture, footer.
  GradBox = &Add<TGradBox>("GradBox", {0, 0, 600, 400});
  GradBox->SetStartColor(ui::clBlue);
  GradBox->SetEndColor(ui::clNavy);
  GradBox->SetGradStep(128);
  GradBox->SetDirection(TGradDirection::gdVertical);
  PaintBox = &Add<ui::TPaintBox>("PaintBox", {0, 0, 600, 400});
  LabelRight = &Add<ui::TLabel>("LabelRight", {536, 380, 60, 12});
  LabelRight->SetCaption("LabelRight");
  LabelRight->SetAlignment(ui::TAlignment::RightJustify);
  LabelRight->SetAutoSize(false);
  LabelRight->SetTransparent(false);
  LabelRight->SetColor(ui::clBlack);
  LabelRight->SetFontColor(ui::clWhite);
  try {
    FormCreate();
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
}

TFormMain::~TFormMain() = default;

void TFormMain::FormCreate() {
  Application().SetTitle(FSettings.Title);
  SetClientSize(600, 400);
  // The gradient and the picture fill the client area.
  GradBox->SetBounds({0, 0, ClientWidth(), ClientHeight()});
  PaintBox->SetBounds({0, 0, ClientWidth(), ClientHeight()});
  if (FSettings.UninstallMode != 0) {
    SetCaption(FSettings.Title + base::Sjis("の削除"));
  } else {
    SetCaption(FSettings.GetSetupCaption());
  }
  if (FArchive != nullptr) DrawBackgroundPicture(*PaintBox, FSettings, FArchive);
  LabelRight->SetCaption(FSettings.FooterText + " ");
  const int height = std::abs(ui::FormFontHeight);
  LabelRight->SetBounds({0, ClientHeight() - height - 8, ClientWidth(), height});
}

void TFormMain::ShowWizard(installer::TInstallEngine& engine,
                           installer::TWizardEnvironment environment) {
  installer::TFormType wizard(Application(), this, FSettings, FArchive, engine,
                              std::move(environment));
  wizard.ShowModal();
}

}  // namespace mora::startup
