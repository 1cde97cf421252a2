// What an installation would do, worked out without writing anything (the
// dry run of mora install): the old archive files the copy step deletes, the
// files it writes with their sizes, the record it saves, the registry value,
// the program group and the read-me. The plan walks the disks as the copy
// step does and takes its decisions from the same functions (engine.h); a
// further disk is read from the folder the caller names for it. Damaged data
// throws as in the copy step (EDamagedData, EStreamError).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "installer/engine.h"
#include "installer/shortcuts.h"

namespace mora::installer {

struct TPlannedFile {
  std::string Name;  // relative to the destination
  std::int64_t Size = 0;
};

// One disk question of a run: the disk (0-based) and the folder that was
// given for it ("" when none was).
struct TDiskQuestion {
  int Disk = 0;
  std::string Folder;
};

struct TInstallPlan {
  std::string DestDir;                      // with a trailing "\"
  std::vector<std::string> Deleted;         // old archive files (relative), deleted first
  std::vector<TPlannedFile> Files;          // every file written, once, with its final size
  std::vector<std::string> InstalledFiles;  // the list install.dat would record
  bool DataInstalled = false;
  bool WritesRecord = false;  // install.dat in the destination
  std::string RegistryKey;    // below HKEY_CURRENT_USER; "" when nothing is written
  std::string RegistryValue;
  std::string RegistryData;
  std::string ProgramGroup;  // "" when no group is made
  std::vector<TProgramGroupLink> Links;
  std::string Readme;  // opened at the end; "" for none
  std::vector<TDiskQuestion> DiskQuestions;
  // The first disk that was asked for and not given: the run would end
  // there (and so does the plan, whose later parts are then missing); -1
  // when every disk was there.
  int MissingDisk = -1;

  std::int64_t WrittenBytes() const;
};

// Names the folder of a further disk (0-based) each time the disk is asked
// for; "" when there is none. A folder whose install.dat is not that disk of
// the title is passed over and the disk asked for again.
using TDiskFolderSource = std::function<std::string(int disk)>;

TInstallPlan PlanInstallation(const settings::TMoraInstallSet& settings,
                              archive::TVrFileCollection* mediumArchive,
                              const TInstallRequest& request, const TDiskFolderSource& diskFolder);

}  // namespace mora::installer
