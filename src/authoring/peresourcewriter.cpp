#include "authoring/peresourcewriter.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/pelayout.h"

namespace mora::authoring {

namespace pe = platform::pe;

namespace {

// A tree larger than this is damage, not a program's resources; it also
// bounds the walk of a tree whose entries point at each other.
constexpr std::size_t MaxResources = 65536;
// Resource bytes start on this boundary inside the section.
constexpr std::uint64_t DataAlignment = 8;
// The largest image the system maps.
constexpr std::uint64_t MaxImageSize = 0x80000000u;
constexpr std::uint32_t HighBit = pe::ResourceHighBit;

// The rebuilt tree's section takes the usual name; the section that held the
// old tree keeps its bytes under another, so that tools looking for the
// resources by section name find the new tree.
constexpr std::string_view NewSectionName = ".rsrc";
constexpr std::string_view OldSectionName = ".rsrcold";

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }

void Put16(std::string& b, std::size_t at, std::uint16_t v) { base::PutUInt16(&b[at], v); }
void Put32(std::string& b, std::size_t at, std::uint32_t v) { base::PutUInt32(&b[at], v); }

void WriteAt(platform::TStream& out, std::int64_t position, std::string_view bytes) {
  out.SetPosition(position);
  out.WriteBytes(bytes);
}

void WriteUInt32At(platform::TStream& out, std::int64_t position, std::uint32_t value) {
  char bytes[4];
  base::PutUInt32(bytes, value);
  WriteAt(out, position, std::string_view(bytes, 4));
}

void WriteZeros(platform::TStream& out, std::uint64_t count) {
  const std::string zeros(static_cast<std::size_t>(std::min<std::uint64_t>(count, 65536)), '\0');
  while (count > 0) {
    const std::uint64_t n = std::min<std::uint64_t>(count, zeros.size());
    out.WriteBuffer(zeros.data(), static_cast<std::int64_t>(n));
    count -= n;
  }
}

std::string IdText(bool isNumber, std::uint32_t number, const std::u16string& name) {
  if (isNumber) return std::to_string(number);
  std::string text;
  for (char16_t c : name) text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return text;
}

}  // namespace

TPeResourceWriter::TPeResourceWriter(std::string image, std::string sourceName)
    : FImage(std::move(image)), FSourceName(std::move(sourceName)) {
  ReadHeaders();
}

TPeResourceWriter::TId TPeResourceWriter::MakeId(const std::string& text,
                                                 const std::string& sourceName) {
  TId id;
  if (text.size() > 1 && text[0] == '#') {
    std::uint32_t value = 0;
    bool digits = true;
    for (std::size_t i = 1; i < text.size() && digits; ++i) {
      digits = text[i] >= '0' && text[i] <= '9';
      if (digits) value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
      if (value > 0xFFFF) digits = false;
    }
    if (digits) {
      id.IsNumber = true;
      id.Number = value;
      return id;
    }
  }
  if (text.empty()) throw base::ERangeError(sourceName + ": a resource needs a name and a type");
  id.Name = base::Cp932ToUtf16(text);
  // The system upper-cases the names it looks up; store them so.
  for (auto& c : id.Name) c = UpperAscii(c);
  return id;
}

bool TPeResourceWriter::SameId(const TId& a, const TId& b) {
  if (a.IsNumber != b.IsNumber) return false;
  if (a.IsNumber) return a.Number == b.Number;
  return a.Name.size() == b.Name.size() &&
         std::equal(a.Name.begin(), a.Name.end(), b.Name.begin(),
                    [](char16_t x, char16_t y) { return UpperAscii(x) == UpperAscii(y); });
}

// The order the system's lookup expects: names first, compared without
// regard to ASCII case (a prefix before the longer name), then numbers.
bool TPeResourceWriter::IdLess(const TId& a, const TId& b) {
  if (a.IsNumber != b.IsNumber) return !a.IsNumber;
  if (a.IsNumber) return a.Number < b.Number;
  return std::lexicographical_compare(
      a.Name.begin(), a.Name.end(), b.Name.begin(), b.Name.end(),
      [](char16_t x, char16_t y) { return UpperAscii(x) < UpperAscii(y); });
}

