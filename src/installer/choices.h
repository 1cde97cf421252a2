// What an installation starts from before the copy step runs: the default
// destination, the disks and parts chosen at start, the bytes the chosen
// parts need, the destination check and the free space. Computed from the
// settings alone, so the wizard and mora install offer the same defaults and
// refuse the same destinations. Nothing here throws for a failing system
// call; a damaged install.dat at the destination counts as no installation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mora::settings {
class TMoraInstallSet;
}

namespace mora::installer {

// The destination proposed at start (without a trailing "\") and the
// sub-path appended to a folder chosen later ("" when the destination
// already exists or came from "InstallPath").
struct TDefaultDestination {
  std::string Dest;
  std::string SubFolder;
};

// The stored "InstallPath" when it names an existing folder; else DefaultDir
// below the Program Files folder (a DefaultDir beginning with
// "<ProgramFiles>", the folder read only on a system whose major version,
// the low byte of windowsVersion, is above 3) or on the Windows folder's
// drive.
TDefaultDestination DefaultDestination(const settings::TMoraInstallSet& settings,
                                       std::uint32_t windowsVersion);

// A folder, or a bare drive ("C:") taken as its root.
bool FolderExists(const std::string& path);

// The parts besides the program part, which is always installed.
struct TPartChoice {
  bool Data = false;
  bool Sound = false;
  bool Movie = false;
};

// Every disk of the set when started from its first disk (DiskIndex 0 of
// more than one); otherwise only the current disk.
bool DefaultAllDisks(const settings::TMoraInstallSet& settings);
// A full setup (SetupKind 1) checks every part; any other starts with none.
TPartChoice DefaultParts(const settings::TMoraInstallSet& settings);

// Part numbers of the size fields.
constexpr int PartProgram = 0;
constexpr int PartData = 1;
constexpr int PartSound = 2;
constexpr int PartMovie = 3;

// The size of a part: its total over all disks, or the current disk's entry
// of the per-disk array (0 when DiskIndex lies outside the array).
std::int64_t PartSize(const settings::TMoraInstallSet& settings, bool allDisks, int part);

// Bytes the chosen parts need: all four totals for an add-on whatever was
// chosen; the totals of the program and the chosen parts for all disks or a
// full setup; else the same over the current disk's entries. Sums wrap as
// 64-bit integers.
std::int64_t RequiredBytesFor(const settings::TMoraInstallSet& settings, bool allDisks,
                              const TPartChoice& parts);

// The destination with a trailing "\": the Windows folder for SetupKind 2,
// else the chosen folder.
std::string DestDirFor(const settings::TMoraInstallSet& settings, const std::string& chosen);

enum class TDestinationCheck {
  Ok,
  TooShort,           // 3 characters or fewer ("C:\")
  NotAnInstallation,  // an add-on whose destination holds no install.dat of its title
};
// Whether the chosen folder (as typed, without the trailing "\" added)
// may take the installation.
TDestinationCheck CheckDestination(const settings::TMoraInstallSet& settings,
                                   const std::string& chosen);

// Free megabytes of a drive from the bytes available on its root ("C:\"):
// 0 when the query fails (negative), at most INT32_MAX.
std::int32_t FreeMegabytes(char driveLetter,
                           const std::function<std::int64_t(const std::string&)>& diskFreeBytes);

// Whole megabytes the chosen parts need (two integer divisions, as the free
// space is compared).
inline std::int64_t NeededMegabytes(std::int64_t requiredBytes) {
  return requiredBytes / 1024 / 1024;
}

}  // namespace mora::installer
