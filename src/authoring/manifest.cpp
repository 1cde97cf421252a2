#include "authoring/manifest.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace mora::authoring {

namespace {

using TJson = nlohmann::json;
using TKind = EManifestError::TKind;

// A manifest is a page or two of text; anything far larger is not one.
constexpr std::int64_t MaxManifestSize = 16 * 1024 * 1024;
constexpr std::int64_t MaxTileSide = 4096;

// One JSON object being read. Its keys are checked against the fields it
// may hold before anything else, so that a misspelt field is named as such
// (and never ignored silently).
class TFields {
 public:
  TFields(const TJson& value, std::string path, std::initializer_list<const char*> known)
      : FValue(value), FPath(std::move(path)) {
    if (!value.is_object()) Fail(FPath, "expected an object");
    for (const auto& item : value.items()) {
      const std::string& key = item.key();
      if (std::find_if(known.begin(), known.end(), [&](const char* k) { return key == k; }) ==
          known.end()) {
        Fail(PathOf(key), "unknown field");
      }
    }
  }

  const std::string& Path() const { return FPath; }
  std::string PathOf(const std::string& key) const {
    return FPath.empty() ? key : FPath + "." + key;
  }

  [[noreturn]] static void Fail(const std::string& field, const std::string& problem,
                                TKind kind = TKind::Invalid) {
    throw EManifestError(field.empty() ? "manifest" : field, problem, kind);
  }

  const TJson* Find(const std::string& key) const {
    const auto it = FValue.find(key);
    return it == FValue.end() ? nullptr : &*it;
  }

  std::optional<std::string> Text(const std::string& key) {
    const TJson* value = Find(key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_string()) Fail(PathOf(key), "expected a string");
    return To932(value->get<std::string>(), PathOf(key));
  }

  std::optional<bool> Flag(const std::string& key) {
    const TJson* value = Find(key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_boolean()) Fail(PathOf(key), "expected true or false");
    return value->get<bool>();
  }

  std::optional<std::int64_t> Integer(const std::string& key, std::int64_t minimum,
                                      std::int64_t maximum) {
    const TJson* value = Find(key);
    if (value == nullptr) return std::nullopt;
    return IntegerOf(*value, PathOf(key), minimum, maximum);
  }

  static std::int64_t IntegerOf(const TJson& value, const std::string& field, std::int64_t minimum,
                                std::int64_t maximum) {
    const std::string range = "expected a whole number from " + std::to_string(minimum) + " to " +
                              std::to_string(maximum);
    if (value.is_number_unsigned()) {
      const auto number = value.get<std::uint64_t>();
      // A non-negative number in the text arrives as unsigned; the lower
      // bound matters for it too (a 0 where 1 is the least).
      if (number > static_cast<std::uint64_t>(maximum)) Fail(field, range);
      if (minimum > 0 && number < static_cast<std::uint64_t>(minimum)) Fail(field, range);
      return static_cast<std::int64_t>(number);
    }
    if (!value.is_number_integer()) Fail(field, range);
    const auto number = value.get<std::int64_t>();
    if (number < minimum || number > maximum) Fail(field, range);
    return number;
  }

  // A field that the author must not give, with the reason.
  void Refuse(const std::string& key, const std::string& reason) {
    if (Find(key) != nullptr) Fail(PathOf(key), reason);
  }

  static std::string To932(const std::string& utf8, const std::string& field) {
    try {
      return base::Utf8ToCp932(utf8);
    } catch (const base::EConvertError&) {
      Fail(field, "holds characters that Shift-JIS (code page 932) cannot represent");
    }
  }

 private:
  const TJson& FValue;
  std::string FPath;
};

std::string Slashes(std::string name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '/' && base::IsCharStart(name, i)) name[i] = '\\';
  }
  return name;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices on Windows,
