// The entry routine of the setup program.
#include "startup/start.h"

#include <exception>
#include <string>
#include <utility>

#include "archive/vrfiles.h"
#include "base/sjis.h"
#include "installer/engine.h"
#include "installer/medium.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shell.h"
#include "settings/fileutil.h"
#include "settings/installset.h"
#include "startup/formstart.h"
#include "startup/main.h"
#include "ui/dialogs.h"

namespace mora::startup {

using base::Sjis;

std::unique_ptr<platform::TNamedMutex> AcquireInstanceLock(const std::string& title) {
  if (platform::TNamedMutex::Exists(title)) return nullptr;
  return platform::TNamedMutex::Create(title);
}

std::string TempCopyName(int attempt) {
  if (attempt <= 0) return "~minstall.exe";
  return "~minstall" + std::to_string(attempt - 1) + ".exe";
}

namespace {

// Clears the read-only attribute of an existing file, keeping the others.
void ClearReadOnly(const std::string& path) {
  const std::uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes == platform::InvalidFileAttributes) return;
  if ((attributes & platform::faDirectory) != 0 || (attributes & platform::faReadOnly) == 0) return;
  platform::SetFileAttributes(path, attributes & ~platform::faReadOnly);
}

// The state of one run. Members are released in the order of the ending:
// windows live only inside the course functions, then the archive, the
// lock and the settings go (Release).
class TStartup {
 public:
  explicit TStartup(ui::TApplication& application) : FApplication(application) {}

  TStartResult Run(const TStartHooks& hooks) {
    std::exception_ptr failure;
    bool normal = false;
    try {
      normal = Course();
    } catch (...) {
      failure = std::current_exception();
    }
    Release();
    if (failure) {
      // Rethrows the scripted backend's script failures.
      FApplication.HandleException(failure);
      return TStartResult::Failed;
    }
    if (!normal) return TStartResult::Failed;
    if (FRunFile.empty()) return TStartResult::Finished;
    if (hooks.BeforeLaunch) hooks.BeforeLaunch(FRunFile, FRunParams);
    // Every window is gone by now: the start has no owner window.
    const int result = platform::ShellExecuteOpen(FRunFile, FRunParams, "");
    if (result <= 32) {
      FApplication.MessageDialog(Sjis("プログラムを実行できませんでした\r\n") +
                                     Sjis("エラーコード[") + std::to_string(result) + "]",
                                 ui::TMsgDlgType::mtWarning, ui::mbOK);
      return TStartResult::Failed;
    }
    return TStartResult::Finished;
  }

 private:
  // Probing, settings, the two checks and the lock. False after a failure
  // end that showed its message; true for a normal course and for the
  // silent ends.
  bool Course() {
    FStart.ProgramFile = platform::ModuleFileName();
    const auto arguments = platform::CommandLineArguments();
    FStart.FirstArgument = arguments.empty() ? std::string() : arguments.front();
    FProbe = installer::ProbeProgram(FStart.ProgramFile);

    installer::TMediumSettings loaded = installer::LoadMediumSettings(FStart, FProbe);
    if (loaded.SettingsMissing()) {
      Warn("インストール設定ファイルがありません");
      return false;
    }
    FSettings = std::move(loaded.Settings);
    FSourceDir = loaded.SourceDir;

    const std::string installPath = FSettings->ReadRegString("InstallPath", "");
    if (!installPath.empty() && IsGameRunning(GameLockName(installPath))) return true;

    FLock = AcquireInstanceLock(FSettings->Title);
    if (!FLock) return true;
    return SelectCourse();
  }

  bool SelectCourse() {
    settings::TMoraInstallSet& set = *FSettings;
    const bool hasArgument = !FStart.FirstArgument.empty();
    if (set.UninstallMode != 0) {
      if (!hasArgument) return MakeTempCopy();
      settings::DeleteFileOnReboot(FStart.ProgramFile);
      ShowMainWithWizard(nullptr);
      return true;
    }

    FArchive = installer::OpenRunArchive(FStart, FProbe, set, FSourceDir).Archive;
    bool ok = true;
    if (hasArgument || set.AddOnPackage != 0 || set.SetupKind == 2) {
      if (set.FilesInArchive == 0) settings::DeleteFileOnReboot(FStart.ProgramFile);
      ShowMainWithWizard(FArchive.get());
    } else {
      int result = ui::mrNone;
      int choice = 0;
      {
        TFormStart launcher(FApplication, set, FArchive.get());
        result = launcher.ShowModal();
        choice = launcher.LauncherChoice();
      }
      if (result != ui::mrOk) {
        // Exit or the close box: nothing is started.
      } else if (choice == 0) {
        // The installation folder as it is recorded at this moment.
        FRunFile =
            settings::AppendPathDelimiter(set.ReadRegString("InstallPath", "")) + set.ProgramFile;
        FRunParams.clear();
      } else if (set.FilesInArchive != 0) {
        ShowMainWithWizard(FArchive.get());
      } else {
        ok = MakeTempCopy();
      }
    }
    FArchive.reset();
    return ok;
  }

  // The main window in front, the wizard shown from it once.
  void ShowMainWithWizard(archive::TVrFileCollection* archive) {
    installer::TMoraInstallEngine engine(installer::ProgramGroupServices());
    TFormMain main(FApplication, *FSettings, archive);
    main.Show();
    main.BringToFront();
    main.ShowWizard(engine);
    main.Hide();
  }

  // Copies the setup program into the temporary folder, to be started with
  // its own folder as argument once everything is released. False after
  // the message when no name could be written.
  bool MakeTempCopy() {
    const std::string temp = settings::AppendPathDelimiter(platform::TempFolder());
    FRunParams =
        "\"" + settings::AppendPathDelimiter(archive::ExtractFilePath(FStart.ProgramFile)) + "\"";
    for (int attempt = 0; attempt < TempCopyAttempts; ++attempt) {
      FRunFile = temp + TempCopyName(attempt);
      ClearReadOnly(FRunFile);
      if (platform::CopyFile(FStart.ProgramFile, FRunFile, false)) return true;
    }
    FRunFile.clear();
    FRunParams.clear();
    Warn("ファイルをコピーできません");
    return false;
  }

  void Warn(const char* utf8Text) {
    FApplication.MessageDialog(Sjis(utf8Text), ui::TMsgDlgType::mtWarning, ui::mbOK);
  }

  // The ending's steps 2 to 4 (the windows are gone already).
  void Release() {
    FArchive.reset();
    FLock.reset();
    FSettings.reset();
  }

  ui::TApplication& FApplication;
  installer::TSetupStart FStart;
  installer::TProgramArchive FProbe;
  std::unique_ptr<settings::TMoraInstallSet> FSettings;
  std::string FSourceDir;
  std::unique_ptr<platform::TNamedMutex> FLock;
  std::unique_ptr<archive::TVrFileCollection> FArchive;
  std::string FRunFile;
  std::string FRunParams;
};

}  // namespace

TStartResult Start(ui::TApplication& application, const TStartHooks& hooks) {
  TStartup startup(application);
  return startup.Run(hooks);
}

}  // namespace mora::startup
