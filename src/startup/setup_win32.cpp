// setup.exe: the setup program with real windows. The entry is wWinMain
// (linked with -municode -mwindows); the program is often started from a
// download or the temporary folder, so before anything else it lets the
// system load DLLs from the system folder only.
#include <exception>

#include "platform/system.h"
#include "startup/start.h"
#include "ui/application.h"
#include "ui/backend.h"

namespace {

int RunSetup() {
  mora::platform::RestrictDllSearchPath();
  mora::platform::BeginProcess(0, nullptr);
  try {
    mora::ui::TApplication application(mora::ui::CreateWin32Backend());
    return static_cast<int>(mora::startup::Start(application));
  } catch (...) {
    // Only a failure to set up the user interface itself gets here; there
    // is no window to report it in.
    return static_cast<int>(mora::startup::TStartResult::Failed);
  }
}

}  // namespace

// The system's types are opaque here: the instance handles are pointers,
// the command line is taken from the system by the platform layer.
extern "C" int __stdcall wWinMain(void* /*instance*/, void* /*previous*/, wchar_t* /*commandLine*/,
                                  int /*show*/) {
  return RunSetup();
}
