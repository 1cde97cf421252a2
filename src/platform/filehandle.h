// Operating-system file handles with explicit access, sharing, creation and
// write-through, as the 64-bit volume streams need them. Sharing is enforced
// on Windows by the system and on POSIX with fcntl (OFD) record locks that
// mark what each handle does and denies, checked as the system checks them.
// Open throws EFOpenError / EFCreateError naming the file; I/O failures throw
// EReadError / EWriteError.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace mora::platform {

enum class TFileAccess { Read, Write, ReadWrite };
enum class TFileShare { None, Read, Write, ReadWrite };
enum class TFileCreation { OpenExisting, CreateAlways, OpenAlways };
enum class TSeekOrigin { Begin, Current, End };

struct TFileOpenOptions {
  TFileAccess Access = TFileAccess::Read;
  TFileShare Share = TFileShare::Read;
  TFileCreation Creation = TFileCreation::OpenExisting;
  bool WriteThrough = false;
};

class TFileHandle {
 public:
  TFileHandle();
  ~TFileHandle();
  TFileHandle(TFileHandle&& other) noexcept;
  TFileHandle& operator=(TFileHandle&& other) noexcept;
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;

  // Throws EFOpenError (OpenExisting) or EFCreateError (the create modes).
  static TFileHandle Open(const std::string& path, const TFileOpenOptions& options);
  // As Open, but answers nullopt instead of throwing.
  static std::optional<TFileHandle> TryOpen(const std::string& path,
                                            const TFileOpenOptions& options);

  bool IsOpen() const;
  const std::string& Path() const;

  // Read returns the bytes read (0 at the end); Write the bytes written.
  std::int64_t Read(void* buffer, std::int64_t count);
  std::int64_t Write(const void* buffer, std::int64_t count);
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
  std::int64_t Size() const;
  void SetSize(std::int64_t size);
  void Flush();  // FlushFileBuffers / fsync
  // Copies up to count bytes from source's position to this handle's
  // position inside the system, without passing them through the program,
  // and moves both positions on. Returns how many bytes were copied: 0 where
  // the system has no such copy for the two files, fewer than count on any
  // trouble. The caller copies the rest itself, so a real fault (a full
  // disk, a short source) shows there with its own message.
  std::int64_t CopyInSystemFrom(TFileHandle& source, std::int64_t count);
  void Close();

  struct TImpl;

 private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace mora::platform
