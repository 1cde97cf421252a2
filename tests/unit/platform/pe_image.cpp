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

TPeImage BuildPeImage(const std::string& dummyData, const std::string& numberedData,
                      bool pe32Plus) {
  constexpr std::uint32_t SectionRva = 0x1000;
  constexpr std::uint32_t High = 0x80000000u;
  // Resource section, offsets relative to its start.
  std::string r(200 + dummyData.size() + 8 + numberedData.size(), '\0');
  PutDirectory(r, 0, 1, 1);                // types: "BINTYPE", 10
  PutEntry(r, 16, High | 160, High | 32);  // name at 160, directory at 32
  PutEntry(r, 24, 10, High | 56);
  PutDirectory(r, 32, 1, 0);  // names of BINTYPE: "DUMMY"
  PutEntry(r, 48, High | 176, High | 80);
  PutDirectory(r, 56, 0, 1);  // names of type 10: 101
  PutEntry(r, 72, 101, High | 104);
  PutDirectory(r, 80, 0, 1);  // languages
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

  // The optional header's fields lie at the same offsets in both kinds up to
  // the image base; PE32+ has a wider image base and so its data directories
  // start 16 bytes later.
  const std::uint16_t optionalSize = pe32Plus ? 240 : 224;
  const std::size_t directories = pe32Plus ? 112 : 96;
  std::string b(0x200, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x80);
  b.replace(0x80, 4, std::string("PE\0\0", 4));
  Put16(b, 0x84, pe32Plus ? 0x8664 : 0x14C);  // x86-64 or i386
  Put16(b, 0x86, 1);                          // one section
  Put16(b, 0x94, optionalSize);
  Put16(b, 0x96, pe32Plus ? 0x0022 : 0x0102);
  const std::size_t opt = 0x98;
  Put16(b, opt, pe32Plus ? 0x20B : 0x10B);
  Put32(b, opt + (pe32Plus ? 24 : 28), 0x400000);  // ImageBase
  Put32(b, opt + 32, 0x1000);                      // SectionAlignment
  Put32(b, opt + 36, 0x200);                       // FileAlignment
  Put16(b, opt + 40, 4);                           // OS version
  Put16(b, opt + 48, 4);                           // subsystem version
  Put32(b, opt + 56, SectionRva + 0x1000 * static_cast<std::uint32_t>((rawSize + 0xFFF) / 0x1000));
  Put32(b, opt + 60, 0x200);            // SizeOfHeaders
  Put16(b, opt + 68, 2);                // GUI
  Put32(b, opt + directories - 4, 16);  // NumberOfRvaAndSizes
  Put32(b, opt + directories + 2 * 8, SectionRva);
  Put32(b, opt + directories + 2 * 8 + 4, static_cast<std::uint32_t>(r.size()));
  const std::size_t section = opt + optionalSize;
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

}  // namespace mora::platform::test
