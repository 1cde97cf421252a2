// install.dat: any bytes load or fail with the program's own error; what
// loads saves as a format-107 file that reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "fuzz_support.h"
#include "platform/streams.h"
#include "settings/installset.h"

using namespace mora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  settings::TMoraInstallSet loaded;
  platform::TMemoryStream stream{std::string(fuzz::Bytes(data, size))};
  try {
    loaded.LoadFromStream(stream, "install.dat");
  } catch (const base::Exception&) {
    return 0;
  }
  fuzz::Check(stream.Position() <= stream.Size(), "the stream stays within its bytes");
  const std::string saved = loaded.SaveToBytes();
  settings::TMoraInstallSet again;
  platform::TMemoryStream savedStream(saved);
  again.LoadFromStream(savedStream, "saved install.dat");
  fuzz::Check(again.SaveToBytes() == saved, "a saved file reads back to the same values");
  return 0;
}
