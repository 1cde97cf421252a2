// The gallery's program windows: a medium is made in the temporary folder
// (game.dat with a background picture, optional runtime installers, a save
// file), the settings are built in memory, and the real forms are shown with
// the win32 backend. The copy and delete steps are played by a display
// engine that moves the progress bar and then holds still until the driver
// creates the file named by MORA_GALLERY_CONTINUE (or the user stops it), so
// the running page can be photographed.
#include <cstdlib>
#include <string>

#include "archive/vrfiles.h"
#include "archive/vrwriter.h"
#include "base/sjis.h"
#include "gallery.h"
#include "samplepicture.h"
#include "installer/engine.h"
#include "installer/insttype.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "settings/installset.h"
#include "startup/formstart.h"
#include "startup/main.h"
#include "ui/backend.h"

namespace mora::gallery {

using base::Sjis;

namespace {

constexpr std::int32_t PictureSeed = 4711;
constexpr std::int64_t MB = 1024 * 1024;

void WriteFile(const std::string& path, const std::string& bytes) {
  platform::WriteFileAtomic(path, bytes);
}

// The medium: a fresh folder below the temporary folder.
std::string MakeMedium(const std::string& mode, bool runtimeInstallers) {
  std::string folder = platform::TempFolder();
  if (!base::EndsWithPathDelimiter(folder)) folder += '\\';
  folder += "mora-gallery\\" + mode + "\\";
  platform::ForceDirectories(folder);
  archive::TVrArchiveWriter writer;
  writer.AddBytes("back.vnt", SamplePictureBytes(PictureSeed));
  writer.AddBytes("readme.txt", Sjis("見本のゲームです。\r\n"));
  writer.WriteSeparate(folder + "game.dat");
  std::string directX = folder + "directx\\";
  std::string winMedia = folder + "winmedia\\";
  if (runtimeInstallers) {
    platform::ForceDirectories(directX);
    platform::ForceDirectories(winMedia);
    WriteFile(directX + "dxsetup.exe", "MZ");
    WriteFile(winMedia + "mp71.exe", "MZ");
  } else {
    platform::DeleteFile(directX + "dxsetup.exe");
    platform::DeleteFile(winMedia + "mp71.exe");
  }
  WriteFile(folder + "save.dat", "save");
  return folder;
}

void FillSettings(settings::TMoraInstallSet& settings, bool twoDisks) {
  settings.Title = Sjis("モーラ見本ゲーム");
  settings.FooterText = Sjis("モーラ見本ゲーム　Copyright 2026 Mora");
  settings.DefaultDir = "<ProgramFiles>\\Mora\\" + Sjis("見本ゲーム");
  settings.BackgroundPicture = "back.vnt";
  settings.BackgroundLayout = 0;
  settings.PictureSeed = PictureSeed;
  settings.ShowRuntimeButtons = 1;
  settings.MediaName = "CD-ROM";
  settings.ProgramFile = "game.exe";
  settings.ProgramSize = 12 * MB;
  settings.DataSize = 300 * MB;
  settings.SoundSize = 80 * MB;
  settings.MovieSize = 150 * MB + MB / 2;
  settings.SetDiskCount(twoDisks ? 2 : 1);
  for (int disk = 0; disk < settings.DiskCount(); ++disk) {
    settings.DiskProgramSizes()[disk] = disk == 0 ? settings.ProgramSize : 0;
    settings.DiskDataSizes()[disk] = settings.DataSize / settings.DiskCount();
    settings.DiskSoundSizes()[disk] = disk == 0 ? settings.SoundSize : 0;
    settings.DiskMovieSizes()[disk] = disk == 0 ? 0 : settings.MovieSize;
  }
}

// Holds a running step still (pumping messages) until the driver's file
// appears; true when the user asked to stop meanwhile.
bool HoldUntilContinued(installer::TStepObserver& observer) {
  const char* flag = std::getenv("MORA_GALLERY_CONTINUE");
  for (int waited = 0; waited < 120000; waited += 50) {
    if (observer.ProcessMessages()) return true;
    if (flag == nullptr || platform::FileExists(flag)) return false;
    observer.Wait(50);
  }
  return false;
}

// Plays the copy and delete steps on screen only; nothing is copied.
class TDisplayEngine : public installer::TInstallEngine {
 public:
  installer::TStepOutcome Install(settings::TMoraInstallSet&, archive::TVrFileCollection*,
                                  const installer::TInstallRequest& request,
                                  installer::TStepObserver& observer) override {
    Log("install " + base::Cp932ToUtf8Lossy(request.DestDir) +
        " data=" + std::to_string(request.Data) + " sound=" + std::to_string(request.Sound) +
        " movie=" + std::to_string(request.Movie) + " all=" + std::to_string(request.AllDisks));
    observer.HideBackButton();
    observer.HideNextButton();
    observer.SetCaption(Sjis("ファイルコピー"));
    observer.SetProgressMax(100);
    for (int position = 0; position <= 45; position += 5) {
      observer.SetStatus(request.DestDir + "data\\" + Sjis("画像") + std::to_string(position) +
                         ".dat");
      observer.SetProgress(position);
      if (observer.ProcessMessages()) return installer::TStepOutcome::Stopped;
      observer.Wait(20);
    }
    if (HoldUntilContinued(observer)) return installer::TStepOutcome::Stopped;
    observer.SetProgress(100);
    observer.SetExitText(Sjis("インストールが完了しました"));
    return installer::TStepOutcome::Finished;
  }

