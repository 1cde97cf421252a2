// TVrFileCollection: an opened archive (separate file with optional volumes
// and companion directory, appended to an executable, or a resource) with its
// directory of TVrFile entries; extraction by name, the whole-archive check
// and the copy of a medium's archive onto the hard disk (UpdateFrom).
// Entries are inflated in fixed-size pieces straight into their target, so
// memory stays flat whatever an entry claims; only a memory target holds the
// whole entry, up to MemoryEntryLimit.
// Throws EDamagedData for a damaged directory or an entry too large for
// memory, "%s:ファイルがありません" for a missing name, EZDecompressionError
// ("error") for damaged zlib data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/bigstreams.h"
#include "archive/hash.h"
#include "platform/resources.h"
#include "platform/streams.h"

namespace mora::archive {

// An entry of an archive's directory. The flags come first so that they fill
// the room the name's link leaves at the end of its part.
class TVrFile : public THashCollectionItem {
 public:
  std::uint8_t Stored = 0;
  std::uint8_t InstallAsFile = 0;
  std::int32_t FileTime = 0;  // MS-DOS date-time, compared signed
  std::uint32_t CRC = 0;
  std::int64_t Offset = 0;
  std::int64_t Size = 0;
};

class TVrFileCollection;

// Sender, the entry concerned, its size, its index, the number of entries,
// and a flag (preset to false) that the handler sets to stop the operation.
using TVrProgressEvent =
    std::function<void(TVrFileCollection& sender, TVrFile& file, std::int64_t size,
                       std::int32_t index, std::int32_t count, bool& cancel)>;

class TVrFileCollection : public THashCollection<TVrFile> {
 public:
  static constexpr std::int64_t CheckBufferSize = 1048576;
  // What a compressed entry may inflate to when it is read into memory:
  // settings and pictures are far smaller; larger entries are extracted
  // into files.
  static constexpr std::int64_t DefaultMemoryEntryLimit = std::int64_t{256} << 20;

  TVrFileCollection() = default;
  ~TVrFileCollection();

  // Folder (ending in "\") whose files override entries of the same name.
  std::string BaseFolder;
  std::int64_t MemoryEntryLimit = DefaultMemoryEntryLimit;
  TVrProgressEvent OnProgress;

  const std::string& FileName() const { return FFileName; }
  TQsBigStream* Stream() const { return FStream.get(); }
  const platform::TModule* Module() const { return FModule.get(); }

  // OpenFile(name, false); an empty name closes the archive.
  void Open(const std::string& name);
  // Separate file (directory at 0 or in the companion ".ext"), or, when the
  // name is the running executable's, the archive appended to it. A name
  // that does not exist gives an empty collection with BaseFolder set.
  void OpenFile(const std::string& name, bool isFileName);
  // The archive appended to any executable (found by its "mr" trailer).
  // Throws EDamagedData when the file has no such trailer.
  void OpenAppended(const std::string& name);
  // A resource of a module holding a whole archive. A module that cannot be
  // loaded leaves an empty collection; a missing resource throws
  // EResNotFound, an empty one "リソースが見つかりません".
  void OpenResource(const std::string& moduleName, const std::string& resourceName,
                    const std::string& resourceType);
  void OpenResource(std::unique_ptr<platform::TModule> module, const std::string& resourceName,
                    const std::string& resourceType);

  // Reads one directory from the stream's position into the (empty)
  // collection and closes it with the sentinel "\EOF\". On damage the
  // collection is left empty.
  void ReadDirectory(TQsBigStream& stream);

  TVrFile& AddEntry(std::string_view name) { return Add(name); }
  TVrFile& Entries(int index) const { return Item(index); }

