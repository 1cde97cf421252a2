// A wizard under test: the scripted backend, settings of a small title, a
// recording engine whose steps a test scripts, and controlled free space.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/sjis.h"
#include "installer/engine.h"
#include "installer/insttype.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "settings/installset.h"
#include "ui/application.h"
#include "ui/scripted/scripted.h"

namespace mora::installer::testing {

using base::Sjis;

constexpr std::int64_t MiB = 1048576;

// Records what the wizard hands to the steps; each step runs a test's code
// against the observer.
class TRecordingEngine : public TInstallEngine {
 public:
  std::vector<TInstallRequest> Installs;
  std::vector<TUninstallRequest> Uninstalls;
  std::function<TStepOutcome(TStepObserver&)> OnInstall;
  std::function<TStepOutcome(TStepObserver&)> OnUninstall;

  TStepOutcome Install(settings::TMoraInstallSet&, archive::TVrFileCollection*,
                       const TInstallRequest& request, TStepObserver& observer) override {
    Installs.push_back(request);
    return OnInstall ? OnInstall(observer) : TStepOutcome::Finished;
  }
  TStepOutcome Uninstall(settings::TMoraInstallSet&, const TUninstallRequest& request,
                         TStepObserver& observer) override {
    Uninstalls.push_back(request);
    return OnUninstall ? OnUninstall(observer) : TStepOutcome::Finished;
  }
};

class WizardTest : public ::testing::Test {
 protected:
  WizardTest() : Script(new ui::TScriptedBackend), App(std::unique_ptr<ui::TBackend>(Script)) {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Settings.Title = Sjis("テスト");
    Settings.RegistryKey = "MoraWizardTests\\" + test;
    Settings.MediaName = "CD-ROM";
    Settings.DefaultDir = "<ProgramFiles>\\Maker\\" + test;
    Settings.ProgramSize = 10 * MiB;
    Settings.DataSize = 5 * MiB / 2;
    Settings.SoundSize = 1 * MiB;
    Settings.MovieSize = MiB / 4;
    SingleDisk();
    Medium = platform::WindowsFolder().substr(0, 2) + "\\Media\\" + test;
    platform::ForceDirectories(Medium);
    platform::ForceDirectories(platform::ProgramFilesFolder());
  }

  void SingleDisk() {
    Settings.SetDiskCount(1);
    Settings.DiskIndex = 0;
    Settings.DiskProgramSizes()[0] = Settings.ProgramSize;
    Settings.DiskDataSizes()[0] = Settings.DataSize;
    Settings.DiskSoundSizes()[0] = Settings.SoundSize;
    Settings.DiskMovieSizes()[0] = Settings.MovieSize;
  }

  // Disk 1: program 10 MiB, data 1 MiB; disk 2: data 1.5 MiB, sound 1 MiB,
  // movie 0.25 MiB.
  void TwoDisks(int diskIndex) {
    Settings.SetDiskCount(0);  // drops the single disk's entries
    Settings.SetDiskCount(2);
    Settings.DiskIndex = diskIndex;
    Settings.DiskProgramSizes()[0] = 10 * MiB;
    Settings.DiskDataSizes()[0] = MiB;
    Settings.DiskDataSizes()[1] = 3 * MiB / 2;
    Settings.DiskSoundSizes()[1] = MiB;
    Settings.DiskMovieSizes()[1] = MiB / 4;
  }

  TWizardEnvironment Environment() {
    TWizardEnvironment environment;
    environment.FirstArgument = Medium;
    environment.DiskFreeBytes = [this](const std::string& root) {
      Roots.push_back(root);
      return FreeBytes;
    };
    environment.WindowsVersion = [this] { return Version; };
    environment.Sleep = [](std::uint32_t) {};
    return environment;
  }

  std::unique_ptr<TFormType> Make() {
    return std::make_unique<TFormType>(App, nullptr, Settings, nullptr, Engine, Environment());
  }

  // Texts of the message dialogs shown so far.
  std::vector<std::string> DialogTexts() const {
    std::vector<std::string> texts;
    for (const ui::TDialogRecord& record : Script->Dialogs()) texts.push_back(record.Dialog.Text);
    return texts;
  }

  static std::string SizeText(const std::string& megabytes) {
    return Sjis("最低 ") + megabytes + Sjis(" MBのディスクの空き容量が必要です");
  }
  static std::string NeedText(const std::string& megabytes) {
    return Sjis("インストールには最低 ") + megabytes + Sjis(" MBのディスクの空き容量が必要です");
  }

  ui::TScriptedBackend* Script;
  ui::TApplication App;
  settings::TMoraInstallSet Settings;
  TRecordingEngine Engine;
  std::string Medium;
  std::int64_t FreeBytes = std::int64_t{1} << 40;
  std::uint32_t Version = 5;
  std::vector<std::string> Roots;
};

}  // namespace mora::installer::testing
