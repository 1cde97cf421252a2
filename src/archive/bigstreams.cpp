#include "archive/bigstreams.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"

namespace mora::archive {

using base::Sjis;

namespace {

platform::TFileShare ShareFromMode(std::uint16_t mode) {
  switch ((mode >> 4) & 0xF) {
    case 2: return platform::TFileShare::Read;
    case 3: return platform::TFileShare::Write;
    case 4: return platform::TFileShare::ReadWrite;
    default: return platform::TFileShare::None;
  }
}

platform::TFileAccess AccessFromMode(std::uint16_t mode) {
  switch (mode & 3) {
    case 0: return platform::TFileAccess::Read;
    case 1: return platform::TFileAccess::Write;
    default: return platform::TFileAccess::ReadWrite;
  }
}

// The file name without its extension: the last "." behind the last "\".
std::string WithoutExtension(const std::string& fileName) {
  const std::size_t delimiter = base::LastPathDelimiter(fileName);
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return fileName;
  if (delimiter != std::string::npos && dot < delimiter) return fileName;
  return fileName.substr(0, dot);
}

[[noreturn]] void FailRead() { throw base::EReadError(Sjis("ストリームからの読み込みエラー")); }

}  // namespace

// ---------------------------------------------------------------------------
// File stream over volumes

TQsBigFileStream::TQsBigFileStream(const std::string& fileName, std::uint16_t mode)
    : FFileName(fileName), FMode(mode) {
  const unsigned access = mode & 0xF;
  if (mode != fmBigCreate && (access == 0 || access == 2)) {
    platform::TFileOpenOptions options;
    options.Access = AccessFromMode(mode);
    options.Share = ShareFromMode(mode);
    options.Creation = platform::TFileCreation::OpenExisting;
    // The first missing number ends the chain; later volumes stay hidden.
    for (int i = 0; platform::FileExists(VolumeName(i)); ++i) {
      FVolumes.push_back(std::make_unique<platform::THandleStream>(
          platform::TFileHandle::Open(VolumeName(i), options)));
    }
  } else {
    for (int i = 0; platform::FileExists(VolumeName(i)); ++i) {
      if (!platform::DeleteFile(VolumeName(i))) {
        throw base::EFCreateError(
            base::FormatS(Sjis("ファイル %s を作成できません"), VolumeName(i)));
      }
    }
  }
}

TQsBigFileStream::~TQsBigFileStream() {
  try {
    Flush();
  } catch (const base::Exception&) {
    // A destructor cannot report; a caller that must know flushes first.
  }
  FVolumes.clear();
}

bool TQsBigFileStream::Writes() const {
  const unsigned access = FMode & 0xF;
  return FMode == fmBigCreate || access == 1 || access == 2;
}

void TQsBigFileStream::Flush() {
  if (!Writes()) return;
  for (auto& volume : FVolumes) volume->Handle().Flush();
}

std::string TQsBigFileStream::VolumeNameOf(const std::string& fileName, int index) {
  if (index == 0) return fileName;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%.3d", index);
  return WithoutExtension(fileName) + suffix;
}

std::int64_t TQsBigFileStream::GetSize() {
  std::int64_t size = 0;
  for (auto& volume : FVolumes) size += volume->Size();
  return size;
}

void TQsBigFileStream::SetPosition(std::int64_t position) {
  FPosition = std::max<std::int64_t>(0, position);
  const std::int64_t size = GetSize();
  if (size < FPosition) FPosition = size;
}

std::int64_t TQsBigFileStream::Read(void* buffer, std::int64_t count) {
  auto* out = static_cast<char*>(buffer);
  std::int64_t result = 0;
  for (std::size_t i = static_cast<std::size_t>(FPosition / VolumeSize);
       count > 0 && i < FVolumes.size(); ++i) {
    platform::THandleStream& volume = *FVolumes[i];
    volume.SetPosition(FPosition % VolumeSize);
    const std::int64_t n = std::min(volume.Size() - volume.Position(), count);
    if (n <= 0) break;
    const std::int64_t got = volume.Read(out, n);
    result += got;
    FPosition += got;
    out += got;
    count -= got;
    // A volume that ends early (damaged chain) ends the read here rather
    // than continuing at a wrong offset of the next volume.
    if (got < n) break;
  }
  return result;
}

std::int64_t TQsBigFileStream::CopyTo(platform::TStream& destination, std::int64_t count) {
  std::int64_t result = 0;
  for (std::size_t i = static_cast<std::size_t>(FPosition / VolumeSize);
       count > 0 && i < FVolumes.size(); ++i) {
    platform::THandleStream& volume = *FVolumes[i];
    volume.SetPosition(FPosition % VolumeSize);
    const std::int64_t n = std::min(volume.Size() - volume.Position(), count);
    if (n <= 0) break;
    destination.CopyFrom(volume, n);
    result += n;
    FPosition += n;
    count -= n;
  }
  return result;
}

platform::THandleStream& TQsBigFileStream::VolumeForWrite(int index) {
  while (index >= VolumeCount()) {
    platform::TFileOpenOptions options;
    options.Access = platform::TFileAccess::ReadWrite;
    options.Share = platform::TFileShare::None;
    options.Creation = platform::TFileCreation::CreateAlways;
    FVolumes.push_back(std::make_unique<platform::THandleStream>(
        platform::TFileHandle::Open(VolumeName(VolumeCount()), options)));
  }
  platform::THandleStream& volume = *FVolumes[static_cast<std::size_t>(index)];
  volume.SetPosition(FPosition % VolumeSize);
  return volume;
}

std::int64_t TQsBigFileStream::Write(const void* buffer, std::int64_t count) {
  const auto* in = static_cast<const char*>(buffer);
  std::int64_t result = 0;
  for (int i = static_cast<int>(FPosition / VolumeSize); count > 0; ++i) {
    platform::THandleStream& volume = VolumeForWrite(i);
    const std::int64_t n = std::min(VolumeSize - volume.Position(), count);
    volume.WriteBuffer(in, n);
    result += n;
    FPosition += n;
    in += n;
    count -= n;
  }
  return result;
}

std::int64_t TQsBigFileStream::CopyFrom(platform::TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::int64_t result = 0;
  for (int i = static_cast<int>(FPosition / VolumeSize); count > 0; ++i) {
    platform::THandleStream& volume = VolumeForWrite(i);
    const std::int64_t n = std::min(VolumeSize - volume.Position(), count);
    result += volume.CopyFrom(source, n);
    FPosition += n;
    count -= n;
  }
  return result;
}

std::int64_t TQsBigFileStream::CopyFromBig(TQsBigStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  auto* sourceFile = dynamic_cast<TQsBigFileStream*>(&source);
  std::vector<char> buffer;
  if (sourceFile == nullptr && count > 0) {
    buffer.resize(static_cast<std::size_t>(std::min<std::int64_t>(FCopyBufferSize, count)));
  }
  std::int64_t result = 0;
  for (int i = static_cast<int>(FPosition / VolumeSize); count > 0; ++i) {
    platform::THandleStream& volume = VolumeForWrite(i);
    const std::int64_t chunk = std::min(VolumeSize - volume.Position(), count);
    std::int64_t remaining = chunk;
    if (sourceFile != nullptr) {
      // Volume to volume, without a buffer of our own.
      while (remaining > 0) {
        const auto j = static_cast<std::size_t>(sourceFile->FPosition / VolumeSize);
        if (j >= sourceFile->FVolumes.size()) FailRead();
        platform::THandleStream& from = *sourceFile->FVolumes[j];
        from.SetPosition(sourceFile->FPosition % VolumeSize);
        const std::int64_t m = std::min(VolumeSize - from.Position(), remaining);
        volume.CopyFrom(from, m);
        sourceFile->FPosition += m;
        remaining -= m;
      }
    } else {
      while (remaining > 0) {
        const std::int64_t m = std::min<std::int64_t>(FCopyBufferSize, remaining);
        // Writing what a short read left in the buffer would corrupt the copy.
        if (source.Read(buffer.data(), m) != m) FailRead();
        volume.WriteBuffer(buffer.data(), m);
        remaining -= m;
      }
    }
    result += chunk;
    FPosition += chunk;
    count -= chunk;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Memory stream

std::int64_t TQsBigMemoryStream::Write(const void* buffer, std::int64_t count) {
  return FMemory.Write(buffer, count);
}

std::int64_t TQsBigMemoryStream::Read(void* buffer, std::int64_t count) {
  return FMemory.Read(buffer, count);
}

std::int64_t TQsBigMemoryStream::CopyFromBig(TQsBigStream& source, std::int64_t count) {
  auto* memory = dynamic_cast<TQsBigMemoryStream*>(&source);
  if (memory == nullptr) return 0;
  return FMemory.CopyFrom(memory->FMemory, count);
}

std::int64_t TQsBigMemoryStream::CopyFrom(platform::TStream& source, std::int64_t count) {
  return FMemory.CopyFrom(source, count);
}

std::int64_t TQsBigMemoryStream::CopyTo(platform::TStream& destination, std::int64_t count) {
  // A platform copy of 0 would copy the whole stream from its start; an
  // empty entry must copy nothing.
  if (count <= 0) return 0;
  return destination.CopyFrom(FMemory, count);
}

// ---------------------------------------------------------------------------
// Resource stream

std::int64_t TReadOnlyViewStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(FBytes.size());
  if (count <= 0 || FPosition >= size) return 0;
  const std::int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FBytes.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TReadOnlyViewStream::Write(const void*, std::int64_t) {
  throw base::EStreamError(Sjis("読み込み専用リソース ストリームには書き込めません"));
}

void TReadOnlyViewStream::SetSize(std::int64_t) {
  throw base::EStreamError(Sjis("読み込み専用リソース ストリームには書き込めません"));
}

std::int64_t TReadOnlyViewStream::Seek(std::int64_t offset, platform::TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == platform::TSeekOrigin::Current) base = FPosition;
  if (origin == platform::TSeekOrigin::End) base = static_cast<std::int64_t>(FBytes.size());
  FPosition = std::max<std::int64_t>(0, base + offset);
  return FPosition;
}

TQsBigResourceStream::TQsBigResourceStream(const platform::TModule& module,
                                           const std::string& resourceName,
                                           const std::string& resourceType)
    : FResourceName(resourceName), FResourceType(resourceType) {
  const auto bytes = module.FindResource(resourceName, resourceType);
  if (!bytes) {
    throw base::EResNotFound(base::FormatS(Sjis("%s リソースが見つかりません"), resourceName));
  }
  FResource = std::make_unique<TReadOnlyViewStream>(*bytes);
}

std::int64_t TQsBigResourceStream::Write(const void* buffer, std::int64_t count) {
  return FResource->Write(buffer, count);
}

std::int64_t TQsBigResourceStream::Read(void* buffer, std::int64_t count) {
  return FResource->Read(buffer, count);
}

std::int64_t TQsBigResourceStream::CopyFromBig(TQsBigStream& source, std::int64_t count) {
  auto* resource = dynamic_cast<TQsBigResourceStream*>(&source);
  if (resource == nullptr) return 0;
  return FResource->CopyFrom(*resource->FResource, count);
}

std::int64_t TQsBigResourceStream::CopyFrom(platform::TStream& source, std::int64_t count) {
  return FResource->CopyFrom(source, count);
}

std::int64_t TQsBigResourceStream::CopyTo(platform::TStream& destination, std::int64_t count) {
  if (count <= 0) return 0;
  return destination.CopyFrom(*FResource, count);
}

// ---------------------------------------------------------------------------
// Buffered reader

std::int32_t TQsBuffBigStream::Read(void* buffer, std::int32_t count) {
  auto* out = static_cast<char*>(buffer);
  std::int32_t result = 0;
  while (count > 0) {
    if (FBuffer.Position() >= FBuffer.Size()) {
      FBuffer.Clear();
      const std::int64_t left = FSource.GetSize() - FSource.GetPosition();
      const std::int64_t refill = std::min<std::int64_t>(left, BufferSize);
      if (refill > 0) FSource.CopyTo(FBuffer, refill);
      FBuffer.SetPosition(0);
      // The source has run dry: report the short count.
      if (FBuffer.Size() == 0) break;
    }
    const auto n = static_cast<std::int32_t>(
        std::min<std::int64_t>(count, FBuffer.Size() - FBuffer.Position()));
    const auto got = static_cast<std::int32_t>(FBuffer.Read(out, n));
    result += got;
    out += got;
    count -= got;
  }
  return result;
}

TQsBuffBigStream::~TQsBuffBigStream() {
  const std::int64_t unread = FBuffer.Size() - FBuffer.Position();
  if (unread <= 0) return;
  try {
    FSource.SetPosition(FSource.GetPosition() - unread);
  } catch (const base::Exception&) {
    // Only a failing file handle can throw here; the next read reports it.
  }
}

}  // namespace mora::archive
