// Shortcuts and program groups over the platform's shell-link service.
#include "installer/shortcuts.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shelllink.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::installer {

using base::Sjis;

namespace {

// Index just past the last single-byte "\" or ":" (0 when there is none):
// where the file name part of a path starts.
std::size_t FileNameStart(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!base::IsCharStart(path, i)) continue;
    if (base::IsPathDelimiter(path, i) || path[i] == ':') start = i + 1;
  }
  return start;
}

// The file name of a path without its extension (the part from its last ".").
std::string BaseNameWithoutExtension(const std::string& path) {
  std::string name = path.substr(FileNameStart(path));
  // "." never occurs as a trail byte, so a plain search is double-byte safe.
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

// The folder of a path: without its trailing "\", except for a root
// ("C:\", "\") or when another delimiter or a ":" comes right before it.
std::string FolderOf(const std::string& path) {
  std::size_t end = FileNameStart(path);
  if (end > 1 && base::IsPathDelimiter(path, end - 1)) {
    const char before = path[end - 2];
    const bool beforeIsDelimiter =
        base::IsCharStart(path, end - 2) && (before == '\\' || before == ':');
    if (!beforeIsDelimiter) --end;
  }
  return path.substr(0, end);
}

int CsidlOf(TShellLinkType type) { return static_cast<int>(type); }

}  // namespace

std::uint16_t HotKeyWord(std::uint16_t hotKey) {
  unsigned word = hotKey & 0x1FFFu;
  if (hotKey & scShift) word += 0x100;
  if (hotKey & scCtrl) word += 0x200;
  if (hotKey & scAlt) word += 0x400;
  return static_cast<std::uint16_t>(word);
}

std::int32_t ShowCommandOf(TWindowState state) {
  switch (state) {
    case TWindowState::wsMinimized: return 6;
    case TWindowState::wsMaximized: return 3;
    case TWindowState::wsNormal: break;
  }
  return 1;
}

bool IsProgramGroupName(const std::string& title) {
  if (title.empty()) return false;
  bool onlyDotsAndBlanks = true;
  for (std::size_t i = 0; i < title.size(); ++i) {
    const auto c = static_cast<unsigned char>(title[i]);
    if (base::IsLeadByte(c)) {
      if (i + 1 >= title.size()) return false;  // a lead byte without its trail byte
      ++i;
      onlyDotsAndBlanks = false;
      continue;
    }
    if (c < 0x20) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|': return false;
      case '.':
      case ' ': break;
      default: onlyDotsAndBlanks = false;
    }
  }
  // Windows drops trailing dots and blanks from a name, so "..." or " " would
  // name the Programs folder itself.
  return !onlyDotsAndBlanks;
}

// ---- TShellLink ---------------------------------------------------------------

void TShellLink::SetFileName(const std::string& value) {
  if (value != FileName) FileName = value;
  if (Description.empty()) Description = BaseNameWithoutExtension(value);
  if (WorkDir.empty()) WorkDir = FolderOf(value);
}

std::string TShellLink::LinkFolder() const {
  const auto special = platform::SpecialFolderPath(CsidlOf(LinkType));
  if (!special) throw EShellLinkError("Error in GetSpecialFolderLocation");
  std::string folder = settings::AppendPathDelimiter(*special);
  if (!SubDir.empty()) folder = settings::AppendPathDelimiter(folder + SubDir);
  return folder;
}

std::string TShellLink::LinkPath() const {
  return LinkFolder() + Name + platform::ShellLinkExtension();
}

void TShellLink::CreateLink() {
  if (FileName.empty()) SetFileName(platform::ModuleFileName());
  const std::uint16_t hotKeyWord = HotKeyWord(HotKey);
  const std::string folder = LinkFolder();
  const std::string linkPath = folder + Name + platform::ShellLinkExtension();
  // Checked before anything is made, so a refused link leaves no empty group.
  if (!platform::ShellLinkPathFits(linkPath)) {
    throw EShellLinkError("Error in CreateLink: the link path is too long: " + linkPath);
  }
  if (!platform::ForceDirectories(folder)) {
    throw base::EPlatformError(base::FormatS(Sjis("フォルダ %s を作成できません"), folder));
  }
  platform::TShellLinkData link;
  link.Target = FileName;
  link.Arguments = Arguments;
  link.Description = Description;
  link.WorkDir = WorkDir;
  link.HotKey = hotKeyWord;
  link.ShowCommand = ShowCommandOf(WindowState);
  link.IconFile = FileName;
  link.IconIndex = IconIndex;
  if (platform::SaveShellLink(linkPath, link) == platform::TShellLinkSave::NoPersistInterface) {
    throw EShellLinkError("Error in QueryInterface");
  }
}

void TShellLink::OpenFolder() {
  // Whether a window really appeared is the user's to see; nothing depends on it.
  (void)platform::OpenFolderWindow(LinkFolder());
}

// ---- functions ------------------------------------------------------------------

void CreateShortcut(const std::string& name, const std::string& fileName,
                    const std::string& description, std::int32_t iconIndex, std::uint16_t hotKey,
                    TWindowState windowState, const std::string& subDir, TShellLinkType linkType,
                    const std::string& workDir) {
  TShellLink link;
  link.Name = name;
  link.FileName = fileName;
  link.Description = description;
  link.WorkDir = workDir;
  link.LinkType = linkType;
  link.SubDir = subDir;
  link.WindowState = windowState;
  link.HotKey = hotKey;
  link.IconIndex = iconIndex;
  link.CreateLink();
}

void OpenShortcutFolder(TShellLinkType linkType, const std::string& subDir) {
  TShellLink link;
  link.LinkType = linkType;
  link.SubDir = subDir;
  link.OpenFolder();
}

