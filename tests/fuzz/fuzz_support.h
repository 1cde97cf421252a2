// Shared by the fuzz targets: a property check that aborts, so that
// libFuzzer keeps the input as a crash, and a scratch file for the readers
// that only take file names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace mora::fuzz {

// A property that must hold for every input; a broken one aborts the run.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A drive path of a file in a private folder made once per process (which
// also becomes MORA_HOME), holding bytes.
std::string ScratchFile(std::string_view bytes);

}  // namespace mora::fuzz
