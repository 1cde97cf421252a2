// Second process of the platform tests: writes "1" into the answer file when
// the named mutex exists, "0" when not.
// Usage: platform_test_child <mutex name> <answer file>
#include <exception>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  try {
    const bool exists = mora::platform::TNamedMutex::Exists(argv[1]);
    mora::platform::WriteFileAtomic(mora::platform::PathFromNative(argv[2]), exists ? "1" : "0");
  } catch (const std::exception&) {
    return 1;
  }
  return 0;
}
