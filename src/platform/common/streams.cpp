#include "platform/streams.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"

namespace mora::platform {

using base::Sjis;

std::int64_t TStream::Size() {
  const std::int64_t position = Seek(0, TSeekOrigin::Current);
  const std::int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Begin);
  return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) {
    throw base::EReadError(Sjis("ストリームからの読み込みエラー"));
  }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) {
    throw base::EWriteError(Sjis("ストリームへの書き込みエラー"));
  }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  const std::int64_t total = count;
  count -= CopyInSystemFrom(source, count);
  if (count == 0) return total;
  constexpr std::int64_t ChunkSize = 1 << 20;
  std::vector<char> buffer(static_cast<std::size_t>(std::min(count, ChunkSize)));
  while (count > 0) {
    const std::int64_t n = std::min(count, ChunkSize);
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= n;
  }
  return total;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(FData.size());
  if (count <= 0 || FPosition >= size) return 0;
  const std::int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

// The end of a write or a new size, as the memory it needs: a value that
// the address space cannot hold would be cut short by the conversion to
// size_t (on 32-bit systems), and the bytes would land in the wrong place.
std::size_t TMemoryStream::MemoryFor(std::int64_t end) const {
  if (end < 0 || static_cast<std::uint64_t>(end) > FData.max_size()) {
    throw base::EWriteError(Sjis("ストリームへの書き込みエラー"));
  }
  return static_cast<std::size_t>(end);
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::size_t end = MemoryFor(FPosition + count);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
  FPosition += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::Current) base = FPosition;
  if (origin == TSeekOrigin::End) base = static_cast<std::int64_t>(FData.size());
  FPosition = std::max<std::int64_t>(0, base + offset);
  return FPosition;
}

void TMemoryStream::SetSize(std::int64_t size) {
  FData.resize(MemoryFor(std::max<std::int64_t>(0, size)));
  FPosition = std::min(FPosition, size);
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  FData = ReadFileBytes(path);
  FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) { WriteFileAtomic(path, FData); }

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
  return count <= 0 ? 0 : FHandle.Read(buffer, count);
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
  return count <= 0 ? 0 : FHandle.Write(buffer, count);
}

std::int64_t THandleStream::CopyInSystemFrom(TStream& source, std::int64_t count) {
  auto* handleSource = dynamic_cast<THandleStream*>(&source);
  if (handleSource == nullptr) return 0;
  return FHandle.CopyInSystemFrom(handleSource->FHandle, count);
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  return FHandle.Seek(offset, origin);
}

namespace {

TFileOpenOptions OptionsFor(TFileStream::TMode mode) {
  TFileOpenOptions options;
  switch (mode) {
    case TFileStream::TMode::OpenRead:
      options.Access = TFileAccess::Read;
      options.Share = TFileShare::Read;
      options.Creation = TFileCreation::OpenExisting;
      break;
    case TFileStream::TMode::OpenReadWrite:
      options.Access = TFileAccess::ReadWrite;
      options.Share = TFileShare::Read;
      options.Creation = TFileCreation::OpenExisting;
      break;
    case TFileStream::TMode::Create:
      options.Access = TFileAccess::ReadWrite;
      options.Share = TFileShare::None;
      options.Creation = TFileCreation::CreateAlways;
      break;
  }
  return options;
}

}  // namespace

TFileStream::TFileStream(const std::string& path, TMode mode)
    : THandleStream(TFileHandle::Open(path, OptionsFor(mode))) {}

}  // namespace mora::platform
