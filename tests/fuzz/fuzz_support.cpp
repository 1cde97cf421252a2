#include "fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include "platform/filehandle.h"
#include "platform/folders.h"

namespace mora::fuzz {

std::string ScratchFile(std::string_view bytes) {
  static const std::string path = [] {
    char pattern[] = "/tmp/mora-fuzz-XXXXXX";
    const char* folder = mkdtemp(pattern);
    Check(folder != nullptr, "a scratch folder can be made");
    setenv("MORA_HOME", folder, 1);
    return platform::PathFromNative(std::string(folder) + "/input");
  }();
  platform::TFileOpenOptions options;
  options.Access = platform::TFileAccess::ReadWrite;
  options.Share = platform::TFileShare::None;
  options.Creation = platform::TFileCreation::CreateAlways;
  auto handle = platform::TFileHandle::Open(path, options);
  if (!bytes.empty()) handle.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return path;
}

}  // namespace mora::fuzz
