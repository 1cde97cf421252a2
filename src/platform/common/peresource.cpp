// Reading typed, named resources out of a PE image as stored in its file:
// headers, section table, then the three-level resource directory
// (type -> name -> language, the first language taken). Every offset and
// count is checked against the image before use.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/pelayout.h"
#include "platform/resources.h"

namespace mora::platform {

namespace {

using base::TLittleEndianReader;

constexpr std::uint32_t HighBit = pe::ResourceHighBit;

struct TSection {
  std::uint32_t VirtualAddress;
  std::uint32_t RawSize;
  std::uint32_t RawOffset;
};

// A resource identifier as the caller names it: "#123" stands for the number
// 123, anything else for a name (compared without regard to ASCII case).
struct TResourceId {
  bool IsNumber = false;
  std::uint32_t Number = 0;
  std::u16string Name;
};

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }

TResourceId MakeId(const std::string& text) {
  TResourceId id;
  if (text.size() > 1 && text[0] == '#') {
    std::uint64_t value = 0;
    bool digits = true;
    for (std::size_t i = 1; i < text.size() && digits; ++i) {
      if (text[i] < '0' || text[i] > '9') {
        digits = false;
      } else {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > 0xFFFF) digits = false;
      }
    }
    if (digits) {
      id.IsNumber = true;
      id.Number = static_cast<std::uint32_t>(value);
      return id;
    }
  }
  std::u16string name;
  try {
    name = base::Cp932ToUtf16(text);
  } catch (const base::EConvertError&) {
    id.IsNumber = true;  // a number no entry carries: matches nothing
    id.Number = HighBit;
    return id;
  }
  for (auto& c : name) c = UpperAscii(c);
  id.Name = std::move(name);
  return id;
}

class TPeReader {
 public:
  TPeReader(std::string_view image, const std::string& sourceName)
      : FImage(image), FReader(image, sourceName) {}

