// The copy step of an installation: clears an old data archive, walks over
// the disks (asking for each further one), copies the chosen loose files,
// builds or extends the installed data archive, writes the archive's
// separate files, checks the archive and records the installation.
#include "installer/engine.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::installer {

using base::Sjis;

namespace {

// Entries larger than this refresh the build progress on their own.
constexpr std::int64_t LargeEntrySize = 3145728;

// Names as code page 932 compares them, case ignored, for lookups inside
// loops over a whole file list, where searching the list would make the
// loop quadratic in the number of files.
class TCaselessNames {
 public:
  explicit TCaselessNames(const std::vector<std::string>& names) {
    for (const std::string& name : names) FKeys.insert(base::LowerCase932(name));
  }
  bool Contains(std::string_view name) const { return FKeys.contains(base::LowerCase932(name)); }
  // False when the name was there already.
  bool Insert(std::string_view name) { return FKeys.insert(base::LowerCase932(name)).second; }

 private:
  std::unordered_set<std::string> FKeys;
};

// Index just behind the last delimiter ("\" outside a double-byte character,
// or "/"), 0 when there is none.
std::size_t NamePartStart(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size();) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (base::IsLeadByte(byte)) {
      i += 2;
      continue;
    }
    if (byte == '\\' || byte == '/') start = i + 1;
    i += 1;
  }
  return std::min(start, path.size());
}

std::string FileNamePart(const std::string& path) { return path.substr(NamePartStart(path)); }

std::string FolderPart(const std::string& path) { return path.substr(0, NamePartStart(path)); }

