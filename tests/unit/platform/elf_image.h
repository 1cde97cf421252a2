// A minimal ELF64 file built at test time whose section "mora_rsrc" holds
// resource records, as a native setup program carries its archive.
#pragma once

#include <cstdint>
#include <string>

namespace mora::platform::test {

// One record: type, name and data; claimedLength (when not negative) is
// written as the data length instead of the true one.
std::string ElfRecord(const std::string& type, const std::string& name, const std::string& data,
                      std::int64_t claimedLength = -1);

// The file's bytes, with the records as the section's content.
std::string BuildElf(const std::string& records);

}  // namespace mora::platform::test
