// The plan of an installation: the copy step's walk over the disks with
// every write replaced by an entry in the plan.
#include "installer/plan.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::installer {

namespace {

std::string FileNamePart(const std::string& path) {
  const std::size_t delimiter = base::LastPathDelimiter(path);
  return delimiter == std::string::npos ? path : path.substr(delimiter + 1);
}

// Counts what is written into it and keeps nothing: the size of an entry's
// content without holding it.
class TCountingStream : public platform::TStream {
 public:
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void*, std::int64_t count) override {
    if (count <= 0) return 0;
    FPosition += count;
    FSize = std::max(FSize, FPosition);
    return count;
  }
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
    std::int64_t base = 0;
    if (origin == platform::TSeekOrigin::Current) base = FPosition;
    if (origin == platform::TSeekOrigin::End) base = FSize;
    FPosition = std::clamp<std::int64_t>(base + offset, 0, FSize);
    return FPosition;
  }
  std::int64_t Size() override { return FSize; }
  void SetSize(std::int64_t size) override {
    FSize = std::max<std::int64_t>(size, 0);
    FPosition = std::min(FPosition, FSize);
  }

 private:
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
};

// The installed data archive as the plan grows it: its directory (names
// compared as the archive compares them), its size and its volumes.
struct TPlannedArchive {
  bool Exists = false;  // a stream is there (opened or created)
  bool Changed = false;
  std::int64_t Size = 0;
  int VolumeCount = 0;
  archive::TDirectory Directory;
  std::map<std::string, std::size_t> ByName;  // upper-case name -> index

  static std::string Key(std::string_view name) { return base::UpperCase932(name); }

  // Whether UpdateFrom would take the entry over.
  bool TakesOver(const archive::TVrFile& from) const {
    const auto found = ByName.find(Key(from.Name()));
    if (found == ByName.end()) return TakesOverEntry(from, nullptr);
    archive::TVrFile existing;
    existing.FileTime = Directory.Entries[found->second].FileTime;
    return TakesOverEntry(from, &existing);
  }

  void Append(const archive::TVrFile& from) {
    const std::string key = Key(from.Name());
    const auto found = ByName.find(key);
    // The old bytes stay in the archive under a name that no lookup finds.
    if (found != ByName.end()) Directory.Entries[found->second].Name.insert(0, "/");
    ByName[key] = Directory.Entries.size();
    Directory.Entries.push_back(
        {std::string(from.Name()), Size, from.Stored, from.FileTime, from.CRC, from.InstallAsFile});
    Size += from.Size;
    Changed = true;
  }
};

class TPlanner {
 public:
  TPlanner(const settings::TMoraInstallSet& settings, archive::TVrFileCollection* mediumArchive,
           const TInstallRequest& request, const TDiskFolderSource& diskFolder)
      : FRunning(settings),
        FMedium(mediumArchive),
        FRequest(request),
        FDiskFolder(diskFolder),
        FSource(settings::AppendPathDelimiter(request.SourceFolder)) {
    FPlan.DestDir = settings::AppendPathDelimiter(request.DestDir);
  }

  TInstallPlan Run() {
    const std::string& dest = FPlan.DestDir;
    if (FRunning.AddOnPackage == 0) {
      for (const std::string& file : OldArchiveFiles(dest)) {
        FPlan.Deleted.push_back(file.substr(dest.size()));
      }
    } else {
      OpenExistingArchive();
    }
    const int diskCount = FRunning.DiskCount();
    for (int disk = 0; disk < diskCount; ++disk) {
      if (!FRequest.AllDisks && disk != FRunning.DiskIndex) continue;
      if (disk != FRunning.DiskIndex && !ChangeDisk(disk)) {
        FPlan.MissingDisk = disk;
        break;
      }
      PlanDisk();
    }
    PlanRecord();
    return std::move(FPlan);
  }

 private:
  // An add-on extends the archive that is there; it is only read.
  void OpenExistingArchive() {
    archive::TVrFileCollection existing;
    existing.Open(FPlan.DestDir + "game.dat");
    if (existing.Stream() == nullptr) return;
    FArchive.Exists = true;
    FArchive.Size = existing.Stream()->GetSize();
    if (auto* file = dynamic_cast<archive::TQsBigFileStream*>(existing.Stream())) {
      FArchive.VolumeCount = file->VolumeCount();
    }
    for (int i = 0; i < existing.Count(); ++i) {
      const archive::TVrFile& entry = existing.Entries(i);
      if (entry.Name() == archive::SentinelName) continue;
      if (entry.Name().empty() || entry.Name()[0] != '/') {
        FArchive.ByName[TPlannedArchive::Key(entry.Name())] = FArchive.Directory.Entries.size();
      }
      FArchive.Directory.Entries.push_back({std::string(entry.Name()), entry.Offset, entry.Stored,
                                            entry.FileTime, entry.CRC, entry.InstallAsFile});
    }
  }

  // Asks for the disk until a folder holding it is named; false when none is.
  bool ChangeDisk(int disk) {
    for (;;) {
      const std::string folder = FDiskFolder ? FDiskFolder(disk) : std::string();
      FPlan.DiskQuestions.push_back({disk, folder});
      if (folder.empty()) return false;
      const std::string source = settings::AppendPathDelimiter(folder);
      const std::string settingsFile = source + "install.dat";
      if (!platform::FileExists(settingsFile)) continue;
      settings::TMoraInstallSet loaded;
      try {
        loaded.LoadFromFile(settingsFile);
      } catch (const base::Exception&) {
        continue;  // the run shows why and asks again
      }
      if (loaded.Title != FRunning.Title || loaded.DiskIndex != disk) continue;
      TakeOverDiskSettings(FRunning, std::move(loaded));
      FSource = source;
      FDiskArchive = std::make_unique<archive::TVrFileCollection>();
      FDiskArchive->Open(FSource + "game.dat");
      return true;
    }
  }

