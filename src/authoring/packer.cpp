#include "authoring/packer.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "archive/vrwriter.h"
#include "authoring/peresourcewriter.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "pictures/vintwriter.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/streams.h"

namespace mora::authoring {

namespace {

using TKind = EManifestError::TKind;

const std::string SettingsName = "install.dat";
const std::string ArchiveName = "game.dat";
const std::string UninstallerName = "install.exe";
const std::string ResourceName = "DUMMY";
const std::string ResourceType = "BINTYPE";

// A setup program that carries its archive is one file, and the archive's
// reader addresses one file only up to the volume size; beyond it the reader
// looks for volume files that a program never has.
constexpr std::int64_t SingleFileLimit = archive::TQsBigFileStream::VolumeSize;

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::int32_t DosTimeNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr || local->tm_year < 80) return 0;
  const auto date = static_cast<std::uint32_t>(((local->tm_year - 80) << 9) |
                                               ((local->tm_mon + 1) << 5) | local->tm_mday);
  const auto time = static_cast<std::uint32_t>((local->tm_hour << 11) | (local->tm_min << 5) |
                                               (local->tm_sec / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

bool IsTopLevel(const std::string& name) {
  return base::LastPathDelimiter(name) == std::string::npos;
}

enum class TStorage { Loose, Entry, InstallAsFile };

// The tiles of a surface (numbered row by row from the top) whose pixels
// repeat those of an earlier tile, each mapped to the first tile with the
// same pixels: they are stored as references, which is what makes a tiled
// picture with even areas (a sky, a plain border) smaller.
std::map<std::uint32_t, pictures::TVintTileRef> RepeatedTiles(const pictures::TDIBSurface& surface,
                                                              int tileWidth, int tileHeight) {
  std::map<std::uint32_t, pictures::TVintTileRef> refs;
  if (surface.Empty()) return refs;
  const auto grid =
      pictures::vint::MakeTileGrid(surface.Width(), surface.Height(), tileWidth, tileHeight);
  const int bits = surface.BitsPerPixel();
  std::map<std::string, std::uint32_t> firstWithPixels;
  for (std::uint64_t n = 0; n < grid.Count(); ++n) {
    const int top = grid.Top(n);
    const int width = grid.ClippedWidth(n);
    const int height = grid.ClippedHeight(n);
    const std::size_t offset = grid.ByteOffset(n, bits);
    const std::size_t rowBytes = pictures::TDIBSurface::PixelRowBytes(width, bits);
    // The clipped size leads the key, so an edge tile never matches a full one.
    std::string key = std::to_string(width) + "x" + std::to_string(height) + ":";
    for (int y = top; y < top + height; ++y) {
      key.append(reinterpret_cast<const char*>(surface.Row(y) + offset), rowBytes);
    }
    const auto [first, inserted] = firstWithPixels.emplace(std::move(key), std::uint32_t(n));
    if (!inserted) {
      refs[std::uint32_t(n)] = {pictures::vint::TileKindSameBitmap,
                                static_cast<std::int32_t>(first->second)};
    }
  }
  return refs;
}

// One file of a disk as planned, and then as written.
struct TItem {
  std::string Field;   // the manifest field that put it there
  std::string Source;  // the file to read; empty when Content holds the bytes
  const std::string* Content = nullptr;
  std::string Name;
  TPart Part = TPart::Program;
  TStorage Storage = TStorage::Loose;
  bool Stored = false;
  std::int32_t FileTime = 0;
  std::int64_t Size = 0;  // of the source, when planned
  // Once written: the bytes it takes on the disk (a loose file) or in the
  // archive (an entry), and the bytes it installs.
  std::int64_t Written = 0;
  std::int64_t Installed = 0;
};

struct TDiskPlan {
  const TManifestDisk* Disk = nullptr;
  int Index = 0;
  TPlacement Placement = TPlacement::Separate;
  std::string Folder;  // with trailing "\"
  std::vector<TItem> Items;
  bool SetupIsUninstaller = false;
  std::int64_t SettingsSize = 0;
  // Once written: the setup program's size, and the bytes each part
  // (program, data, sound, movie) installs from this disk.
  std::int64_t SetupWritten = 0;
  std::array<std::int64_t, 4> Sizes{};
};

// The archive of one disk while it is written.
struct TOpenArchive {
  std::unique_ptr<platform::TFileStream> File;  // the setup program carrying it
  std::unique_ptr<archive::TQsBigStream> Stream;
  std::unique_ptr<archive::TVrArchiveStreamWriter> Writer;
  std::unique_ptr<TPeResourceWriter> Pe;
};

// A big stream over part of one file: positions count from base, and the
// file must not grow past the single-file limit.
class TFileWindowStream : public archive::TQsBigStream {
 public:
  TFileWindowStream(platform::TStream& file, std::int64_t base)
      : FFile(file), FBase(base), FPosition(file.Size() - base) {}

  std::int64_t GetSize() override { return FFile.Size() - FBase; }
  std::int64_t GetPosition() override { return FPosition; }
  void SetPosition(std::int64_t position) override { FPosition = position; }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (count > SingleFileLimit - FBase - FPosition) {
      throw EManifestError(
          "archive.placement",
          "the setup program carrying the archive would pass " + Thousands(SingleFileLimit) +
              " bytes, the most one archive file may hold; use \"separate\" or \"companion\"",
          TKind::DoesNotFit);
    }
    FFile.SetPosition(FBase + FPosition);
    FFile.WriteBuffer(buffer, count);
    FPosition += count;
    return count;
  }
  std::int64_t Read(void* buffer, std::int64_t count) override {
    FFile.SetPosition(FBase + FPosition);
    const std::int64_t n = FFile.Read(buffer, count);
    FPosition += n;
    return n;
  }

 private:
  platform::TStream& FFile;
  std::int64_t FBase;
  std::int64_t FPosition;
};

// Files and folders this run made, so that a failure removes exactly them.
class TCreated {
 public:
  ~TCreated() {
    if (FKeep) return;
    for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) platform::DeleteFile(*it);
    for (auto it = FFolders.rbegin(); it != FFolders.rend(); ++it) platform::RemoveDirectory(*it);
  }
  void File(const std::string& path) { FFiles.push_back(path); }
  // Creates the folder with its missing parents, each one recorded.
  void Folder(const std::string& path) {
    std::string folder = path;
    while (base::EndsWithPathDelimiter(folder)) folder.pop_back();
    if (folder.empty() || platform::DirectoryExists(folder)) return;
    const std::size_t delimiter = base::LastPathDelimiter(folder);
    if (delimiter != std::string::npos) Folder(folder.substr(0, delimiter));
    if (!platform::CreateDirectory(folder) && !platform::DirectoryExists(folder)) {
      throw base::EFCreateError("cannot create the folder " + folder);
    }
    FFolders.push_back(folder);
  }
  void Keep() { FKeep = true; }

 private:
  std::vector<std::string> FFiles;
  std::vector<std::string> FFolders;
  bool FKeep = false;
};

class TPacker {
 public:
  TPacker(const TManifest& manifest, const TPackOptions& options)
      : FManifest(manifest), FSettings(manifest.Settings) {
    FSetupProgram = options.SetupProgram.empty() ? manifest.SetupProgram : options.SetupProgram;
    FSetupField = options.SetupProgram.empty() ? "setup.program" : "--setup";
    FOutput = options.OutputFolder;
    if (!base::EndsWithPathDelimiter(FOutput)) FOutput += '\\';
  }

