// Archive writer: builds archives that TVrFileCollection reads, with
// directory version 0, 100, 101 or 102, stored or zlib-compressed entries,
// in any placement: a separate file (volumes past 1 GiB), a separate file
// with a companion ".ext" directory, appended to an executable with the "mr"
// trailer, or as the bytes of a resource. Uses the shared directory layout.
// Throws ERangeError for what the chosen version cannot hold, EFOpenError for
// a source file that cannot be read, stream errors from the target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrlayout.h"

namespace mora::archive {

struct TArchiveEntryOptions {
  // Keep the bytes as they are; otherwise store one zlib stream. Versions
  // below 101 have no stored flag: their entries are always compressed.
  bool Stored = false;
  std::int32_t FileTime = 0;  // MS-DOS date-time; kept from version 101 on
  bool InstallAsFile = false;  // kept from version 102 on
  int CompressionLevel = 6;
  // Check value to store instead of the computed one (tests of damage).
  std::optional<std::uint32_t> CRC;
};

class TVrArchiveWriter {
 public:
  explicit TVrArchiveWriter(std::int32_t version = VersionWritten);

  std::int32_t Version() const { return FVersion; }
  int Count() const { return static_cast<int>(FEntries.size()); }

  // An entry whose content is given now.
  void AddBytes(const std::string& name, std::string content,
                const TArchiveEntryOptions& options = {});
  // An entry whose content is read from a file while writing; without a
  // file time in the options the file's own is taken.
  void AddFile(const std::string& name, const std::string& path,
               TArchiveEntryOptions options = {});

  // Directory at offset 0, the entries' bytes behind it.
  void WriteSeparate(const std::string& fileName) const;
  // The entries' bytes in fileName, the directory in its companion ".ext".
  void WriteWithCompanion(const std::string& fileName) const;
  // Appends directory, entries and the trailer to an existing executable.
  void AppendTo(const std::string& executableName) const;
  // The whole archive as bytes, directory at 0 (a resource's payload).
  std::string BuildImage() const;

  // Writes the archive into stream at its position: with the directory in
  // front (inlineDirectory) or without it, returning the directory's bytes.
  std::string WriteTo(TQsBigStream& stream, bool inlineDirectory) const;

 private:
  struct TSource {
    std::string Name;
    std::string Content;
    std::string Path;  // read at write time when not empty
    TArchiveEntryOptions Options;
  };

  std::int32_t FVersion;
  std::vector<TSource> FEntries;
};

}  // namespace mora::archive
