// Shell links and program groups on Windows: special folders through
// SHGetSpecialFolderLocation, .lnk files through the shell link object
// (IShellLinkW + IPersistFile), program groups deleted by Program Manager's
// DDE service, file operations through SHFileOperationW.
#include "platform/shelllink.h"

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/shell.h"
#include "platform/win32/winapi.h"

// After winapi.h, so its macro clean-up stays in force.
#include <ddeml.h>
#include <shlobj.h>

#include <cstdio>

namespace mora::platform {

using base::FormatS;
using base::Sjis;

namespace {

// MAX_PATH without the terminating zero.
constexpr std::size_t MaxLinkPathChars = MAX_PATH - 1;
// Room for a path or text read back from a link.
constexpr int LinkTextChars = 32768;

std::string HResultText(HRESULT result) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(result));
  return buffer;
}

[[noreturn]] void Fail(const std::string& what, HRESULT result) {
  throw base::EPlatformError(what + " (" + HResultText(result) + ")");
}

class TItemIdList {
 public:
  TItemIdList() = default;
  ~TItemIdList() {
    if (FList) ::CoTaskMemFree(FList);
  }
  TItemIdList(const TItemIdList&) = delete;
  TItemIdList& operator=(const TItemIdList&) = delete;
  LPITEMIDLIST* Receive() { return &FList; }
  LPCITEMIDLIST Get() const { return FList; }

 private:
  LPITEMIDLIST FList = nullptr;
};

// DDEML owners: the instance, a string handle of it and a conversation.
class TDdeInstance {
 public:
  TDdeInstance() = default;
  ~TDdeInstance() {
    if (FId) ::DdeUninitialize(FId);
  }
  TDdeInstance(const TDdeInstance&) = delete;
  TDdeInstance& operator=(const TDdeInstance&) = delete;
  DWORD* Receive() { return &FId; }
  DWORD Get() const { return FId; }

 private:
  DWORD FId = 0;
};

class TDdeString {
 public:
  TDdeString(DWORD instance, const wchar_t* text)
      : FInstance(instance), FHandle(::DdeCreateStringHandleW(instance, text, CP_WINUNICODE)) {}
  ~TDdeString() {
    if (FHandle) ::DdeFreeStringHandle(FInstance, FHandle);
  }
  TDdeString(const TDdeString&) = delete;
  TDdeString& operator=(const TDdeString&) = delete;
  HSZ Get() const { return FHandle; }

 private:
  DWORD FInstance;
  HSZ FHandle;
};

class TDdeConversation {
 public:
  explicit TDdeConversation(HCONV conversation) : FConversation(conversation) {}
  ~TDdeConversation() {
    if (FConversation) ::DdeDisconnect(FConversation);
  }
  TDdeConversation(const TDdeConversation&) = delete;
  TDdeConversation& operator=(const TDdeConversation&) = delete;
  HCONV Get() const { return FConversation; }

 private:
  HCONV FConversation;
};

// A client that only sends: the callback is never asked anything it must answer.
HDDEDATA CALLBACK DdeClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

// Program Manager's command syntax separates parameters with "," and ends
// them with ")"; a group name holding such characters goes in quotes.
std::wstring DeleteGroupCommand(const std::wstring& group) {
  const bool needsQuotes = group.find_first_of(L"(),[]") != std::wstring::npos;
  return L"[DeleteGroup(" + (needsQuotes ? L"\"" + group + L"\"" : group) + L")]";
}

// A shell's list of names: each ends in a zero, the list in one more.
std::wstring NameList(const std::vector<std::string>& names) {
  std::wstring list;
  for (const auto& name : names) {
    list += win32::ToWide(name);
    list += L'\0';
  }
  list += L'\0';
  return list;
}

