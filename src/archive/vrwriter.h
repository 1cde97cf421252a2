// Archive writer: builds archives that TVrFileCollection reads, with
// directory version 0, 100, 101 or 102, stored or zlib-compressed entries,
// in any placement: a separate file (volumes past 1 GiB), a separate file
// with a companion ".ext" directory, appended to an executable with the "mr"
// trailer, or as the bytes of a resource. Uses the shared directory layout.
// Entry contents are streamed through fixed buffers, so memory stays flat
// whatever the files' sizes.
// Throws ERangeError for what the chosen version cannot hold, EFOpenError for
// a source file that cannot be read, stream errors from the target.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrlayout.h"
#include "platform/streams.h"

namespace mora::archive {

struct TArchiveEntryOptions {
  // Keep the bytes as they are; otherwise store one zlib stream. Versions
  // below 101 have no stored flag: their entries are always compressed.
  bool Stored = false;
  std::int32_t FileTime = 0;   // MS-DOS date-time; kept from version 101 on
  bool InstallAsFile = false;  // kept from version 102 on
  int CompressionLevel = 6;
  // Check value to store instead of the computed one (tests of damage).
  std::optional<std::uint32_t> CRC;
};

// One entry as written: its directory fields, the bytes it takes in the
// archive and the bytes of its content.
struct TWrittenEntry {
  TDirectoryEntry Entry;
  std::int64_t StoredSize = 0;
  std::int64_t ContentSize = 0;
};

// Writes one archive into a stream entry by entry. Every name is given at
// the start, since the directory's size depends on the names only: its room
// is reserved in front of the entries when it goes there. Entries are then
// written in the order of the names, and Finish encodes the directory.
// Offsets are positions of the stream, so a stream over an executable gives
// the offsets an appended archive needs.
class TVrArchiveStreamWriter {
 public:
  TVrArchiveStreamWriter(TQsBigStream& stream, std::vector<std::string> names, bool inlineDirectory,
                         std::int32_t version = VersionWritten);
  ~TVrArchiveStreamWriter();
  TVrArchiveStreamWriter(const TVrArchiveStreamWriter&) = delete;
  TVrArchiveStreamWriter& operator=(const TVrArchiveStreamWriter&) = delete;

  // The next entry's content: the rest of a platform stream, a file (its
  // own time taken when the options carry none) or bytes.
  const TWrittenEntry& WriteEntry(platform::TStream& content, const TArchiveEntryOptions& options);
  const TWrittenEntry& WriteFile(const std::string& path, TArchiveEntryOptions options);
  const TWrittenEntry& WriteBytes(std::string_view content, const TArchiveEntryOptions& options);

  int Written() const { return static_cast<int>(FWritten.size()); }
  const TWrittenEntry& Entry(int index) const {
    return FWritten.at(static_cast<std::size_t>(index));
  }
  // Position of the directory: the archive's start when it is inline.
  std::int64_t DirectoryPosition() const { return FStart; }

  // Writes the directory in front (inline; the stream then stands behind
  // the last entry) and returns its bytes. Throws ERangeError when not every
  // named entry was written.
  std::string Finish();

 private:
  class TDeflater;

  TQsBigStream& FStream;
  std::vector<std::string> FNames;
  bool FInline;
  std::int32_t FVersion;
  std::int64_t FStart;
  std::vector<TWrittenEntry> FWritten;
  std::unique_ptr<char[]> FInput;
  std::unique_ptr<char[]> FOutput;
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
  void AddFile(const std::string& name, const std::string& path, TArchiveEntryOptions options = {});

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
