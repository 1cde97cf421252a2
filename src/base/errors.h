// The exception root of the program and the error classes the program raises.
// Every message is a code page 932 byte string, shown as it stands in the
// program's error boxes; what() returns the same bytes.
#pragma once

#include <exception>
#include <string>

namespace mora::base {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

#define MORA_DECLARE_ERROR(Name, Base) \
  class Name : public Base {           \
   public:                             \
    using Base::Base;                  \
  }

// Stream failures: short reads ("ストリームからの読み込みエラー"), short writes,
// files that cannot be opened or created.
MORA_DECLARE_ERROR(EStreamError, Exception);
MORA_DECLARE_ERROR(EReadError, EStreamError);
MORA_DECLARE_ERROR(EWriteError, EStreamError);
MORA_DECLARE_ERROR(EFOpenError, EStreamError);
MORA_DECLARE_ERROR(EFCreateError, EStreamError);
// A resource of the given name and type is missing.
MORA_DECLARE_ERROR(EResNotFound, Exception);
// A value outside its allowed range (a negative count, an index past the end).
MORA_DECLARE_ERROR(ERangeError, Exception);
// Text that cannot be converted, a number that cannot be parsed.
MORA_DECLARE_ERROR(EConvertError, Exception);
// Registry data of the wrong type, a value that cannot be written.
MORA_DECLARE_ERROR(ERegistryException, Exception);
// Damaged zlib data.
MORA_DECLARE_ERROR(EZDecompressionError, Exception);
// Outside data (settings, archives, pictures, resources) that fails a length
// or count check; the message names the file or entry and the offset.
MORA_DECLARE_ERROR(EDamagedData, Exception);
// A system call failed; the message names what was attempted.
MORA_DECLARE_ERROR(EPlatformError, Exception);
// A path that the platform cannot represent (too long, not convertible).
MORA_DECLARE_ERROR(EInvalidPath, EPlatformError);

#undef MORA_DECLARE_ERROR

}  // namespace mora::base