std::size_t TPeResourceWriter::DataDirectoryOffset(std::uint32_t index) const {
  return FOptionalHeader + FRvaCountOffset + 4 + index * pe::DataDirectorySize;
}

std::uint32_t TPeResourceWriter::DataDirectoryField(std::uint32_t index, int word) const {
  if (index >= FRvaCount) return 0;
  return base::GetUInt32(FImage.data() + DataDirectoryOffset(index) + 4 * word);
}

void TPeResourceWriter::ReadHeaders() {
  base::TLittleEndianReader r(FImage, FSourceName);
  if (FImage.size() < 2 || FImage[0] != 'M' || FImage[1] != 'Z') {
    r.Fail("DOS header", "no MZ signature");
  }
  r.Seek(pe::PeOffsetField, "e_lfanew");
  r.Seek(r.ReadUInt32("e_lfanew"), "PE signature");
  if (r.ReadBytes(pe::Signature.size(), "PE signature") != pe::Signature) {
    r.Fail("PE signature", "missing");
  }
  FCoffHeader = r.Position();
  r.Skip(pe::CoffHeaderSize, "COFF header");
  r.Seek(FCoffHeader + pe::CoffNumberOfSections, "NumberOfSections");
  const std::uint16_t sectionCount = r.ReadUInt16("NumberOfSections");
  r.Seek(FCoffHeader + pe::CoffSizeOfOptionalHeader, "SizeOfOptionalHeader");
  FOptionalSize = r.ReadUInt16("SizeOfOptionalHeader");
  FOptionalHeader = FCoffHeader + pe::CoffHeaderSize;
  r.Seek(FOptionalHeader, "optional header");
  r.Skip(FOptionalSize, "optional header");
  FSectionTable = r.Position();

  r.Seek(FOptionalHeader, "optional header magic");
  const std::uint16_t magic = FOptionalSize >= 2 ? r.ReadUInt16("optional header magic") : 0;
  if (magic == pe::MagicPe32) {
    FRvaCountOffset = pe::OptRvaCountPe32;
  } else if (magic == pe::MagicPe32Plus) {
    FRvaCountOffset = pe::OptRvaCountPe32Plus;
  } else {
    r.Fail("optional header magic", "neither PE32 nor PE32+");
  }
  if (FOptionalSize < FRvaCountOffset + 4) {
    r.Fail("SizeOfOptionalHeader", "too small for the data directories");
  }
  r.Seek(FOptionalHeader + pe::OptSectionAlignment, "SectionAlignment");
  FSectionAlignment = r.ReadUInt32("SectionAlignment");
  FFileAlignment = r.ReadUInt32("FileAlignment");
  r.Seek(FOptionalHeader + pe::OptSizeOfHeaders, "SizeOfHeaders");
  FSizeOfHeaders = r.ReadUInt32("SizeOfHeaders");
  r.Seek(FOptionalHeader + FRvaCountOffset, "NumberOfRvaAndSizes");
  // Only the directories that the optional header really holds count.
  FRvaCount = std::min<std::uint32_t>(
      r.ReadUInt32("NumberOfRvaAndSizes"),
      static_cast<std::uint32_t>((FOptionalSize - FRvaCountOffset - 4) / pe::DataDirectorySize));
  if (FRvaCount <= pe::DirectoryResource) {
    r.Fail("NumberOfRvaAndSizes", "leaves no room for the resource directory");
  }
  if (!IsPowerOfTwo(FFileAlignment) || !IsPowerOfTwo(FSectionAlignment) ||
      FFileAlignment > 0x10000 || FSectionAlignment < FFileAlignment) {
    r.Fail("FileAlignment", "is not a power of two up to SectionAlignment");
  }

  r.Seek(FSectionTable, "section table");
  r.RequireItems(sectionCount, pe::SectionHeaderSize, "section table");
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    r.Seek(FSectionTable + i * pe::SectionHeaderSize + pe::SectionVirtualSize, "section header");
    TSection section;
    section.VirtualSize = r.ReadUInt32("VirtualSize");
    section.VirtualAddress = r.ReadUInt32("VirtualAddress");
    section.RawSize = r.ReadUInt32("SizeOfRawData");
    section.RawOffset = r.ReadUInt32("PointerToRawData");
    FSections.push_back(section);
  }

  const std::uint32_t resourceRva = DataDirectoryField(pe::DirectoryResource, 0);
  if (resourceRva != 0) ReadResources(resourceRva, DataDirectoryField(pe::DirectoryResource, 1));
}