  TPackReport Run() {
    Plan();
    TPackReport report;
    TCreated created;
    Write(created, report);
    created.Keep();
    return report;
  }

 private:
  // --- Planning: everything that can be known before writing ---

  void Plan() {
    if (FManifest.Settings.AddOnPackage != 0) {
      if (FManifest.PlacementGiven && FManifest.Placement != TPlacement::Appended) {
        throw EManifestError("archive.placement",
                             "an add-on package (AddOnPackage) carries its archive appended to "
                             "the setup program, where it looks for it; use \"appended\"");
      }
      FPlacement = TPlacement::Appended;
    } else {
      FPlacement = FManifest.Placement;
    }
    CheckSetupProgram();
    if (FManifest.Picture) EncodePicture();

    for (std::size_t d = 0; d < FManifest.Disks.size(); ++d) {
      TDiskPlan disk;
      disk.Disk = &FManifest.Disks[d];
      disk.Index = static_cast<int>(d);
      // Later disks are reached through the disk question, which opens
      // game.dat beside their install.dat.
      disk.Placement = d == 0 ? FPlacement
                              : (FPlacement == TPlacement::Companion ? TPlacement::Companion
                                                                     : TPlacement::Separate);
      disk.Folder = FOutput + disk.Disk->Folder + "\\";
      for (const TManifestFile& file : disk.Disk->Files) disk.Items.push_back(ItemOf(file));
      FDisks.push_back(std::move(disk));
    }
    PlanUninstaller();
    if (FPicture) {
      // Every disk carries the picture, so a setup started from any of
      // them shows it.
      for (TDiskPlan& disk : FDisks) {
        TItem item;
        item.Field = "picture";
        item.Content = &*FPicture;
        item.Name = FManifest.Picture->Name;
        item.Storage = TStorage::InstallAsFile;
        item.Stored = true;
        item.FileTime = platform::GetFileDosTime(FManifest.Picture->Source).value_or(0);
        item.Size = static_cast<std::int64_t>(FPicture->size());
        disk.Items.push_back(item);
      }
    }
    for (TDiskPlan& disk : FDisks) {
      CheckParts(disk);
      CheckNames(disk);
    }
    CheckAcrossDisks();
    CheckRequiredFiles();
    for (TDiskPlan& disk : FDisks) {
      disk.SettingsSize = static_cast<std::int64_t>(SettingsFor(disk).SaveToBytes().size());
      CheckFolder(disk);
      CheckCapacity(disk, false);
    }
  }

