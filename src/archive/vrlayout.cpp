#include "archive/vrlayout.h"

#include <algorithm>
#include <cstring>

#include "base/binary.h"
#include "base/errors.h"

namespace mora::archive {

TDirectoryLayout TDirectoryLayout::ForVersion(std::int32_t version, bool hasMagic) {
  TDirectoryLayout layout;
  layout.HasMagic = hasMagic;
  layout.Scrambled = version >= VersionScrambled;
  layout.OffsetWidth = version >= VersionEntryFields ? 8 : 4;
  layout.HasEntryFields = version >= VersionEntryFields;
  layout.HasInstallAsFile = version >= VersionInstallAsFile;
  return layout;
}

std::uint64_t TDirectoryLayout::TailSize(std::uint64_t count) const {
  std::uint64_t perEntry = static_cast<std::uint64_t>(OffsetWidth);
  if (HasEntryFields) perEntry += 1 + 4 + 4;
  if (HasInstallAsFile) perEntry += 1;
  return count * perEntry + static_cast<std::uint64_t>(OffsetWidth);
}

void TNameScrambler::Apply(std::string& name) {
  for (char& c : name) {
    c = static_cast<char>(static_cast<unsigned char>(c) ^ (FRandom.Next() & 0xFFu));
  }
}

std::uint32_t TOffsetScrambler::Apply32(std::uint32_t value) { return value ^ FRandom.Next(); }

std::int64_t TOffsetScrambler::Apply64(std::int64_t value) {
  const auto key = static_cast<std::int64_t>(static_cast<std::int32_t>(FRandom.Next()));
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(value) ^
                                   static_cast<std::uint64_t>(key));
}

namespace {

TDirectoryLayout LayoutOf(const TDirectory& directory) {
  return TDirectoryLayout::ForVersion(directory.Version, directory.Version != 0);
}

// A per-entry array behind the offsets: the entry's field it holds (whose
// width is the column's), where a sink takes it, and its name in messages.
template <class T>
struct TColumn {
  T TDirectoryEntry::*Field;
  void (TDirectorySink::*Set)(std::size_t, T);
  std::string_view Name;
};

// The fields of a directory in file order, with the versions that carry
// them. The writer, the reader and the size count all walk this one list,
// so the three cannot drift apart. The writer and the size count walk a
// TDirectory, the reader fills a TDirectorySink.
template <class TIo, class TDir>
void TransferDirectory(TIo& io, TDir& directory) {
  const TDirectoryLayout layout = io.Head(directory);
  io.Count(directory);
  io.Names(directory, layout);
  io.Offsets(directory, layout);
  if (!layout.HasEntryFields) return;
  io.Column(directory, TColumn<std::uint8_t>{&TDirectoryEntry::Stored, &TDirectorySink::SetStored,
                                             "stored flags"});
  io.Column(directory, TColumn<std::int32_t>{&TDirectoryEntry::FileTime,
                                             &TDirectorySink::SetFileTime, "file times"});
  io.Column(directory,
            TColumn<std::uint32_t>{&TDirectoryEntry::CRC, &TDirectorySink::SetCRC, "check values"});
  if (layout.HasInstallAsFile) {
    io.Column(directory,
              TColumn<std::uint8_t>{&TDirectoryEntry::InstallAsFile,
                                    &TDirectorySink::SetInstallAsFile, "install-as-file flags"});
  }
}

// Builds a TDirectory from the decoded fields.
class TDirectoryBuilder : public TDirectorySink {
 public:
  explicit TDirectoryBuilder(TDirectory& directory) : FDirectory(directory) {}

  void Begin(std::int32_t version, std::uint64_t count) override {
    FDirectory.Version = version;
    // The entries grow with the names actually read, so a count that a
    // large archive file seems to allow still allocates no more than what
    // is there.
    FDirectory.Entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 4096)));
  }
  void AddName(std::string_view name) override { FDirectory.Entries.emplace_back().Name = name; }
  void SetOffset(std::size_t index, std::int64_t offset) override {
    FDirectory.Entries[index].Offset = offset;
  }
  void SetEndOffset(std::int64_t offset) override { FDirectory.EndOffset = offset; }
  void SetStored(std::size_t index, std::uint8_t value) override {
    FDirectory.Entries[index].Stored = value;
  }
  void SetFileTime(std::size_t index, std::int32_t value) override {
    FDirectory.Entries[index].FileTime = value;
  }
  void SetCRC(std::size_t index, std::uint32_t value) override {
    FDirectory.Entries[index].CRC = value;
  }
  void SetInstallAsFile(std::size_t index, std::uint8_t value) override {
    FDirectory.Entries[index].InstallAsFile = value;
  }

 private:
  TDirectory& FDirectory;
};

