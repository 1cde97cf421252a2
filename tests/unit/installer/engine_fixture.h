// The installation engine under test: media written at test time by the
// project's own writers (archive writer, settings file), a recording
// observer that answers dialogs and stops on cue, and a recording stand-in
// for the shell's program group services.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/vrfiles.h"
#include "archive/vrwriter.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "installer/engine.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "settings/installset.h"

namespace mora::installer::testing {

using base::Sjis;

// MS-DOS date-time: date in the high word (years since 1980, month, day),
// time in the low word (hours, minutes, seconds / 2).
constexpr std::int32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
  const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const std::uint32_t time =
      static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  const std::size_t delimiter = base::LastPathDelimiter(path);
  if (delimiter != std::string::npos) platform::ForceDirectories(path.substr(0, delimiter));
  platform::WriteFileAtomic(path, bytes);
}

inline std::string ReadFile(const std::string& path) { return platform::ReadFileBytes(path); }

// Every file below a folder, relative to it, sorted.
inline std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> result;
  std::function<void(const std::string&, const std::string&)> walk =
      [&](const std::string& base, const std::string& prefix) {
        for (const platform::TFindData& found : platform::FindFiles(base)) {
          if ((found.Attributes & platform::faDirectory) != 0) {
            walk(base + found.Name + "\\", prefix + found.Name + "\\");
          } else {
            result.push_back(prefix + found.Name);
          }
        }
      };
  walk(folder, "");
  std::sort(result.begin(), result.end());
  return result;
}

// Removes a folder tree (read-only files included).
inline void RemoveTree(const std::string& folder) {
  for (const platform::TFindData& found : platform::FindFiles(folder)) {
    const std::string path = folder + found.Name;
    if ((found.Attributes & platform::faDirectory) != 0) {
      RemoveTree(path + "\\");
    } else {
      platform::SetFileAttributes(path, platform::faNormal);
      platform::DeleteFile(path);
    }
  }
  platform::RemoveDirectory(folder);
}

struct TDialogSeen {
  std::string Text;
  ui::TMsgDlgType Kind;
  ui::TMsgDlgButtons Buttons;
};

// Records what a step shows; answers dialogs from a queue and requests a
// stop once StopWhen holds at a pump.
class TRecordingObserver : public TStepObserver {
 public:
  std::string Caption, Heading, Status, ExitText;
  std::vector<std::string> Statuses;  // every status line, in order
  std::vector<std::string> Headings;
  std::int32_t ProgressMax = -1;
  std::int32_t Progress = -1;
  bool ProgressHidden = false, BackHidden = false, NextHidden = false;
  std::vector<std::string> Folders;
  std::vector<TDialogSeen> Dialogs;
  std::deque<int> Answers;
  std::vector<std::uint32_t> Waits;
  int Pumps = 0;
  int FrontRequests = 0;
  std::vector<std::vector<std::string>> Documents;  // file, parameters, folder
  bool Stop = false;
  std::function<bool(const TRecordingObserver&)> StopWhen;
  // Runs at each wait (a test changes disks there).
  std::function<void(std::uint32_t)> OnWait;

  std::vector<std::string> DialogTexts() const {
    std::vector<std::string> texts;
    for (const TDialogSeen& dialog : Dialogs) texts.push_back(dialog.Text);
    return texts;
  }

  void SetCaption(const std::string& text) override { Caption = text; }
  void SetHeading(const std::string& text) override {
    Heading = text;
    Headings.push_back(text);
  }
  void SetStatus(const std::string& text) override {
    Status = text;
    Statuses.push_back(text);
  }
  void SetExitText(const std::string& text) override { ExitText = text; }
  void SetProgressMax(std::int32_t max) override { ProgressMax = max; }
  void SetProgress(std::int32_t position) override { Progress = position; }
  void HideProgress() override { ProgressHidden = true; }
  void HideBackButton() override { BackHidden = true; }
  void HideNextButton() override { NextHidden = true; }
  void ChooseFolder(const std::string& folder) override { Folders.push_back(folder); }
  bool ProcessMessages() override {
    ++Pumps;
    if (StopWhen && StopWhen(*this)) Stop = true;
    return Stop;
  }
  bool StopRequested() const override { return Stop; }
  int MessageDialog(const std::string& text, ui::TMsgDlgType kind,
                    ui::TMsgDlgButtons buttons) override {
    Dialogs.push_back({text, kind, buttons});
    if (Answers.empty())
      throw std::logic_error("unanswered dialog: " + base::Cp932ToUtf8Lossy(text));
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void Wait(std::uint32_t milliseconds) override {
    Waits.push_back(milliseconds);
    if (OnWait) OnWait(milliseconds);
  }
  void BringToFront() override { ++FrontRequests; }
  int OpenDocument(const std::string& file, const std::string& parameters,
                   const std::string& folder) override {
    Documents.push_back({file, parameters, folder});
    return 42;
  }
};

// Stands in for the shell's program group services.
struct TRecordingShell {
  std::vector<std::string> Calls;  // "create <dest>", "delete <title>"
  bool DeleteAnswer = true;
  bool FailCreate = false;

