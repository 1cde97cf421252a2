// TFormMain: the 600 x 400 backdrop window behind the wizard: a blue
// gradient, the title's background picture over it and a footer strip. It
// shows the wizard (TFormType) once. A failure while preparing it is shown in
// the error box and the rest of the preparation is skipped.
#pragma once

#include "installer/engine.h"
#include "installer/insttype.h"
#include "startup/gradbox.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace mora::settings {
class TMoraInstallSet;
}
namespace mora::archive {
class TVrFileCollection;
}

namespace mora::startup {

class TFormMain : public ui::TForm {
 public:
  // archive: the open archive reader, or nullptr (uninstall mode).
  TFormMain(ui::TApplication& application, settings::TMoraInstallSet& settings,
            archive::TVrFileCollection* archive);
  ~TFormMain() override;

  // Creates the wizard with this window as owner, shows it modally and
  // releases it; its result is not looked at.
  void ShowWizard(
      installer::TInstallEngine& engine,
      installer::TWizardEnvironment environment = installer::TWizardEnvironment::FromProcess());

  TGradBox* GradBox;
  ui::TPaintBox* PaintBox;
  ui::TLabel* LabelRight;

 private:
  void FormCreate();

  settings::TMoraInstallSet& FSettings;
  archive::TVrFileCollection* FArchive;
};

}  // namespace mora::startup