  void CheckSetupProgram() {
    if (FSetupProgram.empty()) {
      throw EManifestError("setup.program",
                           "missing: name the setup program here or give it with --setup");
    }
    if (!platform::FileExists(FSetupProgram)) {
      throw EManifestError(FSetupField, FSetupProgram + ": no such file", TKind::MissingFile);
    }
    FSetupSize = platform::GetFileSize(FSetupProgram).value_or(0);
    if (FSetupSize >= SingleFileLimit) {
      throw EManifestError(FSetupField, FSetupProgram + " is too large for a setup program");
    }
    // A setup program that already carries an archive would be read instead
    // of the disk's own.
    if (archive::HasAppendedArchive(FSetupProgram)) {
      throw EManifestError(FSetupField, FSetupProgram +
                                            " already carries an appended archive; give the "
                                            "setup program without one");
    }
    if (const auto module = platform::TModule::Load(FSetupProgram)) {
      const auto resource = module->FindResource(ResourceName, ResourceType);
      if (resource && resource->substr(0, 2) == archive::DirectoryMagic) {
        throw EManifestError(FSetupField, FSetupProgram +
                                              " already carries an archive as its resource; give "
                                              "the setup program without one");
      }
    }
    if (FPlacement == TPlacement::Resource) {
      try {
        FPe = std::make_unique<TPeResourceWriter>(platform::ReadFileBytes(FSetupProgram),
                                                  FSetupProgram);
        FPe->CheckRoom();
      } catch (const base::EDamagedData& e) {
        throw EManifestError(FSetupField,
                             "the resource placement needs a Windows program: " + e.Message());
      } catch (const base::ERangeError& e) {
        throw EManifestError(FSetupField, e.Message());
      }
    }
  }

  void EncodePicture() {
    const TManifestPicture& source = *FManifest.Picture;
    try {
      const std::string bytes = platform::ReadFileBytes(source.Source);
      pictures::TVintPictureSource picture;
      picture.Shuffled = source.Shuffled;
      const bool jpeg = pictures::IsJpegData(bytes);
      picture.Compression = source.Compression.value_or(
          jpeg ? pictures::vint::TCompression::Jpeg : pictures::vint::TCompression::Deflate);
      picture.Frames.push_back(pictures::FrameFromPicture(bytes, source.Source));
      for (auto& layer : picture.Frames.back().Layers) layer.JpegQuality = source.Quality;
      if (source.TileWidth > 0) {
        if (picture.Compression == pictures::vint::TCompression::Jpeg) {
          throw EManifestError("picture.tileWidth",
                               "tiles need the compression \"deflate\" or \"none\" (the source is "
                               "a JPEG file, kept as JPEG unless the compression says otherwise)");
        }
        picture.TileWidth = source.TileWidth;
        picture.TileHeight = source.TileHeight;
        for (auto& layer : picture.Frames.back().Layers) {
          layer.TileRefs = RepeatedTiles(layer.Colour, source.TileWidth, source.TileHeight);
        }
      }
      FPicture = pictures::WriteVint(picture, source.Seed);
    } catch (const base::EDamagedData& e) {
      throw EManifestError("picture.source", e.Message());
    } catch (const base::ERangeError& e) {
      throw EManifestError("picture.source", e.Message());
    }
  }

  TItem ItemOf(const TManifestFile& file) const {
    TItem item;
    item.Field = file.Field;
    item.Source = file.Source;
    item.Name = file.Name;
    item.Part = file.Part;
    item.Stored = file.Stored;
    item.FileTime = file.FileTime;
    item.Size = file.Size;
    if (file.Part == TPart::Data) {
      item.Storage = TStorage::Entry;
    } else if (file.Part != TPart::Extra && FSettings.FilesInArchive != 0) {
      item.Storage = TStorage::InstallAsFile;
    } else {
      item.Storage = TStorage::Loose;
    }
    return item;
  }

  bool NeedsUninstaller() const { return FSettings.SetupKind != 2 && FSettings.AddOnPackage == 0; }