  // Finds the resource directory; false when the image has none.
  bool ReadHeaders() {
    if (FImage.size() < 2 || FImage[0] != 'M' || FImage[1] != 'Z') {
      FReader.Fail("DOS header", "no MZ signature");
    }
    FReader.Seek(pe::PeOffsetField, "e_lfanew");
    const std::uint32_t peOffset = FReader.ReadUInt32("e_lfanew");
    FReader.Seek(peOffset, "PE signature");
    if (FReader.ReadBytes(pe::Signature.size(), "PE signature") != pe::Signature) {
      FReader.Fail("PE signature", "missing");
    }
    FReader.Skip(2, "Machine");
    const std::uint16_t sectionCount = FReader.ReadUInt16("NumberOfSections");
    FReader.Skip(12, "COFF header");
    const std::uint16_t optionalSize = FReader.ReadUInt16("SizeOfOptionalHeader");
    FReader.Skip(2, "Characteristics");
    const std::size_t optionalStart = FReader.Position();
    const std::uint16_t magic = FReader.ReadUInt16("optional header magic");
    std::size_t countOffset = 0;
    if (magic == pe::MagicPe32) {
      countOffset = pe::OptRvaCountPe32;
    } else if (magic == pe::MagicPe32Plus) {
      countOffset = pe::OptRvaCountPe32Plus;
    } else {
      FReader.Fail("optional header magic", "neither PE32 nor PE32+");
    }
    if (optionalSize < countOffset + 4) {
      FReader.Fail("SizeOfOptionalHeader", "too small for the data directories");
    }
    FReader.Seek(optionalStart + countOffset, "NumberOfRvaAndSizes");
    const std::uint32_t directoryCount = FReader.ReadUInt32("NumberOfRvaAndSizes");
    std::uint32_t resourceRva = 0;
    if (directoryCount > pe::DirectoryResource &&
        optionalSize >= countOffset + 4 + (pe::DirectoryResource + 1) * pe::DataDirectorySize) {
      FReader.Skip(pe::DirectoryResource * pe::DataDirectorySize, "data directories");
      resourceRva = FReader.ReadUInt32("resource directory RVA");
      FReader.ReadUInt32("resource directory size");
    }
    FReader.Seek(optionalStart + optionalSize, "section table");
    FReader.RequireItems(sectionCount, pe::SectionHeaderSize, "section table");
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
      FReader.Skip(8, "section name");
      const std::uint32_t virtualSize = FReader.ReadUInt32("VirtualSize");
      TSection section{};
      section.VirtualAddress = FReader.ReadUInt32("VirtualAddress");
      section.RawSize = FReader.ReadUInt32("SizeOfRawData");
      section.RawOffset = FReader.ReadUInt32("PointerToRawData");
      FReader.Skip(16, "section header");
      if (virtualSize != 0 && virtualSize < section.RawSize) section.RawSize = virtualSize;
      if (i < MaxSections) FSections[FSectionCount++] = section;
    }
    if (resourceRva == 0) return false;
    FResourceStart = RvaToOffset(resourceRva, pe::ResourceTableSize, "resource directory");
    return true;
  }

  std::optional<std::string_view> Find(const TResourceId& type, const TResourceId& name) {
    const std::uint32_t typeEntry = FindEntry(0, type, "resource type");
    if (typeEntry == NotFound) return std::nullopt;
    if ((typeEntry & HighBit) == 0) FReader.Fail("resource type", "entry is not a directory");
    const std::uint32_t nameEntry = FindEntry(typeEntry & ~HighBit, name, "resource name");
    if (nameEntry == NotFound) return std::nullopt;
    std::uint32_t dataEntry = nameEntry;
    if (dataEntry & HighBit) {
      dataEntry = FirstEntry(dataEntry & ~HighBit, "resource language");
      if (dataEntry == NotFound) return std::nullopt;
      if (dataEntry & HighBit) FReader.Fail("resource language", "entry is not data");
    }
    FReader.Seek(DirectoryOffset(dataEntry, pe::ResourceDataEntrySize, "resource data entry"),
                 "resource data entry");
    const std::uint32_t dataRva = FReader.ReadUInt32("resource data RVA");
    const std::uint32_t dataSize = FReader.ReadUInt32("resource data size");
    const std::size_t offset = RvaToOffset(dataRva, dataSize, "resource data");
    return FImage.substr(offset, dataSize);
  }

 private:
  static constexpr std::uint32_t NotFound = 0xFFFFFFFFu;
  static constexpr std::size_t MaxSections = pe::MaxSections;

  // File offset of an RVA whose size bytes all lie in one section's raw data.
  std::size_t RvaToOffset(std::uint32_t rva, std::uint32_t size, std::string_view field) const {
    for (std::size_t i = 0; i < FSectionCount; ++i) {
      const TSection& s = FSections[i];
      if (rva < s.VirtualAddress) continue;
      const std::uint64_t inSection = rva - s.VirtualAddress;
      if (inSection >= s.RawSize || size > s.RawSize - inSection) continue;
      const std::uint64_t offset = std::uint64_t{s.RawOffset} + inSection;
      if (offset > FImage.size() || size > FImage.size() - offset) {
        FReader.Fail(field, "lies beyond the end of the file");
      }
      return static_cast<std::size_t>(offset);
    }
    FReader.Fail(field, "RVA " + std::to_string(rva) + " lies in no section");
  }

  std::size_t DirectoryOffset(std::uint32_t relative, std::size_t size,
                              std::string_view field) const {
    if (relative > FImage.size() - FResourceStart ||
        size > FImage.size() - FResourceStart - relative) {
      FReader.Fail(field, "offset " + std::to_string(relative) + " lies beyond the end");
    }
    return FResourceStart + relative;
  }

  bool Matches(std::uint32_t nameField, const TResourceId& id) {
    if ((nameField & HighBit) == 0) return id.IsNumber && nameField == id.Number;
    if (id.IsNumber) return false;
    FReader.Seek(DirectoryOffset(nameField & ~HighBit, 2, "resource name"), "resource name");
    const std::uint16_t length = FReader.ReadUInt16("resource name length");
    FReader.RequireItems(length, 2, "resource name");
    if (length != id.Name.size()) return false;
    for (std::uint16_t i = 0; i < length; ++i) {
      if (UpperAscii(static_cast<char16_t>(FReader.ReadUInt16("resource name"))) != id.Name[i]) {
        return false;
      }
    }
    return true;
  }

  std::uint32_t FindEntry(std::uint32_t directory, const TResourceId& id, std::string_view field) {
    FReader.Seek(DirectoryOffset(directory, pe::ResourceTableSize, field), field);
    FReader.Skip(pe::ResourceNamedCount, field);
    const std::uint32_t count =
        std::uint32_t{FReader.ReadUInt16(field)} + FReader.ReadUInt16(field);
    FReader.RequireItems(count, pe::ResourceEntrySize, field);
    const std::size_t entries = FReader.Position();
    for (std::uint32_t i = 0; i < count; ++i) {
      FReader.Seek(entries + i * pe::ResourceEntrySize, field);
      const std::uint32_t nameField = FReader.ReadUInt32(field);
      const std::uint32_t target = FReader.ReadUInt32(field);
      if (Matches(nameField, id)) return target;
    }
    return NotFound;
  }

  std::uint32_t FirstEntry(std::uint32_t directory, std::string_view field) {
    FReader.Seek(DirectoryOffset(directory, pe::ResourceTableSize, field), field);
    FReader.Skip(pe::ResourceNamedCount, field);
    const std::uint32_t count =
        std::uint32_t{FReader.ReadUInt16(field)} + FReader.ReadUInt16(field);
    if (count == 0) return NotFound;
    FReader.RequireItems(count, pe::ResourceEntrySize, field);
    FReader.Skip(4, field);
    return FReader.ReadUInt32(field);
  }

  std::string_view FImage;
  TLittleEndianReader FReader;
  TSection FSections[MaxSections]{};
  std::size_t FSectionCount = 0;
  std::size_t FResourceStart = 0;
};

}  // namespace

std::optional<std::string_view> FindPeResource(std::string_view image, const std::string& name,
                                               const std::string& type,
                                               const std::string& sourceName) {
  TPeReader reader(image, sourceName);
  if (!reader.ReadHeaders()) return std::nullopt;
  return reader.Find(MakeId(type), MakeId(name));
}

}  // namespace mora::platform