void TPeResourceWriter::CheckRoom() const {
  if (FSections.size() + 1 > pe::MaxSections) {
    throw base::ERangeError(FSourceName + ": has " + std::to_string(FSections.size()) +
                            " sections; the system takes no more than " +
                            std::to_string(pe::MaxSections));
  }
  if (DataDirectoryField(pe::DirectorySecurity, 1) != 0) {
    throw base::ERangeError(FSourceName +
                            ": is signed; a signature does not survive a new section, so pack "
                            "the unsigned program and sign the result");
  }
  // The new section's header goes behind the last one; that room must lie in
  // the headers, before any section's bytes, and be unused.
  const std::uint64_t tableEnd = FSectionTable + FSections.size() * pe::SectionHeaderSize;
  std::uint64_t firstBytes = std::min<std::uint64_t>(FSizeOfHeaders, FImage.size());
  for (const TSection& s : FSections) {
    if (s.RawSize != 0) firstBytes = std::min<std::uint64_t>(firstBytes, s.RawOffset);
  }
  const bool room = tableEnd + pe::SectionHeaderSize <= firstBytes &&
                    std::all_of(FImage.begin() + static_cast<std::ptrdiff_t>(tableEnd),
                                FImage.begin() + static_cast<std::ptrdiff_t>(tableEnd) +
                                    static_cast<std::ptrdiff_t>(pe::SectionHeaderSize),
                                [](char c) { return c == '\0'; });
  if (!room) {
    throw base::ERangeError(FSourceName + ": its headers leave no free room for another section");
  }
}

std::size_t TPeResourceWriter::RvaToOffset(std::uint32_t rva, std::uint32_t size,
                                           std::string_view field) const {
  for (const TSection& s : FSections) {
    std::uint32_t rawSize = s.RawSize;
    if (s.VirtualSize != 0 && s.VirtualSize < rawSize) rawSize = s.VirtualSize;
    if (rva < s.VirtualAddress) continue;
    const std::uint64_t inSection = rva - s.VirtualAddress;
    if (inSection >= rawSize || size > rawSize - inSection) continue;
    const std::uint64_t offset = std::uint64_t{s.RawOffset} + inSection;
    if (offset > FImage.size() || size > FImage.size() - offset) {
      base::TLittleEndianReader(FImage, FSourceName).Fail(field, "lies beyond the end of the file");
    }
    return static_cast<std::size_t>(offset);
  }
  base::TLittleEndianReader(FImage, FSourceName)
      .Fail(field, "RVA " + std::to_string(rva) + " lies in no section");
}