// whatever extension follows.
bool IsDeviceName(const std::string& stem) {
  const std::string upper = base::UpperCase932(stem);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 &&
         (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

// A name on the medium, in the archive and in the installation folder: a
// relative path that stays inside its folder and that Windows can create.
void CheckName(const std::string& name, const std::string& field) {
  if (name.empty()) TFields::Fail(field, "is empty");
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    const bool end = i == name.size();
    if (!end && !base::IsCharStart(name, i)) continue;
    if (!end && name[i] != '\\') {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      if (c < 0x20 ||
          std::string_view("<>:\"|?*/").find(static_cast<char>(c)) != std::string::npos) {
        TFields::Fail(field, "\"" + name + "\" holds a character that file names cannot hold");
      }
      continue;
    }
    const std::string component = name.substr(start, i - start);
    if (component.empty() || component == "." || component == "..") {
      TFields::Fail(field, "\"" + name + "\" is not a relative path inside the medium");
    }
    if (component.back() == '.' || component.back() == ' ') {
      TFields::Fail(field, "\"" + name + "\": Windows drops a name's trailing dot or space");
    }
    if (IsDeviceName(component.substr(0, component.find('.')))) {
      TFields::Fail(field, "\"" + name + "\": Windows takes \"" + component + "\" for a device");
    }
    start = i + 1;
  }
}

// The last component of a 932 path.
std::string LastComponent(const std::string& path) {
  std::string trimmed = path;
  while (base::EndsWithPathDelimiter(trimmed)) trimmed.pop_back();
  const std::size_t delimiter = base::LastPathDelimiter(trimmed);
  return delimiter == std::string::npos ? trimmed : trimmed.substr(delimiter + 1);
}

class TManifestReader {
 public:
  TManifestReader(const std::string& fileName) : FFileName(fileName) {
    const std::size_t delimiter = base::LastPathDelimiter(fileName);
    FFolder = delimiter == std::string::npos ? std::string() : fileName.substr(0, delimiter + 1);
  }

  TManifest Read(const std::string& text) {
    TJson root;
    try {
      // Comments are allowed, so that a manifest can explain itself.
      root = TJson::parse(text, nullptr, true, true);
    } catch (const TJson::exception& e) {
      // Syntax errors, and numbers too large for any field (out_of_range).
      std::string message = e.what();
      const std::size_t bracket = message.find("] ");
      if (message.rfind("[json.exception", 0) == 0 && bracket != std::string::npos) {
        message.erase(0, bracket + 2);
      }
      TFields::Fail("manifest", message);
    }
    TManifest manifest;
    manifest.FileName = FFileName;
    TFields fields(root, "",
                   {"settings", "setup", "archive", "picture", "capacity", "blockSize", "disks"});
    if (const TJson* value = fields.Find("settings")) {
      ReadSettings(*value, manifest);
    } else {
      TFields::Fail("settings", "missing (the title's settings: Title, ProgramFile, ...)");
    }
    if (const TJson* value = fields.Find("setup")) ReadSetup(*value, manifest);
    if (const TJson* value = fields.Find("archive")) ReadArchive(*value, manifest);
    if (const TJson* value = fields.Find("picture")) ReadPicture(*value, manifest);
    std::int64_t capacity = DefaultCapacity;
    if (const TJson* value = fields.Find("capacity")) capacity = CapacityOf(*value, "capacity");
    if (const auto blockSize = fields.Integer("blockSize", 1, 1 << 20)) {
      if ((*blockSize & (*blockSize - 1)) != 0)
        TFields::Fail("blockSize", "expected a power of two");
      manifest.BlockSize = *blockSize;
    }
    const TJson* disks = fields.Find("disks");
    if (disks == nullptr)
      TFields::Fail("disks", "missing (one entry per disk, each with its files)");
    ReadDisks(*disks, capacity, manifest);
    return manifest;
  }

 private:
  void ReadSettings(const TJson& value, TManifest& manifest) {
    TFields f(
        value, "settings",
        {"Title", "SetupCaption", "FooterText", "DefaultDir", "ReadmeFile", "ShowReadme",
         "ProgramFile", "MediaName", "RegistryKey", "BackgroundLayout", "ShowRuntimeButtons",
         "SetupKind", "AddOnPackage", "FilesInArchive", "SpareFlag",
         // refused below, each with its reason
         "DiskIndex", "DiskCount", "DiskProgramSizes", "DiskDataSizes", "DiskSoundSizes",
         "DiskMovieSizes", "ProgramSize", "DataSize", "SoundSize", "MovieSize", "PlainFiles",
         "BackgroundPicture", "PictureSeed", "UninstallMode", "DataInstalled", "InstalledFiles"});
    settings::TMoraInstallSet& s = manifest.Settings;
    const std::string computed = "is computed from the disks and their files; remove it";
    for (const char* key :
         {"DiskIndex", "DiskCount", "DiskProgramSizes", "DiskDataSizes", "DiskSoundSizes",
          "DiskMovieSizes", "ProgramSize", "DataSize", "SoundSize", "MovieSize", "PlainFiles"}) {
      f.Refuse(key, computed);
    }
    for (const char* key : {"BackgroundPicture", "PictureSeed"}) {
      f.Refuse(key, "comes from \"picture\" (its name and seed); remove it");
    }
    for (const char* key : {"UninstallMode", "DataInstalled", "InstalledFiles"}) {
      f.Refuse(key, "is set only in the installed copy of install.dat; remove it");
    }
    s.Title = f.Text("Title").value_or("");
    if (s.Title.empty()) {
      TFields::Fail(f.PathOf("Title"),
                    "missing or empty (it names the program group and the lock)");
    }
    s.SetupCaption = f.Text("SetupCaption").value_or("");
    s.FooterText = f.Text("FooterText").value_or("");
    s.DefaultDir = f.Text("DefaultDir").value_or("");
    s.ReadmeFile = Slashes(f.Text("ReadmeFile").value_or(""));
    s.ProgramFile = Slashes(f.Text("ProgramFile").value_or(""));
    s.MediaName = f.Text("MediaName").value_or("");
    s.RegistryKey = f.Text("RegistryKey").value_or("");
    s.ShowReadme = f.Flag("ShowReadme").value_or(false) ? 1 : 0;
    s.ShowRuntimeButtons = f.Flag("ShowRuntimeButtons").value_or(false) ? 1 : 0;
    s.AddOnPackage = f.Flag("AddOnPackage").value_or(false) ? 1 : 0;
    s.FilesInArchive = f.Flag("FilesInArchive").value_or(false) ? 1 : 0;
    s.SetupKind = static_cast<std::uint8_t>(f.Integer("SetupKind", 0, 2).value_or(0));
    s.BackgroundLayout = static_cast<std::uint8_t>(f.Integer("BackgroundLayout", 0, 2).value_or(0));
    s.SpareFlag = static_cast<std::uint8_t>(f.Integer("SpareFlag", 0, 255).value_or(0));
    if (!s.ReadmeFile.empty()) CheckName(s.ReadmeFile, f.PathOf("ReadmeFile"));
    if (!s.ProgramFile.empty()) CheckName(s.ProgramFile, f.PathOf("ProgramFile"));
    if (s.ShowReadme != 0 && s.ReadmeFile.empty()) {
      TFields::Fail(f.PathOf("ShowReadme"), "needs a ReadmeFile to open");
    }
  }

  void ReadSetup(const TJson& value, TManifest& manifest) {
    TFields f(value, "setup", {"program", "name", "uninstaller"});
    if (const auto program = f.Text("program")) {
      manifest.SetupProgram = ExistingFile(*program, f.PathOf("program"));
    }
    if (const auto name = f.Text("name")) {
      CheckName(*name, f.PathOf("name"));
      if (base::LastPathDelimiter(*name) != std::string::npos) {
        TFields::Fail(f.PathOf("name"), "the setup program lies in the disk's top folder");
      }
      if (base::SameText932(*name, "install.dat") || base::SameText932(*name, "game.dat") ||
          base::SameText932(*name, "game.ext") || IsArchiveVolumeName(*name)) {
        TFields::Fail(f.PathOf("name"),
                      "\"" + *name + "\" is the name of the disk's settings or archive");
      }
      manifest.SetupName = *name;
    }
    manifest.Uninstaller = f.Flag("uninstaller");
  }

  void ReadArchive(const TJson& value, TManifest& manifest) {
    TFields f(value, "archive", {"placement", "stored", "level"});
    if (const auto placement = f.Text("placement")) {
      static constexpr std::pair<const char*, TPlacement> Names[] = {
          {"separate", TPlacement::Separate},
          {"companion", TPlacement::Companion},
          {"appended", TPlacement::Appended},
          {"resource", TPlacement::Resource}};
      const auto it = std::find_if(std::begin(Names), std::end(Names),
                                   [&](const auto& n) { return *placement == n.first; });
      if (it == std::end(Names)) {
        TFields::Fail(f.PathOf("placement"),
                      "expected \"separate\", \"companion\", \"appended\" or \"resource\"");
      }
      manifest.Placement = it->second;
      manifest.PlacementGiven = true;
    }
    manifest.Stored = f.Flag("stored").value_or(false);
    manifest.CompressionLevel = static_cast<int>(f.Integer("level", 0, 9).value_or(6));
  }

  void ReadPicture(const TJson& value, TManifest& manifest) {
    TFields f(value, "picture",
              {"source", "name", "seed", "shuffled", "compression", "quality", "tileWidth",
               "tileHeight"});
    TManifestPicture picture;
    const auto source = f.Text("source");
    if (!source) TFields::Fail(f.PathOf("source"), "missing (a PNG or JPEG file)");
    picture.Source = ExistingFile(*source, f.PathOf("source"));
    std::string stem = LastComponent(picture.Source);
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    picture.Name = Slashes(f.Text("name").value_or(stem + ".vnt"));
    CheckName(picture.Name, f.PathOf("name"));
    // Seeds are 32-bit; one given as an unsigned number keeps its bits.
    picture.Seed = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(f.Integer("seed", INT32_MIN, UINT32_MAX).value_or(0)));
    picture.Shuffled = f.Flag("shuffled").value_or(true);
    if (const auto compression = f.Text("compression")) {
      using pictures::vint::TCompression;
      if (*compression == "deflate") {
        picture.Compression = TCompression::Deflate;
      } else if (*compression == "jpeg") {
        picture.Compression = TCompression::Jpeg;
      } else if (*compression == "none") {
        picture.Compression = TCompression::None;
      } else {
        TFields::Fail(f.PathOf("compression"), "expected \"deflate\", \"jpeg\" or \"none\"");
      }
    }
    picture.Quality = static_cast<int>(f.Integer("quality", 1, 100).value_or(90));
    const auto tileWidth = f.Integer("tileWidth", 1, MaxTileSide);
    const auto tileHeight = f.Integer("tileHeight", 1, MaxTileSide);
    if (tileWidth.has_value() != tileHeight.has_value()) {
      TFields::Fail(f.PathOf(tileWidth ? "tileHeight" : "tileWidth"),
                    "missing (tiles need both tileWidth and tileHeight)");
    }
    if (tileWidth) {
      // A JPEG-compressed picture is one stream; the reader ignores tiles
      // there. (A JPEG source without a compression is refused when packing.)
      if (picture.Compression == pictures::vint::TCompression::Jpeg) {
        TFields::Fail(f.PathOf("tileWidth"), "tiles need the compression \"deflate\" or \"none\"");
      }
      picture.TileWidth = static_cast<int>(*tileWidth);
      picture.TileHeight = static_cast<int>(*tileHeight);
    }
    manifest.Picture = std::move(picture);
  }

  std::int64_t CapacityOf(const TJson& value, const std::string& field) {
    if (value.is_string()) {
      if (const auto capacity = ParseCapacity(value.get<std::string>())) return *capacity;
      TFields::Fail(field,
                    "expected bytes, a size such as \"650MiB\" or \"4.7GB\", \"cd\" or \"dvd\"");
    }
    return TFields::IntegerOf(value, field, 1, INT64_MAX);
  }

  void ReadDisks(const TJson& value, std::int64_t capacity, TManifest& manifest) {
    if (!value.is_array() || value.empty())
      TFields::Fail("disks", "expected a list of at least one disk");
    if (value.size() > MaxDisks) {
      TFields::Fail("disks", "lists " + std::to_string(value.size()) + " disks; at most " +
                                 std::to_string(MaxDisks) + " are taken");
    }
    for (std::size_t d = 0; d < value.size(); ++d) {
      TFields f(value[d], "disks[" + std::to_string(d) + "]", {"folder", "capacity", "files"});
      TManifestDisk disk;
      disk.Field = f.Path();
      disk.Folder = Slashes(f.Text("folder").value_or("disk" + std::to_string(d + 1)));
      CheckName(disk.Folder, f.PathOf("folder"));
      // One disk's folder inside another's would count as part of that disk.
      for (const TManifestDisk& earlier : manifest.Disks) {
        const std::string a = base::LowerCase932(earlier.Folder) + "\\";
        const std::string b = base::LowerCase932(disk.Folder) + "\\";
        if (a.rfind(b, 0) == 0 || b.rfind(a, 0) == 0) {
          TFields::Fail(f.PathOf("folder"), "\"" + disk.Folder + "\" overlaps " + earlier.Field +
                                                "'s folder \"" + earlier.Folder + "\"");
        }
      }
      disk.Capacity = capacity;
      if (const TJson* c = f.Find("capacity")) disk.Capacity = CapacityOf(*c, f.PathOf("capacity"));
      const TJson* files = f.Find("files");
      if (files == nullptr || !files->is_array()) {
        TFields::Fail(f.PathOf("files"), "expected a list of files (it may be empty)");
      }
      for (std::size_t i = 0; i < files->size(); ++i) {
        ReadFile((*files)[i], f.PathOf("files") + "[" + std::to_string(i) + "]", manifest, disk);
      }
      manifest.Disks.push_back(std::move(disk));
    }
  }

  void ReadFile(const TJson& value, const std::string& path, const TManifest& manifest,
                TManifestDisk& disk) {
    TFields f(value, path, {"path", "name", "part", "stored", "time"});
    TManifestFile file;
    file.Field = path;
    const auto part = f.Text("part");
    if (!part) TFields::Fail(f.PathOf("part"), "missing (program, data, sound, movie or extra)");
    static constexpr std::pair<const char*, TPart> Parts[] = {{"program", TPart::Program},
                                                              {"data", TPart::Data},
                                                              {"sound", TPart::Sound},
                                                              {"movie", TPart::Movie},
                                                              {"extra", TPart::Extra}};
    const auto it = std::find_if(std::begin(Parts), std::end(Parts),
                                 [&](const auto& p) { return *part == p.first; });
    if (it == std::end(Parts)) {
      TFields::Fail(f.PathOf("part"), "expected program, data, sound, movie or extra");
    }
    file.Part = it->second;
    const auto source = f.Text("path");
    if (!source) TFields::Fail(f.PathOf("path"), "missing (the file or folder to put on the disk)");
    const std::string sourcePath = Resolve(*source);
    const bool folder = platform::DirectoryExists(sourcePath);
    if (!folder && !platform::FileExists(sourcePath)) {
      TFields::Fail(f.PathOf("path"), "no such file", TKind::MissingFile);
    }
    const auto givenName = f.Text("name");
    std::string name = Slashes(givenName.value_or(LastComponent(sourcePath)));
    while (base::EndsWithPathDelimiter(name)) name.pop_back();
    const std::string nameField = f.PathOf(givenName ? "name" : "path");
    if (!folder || !name.empty()) CheckName(name, nameField);

    const bool archived = file.Part == TPart::Data ||
                          (manifest.Settings.FilesInArchive != 0 && file.Part != TPart::Extra);
    if (const auto stored = f.Flag("stored")) {
      if (!archived) {
        TFields::Fail(f.PathOf("stored"),
                      "only files in the archive are compressed; this one is copied as it is");
      }
      file.Stored = *stored;
    } else {
      file.Stored = manifest.Stored;
    }
    if (const auto time = f.Text("time")) {
      const auto dosTime = ParseDosTime(*time);
      if (!dosTime) {
        TFields::Fail(f.PathOf("time"), "expected \"YYYY-MM-DD hh:mm:ss\" between 1980 and 2107");
      }
      file.FileTime = *dosTime;
    }

    if (!folder) {
      file.Source = sourcePath;
      file.Name = name;
      file.Size = platform::GetFileSize(sourcePath).value_or(0);
      disk.Files.push_back(std::move(file));
      return;
    }
    // A folder brings every file below it, in name order, under its name.
    std::vector<std::pair<std::string, std::string>> found;  // source, relative name
    CollectFolder(sourcePath + "\\", "", found, 0);
    if (found.empty()) TFields::Fail(f.PathOf("path"), "is a folder without files");
    for (const auto& [foundSource, relative] : found) {
      TManifestFile entry = file;
      entry.Source = foundSource;
      entry.Name = name.empty() ? relative : name + "\\" + relative;
      CheckName(entry.Name, nameField);
      entry.Size = platform::GetFileSize(foundSource).value_or(0);
      disk.Files.push_back(std::move(entry));
    }
  }

  void CollectFolder(const std::string& folder, const std::string& prefix,
                     std::vector<std::pair<std::string, std::string>>& found, int depth) {
    // Deeper than this is a link that leads back up, not a title's layout.
    if (depth > 64) TFields::Fail(prefix, "folders nest too deeply");
    auto entries = platform::FindFiles(folder);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return base::CompareText932(a.Name, b.Name) < 0;
    });
    for (const auto& entry : entries) {
      const std::string relative = prefix.empty() ? entry.Name : prefix + "\\" + entry.Name;
      if (entry.Attributes & platform::faDirectory) {
        CollectFolder(folder + entry.Name + "\\", relative, found, depth + 1);
      } else {
        found.emplace_back(folder + entry.Name, relative);
      }
    }
  }

  // A source path of the manifest: relative to its folder, or absolute in
  // the host's form ("/..." on POSIX) or as a drive path.
  std::string Resolve(const std::string& path932) const {
    std::string path = Slashes(path932);
    while (path.size() > 1 && base::EndsWithPathDelimiter(path)) path.pop_back();
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (drive) return path;
    if (!path.empty() && path[0] == '\\') {
      return platform::PathFromNative(base::Cp932ToUtf8(path932));
    }
    return FFolder + path;
  }

  std::string ExistingFile(const std::string& path932, const std::string& field) const {
    const std::string path = Resolve(path932);
    if (!platform::FileExists(path)) {
      TFields::Fail(field,
                    platform::DirectoryExists(path) ? "is a folder, not a file" : "no such file",
                    TKind::MissingFile);
    }
    return path;
  }

  std::string FFileName;
  std::string FFolder;
};

}  // namespace

