// Private to the POSIX platform layer: where the layer keeps its state and
// how 932 drive paths map onto host paths (and back). Mapping functions throw
// EInvalidPath for paths that cannot be represented (no 932 <-> UTF-8
// mapping, a UNC path, a name or path longer than the host allows).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mora::platform::posix {

// Host folders of the layer's state, read from the environment on every call
// so that a test can move the whole world by setting MORA_HOME.
struct TStateLayout {
  std::string Prefix;        // drive_c and dosdevices live here
  std::string RegistryFile;  // JSON store of both registry roots
  std::string LockFolder;    // one lock file per named mutex
  std::string PendingFile;   // files to delete after the next restart
  std::string ShortcutRoot;  // program groups and shortcuts
  std::string TrashFolder;   // freedesktop trash (files/ and info/) for undoable deletions
};
TStateLayout StateLayout();

// mkdir -p; false when a level cannot be created.
bool MakeHostFolders(const std::string& hostPath, unsigned mode = 0777);

// A 932 path made absolute ("X:\..." with an upper-case letter), "." and ".."
// resolved, "/" taken as "\"; a trailing "\" is kept. Throws EInvalidPath for
// UNC paths.
std::string FullPath932(std::string_view path);

// The host path of a 932 path (relative ones against the current folder).
std::string HostPath(std::string_view path);
std::optional<std::string> TryHostPath(std::string_view path);

// The 932 drive path of an absolute host path: inside drive_c as C:\...,
// anything else as Z:\...
std::string DrivePathFromHost(std::string_view hostPath);

// UTF-8 text from outside (argv) as 932; characters without a mapping
// become "?", as the system's ANSI conversion does.
std::string Utf8ToCp932Lossy(std::string_view utf8);

// JSON-safe storage of 932 byte strings: valid 932 text goes in as its UTF-8
// form, anything else as "hex:" followed by two hex digits per byte and
// marked by an object {"hex": "..."}; see registry.cpp and system.cpp.
std::string HexEncode(std::string_view bytes);
std::optional<std::string> HexDecode(std::string_view hex);

// Reads a small host file whole; nullopt when it is missing or unreadable.
std::optional<std::string> ReadHostFile(const std::string& hostPath);
// Writes beside the target and renames over it (fsync'ed); false on failure.
bool WriteHostFileAtomic(const std::string& hostPath, std::string_view bytes);

// An open descriptor with an flock held for the object's life.
class THostFileLock {
 public:
  THostFileLock(const std::string& hostPath, bool exclusive);
  ~THostFileLock();
  THostFileLock(const THostFileLock&) = delete;
  THostFileLock& operator=(const THostFileLock&) = delete;
  bool Locked() const { return FFd >= 0; }

 private:
  int FFd = -1;
};

}  // namespace mora::platform::posix

namespace mora::platform::posix {
// The lock file name of a named mutex (mutex.cpp).
std::string EncodeLockName(const std::string& name);
}  // namespace mora::platform::posix