void TPeResourceWriter::ReadResources(std::uint32_t rva, std::uint32_t /*size*/) {
  const std::size_t root = RvaToOffset(rva, pe::ResourceTableSize, "resource directory");
  base::TLittleEndianReader r(FImage, FSourceName);
  auto at = [&](std::uint32_t relative, std::string_view field) {
    const std::uint64_t position = std::uint64_t{root} + relative;
    if (position > FImage.size())
      r.Fail(field, "offset " + std::to_string(relative) + " lies beyond the end");
    r.Seek(static_cast<std::size_t>(position), field);
  };
  auto readId = [&](std::uint32_t nameField) {
    TId id;
    if ((nameField & HighBit) == 0) {
      id.IsNumber = true;
      id.Number = nameField;
      return id;
    }
    at(nameField & ~HighBit, "resource name");
    const std::uint16_t length = r.ReadUInt16("resource name length");
    r.RequireItems(length, 2, "resource name");
    for (std::uint16_t i = 0; i < length; ++i) {
      id.Name.push_back(static_cast<char16_t>(r.ReadUInt16("resource name")));
    }
    return id;
  };
  static constexpr std::string_view LevelNames[] = {"resource type", "resource name",
                                                    "resource language"};
  std::function<void(std::uint32_t, int, const TId&, const TId&)> walk =
      [&](std::uint32_t directory, int level, const TId& type, const TId& name) {
        const std::string_view field = LevelNames[level];
        at(directory, field);
        r.Skip(pe::ResourceNamedCount, field);
        const std::uint32_t count = std::uint32_t{r.ReadUInt16(field)} + r.ReadUInt16(field);
        r.RequireItems(count, pe::ResourceEntrySize, field);
        const std::size_t entries = r.Position();
        for (std::uint32_t i = 0; i < count; ++i) {
          r.Seek(entries + i * pe::ResourceEntrySize, field);
          const std::uint32_t nameField = r.ReadUInt32(field);
          const std::uint32_t target = r.ReadUInt32(field);
          const TId id = readId(nameField);
          if (target & HighBit) {
            if (level == pe::ResourceLevels - 1) r.Fail(field, "entry is a directory");
            if (level == 0) {
              walk(target & ~HighBit, level + 1, id, TId{});
            } else {
              walk(target & ~HighBit, level + 1, type, id);
            }
            continue;
          }
          if (level == 0) r.Fail(field, "entry is not a directory");
          TLeaf leaf;
          leaf.Type = type;
          if (level == 1) {
            leaf.Name = id;  // a name without a language level: neutral
          } else {
            if (!id.IsNumber) r.Fail(field, "is a name, not a number");
            leaf.Name = name;
            leaf.Language = id.Number;
          }
          at(target, "resource data entry");
          const std::uint32_t dataRva = r.ReadUInt32("resource data RVA");
          const std::uint32_t dataSize = r.ReadUInt32("resource data size");
          leaf.CodePage = r.ReadUInt32("resource code page");
          const std::size_t offset = RvaToOffset(dataRva, dataSize, "resource data");
          leaf.Data = std::string_view(FImage).substr(offset, dataSize);
          if (FLeaves.size() >= MaxResources) {
            r.Fail(field, "holds more than " + std::to_string(MaxResources) + " resources");
          }
          FLeaves.push_back(std::move(leaf));
        }
      };
  walk(0, 0, TId{}, TId{});
}

std::vector<std::string> TPeResourceWriter::ResourceList() const {
  std::vector<std::string> list;
  for (const TLeaf& leaf : FLeaves) {
    list.push_back(IdText(leaf.Type.IsNumber, leaf.Type.Number, leaf.Type.Name) + "/" +
                   IdText(leaf.Name.IsNumber, leaf.Name.Number, leaf.Name.Name) + "/" +
                   std::to_string(leaf.Language));
  }
  return list;
}

