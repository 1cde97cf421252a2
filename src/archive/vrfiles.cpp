#include "archive/vrfiles.h"

#include <algorithm>
#include <vector>

#include "archive/vrlayout.h"
#include "archive/zfast.h"
#include "archive/zstream.h"
#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace mora::archive {

using base::Sjis;

namespace {

[[noreturn]] void FailMissing(const std::string& name) {
  throw base::EFOpenError(base::FormatS(Sjis("%s:ファイルがありません"), name));
}

[[noreturn]] void FailRead() { throw base::EReadError(Sjis("ストリームからの読み込みエラー")); }

[[noreturn]] void FailInflate() { throw base::EZDecompressionError("error"); }

std::uint32_t UpdateCrc(std::uint32_t crc, const char* data, std::int64_t count) {
  return detail::UpdateCrc32(crc, data, count);
}

// Index just behind the last "\" or ":" (drive), 0 when there is none.
std::size_t FolderPartLength(const std::string& name) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!base::IsCharStart(name, i)) continue;
    if (base::IsPathDelimiter(name, i) || name[i] == ':') length = i + 1;
  }
  return length;
}

}  // namespace

TVrFileCollection::~TVrFileCollection() {
  Clear();
  FStream.reset();
  FModule.reset();
}

std::string ExtractFilePath(const std::string& name) {
  return name.substr(0, FolderPartLength(name));
}

std::string CompanionFileName(const std::string& archiveName) {
  const std::size_t folder = FolderPartLength(archiveName);
  const std::size_t dot = archiveName.rfind('.');
  if (dot == std::string::npos || dot < folder) return archiveName + ".ext";
  return archiveName.substr(0, dot) + ".ext";
}

void TVrFileCollection::Reset() {
  Clear();
  FStream.reset();
  FAppended = false;
  FDirectoryName.clear();
}

std::string TVrFileCollection::SourceName() const {
  if (!FResourceName.empty() && FFileName.empty()) return FResourceName;
  return FFileName.empty() ? std::string("archive") : FFileName;
}

void TVrFileCollection::Open(const std::string& name) { OpenFile(name, false); }

void TVrFileCollection::OpenFile(const std::string& name, bool isFileName) {
  Reset();
  FFileName = name;
  FResourceName.clear();
  const bool exists = !name.empty() && platform::FileExists(name);
  BaseFolder = (exists || isFileName) ? ExtractFilePath(name) : name;
  if (!BaseFolder.empty() && !base::EndsWithPathDelimiter(BaseFolder)) BaseFolder += '\\';
  if (!exists) return;

  if (base::SameText932(name, platform::ModuleFileName())) {
    OpenAppendedStream(name);
    return;
  }
  FStream = std::make_unique<TQsBigFileStream>(name, fmBigOpenRead);
  const std::string companion = CompanionFileName(name);
  if (platform::FileExists(companion)) {
    TQsBigMemoryStream directory;
    directory.LoadFromFile(companion);
    directory.SetPosition(0);
    FDirectoryName = companion;
    ReadDirectory(directory);
    return;
  }
  FStream->SetPosition(0);
  ReadDirectory(*FStream);
}

void TVrFileCollection::OpenAppended(const std::string& name) {
  Reset();
  FFileName = name;
  FResourceName.clear();
  BaseFolder = ExtractFilePath(name);
  if (!BaseFolder.empty() && !base::EndsWithPathDelimiter(BaseFolder)) BaseFolder += '\\';
  if (!platform::FileExists(name)) FailMissing(name);
  OpenAppendedStream(name);
}

void TVrFileCollection::OpenAppendedStream(const std::string& name) {
  FStream = std::make_unique<TQsBigFileStream>(name, fmBigOpenRead);
  const std::int64_t size = FStream->GetSize();
  if (size < TrailerSize) {
    base::FailDamaged(name, 0, "trailer",
                      "needs " + std::to_string(TrailerSize) + " bytes but the file holds " +
                          std::to_string(size));
  }
  char trailer[TrailerSize];
  FStream->SetPosition(size - TrailerSize);
  if (FStream->Read(trailer, TrailerSize) != TrailerSize) FailRead();
  if (std::string_view(trailer + 4, 2) != TrailerMark) {
    base::FailDamaged(name, size - 2, "trailer mark \"mr\"", "is missing");
  }
  const auto position = static_cast<std::int32_t>(base::GetUInt32(trailer));
  if (position < 0 || position > size - TrailerSize) {
    base::FailDamaged(name, size - TrailerSize, "directory position",
                      std::to_string(position) + " lies outside the file");
  }
  FStream->SetPosition(position);
  FAppended = true;
  ReadDirectory(*FStream);
}

