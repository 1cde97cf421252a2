#include "archive/vrwriter.h"

#include <limits>

#include "archive/vrfiles.h"
#include "archive/zstream.h"
#include "base/errors.h"
#include "platform/files.h"

namespace mora::archive {

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
  const TDirectoryLayout layout = TDirectoryLayout::ForVersion(FVersion, FVersion != 0);
  TDirectory directory;
  directory.Version = FVersion;
  directory.Entries.reserve(FEntries.size());
  for (const auto& source : FEntries) directory.Entries.push_back({source.Name, 0, 0, 0, 0, 0});

  // The directory's size depends on the names only: reserve its room, write
  // the entries behind it, then fill it in with the offsets now known.
  const std::int64_t start = stream.GetPosition();
  if (inlineDirectory) {
    const std::string placeholder(static_cast<std::size_t>(EncodedDirectorySize(directory)), '\0');
    stream.Write(placeholder.data(), static_cast<std::int64_t>(placeholder.size()));
  }
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TSource& source = FEntries[i];
    TDirectoryEntry& entry = directory.Entries[i];
    std::string fileContent;
    if (!source.Path.empty()) fileContent = platform::ReadFileBytes(source.Path);
    const std::string& content = source.Path.empty() ? source.Content : fileContent;
    const bool stored = layout.HasEntryFields && source.Options.Stored;
    const std::string data = stored ? std::string() : DeflateBytes(content, source.Options.CompressionLevel);
    const std::string& bytes = stored ? content : data;

    entry.Offset = stream.GetPosition();
    if (layout.HasEntryFields) {
      entry.Stored = stored ? 1 : 0;
      entry.FileTime = source.Options.FileTime;
      const bool installAsFile = layout.HasInstallAsFile && source.Options.InstallAsFile;
      entry.InstallAsFile = installAsFile ? 1 : 0;
      // The whole-archive check covers the stored bytes; entries installed
      // as files of their own are checked after inflating.
      entry.CRC = source.Options.CRC.value_or(BytesCRC32(installAsFile ? content : bytes));
    }
    if (!bytes.empty() &&
        stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) !=
            static_cast<std::int64_t>(bytes.size())) {
      throw base::EWriteError("archive writer: " + source.Name + ": short write");
    }
  }
  directory.EndOffset = stream.GetPosition();
  const std::string encoded = EncodeDirectory(directory);
  if (inlineDirectory) {
    stream.SetPosition(start);
    stream.Write(encoded.data(), static_cast<std::int64_t>(encoded.size()));
    stream.SetPosition(directory.EndOffset);
  }
  return encoded;
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