// The extension with its dot (".mp3"); "" when the name has none.
std::string ExtensionOf(const std::string& path) {
  const std::string name = FileNamePart(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

// A 64-bit count shown on a 32-bit progress bar: the low 32 bits, as the
// bar's range takes them.
std::int32_t ProgressValue(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::string Counted(std::string_view before, std::int64_t index, std::int64_t count,
                    std::string_view after) {
  return Sjis(before) + std::to_string(index) + "/" + std::to_string(count) + Sjis(after);
}

// A component made only of dots and spaces becomes "." or ".." once the
// system trims trailing dots and spaces.
bool IsDotsAndSpaces(std::string_view component) {
  return component.find_first_not_of(". ") == std::string_view::npos;
}

// A component the system takes for a device rather than a file: CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$ and CONOUT$, in any case, also with
// an extension or trailing spaces ("nul.txt", "aux "). Writing there would
// reach the device (a serial port may block for good); deleting it removes
// nothing of the installation.
bool IsDeviceName(std::string_view component) {
  std::string_view stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string upper = base::UpperCase932(stem);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 &&
         (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

// Whether the file's CRC-32 is the entry's check value.
bool HoldsEntryContent(const std::string& path, const archive::TVrFile& entry) {
  try {
    archive::TQsBigFileStream file(path, archive::fmBigOpenRead);
    std::vector<char> buffer(65536);
    const std::optional<std::uint32_t> crc = archive::StreamCRC32(
        file, file.GetSize(), buffer.data(), static_cast<std::int64_t>(buffer.size()));
    return crc && *crc == entry.CRC;
  } catch (const base::Exception&) {
    return false;
  }
}

void ClearReadOnly(const std::string& path) {
  const std::uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes == platform::InvalidFileAttributes) return;
  if ((attributes & platform::faReadOnly) == 0) return;
  std::uint32_t cleared = attributes & ~platform::faReadOnly;
  if (cleared == 0) cleared = platform::faNormal;
  platform::SetFileAttributes(path, cleared);
}

// One run of the copy step over the values it was given.
class TInstallRun {
 public:
  TInstallRun(const TShellServices& shell, settings::TMoraInstallSet& settings,
              archive::TVrFileCollection& medium, const TInstallRequest& request,
              TStepObserver& observer, std::int64_t& copiedBytes)
      : FShell(shell),
        FSettings(settings),
        FMedium(medium),
        FRequest(request),
        FObserver(observer),
        FCopiedBytes(copiedBytes),
        FSource(settings::AppendPathDelimiter(request.SourceFolder)),
        FDest(settings::AppendPathDelimiter(request.DestDir)) {}

  TStepOutcome Run() {
    Start();
    if (FSettings.AddOnPackage == 0) ClearOldArchive();
    OpenTarget();
    TStepOutcome outcome = CopyDisks();
    if (outcome != TStepOutcome::Finished) return outcome;
    outcome = CheckTarget();
    if (outcome != TStepOutcome::Finished) return outcome;
    Record();
    OpenReadme();
    return TStepOutcome::Finished;
  }

 private:
  void Start() {
    FObserver.HideBackButton();
    FObserver.HideNextButton();
    FObserver.SetCaption(Sjis("ファイルコピー"));
    FObserver.ProcessMessages();
    FCopiedBytes = 0;
    FObserver.SetProgressMax(ProgressValue(FRequest.RequiredBytes / 10));
  }

  void ClearOldArchive() {
    for (const std::string& file : OldArchiveFiles(FDest)) platform::DeleteFile(file);
  }

  void OpenTarget() {
    if (!UsesTargetArchive(FSettings, FRequest)) return;
    FTarget = std::make_unique<archive::TVrFileCollection>();
    FTarget->OpenFile(FDest + "game.dat", true);
    FTarget->OnProgress = [this](archive::TVrFileCollection&, archive::TVrFile&, std::int64_t size,
                                 std::int32_t index, std::int32_t count,
                                 bool& cancel) { BuildProgress(size, index, count, cancel); };
  }

  TStepOutcome CopyDisks() {
    // The number of disks is taken once: a later disk's settings do not
    // change how far the walk goes.
    const int diskCount = FSettings.DiskCount();
    for (int disk = 0; disk < diskCount; ++disk) {
      if (!FRequest.AllDisks && disk != FSettings.DiskIndex) continue;
      TStepOutcome outcome = TStepOutcome::Finished;
      if (disk != FSettings.DiskIndex) outcome = ChangeDisk(disk);
      if (outcome == TStepOutcome::Finished && FSettings.FilesInArchive == 0) {
        outcome = CopyLooseFiles();
      }
      if (outcome == TStepOutcome::Finished && BuildsDataArchive(FSettings, FRequest)) {
        outcome = BuildArchive();
      }
      if (outcome != TStepOutcome::Finished) return outcome;
      if (FSettings.FilesInArchive != 0) InstallSeparateFiles();
    }
    return TStepOutcome::Finished;
  }

  // Asks for disk `disk` until its settings file is in the source folder.
  TStepOutcome ChangeDisk(int disk) {
    FMedium.Open("");
    const std::string prompt =
        Sjis("ディスク") + std::to_string(disk + 1) + Sjis("を入れてからOKをクリックしてください");
    while (FSettings.DiskIndex != disk) {
      std::string folder = FSource;
      const int answer = FObserver.AskForDisk(disk, prompt, folder);
      if (answer != ui::mrOk) {
        if (FObserver.MessageDialog(Sjis("インストールを中断しますか？"),
                                    ui::TMsgDlgType::mtConfirmation, ui::mbYesNo) == ui::mrYes) {
          return TStepOutcome::Stopped;
        }
        continue;
      }
      if (!folder.empty()) FSource = settings::AppendPathDelimiter(folder);
      FObserver.Wait(500);
      const std::string settingsFile = FSource + "install.dat";
      if (!platform::FileExists(settingsFile)) continue;
      settings::TMoraInstallSet loaded;
      try {
        loaded.LoadFromFile(settingsFile);
      } catch (const base::Exception& error) {
        // A damaged or unreadable disk: say why and ask again.
        FObserver.MessageDialog(error.Message(), ui::TMsgDlgType::mtWarning, ui::mbOK);
        continue;
      }
      // A disk of another title is the wrong disk.
      if (loaded.Title != FSettings.Title) continue;
      TakeOverDiskSettings(FSettings, std::move(loaded));
    }
    FMedium.Open(FSource + "game.dat");
    return TStepOutcome::Finished;
  }

  TStepOutcome CopyLooseFiles() {
    TCaselessNames installed(FSettings.InstalledFiles);
    for (const std::string& item : LooseFilesToCopy(FSettings, FSource, FRequest)) {
      FCopiedBytes += settings::FileSizeOf(item);
      FObserver.SetProgress(ProgressValue(FCopiedBytes / 10));
      FObserver.SetStatus(base::FormatS(Sjis("%s をコピー中..."), FileNamePart(item)));
      if (FObserver.ProcessMessages()) return TStepOutcome::Stopped;
      const std::string relative = item.substr(FSource.size());
      const std::string target = FDest + relative;
      if (!platform::ForceDirectories(FolderPart(target))) {
        FObserver.MessageDialog(Sjis("ディレクトリを作成できませんでした"),
                                ui::TMsgDlgType::mtWarning, ui::mbOK);
        return TStepOutcome::Closed;
      }
      if (!settings::CopyFileOver(item, target)) {
        // A file that is not there must not be recorded as installed.
        FObserver.MessageDialog(Sjis("ファイルをコピーできませんでした") + "\r\n" + target,
                                ui::TMsgDlgType::mtWarning, ui::mbOK);
        return TStepOutcome::Closed;
      }
      ClearReadOnly(target);
      if (installed.Insert(relative)) FSettings.InstalledFiles.push_back(relative);
    }
    return TStepOutcome::Finished;
  }

  TStepOutcome BuildArchive() {
    platform::ForceDirectories(FDest);
    bool appended = false;
    try {
      appended = FTarget->UpdateFrom(FMedium);
    } catch (const base::EReadError& error) {
      // The stream's message names no file: the one read is the medium's
      // archive (a disk taken out, a read error, a file cut meanwhile).
      throw base::EReadError(error.Message() + "\r\n" + FMedium.FileName());
    }
    if (appended) {
      FSettings.AddInstalledFile(FileNamePart(archive::CompanionFileName(FTarget->FileName())));
    }
    if (FObserver.StopRequested()) return TStepOutcome::Stopped;
    if (FRequest.Data && FSettings.AddOnPackage == 0) FSettings.DataInstalled = 1;
    return TStepOutcome::Finished;
  }

  void BuildProgress(std::int64_t size, std::int32_t index, std::int32_t count, bool& cancel) {
    FCopiedBytes += size;
    if (index % 10 != 9 && size <= LargeEntrySize) return;
    FObserver.SetProgress(ProgressValue(FCopiedBytes / 10));
    FObserver.SetStatus(Counted("データファイルを構築中(", std::int64_t{index} + 1, count, ")..."));
    cancel = FObserver.ProcessMessages();
  }

  void InstallSeparateFiles() {
    for (int i = 0; i < FMedium.Count(); ++i) {
      const archive::TVrFile& entry = FMedium.Entries(i);
      if (IsSeparateFileEntry(entry)) InstallSeparateFile(entry);
    }
  }

  void InstallSeparateFile(const archive::TVrFile& entry) {
    const std::string name(entry.Name());
    const std::string target = SeparateFileTarget(entry, FDest);
    if (SeparateFileIsCurrent(entry, target, FSettings.SetupKind)) {
      // A file that holds the entry's bytes was written by an earlier run
      // of this title, which may have stopped before it saved its record:
      // it is recorded, so that the uninstallation removes it. A newer file
      // of other content is someone else's and stays unrecorded.
      if (HoldsEntryContent(target, entry)) FSettings.AddInstalledFile(name);
      return;
    }
    platform::ForceDirectories(FolderPart(target));
    const std::string damaged = Sjis("ファイルが壊れています") + "\r\n" + name;
    try {
      // Inflated, checked and written in one pass beside the target, then
      // renamed over it once its check value holds: memory stays flat
      // whatever the entry's size, and a damaged entry or a failed write
      // never leaves a file that a later run would take as up to date.
      FMedium.ExtractEntryToFile(name, target, entry.CRC, false);
    } catch (const base::EZDecompressionError&) {
      throw base::EDamagedData(damaged);
    } catch (const base::EReadError&) {
      throw base::EDamagedData(damaged);
    } catch (const base::EDamagedData&) {
      throw base::EDamagedData(damaged);
    } catch (const base::EFOpenError&) {
      // The entry went missing from the medium.
      throw;
    } catch (const base::EStreamError&) {
      throw base::EFCreateError(Sjis("ファイルが作成できません") + "\r\n" + target);
    }
    platform::SetFileDosTime(target, entry.FileTime);
    FSettings.AddInstalledFile(name);
    FSeparateFiles.push_back(target);
  }

  TStepOutcome CheckTarget() {
    if (FTarget == nullptr) return TStepOutcome::Finished;
    FTarget->OnProgress = [this](archive::TVrFileCollection&, archive::TVrFile&, std::int64_t,
                                 std::int32_t index, std::int32_t count, bool& cancel) {
      FObserver.SetProgressMax(count - 1);
      FObserver.SetProgress(index);
      FObserver.SetStatus(
          Counted("データファイルを調べています(", std::int64_t{index} + 1, count, ")..."));
      cancel = FObserver.ProcessMessages();
    };
    FObserver.SetHeading(Sjis("データファイルをチェックしています"));
    if (!FTarget->Verify()) {
      FObserver.MessageDialog(
          Sjis("ファイルの内容が正しくありません\r\nインストールしなおしてください\r\n"
               "何度も失敗する場合は、スキャンディスクを実行して\r\n"
               "ハードディスクに異常がないか調べてください"),
          ui::TMsgDlgType::mtWarning, ui::mbOK);
      return TStepOutcome::Stopped;
    }
    if (FObserver.StopRequested()) return TStepOutcome::Stopped;
    return TStepOutcome::Finished;
  }

  void Record() {
    // Separate files were left in the system's cache as they were written:
    // one flush of them all (a file-by-file flush cost a disk round trip
    // each) puts them on the disk before install.dat records them.
    if (!platform::FlushFiles(FSeparateFiles)) {
      throw base::EFCreateError(Sjis("ファイルが作成できません") + "\r\n" + FDest);
    }
    if (FTarget != nullptr) {
      if (auto* stream = dynamic_cast<archive::TQsBigFileStream*>(FTarget->Stream())) {
        // The archive was written through the system's cache: it is on the
        // disk before install.dat records it, which the uninstallation and
        // a later add-on trust.
        stream->Flush();
        for (int v = 0; v < stream->VolumeCount(); ++v) {
          FSettings.AddInstalledFile(FileNamePart(stream->VolumeName(v)));
        }
      }
      FTarget.reset();
    }
    if (FSettings.SetupKind == 2) return;
    FSettings.UninstallMode = 1;
    FSettings.AddInstalledFile("install.dat");
    SaveRecord();
    if (FSettings.AddOnPackage == 0) {
      FObserver.SetHeading(Sjis("ショートカットを作成しています"));
      FObserver.HideProgress();
      FObserver.ProcessMessages();
      FShell.CreateShortcuts(FSettings, FDest);
      FObserver.Wait(2000);
      FObserver.BringToFront();
    }
    FSettings.WriteRegString("InstallPath", FDest);
    FObserver.SetHeading(Sjis("レジストリを更新しています"));
    FObserver.ProcessMessages();
    FObserver.Wait(1000);
  }

  void SaveRecord() {
    // A title without loose files or data has not made the folder yet.
    platform::ForceDirectories(FDest);
    settings::TMoraInstallSet record = RecordToSave(FSettings, FDest);
    // The running settings are the record of a title installed on its own.
    if (FSettings.AddOnPackage == 0) FSettings.InstalledFiles = record.InstalledFiles;
    record.SaveToFile(FDest + "install.dat");
  }

  void OpenReadme() {
    const std::string readme = ReadmeToOpen(FSettings, FDest);
    if (!readme.empty()) FObserver.OpenDocument(readme, "", FDest);
  }

  const TShellServices& FShell;
  settings::TMoraInstallSet& FSettings;
  archive::TVrFileCollection& FMedium;
  const TInstallRequest& FRequest;
  TStepObserver& FObserver;
  std::int64_t& FCopiedBytes;
  std::string FSource;  // the disk's folder, another one after a disk change
  const std::string FDest;
  std::unique_ptr<archive::TVrFileCollection> FTarget;
  std::vector<std::string> FSeparateFiles;  // written, to be flushed before the record
};

}  // namespace

int MediaKindOf(std::string_view extension) {
  if (extension.empty()) return MediaKindOther;
  const std::string lower = base::LowerCase932(extension);
  if (SoundExtensions.find(lower) != std::string_view::npos) return MediaKindSound;
  if (MovieExtensions.find(lower) != std::string_view::npos) return MediaKindMovie;
  return MediaKindOther;
}

std::vector<std::string> LooseFilesToCopy(const settings::TMoraInstallSet& settings,
                                          const std::string& source,
                                          const TInstallRequest& request) {
  std::vector<std::string> found;
  settings::ListFiles(source, settings::AllAttributeBits & ~platform::faDirectory, true, true,
                      found, true);
  const TCaselessNames plainFiles(settings.PlainFiles);
  std::vector<std::string> items;
  for (const std::string& item : found) {
    if (!plainFiles.Contains(std::string_view(item).substr(source.size()))) continue;
    if (settings.AddOnPackage == 0) {
      const int kind = MediaKindOf(ExtensionOf(item));
      if (kind == MediaKindSound && !request.Sound) continue;
      if (kind == MediaKindMovie && !request.Movie) continue;
    }
    items.push_back(item);
  }
  return items;
}

void TakeOverDiskSettings(settings::TMoraInstallSet& running, settings::TMoraInstallSet next) {
  std::vector<std::string> listed = std::move(next.InstalledFiles);
  next.InstalledFiles = std::move(running.InstalledFiles);
  for (const std::string& name : listed) next.AddInstalledFile(name);
  running = std::move(next);
}

bool UsesTargetArchive(const settings::TMoraInstallSet& settings, const TInstallRequest& request) {
  return request.Data || settings.AddOnPackage != 0 || settings.FilesInArchive != 0;
}

bool BuildsDataArchive(const settings::TMoraInstallSet& settings, const TInstallRequest& request) {
  return request.Data || settings.AddOnPackage != 0;
}

std::vector<std::string> OldArchiveFiles(const std::string& dest) {
  const std::string archiveName = settings::AppendPathDelimiter(dest) + "game.dat";
  std::vector<std::string> files;
  for (const std::string& file : {archiveName, archive::CompanionFileName(archiveName)}) {
    if (platform::FileExists(file)) files.push_back(file);
  }
  for (int n = 1;; ++n) {
    const std::string volume = archive::TQsBigFileStream::VolumeNameOf(archiveName, n);
    if (!platform::FileExists(volume)) break;
    files.push_back(volume);
  }
  return files;
}

bool IsSeparateFileEntry(const archive::TVrFile& entry) {
  if (entry.InstallAsFile == 0 || entry.Name() == "install.dat") return false;
  // An entry replaced by a later one of the same name keeps its bytes under
  // a name starting with "/"; the later entry is installed.
  return entry.Name().empty() || entry.Name()[0] != '/';
}

std::string SeparateFileTarget(const archive::TVrFile& entry, const std::string& dest) {
  if (!IsSafeInstalledName(entry.Name())) {
    throw base::EDamagedData(Sjis("インストール先の外を指すファイル名です") + "\r\n" +
                             std::string(entry.Name()));
  }
  return settings::AppendPathDelimiter(dest) + std::string(entry.Name());
}

bool SeparateFileIsCurrent(const archive::TVrFile& entry, const std::string& target,
                           int setupKind) {
  if (setupKind == 2 || !platform::FileExists(target)) return false;
  const std::optional<std::int32_t> age = platform::GetFileDosTime(target);
  return age && *age >= entry.FileTime;
}

settings::TMoraInstallSet RecordToSave(const settings::TMoraInstallSet& running,
                                       const std::string& dest) {
  const std::string recordName = settings::AppendPathDelimiter(dest) + "install.dat";
  std::optional<settings::TMoraInstallSet> existing;
  if (platform::FileExists(recordName)) {
    existing.emplace();
    try {
      existing->LoadFromFile(recordName);
    } catch (const base::Exception&) {
      // A damaged record holds nothing worth keeping; it is replaced.
      existing.reset();
    }
  }
  // An add-on adds its names to the record of the installation it extends.
  if (running.AddOnPackage != 0 && existing) {
    for (const std::string& name : running.InstalledFiles) existing->AddInstalledFile(name);
    return std::move(*existing);
  }
  // Installing a title again over itself keeps the names recorded before,
  // so that the uninstallation still finds them.
  settings::TMoraInstallSet record = running;
  if (existing && existing->Title == running.Title) {
    for (const std::string& name : existing->InstalledFiles) record.AddInstalledFile(name);
  }
  return record;
}

std::string ReadmeToOpen(const settings::TMoraInstallSet& settings, const std::string& dest) {
  if (settings.ReadmeFile.empty() || settings.ShowReadme == 0) return {};
  return settings::AppendPathDelimiter(dest) + settings.ReadmeFile;
}

bool IsSafeInstalledName(std::string_view name) {
  if (!archive::IsSafeEntryPath(name)) return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  // The byte-wise delimiter test above must agree with the conversion the
  // system sees: a lead byte without a valid trail byte is refused.
  try {
    (void)base::Cp932ToUtf16(name);
  } catch (const base::EConvertError&) {
    return false;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    const bool end = i == name.size();
    if (!end && !(base::IsPathDelimiter(name, i) || name[i] == '/')) continue;
    const std::string_view component = name.substr(start, i - start);
    if (IsDotsAndSpaces(component) || IsDeviceName(component)) return false;
    start = i + 1;
  }
  return true;
}

TMoraInstallEngine::TMoraInstallEngine(TShellServices shell) : FShell(std::move(shell)) {
  if (!FShell.CreateShortcuts || !FShell.DeleteProgramGroup) {
    throw std::invalid_argument("TMoraInstallEngine needs both shell services");
  }
}

TStepOutcome TMoraInstallEngine::Install(settings::TMoraInstallSet& settings,
                                         archive::TVrFileCollection* mediumArchive,
                                         const TInstallRequest& request, TStepObserver& observer) {
  // Without a medium archive (a setup whose data are all loose files) the
  // run opens its own reader for the further disks.
  archive::TVrFileCollection ownMedium;
  TInstallRun run(FShell, settings, mediumArchive != nullptr ? *mediumArchive : ownMedium, request,
                  observer, FCopiedBytes);
  return run.Run();
}

}  // namespace mora::installer
