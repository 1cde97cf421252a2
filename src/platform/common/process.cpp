// What every program does first, the same on both systems: the pieces that
// Windows does itself are no-ops there.
#include "platform/folders.h"
#include "platform/system.h"

namespace mora::platform {

void BeginProcess(int argc, char** argv) {
  SetCommandLineArguments(argc, argv);
  ProcessPendingDeletions();
}

}  // namespace mora::platform
