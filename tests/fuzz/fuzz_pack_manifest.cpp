// The manifest of `mora pack`: any text gives a manifest or fails with
// EManifestError naming the field; nothing else escapes the reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "authoring/manifest.h"
#include "fuzz_support.h"

using namespace mora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const authoring::TManifest manifest =
        authoring::ParseManifest(std::string(fuzz::Bytes(data, size)), "Z:\\fuzz\\title.json");
    fuzz::Check(!manifest.Disks.empty(), "an accepted manifest has a disk");
  } catch (const authoring::EManifestError& e) {
    fuzz::Check(!e.Field().empty(), "a refused manifest names its field");
  }
  return 0;
}
