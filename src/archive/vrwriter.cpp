#include "archive/vrwriter.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <limits>

#include "archive/vrfiles.h"
#include "base/errors.h"
#include "platform/files.h"

namespace mora::archive {

namespace {

// Bytes read from a source, and deflated bytes produced, per step.
constexpr std::int64_t ChunkSize = 1048576;

std::uint32_t UpdateCrc(std::uint32_t crc, const char* data, std::int64_t count) {
  return static_cast<std::uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(count)));
}

void WriteAll(TQsBigStream& stream, const char* data, std::int64_t count, const std::string& name) {
  if (count > 0 && stream.Write(data, count) != count) {
    throw base::EWriteError("archive writer: " + name + ": short write");
  }
}

// A platform stream over bytes that someone else keeps alive.
class TBytesSource : public platform::TStream {
 public:
  explicit TBytesSource(std::string_view bytes) : FBytes(bytes) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = std::min(count, static_cast<std::int64_t>(FBytes.size()) - FPosition);
    if (n <= 0) return 0;
    std::copy_n(FBytes.data() + FPosition, n, static_cast<char*>(buffer));
    FPosition += n;
    return n;
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
    if (origin == platform::TSeekOrigin::Begin) FPosition = offset;
    if (origin == platform::TSeekOrigin::Current) FPosition += offset;
    if (origin == platform::TSeekOrigin::End)
      FPosition = static_cast<std::int64_t>(FBytes.size()) + offset;
    return FPosition;
  }
  void SetSize(std::int64_t) override {}

 private:
  std::string_view FBytes;
  std::int64_t FPosition = 0;
};

}  // namespace

// One zlib deflate stream whose state is freed however the entry ends.
class TVrArchiveStreamWriter::TDeflater {
 public:
  explicit TDeflater(int level) {
    if (deflateInit(&FZ, level) != Z_OK) {
      throw base::ERangeError("archive writer: compression level " + std::to_string(level) +
                              " is not one of -1 to 9");
    }
  }
  ~TDeflater() { deflateEnd(&FZ); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  // Deflates count bytes of input (finish: the input has ended) and hands
  // every produced chunk to sink.
  template <class TSink>
  void Run(const char* input, std::int64_t count, bool finish, char* output, TSink&& sink) {
    FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input));
    FZ.avail_in = static_cast<uInt>(count);
    int status = Z_OK;
    do {
      FZ.next_out = reinterpret_cast<Bytef*>(output);
      FZ.avail_out = static_cast<uInt>(ChunkSize);
      status = deflate(&FZ, finish ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) throw base::Exception("archive writer: deflate failed");
      sink(output, ChunkSize - static_cast<std::int64_t>(FZ.avail_out));
    } while (finish ? status != Z_STREAM_END : FZ.avail_out == 0);
  }

 private:
  z_stream FZ{};
};

TVrArchiveStreamWriter::TVrArchiveStreamWriter(TQsBigStream& stream, std::vector<std::string> names,
                                               bool inlineDirectory, std::int32_t version)
    : FStream(stream),
      FNames(std::move(names)),
      FInline(inlineDirectory),
      FVersion(version),
      FStart(stream.GetPosition()),
      FInput(new char[ChunkSize]),
      FOutput(new char[ChunkSize]) {
  if (version < 0) {
    throw base::ERangeError("archive writer: version " + std::to_string(version) +
                            " cannot be written");
  }
  FWritten.reserve(FNames.size());
  if (FInline) {
    // The directory's size depends on the names only: reserve its room now
    // and fill it in when the offsets are known.
    TDirectory directory;
    directory.Version = FVersion;
    for (const auto& name : FNames) directory.Entries.push_back({name, 0, 0, 0, 0, 0});
    const std::int64_t size = EncodedDirectorySize(directory);
    std::fill_n(FOutput.get(), ChunkSize, '\0');
    for (std::int64_t left = size; left > 0;) {
      const std::int64_t n = std::min(left, ChunkSize);
      WriteAll(FStream, FOutput.get(), n, "directory");
      left -= n;
    }
  }
}

TVrArchiveStreamWriter::~TVrArchiveStreamWriter() = default;

