// Defaults and checks of an installation computed from the settings.
#include "installer/choices.h"

#include <algorithm>
#include <limits>
#include <span>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::installer {

namespace {

std::string StripOneLeading(std::string text) {
  if (!text.empty() && base::IsPathDelimiter(text, 0)) text.erase(0, 1);
  return text;
}

std::string StripOneTrailing(std::string text) {
  if (base::EndsWithPathDelimiter(text)) text.pop_back();
  return text;
}

// Wrapping 64-bit sum, as the sizes of the settings file add up.
std::int64_t Add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

}  // namespace

bool FolderExists(const std::string& path) {
  if (path.size() == 2 && path[1] == ':') return platform::DirectoryExists(path + "\\");
  return platform::DirectoryExists(path);
}

TDefaultDestination DefaultDestination(const settings::TMoraInstallSet& settings,
                                       std::uint32_t windowsVersion) {
  static const std::string ProgramFilesMark = "<ProgramFiles>";
  TDefaultDestination result;
  const std::string installPath = settings.ReadRegString("InstallPath", "");
  if (!installPath.empty() && FolderExists(installPath)) {
    result.Dest = installPath;
  } else if (settings.DefaultDir.compare(0, ProgramFilesMark.size(), ProgramFilesMark) == 0) {
    std::string base;
    if ((windowsVersion & 0xFF) > 3) base = platform::ProgramFilesFolder();
    base = StripOneTrailing(base);
    result.SubFolder =
        StripOneTrailing(StripOneLeading(settings.DefaultDir.substr(ProgramFilesMark.size())));
    result.Dest = base + "\\" + result.SubFolder;
  } else {
    const std::string windows = platform::WindowsFolder();
    result.Dest = std::string(windows.empty() ? "C" : windows.substr(0, 1)) + ":\\" +
                  StripOneLeading(settings.DefaultDir);
    result.SubFolder = StripOneTrailing(StripOneLeading(settings.DefaultDir));
  }
  result.Dest = StripOneTrailing(result.Dest);
  if (FolderExists(result.Dest)) result.SubFolder.clear();
  return result;
}

bool DefaultAllDisks(const settings::TMoraInstallSet& settings) {
  return settings.DiskIndex == 0 && settings.DiskCount() > 1;
}

TPartChoice DefaultParts(const settings::TMoraInstallSet& settings) {
  TPartChoice parts;
  if (settings.SetupKind == 1) parts.Data = parts.Sound = parts.Movie = true;
  return parts;
}

std::int64_t PartSize(const settings::TMoraInstallSet& settings, bool allDisks, int part) {
  if (allDisks) {
    switch (part) {
      case PartProgram: return settings.ProgramSize;
      case PartData: return settings.DataSize;
      case PartSound: return settings.SoundSize;
      default: return settings.MovieSize;
    }
  }
  std::span<const std::int64_t> sizes;
  switch (part) {
    case PartProgram: sizes = settings.DiskProgramSizes(); break;
    case PartData: sizes = settings.DiskDataSizes(); break;
    case PartSound: sizes = settings.DiskSoundSizes(); break;
    default: sizes = settings.DiskMovieSizes(); break;
  }
  // A damaged or hand-made install.dat may name a disk beyond its arrays.
  const std::int32_t disk = settings.DiskIndex;
  if (disk < 0 || static_cast<std::size_t>(disk) >= sizes.size()) return 0;
  return sizes[static_cast<std::size_t>(disk)];
}

std::int64_t RequiredBytesFor(const settings::TMoraInstallSet& settings, bool allDisks,
                              const TPartChoice& parts) {
  if (settings.AddOnPackage != 0) {
    return Add(Add(Add(settings.ProgramSize, settings.DataSize), settings.SoundSize),
               settings.MovieSize);
  }
  const bool totals = allDisks || settings.SetupKind == 1;
  std::int64_t bytes = PartSize(settings, totals, PartProgram);
  if (parts.Data) bytes = Add(bytes, PartSize(settings, totals, PartData));
  if (parts.Sound) bytes = Add(bytes, PartSize(settings, totals, PartSound));
  if (parts.Movie) bytes = Add(bytes, PartSize(settings, totals, PartMovie));
  return bytes;
}

std::string DestDirFor(const settings::TMoraInstallSet& settings, const std::string& chosen) {
  if (settings.SetupKind == 2) return settings::AppendPathDelimiter(platform::WindowsFolder());
  return settings::AppendPathDelimiter(chosen);
}

TDestinationCheck CheckDestination(const settings::TMoraInstallSet& settings,
                                   const std::string& chosen) {
  if (chosen.size() <= 3) return TDestinationCheck::TooShort;
  if (settings.AddOnPackage == 0) return TDestinationCheck::Ok;
  const std::string installed = DestDirFor(settings, chosen) + "install.dat";
  if (!platform::FileExists(installed)) return TDestinationCheck::NotAnInstallation;
  try {
    settings::TMoraInstallSet existing;
    existing.LoadFromFile(installed);
    if (existing.Title == settings.Title) return TDestinationCheck::Ok;
  } catch (const base::Exception&) {
    // A damaged install.dat is no installation to add to.
  }
  return TDestinationCheck::NotAnInstallation;
}

std::int32_t FreeMegabytes(char driveLetter,
                           const std::function<std::int64_t(const std::string&)>& diskFreeBytes) {
  if (driveLetter == 0) return 0;
  const std::int64_t bytes = diskFreeBytes(std::string(1, driveLetter) + ":\\");
  if (bytes < 0) return 0;
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(bytes / 1048576, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace mora::installer
