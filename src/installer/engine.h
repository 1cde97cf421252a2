// The interface between the wizard and its two long steps: the copy step of
// an installation and the delete step of an uninstallation, and the engine
// that carries them out (TMoraInstallEngine). The steps take plain values
// and report through TStepObserver, which the wizard implements with its
// controls (and a terminal front end with a progress bar and prompts).
// Failures the steps raise (EStreamError, EDamagedData, ...) unwind to the
// caller; expected ends are returned as TStepOutcome.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

  // Opens a document (the title's read-me) through the shell with the verb
  // "open", owned by the front end's window; parameters and working folder
  // as for platform::ShellExecuteOpen. Returns the shell's result (above 32
  // on success). A terminal front end may print the path instead.
  virtual int OpenDocument(const std::string& file, const std::string& parameters,
                           const std::string& folder) = 0;
};

// The two steps. The wizard depends on this interface only.
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

// The shell's part of an installation, made by another component and handed
// to the engine so that the engine does not depend on it.
struct TShellServices {
  // Makes the program group <Title> with its links (throws on failure, e.g.
  // EShellLinkError).
  std::function<void(const settings::TMoraInstallSet& settings, const std::string& destDir)>
      CreateShortcuts;
  // Deletes the program group named title; false when the request could not
  // be made.
  std::function<bool(const std::string& title)> DeleteProgramGroup;
};

// Extension classes of loose files: sound files and movies are copied only
// when their part was chosen.
inline constexpr std::string_view SoundExtensions = ".mp2.mp3.wma.wav.mid.ogg";
inline constexpr std::string_view MovieExtensions = ".avi.wmv.asf.mpg.mpeg";
constexpr int MediaKindOther = 0;
constexpr int MediaKindSound = 1;
constexpr int MediaKindMovie = 2;

// The class of an extension (".mp3"): sound when its lower-case form occurs
// anywhere in SoundExtensions, else movie when it occurs in MovieExtensions,
// else other. A substring test: ".mp" is sound, ".mpe" movie, "." sound; ""
// is other.
int MediaKindOf(std::string_view extension);

// True when a name read from an archive or an install.dat may be joined to
// the destination or installation folder: it stays inside that folder (no
// "..", drive, leading delimiter, ":" stream or control character, and every
// component converts to a real name).
bool IsSafeInstalledName(std::string_view name);

// The installation engine: copies loose files, builds or extends the
// installed data archive, writes separate files, checks and records the
// installation; and the delete step of an uninstallation. Both services must
// be set (std::invalid_argument otherwise).
class TMoraInstallEngine : public TInstallEngine {
 public:
  explicit TMoraInstallEngine(TShellServices shell);

  TStepOutcome Install(settings::TMoraInstallSet& settings,
                       archive::TVrFileCollection* mediumArchive, const TInstallRequest& request,
                       TStepObserver& observer) override;
  TStepOutcome Uninstall(settings::TMoraInstallSet& settings, const TUninstallRequest& request,
                         TStepObserver& observer) override;

  // Bytes counted by the last installation (the progress bar shows them in
  // units of 10 bytes).
  std::int64_t CopiedBytes() const { return FCopiedBytes; }

 private:
  TShellServices FShell;
  std::int64_t FCopiedBytes = 0;
};

// Removes a folder tree bottom-up: every sub-folder that holds nothing after
// its own sub-folders were removed, then the folder itself when it is empty.
// Folders that still hold a file survive with all their parents.
void RemoveEmptyFolders(const std::string& folder);

}  // namespace mora::installer