const char* PartName(TPart part) {
  switch (part) {
    case TPart::Program: return "program";
    case TPart::Data: return "data";
    case TPart::Sound: return "sound";
    case TPart::Movie: return "movie";
    case TPart::Extra: return "extra";
  }
  return "?";
}

const char* PlacementName(TPlacement placement) {
  switch (placement) {
    case TPlacement::Separate: return "separate";
    case TPlacement::Companion: return "companion";
    case TPlacement::Appended: return "appended";
    case TPlacement::Resource: return "resource";
  }
  return "?";
}

TManifest LoadManifest(const std::string& fileName) {
  if (!platform::FileExists(fileName)) {
    throw EManifestError("manifest", fileName + ": no such file", TKind::MissingFile);
  }
  const std::int64_t size = platform::GetFileSize(fileName).value_or(0);
  if (size > MaxManifestSize) {
    throw EManifestError(
        "manifest", fileName + ": " + std::to_string(size) + " bytes is too large for a manifest");
  }
  return ParseManifest(platform::ReadFileBytes(fileName), fileName);
}

TManifest ParseManifest(const std::string& text, const std::string& fileName) {
  return TManifestReader(fileName).Read(text);
}

bool IsArchiveVolumeName(const std::string& name) {
  const std::string lower = base::LowerCase932(name);
  return lower.size() >= 8 && lower.compare(0, 5, "game.") == 0 &&
         lower.find_first_not_of("0123456789", 5) == std::string::npos;
}

