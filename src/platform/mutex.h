// Named mutexes between processes. Exists() opens an existing mutex with full
// access and closes it again; Create() makes one without initial ownership.
// POSIX emulates them with one lock file per name under the state root: the
// holder keeps a shared flock on it, so Exists() sees the lock from any
// process; names are encoded so that no name can leave the lock folder.
#pragma once

#include <memory>
#include <string>

namespace mora::platform {

class TNamedMutex {
 public:
  ~TNamedMutex();
  TNamedMutex(const TNamedMutex&) = delete;
  TNamedMutex& operator=(const TNamedMutex&) = delete;

  static bool Exists(const std::string& name);
  // nullptr when the mutex cannot be created.
  static std::unique_ptr<TNamedMutex> Create(const std::string& name);
  // Releases and closes; the object may be destroyed afterwards.
  void Release();

  struct TImpl;

 private:
  explicit TNamedMutex(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace mora::platform