void TVrFileCollection::OpenResource(const std::string& moduleName, const std::string& resourceName,
                                     const std::string& resourceType) {
  Reset();
  FModule.reset();
  auto module = platform::TModule::Load(moduleName);
  if (module == nullptr) return;
  OpenResource(std::move(module), resourceName, resourceType);
}

void TVrFileCollection::OpenResource(std::unique_ptr<platform::TModule> module,
                                     const std::string& resourceName,
                                     const std::string& resourceType) {
  Reset();
  FModule = std::move(module);
  FResourceName = resourceName;
  if (FModule == nullptr) return;
  FStream = std::make_unique<TQsBigResourceStream>(*FModule, resourceName, resourceType);
  if (FStream->GetSize() == 0) throw base::EResNotFound(Sjis("リソースが見つかりません"));
  FStream->SetPosition(0);
  ReadDirectory(*FStream);
}

namespace {

// Takes a decoded directory into a collection's table, entry by entry, as
// it is read.
class TTableSink : public TDirectorySink {
 public:
  // 4 MiB of buckets at most before a single name has been read.
  static constexpr std::uint64_t ReservedEntries = std::uint64_t{1} << 20;

  explicit TTableSink(TVrFileCollection& collection)
      : FCollection(collection), FFirst(collection.Count()) {}

  std::int64_t EndOffset() const { return FEndOffset; }

  // Room for the entries and the sentinel at once spares the rehashes on
  // the way, but only up to ReservedEntries: beyond that the table grows
  // with the names actually read, so a damaged count that a large archive
  // file seems to allow allocates no more than the names that are there.
  void Begin(std::int32_t, std::uint64_t count) override {
    FCollection.Reserve(FFirst + static_cast<int>(std::min<std::uint64_t>(count, ReservedEntries)) +
                        1);
  }
  void AddName(std::string_view name) override { FCollection.AddEntry(name); }
  void SetOffset(std::size_t index, std::int64_t offset) override { Entry(index).Offset = offset; }
  void SetEndOffset(std::int64_t offset) override { FEndOffset = offset; }
  void SetStored(std::size_t index, std::uint8_t value) override { Entry(index).Stored = value; }
  void SetFileTime(std::size_t index, std::int32_t value) override {
    Entry(index).FileTime = value;
  }
  void SetCRC(std::size_t index, std::uint32_t value) override { Entry(index).CRC = value; }
  void SetInstallAsFile(std::size_t index, std::uint8_t value) override {
    Entry(index).InstallAsFile = value;
  }

 private:
  TVrFile& Entry(std::size_t index) const {
    return FCollection.Entries(FFirst + static_cast<int>(index));
  }

  TVrFileCollection& FCollection;
  int FFirst;
  std::int64_t FEndOffset = 0;
};

}  // namespace

void TVrFileCollection::ReadDirectory(TQsBigStream& stream) {
  std::int64_t limit = FStream != nullptr ? FStream->GetSize() : stream.GetSize();
  // An appended archive's entries end where the trailer begins.
  if (FAppended) limit = std::max<std::int64_t>(0, limit - TrailerSize);
  const std::string sourceName = FDirectoryName.empty() ? SourceName() : FDirectoryName;
  FDirectoryName.clear();
  // The entries are decoded straight into the table, so a directory of a
  // million entries is never held twice.
  TTableSink sink(*this);
  try {
    DecodeDirectory(stream, limit, sourceName, sink);
  } catch (...) {
    Clear();
    throw;
  }
  TVrFile& sentinel = AddEntry(SentinelName);
  sentinel.Offset = sink.EndOffset();
  for (int i = 0; i + 1 < Count(); ++i) {
    Entries(i).Size = Entries(i + 1).Offset - Entries(i).Offset;
  }
}