std::string TPeResourceWriter::BuildTree(std::uint32_t sectionRva) {
  // Sorted by type, name and language; a repeated triple keeps its first.
  std::stable_sort(FLeaves.begin(), FLeaves.end(), [](const TLeaf& a, const TLeaf& b) {
    if (!SameId(a.Type, b.Type)) return IdLess(a.Type, b.Type);
    if (!SameId(a.Name, b.Name)) return IdLess(a.Name, b.Name);
    return a.Language < b.Language;
  });
  FLeaves.erase(std::unique(FLeaves.begin(), FLeaves.end(),
                            [](const TLeaf& a, const TLeaf& b) {
                              return SameId(a.Type, b.Type) && SameId(a.Name, b.Name) &&
                                     a.Language == b.Language;
                            }),
                FLeaves.end());

  struct TNameGroup {
    std::size_t First = 0;
    std::size_t Count = 0;
    std::uint64_t Directory = 0;
    std::uint64_t String = 0;
  };
  struct TTypeGroup {
    std::vector<TNameGroup> Names;
    std::uint64_t Directory = 0;
    std::uint64_t String = 0;
  };
  std::vector<TTypeGroup> types;
  for (std::size_t i = 0; i < FLeaves.size(); ++i) {
    if (types.empty() || !SameId(FLeaves[types.back().Names.front().First].Type, FLeaves[i].Type)) {
      types.push_back({{{i, 0, 0, 0}}, 0, 0});
    } else if (!SameId(FLeaves[types.back().Names.back().First].Name, FLeaves[i].Name)) {
      types.back().Names.push_back({i, 0, 0, 0});
    }
    ++types.back().Names.back().Count;
  }

  // Directories, then data entries, then strings, then the bytes.
  auto tableSize = [](std::size_t entries) {
    return pe::ResourceTableSize + entries * pe::ResourceEntrySize;
  };
  std::uint64_t offset = tableSize(types.size());
  for (auto& type : types) {
    type.Directory = offset;
    offset += tableSize(type.Names.size());
  }
  for (auto& type : types) {
    for (auto& name : type.Names) {
      name.Directory = offset;
      offset += tableSize(name.Count);
    }
  }
  const std::uint64_t dataEntries = offset;
  offset += FLeaves.size() * pe::ResourceDataEntrySize;
  auto stringSize = [](const TId& id) { return 2 + 2 * std::uint64_t{id.Name.size()}; };
  for (auto& type : types) {
    const TId& id = FLeaves[type.Names.front().First].Type;
    if (!id.IsNumber) {
      type.String = offset;
      offset += stringSize(id);
    }
    for (auto& name : type.Names) {
      const TId& nameId = FLeaves[name.First].Name;
      if (!nameId.IsNumber) {
        name.String = offset;
        offset += stringSize(nameId);
      }
    }
  }
  std::vector<std::uint64_t> dataOffsets(FLeaves.size(), 0);
  offset = AlignUp(offset, DataAlignment);
  for (std::size_t i = 0; i < FLeaves.size(); ++i) {
    if (FLeaves[i].IsNew) continue;
    dataOffsets[i] = offset;
    offset = AlignUp(offset + FLeaves[i].Data.size(), DataAlignment);
  }
  // The new resource's bytes end the section.
  if (offset > MaxImageSize) throw base::ERangeError(FSourceName + ": resources too large");
  FPayloadOffset = static_cast<std::uint32_t>(offset);

  std::string tree(static_cast<std::size_t>(offset), '\0');
  auto putTable = [&](std::uint64_t at,
                      const std::vector<std::pair<const TId*, std::uint32_t>>& entries) {
    std::uint16_t named = 0;
    for (const auto& entry : entries) named += entry.first->IsNumber ? 0 : 1;
    Put16(tree, static_cast<std::size_t>(at + pe::ResourceNamedCount), named);
    Put16(tree, static_cast<std::size_t>(at + pe::ResourceIdCount),
          static_cast<std::uint16_t>(entries.size() - named));
  };
  auto putEntry = [&](std::uint64_t at, std::uint32_t nameField, std::uint32_t target) {
    Put32(tree, static_cast<std::size_t>(at), nameField);
    Put32(tree, static_cast<std::size_t>(at + 4), target);
  };
  auto putString = [&](std::uint64_t at, const TId& id) {
    Put16(tree, static_cast<std::size_t>(at), static_cast<std::uint16_t>(id.Name.size()));
    for (std::size_t i = 0; i < id.Name.size(); ++i) {
      Put16(tree, static_cast<std::size_t>(at + 2 + 2 * i), static_cast<std::uint16_t>(id.Name[i]));
    }
  };
  auto nameField = [](const TId& id, std::uint64_t string) {
    return id.IsNumber ? id.Number : (HighBit | static_cast<std::uint32_t>(string));
  };

  std::vector<std::pair<const TId*, std::uint32_t>> rootEntries;
  for (std::size_t t = 0; t < types.size(); ++t) {
    const TTypeGroup& type = types[t];
    const TId& typeId = FLeaves[type.Names.front().First].Type;
    if (!typeId.IsNumber) putString(type.String, typeId);
    putEntry(pe::ResourceTableSize + t * pe::ResourceEntrySize, nameField(typeId, type.String),
             HighBit | static_cast<std::uint32_t>(type.Directory));
    rootEntries.push_back({&typeId, 0});
    std::vector<std::pair<const TId*, std::uint32_t>> typeEntries;
    for (std::size_t n = 0; n < type.Names.size(); ++n) {
      const TNameGroup& name = type.Names[n];
      const TId& nameId = FLeaves[name.First].Name;
      if (!nameId.IsNumber) putString(name.String, nameId);
      putEntry(type.Directory + pe::ResourceTableSize + n * pe::ResourceEntrySize,
               nameField(nameId, name.String),
               HighBit | static_cast<std::uint32_t>(name.Directory));
      typeEntries.push_back({&nameId, 0});
      std::vector<std::pair<const TId*, std::uint32_t>> languageEntries;
      static const TId Numbered{true, 0, {}};
      for (std::size_t l = 0; l < name.Count; ++l) {
        const std::size_t index = name.First + l;
        const TLeaf& leaf = FLeaves[index];
        const std::uint64_t entry = dataEntries + index * pe::ResourceDataEntrySize;
        putEntry(name.Directory + pe::ResourceTableSize + l * pe::ResourceEntrySize, leaf.Language,
                 static_cast<std::uint32_t>(entry));
        languageEntries.push_back({&Numbered, 0});
        const std::uint64_t data = leaf.IsNew ? FPayloadOffset : dataOffsets[index];
        Put32(tree, static_cast<std::size_t>(entry), sectionRva + static_cast<std::uint32_t>(data));
        Put32(tree, static_cast<std::size_t>(entry + 4),
              static_cast<std::uint32_t>(leaf.Data.size()));
        Put32(tree, static_cast<std::size_t>(entry + 8), leaf.CodePage);
        if (leaf.IsNew) {
          FPayloadEntry = static_cast<std::uint32_t>(entry);
        } else {
          tree.replace(static_cast<std::size_t>(data), leaf.Data.size(), leaf.Data);
        }
      }
      putTable(name.Directory, languageEntries);
    }
    putTable(type.Directory, typeEntries);
  }
  putTable(0, rootEntries);
  return tree;
}

