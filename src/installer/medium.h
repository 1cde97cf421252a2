// Opening a medium as the setup program does at its start: the probe of its
// own file for an archive, the settings (install.dat from that archive, from
// an archive file named by the first argument, or from the medium folder)
// and the archive of the installation run; plus the same for mora, given a
// medium as a folder, a game.dat or a setup program. Damaged data, an empty
// resource and a missing install.dat entry throw as the readers do
// (EDamagedData, EResNotFound, "%s:ファイルがありません"); a medium without
// what a command needs throws EMediumMissing.
#pragma once

#include <memory>
#include <string>

#include "archive/vrfiles.h"
#include "base/errors.h"
#include "settings/installset.h"

namespace mora::installer {

// The resource of the setup program that holds a whole archive, and the
// archive's own first bytes by which it is recognised there.
constexpr const char* ArchiveResourceName = "DUMMY";
constexpr const char* ArchiveResourceType = "BINTYPE";
constexpr std::string_view ArchiveResourceMagic = "vf";
// The two bytes that end a setup program carrying an appended archive.
constexpr std::string_view AppendedArchiveMark = "mr";
constexpr const char* SettingsFileName = "install.dat";
constexpr const char* ArchiveFileName = "game.dat";
// The setup program's name on a medium.
constexpr const char* SetupProgramName = "setup.exe";

// Where a medium keeps something mora was asked for: no install.dat in the
// folder, no archive anywhere.
class EMediumMissing : public base::Exception {
 public:
  using base::Exception::Exception;
};

// How a setup program was started: its own file, and its first argument
// ("" when there is none). mora, given a medium folder, acts as a program
// without a file of its own, started with that folder.
struct TSetupStart {
  std::string ProgramFile;
  std::string FirstArgument;
};

// What the setup program's own file carries. ArchiveInResource: the resource
// exists and its first two bytes are "vf"; only when it does not,
// ArchiveAppended: the file's last two bytes are "mr". A program file that
// cannot be loaded as a module or read carries nothing.
struct TProgramArchive {
  bool ArchiveInResource = false;
  bool ArchiveAppended = false;
};
TProgramArchive ProbeProgram(const std::string& programFile);

// Where the settings came from: the first case that applies.
enum class TSettingsCase {
  Resource,   // the install.dat entry of the program's resource archive
  Appended,   // the install.dat of the program's appended archive (a loose file beside it wins)
  NamedFile,  // the install.dat of the archive file named by the first argument (likewise)
  Folder,     // the file install.dat in SourceDir
};

struct TMediumSettings {
  TSettingsCase Case = TSettingsCase::Folder;
  // The first argument, or (folder case without one) the program's folder
  // with its trailing "\"; empty when the settings came from the program.
  std::string SourceDir;
  // Folder case: the file looked for.
  std::string SettingsFile;
  // nullptr only in the folder case when SettingsFile does not exist: start-up
  // shows "インストール設定ファイルがありません" and ends.
  std::unique_ptr<settings::TMoraInstallSet> Settings;

  bool SettingsMissing() const { return Settings == nullptr; }
};

// Loads the settings as start-up does once the program has been probed. The
// archive opened to read install.dat is closed again before this returns.
TMediumSettings LoadMediumSettings(const TSetupStart& start, const TProgramArchive& probe);

// Where an archive lies.
enum class TArchivePlacement {
  None,      // no archive: only loose files in a folder of the archive's name
  Resource,  // the setup program's resource
  Appended,  // behind the setup program
  File,      // a file of its own (game.dat), with volumes and companion .ext
};

struct TMediumArchive {
  TArchivePlacement Placement = TArchivePlacement::None;
  // The file that holds the archive (the program, or game.dat), or, without
  // an archive, the name that was looked for.
  std::string ArchiveFile;
  // Always a collection, except in a TMedium opened in uninstall mode.
  std::unique_ptr<archive::TVrFileCollection> Archive;
};

// The archive of the installation run, the first case that applies: the
// program's resource; the program's own file when the settings ask for it
// (AddOnPackage); the file SourceDir names; SourceDir + "game.dat". When that
// file does not exist the collection has no stream and serves only loose
// files in a folder of that name. A run that needs the program's own file
// when there is none (mora given a folder) throws EMediumMissing.
TMediumArchive OpenRunArchive(const TSetupStart& start, const TProgramArchive& probe,
                              const settings::TMoraInstallSet& settings,
                              const std::string& sourceDir);

// A medium opened whole, as the setup program started that way would open
// it. No archive is opened in uninstall mode, where the program needs none.
struct TMedium {
  TSetupStart Start;
  TProgramArchive Probe;
  TSettingsCase SettingsCase = TSettingsCase::Folder;
  std::string SourceDir;
  std::unique_ptr<settings::TMoraInstallSet> Settings;
  TMediumArchive Archive;
};

// Probe, settings and archive of the run in one call. A missing install.dat
// throws EMediumMissing with "インストール設定ファイルがありません".
TMedium OpenMedium(const TSetupStart& start);

// How mora takes a path given as a medium: a folder is what the setup
// program gets as its first argument; an executable (a Windows or a native
// program) is a setup program started without one; any other file is an
// archive named by the first argument.
TSetupStart StartForMedium(const std::string& path);

// The archive of a medium for inspection: the program's resource, else its
// appended archive, else the archive file named, else the folder's game.dat
// (a setup program without an archive stands for its own folder). Its
// entries come from the archive alone (BaseFolder is empty). Throws
// EMediumMissing when there is no archive.
TMediumArchive OpenMediumArchive(const std::string& path);

// The path that a medium given for inspection (mora info, list, extract,
// test) stands for: a folder without game.dat whose setup.exe carries the
// archive is that setup program, as the user starting it from the medium
// would meet the title; any other path is itself.
std::string InspectedMedium(const std::string& path);

// The settings of a medium given as a path, as the setup program would load
// them; nullptr when it has none (no install.dat in the folder or archive).
std::unique_ptr<settings::TMoraInstallSet> LoadSettingsOfMedium(const std::string& path);
// The same with where they came from (Settings nullptr when there are none).
TMediumSettings InspectMediumSettings(const std::string& path);

}  // namespace mora::installer
