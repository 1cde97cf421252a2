#include "settings/installset.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string_view>

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace mora::settings {

using base::FormatS;
using base::Sjis;

namespace {

constexpr std::string_view FileMark = "is";

enum class TEmptyEntries { Drop, Keep };

// The fields of install.dat in file order, with the format from which each
// is present. Reader and writer both run through this one list, so the
// layout cannot differ between them.
template <class TIo, class TSettings>
void TransferFields(TIo& io, TSettings& s) {
  io.Int32(s.DiskIndex, "DiskIndex");
  io.String(s.Title, "Title");
  io.String(s.FooterText, "FooterText");
  io.String(s.DefaultDir, "DefaultDir");
  io.String(s.ReadmeFile, "ReadmeFile");
  io.Byte(s.ShowReadme, "ShowReadme");
  io.String(s.BackgroundPicture, "BackgroundPicture");
  io.Byte(s.BackgroundLayout, "BackgroundLayout");
  io.DiskCount(s);
  io.String(s.ProgramFile, "ProgramFile");
  io.Int32(s.PictureSeed, "PictureSeed");
  io.Byte(s.ShowRuntimeButtons, "ShowRuntimeButtons");
  io.Byte(s.SpareFlag, "SpareFlag");
  io.String(s.MediaName, "MediaName");
  io.String(s.RegistryKey, "RegistryKey");
  io.DiskSizes(s);
  io.Size(s.ProgramSize, "ProgramSize");
  io.Size(s.DataSize, "DataSize");
  io.Size(s.SoundSize, "SoundSize");
  io.Size(s.MovieSize, "MovieSize");
  io.Byte(s.UninstallMode, "UninstallMode");
  if (io.Carries(FormatAddOnPackage)) io.Byte(s.AddOnPackage, "AddOnPackage");
  io.List(s.InstalledFiles, FormatInstalledFiles, TEmptyEntries::Drop, "InstalledFiles");
  if (io.Carries(FormatDataInstalled)) io.Byte(s.DataInstalled, "DataInstalled");
  if (io.Carries(FormatSetupKind)) io.Byte(s.SetupKind, "SetupKind");
  if (io.Carries(FormatFilesInArchive)) io.Byte(s.FilesInArchive, "FilesInArchive");
  io.List(s.PlainFiles, FormatPlainFiles, TEmptyEntries::Keep, "PlainFiles");
  if (io.Carries(FormatSetupCaption)) io.String(s.SetupCaption, "SetupCaption");
}

std::string EntryName(std::string_view list, std::size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

// Reads the fields of one format. A fixed-width field (and a string's length)
// that finds too few bytes keeps its value, and the remaining bytes are
// consumed so that no later field picks up a fragment. Lengths and counts
// that announce more than is left are damage.
class TFieldReader {
 public:
  TFieldReader(base::TLittleEndianReader& reader, std::int32_t format)
      : FReader(reader), FFormat(format) {}

  bool Carries(std::int32_t since) const { return FFormat >= since; }
  std::size_t SizeWidth() const { return Carries(FormatWideSizes) ? 8 : 4; }

  void Int32(std::int32_t& value, std::string_view) {
    if (!FReader.TryReadInt32(value)) ConsumeRest();
  }

  void Byte(std::uint8_t& value, std::string_view) {
    if (!FReader.TryReadByte(value)) ConsumeRest();
  }

  void Size(std::int64_t& value, std::string_view) {
    if (Carries(FormatWideSizes)) {
      if (!FReader.TryReadInt64(value)) ConsumeRest();
      return;
    }
    // Older formats store 32 bits; they replace only the low half.
    std::int32_t low = 0;
    if (!FReader.TryReadInt32(low)) {
      ConsumeRest();
      return;
    }
    const auto high = static_cast<std::uint64_t>(value) & 0xFFFFFFFF00000000ull;
    value = static_cast<std::int64_t>(high | static_cast<std::uint32_t>(low));
  }

  void String(std::string& value, std::string_view field) {
    std::int32_t length = 0;
    if (!FReader.TryReadInt32(length)) {
      ConsumeRest();
      return;
    }
    if (length <= 0) {
      value.clear();
      return;
    }
    value = FReader.ReadBytes(static_cast<std::size_t>(length), field);
  }

  void DiskCount(TMoraInstallSet& s) {
    std::int32_t count = s.DiskCount();
    if (!FReader.TryReadInt32(count)) {
      ConsumeRest();
      return;
    }
    if (count < 0) {
      throw base::ERangeError(base::DamageMessage(
          FReader.SourceName(), static_cast<std::int64_t>(FReader.Position() - 4), "DiskCount",
          std::to_string(count) + " is negative"));
    }
    // Every disk takes four sizes further on; a count that cannot fit into
    // the rest is refused before the arrays are allocated.
    FReader.RequireItems(static_cast<std::uint64_t>(count), 4 * SizeWidth(), "DiskCount");
    s.SetDiskCount(count);
    FDiskCountRead = true;
  }

  void DiskSizes(TMoraInstallSet& s) {
    // Data that ended before DiskCount carries no sizes either: the arrays
    // keep their values like every other field the data does not reach.
    if (!FDiskCountRead) return;
    const auto count = static_cast<std::size_t>(s.DiskCount());
    FReader.RequireItems(count, 4 * SizeWidth(), "per-disk sizes of DiskCount");
    for (std::size_t i = 0; i < count; ++i) {
      Size(s.DiskProgramSizes()[i], "DiskProgramSizes");
      Size(s.DiskDataSizes()[i], "DiskDataSizes");
      Size(s.DiskSoundSizes()[i], "DiskSoundSizes");
      Size(s.DiskMovieSizes()[i], "DiskMovieSizes");
    }
  }

  void List(std::vector<std::string>& list, std::int32_t since, TEmptyEntries empty,
            std::string_view field) {
    list.clear();
    if (!Carries(since)) return;
    std::int32_t count = 0;
    if (!FReader.TryReadInt32(count)) {
      ConsumeRest();
      return;
    }
    if (count <= 0) return;
    // Each entry takes at least its 4-byte length.
    FReader.RequireItems(static_cast<std::uint64_t>(count), 4, std::string(field) + " count");
    list.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
      const std::string name = EntryName(field, i);
      const std::int32_t length = FReader.ReadInt32(name + " length");
      if (length > 0) {
        list.push_back(FReader.ReadBytes(static_cast<std::size_t>(length), name));
      } else if (empty == TEmptyEntries::Keep) {
        list.emplace_back();
      }
    }
  }

 private:
  void ConsumeRest() { FReader.Seek(FReader.Size(), "end"); }

  base::TLittleEndianReader& FReader;
  std::int32_t FFormat;
  bool FDiskCountRead = false;
};

// Writes the fields as CurrentFormat carries them.
class TFieldWriter {
 public:
  explicit TFieldWriter(std::string& target) : FWriter(target) {}

  bool Carries(std::int32_t since) const { return CurrentFormat >= since; }

  void Int32(std::int32_t value, std::string_view) { FWriter.WriteInt32(value); }
  void Byte(std::uint8_t value, std::string_view) { FWriter.WriteByte(value); }
  void Size(std::int64_t value, std::string_view) { FWriter.WriteInt64(value); }

  void String(const std::string& value, std::string_view field) {
    if (value.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw base::ERangeError(std::string(field) + " is too long to be saved");
    }
    FWriter.WriteInt32(static_cast<std::int32_t>(value.size()));
    FWriter.WriteBytes(value);
  }

  void DiskCount(const TMoraInstallSet& s) { FWriter.WriteInt32(s.DiskCount()); }

  void DiskSizes(const TMoraInstallSet& s) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(s.DiskCount()); ++i) {
      Size(s.DiskProgramSizes()[i], "DiskProgramSizes");
      Size(s.DiskDataSizes()[i], "DiskDataSizes");
      Size(s.DiskSoundSizes()[i], "DiskSoundSizes");
      Size(s.DiskMovieSizes()[i], "DiskMovieSizes");
    }
  }

  // Every entry is written with its length, empty ones included.
  void List(const std::vector<std::string>& list, std::int32_t, TEmptyEntries,
            std::string_view field) {
    if (list.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw base::ERangeError(std::string(field) + " has too many entries to be saved");
    }
    FWriter.WriteInt32(static_cast<std::int32_t>(list.size()));
    for (const std::string& entry : list) String(entry, field);
  }

 private:
  base::TLittleEndianWriter FWriter;
};