  void PlanUninstaller() {
    const TItem* listed = nullptr;
    for (const TDiskPlan& disk : FDisks) {
      for (const TItem& item : disk.Items) {
        if (item.Part != TPart::Extra && item.Part != TPart::Data &&
            base::SameText932(item.Name, UninstallerName)) {
          listed = &item;
        }
      }
    }
    const bool wanted = FManifest.Uninstaller.value_or(NeedsUninstaller() && listed == nullptr);
    if (!wanted) {
      if (NeedsUninstaller() && listed == nullptr) {
        throw EManifestError("setup.uninstaller",
                             "the uninstall shortcut starts \"install.exe\" in the installation "
                             "folder, and no disk installs one; set it to true or list one");
      }
      return;
    }
    if (listed != nullptr) {
      throw EManifestError("setup.uninstaller",
                           "\"install.exe\" is already listed (" + listed->Field + ")");
    }
    TDiskPlan& first = FDisks.front();
    if (base::SameText932(FManifest.SetupName, UninstallerName)) {
      // The setup program itself can serve, when it lies on the disk as it is
      // and loose files are what the installation copies.
      if (first.Placement == TPlacement::Appended || first.Placement == TPlacement::Resource ||
          FSettings.FilesInArchive != 0) {
        throw EManifestError("setup.uninstaller",
                             "the setup program is named \"install.exe\" but cannot serve as the "
                             "uninstaller here (it carries the archive, or files come from the "
                             "archive); name it \"setup.exe\"");
      }
      first.SetupIsUninstaller = true;
      return;
    }
    // A plain copy: the uninstaller must not carry the medium's archive, or
    // it would find the medium's settings instead of the installed ones.
    TItem item;
    item.Field = "setup.uninstaller";
    item.Source = FSetupProgram;
    item.Name = UninstallerName;
    item.Part = TPart::Program;
    item.Storage = FSettings.FilesInArchive != 0 ? TStorage::InstallAsFile : TStorage::Loose;
    item.Stored = FManifest.Stored;
    item.Size = FSetupSize;
    first.Items.push_back(item);
  }

  // The installation tells the parts of loose files by their extension, so
  // a file's part must be the one its name gives.
  void CheckParts(const TDiskPlan& disk) const {
    for (const TItem& item : disk.Items) {
      if (item.Part == TPart::Extra || item.Part == TPart::Data) continue;
      if (item.Storage == TStorage::InstallAsFile) {
        if (item.Part == TPart::Sound || item.Part == TPart::Movie) {
          throw EManifestError(item.Field + ".part",
                               "with FilesInArchive the installation writes every file whatever "
                               "parts the user chose; use \"program\" or \"data\"");
        }
        continue;
      }
      const int kind = MediaKindOfName(item.Name);
      const TPart byName = kind == 1 ? TPart::Sound : kind == 2 ? TPart::Movie : TPart::Program;
      if (byName != item.Part) {
        throw EManifestError(
            item.Field + ".part",
            Quoted(item.Name) + " is installed with the " + PartName(byName) +
                " part: the installation tells the parts of loose files by their extension "
                "(sound .mp2 .mp3 .wma .wav .mid .ogg, movie .avi .wmv .asf .mpg .mpeg, "
                "program anything else)");
      }
    }
  }

  // Names on one disk: loose files and archive entries each unique, neither
  // taking a name the disk's own files have, and no loose file shadowing an
  // entry (a loose file beside the archive is read instead of the entry).
  void CheckNames(const TDiskPlan& disk) const {
    std::vector<std::pair<std::string, std::string>> reserved = {
        {FManifest.SetupName, "the setup program's name"},
        {SettingsName, "the disk's settings file"},
        {ArchiveName, "the disk's archive"},
        {archive::CompanionFileName(ArchiveName), "the disk's archive directory"}};
    std::vector<const TItem*> loose;
    std::vector<const TItem*> entries;
    for (const TItem& item : disk.Items) {
      const std::string field =
          item.Field + (item.Field.find('[') != std::string::npos ? ".name" : "");
      for (const auto& [name, what] : reserved) {
        if (base::SameText932(item.Name, name)) {
          throw EManifestError(field, Quoted(item.Name) + " is " + what);
        }
      }
      if (IsTopLevel(item.Name) && IsArchiveVolumeName(item.Name)) {
        throw EManifestError(field,
                             Quoted(item.Name) + " is the name of a volume of the disk's archive");
      }
      auto& own = item.Storage == TStorage::Loose ? loose : entries;
      auto& other = item.Storage == TStorage::Loose ? entries : loose;
      for (const TItem* earlier : own) {
        if (base::SameText932(earlier->Name, item.Name)) {
          throw EManifestError(
              field, Quoted(item.Name) + " is already on this disk (" + earlier->Field + ")");
        }
      }
      for (const TItem* earlier : other) {
        if (base::SameText932(earlier->Name, item.Name)) {
          throw EManifestError(field, Quoted(item.Name) +
                                          " is both a loose file and an archive entry on this "
                                          "disk (" +
                                          earlier->Field +
                                          "); the loose file would be "
                                          "read instead of the entry");
        }
      }
      own.push_back(&item);
    }
  }