void TVrFileCollection::LoadEntry(platform::TStream& stream, const std::string& name) {
  auto* memory = dynamic_cast<platform::TMemoryStream*>(&stream);
  if (memory != nullptr) memory->Clear();

  if (!BaseFolder.empty() && platform::FileExists(BaseFolder + name)) {
    if (memory != nullptr) {
      memory->LoadFromFile(BaseFolder + name);
    } else {
      platform::TFileStream file(BaseFolder + name, platform::TFileStream::TMode::OpenRead);
      stream.CopyFrom(file, 0);
    }
    stream.SetPosition(0);
    return;
  }

  const int index = FStream != nullptr ? IndexOf(name) : -1;
  if (index < 0) FailMissing(name);
  const TVrFile& entry = Entries(index);
  FStream->SetPosition(entry.Offset);
  if (memory != nullptr) {
    // Inflated in place: the stored bytes are the input, so a damaged entry
    // leaves them in the stream.
    if (FStream->CopyTo(*memory, entry.Size) != entry.Size) FailRead();
    if (entry.Stored == 0 &&
        !DecompressMemoryStream(*memory, static_cast<std::uint64_t>(MemoryEntryLimit))) {
      base::FailDamaged(SourceName(), entry.Offset, "entry " + std::string(entry.Name()),
                        "inflates to more than " + std::to_string(MemoryEntryLimit) +
                            " bytes, more than an entry read into memory may hold");
    }
  } else if (entry.Stored != 0) {
    if (FStream->CopyTo(stream, entry.Size) != entry.Size) FailRead();
  } else {
    InflateEntryInto(entry, stream);
  }
  stream.SetPosition(0);
}

void TVrFileCollection::InflateEntryInto(const TVrFile& entry, platform::TStream& stream) {
  // One buffer of stored bytes and one of inflated output, however much the
  // entry inflates to.
  std::vector<char> buffer(
      static_cast<std::size_t>(std::clamp<std::int64_t>(entry.Size, 0, CheckBufferSize)));
  TInflater inflater;
  const auto write = [&stream](const char* data, std::size_t size) {
    stream.WriteBuffer(data, static_cast<std::int64_t>(size));
  };
  for (std::int64_t left = entry.Size; left > 0 && inflater.State() == TInflateState::NeedsInput;) {
    const std::int64_t n = std::min<std::int64_t>(left, CheckBufferSize);
    if (FStream->Read(buffer.data(), n) != n) FailRead();
    left -= n;
    inflater.Put(std::string_view(buffer.data(), static_cast<std::size_t>(n)), write);
  }
  if (inflater.Finish() != TInflateState::Finished) FailInflate();
}

namespace {

// The file an entry is extracted into, seen through a stream that keeps the
// CRC-32 of everything written: inflating, checking and writing are one
// pass over the entry, whatever its size.
class TCheckedFileStream : public platform::TStream {
 public:
  explicit TCheckedFileStream(platform::TFileStream& file) : FFile(file) {}

  std::uint32_t CRC() const { return FCRC; }
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t written = FFile.Write(buffer, count);
    if (written > 0) FCRC = UpdateCrc(FCRC, static_cast<const char*>(buffer), written);
    return written;
  }
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
    return FFile.Seek(offset, origin);
  }
  std::int64_t Size() override { return FFile.Size(); }
  void SetSize(std::int64_t) override {
    throw base::EStreamError("an extracted entry cannot change its size");
  }

 private:
  platform::TFileStream& FFile;
  std::uint32_t FCRC = 0;
};

}  // namespace

void TVrFileCollection::ExtractEntryToFile(const std::string& name, const std::string& fileName,
                                           std::optional<std::uint32_t> expectedCRC, bool flush) {
  const std::string temporary = fileName + ".~part";
  try {
    {
      platform::TFileStream file(temporary, platform::TFileStream::TMode::Create);
      TCheckedFileStream checked(file);
      LoadEntry(checked, name);
      if (expectedCRC && checked.CRC() != *expectedCRC) {
        throw base::EDamagedData(SourceName() + ": entry " + name +
                                 ": the content does not match its check value");
      }
      // On the disk before it takes the name that says it is complete.
      if (flush) file.Handle().Flush();
    }
    if (!platform::MoveFile(temporary, fileName)) {
      throw base::EFCreateError(base::FormatS(Sjis("ファイル %s を作成できません"), fileName));
    }
  } catch (...) {
    platform::DeleteFile(temporary);
    throw;
  }
}