// Counts the bytes the writer produces.
class TDirectorySizer {
 public:
  std::uint64_t Size() const { return FSize; }

  TDirectoryLayout Head(const TDirectory& directory) {
    const TDirectoryLayout layout = LayoutOf(directory);
    if (layout.HasMagic) FSize += DirectoryMagic.size() + 4;
    return layout;
  }
  void Count(const TDirectory&) { FSize += 4; }
  void Names(const TDirectory& directory, const TDirectoryLayout&) {
    for (const auto& entry : directory.Entries) FSize += 4 + entry.Name.size();
  }
  void Offsets(const TDirectory& directory, const TDirectoryLayout& layout) {
    FSize += (directory.Entries.size() + 1) * static_cast<std::uint64_t>(layout.OffsetWidth);
  }
  template <class T>
  void Column(const TDirectory& directory, const TColumn<T>&) {
    FSize += directory.Entries.size() * sizeof(T);
  }

 private:
  std::uint64_t FSize = 0;
};

[[noreturn]] void FailEncode(const std::string& problem) {
  throw base::ERangeError("archive directory: " + problem);
}

class TDirectoryWriter {
 public:
  explicit TDirectoryWriter(std::string& target) : FWriter(target) {}

  TDirectoryLayout Head(const TDirectory& directory) {
    if (directory.Version < 0) {
      FailEncode("version " + std::to_string(directory.Version) + " cannot be written");
    }
    const TDirectoryLayout layout = LayoutOf(directory);
    if (layout.HasMagic) {
      FWriter.WriteBytes(DirectoryMagic);
      FWriter.WriteInt32(directory.Version);
    }
    return layout;
  }

  void Count(const TDirectory& directory) {
    if (directory.Entries.size() > 0x7FFFFFFFu) FailEncode("too many entries");
    FWriter.WriteInt32(static_cast<std::int32_t>(directory.Entries.size()));
  }

  void Names(const TDirectory& directory, const TDirectoryLayout& layout) {
    TNameScrambler names;
    for (const auto& entry : directory.Entries) {
      if (entry.Name.size() > static_cast<std::size_t>(MaxNameLength)) {
        FailEncode("name of " + std::to_string(entry.Name.size()) + " bytes is too long");
      }
      std::string name = entry.Name;
      if (layout.Scrambled) names.Apply(name);
      FWriter.WriteInt32(static_cast<std::int32_t>(name.size()));
      FWriter.WriteBytes(name);
    }
  }

  void Offsets(const TDirectory& directory, const TDirectoryLayout& layout) {
    TOffsetScrambler scrambler;
    std::int64_t previous = 0;
    for (std::size_t i = 0; i <= directory.Entries.size(); ++i) {
      const std::int64_t offset =
          i < directory.Entries.size() ? directory.Entries[i].Offset : directory.EndOffset;
      // Sizes are derived from the next offset, so offsets must not go back.
      if (offset < previous) {
        FailEncode("offset " + std::to_string(offset) + " lies before the previous one");
      }
      previous = offset;
      if (layout.OffsetWidth == 8) {
        FWriter.WriteInt64(layout.Scrambled ? scrambler.Apply64(offset) : offset);
      } else {
        if (offset > 0xFFFFFFFFLL) {
          FailEncode("offset " + std::to_string(offset) + " needs version " +
                     std::to_string(VersionEntryFields));
        }
        const auto value = static_cast<std::uint32_t>(offset);
        FWriter.WriteUInt32(layout.Scrambled ? scrambler.Apply32(value) : value);
      }
    }
  }

  template <class T>
  void Column(const TDirectory& directory, const TColumn<T>& column) {
    for (const auto& entry : directory.Entries) {
      if constexpr (sizeof(T) == 1) {
        FWriter.WriteByte(static_cast<std::uint8_t>(entry.*column.Field));
      } else {
        static_assert(sizeof(T) == 4);
        FWriter.WriteUInt32(static_cast<std::uint32_t>(entry.*column.Field));
      }
    }
  }

 private:
  base::TLittleEndianWriter FWriter;
};

