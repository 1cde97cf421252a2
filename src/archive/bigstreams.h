// Streams with 64-bit sizes, positions and counts: a file continued in volume
// files of 1 GiB (name.dat, name.001, ...), a memory buffer, a read-only
// resource block, and a 100 KiB read buffer in front of any of them.
// A file stream's writes go through the system's cache; Flush (and the
// destructor, which cannot report) forces them onto the disk once.
// Short platform copies throw EReadError, short writes EWriteError; volumes
// that cannot be opened throw EFOpenError naming the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"
#include "platform/streams.h"

namespace mora::archive {

class TQsBigStream {
 public:
  TQsBigStream() = default;
  virtual ~TQsBigStream() = default;
  TQsBigStream(const TQsBigStream&) = delete;
  TQsBigStream& operator=(const TQsBigStream&) = delete;

  virtual std::int64_t GetSize() { return 0; }
  virtual std::int64_t GetPosition() { return 0; }
  virtual void SetPosition(std::int64_t /*position*/) {}
  virtual std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) { return 0; }
  virtual std::int64_t Read(void* /*buffer*/, std::int64_t /*count*/) { return 0; }
  // Copies count bytes from source's position (count 0: all of the source,
  // from its start) to this stream's position.
  virtual std::int64_t CopyFromBig(TQsBigStream& /*source*/, std::int64_t /*count*/) { return 0; }
  virtual std::int64_t CopyFrom(platform::TStream& /*source*/, std::int64_t /*count*/) { return 0; }
  // Copies count bytes from this stream's position into destination; a count
  // of 0 or less copies nothing.
  virtual std::int64_t CopyTo(platform::TStream& /*destination*/, std::int64_t /*count*/) {
    return 0;
  }
};

// Open modes of a file stream: access in bits 0-1 (0 read, 1 write, 2 both),
// sharing in bits 4-7 (0/1 none, 2 read, 3 write, 4 both); 0xFFFF creates.
constexpr std::uint16_t fmBigOpenRead = 0x20;
constexpr std::uint16_t fmBigOpenReadWrite = 0x22;
constexpr std::uint16_t fmBigCreate = 0xFFFF;

class TQsBigFileStream : public TQsBigStream {
 public:
  static constexpr std::int64_t VolumeSize = std::int64_t{1} << 30;

  // Opens volumes 0, 1, ... up to the first missing one (read modes), or
  // deletes every volume of the name (create and write-only modes).
  TQsBigFileStream(const std::string& fileName, std::uint16_t mode);
  ~TQsBigFileStream() override;

  std::int64_t GetSize() override;
  std::int64_t GetPosition() override { return FPosition; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t CopyFromBig(TQsBigStream& source, std::int64_t count) override;
  std::int64_t CopyFrom(platform::TStream& source, std::int64_t count) override;
  std::int64_t CopyTo(platform::TStream& destination, std::int64_t count) override;

  // Forces every written volume onto the disk; throws EWriteError. Writing
  // through the cache and flushing once is many times faster than forcing
  // every write, and the installation flushes before it records anything.
  void Flush();

  const std::string& FileName() const { return FFileName; }
  std::uint16_t Mode() const { return FMode; }
  int VolumeCount() const { return static_cast<int>(FVolumes.size()); }
  std::string VolumeName(int index) const { return VolumeNameOf(FFileName, index); }
  static std::string VolumeNameOf(const std::string& fileName, int index);

  std::uint32_t CopyBufferSize() const { return FCopyBufferSize; }

 private:
  platform::THandleStream& VolumeForWrite(int index);
  bool Writes() const;

  std::string FFileName;
  std::uint16_t FMode;
  std::int64_t FPosition = 0;
  std::vector<std::unique_ptr<platform::THandleStream>> FVolumes;
  std::uint32_t FCopyBufferSize = 1048576;
};

class TQsBigMemoryStream : public TQsBigStream {
 public:
  TQsBigMemoryStream() = default;
  explicit TQsBigMemoryStream(std::string bytes) : FMemory(std::move(bytes)) {}

  std::int64_t GetSize() override { return FMemory.Size(); }
  std::int64_t GetPosition() override { return FMemory.Position(); }
  void SetPosition(std::int64_t position) override { FMemory.SetPosition(position); }
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Copies only from another memory stream; any other source gives 0.
  std::int64_t CopyFromBig(TQsBigStream& source, std::int64_t count) override;
  std::int64_t CopyFrom(platform::TStream& source, std::int64_t count) override;
  std::int64_t CopyTo(platform::TStream& destination, std::int64_t count) override;

  void LoadFromFile(const std::string& fileName) { FMemory.LoadFromFile(fileName); }
  platform::TMemoryStream& Memory() { return FMemory; }

 private:
  platform::TMemoryStream FMemory;
};

// A read-only platform stream over bytes that someone else keeps alive (a
// resource inside a loaded module).
class TReadOnlyViewStream : public platform::TStream {
 public:
  explicit TReadOnlyViewStream(std::string_view bytes) : FBytes(bytes) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Always fails with "読み込み専用リソース ストリームには書き込めません".
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FBytes.size()); }
  void SetSize(std::int64_t size) override;

 private:
  std::string_view FBytes;
  std::int64_t FPosition = 0;
};

class TQsBigResourceStream : public TQsBigStream {
 public:
  // The module must outlive the stream. A missing resource throws
  // EResNotFound "%s リソースが見つかりません" with the resource name.
  TQsBigResourceStream(const platform::TModule& module, const std::string& resourceName,
                       const std::string& resourceType);

  std::int64_t GetSize() override { return FResource->Size(); }
  std::int64_t GetPosition() override { return FResource->Position(); }
  void SetPosition(std::int64_t position) override { FResource->SetPosition(position); }
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t CopyFromBig(TQsBigStream& source, std::int64_t count) override;
  std::int64_t CopyFrom(platform::TStream& source, std::int64_t count) override;
  std::int64_t CopyTo(platform::TStream& destination, std::int64_t count) override;

  const std::string& ResourceName() const { return FResourceName; }
  const std::string& ResourceType() const { return FResourceType; }

 private:
  std::unique_ptr<TReadOnlyViewStream> FResource;
  std::string FResourceName;
  std::string FResourceType;
};

// Read buffer in front of a big stream for many small reads. On destruction
// the source is moved back so that it stands directly behind the last byte
// handed out.
class TQsBuffBigStream {
 public:
  static constexpr std::int32_t BufferSize = 102400;

  explicit TQsBuffBigStream(TQsBigStream& source) : FSource(source) {}
  ~TQsBuffBigStream();
  TQsBuffBigStream(const TQsBuffBigStream&) = delete;
  TQsBuffBigStream& operator=(const TQsBuffBigStream&) = delete;

  // Returns fewer bytes than asked only when the source has run dry.
  std::int32_t Read(void* buffer, std::int32_t count);

 private:
  TQsBigStream& FSource;
  platform::TMemoryStream FBuffer;
};

}  // namespace mora::archive
