// Resources of a module loaded as a data file (never executed).
#include "platform/resources.h"

#include "platform/win32/winapi.h"

namespace mora::platform {

namespace {

class TWin32Module : public TModule {
 public:
  explicit TWin32Module(HMODULE module) : FLibrary(module) {}

  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    const auto wideName = win32::TryToWide(name);
    const auto wideType = win32::TryToWide(type);
    if (!wideName || !wideType) return std::nullopt;
    // FindResourceW compares string names after upper-casing them.
    HRSRC info = ::FindResourceW(FLibrary.Get(), wideName->c_str(), wideType->c_str());
    if (!info) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(FLibrary.Get(), info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(FLibrary.Get(), info);
    if (!data)
      return size == 0 ? std::optional<std::string_view>(std::string_view()) : std::nullopt;
    return std::string_view(static_cast<const char*>(data), size);
  }

 private:
  win32::TLibrary FLibrary;
};

}  // namespace

std::unique_ptr<TModule> TModule::Load(const std::string& path) {
  const auto wide = win32::TryToWide(path);
  if (!wide) return nullptr;
  HMODULE module = ::LoadLibraryExW(wide->c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return nullptr;
  return std::make_unique<TWin32Module>(module);
}

}  // namespace mora::platform
