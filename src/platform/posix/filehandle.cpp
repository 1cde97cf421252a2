// POSIX file handles with the system's access and sharing rules.
//
// Sharing: every handle records what it does and what it denies with OFD
// record locks (per open file, so they also hold between two handles of one
// process and survive the closing of other descriptors) on four marker bytes
// far beyond any real data: "reads", "writes", "denies reading", "denies
// writing". A new handle is refused when it would read/write while an
// existing handle denies that, or deny what an existing handle does; this is
// exactly the check the system makes for CreateFile. The test and the setting
// of the markers happen under a short flock on the same file, so two openers
// cannot both pass the test. Markers are taken as read locks (which every
// handle may take, as handles are opened with read access internally) and
// tested with F_OFD_GETLK for a write lock, which sees any other marker.
//
// The read-only attribute (no write permission bits) refuses write access and
// re-creation even for a privileged user, as the system does.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/filehandle.h"
#include "platform/posix/state.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;

struct TFileHandle::TImpl {
  int Fd = -1;
  std::string Path;
  TFileAccess Access = TFileAccess::Read;
};

namespace {

#ifdef F_OFD_SETLK
constexpr int LockGet = F_OFD_GETLK;
constexpr int LockSet = F_OFD_SETLK;
#else
constexpr int LockGet = F_GETLK;  // per-process locks: weaker, but the best there is
constexpr int LockSet = F_SETLK;
#endif

// Offsets and sizes pass through off_t unchanged only when it has 64 bits
// (the build defines _FILE_OFFSET_BITS=64 for 32-bit targets).
static_assert(sizeof(off_t) == 8, "off_t must hold 64-bit file offsets");

constexpr off_t MarkerBase = static_cast<off_t>(1) << 62;
enum TMarker { MarkReads = 0, MarkWrites = 1, MarkDeniesRead = 2, MarkDeniesWrite = 3 };

bool MarkerHeld(int fd, TMarker marker) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = MarkerBase + marker;
  lock.l_len = 1;
  if (::fcntl(fd, LockGet, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

bool SetMarker(int fd, TMarker marker) {
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = MarkerBase + marker;
  lock.l_len = 1;
  return ::fcntl(fd, LockSet, &lock) == 0;
}

bool Reads(TFileAccess a) { return a != TFileAccess::Write; }
bool Writes(TFileAccess a) { return a != TFileAccess::Read; }
bool SharesRead(TFileShare s) { return s == TFileShare::Read || s == TFileShare::ReadWrite; }
bool SharesWrite(TFileShare s) { return s == TFileShare::Write || s == TFileShare::ReadWrite; }

// Checks the other handles of the file and marks this one; false on a
// sharing conflict.
bool ClaimSharing(int fd, const TFileOpenOptions& options) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  bool ok = true;
  if (Reads(options.Access) && MarkerHeld(fd, MarkDeniesRead)) ok = false;
  if (Writes(options.Access) && MarkerHeld(fd, MarkDeniesWrite)) ok = false;
  if (!SharesRead(options.Share) && MarkerHeld(fd, MarkReads)) ok = false;
  if (!SharesWrite(options.Share) && MarkerHeld(fd, MarkWrites)) ok = false;
  if (ok) {
    if (Reads(options.Access)) ok = ok && SetMarker(fd, MarkReads);
    if (Writes(options.Access)) ok = ok && SetMarker(fd, MarkWrites);
    if (!SharesRead(options.Share)) ok = ok && SetMarker(fd, MarkDeniesRead);
    if (!SharesWrite(options.Share)) ok = ok && SetMarker(fd, MarkDeniesWrite);
  }
  ::flock(fd, LOCK_UN);
  return ok;
}

bool IsReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

std::string OpenFailure(const std::string& path, TFileCreation creation) {
  return creation == TFileCreation::OpenExisting
             ? FormatS(Sjis("ファイル %s は開けません"), path)
             : FormatS(Sjis("ファイル %s を作成できません"), path);
}

// The descriptor, or -1 when the file cannot be opened as asked.
int OpenDescriptor(const std::string& path, const TFileOpenOptions& options) {
  const auto host = posix::TryHostPath(path);
  if (!host) return -1;
  struct stat st {};
  const bool exists = ::stat(host->c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return -1;
    if (IsReadOnlyMode(st.st_mode) &&
        (Writes(options.Access) || options.Creation == TFileCreation::CreateAlways)) {
      return -1;
    }
  } else if (options.Creation == TFileCreation::OpenExisting) {
    return -1;
  }
  // Opened without blocking: a named pipe or a device in place of a file
  // (a hostile medium may hold one) would otherwise wait for a writer
  // forever before the test below could refuse it.
  int flags = O_CLOEXEC | O_NONBLOCK | (Writes(options.Access) ? O_RDWR : O_RDONLY);
  if (options.Creation != TFileCreation::OpenExisting) flags |= O_CREAT;
  if (options.WriteThrough) flags |= O_DSYNC;
  int fd = -1;
  do {
    fd = ::open(host->c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !ClaimSharing(fd, options)) {
    ::close(fd);
    return -1;
  }
  // Truncate only now: a handle refused for sharing must not have destroyed
  // the data of the handle that holds the file.
  if (options.Creation == TFileCreation::CreateAlways && st.st_size != 0 &&
      ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string IoError(const std::string& message, const std::string& path) {
  return message + " (" + path + ": " + std::strerror(errno) + ")";
}

}  // namespace

TFileHandle::TFileHandle() = default;
TFileHandle::~TFileHandle() { Close(); }
TFileHandle::TFileHandle(TFileHandle&& other) noexcept = default;
TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    FImpl = std::move(other.FImpl);
  }
  return *this;
}

TFileHandle TFileHandle::Open(const std::string& path, const TFileOpenOptions& options) {
  auto handle = TryOpen(path, options);
  if (!handle) {
    const std::string message = OpenFailure(path, options.Creation);
    if (options.Creation == TFileCreation::OpenExisting) throw base::EFOpenError(message);
    throw base::EFCreateError(message);
  }
  return std::move(*handle);
}

std::optional<TFileHandle> TFileHandle::TryOpen(const std::string& path,
                                                const TFileOpenOptions& options) {
  const int fd = OpenDescriptor(path, options);
  if (fd < 0) return std::nullopt;
  TFileHandle handle;
  handle.FImpl = std::make_unique<TImpl>();
  handle.FImpl->Fd = fd;
  handle.FImpl->Path = path;
  handle.FImpl->Access = options.Access;
  return handle;
}

bool TFileHandle::IsOpen() const { return FImpl && FImpl->Fd >= 0; }

const std::string& TFileHandle::Path() const {
  static const std::string Empty;
  return FImpl ? FImpl->Path : Empty;
}

std::int64_t TFileHandle::Read(void* buffer, std::int64_t count) {
  if (!IsOpen() || count <= 0) return 0;
  if (!Reads(FImpl->Access)) {
    throw base::EReadError(Sjis("ストリームからの読み込みエラー") + " (" + FImpl->Path + ")");
  }
  auto* target = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30));
    const ssize_t n = ::read(FImpl->Fd, target + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw base::EReadError(IoError(Sjis("ストリームからの読み込みエラー"), FImpl->Path));
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileHandle::Write(const void* buffer, std::int64_t count) {
  if (!IsOpen() || count <= 0) return 0;
  if (!Writes(FImpl->Access)) {
    throw base::EWriteError(Sjis("ストリームへの書き込みエラー") + " (" + FImpl->Path + ")");
  }
  const auto* source = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30));
    const ssize_t n = ::write(FImpl->Fd, source + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw base::EWriteError(IoError(Sjis("ストリームへの書き込みエラー"), FImpl->Path));
    done += n;
  }
  return done;
}

