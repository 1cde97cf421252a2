// The launcher menu.
#include "startup/formstart.h"

#include <exception>

#include "archive/vrfiles.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shell.h"
#include "settings/fileutil.h"
#include "settings/installset.h"
#include "startup/background.h"
#include "ui/backend.h"

namespace mora::startup {

using base::Sjis;

const char* const DirectXInstaller = "directx\\dxsetup.exe";
const char* const WinMediaInstaller = "winmedia\\mp71.exe";

TFormStart::TFormStart(ui::TApplication& application, settings::TMoraInstallSet& settings,
                       archive::TVrFileCollection* archive, TLauncherEnvironment environment)
    : ui::TForm(application, "FormStart"),
      FSettings(settings),
      FArchive(archive),
      FEnvironment(std::move(environment)) {
  if (FEnvironment.SetupFolder.empty()) {
    FEnvironment.SetupFolder = archive::ExtractFilePath(platform::ModuleFileName());
  }
  FEnvironment.SetupFolder = settings::AppendPathDelimiter(FEnvironment.SetupFolder);
  if (!FEnvironment.StartProgram) {
    FEnvironment.StartProgram = [](const std::string& file, ui::TForm& owner) {
      platform::ShellExecuteOpenFor(owner.Application().Backend().NativeWindow(owner), file, "",
                                    "");
    };
  }

  SetCaption("FormStart");
  SetClientSize(265, 230);
  SetPosition(ui::TFormPosition::ScreenCenter);
  PaintBox = &Add<ui::TPaintBox>("PaintBox", {0, 0, 265, 230});
  auto button = [&](const char* name, int top, const char* caption, int tag, int order) {
    ui::TButton& result = Add<ui::TButton>(name, {28, top, 213, 29});
    result.SetCaption(Sjis(caption));
    result.SetTag(tag);
    result.SetTabOrder(order);
    return &result;
  };
  btnStart = button("btnStart", 12, "ゲームスタート", 0, 0);
  btnInstall = button("btnInstall", 64, "インストール", 1, 1);
  btnDirectX = button("btnDirectX", 100, "DirectXをインストール", 2, 2);
  btnWinMedia = button("btnWinMedia", 136, "WindowsMediaPlayerをインストール", 3, 3);
  btnExit = button("btnExit", 188, "終了", 0, 4);

  btnStart->OnClick = [this](ui::TControl& sender) { btnStartClick(sender); };
  btnInstall->OnClick = [this](ui::TControl& sender) { btnStartClick(sender); };
  btnDirectX->OnClick = [this](ui::TControl&) {
    FEnvironment.StartProgram(FEnvironment.SetupFolder + "directx\\" + "dxsetup.exe", *this);
  };
  btnWinMedia->OnClick = [this](ui::TControl&) {
    FEnvironment.StartProgram(FEnvironment.SetupFolder + "winmedia\\" + "mp71.exe", *this);
  };
  btnExit->OnClick = [this](ui::TControl&) { btnExitClick(); };

  try {
    FormCreate();
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
}

TFormStart::~TFormStart() = default;

void TFormStart::FormCreate() {
  Application().SetTitle(FSettings.Title);
  SetCaption(FSettings.Title);
  try {
    DrawBackgroundPicture(*PaintBox, FSettings, FArchive);
  } catch (...) {
    // The picture is decoration: report it, and still offer every button
    // that applies (a start button for a game that is not installed, or
    // runtime buttons without installers, would only fail later).
    Application().HandleException(std::current_exception());
  }
  ArrangeButtons();
  btnStart->SetEnabled(FSettings.IsInstalled());
}

void TFormStart::ArrangeButtons() {
  // Distance between the designed tops of btnInstall and btnDirectX.
  const int d = 100 - 64;
  const bool offered = FSettings.ShowRuntimeButtons != 0;
  auto shrink = [&] {
    SetClientHeight(ClientHeight() - d);
    PaintBox->SetHeight(ClientHeight());
  };
  if (!offered || !platform::FileExists(FEnvironment.SetupFolder + DirectXInstaller)) {
    btnDirectX->SetVisible(false);
    btnWinMedia->SetTop(btnWinMedia->Top() - d);
    btnExit->SetTop(btnExit->Top() - d);
    shrink();
  }
  if (!offered || !platform::FileExists(FEnvironment.SetupFolder + WinMediaInstaller)) {
    btnWinMedia->SetVisible(false);
    btnExit->SetTop(btnExit->Top() - d);
    shrink();
  }
}

void TFormStart::btnStartClick(ui::TControl& sender) {
  FLauncherChoice = sender.Tag();
  SetModalResult(ui::mrOk);
}

void TFormStart::btnExitClick() { SetModalResult(ui::mrCancel); }

}  // namespace mora::startup
