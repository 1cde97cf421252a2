// Helpers shared by the archive tests: a fresh temporary folder per test
// (under the platform's temp folder, with MORA_HOME pointing at a fresh
// folder on POSIX) and small byte helpers.
#pragma once

#include <cstdint>
#include <string>

namespace mora::archive::test {

class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // The folder, ending in "\".
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + name; }

 private:
  std::string FPath;
};

// Creates (or replaces) a file holding bytes.
void WriteFile(const std::string& path, const std::string& bytes);
// Creates a file of the given size whose bytes are zero (sparse where the
// file system allows), then writes tail at its end.
void WriteSparseFile(const std::string& path, std::int64_t size, const std::string& tail = {});
std::string ReadFile(const std::string& path);

std::string Int32Bytes(std::int32_t value);
std::string Int64Bytes(std::int64_t value);

}  // namespace mora::archive::test
