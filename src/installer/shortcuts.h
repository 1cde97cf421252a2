// Shortcuts and program groups: TShellLink writes one link into a special
// folder, CreateShortcut and OpenShortcutFolder wrap it for one call,
// CreateShortcuts makes a title's program group after an installation and
// DeleteProgramGroup asks the shell to remove it again; TFileOperation runs
// one shell file operation. Texts are code page 932. TShellLink throws
// EShellLinkError, and the platform's errors (EPlatformError) pass through.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/errors.h"
#include "installer/engine.h"
#include "platform/shelllink.h"

namespace mora::settings {
class TMoraInstallSet;
}

namespace mora::installer {

class EShellLinkError : public base::Exception {
 public:
  using Exception::Exception;
};

// The special folder a link is made in; the ordinal is the shell's
// special-folder number (CSIDL).
enum class TShellLinkType : std::uint8_t {
  lnkDesktop,
  lnkReserved1,
  lnkPrograms,
  lnkControls,
  lnkPrinters,
  lnkPersonal,
  lnkFavorites,
  lnkStartup,
  lnkRecent,
  lnkSendTo,
  lnkBitBucket,
  lnkStartMenu,
  lnkReserved2,
  lnkReserved3,
  lnkReserved4,
  lnkReserved5,
  lnkDesktopDirectory,
  lnkDrives,
  lnkNetwork,
  lnkNetHood,
  lnkFonts,
  lnkTemplates,
  lnkCommonStartMenu,
  lnkCommonPrograms,
  lnkCommonStartup,
  lnkCommonDesktopDirectory,
  lnkAppData,
  lnkPrintHood,
};

// Show state of the program a link starts.
enum class TWindowState : std::uint8_t { wsNormal, wsMinimized, wsMaximized };

// The modifier bits of a HotKey (the key itself is the low byte).
constexpr std::uint16_t scShift = 0x2000;
constexpr std::uint16_t scCtrl = 0x4000;
constexpr std::uint16_t scAlt = 0x8000;

// The shell's hot-key word of a HotKey: its low 13 bits plus 0x100 for Shift,
// 0x200 for Ctrl and 0x400 for Alt (Ctrl+Alt+F, 0xC046, gives 0x0646).
std::uint16_t HotKeyWord(std::uint16_t hotKey);

// The show command stored in a link: 1 normal, 6 minimized, 3 maximized.
std::int32_t ShowCommandOf(TWindowState state);

// True when title can name a program group: one folder name below the
// Programs folder, so that making or deleting the group never reaches beyond
// it. Refused: empty, only dots and blanks (".", "..", "..."), or holding a
// "\" or "/" (double-byte aware), a control character or one of : * ? " < > |.
bool IsProgramGroupName(const std::string& title);

class TShellLink {
 public:
  std::string Arguments;    // command-line arguments stored in the link
  std::string Description;  // the link's tool tip
  // The target. Assigning it directly stores the target alone; SetFileName
  // also fills in Description and WorkDir when they are empty.
  std::string FileName;
  std::uint16_t HotKey = 0;    // key in the low byte, scShift, scCtrl, scAlt
  std::int32_t IconIndex = 0;  // icon number inside FileName
  TShellLinkType LinkType = TShellLinkType::lnkDesktop;
  TWindowState WindowState = TWindowState::wsNormal;
  std::string WorkDir;
  std::string SubDir;  // folder below the special folder ("" for none)
  std::string Name;    // file name of the link without its extension

  // Stores value as FileName (when it differs); then an empty Description
  // becomes the file name of value without its extension and an empty
  // WorkDir the folder of value (no trailing "\" except for a drive root):
  // C:\Game\play.exe gives "play" and C:\Game, C:\play.exe gives C:\.
  void SetFileName(const std::string& value);

  // The folder the link goes into, with a trailing "\": the special folder,
  // then SubDir. Throws EShellLinkError "Error in GetSpecialFolderLocation"
  // when the system has no such folder.
  std::string LinkFolder() const;
  // LinkFolder() + Name + the platform's link extension (".lnk" on Windows).
  std::string LinkPath() const;