// Reads the fields from a big stream, each read checked against the bytes
// that remain, so a damaged count fails before anything is allocated for it.
class TDirectoryReader {
 public:
  TDirectoryReader(TQsBigStream& stream, std::int64_t dataSize, std::string sourceName)
      : FStream(stream),
        FSourceName(std::move(sourceName)),
        FDataSize(dataSize),
        FPosition(stream.GetPosition()),
        FSize(stream.GetSize()) {}

  TDirectoryLayout Head(TDirectorySink&) {
    FVersion = 0;
    bool hasMagic = false;
    if (Left() >= static_cast<std::int64_t>(DirectoryMagic.size())) {
      char magic[2];
      Read(magic, 2, "magic");
      if (std::string_view(magic, 2) == DirectoryMagic) {
        hasMagic = true;
        FVersion = ReadInt32("version");
      } else {
        // Without the magic the directory starts with its count.
        FPosition -= 2;
        FStream.SetPosition(FPosition);
      }
    }
    FLayout = TDirectoryLayout::ForVersion(FVersion, hasMagic);
    return FLayout;
  }

  void Count(TDirectorySink& sink) {
    const std::int32_t count = ReadInt32("entry count");
    if (count < 0) Fail(FPosition - 4, "entry count", std::to_string(count) + " is negative");
    FCount = static_cast<std::uint64_t>(count);
    // Each entry needs at least its name length and its share of the tail.
    if (FLayout.TailSize(FCount) + FCount * 4 > static_cast<std::uint64_t>(Left())) {
      Fail(FPosition - 4, "entry count",
           std::to_string(count) + " exceeds the " + std::to_string(Left()) + " bytes left");
    }
    sink.Begin(FVersion, FCount);
  }

  void Names(TDirectorySink& sink, const TDirectoryLayout& layout) {
    TQsBuffBigStream buffer(FStream);
    TNameScrambler names;
    std::string name;  // one buffer for every name; the sink copies it
    for (std::uint64_t i = 0; i < FCount; ++i) {
      char lengthBytes[4];
      ReadBuffered(buffer, lengthBytes, 4, "name length");
      const auto length = static_cast<std::int32_t>(base::GetUInt32(lengthBytes));
      // A length of 0 or less is an empty name: no bytes follow and the
      // name generator does not move.
      if (length <= 0) {
        sink.AddName({});
        continue;
      }
      // Names are file paths; a longer one is damage, and must not become a
      // large allocation in a large archive file.
      if (length > MaxNameLength) {
        Fail(FPosition - 4, "name length",
             std::to_string(length) + " exceeds " + std::to_string(MaxNameLength) + " bytes");
      }
      const std::uint64_t stillNeeded = FLayout.TailSize(FCount) + (FCount - i - 1) * 4;
      if (static_cast<std::uint64_t>(length) + stillNeeded > static_cast<std::uint64_t>(Left())) {
        Fail(
            FPosition - 4, "name length",
            std::to_string(length) + " does not fit the " + std::to_string(Left()) + " bytes left");
      }
      name.resize(static_cast<std::size_t>(length));
      ReadBuffered(buffer, name.data(), length, "name");
      if (layout.Scrambled) names.Apply(name);
      sink.AddName(name);
    }
  }  // the buffered reader puts the stream right behind the last name

  void Offsets(TDirectorySink& sink, const TDirectoryLayout& layout) {
    const std::int64_t at = FPosition;
    const int width = layout.OffsetWidth;
    const std::string offsets = ReadArray(FCount + 1, width, "offsets");
    TOffsetScrambler scrambler;
    std::int64_t previous = 0;
    for (std::uint64_t i = 0; i <= FCount; ++i) {
      const char* bytes = offsets.data() + i * static_cast<std::uint64_t>(width);
      std::int64_t offset = 0;
      if (width == 8) {
        offset = static_cast<std::int64_t>(base::GetUInt64(bytes));
        if (layout.Scrambled) offset = scrambler.Apply64(offset);
      } else {
        std::uint32_t value = base::GetUInt32(bytes);
        if (layout.Scrambled) value = scrambler.Apply32(value);
        offset = value;
      }
      const std::int64_t position = at + static_cast<std::int64_t>(i) * width;
      const std::string field =
          i < FCount ? "offset of entry " + std::to_string(i) : std::string("end offset");
      if (offset < previous) {
        Fail(position, field,
             std::to_string(offset) + " lies before the previous offset " +
                 std::to_string(previous));
      }
      if (offset > FDataSize) {
        Fail(position, field,
             std::to_string(offset) + " lies beyond the archive's " + std::to_string(FDataSize) +
                 " bytes");
      }
      previous = offset;
      if (i < FCount) {
        sink.SetOffset(static_cast<std::size_t>(i), offset);
      } else {
        sink.SetEndOffset(offset);
      }
    }
  }