const TWrittenEntry& TVrArchiveStreamWriter::WriteEntry(platform::TStream& content,
                                                        const TArchiveEntryOptions& options) {
  if (FWritten.size() >= FNames.size()) {
    throw base::ERangeError("archive writer: more entries written than named");
  }
  const std::string& name = FNames[FWritten.size()];
  const TDirectoryLayout layout = TDirectoryLayout::ForVersion(FVersion, FVersion != 0);
  const bool stored = layout.HasEntryFields && options.Stored;
  const bool installAsFile = layout.HasInstallAsFile && options.InstallAsFile;

  TWrittenEntry written;
  written.Entry.Name = name;
  written.Entry.Offset = FStream.GetPosition();
  std::uint32_t contentCrc = 0;
  std::uint32_t storedCrc = 0;
  std::optional<TDeflater> deflater;
  if (!stored) deflater.emplace(options.CompressionLevel);
  auto sink = [&](const char* data, std::int64_t count) {
    storedCrc = UpdateCrc(storedCrc, data, count);
    WriteAll(FStream, data, count, name);
  };
  while (true) {
    const std::int64_t n = content.Read(FInput.get(), ChunkSize);
    if (n < 0) throw base::EReadError("archive writer: " + name + ": read failed");
    contentCrc = UpdateCrc(contentCrc, FInput.get(), n);
    written.ContentSize += n;
    if (stored) {
      sink(FInput.get(), n);
    } else {
      deflater->Run(FInput.get(), n, n == 0, FOutput.get(), sink);
    }
    if (n == 0) break;
  }
  written.StoredSize = FStream.GetPosition() - written.Entry.Offset;
  if (layout.HasEntryFields) {
    written.Entry.Stored = stored ? 1 : 0;
    written.Entry.FileTime = options.FileTime;
    written.Entry.InstallAsFile = installAsFile ? 1 : 0;
    // The whole-archive check covers the stored bytes; entries installed as
    // files of their own are checked after inflating.
    written.Entry.CRC = options.CRC.value_or(installAsFile ? contentCrc : storedCrc);
  }
  FWritten.push_back(std::move(written));
  return FWritten.back();
}

const TWrittenEntry& TVrArchiveStreamWriter::WriteFile(const std::string& path,
                                                       TArchiveEntryOptions options) {
  if (options.FileTime == 0) options.FileTime = platform::GetFileDosTime(path).value_or(0);
  platform::TFileStream content(path, platform::TFileStream::TMode::OpenRead);
  return WriteEntry(content, options);
}

const TWrittenEntry& TVrArchiveStreamWriter::WriteBytes(std::string_view content,
                                                        const TArchiveEntryOptions& options) {
  TBytesSource source(content);
  return WriteEntry(source, options);
}

std::string TVrArchiveStreamWriter::Finish() {
  if (FWritten.size() != FNames.size()) {
    throw base::ERangeError("archive writer: " + std::to_string(FWritten.size()) + " of " +
                            std::to_string(FNames.size()) + " entries written");
  }
  TDirectory directory;
  directory.Version = FVersion;
  directory.Entries.reserve(FWritten.size());
  for (const auto& written : FWritten) directory.Entries.push_back(written.Entry);
  directory.EndOffset = FStream.GetPosition();
  const std::string encoded = EncodeDirectory(directory);
  if (FInline) {
    FStream.SetPosition(FStart);
    WriteAll(FStream, encoded.data(), static_cast<std::int64_t>(encoded.size()), "directory");
    FStream.SetPosition(directory.EndOffset);
  }
  return encoded;
}

TVrArchiveWriter::TVrArchiveWriter(std::int32_t version) : FVersion(version) {
  if (version < 0) {
    throw base::ERangeError("archive writer: version " + std::to_string(version) +
                            " cannot be written");
  }
}

void TVrArchiveWriter::AddBytes(const std::string& name, std::string content,
                                const TArchiveEntryOptions& options) {
  FEntries.push_back({name, std::move(content), std::string(), options});
}

void TVrArchiveWriter::AddFile(const std::string& name, const std::string& path,
                               TArchiveEntryOptions options) {
  if (options.FileTime == 0) options.FileTime = platform::GetFileDosTime(path).value_or(0);
  FEntries.push_back({name, std::string(), path, options});
}

std::string TVrArchiveWriter::WriteTo(TQsBigStream& stream, bool inlineDirectory) const {
  std::vector<std::string> names;
  names.reserve(FEntries.size());
  for (const auto& source : FEntries) names.push_back(source.Name);
  TVrArchiveStreamWriter writer(stream, std::move(names), inlineDirectory, FVersion);
  for (const auto& source : FEntries) {
    if (source.Path.empty()) {
      writer.WriteBytes(source.Content, source.Options);
    } else {
      writer.WriteFile(source.Path, source.Options);
    }
  }
  return writer.Finish();
}

void TVrArchiveWriter::WriteSeparate(const std::string& fileName) const {
  platform::DeleteFile(CompanionFileName(fileName));
  TQsBigFileStream stream(fileName, fmBigCreate);
  WriteTo(stream, true);
}

void TVrArchiveWriter::WriteWithCompanion(const std::string& fileName) const {
  std::string directory;
  {
    TQsBigFileStream stream(fileName, fmBigCreate);
    directory = WriteTo(stream, false);
  }
  platform::WriteFileAtomic(CompanionFileName(fileName), directory);
}

void TVrArchiveWriter::AppendTo(const std::string& executableName) const {
  TQsBigFileStream stream(executableName, fmBigOpenReadWrite);
  const std::int64_t position = stream.GetSize();
  if (position > std::numeric_limits<std::int32_t>::max()) {
    throw base::ERangeError("archive writer: " + executableName +
                            " is too large to carry an appended archive");
  }
  stream.SetPosition(position);
  WriteTo(stream, true);
  const std::string trailer = EncodeTrailer(static_cast<std::int32_t>(position));
  stream.Write(trailer.data(), static_cast<std::int64_t>(trailer.size()));
}

std::string TVrArchiveWriter::BuildImage() const {
  TQsBigMemoryStream stream;
  WriteTo(stream, true);
  return stream.Memory().Bytes();
}

}  // namespace mora::archive