  // An installed name comes from one disk only: two disks would overwrite
  // each other's file and count its size twice.
  void CheckAcrossDisks() const {
    for (std::size_t d = 1; d < FDisks.size(); ++d) {
      for (const TItem& item : FDisks[d].Items) {
        if (item.Part == TPart::Extra || item.Field == "picture") continue;
        for (std::size_t e = 0; e < d; ++e) {
          for (const TItem& earlier : FDisks[e].Items) {
            if (earlier.Part == TPart::Extra || earlier.Field == "picture") continue;
            if (base::SameText932(earlier.Name, item.Name)) {
              throw EManifestError(item.Field + ".name",
                                   Quoted(item.Name) + " is also installed from disk " +
                                       std::to_string(e + 1) + " (" + earlier.Field + ")");
            }
          }
        }
      }
    }
  }

  // The program, the read-me and the shortcuts' targets must be files that
  // every installation writes: program-part files, loose or installed from
  // the archive (data goes into game.dat, not into files of their own).
  void CheckRequiredFiles() const {
    auto check = [&](const std::string& name, const std::string& field, const std::string& what) {
      for (const TDiskPlan& disk : FDisks) {
        if (disk.Index == 0 && disk.SetupIsUninstaller &&
            base::SameText932(name, UninstallerName)) {
          return;
        }
        for (const TItem& item : disk.Items) {
          if (item.Field == "picture" || !base::SameText932(item.Name, name)) continue;
          if (item.Part == TPart::Program) return;
          throw EManifestError(field, Quoted(name) + ", " + what + ", is in the " +
                                          PartName(item.Part) + " part (" + item.Field +
                                          "); it must be a program file, which every "
                                          "installation writes");
        }
      }
      throw EManifestError(
          field, Quoted(name) + ", " + what + ", is not among the program files of any disk");
    };
    const bool launches = FSettings.SetupKind != 2 && FSettings.AddOnPackage == 0;
    if (launches) {
      if (FSettings.ProgramFile.empty()) {
        throw EManifestError("settings.ProgramFile",
                             "missing (the game the launcher starts and the shortcut names)");
      }
      check(FSettings.ProgramFile, "settings.ProgramFile", "the game's program");
    }
    if (!FSettings.ReadmeFile.empty()) {
      check(FSettings.ReadmeFile, "settings.ReadmeFile", "the read-me file");
    }
  }

  void CheckFolder(const TDiskPlan& disk) const {
    if (platform::FileExists(disk.Folder.substr(0, disk.Folder.size() - 1))) {
      throw EManifestError(disk.Disk->Field + ".folder", disk.Folder + " is a file");
    }
    if (!platform::FindFiles(disk.Folder).empty()) {
      throw EManifestError(disk.Disk->Field + ".folder",
                           disk.Folder +
                               " already holds files; remove them or choose another "
                               "output folder");
    }
  }

  // --- Sizes ---

  std::int64_t Round(std::int64_t bytes) const {
    const std::int64_t block = FManifest.BlockSize;
    return (bytes + block - 1) / block * block;
  }

  std::vector<std::string> EntryNames(const TDiskPlan& disk) const {
    std::vector<std::string> names;
    for (const TItem& item : disk.Items) {
      if (item.Storage != TStorage::Loose) names.push_back(item.Name);
    }
    names.push_back(SettingsName);
    return names;
  }

  std::int64_t DirectorySize(const TDiskPlan& disk) const {
    archive::TDirectory directory;
    for (const std::string& name : EntryNames(disk))
      directory.Entries.push_back({name, 0, 0, 0, 0, 0});
    return archive::EncodedDirectorySize(directory);
  }

  bool SetupCarriesArchive(const TDiskPlan& disk) const {
    return disk.Placement == TPlacement::Appended || disk.Placement == TPlacement::Resource;
  }

