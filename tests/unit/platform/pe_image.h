// A small PE32 (or PE32+) image built at test time: one ".rsrc" section
// holding the string-typed resource BINTYPE/DUMMY and the numeric resource
// 10/101, both in language 0x411.
#pragma once

#include <cstddef>
#include <string>

namespace mora::platform::test {

struct TPeImage {
  std::string Bytes;
  std::size_t ResourceStart = 0;  // file offset of the resource directory
};

TPeImage BuildPeImage(const std::string& dummyData, const std::string& numberedData,
                      bool pe32Plus = false);

}  // namespace mora::platform::test