std::int64_t TFileHandle::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (!IsOpen()) return -1;
  const int whence = origin == TSeekOrigin::Begin     ? SEEK_SET
                     : origin == TSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  return ::lseek(FImpl->Fd, static_cast<off_t>(offset), whence);
}

std::int64_t TFileHandle::Size() const {
  if (!IsOpen()) return 0;
  struct stat st {};
  if (::fstat(FImpl->Fd, &st) != 0) return 0;
  return st.st_size;
}

void TFileHandle::SetSize(std::int64_t size) {
  if (!IsOpen()) return;
  if (!Writes(FImpl->Access) || size < 0 || ::ftruncate(FImpl->Fd, static_cast<off_t>(size)) != 0) {
    throw base::EWriteError(IoError(Sjis("ストリームへの書き込みエラー"), FImpl->Path));
  }
}

std::int64_t TFileHandle::CopyInSystemFrom(TFileHandle& source, std::int64_t count) {
  if (!IsOpen() || !source.IsOpen() || !Writes(FImpl->Access) || !Reads(source.FImpl->Access)) {
    return 0;
  }
  std::int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30));
    const ssize_t n = ::copy_file_range(source.FImpl->Fd, nullptr, FImpl->Fd, nullptr, chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

void TFileHandle::Flush() {
  if (!IsOpen()) return;
  if (Writes(FImpl->Access) && ::fsync(FImpl->Fd) != 0) {
    throw base::EWriteError(IoError(Sjis("ストリームへの書き込みエラー"), FImpl->Path));
  }
}

void TFileHandle::Close() {
  if (FImpl && FImpl->Fd >= 0) {
    ::close(FImpl->Fd);
    FImpl->Fd = -1;
  }
}

}  // namespace mora::platform