  // Walks what the disk holds, fixed files first, then the manifest's files
  // in order, and names the first file with which the disk overflows. Before
  // writing, compressed entries count nothing (their size is not known yet);
  // afterwards every size is the written one.
  void CheckCapacity(const TDiskPlan& disk, bool written) const {
    std::int64_t entries = 0;
    std::int64_t looseAndEntries = 0;
    std::vector<std::pair<const TItem*, std::int64_t>> uses;
    // The files the packer adds itself (uninstaller, picture) come first,
    // so that an overflow is put down to a file of the manifest's disk.
    std::vector<const TItem*> order;
    for (const TItem& item : disk.Items) {
      if (item.Field.rfind("disks[", 0) != 0) order.push_back(&item);
    }
    for (const TItem& item : disk.Items) {
      if (item.Field.rfind("disks[", 0) == 0) order.push_back(&item);
    }
    for (const TItem* pointer : order) {
      const TItem& item = *pointer;
      std::int64_t bytes = 0;
      if (item.Storage == TStorage::Loose) {
        bytes = Round(written ? item.Written : item.Size);
      } else {
        bytes = written ? item.Written : (item.Stored ? item.Size : 0);
        entries += bytes;
      }
      looseAndEntries += bytes;
      uses.emplace_back(&item, bytes);
    }
    std::int64_t used = 0;
    if (written) {
      used = DiskUsed(disk);
    } else {
      const std::int64_t archiveBytes = DirectorySize(disk) + entries + disk.SettingsSize;
      used = Round(disk.SettingsSize) + looseAndEntries - entries;
      if (SetupCarriesArchive(disk)) {
        used += Round(FSetupSize + archiveBytes);
      } else {
        used += Round(FSetupSize) + Round(archiveBytes);
      }
    }
    if (used <= disk.Disk->Capacity) return;
    std::int64_t running = used - looseAndEntries;
    const std::string where =
        "disk " + std::to_string(disk.Index + 1) + " (" + disk.Disk->Folder + ")";
    if (running > disk.Disk->Capacity) {
      throw EManifestError(disk.Disk->Field + ".capacity",
                           "the setup program, install.dat and archive directory of " + where +
                               " take " + Thousands(running) + " bytes and do not fit in its " +
                               Thousands(disk.Disk->Capacity),
                           TKind::DoesNotFit);
    }
    for (const auto& [item, bytes] : uses) {
      running += bytes;
      if (running <= disk.Disk->Capacity) continue;
      const std::string size = written || item->Storage == TStorage::Loose || item->Stored
                                   ? Thousands(bytes) + " bytes"
                                   : "uncompressed " + Thousands(item->Size) + " bytes";
      throw EManifestError(
          item->Field + (item->Field.find('[') != std::string::npos ? ".path" : ""),
          Quoted(item->Name) + " (" + size + ") does not fit on " + where +
              ": with it the disk holds " + Thousands(running) + " of its " +
              Thousands(disk.Disk->Capacity) + " bytes",
          TKind::DoesNotFit);
    }
  }

  std::int64_t DiskUsed(const TDiskPlan& disk) const {
    std::int64_t used = 0;
    std::function<void(const std::string&)> walk = [&](const std::string& folder) {
      for (const auto& entry : platform::FindFiles(folder)) {
        if (entry.Attributes & platform::faDirectory) {
          walk(folder + entry.Name + "\\");
        } else {
          used += Round(entry.Size);
        }
      }
    };
    walk(disk.Folder);
    return used;
  }

  // --- Settings ---

  settings::TMoraInstallSet SettingsFor(const TDiskPlan& disk) const {
    settings::TMoraInstallSet s = FSettings;
    s.DiskIndex = disk.Index;
    s.SetDiskCount(static_cast<std::int32_t>(FDisks.size()));
    if (FManifest.Picture) {
      s.BackgroundPicture = FManifest.Picture->Name;
      s.PictureSeed = FManifest.Picture->Seed;
    }
    s.PlainFiles.clear();
    if (disk.SetupIsUninstaller) s.PlainFiles.push_back(base::LowerCase932(FManifest.SetupName));
    for (const TItem& item : disk.Items) {
      if (item.Storage == TStorage::Loose && item.Part != TPart::Extra) {
        s.PlainFiles.push_back(base::LowerCase932(item.Name));
      }
    }
    for (const TDiskPlan& other : FDisks) {
      const auto i = static_cast<std::size_t>(other.Index);
      s.DiskProgramSizes()[i] = other.Sizes[0];
      s.DiskDataSizes()[i] = other.Sizes[1];
      s.DiskSoundSizes()[i] = other.Sizes[2];
      s.DiskMovieSizes()[i] = other.Sizes[3];
    }
    s.ProgramSize = FTotals[0];
    s.DataSize = FTotals[1];
    s.SoundSize = FTotals[2];
    s.MovieSize = FTotals[3];
    return s;
  }

  // The bytes each part installs from each disk, and over all disks (where
  // a file that several disks carry, the picture, is written once).
  void ComputeSizes() {
    FTotals = {0, 0, 0, 0};
    bool pictureCounted = false;
    for (TDiskPlan& disk : FDisks) {
      disk.Sizes = {0, 0, 0, 0};
      if (disk.SetupIsUninstaller) disk.Sizes[0] += disk.SetupWritten;
      for (const TItem& item : disk.Items) {
        if (item.Part == TPart::Extra) continue;
        if (item.Field == "picture" && FSettings.FilesInArchive == 0) continue;
        // Data entries grow the installed game.dat by their stored bytes;
        // files are written with their whole content.
        const std::int64_t bytes = item.Storage == TStorage::Entry ? item.Written : item.Installed;
        const int part = item.Part == TPart::Data    ? 1
                         : item.Part == TPart::Sound ? 2
                         : item.Part == TPart::Movie ? 3
                                                     : 0;
        disk.Sizes[static_cast<std::size_t>(part)] += bytes;
        if (item.Field == "picture") {
          if (pictureCounted) continue;
          pictureCounted = true;
        }
        FTotals[static_cast<std::size_t>(part)] += bytes;
      }
      if (disk.SetupIsUninstaller) FTotals[0] += disk.SetupWritten;
    }
  }