std::optional<std::int32_t> ParseDosTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                  &second, &tail) != 6) {
    return std::nullopt;
  }
  static constexpr int Days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 ||
      day > Days[month - 1] - (month == 2 && !leap ? 1 : 0) || hour > 23 || minute > 59 ||
      second > 59 || hour < 0 || minute < 0 || second < 0) {
    return std::nullopt;
  }
  const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const std::uint32_t time =
      static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

std::optional<std::int64_t> ParseCapacity(const std::string& text) {
  if (text == "cd") return DefaultCapacity;
  if (text == "cd700") return 734003200;  // 700 MiB
  if (text == "dvd") return 4700372992;   // single-layer DVD
  std::size_t i = 0;
  std::int64_t whole = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (whole > (INT64_MAX - 9) / 10) return std::nullopt;
    whole = whole * 10 + (text[i++] - '0');
  }
  if (i == 0) return std::nullopt;
  std::int64_t fraction = 0;
  std::int64_t scale = 1;
  if (i < text.size() && text[i] == '.') {
    ++i;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && scale < 1000000000) {
      fraction = fraction * 10 + (text[i++] - '0');
      scale *= 10;
    }
    if (i == digits) return std::nullopt;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  static constexpr std::pair<const char*, std::int64_t> Units[] = {
      {"", 1},       {"B", 1},         {"KB", 1000},       {"MB", 1000000}, {"GB", 1000000000},
      {"KiB", 1024}, {"MiB", 1048576}, {"GiB", 1073741824}};
  const std::string unit = text.substr(i);
  for (const auto& [name, factor] : Units) {
    if (unit != name) continue;
    if (whole > INT64_MAX / factor) return std::nullopt;
    const std::int64_t bytes = whole * factor + fraction * factor / scale;
    if (bytes <= 0) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

}  // namespace mora::authoring
