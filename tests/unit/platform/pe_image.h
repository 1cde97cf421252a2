// Small executable images built at test time: a PE32 image with one ".rsrc"
// section holding the string-typed resource BINTYPE/DUMMY and the numeric
// resource 10/101, and an ELF64 image with a mora_rsrc section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mora::platform::test {

struct TPeImage {
  std::string Bytes;
  std::size_t ResourceStart = 0;  // file offset of the resource directory
};

TPeImage BuildPeImage(const std::string& dummyData, const std::string& numberedData);

// A minimal ELF64 file with a mora_rsrc section holding the given records.
std::string BuildElfImage(const std::string& records);
// One record of that section; claimedLength (when not -1) replaces the data's
// true length in the record.
std::string ElfRecord(const std::string& type, const std::string& name, const std::string& data,
                      std::int64_t claimedLength = -1);

}  // namespace mora::platform::test
