// Shell links and program groups: the path of a special folder, link files
// written and read back, a folder opened for the user, and the request that
// the shell delete a program group. Windows writes .lnk files through the
// shell's link object and asks Program Manager over DDE; POSIX keeps each link
// as a freedesktop desktop entry below the state's applications folder.
// Paths and texts are code page 932. Failing system calls throw EPlatformError
// (EInvalidPath for a path the platform cannot hold); expected conditions
// answer nullopt / false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mora::platform {

// Special-folder numbers (CSIDL) the program uses.
constexpr int csidlPrograms = 2;

// The folder of a special-folder number, without a trailing "\"; nullopt when
// the system has no such folder. POSIX knows only the Programs folder: the
// applications folder of the state layout, as a drive path.
std::optional<std::string> SpecialFolderPath(int csidl);

// The file name ending of a link: ".lnk" on Windows, ".desktop" on POSIX.
std::string ShellLinkExtension();

// True when a link file may be made at this path: Windows allows at most
// 259 characters (MAX_PATH without its terminator); POSIX allows a name of at
// most 255 bytes and a path within PATH_MAX once converted to UTF-8. False
// also for a path the platform cannot represent at all.
bool ShellLinkPathFits(const std::string& linkPath);

// What a link holds.
struct TShellLinkData {
  std::string Target;     // program or document the link starts
  std::string Arguments;  // command-line text handed to it
  std::string Description;
  std::string WorkDir;           // working folder
  std::uint16_t HotKey = 0;      // key in the low byte; Shift 0x100, Ctrl 0x200, Alt 0x400
  std::int32_t ShowCommand = 1;  // 1 normal, 3 maximized, 6 minimized
  std::string IconFile;
  std::int32_t IconIndex = 0;
};

// The result of SaveShellLink when it did not throw.
enum class TShellLinkSave {
  Saved,
  NoPersistInterface,  // the link object offers no way to save itself
};

// Writes the link file, replacing one that exists; its folder must exist.
// Throws EPlatformError when the link object cannot be created or the file
// cannot be written, EInvalidPath for a path or text the platform cannot hold.
// POSIX writes a desktop entry: Name (the file's name), Comment (the
// description), Exec (a Windows program through wine, anything else through
// xdg-open), Path (the working folder), and X-Mora-* keys that keep every
// field in the program's own form for ReadShellLink.
TShellLinkSave SaveShellLink(const std::string& linkPath, const TShellLinkData& link);

// Reads a link file back; nullopt when there is no file at the path. Throws
// EPlatformError when it cannot be read, EDamagedData (naming the file and
// the field) when its contents are malformed.
std::optional<TShellLinkData> ReadShellLink(const std::string& linkPath);

// Opens the folder in a window of the shell. POSIX hands it to xdg-open when a
// display is there (DISPLAY or WAYLAND_DISPLAY) and does nothing otherwise.
// Answers false when the shell refused.
bool OpenFolderWindow(const std::string& folder);

// Asks the shell to delete the program group named group below the Programs
// folder. Windows sends Program Manager (DDE service and topic "PROGMAN") the
// command [DeleteGroup(group)] without waiting for it to be carried out;
// false when no server answers. POSIX removes the group's folder in the
// applications folder with everything inside it; false when it is still
// there afterwards. The caller checks that group is one plain folder name.
bool DeleteProgramGroupRequest(const std::string& group);

// Shell file operations (copy, move, delete, rename of files and folders).
enum class TShellFileOp { Move = 1, Copy = 2, Delete = 3, Rename = 4 };

// Flag bits of a file operation, as the shell numbers them.
constexpr std::uint16_t fofFlagMultiDestFiles = 0x1;
constexpr std::uint16_t fofFlagConfirmMouse = 0x2;
constexpr std::uint16_t fofFlagSilent = 0x4;
constexpr std::uint16_t fofFlagRenameOnCollision = 0x8;
constexpr std::uint16_t fofFlagNoConfirmation = 0x10;
constexpr std::uint16_t fofFlagAllowUndo = 0x40;
constexpr std::uint16_t fofFlagFilesOnly = 0x80;
constexpr std::uint16_t fofFlagSimpleProgress = 0x100;
constexpr std::uint16_t fofFlagNoConfirmMkdir = 0x200;
constexpr std::uint16_t fofFlagNoErrorUI = 0x400;

struct TShellFileOpResult {
  int Error = 0;         // 0 on success, else the failure code
  bool Aborted = false;  // the user cancelled part of it
};

// Runs one file operation over the names in from (and to). progressTitle is
// shown only with fofFlagSimpleProgress. Windows: SHFileOperationW. POSIX:
// names are taken literally (no wild cards); copy and move take folders
// whole; fofFlagMultiDestFiles pairs each source with its own target, else a
// single target is the folder that receives every source (or, for one
// source, its new name when no such folder exists); fofFlagRenameOnCollision
// copies to "name (2)", ... instead of replacing (a copy onto its own
// source always does); an existing folder takes a copied or moved folder's
// contents in; delete with fofFlagAllowUndo moves into the freedesktop trash.
// fofFlagFilesOnly and the flags for dialogs change nothing there, as names
// are never wild cards and nothing is ever asked. Error is the errno value.
TShellFileOpResult ShellFileOperation(TShellFileOp operation, const std::vector<std::string>& from,
                                      const std::vector<std::string>& to, std::uint16_t flags,
                                      const std::string& progressTitle);

}  // namespace mora::platform
