// The interface between the wizard and its two long steps: the copy step of
// an installation and the delete step of an uninstallation. The steps take
// plain values and report through TStepObserver, which the wizard implements
// with its controls (and a terminal front end with a progress bar and
// prompts). Failures the steps raise (EStreamError, EDamagedData, ...) unwind
// to the caller; expected ends are returned as TStepOutcome.
#pragma once

#include <cstdint>
#include <string>

#include "ui/dialogs.h"

namespace mora::settings {
class TMoraInstallSet;
}
namespace mora::archive {
class TVrFileCollection;
}

namespace mora::installer {

// How a step ended when it did not raise.
enum class TStepOutcome {
  Finished,  // ran to its end: the wizard goes on to its exit page
  Stopped,   // stopped on request or after a failed check: the wizard closes with result 3
  Closed,    // stopped after a reported failure: the wizard closes with result 1
};

// What the wizard hands to the copy step.
struct TInstallRequest {
  std::string SourceFolder;  // the medium's folder, with a trailing "\"
  std::string DestDir;       // the destination, with a trailing "\"
  bool AllDisks = false;     // every disk of the set, or only the current one
  bool Data = false;         // the chosen parts (the program part is always chosen)
  bool Sound = false;
  bool Movie = false;
  std::int64_t RequiredBytes = 0;  // bytes of the chosen parts (progress range)
};

// What the wizard hands to the delete step.
struct TUninstallRequest {
  std::string InstallFolder;  // with a trailing "\"
  std::string FirstArgument;  // the command-line argument as given (its tree is removed)
  bool DeleteSave = false;    // remove "save.dat" too
};

// How a step reports. All texts are code page 932.
class TStepObserver {
 public:
  virtual ~TStepObserver() = default;

  // Window caption; the page's heading (copy: "ファイルをコピーしています",
  // delete: "<Title> を削除しています"); the running line under it.
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetHeading(const std::string& text) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // The text of the exit page.
  virtual void SetExitText(const std::string& text) = 0;
  // Progress bar (copy step): range 0..max and position; hiding takes the
  // running line with it.
  virtual void SetProgressMax(std::int32_t max) = 0;
  virtual void SetProgress(std::int32_t position) = 0;
  virtual void HideProgress() = 0;
  // Navigation buttons of the wizard (the abort button always stays).
  virtual void HideBackButton() = 0;
  virtual void HideNextButton() = 0;
  // Point the folder chooser at another folder (the delete step moves it off
  // the installation folder before removing it).
  virtual void ChooseFolder(const std::string& folder) = 0;

  // Pumps pending window messages; true when a stop was requested (the
  // wizard's modal result is 3). StopRequested() asks without pumping.
  virtual bool ProcessMessages() = 0;
  virtual bool StopRequested() const = 0;

  // A message dialog with the toolkit's kinds and buttons; the result is the
  // button pressed (ui::mrOk, ui::mrYes, ...).
  virtual int MessageDialog(const std::string& text, ui::TMsgDlgType kind,
                            ui::TMsgDlgButtons buttons) = 0;
  // Blocking waits of the steps (tests and terminals may shorten them).
  virtual void Wait(std::uint32_t milliseconds) = 0;
  virtual void BringToFront() = 0;
};

// The two steps. A later implementation does the work; the wizard depends on
// this interface only.
class TInstallEngine {
 public:
  virtual ~TInstallEngine() = default;
  // settings is read and changed (DataInstalled, UninstallMode, InstalledFiles,
  // the next disk's settings); mediumArchive may be closed and reopened on
  // the next disk.
  virtual TStepOutcome Install(settings::TMoraInstallSet& settings,
                               archive::TVrFileCollection* mediumArchive,
                               const TInstallRequest& request, TStepObserver& observer) = 0;
  virtual TStepOutcome Uninstall(settings::TMoraInstallSet& settings,
                                 const TUninstallRequest& request, TStepObserver& observer) = 0;
};

}  // namespace mora::installer
