// TFormStart: the launcher menu shown over the title's background picture:
// start the installed game, install, start the DirectX or Windows Media
// Player installer beside the setup program, or exit. Modal result 1 with
// LauncherChoice (0 start, 1 install) or 2 (exit, close box). Failures of its
// preparation are shown in the error box; the menu still works.
#pragma once

#include <functional>
#include <string>

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

struct TLauncherEnvironment {
  // The running setup program's folder with a trailing "\" (empty: the
  // folder of the running executable).
  std::string SetupFolder;
  // Starts a program through the shell, verb "open", no parameters, no
  // working folder, owned by the launcher's window (empty:
  // platform::ShellExecuteOpenFor with the form's native window); the result
  // is not looked at.
  std::function<void(const std::string& file, ui::TForm& owner)> StartProgram;
};

class TFormStart : public ui::TForm {
 public:
  TFormStart(ui::TApplication& application, settings::TMoraInstallSet& settings,
             archive::TVrFileCollection* archive, TLauncherEnvironment environment = {});
  ~TFormStart() override;

  // The Tag of the button that closed the menu with OK.
  int LauncherChoice() const { return FLauncherChoice; }
  const std::string& SetupFolder() const { return FEnvironment.SetupFolder; }

  ui::TPaintBox* PaintBox;
  ui::TButton* btnStart;
  ui::TButton* btnInstall;
  ui::TButton* btnDirectX;
  ui::TButton* btnWinMedia;
  ui::TButton* btnExit;

 private:
  void FormCreate();
  void ArrangeButtons();
  void btnStartClick(ui::TControl& sender);
  void btnExitClick();

  settings::TMoraInstallSet& FSettings;
  archive::TVrFileCollection* FArchive;
  TLauncherEnvironment FEnvironment;
  int FLauncherChoice = 0;
};

// Relative paths of the runtime installers below the setup program's folder.
extern const char* const DirectXInstaller;   // "directx\dxsetup.exe"
extern const char* const WinMediaInstaller;  // "winmedia\mp71.exe"

}  // namespace mora::startup
