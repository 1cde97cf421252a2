// Shell links and program groups on Windows: special folders through
// SHGetSpecialFolderLocation, .lnk files through the shell link object
// (IShellLinkW + IPersistFile), program groups deleted by Program Manager's
// DDE service, file operations through SHFileOperationW.
#include "platform/shelllink.h"

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/shell.h"
#include "platform/win32/winapi.h"

// After winapi.h, so its macro clean-up stays in force.
#include <ddeml.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

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
  TDdeString(DWORD instance, HSZ handle) : FInstance(instance), FHandle(handle) {}
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

// The text in the system's ANSI code page; nullopt when a character has no
// exact form there.
std::optional<std::string> AnsiForm(const std::wstring& text) {
  BOOL lossy = FALSE;
  const int size =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string result(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        result.data(), size, nullptr, &lossy);
  return result;
}

// One conversation with Program Manager's service: connect, execute the
// command (with its terminating zero) without waiting for the result,
// disconnect. False when no server answers.
bool SendProgmanCommand(const void* command, std::size_t bytes, bool unicode) {
  TDdeInstance instance;
  const DWORD flags = APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS;
  const UINT started = unicode ? ::DdeInitializeW(instance.Receive(), DdeClientCallback, flags, 0)
                               : ::DdeInitializeA(instance.Receive(), DdeClientCallback, flags, 0);
  if (started != DMLERR_NO_ERROR) return false;
  const TDdeString service(
      instance.Get(), unicode ? ::DdeCreateStringHandleW(instance.Get(), L"PROGMAN", CP_WINUNICODE)
                              : ::DdeCreateStringHandleA(instance.Get(), "PROGMAN", CP_WINANSI));
  if (!service.Get()) return false;
  const TDdeConversation conversation(
      ::DdeConnect(instance.Get(), service.Get(), service.Get(), nullptr));
  if (!conversation.Get()) return false;
  DWORD transaction = 0;
  (void)::DdeClientTransaction(static_cast<LPBYTE>(const_cast<void*>(command)),
                               static_cast<DWORD>(bytes), conversation.Get(), nullptr, 0,
                               XTYP_EXECUTE, TIMEOUT_ASYNC, &transaction);
  return true;
}

// The show command as the link file's header holds it. Some shells load
// every other field but answer the normal show state whatever the file says,
// so it is read from the file itself: the header is 0x4C bytes, starting
// with its size and the link class, and holds the show command at 0x3C.
std::int32_t HeaderShowCommand(const std::wstring& path, const std::string& linkPath) {
  constexpr std::size_t HeaderSize = 0x4C;
  static const unsigned char LinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  win32::TUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw base::EPlatformError(FormatS(Sjis("ファイル %s は開けません"), linkPath));
  unsigned char header[HeaderSize] = {};
  DWORD read = 0;
  if (!::ReadFile(file.Get(), header, HeaderSize, &read, nullptr)) {
    throw base::EPlatformError(FormatS(Sjis("ファイル %s は開けません"), linkPath));
  }
  base::TLittleEndianReader reader(header, read, linkPath);
  if (reader.ReadUInt32("HeaderSize") != HeaderSize) reader.Fail("HeaderSize", "is not 0x4C");
  const std::string_view linkClass(reinterpret_cast<const char*>(LinkClass), sizeof LinkClass);
  if (reader.ReadView(sizeof LinkClass, "LinkCLSID") != linkClass) {
    reader.Fail("LinkCLSID", "is not the shell link class");
  }
  reader.Seek(0x3C, "ShowCommand");
  return reader.ReadInt32("ShowCommand");
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
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, shellLink.Receive());
  if (FAILED(result)) Fail(Sjis("シェルリンクオブジェクトを作成できません"), result);
  win32::TComPtr<IPersistFile> persistFile;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, persistFile.Receive()))) {
    return TShellLinkSave::NoPersistInterface;
  }
  const std::string cannotSet = FormatS(Sjis("ショートカット %s の設定に失敗しました: "), linkPath);
  if (FAILED(result = shellLink->SetDescription(description.c_str())))
    Fail(cannotSet + "Description", result);
  if (FAILED(result = shellLink->SetPath(target.c_str()))) Fail(cannotSet + "Path", result);
  if (FAILED(result = shellLink->SetWorkingDirectory(workDir.c_str())))
    Fail(cannotSet + "WorkingDirectory", result);
  if (FAILED(result = shellLink->SetArguments(arguments.c_str())))
    Fail(cannotSet + "Arguments", result);
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
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, shellLink.Receive());
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
  link.Target =
      LinkText([&](wchar_t* buffer,
                   int size) { return shellLink->GetPath(buffer, size, nullptr, SLGP_RAWPATH); },
               linkPath, "Path");
  // A "?" never stands in a path: the shell gave the path as the system's
  // ANSI code page spells it (Wine keeps only that form of the link's
  // location), so the link's item list, which keeps every name whole, says
  // where it leads.
  if (link.Target.find('?') != std::string::npos) {
    TItemIdList list;
    wchar_t whole[MAX_PATH + 1] = {};
    if (SUCCEEDED(shellLink->GetIDList(list.Receive())) && list.Get() &&
        ::SHGetPathFromIDListW(list.Get(), whole) && whole[0] != L'\0') {
      link.Target = win32::PathFromWide(whole);
    }
  }
  link.Arguments =
      LinkText([&](wchar_t* buffer, int size) { return shellLink->GetArguments(buffer, size); },
               linkPath, "Arguments");
  link.Description =
      LinkText([&](wchar_t* buffer, int size) { return shellLink->GetDescription(buffer, size); },
               linkPath, "Description");
  link.WorkDir = LinkText(
      [&](wchar_t* buffer, int size) { return shellLink->GetWorkingDirectory(buffer, size); },
      linkPath, "WorkingDirectory");
  int iconIndex = 0;
  link.IconFile =
      LinkText([&](wchar_t* buffer,
                   int size) { return shellLink->GetIconLocation(buffer, size, &iconIndex); },
               linkPath, "IconLocation");
  link.IconIndex = iconIndex;
  WORD hotKey = 0;
  if (FAILED(result = shellLink->GetHotkey(&hotKey))) Fail(linkPath + ": Hotkey", result);
  link.HotKey = hotKey;
  link.ShowCommand = HeaderShowCommand(path, linkPath);
  return link;
}

bool OpenFolderWindow(const std::string& folder) {
  // Without its trailing "\": a shell that starts a file manager with the
  // folder on a command line would read "\"" as an escaped quote.
  std::string path = folder;
  if (path.size() > 3 && base::EndsWithPathDelimiter(path)) path.pop_back();
  return ShellExecuteOpen(path, "", path) > 32;
}

bool DeleteProgramGroupRequest(const std::string& group) {
  const auto wideGroup = win32::TryToWide(group);
  if (!wideGroup) return false;
  const std::wstring command = DeleteGroupCommand(*wideGroup);
  // A server may take a Unicode command whose characters lie beyond U+00FF
  // for ANSI text (Wine's does), so the command goes as ANSI text whenever
  // the system's code page can spell it, as programs have always sent it;
  // only a name it cannot spell goes as Unicode.
  if (const auto ansi = AnsiForm(command))
    return SendProgmanCommand(ansi->c_str(), ansi->size() + 1, false);
  return SendProgmanCommand(command.c_str(), (command.size() + 1) * sizeof(wchar_t), true);
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
