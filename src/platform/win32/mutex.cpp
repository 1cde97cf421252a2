// Named mutexes: the system's own, shared by every process of the session.
#include "platform/mutex.h"

#include "platform/win32/winapi.h"

namespace mora::platform {

struct TNamedMutex::TImpl {
  win32::TUniqueHandle Handle;
};

TNamedMutex::TNamedMutex(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}

TNamedMutex::~TNamedMutex() { Release(); }

bool TNamedMutex::Exists(const std::string& name) {
  // A name that cannot be spelt in UTF-16 names no mutex.
  const auto wide = win32::TryToWide(name);
  if (!wide) return false;
  win32::TUniqueHandle handle(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wide->c_str()));
  return handle.Valid();
}

std::unique_ptr<TNamedMutex> TNamedMutex::Create(const std::string& name) {
  const auto wide = win32::TryToWide(name);
  if (!wide) return nullptr;
  auto impl = std::make_unique<TImpl>();
  impl->Handle.Reset(::CreateMutexW(nullptr, FALSE, wide->c_str()));
  if (!impl->Handle) return nullptr;
  return std::unique_ptr<TNamedMutex>(new TNamedMutex(std::move(impl)));
}

void TNamedMutex::Release() {
  if (!FImpl || !FImpl->Handle) return;
  // Created without ownership, so ReleaseMutex normally fails harmlessly;
  // it matters only if someone waited on the handle in between.
  ::ReleaseMutex(FImpl->Handle.Get());
  FImpl->Handle.Reset();
}

}  // namespace mora::platform
