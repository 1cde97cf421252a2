// Named mutexes on POSIX: one lock file per name in the lock folder (see
// state.cpp). The name is percent-encoded (every byte outside A-Z a-z 0-9 "_"
// and "-" becomes %XX), so no name can reach outside the folder or collide
// with another; a name whose encoding would exceed the host's name limit is
// cut and completed by a 64-bit FNV-1a hash of the whole name.
// A holder keeps a shared flock for as long as it holds the mutex; Exists()
// opens the file afresh and tries an exclusive flock without waiting, which
// fails while any holder (of any process, this one included) is there. The
// probes serialise on the folder's ".probe" file so that two probes cannot
// mistake each other for a holder. Lock files are never removed: removing
// one could let two processes lock two different files of the same name.
#include "platform/mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/posix/state.h"

namespace mora::platform {

namespace posix {

std::string EncodeLockName(const std::string& name) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '-') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += Digits[c >> 4];
      encoded += Digits[c & 15];
    }
  }
  constexpr std::size_t Limit = 200;
  if (encoded.size() > Limit) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : name) {
      hash ^= c;
      hash *= 0x100000001b3ull;
    }
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    encoded = encoded.substr(0, Limit) + tail;
  }
  return "m-" + encoded + ".lock";
}

}  // namespace posix

struct TNamedMutex::TImpl {
  int Fd = -1;
};

namespace {

int LockRetrying(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

TNamedMutex::TNamedMutex(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}

TNamedMutex::~TNamedMutex() { Release(); }

bool TNamedMutex::Exists(const std::string& name) {
  const std::string folder = posix::StateLayout().LockFolder;
  const std::string file = folder + "/" + posix::EncodeLockName(name);
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool held = false;
  {
    posix::THostFileLock probe(folder + "/.probe", true);
    if (LockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {
      held = errno == EWOULDBLOCK;
    } else {
      LockRetrying(fd, LOCK_UN);
    }
  }
  ::close(fd);
  return held;
}

std::unique_ptr<TNamedMutex> TNamedMutex::Create(const std::string& name) {
  const std::string folder = posix::StateLayout().LockFolder;
  if (!posix::MakeHostFolders(folder, 0700)) return nullptr;
  const std::string file = folder + "/" + posix::EncodeLockName(name);
  const int fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  // Waits only while a probe holds its momentary exclusive lock.
  if (LockRetrying(fd, LOCK_SH) != 0) {
    ::close(fd);
    return nullptr;
  }
  auto impl = std::make_unique<TImpl>();
  impl->Fd = fd;
  return std::unique_ptr<TNamedMutex>(new TNamedMutex(std::move(impl)));
}

void TNamedMutex::Release() {
  if (FImpl && FImpl->Fd >= 0) {
    ::close(FImpl->Fd);
    FImpl->Fd = -1;
  }
}

}  // namespace mora::platform