  installer::TStepOutcome Uninstall(settings::TMoraInstallSet& settings,
                                    const installer::TUninstallRequest& request,
                                    installer::TStepObserver& observer) override {
    Log("uninstall " + base::Cp932ToUtf8Lossy(request.InstallFolder) +
        " save=" + std::to_string(request.DeleteSave));
    observer.SetHeading(settings.Title + Sjis(" を削除しています"));
    observer.HideNextButton();
    observer.SetCaption(Sjis("削除"));
    observer.SetStatus(Sjis("ファイルを削除しています..."));
    if (HoldUntilContinued(observer)) return installer::TStepOutcome::Stopped;
    observer.SetExitText(Sjis("アンインストールが完了しました"));
    return installer::TStepOutcome::Finished;
  }
};

int RunLauncher(ui::TApplication& application, bool runtime) {
  std::string medium = MakeMedium(runtime ? "launcher-runtime" : "launcher", runtime);
  settings::TMoraInstallSet settings;
  FillSettings(settings, false);
  archive::TVrFileCollection archive;
  archive.Open(medium + "game.dat");
  startup::TLauncherEnvironment environment;
  environment.SetupFolder = medium;
  // Logs the program and the caption of the owner window the shell would get.
  environment.StartProgram = [](const std::string& file, ui::TForm& owner) {
    Log("start " + base::Cp932ToUtf8Lossy(file));
    Log("owner " + OwnerCaption(owner.Application().Backend().NativeWindow(owner)));
  };
  startup::TFormStart form(application, settings, &archive, environment);
  int result = form.ShowModal();
  Log("result launcher " + std::to_string(result) + " " + std::to_string(form.LauncherChoice()));
  return 0;
}

int RunMain(ui::TApplication& application, const std::string& mode) {
  bool uninstall = mode == "wizard-uninstall";
  std::string medium = MakeMedium(mode, false);
  settings::TMoraInstallSet settings;
  FillSettings(settings, mode == "wizard");
  settings.UninstallMode = uninstall ? 1 : 0;
  archive::TVrFileCollection archive;
  if (!uninstall) archive.Open(medium + "game.dat");
  startup::TFormMain form(application, settings, uninstall ? nullptr : &archive);
  form.Show();
  form.BringToFront();
  if (mode == "main") {
    // The backdrop alone, until it is closed.
    while (form.Showing()) application.Backend().WaitForEvents(form);
    Log("result main");
    return 0;
  }
  TDisplayEngine engine;
  installer::TWizardEnvironment environment = installer::TWizardEnvironment::FromProcess();
  environment.FirstArgument = medium;
  form.ShowWizard(engine, environment);
  Log("result " + mode);
  return 0;
}

}  // namespace

int RunProgramWindows(ui::TApplication& application, const std::vector<std::string>& args) {
  const std::string& mode = args[0];
  if (mode == "launcher" || mode == "launcher-enter" || mode == "launcher-runtime") {
    return RunLauncher(application, mode == "launcher-runtime");
  }
  if (mode == "main" || mode == "wizard" || mode == "wizard-uninstall") {
    return RunMain(application, mode);
  }
  return -1;
}

}  // namespace mora::gallery
