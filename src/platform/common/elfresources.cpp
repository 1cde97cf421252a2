// Writing a native program's resource section: the records go into a new
// section "mora_rsrc" at the end of the file, behind them a copy of the
// section-name table with the name added and a new section table; the ELF
// header points at that table. Everything else before stays byte for byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/binary.h"
#include "base/errors.h"
#include "platform/resources.h"

namespace mora::platform {

namespace {

constexpr std::string_view SectionName = "mora_rsrc";

// Where the fields of a section header lie, by ELF class.
struct TLayout {
  bool Wide = true;  // 64 bits
  std::size_t HeaderSize() const { return Wide ? 64 : 40; }
  std::size_t OffsetField() const { return Wide ? 24 : 16; }
  std::size_t SizeField() const { return Wide ? 32 : 20; }
};

void PutAddress(std::string& image, std::size_t at, std::uint64_t value, const TLayout& layout) {
  if (layout.Wide) {
    base::PutUInt64(&image[at], value);
  } else {
    base::PutUInt32(&image[at], static_cast<std::uint32_t>(value));
  }
}

void AlignTo(std::string& image, std::size_t alignment) {
  while (image.size() % alignment != 0) image += '\0';
}

}  // namespace

std::string NativeResourceRecord(const std::string& type, const std::string& name,
                                 std::string_view data) {
  std::string record;
  base::TLittleEndianWriter writer(record);
  writer.WriteInt32(static_cast<std::int32_t>(type.size()));
  writer.WriteBytes(type);
  writer.WriteInt32(static_cast<std::int32_t>(name.size()));
  writer.WriteBytes(name);
  writer.WriteInt64(static_cast<std::int64_t>(data.size()));
  writer.WriteBytes(data);
  return record;
}

std::string WithNativeResources(std::string image, std::string_view records,
                                const std::string& sourceName) {
  base::TLittleEndianReader reader(image.data(), image.size(), sourceName);
  if (image.size() < 4 || image.compare(0, 4,
                                        "\x7f"
                                        "ELF") != 0) {
    reader.Fail("ELF magic", "not a native program");
  }
  reader.Seek(4, "ELF class");
  const std::uint8_t elfClass = reader.ReadByte("ELF class");
  if (elfClass != 1 && elfClass != 2) reader.Fail("ELF class", "neither 32 nor 64 bits");
  if (reader.ReadByte("ELF data encoding") != 1)
    reader.Fail("ELF data encoding", "not little-endian");
  TLayout layout;
  layout.Wide = elfClass == 2;
  const std::size_t tableField = layout.Wide ? 0x28 : 0x20;
  const std::size_t countFields = layout.Wide ? 0x3A : 0x2E;
  reader.Seek(tableField, "e_shoff");
  const std::uint64_t tableOffset = layout.Wide
                                        ? static_cast<std::uint64_t>(reader.ReadInt64("e_shoff"))
                                        : reader.ReadUInt32("e_shoff");
  reader.Seek(countFields, "e_shentsize");
  const std::uint16_t entrySize = reader.ReadUInt16("e_shentsize");
  const std::uint16_t count = reader.ReadUInt16("e_shnum");
  const std::uint16_t namesIndex = reader.ReadUInt16("e_shstrndx");
  if (count == 0) reader.Fail("e_shnum", "the program has no section table");
  if (count >= 0xFF00) reader.Fail("e_shnum", "too many sections");
  if (entrySize < layout.HeaderSize()) reader.Fail("e_shentsize", "too small");
  if (namesIndex >= count) reader.Fail("e_shstrndx", "no such section");
  if (tableOffset > image.size()) reader.Fail("e_shoff", "beyond the end of the file");
  reader.Seek(static_cast<std::size_t>(tableOffset), "section table");
  reader.RequireItems(count, entrySize, "section table");

  const auto headerAt = [&](std::size_t index) {
    return static_cast<std::size_t>(tableOffset) + index * entrySize;
  };
  const auto readAddress = [&](std::size_t at, std::string_view field) -> std::uint64_t {
    reader.Seek(at, field);
    return layout.Wide ? static_cast<std::uint64_t>(reader.ReadInt64(field))
                       : reader.ReadUInt32(field);
  };
  const std::uint64_t namesOffset =
      readAddress(headerAt(namesIndex) + layout.OffsetField(), "sh_offset");
  const std::uint64_t namesSize = readAddress(headerAt(namesIndex) + layout.SizeField(), "sh_size");
  if (namesOffset > image.size() || namesSize > image.size() - namesOffset) {
    reader.Fail("section names", "the table lies beyond the end of the file");
  }
  std::string names =
      image.substr(static_cast<std::size_t>(namesOffset), static_cast<std::size_t>(namesSize));
  std::vector<std::string> headers;
  int existing = -1;
  for (std::size_t i = 0; i < count; ++i) {
    headers.push_back(image.substr(headerAt(i), entrySize));
    reader.Seek(headerAt(i), "sh_name");
    const std::uint32_t nameAt = reader.ReadUInt32("sh_name");
    if (nameAt < names.size()) {
      const std::string_view rest = std::string_view(names).substr(nameAt);
      if (rest.substr(0, rest.find('\0')) == SectionName) existing = static_cast<int>(i);
    }
  }
  if (existing < 0) {
    // A new header: a section of data that is not loaded (all zero but
    // name, type, place and size; alignment 1).
    std::string header(entrySize, '\0');
    base::PutUInt32(&header[0], static_cast<std::uint32_t>(names.size()));
    base::PutUInt32(&header[4], 1);                        // SHT_PROGBITS
    PutAddress(header, layout.Wide ? 48 : 32, 1, layout);  // sh_addralign
    names += std::string(SectionName) + '\0';
    headers.push_back(std::move(header));
    existing = static_cast<int>(headers.size()) - 1;
  }

  AlignTo(image, 8);
  const std::size_t recordsAt = image.size();
  image.append(records.data(), records.size());
  const std::size_t namesAt = image.size();
  image += names;
  AlignTo(image, 8);
  const std::size_t newTable = image.size();
  PutAddress(headers[static_cast<std::size_t>(existing)], layout.OffsetField(), recordsAt, layout);
  PutAddress(headers[static_cast<std::size_t>(existing)], layout.SizeField(), records.size(),
             layout);
  PutAddress(headers[namesIndex], layout.OffsetField(), namesAt, layout);
  PutAddress(headers[namesIndex], layout.SizeField(), names.size(), layout);
  for (const std::string& header : headers) image += header;
  PutAddress(image, tableField, newTable, layout);
  base::PutUInt16(&image[countFields + 2], static_cast<std::uint16_t>(headers.size()));
  return image;
}

}  // namespace mora::platform