namespace {

// Reads an archive's entries for their check values through one window of
// the stream: entries lie one behind the other, so a run of small entries
// costs one read of the window instead of a seek and a read each. Entries
// larger than the window are read through it piece by piece.
class TCheckWindow {
 public:
  TCheckWindow(TQsBigStream& stream, std::int64_t size)
      : FStream(stream), FSize(size), FBuffer(TVrFileCollection::CheckBufferSize) {}

  // CRC-32 of count bytes at offset; nullopt when the stream ends first.
  std::optional<std::uint32_t> CRC(std::int64_t offset, std::int64_t count) {
    if (offset < 0 || count < 0 || count > FSize - offset) return std::nullopt;
    const auto window = static_cast<std::int64_t>(FBuffer.size());
    if (count > window) {
      FLength = 0;
      FStream.SetPosition(offset);
      if (FStream.GetPosition() != offset) return std::nullopt;
      return StreamCRC32(FStream, count, FBuffer.data(), window);
    }
    if (offset < FStart || offset + count > FStart + FLength) Fill(offset);
    if (offset + count > FStart + FLength) return std::nullopt;
    return UpdateCrc(0, FBuffer.data() + (offset - FStart), count);
  }

 private:
  void Fill(std::int64_t offset) {
    FStart = offset;
    FLength = 0;
    FStream.SetPosition(offset);
    if (FStream.GetPosition() != offset) return;
    const std::int64_t n = std::min(static_cast<std::int64_t>(FBuffer.size()), FSize - offset);
    FLength = std::max<std::int64_t>(0, FStream.Read(FBuffer.data(), n));
  }

  TQsBigStream& FStream;
  std::int64_t FSize;
  std::vector<char> FBuffer;
  std::int64_t FStart = 0;
  std::int64_t FLength = 0;
};

}  // namespace

bool TVrFileCollection::Verify(int* firstBad) {
  if (firstBad != nullptr) *firstBad = -1;
  int entryCount = Count();
  if (entryCount > 0 && Entries(entryCount - 1).Name() == SentinelName) entryCount -= 1;
  std::unique_ptr<TCheckWindow> window;
  for (int i = 0; i < Count(); ++i) {
    TVrFile& entry = Entries(i);
    // Only the sentinel is passed over; after UpdateFrom there is none and
    // the last entry appended must be checked as well.
    if (entry.Name() == SentinelName) continue;
    if (i % 10 == 9 && OnProgress) {
      bool cancel = false;
      OnProgress(*this, entry, entry.Size, i, entryCount, cancel);
      if (cancel) return true;
    }
    if (entry.CRC == 0 || entry.InstallAsFile != 0) continue;
    if (!entry.Name().empty() && entry.Name()[0] == '/') continue;
    bool sound = false;
    if (FStream != nullptr) {
      if (window == nullptr) window = std::make_unique<TCheckWindow>(*FStream, FStream->GetSize());
      const auto crc = window->CRC(entry.Offset, entry.Size);
      sound = crc.has_value() && *crc == entry.CRC;
    }
    if (!sound) {
      if (firstBad != nullptr) *firstBad = i;
      return false;
    }
  }
  return true;
}

bool TVrFileCollection::UpdateFrom(TVrFileCollection& source) {
  bool changed = false;
  if (FStream != nullptr) {
    FStream.reset();
    FStream = std::make_unique<TQsBigFileStream>(FFileName, fmBigOpenReadWrite);
  } else {
    FStream = std::make_unique<TQsBigFileStream>(FFileName, fmBigCreate);
  }
  FStream->SetPosition(FStream->GetSize());

  const int sourceCount = source.Count();
  for (int i = 0; i < sourceCount; ++i) {
    TVrFile& from = source.Entries(i);
    const int j = IndexOf(from.Name());
    if (!TakesOverEntry(from, j >= 0 ? &Entries(j) : nullptr)) continue;
    changed = true;
    // The old bytes stay in the archive file, unreachable by name.
    if (j >= 0) SetName(j, "/" + std::string(Entries(j).Name()));
    TVrFile& added = AddEntry(from.Name());
    added.Offset = FStream->GetSize();
    added.Size = from.Size;
    added.CRC = from.CRC;
    added.FileTime = from.FileTime;
    added.Stored = from.Stored;
    if (OnProgress) {
      bool cancel = false;
      OnProgress(*this, added, added.Size, i, sourceCount, cancel);
      if (cancel) return changed;
    }
    if (from.Size > 0) {
      if (source.FStream == nullptr) FailRead();
      source.FStream->SetPosition(from.Offset);
      FStream->SetPosition(added.Offset);
      FStream->CopyFromBig(*source.FStream, from.Size);
    }
  }

  if (changed) {
    const int sentinel = IndexOf(SentinelName);
    if (sentinel >= 0) Delete(sentinel);
    TDirectory directory;
    directory.Version = VersionWritten;
    directory.Entries.reserve(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i) {
      const TVrFile& file = Entries(i);
      directory.Entries.push_back({std::string(file.Name()), file.Offset, file.Stored,
                                   file.FileTime, file.CRC, file.InstallAsFile});
    }
    directory.EndOffset = FStream->GetSize();
    platform::WriteFileAtomic(CompanionFileName(FFileName), EncodeDirectory(directory));
  }
  return changed;
}

