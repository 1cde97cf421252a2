// Resources of executables given to mora: the PE resource directory read
// from any bytes, and any file loaded as a module (PE or ELF with its
// mora_rsrc section). Found data always lies inside the image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "fuzz_support.h"
#include "platform/resources.h"

using namespace mora;

namespace {

void CheckInside(std::string_view image, const std::optional<std::string_view>& found) {
  if (!found) return;
  const char* begin = image.data();
  const char* end = begin + image.size();
  fuzz::Check(
      found->data() >= begin && found->size() <= static_cast<std::size_t>(end - found->data()),
      "a resource lies inside its image");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view image = fuzz::Bytes(data, size);
  for (const auto& [name, type] : {std::pair{"DUMMY", "BINTYPE"}, std::pair{"#101", "#10"}}) {
    try {
      CheckInside(image, platform::FindPeResource(image, name, type, "fuzz.exe"));
    } catch (const base::EDamagedData&) {
    }
  }
  // Loading goes through a file, so only inputs that look like a program
  // take that slower way.
  if (image.substr(0, 2) == "MZ" || image.substr(0, 4) ==
                                        "\x7F"
                                        "ELF") {
    const auto module = platform::TModule::Load(fuzz::ScratchFile(image));
    if (module != nullptr) {
      try {
        module->FindResource("DUMMY", "BINTYPE");
        module->FindResource("#101", "#10");
      } catch (const base::EDamagedData&) {
      }
    }
  }
  return 0;
}