  // The named file into stream, positioned at 0: a loose file under
  // BaseFolder first, else the entry (inflated when compressed). A memory
  // stream is cleared first and keeps the stored bytes when they cannot be
  // inflated; a compressed entry that inflates to more than MemoryEntryLimit
  // fails it with EDamagedData naming the entry. Any other stream receives
  // the content at its position as it is inflated, so after a failure it
  // may hold the first part (ExtractEntryToFile leaves nothing instead).
  void LoadEntry(platform::TStream& stream, const std::string& name);
  // Writes the named file's content (as LoadEntry) into a file: beside it
  // first, then renamed over it, so a failure leaves no
  // partial file and an earlier file of that name as it was. The content is
  // streamed (inflated, checked and written in one pass), so memory stays
  // flat whatever its size. With expectedCRC, content whose CRC-32 differs
  // fails with EDamagedData before the rename. With flush the file is on
  // the disk before it takes its name; without, it is left in the system's
  // cache (a caller that relies on it flushes it with others through
  // platform::FlushFiles, which costs one flush instead of one per file).
  void ExtractEntryToFile(const std::string& name, const std::string& fileName,
                          std::optional<std::uint32_t> expectedCRC = std::nullopt,
                          bool flush = false);

  // True when the stored bytes of every entry with a check value match it.
  // Every item but one named "\EOF\" is checked; superseded ("/") entries
  // and install-as-file entries (whose value covers the inflated content,
  // checked when they are installed) are passed over. firstBad (when given)
  // receives the index of the first mismatch, or -1.
  bool Verify(int* firstBad = nullptr);

  // Appends the entries of source that are missing here or newer, then
  // writes the companion directory file. True when anything was taken over.
  bool UpdateFrom(TVrFileCollection& source);

 private:
  void Reset();
  void OpenAppendedStream(const std::string& name);
  void InflateEntryInto(const TVrFile& entry, platform::TStream& stream);
  std::string SourceName() const;

  std::string FFileName;
  std::string FResourceName;
  std::string FDirectoryName;  // the companion file while its directory is read
  bool FAppended = false;
  std::unique_ptr<platform::TModule> FModule;  // declared before the stream
  std::unique_ptr<TQsBigStream> FStream;
};

// CRC-32 of count bytes from the stream's position; nullopt when the stream
// ends before count bytes were read.
std::optional<std::uint32_t> StreamCRC32(TQsBigStream& stream, std::int64_t count, char* buffer,
                                         std::int64_t bufferSize);
// CRC-32 of the whole platform stream, from position 0 to its end.
std::uint32_t MemoryStreamCRC32(platform::TStream& stream);
std::uint32_t BytesCRC32(std::string_view bytes);

// A write-only stream that keeps nothing but the CRC-32 and the count of the
// bytes written to it, in the order written: checks an entry's content
// without holding it.
class TCrc32Stream : public platform::TStream {
 public:
  std::uint32_t CRC() const { return FCRC; }
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override;
  std::int64_t Size() override { return FSize; }
  void SetSize(std::int64_t size) override;  // throws EStreamError

 private:
  std::uint32_t FCRC = 0;
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
};

// The name with its extension changed to ".ext" (game.dat -> game.ext).
std::string CompanionFileName(const std::string& archiveName);
// The folder part of a name with its trailing "\" ("" when there is none).
std::string ExtractFilePath(const std::string& name);
// True when an entry name stays inside the folder it is written to: not
// empty, no leading "\" or "/", no drive or ":", no empty, "." or ".."
// component ("\" and "/" both taken as delimiters, double-byte aware).
bool IsSafeEntryPath(std::string_view name);

// True when the file ends in an appended archive's trailer ("mr" mark and a
// directory position inside the file).
bool HasAppendedArchive(const std::string& name);

// Whether UpdateFrom takes an entry of the source over, given the entry of
// the same name already in the target (nullptr when there is none): not the
// directory's end mark, not installed as a file, and missing in the target
// or newer than its entry there.
bool TakesOverEntry(const TVrFile& from, const TVrFile* existing);

}  // namespace mora::archive