template <typename TGetter>
std::string LinkText(TGetter get, const std::string& linkPath, const char* what) {
  std::wstring buffer(LinkTextChars, L'\0');
  const HRESULT result = get(buffer.data(), static_cast<int>(buffer.size()));
  if (FAILED(result)) Fail(linkPath + ": " + what, result);
  buffer.resize(std::wcslen(buffer.c_str()));
  return win32::PathFromWide(buffer);
}

}  // namespace

std::optional<std::string> SpecialFolderPath(int csidl) {
  TItemIdList list;
  if (::SHGetSpecialFolderLocation(nullptr, csidl, list.Receive()) != S_OK || !list.Get()) {
    return std::nullopt;
  }
  wchar_t path[MAX_PATH + 1] = {};
  // Virtual folders (printers, the control panel) have no path.
  if (!::SHGetPathFromIDListW(list.Get(), path) || path[0] == L'\0') return std::nullopt;
  std::wstring folder = path;
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return win32::PathFromWide(folder);
}

std::string ShellLinkExtension() { return ".lnk"; }

bool ShellLinkPathFits(const std::string& linkPath) {
  const auto wide = win32::TryToWide(linkPath);
  return wide && wide->size() <= MaxLinkPathChars;
}

TShellLinkSave SaveShellLink(const std::string& linkPath, const TShellLinkData& link) {
  const std::wstring path = win32::ToWide(linkPath);
  if (path.size() > MaxLinkPathChars) {
    throw base::EInvalidPath(FormatS(Sjis("パス %s が長すぎます"), linkPath));
  }
  const std::wstring target = win32::ToWide(link.Target);
  const std::wstring arguments = win32::ToWide(link.Arguments);
  const std::wstring description = win32::ToWide(link.Description);
  const std::wstring workDir = win32::ToWide(link.WorkDir);
  const std::wstring iconFile = win32::ToWide(link.IconFile);

  win32::TComScope com;
  win32::TComPtr<IShellLinkW> shellLink;
  HRESULT result =
      ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.Receive());
  if (FAILED(result)) Fail(Sjis("シェルリンクオブジェクトを作成できません"), result);
  win32::TComPtr<IPersistFile> persistFile;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, persistFile.Receive()))) {
    return TShellLinkSave::NoPersistInterface;
  }
  const std::string cannotSet = FormatS(Sjis("ショートカット %s の設定に失敗しました: "), linkPath);
  if (FAILED(result = shellLink->SetDescription(description.c_str()))) Fail(cannotSet + "Description", result);
  if (FAILED(result = shellLink->SetPath(target.c_str()))) Fail(cannotSet + "Path", result);
  if (FAILED(result = shellLink->SetWorkingDirectory(workDir.c_str()))) Fail(cannotSet + "WorkingDirectory", result);
  if (FAILED(result = shellLink->SetArguments(arguments.c_str()))) Fail(cannotSet + "Arguments", result);
  if (FAILED(result = shellLink->SetHotkey(link.HotKey))) Fail(cannotSet + "Hotkey", result);
  if (FAILED(result = shellLink->SetShowCmd(link.ShowCommand))) Fail(cannotSet + "ShowCmd", result);
  if (FAILED(result = shellLink->SetIconLocation(iconFile.c_str(), link.IconIndex))) {
    Fail(cannotSet + "IconLocation", result);
  }
  if (FAILED(result = persistFile->Save(path.c_str(), TRUE))) {
    Fail(FormatS(Sjis("ショートカット %s を作成できません"), linkPath), result);
  }
  return TShellLinkSave::Saved;
}

