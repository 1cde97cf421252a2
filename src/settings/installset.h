// The install settings of a title (TMoraInstallSet), its file install.dat (formats 0-107 read,
// 107 written) and its registry/installed-file/caption queries. Damaged files throw EDamagedData
// naming the file, a negative DiskCount ERangeError, unopenable files EFOpenError/EFCreateError.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mora::platform {
class TStream;
}

namespace mora::settings {

// Format numbers at which fields appear; the reader and the writer both
// follow them through one field list (installset.cpp).
constexpr std::int32_t FormatWideSizes = 100;  // sizes become 8 bytes
constexpr std::int32_t FormatAddOnPackage = 101;
constexpr std::int32_t FormatInstalledFiles = 102;
constexpr std::int32_t FormatDataInstalled = 103;
constexpr std::int32_t FormatSetupKind = 104;
constexpr std::int32_t FormatFilesInArchive = 105;
constexpr std::int32_t FormatPlainFiles = 106;
constexpr std::int32_t FormatSetupCaption = 107;
constexpr std::int32_t CurrentFormat = 107;  // what SaveToStream writes

// An install.dat larger than this is refused before it is read into memory;
// real ones are a few kilobytes, an installed copy with a long file list a
// few megabytes.
constexpr std::int64_t MaxSettingsFileSize = 64 * 1024 * 1024;

class TMoraInstallSet {
 public:
  // --- Fields (code page 932 byte strings) ---
  // Files placed by an installation, relative to the installation folder,
  // unique without regard to ASCII case when added through AddInstalledFile.
  std::vector<std::string> InstalledFiles;
  std::string SetupCaption;  // empty: GetSetupCaption derives it from Title
  std::int32_t DiskIndex = 0;
  std::string Title;
  std::string FooterText;
  std::string DefaultDir;
  std::string ReadmeFile;
  std::uint8_t SetupKind = 0;  // 0 ordinary, 1 full, 2 into the Windows folder
  std::uint8_t ShowReadme = 0;
  std::string BackgroundPicture;
  std::uint8_t BackgroundLayout = 0;  // 0 centred, 1 stretched, 2 tiled
  std::string ProgramFile;
  std::int32_t PictureSeed = 0;
  std::uint8_t ShowRuntimeButtons = 0;
  std::uint8_t SpareFlag = 0;
  std::string MediaName;
  std::string RegistryKey;  // below HKEY_CURRENT_USER\Software\; empty: no registry work
  std::int64_t ProgramSize = 0;
  std::int64_t DataSize = 0;
  std::int64_t SoundSize = 0;
  std::int64_t MovieSize = 0;
  std::uint8_t UninstallMode = 0;
  std::uint8_t AddOnPackage = 0;
  std::uint8_t DataInstalled = 0;
  std::uint8_t FilesInArchive = 0;
  std::vector<std::string> PlainFiles;  // relative to the medium's root, lower case

  // --- Disks ---
  std::int32_t DiskCount() const { return FDiskCount; }
  // Resizes the four per-disk arrays; kept elements keep their values, new
  // ones are 0. A negative count throws ERangeError and changes nothing.
  void SetDiskCount(std::int32_t count);
  // The per-disk arrays, always DiskCount() long. Elements may be changed;
  // the length changes only through SetDiskCount.
  std::span<std::int64_t> DiskProgramSizes() { return FDiskProgramSizes; }
  std::span<std::int64_t> DiskDataSizes() { return FDiskDataSizes; }
  std::span<std::int64_t> DiskSoundSizes() { return FDiskSoundSizes; }
  std::span<std::int64_t> DiskMovieSizes() { return FDiskMovieSizes; }
  std::span<const std::int64_t> DiskProgramSizes() const { return FDiskProgramSizes; }
  std::span<const std::int64_t> DiskDataSizes() const { return FDiskDataSizes; }
  std::span<const std::int64_t> DiskSoundSizes() const { return FDiskSoundSizes; }
  std::span<const std::int64_t> DiskMovieSizes() const { return FDiskMovieSizes; }

  // --- The file ---
  // Format number found by the last load ("is" + three digits, 0 without
  // the mark); CurrentFormat for an object that was never loaded.
  std::int32_t FormatVersion() const { return FFormatVersion; }

  // Reads from the stream's current position. Fields the file's format does
  // not carry keep their values; both lists are emptied. On failure the
  // object is left as it was. sourceName names the data in messages.
  void LoadFromStream(platform::TStream& stream, const std::string& sourceName = "install.dat");
  // Opens for reading (others may read); "ファイル %s は開けません" on failure.
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(platform::TStream& stream) const;
  // Writes beside the target and replaces it, so a crash leaves the old or
  // the new file whole; "ファイル %s を作成できません" on failure.
  void SaveToFile(const std::string& fileName) const;
  // The bytes SaveToStream writes.
  std::string SaveToBytes() const;

  // --- Registry (HKEY_CURRENT_USER\Software\<RegistryKey>) ---
  // The string value, or defaultValue when RegistryKey is empty or the key or
  // value is missing; a value of another type throws ERegistryException.
  std::string ReadRegString(const std::string& valueName, const std::string& defaultValue) const;
  // Creates the key as needed; throws ERegistryException when it cannot write.
  void WriteRegString(const std::string& valueName, const std::string& value) const;
  // Removes the title's key with everything below it, then every parent level
  // below Software that is left without subkeys and values. A RegistryKey
  // with an empty, "." or ".." level deletes nothing.
  void DeleteRegKey() const;

  // "InstallPath" names a folder that holds ProgramFile.
  bool IsInstalled() const;

  // --- Installed files ---
  int InstalledFileCount() const { return static_cast<int>(InstalledFiles.size()); }
  const std::string& GetInstalledFile(int index) const;     // ERangeError outside 0..count-1
  int IndexOfInstalledFile(const std::string& name) const;  // ASCII case ignored; -1
  void AddInstalledFile(const std::string& name);           // unless already listed

  // --- Plain files and caption ---
  bool IsPlainFile(const std::string& relativePath) const;
  std::string GetSetupCaption() const;

 private:
  std::int32_t FDiskCount = 0;
  std::vector<std::int64_t> FDiskProgramSizes;
  std::vector<std::int64_t> FDiskDataSizes;
  std::vector<std::int64_t> FDiskSoundSizes;
  std::vector<std::int64_t> FDiskMovieSizes;
  std::int32_t FFormatVersion = CurrentFormat;
};

}  // namespace mora::settings
