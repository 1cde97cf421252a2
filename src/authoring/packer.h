// Building complete media from a manifest: one folder per disk holding its
// setup program, its install.dat and its archive (game.dat, game.dat with
// game.ext, or, on the first disk, appended to the setup program or inside
// it as the resource "BINTYPE"/"DUMMY"), and its loose files. The sizes of
// the parts per disk and their totals are computed from what is put on each
// disk; every disk is checked against its capacity.
// Everything that can be checked before writing is checked first; problems
// throw EManifestError naming the manifest field. Disk folders must not
// exist yet or be empty; a failure while writing removes every file and
// folder this run created (and nothing else). Stream errors pass through.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "authoring/manifest.h"
#include "settings/installset.h"

namespace mora::authoring {

struct TPackOptions {
  std::string OutputFolder;  // 932 drive path; created when missing
  std::string SetupProgram;  // overrides the manifest's when not empty
};

struct TPackedFile {
  std::string Name;  // relative to the disk's folder
  std::int64_t Size = 0;
};

struct TPackedDisk {
  std::string Folder;  // 932 drive path, with trailing "\"
  std::int64_t Capacity = 0;
  std::int64_t Used = 0;  // every file rounded up to whole blocks
  std::int64_t ProgramSize = 0;
  std::int64_t DataSize = 0;
  std::int64_t SoundSize = 0;
  std::int64_t MovieSize = 0;
  std::vector<TPackedFile> Files;  // everything on the disk
};

struct TPackReport {
  std::vector<TPackedDisk> Disks;
  // The settings as written (those of the first disk).
  settings::TMoraInstallSet Settings;
};

// The installation's kind of a loose file by its name's extension, as the
// engine tells it: 1 sound (".mp2.mp3.wma.wav.mid.ogg"), 2 movie
// (".avi.wmv.asf.mpg.mpeg"), 0 anything else. The lower-cased extension is
// looked for anywhere inside the list, so ".mp" counts as sound.
int MediaKindOfName(const std::string& name);

TPackReport PackMedia(const TManifest& manifest, const TPackOptions& options);

// A byte count with its digits grouped by "," in threes, as the messages
// and the command's report show sizes.
std::string Thousands(std::int64_t value);

}  // namespace mora::authoring