  // --- Writing ---

  void Write(TCreated& created, TPackReport& report) {
    created.Folder(FOutput);
    std::vector<TOpenArchive> archives(FDisks.size());
    try {
      WriteDisks(archives, created, report);
    } catch (...) {
      // Volumes past the first are made while writing; they go too.
      for (TOpenArchive& open : archives) RecordVolumes(open, created);
      throw;
    }
  }

  static void RecordVolumes(const TOpenArchive& open, TCreated& created) {
    if (auto* files = dynamic_cast<archive::TQsBigFileStream*>(open.Stream.get())) {
      for (int v = 1; v < files->VolumeCount(); ++v) created.File(files->VolumeName(v));
    }
  }

  void WriteDisks(std::vector<TOpenArchive>& archives, TCreated& created, TPackReport& report) {
    for (TDiskPlan& disk : FDisks) {
      created.Folder(disk.Folder);
      OpenArchive(disk, archives[static_cast<std::size_t>(disk.Index)], created);
      WriteItems(disk, *archives[static_cast<std::size_t>(disk.Index)].Writer, created);
    }
    ComputeSizes();
    const std::int32_t now = DosTimeNow();
    for (TDiskPlan& disk : FDisks) {
      TOpenArchive& open = archives[static_cast<std::size_t>(disk.Index)];
      const settings::TMoraInstallSet s = SettingsFor(disk);
      const std::string bytes = s.SaveToBytes();
      archive::TArchiveEntryOptions options;
      options.Stored = true;
      options.InstallAsFile = true;
      options.FileTime = now;
      open.Writer->WriteBytes(bytes, options);
      CloseArchive(disk, open, created);
      created.File(disk.Folder + SettingsName);
      s.SaveToFile(disk.Folder + SettingsName);
      if (disk.Index == 0) report.Settings = s;
    }
    for (TDiskPlan& disk : FDisks) {
      CheckCapacity(disk, true);
      report.Disks.push_back(Report(disk));
    }
  }

  void OpenArchive(TDiskPlan& disk, TOpenArchive& open, TCreated& created) {
    const std::string setup = disk.Folder + FManifest.SetupName;
    const std::vector<std::string> names = EntryNames(disk);
    switch (disk.Placement) {
      case TPlacement::Separate:
      case TPlacement::Companion: {
        CopyFile(FSetupProgram, setup, created);
        const std::string name = disk.Folder + ArchiveName;
        created.File(name);
        if (disk.Placement == TPlacement::Companion) {
          created.File(archive::CompanionFileName(name));
        }
        auto stream = std::make_unique<archive::TQsBigFileStream>(name, archive::fmBigCreate);
        open.Writer = std::make_unique<archive::TVrArchiveStreamWriter>(
            *stream, names, disk.Placement == TPlacement::Separate);
        open.Stream = std::move(stream);
        break;
      }
      case TPlacement::Appended: {
        CopyFile(FSetupProgram, setup, created);
        open.File = std::make_unique<platform::TFileStream>(
            setup, platform::TFileStream::TMode::OpenReadWrite);
        // Offsets of an appended archive are positions in the program file.
        open.Stream = std::make_unique<TFileWindowStream>(*open.File, 0);
        open.Writer = std::make_unique<archive::TVrArchiveStreamWriter>(*open.Stream, names, true);
        break;
      }
      case TPlacement::Resource: {
        created.File(setup);
        open.File =
            std::make_unique<platform::TFileStream>(setup, platform::TFileStream::TMode::Create);
        open.Pe = std::move(FPe);
        const std::int64_t start = open.Pe->Begin(*open.File, ResourceName, ResourceType);
        // Offsets of a resource's archive count from the resource's start.
        open.Stream = std::make_unique<TFileWindowStream>(*open.File, start);
        open.Writer = std::make_unique<archive::TVrArchiveStreamWriter>(*open.Stream, names, true);
        break;
      }
    }
  }

