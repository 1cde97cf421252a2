// The archive's directory layout, shared by the reader (ReadDirectory), the
// companion directory written by UpdateFrom and the archive writer: field
// order, version thresholds, the archive key and the scrambling of names and
// offsets. Encoding, decoding and sizing walk one description of the fields.
// Decoding checks every count, length and offset against the bytes that are
// there and throws EDamagedData naming the archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/rands.h"

namespace mora::archive {

constexpr std::uint32_t ArchiveKey = 0x5B2E9D47;
constexpr std::string_view DirectoryMagic = "vf";
// From this version names and offsets are scrambled.
constexpr std::int32_t VersionScrambled = 100;
// From this version offsets are 64-bit and stored flags, file times and
// check values follow them.
constexpr std::int32_t VersionEntryFields = 101;
// From this version install-as-file flags follow.
constexpr std::int32_t VersionInstallAsFile = 102;
constexpr std::int32_t VersionWritten = 102;

// Longest entry name read or written; names are file paths, so a longer
// length in a directory is damage.
constexpr std::int32_t MaxNameLength = 65536;

// The entry that closes every directory in memory.
constexpr std::string_view SentinelName = "\\EOF\\";

// An archive appended to an executable ends in int32 S (the directory's
// position) and the mark "mr".
constexpr std::string_view TrailerMark = "mr";
constexpr std::int64_t TrailerSize = 6;

struct TDirectoryLayout {
  bool HasMagic = false;
  bool Scrambled = false;
  int OffsetWidth = 4;
  bool HasEntryFields = false;
  bool HasInstallAsFile = false;

  // Version 0 is the form without magic and version field.
  static TDirectoryLayout ForVersion(std::int32_t version, bool hasMagic);
  // Bytes that follow the names: offsets and the per-entry fields.
  std::uint64_t TailSize(std::uint64_t count) const;
};

struct TDirectoryEntry {
  std::string Name;
  std::int64_t Offset = 0;
  std::uint8_t Stored = 0;
  std::int32_t FileTime = 0;
  std::uint32_t CRC = 0;
  std::uint8_t InstallAsFile = 0;
};

struct TDirectory {
  std::int32_t Version = VersionWritten;
  std::vector<TDirectoryEntry> Entries;
  // The end of the last entry's bytes (the sentinel's offset).
  std::int64_t EndOffset = 0;
};

// Receives a directory as it is decoded, in file order: the names (each one
// appends an entry), then the offsets and the columns the version carries.
// A reader fills its own table from it instead of holding a TDirectory as
// well. Indices are those of entries already appended.
class TDirectorySink {
 public:
  virtual ~TDirectorySink() = default;
  // The version and the entry count, checked against the bytes left.
  virtual void Begin(std::int32_t version, std::uint64_t count) = 0;
  virtual void AddName(std::string_view name) = 0;
  virtual void SetOffset(std::size_t index, std::int64_t offset) = 0;
  virtual void SetEndOffset(std::int64_t offset) = 0;
  virtual void SetStored(std::size_t index, std::uint8_t value) = 0;
  virtual void SetFileTime(std::size_t index, std::int32_t value) = 0;
  virtual void SetCRC(std::size_t index, std::uint32_t value) = 0;
  virtual void SetInstallAsFile(std::size_t index, std::uint8_t value) = 0;
};

// XORs every byte of the names, in order, with the low 8 bits of one
// generator's outputs; applying it twice restores the names.
class TNameScrambler {
 public:
  TNameScrambler() : FRandom(ArchiveKey) {}
  void Apply(std::string& name);

 private:
  TQsRandom FRandom;
};

// XORs each offset with one output: 32-bit offsets with the output, 64-bit
// ones with the output sign-extended.
class TOffsetScrambler {
 public:
  TOffsetScrambler() : FRandom(ArchiveKey) {}
  std::uint32_t Apply32(std::uint32_t value);
  std::int64_t Apply64(std::int64_t value);

 private:
  TQsRandom FRandom;
};

// Size in bytes of the encoded directory (independent of the offsets).
std::int64_t EncodedDirectorySize(const TDirectory& directory);

// The directory's bytes. Throws ERangeError for an offset that the version's
// 32-bit offsets cannot hold, a negative version or offsets out of order.
std::string EncodeDirectory(const TDirectory& directory);

// Reads one directory from the stream's position; the stream then stands
// behind it. A name length of 0 or less is an empty name. Offsets must lie
// within 0 ... dataSize and must not go backwards. Throws EDamagedData
// "sourceName: offset N: field ...".
void DecodeDirectory(TQsBigStream& stream, std::int64_t dataSize, const std::string& sourceName,
                     TDirectorySink& sink);
// The same into a TDirectory.
TDirectory DecodeDirectory(TQsBigStream& stream, std::int64_t dataSize,
                           const std::string& sourceName);

// The six bytes that close an executable with an appended archive.
std::string EncodeTrailer(std::int32_t directoryPosition);

}  // namespace mora::archive
