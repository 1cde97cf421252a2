// Volume file handles through CreateFileW: the access, sharing and
// write-through flags map one to one onto the system's.
#include "platform/filehandle.h"

#include <algorithm>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/win32/winapi.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;

struct TFileHandle::TImpl {
  win32::TUniqueHandle Handle;
  std::string Path;
  TFileAccess Access = TFileAccess::Read;
};

namespace {

constexpr std::int64_t MaxChunk = 1 << 30;  // one ReadFile/WriteFile call

DWORD AccessFlags(TFileAccess access) {
  switch (access) {
    case TFileAccess::Read: return GENERIC_READ;
    case TFileAccess::Write: return GENERIC_WRITE;
    case TFileAccess::ReadWrite: return GENERIC_READ | GENERIC_WRITE;
  }
  return GENERIC_READ;
}

DWORD ShareFlags(TFileShare share) {
  switch (share) {
    case TFileShare::None: return 0;
    case TFileShare::Read: return FILE_SHARE_READ;
    case TFileShare::Write: return FILE_SHARE_WRITE;
    case TFileShare::ReadWrite: return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}

DWORD CreationFlags(TFileCreation creation) {
  switch (creation) {
    case TFileCreation::OpenExisting: return OPEN_EXISTING;
    case TFileCreation::CreateAlways: return CREATE_ALWAYS;
    case TFileCreation::OpenAlways: return OPEN_ALWAYS;
  }
  return OPEN_EXISTING;
}

std::string ReadFailure(const std::string& path) {
  return Sjis("ストリームからの読み込みエラー") + " (" + path + ")";
}

std::string WriteFailure(const std::string& path) {
  return Sjis("ストリームへの書き込みエラー") + " (" + path + ")";
}

}  // namespace

TFileHandle::TFileHandle() = default;
TFileHandle::~TFileHandle() = default;
TFileHandle::TFileHandle(TFileHandle&& other) noexcept = default;
TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept = default;

TFileHandle TFileHandle::Open(const std::string& path, const TFileOpenOptions& options) {
  auto handle = TryOpen(path, options);
  if (!handle) {
    if (options.Creation == TFileCreation::OpenExisting) {
      throw base::EFOpenError(FormatS(Sjis("ファイル %s は開けません"), path));
    }
    throw base::EFCreateError(FormatS(Sjis("ファイル %s を作成できません"), path));
  }
  return std::move(*handle);
}

std::optional<TFileHandle> TFileHandle::TryOpen(const std::string& path,
                                                const TFileOpenOptions& options) {
  const auto wide = win32::TryToWide(path);
  if (!wide) return std::nullopt;
  if (options.Access != TFileAccess::Read && win32::IsReadOnlyFile(*wide)) return std::nullopt;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | (options.WriteThrough ? FILE_FLAG_WRITE_THROUGH : 0);
  win32::TUniqueHandle handle(::CreateFileW(wide->c_str(), AccessFlags(options.Access),
                                            ShareFlags(options.Share), nullptr,
                                            CreationFlags(options.Creation), flags, nullptr));
  if (!handle) return std::nullopt;
  TFileHandle result;
  result.FImpl = std::make_unique<TImpl>();
  result.FImpl->Handle = std::move(handle);
  result.FImpl->Path = path;
  result.FImpl->Access = options.Access;
  return result;
}

bool TFileHandle::IsOpen() const { return FImpl && FImpl->Handle.Valid(); }

const std::string& TFileHandle::Path() const {
  static const std::string Empty;
  return FImpl ? FImpl->Path : Empty;
}

std::int64_t TFileHandle::Read(void* buffer, std::int64_t count) {
  if (!IsOpen() || count <= 0) return 0;
  auto* target = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<DWORD>(std::min(count - done, MaxChunk));
    DWORD read = 0;
    if (!::ReadFile(FImpl->Handle.Get(), target + done, chunk, &read, nullptr)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      throw base::EReadError(ReadFailure(FImpl->Path));
    }
    if (read == 0) break;
    done += read;
  }
  return done;
}

std::int64_t TFileHandle::Write(const void* buffer, std::int64_t count) {
  if (!IsOpen() || count <= 0) return 0;
  const auto* source = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<DWORD>(std::min(count - done, MaxChunk));
    DWORD written = 0;
    if (!::WriteFile(FImpl->Handle.Get(), source + done, chunk, &written, nullptr) ||
        written == 0) {
      throw base::EWriteError(WriteFailure(FImpl->Path));
    }
    done += written;
  }
  return done;
}

std::int64_t TFileHandle::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (!IsOpen()) return -1;
  const DWORD method = origin == TSeekOrigin::Begin     ? FILE_BEGIN
                       : origin == TSeekOrigin::Current ? FILE_CURRENT
                                                        : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(FImpl->Handle.Get(), distance, &position, method)) return -1;
  return position.QuadPart;
}

std::int64_t TFileHandle::Size() const {
  if (!IsOpen()) return 0;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(FImpl->Handle.Get(), &size)) return 0;
  return size.QuadPart;
}

void TFileHandle::SetSize(std::int64_t size) {
  if (!IsOpen()) return;
  // SetEndOfFile cuts at the file pointer; the caller's position is kept
  // (a position past the new end stays where it was, as with ftruncate).
  const std::int64_t position = Seek(0, TSeekOrigin::Current);
  LARGE_INTEGER target;
  target.QuadPart = size;
  const bool done = size >= 0 &&
                    ::SetFilePointerEx(FImpl->Handle.Get(), target, nullptr, FILE_BEGIN) &&
                    ::SetEndOfFile(FImpl->Handle.Get());
  if (position >= 0) Seek(position, TSeekOrigin::Begin);
  if (!done) throw base::EWriteError(WriteFailure(FImpl->Path));
}

void TFileHandle::Flush() {
  if (!IsOpen() || FImpl->Access == TFileAccess::Read) return;
  if (!::FlushFileBuffers(FImpl->Handle.Get())) throw base::EWriteError(WriteFailure(FImpl->Path));
}

// Windows copies between open handles only through the program's memory.
std::int64_t TFileHandle::CopyInSystemFrom(TFileHandle&, std::int64_t) { return 0; }

void TFileHandle::Close() {
  if (FImpl) FImpl->Handle.Reset();
}

}  // namespace mora::platform