std::optional<std::uint32_t> StreamCRC32(TQsBigStream& stream, std::int64_t count, char* buffer,
                                         std::int64_t bufferSize) {
  std::uint32_t crc = 0;
  while (count > 0) {
    std::int64_t n = std::min(stream.GetSize() - stream.GetPosition(), bufferSize);
    n = std::min(count, n);
    // A stream that ends early leaves the check value unproven.
    if (n <= 0) return std::nullopt;
    const std::int64_t got = stream.Read(buffer, n);
    if (got <= 0) return std::nullopt;
    crc = UpdateCrc(crc, buffer, got);
    count -= got;
  }
  return crc;
}

std::uint32_t MemoryStreamCRC32(platform::TStream& stream) {
  stream.SetPosition(0);
  std::int64_t remaining = stream.Size();
  std::vector<char> buffer(static_cast<std::size_t>(
      std::min<std::int64_t>(remaining, TVrFileCollection::CheckBufferSize)));
  std::uint32_t crc = 0;
  while (remaining > 0) {
    const std::int64_t n = std::min(
        {remaining, stream.Size() - stream.Position(), static_cast<std::int64_t>(buffer.size())});
    if (n <= 0) break;
    const std::int64_t got = stream.Read(buffer.data(), n);
    if (got <= 0) break;
    crc = UpdateCrc(crc, buffer.data(), got);
    remaining -= got;
  }
  return crc;
}

std::int64_t TCrc32Stream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  FCRC = UpdateCrc(FCRC, static_cast<const char*>(buffer), count);
  FSize += count;
  FPosition = FSize;
  return count;
}

std::int64_t TCrc32Stream::Seek(std::int64_t offset, platform::TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == platform::TSeekOrigin::Current) base = FPosition;
  if (origin == platform::TSeekOrigin::End) base = FSize;
  FPosition = std::clamp<std::int64_t>(base + offset, 0, FSize);
  return FPosition;
}

void TCrc32Stream::SetSize(std::int64_t) {
  throw base::EStreamError("a check-value stream cannot change its size");
}

std::uint32_t BytesCRC32(std::string_view bytes) {
  return UpdateCrc(0, bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

bool IsSafeEntryPath(std::string_view name) {
  if (name.empty()) return false;
  std::size_t componentStart = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    const bool end = i == name.size();
    if (!end && !base::IsCharStart(name, i)) continue;
    if (!end && name[i] == ':') return false;
    const bool delimiter = end || base::IsPathDelimiter(name, i) || name[i] == '/';
    if (!delimiter) continue;
    const std::string_view component = name.substr(componentStart, i - componentStart);
    if (component.empty() || component == "." || component == "..") return false;
    componentStart = i + 1;
  }
  return true;
}

bool HasAppendedArchive(const std::string& name) {
  if (!platform::FileExists(name)) return false;
  TQsBigFileStream stream(name, fmBigOpenRead);
  const std::int64_t size = stream.GetSize();
  if (size < TrailerSize) return false;
  char trailer[TrailerSize];
  stream.SetPosition(size - TrailerSize);
  if (stream.Read(trailer, TrailerSize) != TrailerSize) return false;
  if (std::string_view(trailer + 4, 2) != TrailerMark) return false;
  const auto position = static_cast<std::int32_t>(base::GetUInt32(trailer));
  return position >= 0 && position <= size - TrailerSize;
}

bool TakesOverEntry(const TVrFile& from, const TVrFile* existing) {
  if (from.Name() == SentinelName || from.InstallAsFile != 0) return false;
  return existing == nullptr || from.FileTime > existing->FileTime;
}

}  // namespace mora::archive
