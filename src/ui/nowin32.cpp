// Systems without Win32 windows: the win32 backend cannot be chosen.
#include "base/errors.h"
#include "ui/backend.h"

namespace mora::ui {

std::unique_ptr<TBackend> CreateWin32Backend() {
  throw base::EPlatformError("the win32 user interface is available on Windows only");
}

}  // namespace mora::ui