std::int64_t TPeResourceWriter::Begin(platform::TStream& out, const std::string& name,
                                      const std::string& type) {
  if (FBegun) throw base::ERangeError(FSourceName + ": one resource per writer");
  CheckRoom();
  FBegun = true;
  TLeaf leaf;
  leaf.Type = MakeId(type, FSourceName);
  leaf.Name = MakeId(name, FSourceName);
  leaf.IsNew = true;
  std::erase_if(FLeaves, [&](const TLeaf& old) {
    return SameId(old.Type, leaf.Type) && SameId(old.Name, leaf.Name);
  });
  FLeaves.push_back(leaf);

  std::uint64_t imageEnd = AlignUp(FSizeOfHeaders, FSectionAlignment);
  for (const TSection& s : FSections) {
    imageEnd = std::max<std::uint64_t>(
        imageEnd, AlignUp(std::uint64_t{s.VirtualAddress} + std::max(s.VirtualSize, s.RawSize),
                          FSectionAlignment));
  }
  if (imageEnd >= MaxImageSize) throw base::ERangeError(FSourceName + ": image too large");
  FSectionRva = static_cast<std::uint32_t>(imageEnd);
  FSectionFileOffset = static_cast<std::int64_t>(AlignUp(FImage.size(), FFileAlignment));

  const std::string tree = BuildTree(FSectionRva);
  out.SetPosition(0);
  out.WriteBytes(FImage);
  WriteZeros(out, static_cast<std::uint64_t>(FSectionFileOffset) - FImage.size());
  out.WriteBytes(tree);
  return FSectionFileOffset + FPayloadOffset;
}

