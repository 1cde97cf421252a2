// mora info MEDIUM [--json]: what a medium holds, as the setup program finds
// it: the settings (title, disks, parts and their sizes, flags) and where
// they came from, where the archive lies and in which placement, and the
// background picture. MEDIUM is a medium folder, a game.dat, or a setup
// program carrying the archive appended or as its resource. A medium with
// neither settings nor an archive exits with ExitMissing, damaged data with
// ExitDamaged (cli/common.h).
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/binary.h"
#include "cli/commands.h"
#include "installer/medium.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/streams.h"
#include "settings/installset.h"

namespace mora::cli {
namespace {

using nlohmann::ordered_json;
using settings::TMoraInstallSet;

ordered_json Text(const std::string& text932) { return ToTerminal(text932); }

std::string Native(const std::string& path932) { return platform::PathToNative(path932); }

const char* SettingsSourceName(installer::TSettingsCase settingsCase) {
  switch (settingsCase) {
    case installer::TSettingsCase::Resource: return "resource";
    case installer::TSettingsCase::Appended: return "appended";
    case installer::TSettingsCase::NamedFile: return "archive";
    case installer::TSettingsCase::Folder: break;
  }
  return "folder";
}

const char* PlacementName(installer::TArchivePlacement placement) {
  switch (placement) {
    case installer::TArchivePlacement::Resource: return "resource";
    case installer::TArchivePlacement::Appended: return "appended";
    case installer::TArchivePlacement::File: return "file";
    case installer::TArchivePlacement::None: break;
  }
  return "none";
}

const char* LayoutName(int layout) {
  switch (layout) {
    case 0: return "centred";
    case 1: return "stretched";
    case 2: return "tiled";
    default: return "not drawn";
  }
}

const char* SetupKindName(int kind) {
  switch (kind) {
    case 1: return "full";
    case 2: return "into the Windows folder";
    default: return "ordinary";
  }
}

// The mode flags that are set, by their field names.
std::vector<std::string> SetFlags(const TMoraInstallSet& s) {
  std::vector<std::string> flags;
  const std::pair<const char*, std::uint8_t> all[] = {
      {"ShowReadme", s.ShowReadme},       {"ShowRuntimeButtons", s.ShowRuntimeButtons},
      {"UninstallMode", s.UninstallMode}, {"AddOnPackage", s.AddOnPackage},
      {"DataInstalled", s.DataInstalled}, {"FilesInArchive", s.FilesInArchive},
      {"SpareFlag", s.SpareFlag}};
  for (const auto& [name, value] : all) {
    if (value != 0) flags.push_back(name);
  }
  return flags;
}

// The archive as found, summed up.
struct TArchiveInfo {
  installer::TArchivePlacement Placement = installer::TArchivePlacement::None;
  std::string File;             // the file that holds it (932 path)
  std::string Companion;        // the ".ext" directory file, when the directory lies there
  int Volumes = 0;              // volume files .001 ... beside a separate file
  std::int64_t Directory = -1;  // position of an appended archive's directory
  int Entries = 0;
  std::int64_t StoredBytes = 0;
  bool HasPicture = false;
};

// Position of the directory that an executable's trailer names.
std::int64_t AppendedDirectory(const std::string& file) {
  platform::TFileStream stream(file, platform::TFileStream::TMode::OpenRead);
  const std::int64_t size = stream.Size();
  if (size < 6) return -1;
  stream.SetPosition(size - 6);
  char trailer[4];
  stream.ReadBuffer(trailer, sizeof trailer);
  return base::TLittleEndianReader(trailer, sizeof trailer, file).ReadInt32("directory position");
}

TArchiveInfo InspectArchive(const installer::TMediumArchive& medium,
                            const TMoraInstallSet* settings) {
  TArchiveInfo info;
  info.Placement = medium.Placement;
  info.File = medium.ArchiveFile;
  const archive::TVrFileCollection& collection = *medium.Archive;
  for (int i = 0; i < collection.Count(); ++i) {
    const archive::TVrFile& file = collection.Entries(i);
    if (file.Name() == archive::SentinelName) continue;
    ++info.Entries;
    info.StoredBytes += file.Size;
  }
  if (medium.Placement == installer::TArchivePlacement::File) {
    const std::string companion = archive::CompanionFileName(medium.ArchiveFile);
    if (platform::FileExists(companion)) info.Companion = companion;
    if (const auto* stream = dynamic_cast<const archive::TQsBigFileStream*>(collection.Stream())) {
      info.Volumes = stream->VolumeCount() - 1;
    }
  }
  if (medium.Placement == installer::TArchivePlacement::Appended) {
    info.Directory = AppendedDirectory(medium.ArchiveFile);
  }
  info.HasPicture = settings != nullptr && !settings->BackgroundPicture.empty() &&
                    collection.IndexOf(settings->BackgroundPicture) >= 0;
  return info;
}

ordered_json SettingsJson(const installer::TMediumSettings& loaded) {
  const TMoraInstallSet& s = *loaded.Settings;
  ordered_json out;
  out["source"] = SettingsSourceName(loaded.Case);
  if (loaded.Case == installer::TSettingsCase::Folder) out["file"] = Text(loaded.SettingsFile);
  out["format"] = s.FormatVersion();
  out["title"] = Text(s.Title);
  out["caption"] = Text(s.GetSetupCaption());
  out["disk"] = s.DiskIndex + 1;
  out["diskCount"] = s.DiskCount();
  out["mediaName"] = Text(s.MediaName);
  out["defaultDir"] = Text(s.DefaultDir);
  out["programFile"] = Text(s.ProgramFile);
  out["readmeFile"] = Text(s.ReadmeFile);
  out["registryKey"] = Text(s.RegistryKey);
  out["setupKind"] = s.SetupKind;
  out["flags"] = SetFlags(s);
  auto disks = ordered_json::array();
  for (int d = 0; d < s.DiskCount(); ++d) {
    const auto u = static_cast<std::size_t>(d);
    disks.push_back({{"program", s.DiskProgramSizes()[u]},
                     {"data", s.DiskDataSizes()[u]},
                     {"sound", s.DiskSoundSizes()[u]},
                     {"movie", s.DiskMovieSizes()[u]}});
  }
  out["parts"] = {{"disks", std::move(disks)},
                  {"total",
                   {{"program", s.ProgramSize},
                    {"data", s.DataSize},
                    {"sound", s.SoundSize},
                    {"movie", s.MovieSize}}}};
  out["plainFiles"] = s.PlainFiles.size();
  return out;
}

ordered_json ArchiveJson(const TArchiveInfo& info) {
  ordered_json out;
  out["placement"] = PlacementName(info.Placement);
  out["file"] = Text(info.File);
  out["companion"] = info.Companion.empty() ? ordered_json() : Text(info.Companion);
  out["volumes"] = info.Volumes;
  out["directoryOffset"] = info.Directory >= 0 ? ordered_json(info.Directory) : ordered_json();
  out["entries"] = info.Entries;
  out["storedBytes"] = info.StoredBytes;
  return out;
}

void PrintSizes(const char* label, std::int64_t program, std::int64_t data, std::int64_t sound,
                std::int64_t movie) {
  std::cout << "  " << label << ": program " << program << ", data " << data << ", sound " << sound
            << ", movie " << movie << "\n";
}

void PrintText(const installer::TMediumSettings& loaded, const TArchiveInfo* archive) {
  if (loaded.Settings) {
    const TMoraInstallSet& s = *loaded.Settings;
    std::cout << "Title:       " << ToTerminal(s.Title) << "\n"
              << "Settings:    ";
    switch (loaded.Case) {
      case installer::TSettingsCase::Folder: std::cout << Native(loaded.SettingsFile); break;
      default:
        std::cout << "install.dat in the archive (" << SettingsSourceName(loaded.Case) << ")";
        break;
    }
    std::cout << ", format " << s.FormatVersion() << "\n"
              << "Disk:        " << s.DiskIndex + 1 << " of " << s.DiskCount();
    if (!s.MediaName.empty()) std::cout << " (" << ToTerminal(s.MediaName) << ")";
    std::cout << "\n"
              << "Setup kind:  " << static_cast<int>(s.SetupKind) << " ("
              << SetupKindName(s.SetupKind) << ")\n"
              << "Flags:      ";
    const std::vector<std::string> flags = SetFlags(s);
    if (flags.empty()) std::cout << " none";
    for (const std::string& flag : flags) std::cout << " " << flag;
    std::cout << "\n"
              << "Folder:      " << ToTerminal(s.DefaultDir) << "\n"
              << "Program:     " << ToTerminal(s.ProgramFile) << "\n";
    if (!s.RegistryKey.empty()) {
      std::cout << "Registry:    HKEY_CURRENT_USER\\Software\\" << ToTerminal(s.RegistryKey)
                << "\n";
    }
    std::cout << "Parts (bytes):\n";
    for (int d = 0; d < s.DiskCount(); ++d) {
      const auto u = static_cast<std::size_t>(d);
      const std::string label = "disk " + std::to_string(d + 1);
      PrintSizes(label.c_str(), s.DiskProgramSizes()[u], s.DiskDataSizes()[u],
                 s.DiskSoundSizes()[u], s.DiskMovieSizes()[u]);
    }
    PrintSizes("total", s.ProgramSize, s.DataSize, s.SoundSize, s.MovieSize);
    if (!s.PlainFiles.empty()) {
      std::cout << "Loose files: " << s.PlainFiles.size() << " copied from the medium\n";
    }
  } else {
    std::cout << "Settings:    none (no install.dat)\n";
  }
  if (archive == nullptr) {
    std::cout << "Archive:     none\n";
  } else {
    std::cout << "Archive:     " << Native(archive->File) << " ("
              << PlacementName(archive->Placement);
    if (archive->Placement == installer::TArchivePlacement::Resource) {
      std::cout << " " << installer::ArchiveResourceType << "/" << installer::ArchiveResourceName;
    }
    if (archive->Directory >= 0) std::cout << ", directory at " << archive->Directory;
    if (!archive->Companion.empty()) {
      std::cout << ", directory in " << Native(archive->Companion);
    }
    if (archive->Volumes > 0) std::cout << ", " << archive->Volumes << " volume files";
    std::cout << ")\n"
              << "             " << archive->Entries << " entries, " << archive->StoredBytes
              << " bytes stored\n";
  }
  if (loaded.Settings) {
    const TMoraInstallSet& s = *loaded.Settings;
    if (s.BackgroundPicture.empty()) {
      std::cout << "Background:  none\n";
    } else {
      std::cout << "Background:  " << ToTerminal(s.BackgroundPicture) << " ("
                << LayoutName(s.BackgroundLayout) << ", seed " << s.PictureSeed << ", "
                << (archive != nullptr && archive->HasPicture ? "in the archive"
                                                              : "not in the archive")
                << ")\n";
    }
  }
}

int ShowInfo(const std::string& argument, bool json) {
  const std::string given = PathArgument(argument);
  if (const auto missing = CheckInputExists(argument, given)) return *missing;
  try {
    const std::string path = installer::InspectedMedium(given);
    installer::TMediumSettings loaded = installer::InspectMediumSettings(path);
    std::optional<TArchiveInfo> archive;
    try {
      const installer::TMediumArchive medium = installer::OpenMediumArchive(path);
      archive = InspectArchive(medium, loaded.Settings.get());
    } catch (const installer::EMediumMissing&) {
      if (!loaded.Settings) throw;
    }
    if (!json) {
      std::cout << "Medium:      " << Native(path) << "\n";
      PrintText(loaded, archive ? &*archive : nullptr);
      return ExitOk;
    }
    ordered_json out;
    out["medium"] = Text(path);
    out["settings"] = loaded.Settings ? SettingsJson(loaded) : ordered_json();
    out["archive"] = archive ? ArchiveJson(*archive) : ordered_json();
    if (loaded.Settings && !loaded.Settings->BackgroundPicture.empty()) {
      const TMoraInstallSet& s = *loaded.Settings;
      out["background"] = {{"entry", Text(s.BackgroundPicture)},
                           {"layout", LayoutName(s.BackgroundLayout)},
                           {"seed", s.PictureSeed},
                           {"inArchive", archive && archive->HasPicture}};
    } else {
      out["background"] = nullptr;
    }
    std::cout << out.dump(2) << "\n";
    return ExitOk;
  } catch (...) {
    return ReportFailure(std::current_exception());
  }
}

const TCommandRegistration Registration(15, [](CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand(
      "info", "Show what a medium holds: title, disks, parts, flags, archive and picture");
  auto medium = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  command
      ->add_option("MEDIUM", *medium,
                   "A medium folder, a game.dat, or a setup program carrying the archive")
      ->required();
  command->add_flag("--json", *json, "Print one JSON object");
  command->callback([medium, json, &exitCode] { exitCode = ShowInfo(*medium, *json); });
});

}  // namespace
}  // namespace mora::cli