  TShellServices Services() {
    TShellServices services;
    services.CreateShortcuts = [this](const settings::TMoraInstallSet& settings,
                                      const std::string& destDir) {
      Calls.push_back("create " + settings.Title + " " + destDir);
      if (FailCreate) throw base::Exception("Error in GetSpecialFolderLocation");
    };
    services.DeleteProgramGroup = [this](const std::string& title) {
      Calls.push_back("delete " + title);
      return DeleteAnswer;
    };
    return services;
  }
};

// A loose file on a medium.
struct TLooseFile {
  std::string Name;  // relative to the medium
  std::string Content;
};

// Puts a disk into a medium folder (ending in "\"), replacing what was
// there: loose files, the archive (when given) and install.dat.
inline void WriteDiskTo(const std::string& folder, const settings::TMoraInstallSet& disk,
                        const std::vector<TLooseFile>& loose,
                        const archive::TVrArchiveWriter* archive) {
  RemoveTree(folder);
  platform::ForceDirectories(folder);
  for (const TLooseFile& file : loose) WriteFile(folder + file.Name, file.Content);
  if (archive != nullptr) archive->WriteSeparate(folder + "game.dat");
  disk.SaveToFile(folder + "install.dat");
}

// A test's own folders on drive C: and one title's settings.
class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Root = "C:\\EngineTests\\" + test + "\\";
    RemoveTree(Root);
    Medium = Root + "medium\\";
    Dest = Root + Sjis("ゲーム") + "\\";
    platform::ForceDirectories(Medium);
    Settings.Title = Sjis("テスト") + test;
    Settings.RegistryKey = "MoraEngineTests\\" + test;
    Settings.MediaName = "CD-ROM";
    Settings.ProgramFile = "game.exe";
    Settings.SetDiskCount(1);
  }
  ~EngineTest() override {
    Medium.clear();
    RemoveTree(Root);
    Settings.DeleteRegKey();
  }

  void WriteDisk(const settings::TMoraInstallSet& disk, const std::vector<TLooseFile>& loose,
                 const archive::TVrArchiveWriter* archive) {
    WriteDiskTo(Medium, disk, loose, archive);
  }

  TInstallRequest Request() const {
    TInstallRequest request;
    request.SourceFolder = Medium;
    request.DestDir = Dest;
    request.Data = true;
    request.Sound = true;
    request.Movie = true;
    request.RequiredBytes = 12345;
    return request;
  }

  // Runs the copy step on the medium as it stands.
  TStepOutcome Install(const TInstallRequest& request) {
    MediumArchive.Open(Medium + "game.dat");
    struct TClose {
      archive::TVrFileCollection& Archive;
      ~TClose() { Archive.Open(""); }
    } close{MediumArchive};
    return Engine.Install(Settings, &MediumArchive, request, Observer);
  }

  // Runs the delete step over the installation in Dest, as the installed
  // install.dat records it.
  TStepOutcome Uninstall(bool deleteSave) {
    settings::TMoraInstallSet installed = Record();
    TUninstallRequest request;
    request.InstallFolder = Dest;
    request.FirstArgument = Dest.substr(0, Dest.size() - 1);
    request.DeleteSave = deleteSave;
    return Engine.Uninstall(installed, request, Observer);
  }

  std::string InstallPath() const {
    const auto value = platform::RegQueryValue(platform::TRootKey::CurrentUser,
                                               "Software\\" + Settings.RegistryKey, "InstallPath");
    return value ? value->Data : std::string("(none)");
  }

  settings::TMoraInstallSet Record() const {
    settings::TMoraInstallSet record;
    record.LoadFromFile(Dest + "install.dat");
    return record;
  }

  std::string Root;
  std::string Medium;
  std::string Dest;
  settings::TMoraInstallSet Settings;
  archive::TVrFileCollection MediumArchive;
  TRecordingObserver Observer;
  TRecordingShell Shell;
  TMoraInstallEngine Engine{Shell.Services()};
};

}  // namespace mora::installer::testing