void TPeResourceWriter::Finish(platform::TStream& out, std::int64_t size) {
  if (!FBegun) throw base::ERangeError(FSourceName + ": Finish before Begin");
  const std::uint64_t sectionData =
      std::uint64_t{FPayloadOffset} + static_cast<std::uint64_t>(size);
  const std::uint64_t imageSize = AlignUp(FSectionRva + sectionData, FSectionAlignment);
  if (size < 0 || size > MaxResourceSize || imageSize >= MaxImageSize) {
    throw base::ERangeError(FSourceName + ": a resource of " + std::to_string(size) +
                            " bytes makes the program larger than the system maps");
  }
  const std::uint64_t rawSize = AlignUp(sectionData, FFileAlignment);
  out.SetPosition(FSectionFileOffset + static_cast<std::int64_t>(sectionData));
  WriteZeros(out, rawSize - sectionData);
  const std::int64_t fileSize = FSectionFileOffset + static_cast<std::int64_t>(rawSize);

  WriteUInt32At(out, FSectionFileOffset + FPayloadEntry + 4, static_cast<std::uint32_t>(size));

  // The headers, patched in a copy and written over the original ones.
  const std::size_t header = FSectionTable + FSections.size() * pe::SectionHeaderSize;
  std::string headers = FImage.substr(0, header + pe::SectionHeaderSize);
  Put16(headers, FCoffHeader + pe::CoffNumberOfSections,
        static_cast<std::uint16_t>(FSections.size() + 1));
  const std::uint64_t initialised =
      base::GetUInt32(headers.data() + FOptionalHeader + pe::OptSizeOfInitializedData) + rawSize;
  Put32(headers, FOptionalHeader + pe::OptSizeOfInitializedData,
        static_cast<std::uint32_t>(std::min<std::uint64_t>(initialised, 0xFFFFFFFFu)));
  Put32(headers, FOptionalHeader + pe::OptSizeOfImage, static_cast<std::uint32_t>(imageSize));
  Put32(headers, FOptionalHeader + pe::OptCheckSum, 0);
  Put32(headers, DataDirectoryOffset(pe::DirectoryResource), FSectionRva);
  Put32(headers, DataDirectoryOffset(pe::DirectoryResource) + 4,
        static_cast<std::uint32_t>(sectionData));
  for (std::size_t i = 0; i < FSections.size(); ++i) {
    const std::size_t at = FSectionTable + i * pe::SectionHeaderSize;
    if (std::string_view(headers.data() + at, pe::SectionNameSize) ==
        std::string(NewSectionName) +
            std::string(pe::SectionNameSize - NewSectionName.size(), '\0')) {
      headers.replace(at, pe::SectionNameSize, OldSectionName);
    }
  }
  headers.replace(header, NewSectionName.size(), NewSectionName);
  Put32(headers, header + pe::SectionVirtualSize, static_cast<std::uint32_t>(sectionData));
  Put32(headers, header + pe::SectionVirtualAddress, FSectionRva);
  Put32(headers, header + pe::SectionRawSize, static_cast<std::uint32_t>(rawSize));
  Put32(headers, header + pe::SectionRawOffset, static_cast<std::uint32_t>(FSectionFileOffset));
  Put32(headers, header + pe::SectionCharacteristics,
        pe::SectionInitializedData | pe::SectionMemoryRead);
  WriteAt(out, 0, headers);

  WriteUInt32At(out, static_cast<std::int64_t>(FOptionalHeader + pe::OptCheckSum),
                ComputeCheckSum(out, fileSize));
  out.SetPosition(fileSize);
}

// The image checksum: the file summed as 16-bit words with end-around carry
// (the checksum field itself taken as zero), plus the file's length.
std::uint32_t TPeResourceWriter::ComputeCheckSum(platform::TStream& out,
                                                 std::int64_t fileSize) const {
  constexpr std::int64_t Chunk = 1048576;
  std::unique_ptr<char[]> buffer(new char[Chunk]);
  std::uint64_t sum = 0;
  out.SetPosition(0);
  for (std::int64_t done = 0; done < fileSize;) {
    const std::int64_t n = std::min(Chunk, fileSize - done);
    out.ReadBuffer(buffer.get(), n);
    for (std::int64_t i = 0; i < n; i += 2) {
      const std::uint32_t low = static_cast<unsigned char>(buffer[i]);
      const std::uint32_t high = i + 1 < n ? static_cast<unsigned char>(buffer[i + 1]) : 0;
      sum += low | (high << 8);
      sum = (sum & 0xFFFF) + (sum >> 16);
    }
    done += n;
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + static_cast<std::uint64_t>(fileSize));
}

std::string AddPeResource(std::string image, const std::string& name, const std::string& type,
                          std::string_view data, const std::string& sourceName) {
  TPeResourceWriter writer(std::move(image), sourceName);
  platform::TMemoryStream out;
  out.SetPosition(writer.Begin(out, name, type));
  out.WriteBytes(data);
  writer.Finish(out, static_cast<std::int64_t>(data.size()));
  return out.Bytes();
}

}  // namespace mora::authoring
