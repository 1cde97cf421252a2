// The platform's ordinary byte streams with 32-bit-era semantics: an abstract
// TStream with Read/Write/Seek/Size and CopyFrom, a growable TMemoryStream,
// and THandleStream / TFileStream over an operating-system file handle.
// ReadBuffer / CopyFrom fail with EReadError ("ストリームからの読み込みエラー")
// when the source runs short; WriteBuffer with EWriteError
// ("ストリームへの書き込みエラー"), as does a memory stream asked to grow beyond
// what the address space can hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/filehandle.h"

namespace mora::platform {

class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Begin); }

  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  void WriteBytes(std::string_view bytes) {
    WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  // Copies count bytes from source's current position; count 0 rewinds the
  // source and copies all of it. Returns the count copied.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);

 protected:
  // The part of a copy the system can make without the program's memory
  // (see TFileHandle::CopyInSystemFrom); 0 by default.
  virtual std::int64_t CopyInSystemFrom(TStream& /*source*/, std::int64_t /*count*/) { return 0; }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : FData(std::move(bytes)) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t size) override;

  void Clear();
  // Replaces the contents with the whole file; throws EFOpenError.
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path);

  const std::string& Bytes() const { return FData; }
  std::string& MutableBytes() { return FData; }
  const char* Memory() const { return FData.data(); }

 private:
  // Throws EWriteError for an end beyond what memory can hold.
  std::size_t MemoryFor(std::int64_t end) const;

  std::string FData;
  std::int64_t FPosition = 0;
};

// A stream over an open handle; owns the handle.
class THandleStream : public TStream {
 public:
  explicit THandleStream(TFileHandle handle) : FHandle(std::move(handle)) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return FHandle.Size(); }
  void SetSize(std::int64_t size) override { FHandle.SetSize(size); }

  TFileHandle& Handle() { return FHandle; }

 protected:
  std::int64_t CopyInSystemFrom(TStream& source, std::int64_t count) override;

 private:
  TFileHandle FHandle;
};

// Toolkit-style file stream: opens for reading (others may read) or creates
// (truncating) for writing.
class TFileStream : public THandleStream {
 public:
  enum class TMode { OpenRead, OpenReadWrite, Create };
  TFileStream(const std::string& path, TMode mode);
};

}  // namespace mora::platform