std::optional<TShellLinkData> ReadShellLink(const std::string& linkPath) {
  const std::wstring path = win32::ToWide(linkPath);
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw base::EDamagedData(linkPath + ": not a file");

  win32::TComScope com;
  win32::TComPtr<IShellLinkW> shellLink;
  HRESULT result =
      ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.Receive());
  if (FAILED(result)) Fail(Sjis("シェルリンクオブジェクトを作成できません"), result);
  win32::TComPtr<IPersistFile> persistFile;
  if (FAILED(result = shellLink->QueryInterface(IID_IPersistFile, persistFile.Receive()))) {
    Fail(linkPath + ": QueryInterface", result);
  }
  if (FAILED(result = persistFile->Load(path.c_str(), STGM_READ))) {
    throw base::EDamagedData(linkPath + ": not a shell link (" + HResultText(result) + ")");
  }

  TShellLinkData link;
  // The raw path: environment variables in it stay as they were stored.
  link.Target = LinkText(
      [&](wchar_t* buffer, int size) { return shellLink->GetPath(buffer, size, nullptr, SLGP_RAWPATH); }, linkPath,
      "Path");
  link.Arguments = LinkText([&](wchar_t* buffer, int size) { return shellLink->GetArguments(buffer, size); },
                            linkPath, "Arguments");
  link.Description = LinkText([&](wchar_t* buffer, int size) { return shellLink->GetDescription(buffer, size); },
                              linkPath, "Description");
  link.WorkDir = LinkText(
      [&](wchar_t* buffer, int size) { return shellLink->GetWorkingDirectory(buffer, size); }, linkPath,
      "WorkingDirectory");
  int iconIndex = 0;
  link.IconFile = LinkText(
      [&](wchar_t* buffer, int size) { return shellLink->GetIconLocation(buffer, size, &iconIndex); }, linkPath,
      "IconLocation");
  link.IconIndex = iconIndex;
  WORD hotKey = 0;
  if (FAILED(result = shellLink->GetHotkey(&hotKey))) Fail(linkPath + ": Hotkey", result);
  link.HotKey = hotKey;
  int showCommand = 0;
  if (FAILED(result = shellLink->GetShowCmd(&showCommand))) Fail(linkPath + ": ShowCmd", result);
  link.ShowCommand = showCommand;
  return link;
}

bool OpenFolderWindow(const std::string& folder) { return ShellExecuteOpen(folder, "", folder) > 32; }

bool DeleteProgramGroupRequest(const std::string& group) {
  const auto wideGroup = win32::TryToWide(group);
  if (!wideGroup) return false;
  TDdeInstance instance;
  if (::DdeInitializeW(instance.Receive(), DdeClientCallback, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0) !=
      DMLERR_NO_ERROR) {
    return false;
  }
  const TDdeString service(instance.Get(), L"PROGMAN");
  if (!service.Get()) return false;
  const TDdeConversation conversation(::DdeConnect(instance.Get(), service.Get(), service.Get(), nullptr));
  if (!conversation.Get()) return false;
  // Sent with its terminating zero; the result is not waited for.
  std::wstring command = DeleteGroupCommand(*wideGroup);
  DWORD transaction = 0;
  (void)::DdeClientTransaction(reinterpret_cast<LPBYTE>(command.data()),
                               static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)), conversation.Get(),
                               nullptr, 0, XTYP_EXECUTE, TIMEOUT_ASYNC, &transaction);
  return true;
}

TShellFileOpResult ShellFileOperation(TShellFileOp operation, const std::vector<std::string>& from,
                                      const std::vector<std::string>& to, std::uint16_t flags,
                                      const std::string& progressTitle) {
  const std::wstring fromList = NameList(from);
  const std::wstring toList = NameList(to);
  const std::wstring title = win32::ToWide(progressTitle);
  SHFILEOPSTRUCTW request{};
  request.hwnd = nullptr;
  request.wFunc = static_cast<UINT>(operation);
  request.pFrom = fromList.c_str();
  request.pTo = to.empty() ? nullptr : toList.c_str();
  request.fFlags = flags;
  request.fAnyOperationsAborted = FALSE;
  request.hNameMappings = nullptr;
  request.lpszProgressTitle = (flags & fofFlagSimpleProgress) ? title.c_str() : nullptr;
  win32::TComScope com;
  TShellFileOpResult result;
  result.Error = ::SHFileOperationW(&request);
  result.Aborted = request.fAnyOperationsAborted != FALSE;
  return result;
}

}  // namespace mora::platform
