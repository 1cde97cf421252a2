#include "test_support.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "base/binary.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "platform/folders.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace mora::archive::test {

namespace {

void PrepareEnvironment() {
#ifndef _WIN32
  static const bool done = [] {
    char pattern[] = "/tmp/mora-archive-home-XXXXXX";
    const char* home = mkdtemp(pattern);
    if (home != nullptr) setenv("MORA_HOME", home, 1);
    return true;
  }();
  (void)done;
#endif
}

void RemoveTree(const std::string& folder) {
  for (const auto& found : platform::FindFiles(folder)) {
    const std::string path = folder + found.Name;
    // A link is removed itself; what it points to is not the test's.
    if ((found.Attributes & platform::faDirectory) != 0 &&
        (found.Attributes & platform::faReparsePoint) == 0) {
      RemoveTree(path + "\\");
    } else {
      platform::SetFileAttributes(path, platform::faNormal);
      platform::DeleteFile(path);
    }
  }
  platform::RemoveDirectory(folder);
}

std::atomic<int> Serial{0};

}  // namespace

TTempFolder::TTempFolder() {
  PrepareEnvironment();
  std::string base = platform::TempFolder();
  int process = 0;
#ifndef _WIN32
  process = static_cast<int>(getpid());
#endif
  for (int attempt = 0;; ++attempt) {
    FPath = base + "mora-archive-test-" + std::to_string(process) + "-" + std::to_string(Serial++) +
            "\\";
    if (!platform::DirectoryExists(FPath)) break;
  }
  platform::ForceDirectories(FPath);
}

TTempFolder::~TTempFolder() { RemoveTree(FPath); }

void WriteFile(const std::string& path, const std::string& bytes) {
  platform::TFileOpenOptions options;
  options.Access = platform::TFileAccess::ReadWrite;
  options.Share = platform::TFileShare::None;
  options.Creation = platform::TFileCreation::CreateAlways;
  auto handle = platform::TFileHandle::Open(path, options);
  if (!bytes.empty()) handle.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void WriteSparseFile(const std::string& path, std::int64_t size, const std::string& tail) {
  platform::TFileOpenOptions options;
  options.Access = platform::TFileAccess::ReadWrite;
  options.Share = platform::TFileShare::None;
  options.Creation = platform::TFileCreation::CreateAlways;
  auto handle = platform::TFileHandle::Open(path, options);
  handle.SetSize(size);
  if (!tail.empty()) {
    handle.Seek(size - static_cast<std::int64_t>(tail.size()), platform::TSeekOrigin::Begin);
    handle.Write(tail.data(), static_cast<std::int64_t>(tail.size()));
  }
}

std::string ReadFile(const std::string& path) { return platform::ReadFileBytes(path); }

std::string Int32Bytes(std::int32_t value) {
  std::string bytes;
  base::TLittleEndianWriter(bytes).WriteInt32(value);
  return bytes;
}

std::string Int64Bytes(std::int64_t value) {
  std::string bytes;
  base::TLittleEndianWriter(bytes).WriteInt64(value);
  return bytes;
}

}  // namespace mora::archive::test
