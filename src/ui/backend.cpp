// Choosing a backend by name at run time.
#include "ui/backend.h"

#include "base/errors.h"
#include "ui/scripted/scripted.h"

namespace mora::ui {

void* TBackend::NativeWindow(const TForm&) const { return nullptr; }

std::unique_ptr<TBackend> CreateBackend(std::string_view name) {
  if (name == "scripted") return std::make_unique<TScriptedBackend>();
  if (name == "win32") return CreateWin32Backend();
  throw base::EConvertError("unknown user-interface backend: " + std::string(name));
}

}  // namespace mora::ui