std::string UninstallShortcutName(const std::string& title) {
  return title + Sjis("のアンインストール");
}

std::string ReadmeShortcutName() { return Sjis("お読みください"); }

void CreateShortcuts(const settings::TMoraInstallSet& settings, const std::string& destDir) {
  const std::string& title = settings.Title;
  // The title comes from install.dat: it must not lead the links out of the
  // Programs folder ("..") or scatter them into it ("").
  if (!IsProgramGroupName(title)) {
    throw EShellLinkError("Error in CreateShortcuts: not a valid program group name: \"" + title +
                          "\"");
  }
  const std::string dir = settings::AppendPathDelimiter(destDir);
  const auto programs = TShellLinkType::lnkPrograms;
  for (const TProgramGroupLink& link : ProgramGroupLinks(settings, dir)) {
    CreateShortcut(link.Name, link.Target, link.Name, link.IconIndex, 0, TWindowState::wsNormal,
                   title, programs, dir);
  }
  OpenShortcutFolder(programs, title);
}

std::vector<TProgramGroupLink> ProgramGroupLinks(const settings::TMoraInstallSet& settings,
                                                 const std::string& destDir) {
  const std::string dir = settings::AppendPathDelimiter(destDir);
  std::vector<TProgramGroupLink> links;
  links.push_back({settings.Title, dir + settings.ProgramFile, 0});
  // Icon 1 of the setup program is its second icon group, "Icon2".
  links.push_back({UninstallShortcutName(settings.Title), dir + "install.exe", 1});
  if (!settings.ReadmeFile.empty()) {
    links.push_back({ReadmeShortcutName(), dir + settings.ReadmeFile, 0});
  }
  return links;
}

bool DeleteProgramGroup(const std::string& title) {
  // An empty or dotted title, or one holding a delimiter, would name the
  // Programs folder, a parent of it or another group.
  if (!IsProgramGroupName(title)) return false;
  return platform::DeleteProgramGroupRequest(title);
}

std::vector<TShortcutEntry> ReadProgramGroup(const std::string& title) {
  std::vector<TShortcutEntry> entries;
  if (!IsProgramGroupName(title)) return entries;
  TShellLink group;
  group.LinkType = TShellLinkType::lnkPrograms;
  group.SubDir = title;
  const std::string folder = group.LinkFolder();
  const std::string extension = platform::ShellLinkExtension();
  for (const auto& found : platform::FindFiles(folder)) {
    if (found.Attributes & platform::faDirectory) continue;
    const std::string& name = found.Name;
    if (name.size() <= extension.size() ||
        !base::SameText932(std::string_view(name).substr(name.size() - extension.size()),
                           extension)) {
      continue;
    }
    TShortcutEntry entry;
    entry.Name = name.substr(0, name.size() - extension.size());
    entry.Path = folder + name;
    // A link that vanished since the listing is simply not there any more.
    auto link = platform::ReadShellLink(entry.Path);
    if (!link) continue;
    entry.Link = std::move(*link);
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const TShortcutEntry& a, const TShortcutEntry& b) { return a.Name < b.Name; });
  return entries;
}

// ---- TFileOperation ---------------------------------------------------------

TFileOpFlags::TFileOpFlags(std::initializer_list<TFileOpFlag> flags) {
  for (const TFileOpFlag flag : flags) Include(flag);
}

bool TFileOpFlags::Contains(TFileOpFlag flag) const {
  return (FBits & (1u << static_cast<unsigned>(flag))) != 0;
}

void TFileOpFlags::Include(TFileOpFlag flag) {
  FBits = static_cast<std::uint16_t>(FBits | (1u << static_cast<unsigned>(flag)));
}

void TFileOpFlags::Exclude(TFileOpFlag flag) {
  FBits = static_cast<std::uint16_t>(FBits & ~(1u << static_cast<unsigned>(flag)));
}

std::uint16_t TFileOpFlags::Word() const {
  // By ordinal; fofWantMappingHandle (5) has no bit: the name mappings it
  // would ask for are never requested.
  static constexpr std::array<std::uint16_t, 11> Bits = {
      platform::fofFlagMultiDestFiles, platform::fofFlagConfirmMouse,
      platform::fofFlagSilent,         platform::fofFlagRenameOnCollision,
      platform::fofFlagNoConfirmation, 0,
      platform::fofFlagAllowUndo,      platform::fofFlagFilesOnly,
      platform::fofFlagSimpleProgress, platform::fofFlagNoConfirmMkdir,
      platform::fofFlagNoErrorUI};
  std::uint16_t word = 0;
  for (std::size_t i = 0; i < Bits.size(); ++i) {
    if (FBits & (1u << i)) word = static_cast<std::uint16_t>(word | Bits[i]);
  }
  return word;
}

bool TFileOperation::Execute(TFileOpKind operation, const std::string& source,
                             const std::string& target) {
  const std::vector<std::string> from =
      source.empty() ? FromFiles : std::vector<std::string>{source};
  const std::vector<std::string> to = target.empty() ? ToFiles : std::vector<std::string>{target};
  const std::string title =
      Options.Contains(TFileOpFlag::fofSimpleProgress) ? Title : std::string();
  const auto result = platform::ShellFileOperation(static_cast<platform::TShellFileOp>(operation),
                                                   from, to, Options.Word(), title);
  LastError = result.Error;
  return result.Aborted;
}

TShellServices ProgramGroupServices() {
  TShellServices services;
  services.CreateShortcuts = CreateShortcuts;
  services.DeleteProgramGroup = DeleteProgramGroup;
  return services;
}

}  // namespace mora::installer
