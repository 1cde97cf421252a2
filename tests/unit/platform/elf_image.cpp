#include "elf_image.h"

#include "base/binary.h"

namespace mora::platform::test {

std::string BuildElf(const std::string& records) {
  const std::string names = std::string("\0.shstrtab\0mora_rsrc\0", 21);
  std::string b(64, '\0');
  b.replace(0, 4,
            "\x7f"
            "ELF");
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
