#include "pe_image.h"

#include "base/binary.h"

namespace mora::platform::test {

namespace {

void Put16(std::string& b, std::size_t at, std::uint16_t v) { base::PutUInt16(&b[at], v); }
void Put32(std::string& b, std::size_t at, std::uint32_t v) { base::PutUInt32(&b[at], v); }

// A directory of one level at offset at: named entries first, then ids.
void PutDirectory(std::string& r, std::size_t at, std::uint16_t named, std::uint16_t ids) {
  Put16(r, at + 12, named);
  Put16(r, at + 14, ids);
}

void PutEntry(std::string& r, std::size_t at, std::uint32_t name, std::uint32_t target) {
  Put32(r, at, name);
  Put32(r, at + 4, target);
}

void PutName(std::string& r, std::size_t at, const std::string& ascii) {
  Put16(r, at, static_cast<std::uint16_t>(ascii.size()));
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    Put16(r, at + 2 + 2 * i, static_cast<unsigned char>(ascii[i]));
  }
}

}  // namespace

TPeImage BuildPeImage(const std::string& dummyData, const std::string& numberedData) {
  constexpr std::uint32_t SectionRva = 0x1000;
  constexpr std::uint32_t High = 0x80000000u;
  // Resource section, offsets relative to its start.
  std::string r(200 + dummyData.size() + 8 + numberedData.size(), '\0');
  PutDirectory(r, 0, 1, 1);                // types: "BINTYPE", 10
  PutEntry(r, 16, High | 160, High | 32);  // name at 160, directory at 32
  PutEntry(r, 24, 10, High | 56);
  PutDirectory(r, 32, 1, 0);               // names of BINTYPE: "DUMMY"
  PutEntry(r, 48, High | 176, High | 80);
  PutDirectory(r, 56, 0, 1);               // names of type 10: 101
  PutEntry(r, 72, 101, High | 104);
  PutDirectory(r, 80, 0, 1);               // languages
  PutEntry(r, 96, 0x411, 128);
  PutDirectory(r, 104, 0, 1);
  PutEntry(r, 120, 0x411, 144);
  const std::size_t dummyAt = 200;
  const std::size_t numberedAt = dummyAt + dummyData.size() + 8;
  Put32(r, 128, SectionRva + static_cast<std::uint32_t>(dummyAt));  // data entries
  Put32(r, 132, static_cast<std::uint32_t>(dummyData.size()));
  Put32(r, 144, SectionRva + static_cast<std::uint32_t>(numberedAt));
  Put32(r, 148, static_cast<std::uint32_t>(numberedData.size()));
  PutName(r, 160, "BINTYPE");
  PutName(r, 176, "DUMMY");
  r.replace(dummyAt, dummyData.size(), dummyData);
  r.replace(numberedAt, numberedData.size(), numberedData);
  const std::size_t rawSize = (r.size() + 0x1FF) & ~std::size_t{0x1FF};
  r.resize(rawSize, '\0');

  std::string b(0x200, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x80);
  b.replace(0x80, 4, std::string("PE\0\0", 4));
  Put16(b, 0x84, 0x14C);  // i386
  Put16(b, 0x86, 1);      // one section
  Put16(b, 0x94, 224);    // PE32 optional header
  Put16(b, 0x96, 0x0102);
  const std::size_t opt = 0x98;
  Put16(b, opt, 0x10B);
  Put32(b, opt + 28, 0x400000);  // ImageBase
  Put32(b, opt + 32, 0x1000);    // SectionAlignment
  Put32(b, opt + 36, 0x200);     // FileAlignment
  Put16(b, opt + 40, 4);         // OS version
  Put16(b, opt + 48, 4);         // subsystem version
  Put32(b, opt + 56, SectionRva + 0x1000 * static_cast<std::uint32_t>((rawSize + 0xFFF) / 0x1000));
  Put32(b, opt + 60, 0x200);     // SizeOfHeaders
  Put16(b, opt + 68, 2);         // GUI
  Put32(b, opt + 92, 16);        // NumberOfRvaAndSizes
  Put32(b, opt + 96 + 2 * 8, SectionRva);
  Put32(b, opt + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(r.size()));
  const std::size_t section = opt + 224;
  b.replace(section, 5, ".rsrc");
  Put32(b, section + 8, static_cast<std::uint32_t>(rawSize));  // VirtualSize
  Put32(b, section + 12, SectionRva);
  Put32(b, section + 16, static_cast<std::uint32_t>(rawSize));
  Put32(b, section + 20, 0x200);
  Put32(b, section + 36, 0x40000040u);
  TPeImage image;
  image.ResourceStart = b.size();
  image.Bytes = b + r;
  return image;
}

// A minimal ELF64 file with a mora_rsrc section holding the given records.
std::string BuildElfImage(const std::string& records) {
  const std::string names = std::string("\0.shstrtab\0mora_rsrc\0", 21);
  std::string b(64, '\0');
  b.replace(0, 4, "\x7f" "ELF");
  b[4] = 2;  // 64 bits
  b[5] = 1;  // little-endian
  b[6] = 1;
  const std::size_t namesAt = b.size();
  b += names;
  const std::size_t recordsAt = b.size();
  b += records;
  while (b.size() % 8) b += '\0';
  const std::size_t table = b.size();
  b.resize(table + 3 * 64, '\0');
  base::PutUInt64(&b[0x28], table);
  base::PutUInt16(&b[0x3A], 64);
  base::PutUInt16(&b[0x3C], 3);
  base::PutUInt16(&b[0x3E], 1);
  base::PutUInt32(&b[table + 64], 1);  // ".shstrtab"
  base::PutUInt64(&b[table + 64 + 24], namesAt);
  base::PutUInt64(&b[table + 64 + 32], names.size());
  base::PutUInt32(&b[table + 128], 11);  // "mora_rsrc"
  base::PutUInt64(&b[table + 128 + 24], recordsAt);
  base::PutUInt64(&b[table + 128 + 32], records.size());
  return b;
}

std::string ElfRecord(const std::string& type, const std::string& name, const std::string& data,
                      std::int64_t claimedLength) {
  std::string r;
  base::TLittleEndianWriter w(r);
  w.WriteInt32(static_cast<std::int32_t>(type.size()));
  w.WriteBytes(type);
  w.WriteInt32(static_cast<std::int32_t>(name.size()));
  w.WriteBytes(name);
  w.WriteInt64(claimedLength < 0 ? static_cast<std::int64_t>(data.size()) : claimedLength);
  w.WriteBytes(data);
  return r;
}

}  // namespace mora::platform::test
