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
#include <vector>

#include "ui/dialogs.h"

namespace mora::settings {
class TMoraInstallSet;
}
namespace mora::archive {
class TVrFile;
class TVrFileCollection;
}  // namespace mora::archive

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
  // The disk question for disk number `disk` (0-based): the information
  // dialog `prompt` with OK and Abort; the result is the button pressed.
  // After OK the copy step looks for the disk in `folder`, which holds the
  // source folder when asked: the wizard's disks are changed in that drive,
  // so it leaves the folder as it is; a front end given the disks as
  // separate folders names the next one there.
  virtual int AskForDisk(int disk, const std::string& prompt, std::string& folder) {
    (void)disk;
    (void)folder;
    return MessageDialog(prompt, ui::TMsgDlgType::mtInformation, ui::mbOK | ui::mbAbort);
  }
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

// What the delete step removes from an installation folder.
struct TUninstallPlan {
  std::string Folder;                      // the installation folder, with a trailing "\"
  std::vector<std::string> RecordedFiles;  // recorded names inside it, in record order
  std::vector<std::string> Refused;        // recorded names that would leave it, also through a
                                           // folder link inside it: never deleted
  bool DeletesSave = false;                // "save.dat" in it
  bool RemovesEmptyFolders = false;        // the tree of FirstArgument (never a drive's root)
};
TUninstallPlan PlanUninstallation(const settings::TMoraInstallSet& settings,
                                  const TUninstallRequest& request);

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
// "..", drive, leading delimiter, ":" stream or control character, no
// device name such as CON or nul.txt, and every component converts to a
// real name).
bool IsSafeInstalledName(std::string_view name);

// ---- decisions of the copy step, shared with the plan of a dry run ----------

// The loose files below the medium folder `source` (with a trailing "\") that
// the copy step copies, as full paths in the order it copies them: files
// listed in PlainFiles, without the sound and movie files of parts that were
// not chosen (an add-on takes them all).
std::vector<std::string> LooseFilesToCopy(const settings::TMoraInstallSet& settings,
                                          const std::string& source,
                                          const TInstallRequest& request);

// The settings of the next disk replace the running ones; the names
// recorded so far stay in the record, ahead of any the disk's file lists.
void TakeOverDiskSettings(settings::TMoraInstallSet& running, settings::TMoraInstallSet next);

// Whether the copy step keeps an installed data archive (dest + "game.dat"):
// for the data part, an add-on, or a title whose files lie in the archive.
bool UsesTargetArchive(const settings::TMoraInstallSet& settings, const TInstallRequest& request);
// Whether it builds or extends that archive from each disk's archive.
bool BuildsDataArchive(const settings::TMoraInstallSet& settings, const TInstallRequest& request);

// The files of an earlier data archive in dest that the copy step deletes
// first (never for an add-on): game.dat, game.ext and the volumes game.001,
// game.002, ... up to the first one missing; only those that exist.
std::vector<std::string> OldArchiveFiles(const std::string& dest);

// Whether an entry of the medium's archive is installed as a file of its
// own: marked InstallAsFile, not "install.dat", and not an entry that a
// later one of the same name replaced.
bool IsSeparateFileEntry(const archive::TVrFile& entry);
// The file a separate entry is written to: dest + its name. A name that
// would leave dest throws EDamagedData naming it.
std::string SeparateFileTarget(const archive::TVrFile& entry, const std::string& dest);
// Whether the installed file is left as it is: it exists and is not older
// than the entry (a setup of kind 2 always writes it).
bool SeparateFileIsCurrent(const archive::TVrFile& entry, const std::string& target, int setupKind);

// The install.dat the copy step saves in dest: for an add-on, the record of
// the installation it extends with the add-on's names added (the running
// settings when there is none); else the running settings, keeping the
// names that an earlier installation of the same title recorded there.
settings::TMoraInstallSet RecordToSave(const settings::TMoraInstallSet& running,
                                       const std::string& dest);

// The read-me the copy step opens at its end: dest + ReadmeFile when the
// settings name one and ShowReadme is set, else "".
std::string ReadmeToOpen(const settings::TMoraInstallSet& settings, const std::string& dest);

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