// The three characters after the mark as a decimal number: optional leading
// blanks and sign, then digits only; anything else is format 0.
std::int32_t ParseFormatNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return 0;
  std::int32_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

// The rest of the stream from its current position, at most the limit.
std::string ReadRest(platform::TStream& stream, const std::string& sourceName) {
  const std::int64_t available = std::max<std::int64_t>(0, stream.Size() - stream.Position());
  if (available > MaxSettingsFileSize) {
    throw base::EDamagedData(sourceName + ": " + std::to_string(available) +
                             " bytes is far too large for a settings file");
  }
  std::string bytes(static_cast<std::size_t>(available), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::int64_t n =
        stream.Read(bytes.data() + done, static_cast<std::int64_t>(bytes.size() - done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

void TMoraInstallSet::SetDiskCount(std::int32_t count) {
  if (count < 0) {
    throw base::ERangeError("DiskCount " + std::to_string(count) + " is negative");
  }
  const auto n = static_cast<std::size_t>(count);
  FDiskProgramSizes.resize(n, 0);
  FDiskDataSizes.resize(n, 0);
  FDiskSoundSizes.resize(n, 0);
  FDiskMovieSizes.resize(n, 0);
  FDiskCount = count;
}

void TMoraInstallSet::LoadFromStream(platform::TStream& stream, const std::string& sourceName) {
  const std::int64_t start = stream.Position();
  const std::string bytes = ReadRest(stream, sourceName);
  base::TLittleEndianReader reader(bytes, sourceName);

  // "is" and three digits; without the mark the data is format 0 from its
  // first byte. After a mark the fields start behind the five bytes even
  // when the digits are no number.
  std::int32_t format = 0;
  if (bytes.size() >= FileMark.size() && bytes.compare(0, FileMark.size(), FileMark) == 0) {
    reader.Skip(FileMark.size(), "mark");
    const std::string_view digits =
        reader.ReadView(std::min<std::size_t>(3, reader.Remaining()), "FormatVersion");
    if (digits.size() == 3) format = ParseFormatNumber(digits);
  }

  // Parse into a copy so that a damaged file leaves this object untouched.
  TMoraInstallSet loaded(*this);
  TFieldReader io(reader, format);
  TransferFields(io, loaded);
  loaded.FFormatVersion = format;
  *this = std::move(loaded);
  stream.SetPosition(start + static_cast<std::int64_t>(reader.Position()));
}

void TMoraInstallSet::LoadFromFile(const std::string& fileName) {
  std::unique_ptr<platform::TFileStream> stream;
  try {
    stream =
        std::make_unique<platform::TFileStream>(fileName, platform::TFileStream::TMode::OpenRead);
  } catch (const base::EStreamError&) {
    throw base::EFOpenError(FormatS(Sjis("ファイル %s は開けません"), fileName));
  } catch (const base::EPlatformError&) {
    throw base::EFOpenError(FormatS(Sjis("ファイル %s は開けません"), fileName));
  }
  LoadFromStream(*stream, fileName);
}

std::string TMoraInstallSet::SaveToBytes() const {
  std::string bytes;
  bytes += FileMark;
  bytes += std::to_string(CurrentFormat);
  TFieldWriter io(bytes);
  TransferFields(io, *this);
  return bytes;
}

void TMoraInstallSet::SaveToStream(platform::TStream& stream) const {
  stream.WriteBytes(SaveToBytes());
}

void TMoraInstallSet::SaveToFile(const std::string& fileName) const {
  const std::string bytes = SaveToBytes();
  try {
    platform::WriteFileAtomic(fileName, bytes);
  } catch (const base::EStreamError&) {
    throw base::EFCreateError(FormatS(Sjis("ファイル %s を作成できません"), fileName));
  } catch (const base::EPlatformError&) {
    throw base::EFCreateError(FormatS(Sjis("ファイル %s を作成できません"), fileName));
  }
}

}  // namespace mora::settings