  void CloseArchive(TDiskPlan& disk, TOpenArchive& open, TCreated& created) {
    const std::string directory = open.Writer->Finish();
    switch (disk.Placement) {
      case TPlacement::Separate: break;
      case TPlacement::Companion:
        platform::WriteFileAtomic(archive::CompanionFileName(disk.Folder + ArchiveName), directory);
        break;
      case TPlacement::Appended: {
        const std::string trailer =
            archive::EncodeTrailer(static_cast<std::int32_t>(open.Writer->DirectoryPosition()));
        open.Stream->Write(trailer.data(), static_cast<std::int64_t>(trailer.size()));
        break;
      }
      case TPlacement::Resource: open.Pe->Finish(*open.File, open.Stream->GetSize()); break;
    }
    open.Writer.reset();
    RecordVolumes(open, created);
    open.Stream.reset();
    open.File.reset();
    if (disk.Index == 0) {
      disk.SetupWritten = platform::GetFileSize(disk.Folder + FManifest.SetupName).value_or(0);
    }
  }

  void WriteItems(TDiskPlan& disk, archive::TVrArchiveStreamWriter& writer, TCreated& created) {
    for (TItem& item : disk.Items) {
      if (item.Storage == TStorage::Loose) {
        const std::string target = disk.Folder + item.Name;
        const std::size_t delimiter = base::LastPathDelimiter(target);
        created.Folder(target.substr(0, delimiter));
        CopyFile(item.Source, target, created);
        if (item.FileTime != 0) platform::SetFileDosTime(target, item.FileTime);
        item.Written = platform::GetFileSize(target).value_or(0);
        item.Installed = item.Written;
        continue;
      }
      archive::TArchiveEntryOptions options;
      options.Stored = item.Stored;
      options.FileTime = item.FileTime;
      options.InstallAsFile = item.Storage == TStorage::InstallAsFile;
      options.CompressionLevel = FManifest.CompressionLevel;
      const archive::TWrittenEntry& written = item.Content != nullptr
                                                  ? writer.WriteBytes(*item.Content, options)
                                                  : writer.WriteFile(item.Source, options);
      item.Written = written.StoredSize;
      item.Installed = written.ContentSize;
    }
  }

  void CopyFile(const std::string& source, const std::string& target, TCreated& created) const {
    created.File(target);
    if (!platform::CopyFile(source, target, true)) {
      throw base::EFCreateError("cannot copy " + source + " to " + target);
    }
  }

  TPackedDisk Report(const TDiskPlan& disk) const {
    TPackedDisk packed;
    packed.Folder = disk.Folder;
    packed.Capacity = disk.Disk->Capacity;
    packed.ProgramSize = disk.Sizes[0];
    packed.DataSize = disk.Sizes[1];
    packed.SoundSize = disk.Sizes[2];
    packed.MovieSize = disk.Sizes[3];
    std::function<void(const std::string&, const std::string&)> walk =
        [&](const std::string& folder, const std::string& prefix) {
          auto entries = platform::FindFiles(folder);
          std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return base::CompareText932(a.Name, b.Name) < 0;
          });
          for (const auto& entry : entries) {
            if (entry.Attributes & platform::faDirectory) {
              walk(folder + entry.Name + "\\", prefix + entry.Name + "\\");
            } else {
              packed.Files.push_back({prefix + entry.Name, entry.Size});
              packed.Used += Round(entry.Size);
            }
          }
        };
    walk(disk.Folder, "");
    return packed;
  }

  const TManifest& FManifest;
  settings::TMoraInstallSet FSettings;
  std::string FSetupProgram;
  std::string FSetupField;
  std::int64_t FSetupSize = 0;
  std::string FOutput;
  TPlacement FPlacement = TPlacement::Separate;
  std::unique_ptr<TPeResourceWriter> FPe;
  std::optional<std::string> FPicture;
  std::vector<TDiskPlan> FDisks;
  std::array<std::int64_t, 4> FTotals{};
};

}  // namespace

int MediaKindOfName(const std::string& name) {
  const std::size_t delimiter = base::LastPathDelimiter(name);
  const std::string file = delimiter == std::string::npos ? name : name.substr(delimiter + 1);
  const std::size_t dot = file.rfind('.');
  if (dot == std::string::npos) return 0;
  const std::string extension = base::LowerCase932(file.substr(dot));
  if (std::string_view(".mp2.mp3.wma.wav.mid.ogg").find(extension) != std::string_view::npos)
    return 1;
  if (std::string_view(".avi.wmv.asf.mpg.mpeg").find(extension) != std::string_view::npos) return 2;
  return 0;
}

std::string Thousands(std::int64_t value) {
  std::string digits = std::to_string(value);
  const int first = value < 0 ? 1 : 0;
  for (int i = static_cast<int>(digits.size()) - 3; i > first; i -= 3) {
    digits.insert(static_cast<std::size_t>(i), ",");
  }
  return digits;
}

TPackReport PackMedia(const TManifest& manifest, const TPackOptions& options) {
  return TPacker(manifest, options).Run();
}

}  // namespace mora::authoring