  // Writes the link file (an empty FileName takes the running program), after
  // creating its folder with all missing parents. Throws EShellLinkError:
  // "Error in GetSpecialFolderLocation", "Error in QueryInterface", or
  // "Error in CreateLink: the link path is too long: <path>" when the path
  // exceeds what the platform allows (nothing is created then); the
  // platform's errors when the link object or the file cannot be made.
  void CreateLink();
  // Opens the link folder (special folder + SubDir) in a shell window.
  // Throws EShellLinkError "Error in GetSpecialFolderLocation".
  void OpenFolder();
};

// Makes one link with a TShellLink that lives only for this call. FileName
// is assigned directly (Description and WorkDir are not derived from it).
void CreateShortcut(const std::string& name, const std::string& fileName,
                    const std::string& description, std::int32_t iconIndex, std::uint16_t hotKey,
                    TWindowState windowState, const std::string& subDir, TShellLinkType linkType,
                    const std::string& workDir);

// Opens special folder + subDir in a shell window.
void OpenShortcutFolder(TShellLinkType linkType, const std::string& subDir);

// Name of the uninstall shortcut of a title: Title + "のアンインストール".
std::string UninstallShortcutName(const std::string& title);
// Name of the read-me shortcut: "お読みください".
std::string ReadmeShortcutName();

// One link of a title's program group, as CreateShortcuts makes it (the
// description is the name, the working folder the installation folder, the
// window normal, no hot key).
struct TProgramGroupLink {
  std::string Name;
  std::string Target;
  std::int32_t IconIndex = 0;
};

// The links CreateShortcuts makes for an installation in destDir, in the
// order it makes them: the program, the uninstaller ("install.exe" there,
// its second icon) and, when ReadmeFile is set, the read-me.
std::vector<TProgramGroupLink> ProgramGroupLinks(const settings::TMoraInstallSet& settings,
                                                 const std::string& destDir);

// Makes the program group <Title> below the Programs folder with the program's link, the
// uninstaller's link and (when ReadmeFile is set) the read-me's link, then opens the group
// folder for the user. Throws EShellLinkError (or the platform's error) on failure; a Title
// that IsProgramGroupName refuses fails before anything is made.
void CreateShortcuts(const settings::TMoraInstallSet& settings, const std::string& destDir);

// Deletes the program group named title; false when the request could not be made (the
// caller shows "ショートカットの削除に失敗しました"). A title that IsProgramGroupName
// refuses is never sent and answers false.
bool DeleteProgramGroup(const std::string& title);

// The two functions above as the engine's shell services: what the setup
// program and mora install hand to TMoraInstallEngine.
TShellServices ProgramGroupServices();

// One link of a program group as it is stored.
struct TShortcutEntry {
  std::string Name;  // file name without the link extension
  std::string Path;  // the link file
  platform::TShellLinkData Link;
};

// The links in the program group of title, by name; empty when there is no
// such group (or title cannot name one). Other files in the folder are
// passed over. A link that cannot be read throws (EDamagedData naming it),
// a system without a Programs folder EShellLinkError.
std::vector<TShortcutEntry> ReadProgramGroup(const std::string& title);

// Flags of a file operation.
enum class TFileOpFlag : std::uint8_t {
  fofMultiDestFiles,
  fofConfirmMouse,
  fofSilent,
  fofRenameOnCollision,
  fofNoConfirmation,
  fofWantMappingHandle,
  fofAllowUndo,
  fofFilesOnly,
  fofSimpleProgress,
  fofNoConfirmMkdir,
  fofNoErrorUI,
};

// A set of TFileOpFlag.
class TFileOpFlags {
 public:
  TFileOpFlags() = default;
  TFileOpFlags(std::initializer_list<TFileOpFlag> flags);
  bool Contains(TFileOpFlag flag) const;
  void Include(TFileOpFlag flag);
  void Exclude(TFileOpFlag flag);
  // The shell's flag word: fofMultiDestFiles 0x1, fofConfirmMouse 0x2,
  // fofSilent 0x4, fofRenameOnCollision 0x8, fofNoConfirmation 0x10,
  // fofAllowUndo 0x40, fofFilesOnly 0x80, fofSimpleProgress 0x100,
  // fofNoConfirmMkdir 0x200, fofNoErrorUI 0x400; fofWantMappingHandle adds
  // nothing.
  std::uint16_t Word() const;
  friend bool operator==(const TFileOpFlags&, const TFileOpFlags&) = default;

 private:
  std::uint16_t FBits = 0;  // bit n = flag with ordinal n
};

// The operation codes of TFileOperation::Execute.
enum class TFileOpKind : std::uint8_t { foMove = 1, foCopy = 2, foDelete = 3, foRename = 4 };

class TFileOperation {
 public:
  std::vector<std::string> FromFiles;  // source names
  std::vector<std::string> ToFiles;    // target names
  TFileOpFlags Options{TFileOpFlag::fofAllowUndo, TFileOpFlag::fofFilesOnly};
  std::string Title;  // progress title, used only with fofSimpleProgress
  // The failure code of the last Execute (0: it succeeded).
  int LastError = 0;

  // Runs the operation once through the shell and answers whether the user
  // aborted it. A non-empty source (target) names the one source (target)
  // in place of FromFiles (ToFiles).
  bool Execute(TFileOpKind operation, const std::string& source = {},
               const std::string& target = {});
};

}  // namespace mora::installer
