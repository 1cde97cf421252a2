#include "installer/medium.h"

#include <string_view>

#include "base/sjis.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/streams.h"
#include "settings/fileutil.h"

namespace mora::installer {

namespace {

using archive::TVrFileCollection;

bool EndsWithMark(const std::string& programFile) {
  platform::TFileOpenOptions options;
  options.Access = platform::TFileAccess::Read;
  options.Share = platform::TFileShare::Read;  // others may read, nobody may write
  auto file = platform::TFileHandle::TryOpen(programFile, options);
  if (!file) return false;
  try {
    const std::int64_t size = file->Size();
    if (size < 2) return false;
    char mark[2] = {0, 0};
    file->Seek(size - 2, platform::TSeekOrigin::Begin);
    return file->Read(mark, 2) == 2 && std::string_view(mark, 2) == AppendedArchiveMark;
  } catch (const base::EStreamError&) {
    return false;
  }
}

// Opens an archive file as the setup program does: its own file is read as
// an appended archive, any other as a separate archive file (a name that
// does not exist leaves only the folder of that name).
void OpenArchiveFile(TVrFileCollection& collection, const std::string& name,
                     const std::string& programFile) {
  if (!programFile.empty() && base::SameText932(name, programFile) && platform::FileExists(name)) {
    collection.OpenAppended(name);
  } else {
    collection.Open(name);
  }
}

// The settings record from install.dat: a loose file under the collection's
// BaseFolder, else the archive entry; "install.dat:ファイルがありません"
// when neither exists.
std::unique_ptr<settings::TMoraInstallSet> LoadFromArchive(TVrFileCollection& collection,
                                                           const std::string& where) {
  platform::TMemoryStream stream;
  collection.LoadEntry(stream, SettingsFileName);
  auto loaded = std::make_unique<settings::TMoraInstallSet>();
  loaded->LoadFromStream(stream, std::string(SettingsFileName) + " (" + where + ")");
  return loaded;
}

bool ArchiveHasSettings(const TVrFileCollection& collection) {
  if (!collection.BaseFolder.empty() &&
      platform::FileExists(collection.BaseFolder + SettingsFileName)) {
    return true;
  }
  return collection.Stream() != nullptr && collection.IndexOf(SettingsFileName) >= 0;
}

// The collection that the settings case reads install.dat from (none for
// the folder case).
std::unique_ptr<TVrFileCollection> OpenSettingsArchive(TSettingsCase settingsCase,
                                                       const TSetupStart& start) {
  auto collection = std::make_unique<TVrFileCollection>();
  switch (settingsCase) {
    case TSettingsCase::Resource:
      collection->OpenResource(start.ProgramFile, ArchiveResourceName, ArchiveResourceType);
      break;
    case TSettingsCase::Appended:
      OpenArchiveFile(*collection, start.ProgramFile, start.ProgramFile);
      break;
    case TSettingsCase::NamedFile:
      OpenArchiveFile(*collection, start.FirstArgument, start.ProgramFile);
      break;
    case TSettingsCase::Folder: return nullptr;
  }
  return collection;
}

TSettingsCase SettingsCaseOf(const TSetupStart& start, const TProgramArchive& probe) {
  if (probe.ArchiveInResource) return TSettingsCase::Resource;
  if (probe.ArchiveAppended) return TSettingsCase::Appended;
  if (!start.FirstArgument.empty() && platform::FileExists(start.FirstArgument)) {
    return TSettingsCase::NamedFile;
  }
  return TSettingsCase::Folder;
}

std::string FolderSourceDir(const TSetupStart& start) {
  if (!start.FirstArgument.empty()) return start.FirstArgument;
  return archive::ExtractFilePath(start.ProgramFile);
}

// Algorithm of LoadMediumSettings; with entryMayBeMissing an archive without
// install.dat gives no settings instead of "install.dat:ファイルがありません".
TMediumSettings LoadSettings(const TSetupStart& start, const TProgramArchive& probe,
                             bool entryMayBeMissing) {
  TMediumSettings result;
  result.Case = SettingsCaseOf(start, probe);
  if (result.Case == TSettingsCase::Folder) {
    result.SourceDir = FolderSourceDir(start);
    result.SettingsFile = settings::AppendPathDelimiter(result.SourceDir) + SettingsFileName;
    if (!platform::FileExists(result.SettingsFile)) return result;
    auto loaded = std::make_unique<settings::TMoraInstallSet>();
    loaded->LoadFromFile(result.SettingsFile);
    result.Settings = std::move(loaded);
    return result;
  }
  // The reader is opened for install.dat alone and closed again.
  auto collection = OpenSettingsArchive(result.Case, start);
  if (result.Case == TSettingsCase::NamedFile) result.SourceDir = start.FirstArgument;
  if (entryMayBeMissing && !ArchiveHasSettings(*collection)) return result;
  const std::string where =
      result.Case == TSettingsCase::NamedFile ? start.FirstArgument : start.ProgramFile;
  result.Settings = LoadFromArchive(*collection, where);
  return result;
}

bool IsExecutable(const std::string& path) {
  platform::TFileOpenOptions options;
  options.Access = platform::TFileAccess::Read;
  options.Share = platform::TFileShare::ReadWrite;
  auto file = platform::TFileHandle::TryOpen(path, options);
  if (!file) return false;
  char header[4] = {0, 0, 0, 0};
  std::int64_t got = 0;
  try {
    got = file->Read(header, 4);
  } catch (const base::EStreamError&) {
    return false;
  }
  if (got >= 2 && header[0] == 'M' && header[1] == 'Z') return true;
  return got == 4 && std::string_view(header, 4) ==
                         "\x7F"
                         "ELF";
}

}  // namespace

TProgramArchive ProbeProgram(const std::string& programFile) {
  TProgramArchive probe;
  if (programFile.empty()) return probe;
  if (auto module = platform::TModule::Load(programFile)) {
    try {
      const auto bytes = module->FindResource(ArchiveResourceName, ArchiveResourceType);
      probe.ArchiveInResource = bytes && bytes->substr(0, 2) == ArchiveResourceMagic;
    } catch (const base::EDamagedData&) {
      // A resource tree the system would not find anything in.
    }
  }
  if (!probe.ArchiveInResource) probe.ArchiveAppended = EndsWithMark(programFile);
  return probe;
}

TMediumSettings LoadMediumSettings(const TSetupStart& start, const TProgramArchive& probe) {
  return LoadSettings(start, probe, false);
}

TMediumArchive OpenRunArchive(const TSetupStart& start, const TProgramArchive& probe,
                              const settings::TMoraInstallSet& settings,
                              const std::string& sourceDir) {
  TMediumArchive result;
  result.Archive = std::make_unique<TVrFileCollection>();
  TVrFileCollection& collection = *result.Archive;
  if (probe.ArchiveInResource) {
    result.ArchiveFile = start.ProgramFile;
    collection.OpenResource(start.ProgramFile, ArchiveResourceName, ArchiveResourceType);
    result.Placement =
        collection.Stream() != nullptr ? TArchivePlacement::Resource : TArchivePlacement::None;
    return result;
  }
  if (settings.AddOnPackage != 0) {
    if (start.ProgramFile.empty()) {
      throw EMediumMissing(std::string(SettingsFileName) +
                           ": the archive lies in the setup program (AddOnPackage), but no "
                           "setup program was given");
    }
    result.ArchiveFile = start.ProgramFile;
  } else if (!sourceDir.empty() && platform::FileExists(sourceDir)) {
    result.ArchiveFile = sourceDir;
  } else {
    result.ArchiveFile = settings::AppendPathDelimiter(sourceDir) + ArchiveFileName;
  }
  OpenArchiveFile(collection, result.ArchiveFile, start.ProgramFile);
  if (collection.Stream() == nullptr) {
    result.Placement = TArchivePlacement::None;
  } else if (!start.ProgramFile.empty() &&
             base::SameText932(result.ArchiveFile, start.ProgramFile)) {
    result.Placement = TArchivePlacement::Appended;
  } else {
    result.Placement = TArchivePlacement::File;
  }
  return result;
}

TMedium OpenMedium(const TSetupStart& start) {
  TMedium medium;
  medium.Start = start;
  medium.Probe = ProbeProgram(start.ProgramFile);
  TMediumSettings loaded = LoadMediumSettings(start, medium.Probe);
  if (loaded.SettingsMissing()) {
    throw EMediumMissing(base::Sjis("インストール設定ファイルがありません") + " (" +
                         loaded.SettingsFile + ")");
  }
  medium.SettingsCase = loaded.Case;
  medium.SourceDir = loaded.SourceDir;
  medium.Settings = std::move(loaded.Settings);
  if (medium.Settings->UninstallMode == 0) {
    medium.Archive = OpenRunArchive(start, medium.Probe, *medium.Settings, medium.SourceDir);
  }
  return medium;
}

TSetupStart StartForMedium(const std::string& path) {
  if (platform::DirectoryExists(path)) return {std::string(), settings::AppendPathDelimiter(path)};
  if (IsExecutable(path)) return {path, std::string()};
  return {std::string(), path};
}

std::string InspectedMedium(const std::string& path) {
  if (!platform::DirectoryExists(path)) return path;
  const std::string folder = settings::AppendPathDelimiter(path);
  if (platform::FileExists(folder + ArchiveFileName)) return path;
  const std::string program = folder + SetupProgramName;
  if (!platform::FileExists(program)) return path;
  const TProgramArchive probe = ProbeProgram(program);
  return probe.ArchiveInResource || probe.ArchiveAppended ? program : path;
}

TMediumArchive OpenMediumArchive(const std::string& path) {
  const TSetupStart start = StartForMedium(path);
  const TProgramArchive probe = ProbeProgram(start.ProgramFile);
  // The run's table without the settings: an appended archive is the one
  // an add-on's settings would point at.
  settings::TMoraInstallSet assumed;
  assumed.AddOnPackage = probe.ArchiveAppended ? 1 : 0;
  const std::string sourceDir =
      probe.ArchiveInResource || probe.ArchiveAppended ? std::string() : FolderSourceDir(start);
  TMediumArchive result = OpenRunArchive(start, probe, assumed, sourceDir);
  if (result.Placement == TArchivePlacement::None) {
    if (!start.ProgramFile.empty()) {
      throw EMediumMissing(path + ": the program carries no archive, and " + result.ArchiveFile +
                           " does not exist");
    }
    throw EMediumMissing(result.ArchiveFile + " does not exist");
  }
  // Entries come from the archive only, never from loose files beside it.
  result.Archive->BaseFolder.clear();
  return result;
}

std::unique_ptr<settings::TMoraInstallSet> LoadSettingsOfMedium(const std::string& path) {
  return InspectMediumSettings(path).Settings;
}

TMediumSettings InspectMediumSettings(const std::string& path) {
  const TSetupStart start = StartForMedium(path);
  return LoadSettings(start, ProbeProgram(start.ProgramFile), true);
}

}  // namespace mora::installer
