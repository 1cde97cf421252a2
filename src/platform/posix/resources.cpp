// Modules on POSIX: the file is read whole. A Windows program (MZ) has its
// resources found through the PE resource directory; a native ELF program
// carries them in the section "mora_rsrc" as a sequence of records
// (int32 type length, type, int32 name length, name, int64 data length,
// data). Damaged headers or records make Load answer nullptr.
#include <optional>
#include <string>
#include <vector>

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/resources.h"

namespace mora::platform {

namespace {

class TPeModule : public TModule {
 public:
  TPeModule(std::string image, std::string path)
      : FImage(std::move(image)), FPath(std::move(path)) {}
  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    return FindPeResource(FImage, name, type, FPath);
  }

 private:
  std::string FImage;
  std::string FPath;
};

struct TRecord {
  std::string Type;
  std::string Name;
  std::string_view Data;
};

class TElfModule : public TModule {
 public:
  explicit TElfModule(std::string image) : FImage(std::move(image)) {}

  // Reads the section table and the records; throws EDamagedData.
  void ReadRecords(const std::string& path) {
    base::TLittleEndianReader reader(FImage, path);
    reader.Seek(4, "ELF class");
    const std::uint8_t elfClass = reader.ReadByte("ELF class");
    const std::uint8_t encoding = reader.ReadByte("ELF data encoding");
    if (encoding != 1) reader.Fail("ELF data encoding", "not little-endian");
    std::uint64_t tableOffset = 0;
    std::uint16_t entrySize = 0;
    std::uint16_t count = 0;
    std::uint16_t namesIndex = 0;
    if (elfClass == 2) {
      reader.Seek(0x28, "e_shoff");
      tableOffset = static_cast<std::uint64_t>(reader.ReadInt64("e_shoff"));
      reader.Seek(0x3A, "e_shentsize");
    } else if (elfClass == 1) {
      reader.Seek(0x20, "e_shoff");
      tableOffset = reader.ReadUInt32("e_shoff");
      reader.Seek(0x2E, "e_shentsize");
    } else {
      reader.Fail("ELF class", "neither 32 nor 64 bits");
    }
    entrySize = reader.ReadUInt16("e_shentsize");
    count = reader.ReadUInt16("e_shnum");
    namesIndex = reader.ReadUInt16("e_shstrndx");
    if (count == 0) return;
    const std::size_t minimum = elfClass == 2 ? 64 : 40;
    if (entrySize < minimum) reader.Fail("e_shentsize", "too small");
    if (tableOffset > FImage.size()) reader.Fail("e_shoff", "beyond the end of the file");
    reader.Seek(static_cast<std::size_t>(tableOffset), "section table");
    reader.RequireItems(count, entrySize, "section table");
    if (namesIndex >= count) reader.Fail("e_shstrndx", "no such section");
    struct TSection {
      std::uint32_t Name;
      std::uint64_t Offset;
      std::uint64_t Size;
    };
    std::vector<TSection> sections;
    for (std::uint16_t i = 0; i < count; ++i) {
      reader.Seek(static_cast<std::size_t>(tableOffset) + std::size_t{i} * entrySize,
                  "section header");
      TSection s{};
      s.Name = reader.ReadUInt32("sh_name");
      if (elfClass == 2) {
        reader.Skip(4 + 8 + 8, "section header");
        s.Offset = static_cast<std::uint64_t>(reader.ReadInt64("sh_offset"));
        s.Size = static_cast<std::uint64_t>(reader.ReadInt64("sh_size"));
      } else {
        reader.Skip(4 + 4 + 4, "section header");
        s.Offset = reader.ReadUInt32("sh_offset");
        s.Size = reader.ReadUInt32("sh_size");
      }
      sections.push_back(s);
    }
    const TSection& names = sections[namesIndex];
    const std::string_view nameTable = Slice(reader, names.Offset, names.Size, "section names");
    for (const TSection& s : sections) {
      if (s.Name >= nameTable.size()) continue;
      const std::string_view rest = nameTable.substr(s.Name);
      const std::string_view name = rest.substr(0, rest.find('\0'));
      if (name == "mora_rsrc") {
        ParseRecords(Slice(reader, s.Offset, s.Size, "mora_rsrc"), path);
        return;
      }
    }
  }

  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    for (const TRecord& record : FRecords) {
      if (base::SameText932(record.Name, name) && base::SameText932(record.Type, type)) {
        return record.Data;
      }
    }
    return std::nullopt;
  }

 private:
  std::string_view Slice(const base::TLittleEndianReader& reader, std::uint64_t offset,
                         std::uint64_t size, std::string_view field) const {
    if (offset > FImage.size() || size > FImage.size() - offset) {
      reader.Fail(field, "section lies beyond the end of the file");
    }
    return std::string_view(FImage).substr(static_cast<std::size_t>(offset),
                                           static_cast<std::size_t>(size));
  }

  void ParseRecords(std::string_view section, const std::string& path) {
    base::TLittleEndianReader reader(section, path + " (mora_rsrc)");
    while (!reader.AtEnd()) {
      TRecord record;
      const std::int32_t typeLength = reader.ReadInt32("type length");
      if (typeLength < 0) reader.Fail("type length", "negative");
      record.Type = reader.ReadBytes(static_cast<std::size_t>(typeLength), "type");
      const std::int32_t nameLength = reader.ReadInt32("name length");
      if (nameLength < 0) reader.Fail("name length", "negative");
      record.Name = reader.ReadBytes(static_cast<std::size_t>(nameLength), "name");
      const std::int64_t dataLength = reader.ReadInt64("data length");
      if (dataLength < 0 || static_cast<std::uint64_t>(dataLength) > reader.Remaining()) {
        reader.Fail("data length", std::to_string(dataLength) + " exceeds the " +
                                       std::to_string(reader.Remaining()) + " bytes left");
      }
      record.Data = reader.ReadView(static_cast<std::size_t>(dataLength), "data");
      FRecords.push_back(std::move(record));
    }
  }

  std::string FImage;
  std::vector<TRecord> FRecords;
};

}  // namespace

std::unique_ptr<TModule> TModule::Load(const std::string& path) {
  std::string image;
  try {
    image = ReadFileBytes(path);
  } catch (const base::Exception&) {
    return nullptr;
  }
  try {
    if (image.size() >= 2 && image[0] == 'M' && image[1] == 'Z') {
      FindPeResource(image, "#1", "#1", path);  // checks the headers once
      return std::make_unique<TPeModule>(std::move(image), path);
    }
    if (image.size() >= 4 && image.compare(0, 4,
                                           "\x7f"
                                           "ELF") == 0) {
      auto module = std::make_unique<TElfModule>(std::move(image));
      module->ReadRecords(path);
      return module;
    }
  } catch (const base::EDamagedData&) {
    return nullptr;
  }
  return nullptr;
}

}  // namespace mora::platform