  archive::TVrFileCollection* Medium() {
    if (FDiskArchive != nullptr) return FDiskArchive.get();
    return FMedium;
  }

  void PlanDisk() {
    if (FRunning.FilesInArchive == 0) {
      for (const std::string& item : LooseFilesToCopy(FRunning, FSource, FRequest)) {
        const std::string relative = item.substr(FSource.size());
        AddFile(relative, platform::GetFileSize(item).value_or(0));
        FRunning.AddInstalledFile(relative);
      }
    }
    archive::TVrFileCollection* medium = Medium();
    if (BuildsDataArchive(FRunning, FRequest)) {
      // The data archive's volumes and directory are listed in PlanRecord,
      // once their final sizes are known.
      FArchive.Exists = true;
      bool appended = false;
      for (int i = 0; medium != nullptr && i < medium->Count(); ++i) {
        const archive::TVrFile& from = medium->Entries(i);
        if (!FArchive.TakesOver(from)) continue;
        FArchive.Append(from);
        appended = true;
      }
      if (appended) FRunning.AddInstalledFile(FileNamePart(archive::CompanionFileName("game.dat")));
      if (FRequest.Data && FRunning.AddOnPackage == 0) FRunning.DataInstalled = 1;
    }
    if (FRunning.FilesInArchive != 0 && medium != nullptr) {
      for (int i = 0; i < medium->Count(); ++i) {
        const archive::TVrFile& entry = medium->Entries(i);
        if (!IsSeparateFileEntry(entry)) continue;
        const std::string target = SeparateFileTarget(entry, FPlan.DestDir);
        if (SeparateFileIsCurrent(entry, target, FRunning.SetupKind)) continue;
        TCountingStream content;
        const std::string name(entry.Name());
        medium->LoadEntry(content, name);
        AddFile(name, content.Size());
        FRunning.AddInstalledFile(name);
      }
    }
  }

  void PlanRecord() {
    const std::string archiveName = FPlan.DestDir + "game.dat";
    if (UsesTargetArchive(FRunning, FRequest) && FArchive.Exists) {
      const std::int64_t volumeSize = archive::TQsBigFileStream::VolumeSize;
      const auto written = static_cast<int>((FArchive.Size + volumeSize - 1) / volumeSize);
      const int volumes = std::max({1, written, FArchive.VolumeCount});
      for (int v = 0; v < volumes; ++v) {
        const std::string name =
            FileNamePart(archive::TQsBigFileStream::VolumeNameOf(archiveName, v));
        const std::int64_t start = std::int64_t{v} * volumeSize;
        AddFile(name, std::clamp<std::int64_t>(FArchive.Size - start, 0, volumeSize));
        FRunning.AddInstalledFile(name);
      }
      if (FArchive.Changed) {
        FArchive.Directory.EndOffset = FArchive.Size;
        AddFile(FileNamePart(archive::CompanionFileName(archiveName)),
                archive::EncodedDirectorySize(FArchive.Directory));
      }
    }
    if (FRunning.SetupKind != 2) {
      FRunning.UninstallMode = 1;
      FRunning.AddInstalledFile("install.dat");
      const settings::TMoraInstallSet record = RecordToSave(FRunning, FPlan.DestDir);
      FPlan.WritesRecord = true;
      FPlan.InstalledFiles = record.InstalledFiles;
      FPlan.DataInstalled = record.DataInstalled != 0;
      AddFile("install.dat", static_cast<std::int64_t>(record.SaveToBytes().size()));
      if (FRunning.AddOnPackage == 0) {
        FPlan.ProgramGroup = FRunning.Title;
        FPlan.Links = ProgramGroupLinks(FRunning, FPlan.DestDir);
      }
      if (!FRunning.RegistryKey.empty()) {
        FPlan.RegistryKey = "Software\\" + FRunning.RegistryKey;
        FPlan.RegistryValue = "InstallPath";
        FPlan.RegistryData = FPlan.DestDir;
      }
    } else {
      FPlan.InstalledFiles = FRunning.InstalledFiles;
      FPlan.DataInstalled = FRunning.DataInstalled != 0;
    }
    FPlan.Readme = ReadmeToOpen(FRunning, FPlan.DestDir);
  }

  // A file written again (a later disk's copy of it) keeps its first place
  // and takes the later size.
  void AddFile(const std::string& name, std::int64_t size) {
    const std::string key = base::UpperCase932(name);
    const auto found = FFileIndex.find(key);
    if (found != FFileIndex.end()) {
      FPlan.Files[found->second].Size = size;
      return;
    }
    FFileIndex[key] = FPlan.Files.size();
    FPlan.Files.push_back({name, size});
  }

  settings::TMoraInstallSet FRunning;
  archive::TVrFileCollection* FMedium;
  const TInstallRequest& FRequest;
  const TDiskFolderSource& FDiskFolder;
  std::string FSource;
  std::unique_ptr<archive::TVrFileCollection> FDiskArchive;
  TPlannedArchive FArchive;
  std::map<std::string, std::size_t> FFileIndex;
  TInstallPlan FPlan;
};

}  // namespace

std::int64_t TInstallPlan::WrittenBytes() const {
  std::int64_t total = 0;
  for (const TPlannedFile& file : Files) total += file.Size;
  return total;
}

TInstallPlan PlanInstallation(const settings::TMoraInstallSet& settings,
                              archive::TVrFileCollection* mediumArchive,
                              const TInstallRequest& request, const TDiskFolderSource& diskFolder) {
  return TPlanner(settings, mediumArchive, request, diskFolder).Run();
}

}  // namespace mora::installer
