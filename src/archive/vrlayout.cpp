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

}  // namespace

std::int64_t EncodedDirectorySize(const TDirectory& directory) {
  const TDirectoryLayout layout = LayoutOf(directory);
  std::uint64_t size = (layout.HasMagic ? 2 + 4 : 0) + 4;
  for (const auto& entry : directory.Entries) size += 4 + entry.Name.size();
  size += layout.TailSize(directory.Entries.size());
  return static_cast<std::int64_t>(size);
}

std::string EncodeDirectory(const TDirectory& directory) {
  if (directory.Version < 0) {
    throw base::ERangeError("archive directory: version " + std::to_string(directory.Version) +
                            " cannot be written");
  }
  if (directory.Entries.size() > 0x7FFFFFFFu) {
    throw base::ERangeError("archive directory: too many entries");
  }
  const TDirectoryLayout layout = LayoutOf(directory);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(EncodedDirectorySize(directory)));
  base::TLittleEndianWriter writer(bytes);
  if (layout.HasMagic) {
    writer.WriteBytes(DirectoryMagic);
    writer.WriteInt32(directory.Version);
  }
  writer.WriteInt32(static_cast<std::int32_t>(directory.Entries.size()));

  TNameScrambler names;
  for (const auto& entry : directory.Entries) {
    if (entry.Name.size() > static_cast<std::size_t>(MaxNameLength)) {
      throw base::ERangeError("archive directory: name of " + std::to_string(entry.Name.size()) +
                              " bytes is too long");
    }
    std::string name = entry.Name;
    if (layout.Scrambled) names.Apply(name);
    writer.WriteInt32(static_cast<std::int32_t>(name.size()));
    writer.WriteBytes(name);
  }

  std::vector<std::int64_t> offsets;
  offsets.reserve(directory.Entries.size() + 1);
  for (const auto& entry : directory.Entries) offsets.push_back(entry.Offset);
  offsets.push_back(directory.EndOffset);
  TOffsetScrambler scrambler;
  std::int64_t previous = 0;
  for (const std::int64_t offset : offsets) {
    // Sizes are derived from the next offset, so offsets must not go back.
    if (offset < previous) {
      throw base::ERangeError("archive directory: offset " + std::to_string(offset) +
                              " lies before the previous one");
    }
    previous = offset;
    if (layout.OffsetWidth == 8) {
      writer.WriteInt64(layout.Scrambled ? scrambler.Apply64(offset) : offset);
    } else {
      if (offset > 0xFFFFFFFFLL) {
        throw base::ERangeError("archive directory: offset " + std::to_string(offset) +
                                " needs version " + std::to_string(VersionEntryFields));
      }
      const auto value = static_cast<std::uint32_t>(offset);
      writer.WriteUInt32(layout.Scrambled ? scrambler.Apply32(value) : value);
    }
  }
  if (layout.HasEntryFields) {
    for (const auto& entry : directory.Entries) writer.WriteByte(entry.Stored);
    for (const auto& entry : directory.Entries) writer.WriteInt32(entry.FileTime);
    for (const auto& entry : directory.Entries) writer.WriteUInt32(entry.CRC);
    if (layout.HasInstallAsFile) {
      for (const auto& entry : directory.Entries) writer.WriteByte(entry.InstallAsFile);
    }
  }
  return bytes;
}

namespace {

// Reads the directory's fields from a big stream, each read checked against
// the bytes that remain, so a damaged count fails before it is allocated.
class TDirectoryInput {
 public:
  TDirectoryInput(TQsBigStream& stream, std::string sourceName)
      : FStream(stream),
        FSourceName(std::move(sourceName)),
        FPosition(stream.GetPosition()),
        FSize(stream.GetSize()) {}

  std::int64_t Position() const { return FPosition; }
  std::int64_t Left() const { return FSize - FPosition; }

  [[noreturn]] void Fail(std::string_view field, std::string_view problem) const {
    throw base::EDamagedData(FSourceName + ": offset " + std::to_string(FPosition) + ": " +
                             std::string(field) + " " + std::string(problem));
  }

  void Require(std::uint64_t count, std::string_view field) const {
    if (count > static_cast<std::uint64_t>(Left())) {
      Fail(field, "needs " + std::to_string(count) + " bytes but only " +
                      std::to_string(Left()) + " are left");
    }
  }

  void Read(void* buffer, std::int64_t count, std::string_view field) {
    Require(static_cast<std::uint64_t>(count), field);
    if (FStream.Read(buffer, count) != count) Fail(field, "could not be read");
    FPosition += count;
  }

  // A read through the buffered reader: the underlying stream's position
  // runs ahead, the logical one advances by what was handed out.
  void ReadBuffered(TQsBuffBigStream& buffer, void* target, std::int32_t count,
                    std::string_view field) {
    Require(static_cast<std::uint64_t>(count), field);
    if (buffer.Read(target, count) != count) Fail(field, "could not be read");
    FPosition += count;
  }

  void Unread(std::int64_t count) {
    FPosition -= count;
    FStream.SetPosition(FPosition);
  }

  std::int32_t ReadInt32(std::string_view field) {
    char bytes[4];
    Read(bytes, 4, field);
    return static_cast<std::int32_t>(base::GetUInt32(bytes));
  }