  template <class T>
  void Column(TDirectorySink& sink, const TColumn<T>& column) {
    const std::string bytes = ReadArray(FCount, sizeof(T), column.Name);
    for (std::size_t i = 0; i < static_cast<std::size_t>(FCount); ++i) {
      const char* value = bytes.data() + i * sizeof(T);
      if constexpr (sizeof(T) == 1) {
        (sink.*column.Set)(i, static_cast<T>(static_cast<unsigned char>(*value)));
      } else {
        static_assert(sizeof(T) == 4);
        (sink.*column.Set)(i, static_cast<T>(base::GetUInt32(value)));
      }
    }
  }

 private:
  std::int64_t Left() const { return FSize - FPosition; }

  [[noreturn]] void Fail(std::int64_t position, std::string_view field,
                         std::string_view problem) const {
    base::FailDamaged(FSourceName, position, field, problem);
  }

  void Require(std::uint64_t count, std::string_view field) const {
    if (count > static_cast<std::uint64_t>(Left())) {
      Fail(FPosition, field,
           "needs " + std::to_string(count) + " bytes but only " + std::to_string(Left()) +
               " are left");
    }
  }

  void Read(void* buffer, std::int64_t count, std::string_view field) {
    Require(static_cast<std::uint64_t>(count), field);
    if (FStream.Read(buffer, count) != count) Fail(FPosition, field, "could not be read");
    FPosition += count;
  }

  // A read through the buffered reader: the underlying stream's position
  // runs ahead, the logical one advances by what was handed out.
  void ReadBuffered(TQsBuffBigStream& buffer, void* target, std::int32_t count,
                    std::string_view field) {
    Require(static_cast<std::uint64_t>(count), field);
    if (buffer.Read(target, count) != count) Fail(FPosition, field, "could not be read");
    FPosition += count;
  }

  std::int32_t ReadInt32(std::string_view field) {
    char bytes[4];
    Read(bytes, 4, field);
    return static_cast<std::int32_t>(base::GetUInt32(bytes));
  }

  std::string ReadArray(std::uint64_t count, std::size_t width, std::string_view field) {
    Require(count * width, field);
    std::string bytes(static_cast<std::size_t>(count) * width, '\0');
    if (!bytes.empty()) Read(bytes.data(), static_cast<std::int64_t>(bytes.size()), field);
    return bytes;
  }

  TQsBigStream& FStream;
  std::string FSourceName;
  std::int64_t FDataSize;
  std::int64_t FPosition;
  std::int64_t FSize;
  TDirectoryLayout FLayout;
  std::int32_t FVersion = 0;
  std::uint64_t FCount = 0;
};

}  // namespace

std::int64_t EncodedDirectorySize(const TDirectory& directory) {
  TDirectorySizer sizer;
  TransferDirectory(sizer, directory);
  return static_cast<std::int64_t>(sizer.Size());
}

std::string EncodeDirectory(const TDirectory& directory) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(EncodedDirectorySize(directory)));
  TDirectoryWriter writer(bytes);
  TransferDirectory(writer, directory);
  return bytes;
}

void DecodeDirectory(TQsBigStream& stream, std::int64_t dataSize, const std::string& sourceName,
                     TDirectorySink& sink) {
  TDirectoryReader reader(stream, dataSize, sourceName);
  TransferDirectory(reader, sink);
}

TDirectory DecodeDirectory(TQsBigStream& stream, std::int64_t dataSize,
                           const std::string& sourceName) {
  TDirectory directory;
  TDirectoryBuilder builder(directory);
  DecodeDirectory(stream, dataSize, sourceName, builder);
  return directory;
}

std::string EncodeTrailer(std::int32_t directoryPosition) {
  std::string bytes;
  base::TLittleEndianWriter writer(bytes);
  writer.WriteInt32(directoryPosition);
  writer.WriteBytes(TrailerMark);
  return bytes;
}

}  // namespace mora::archive
