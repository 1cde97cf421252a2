// The manifest of a title's media: a JSON file (comments allowed) with the
// title's settings, the setup program, the archive's placement, the
// background picture and the disks with their files. Reading checks every
// field's type and range and that every source file exists; folders given as
// sources are expanded into their files. Paths are relative to the
// manifest's folder; names and texts are UTF-8 and become code page 932.
// Every problem throws EManifestError "field: problem", the field named by
// its JSON path ("disks[1].files[3].path: no such file").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "pictures/vintlayout.h"
#include "settings/installset.h"

namespace mora::authoring {

class EManifestError : public base::Exception {
 public:
  // What went wrong, for the command's exit code.
  enum class TKind { Invalid, MissingFile, DoesNotFit };

  EManifestError(const std::string& field, const std::string& problem, TKind kind = TKind::Invalid)
      : base::Exception(field + ": " + problem), FField(field), FKind(kind) {}

  const std::string& Field() const { return FField; }
  TKind Kind() const { return FKind; }

 private:
  std::string FField;
  TKind FKind;
};

// Where a file goes: the four installable parts of the wizard, or onto the
// disk only (runtime installers, documents for the disk itself).
enum class TPart { Program, Data, Sound, Movie, Extra };

// Where the archive of the first disk lies; later disks always carry
// game.dat (with game.ext for the companion form), since the installation
// opens that file when it asks for the next disk.
enum class TPlacement { Separate, Companion, Appended, Resource };

const char* PartName(TPart part);
const char* PlacementName(TPlacement placement);

// CD-ROM: 650 MiB.
constexpr std::int64_t DefaultCapacity = 681574400;
// Files take whole blocks of the disk's file system (2 KiB on CD and DVD).
constexpr std::int64_t DefaultBlockSize = 2048;
// A title on more disks than this is surely a mistake in the manifest.
constexpr int MaxDisks = 99;

struct TManifestFile {
  std::string Field;   // JSON path of the file's entry, e.g. "disks[0].files[2]"
  std::string Source;  // the source file (932 drive path)
  std::string Name;    // on the medium, in the archive and installed (932, "\")
  TPart Part = TPart::Program;
  bool Stored = false;        // archive entries: the bytes as they are
  std::int32_t FileTime = 0;  // MS-DOS date-time; 0: the source file's own
  std::int64_t Size = 0;      // the source's size when the manifest was read
};

struct TManifestDisk {
  std::string Field;   // "disks[0]"
  std::string Folder;  // below the output folder (932)
  std::int64_t Capacity = DefaultCapacity;
  std::vector<TManifestFile> Files;  // folders expanded, in manifest order
};

struct TManifestPicture {
  std::string Source;     // PNG or JPEG (932 drive path)
  std::string Name;       // the archive entry; BackgroundPicture
  std::int32_t Seed = 0;  // PictureSeed
  bool Shuffled = true;
  // Unset: JPEG sources keep their JPEG stream, PNG sources are deflated.
  std::optional<pictures::vint::TCompression> Compression;
  int Quality = 90;  // when a PNG source is stored with the JPEG compression
  // Tile grid (both 0: rows only). Tiles that repeat an earlier tile of the
  // picture are stored as references to it.
  int TileWidth = 0;
  int TileHeight = 0;
};

struct TManifest {
  std::string FileName;  // the manifest itself (932 drive path)
  // The fields the author sets; DiskIndex, DiskCount, the sizes, PlainFiles,
  // BackgroundPicture and PictureSeed are filled in when the media are made.
  settings::TMoraInstallSet Settings;

  std::string SetupProgram;  // 932 drive path; empty when the manifest names none
  std::string SetupName = "setup.exe";
  // Put a copy of the setup program on the first disk as "install.exe"
  // (the uninstaller); unset: do so when the title needs one and lists none.
  std::optional<bool> Uninstaller;

  TPlacement Placement = TPlacement::Separate;
  bool PlacementGiven = false;
  bool Stored = false;  // the default of the files' "stored"
  int CompressionLevel = 6;

  std::optional<TManifestPicture> Picture;
  std::int64_t BlockSize = DefaultBlockSize;
  std::vector<TManifestDisk> Disks;
};

// Reads the manifest file; throws EManifestError (the field "manifest" for
// problems of the file as a whole).
TManifest LoadManifest(const std::string& fileName);
// The same from text; relative paths are taken from fileName's folder.
TManifest ParseManifest(const std::string& text, const std::string& fileName);

// game.001, game.002, ...: names of the volume files of a disk's archive.
bool IsArchiveVolumeName(const std::string& name);

// "2001-04-01 12:30:00" (local time) as an MS-DOS date-time; nullopt for
// text of another form or a time the format cannot hold (before 1980, after
// 2107). Seconds are rounded down to even.
std::optional<std::int32_t> ParseDosTime(const std::string& text);

// "650MiB", "700MB", "4.7GB", "cd", "dvd" or plain bytes; nullopt when the
// text is none of these.
std::optional<std::int64_t> ParseCapacity(const std::string& text);

}  // namespace mora::authoring