  std::string ReadArray(std::uint64_t count, int width, std::string_view field) {
    Require(count * static_cast<std::uint64_t>(width), field);
    std::string bytes(static_cast<std::size_t>(count) * static_cast<std::size_t>(width), '\0');
    if (!bytes.empty()) Read(bytes.data(), static_cast<std::int64_t>(bytes.size()), field);
    return bytes;
  }

 private:
  TQsBigStream& FStream;
  std::string FSourceName;
  std::int64_t FPosition;
  std::int64_t FSize;
};

}  // namespace

TDirectory DecodeDirectory(TQsBigStream& stream, std::int64_t dataSize,
                           const std::string& sourceName) {
  TDirectoryInput input(stream, sourceName);
  TDirectory directory;
  bool hasMagic = false;
  directory.Version = 0;
  if (input.Left() >= 2) {
    char magic[2];
    input.Read(magic, 2, "magic");
    if (std::string_view(magic, 2) == DirectoryMagic) {
      hasMagic = true;
      directory.Version = input.ReadInt32("version");
    } else {
      input.Unread(2);
    }
  }
  const TDirectoryLayout layout = TDirectoryLayout::ForVersion(directory.Version, hasMagic);
  const std::int32_t count = input.ReadInt32("entry count");
  if (count < 0) input.Fail("entry count", std::to_string(count) + " is negative");
  // Each entry needs at least its name length and its share of the tail.
  const auto n = static_cast<std::uint64_t>(count);
  if (layout.TailSize(n) + n * 4 > static_cast<std::uint64_t>(input.Left())) {
    input.Fail("entry count", std::to_string(count) + " exceeds the " +
                                  std::to_string(input.Left()) + " bytes left");
  }

  // The entries grow with the names actually read, so a count that a large
  // archive file seems to allow still allocates no more than what is there.
  directory.Entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(n, 4096)));
  {
    TQsBuffBigStream buffer(stream);
    TNameScrambler names;
    std::uint64_t namesLeft = n;
    for (std::uint64_t i = 0; i < n; ++i) {
      TDirectoryEntry& entry = directory.Entries.emplace_back();
      char lengthBytes[4];
      input.ReadBuffered(buffer, lengthBytes, 4, "name length");
      const auto length = static_cast<std::int32_t>(base::GetUInt32(lengthBytes));
      namesLeft -= 1;
      const std::uint64_t stillNeeded = layout.TailSize(n) + namesLeft * 4;
      // Names are file paths; a longer one is damage, and must not become a
      // large allocation in a large archive file.
      if (length > MaxNameLength) {
        input.Fail("name length", std::to_string(length) + " exceeds " +
                                      std::to_string(MaxNameLength) + " bytes");
      }
      if (length < 0 || static_cast<std::uint64_t>(length) + stillNeeded >
                            static_cast<std::uint64_t>(input.Left())) {
        input.Fail("name length", std::to_string(length) + " does not fit the " +
                                      std::to_string(input.Left()) + " bytes left");
      }
      entry.Name.resize(static_cast<std::size_t>(length));
      if (length > 0) input.ReadBuffered(buffer, entry.Name.data(), length, "name");
      if (layout.Scrambled) names.Apply(entry.Name);
    }
  }  // the buffered reader puts the stream right behind the last name

  const std::int64_t offsetsAt = input.Position();
  const std::string offsets = input.ReadArray(n + 1, layout.OffsetWidth, "offsets");
  TOffsetScrambler scrambler;
  std::int64_t previous = 0;
  for (std::uint64_t i = 0; i <= n; ++i) {
    std::int64_t offset = 0;
    if (layout.OffsetWidth == 8) {
      offset = static_cast<std::int64_t>(base::GetUInt64(offsets.data() + i * 8));
      if (layout.Scrambled) offset = scrambler.Apply64(offset);
    } else {
      std::uint32_t value = base::GetUInt32(offsets.data() + i * 4);
      if (layout.Scrambled) value = scrambler.Apply32(value);
      offset = value;
    }
    const std::string field = "offset " + std::to_string(i) + " (at " +
                              std::to_string(offsetsAt + static_cast<std::int64_t>(i) *
                                                             layout.OffsetWidth) +
                              ")";
    if (offset < previous) {
      input.Fail(field, std::to_string(offset) + " lies before the previous offset " +
                            std::to_string(previous));
    }
    if (offset > dataSize) {
      input.Fail(field, std::to_string(offset) + " lies beyond the archive's " +
                            std::to_string(dataSize) + " bytes");
    }
    previous = offset;
    if (i < n) {
      directory.Entries[static_cast<std::size_t>(i)].Offset = offset;
    } else {
      directory.EndOffset = offset;
    }
  }

  if (layout.HasEntryFields) {
    const std::string stored = input.ReadArray(n, 1, "stored flags");
    const std::string times = input.ReadArray(n, 4, "file times");
    const std::string crcs = input.ReadArray(n, 4, "check values");
    std::string installAsFile;
    if (layout.HasInstallAsFile) installAsFile = input.ReadArray(n, 1, "install-as-file flags");
    for (std::size_t i = 0; i < directory.Entries.size(); ++i) {
      auto& entry = directory.Entries[i];
      entry.Stored = static_cast<std::uint8_t>(stored[i]);
      entry.FileTime = static_cast<std::int32_t>(base::GetUInt32(times.data() + i * 4));
      entry.CRC = base::GetUInt32(crcs.data() + i * 4);
      if (layout.HasInstallAsFile) entry.InstallAsFile = static_cast<std::uint8_t>(installAsFile[i]);
    }
  }
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
