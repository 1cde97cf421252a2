// automate.exe: drives the real windows of another program from the command
// line or from a script file (Windows console program, run under Wine in the
// same prefix). Windows are found by caption, controls by caption, control id
// (#1001) or backend name (@btnNext). Texts are UTF-16 on the Windows side and
// UTF-8 on the command line, in scripts and in the output.
//
// Exit codes: 0 success (or "true" for is-*), 1 "false" for is-* and
// expect-* mismatches, 2 window or control not found / timeout, 3 usage error,
// 4 the action failed (disabled control, failed message, file not written).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int ExitTrue = 0;
constexpr int ExitFalse = 1;
constexpr int ExitNotFound = 2;
constexpr int ExitUsage = 3;
constexpr int ExitFailed = 4;

// The property under which the win32 backend stores a global atom holding
// the model name of a control ("btnNext"); see src/ui/win32/.
constexpr wchar_t NamePropertyName[] = L"MoraControlName";

class EAutomation : public std::runtime_error {
 public:
  EAutomation(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
  int Code;
};

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

// Raw UTF-8 bytes to the standard output, whatever the console code page.
void Print(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  std::string line = text + "\n";
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void PrintError(const std::string& text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  std::string line = "automate: " + text + "\n";
  WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Text of any window, also of another process's Edit (only WM_GETTEXT
// crosses processes for those). A hung window gives an empty text.
std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
    return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 2000,
                           &copied))
    return {};
  buffer.resize(static_cast<std::size_t>(copied));
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::wstring ControlName(HWND window) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, NamePropertyName)));
  if (atom == 0) return {};
  wchar_t name[256] = {};
  UINT length = GlobalGetAtomNameW(atom, name, 256);
  return std::wstring(name, length);
}

// "&Yes" and "Yes" match alike; "&&" stands for a literal "&".
std::wstring StripMnemonic(const std::wstring& text) {
  std::wstring result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&') {
        result += L'&';
        ++i;
      }
      continue;
    }
    result += text[i];
  }
  return result;
}

struct TOptions {
  DWORD TimeoutMs = 10000;
};

TOptions Options;

// A plain function: lambdas lack the calling convention of 32-bit callbacks.
BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> windows;
  EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// A window spec is a caption (exact, or equal once mnemonics are removed),
// "~part" (caption contains part) or "class:Name".
bool WindowMatches(HWND window, const std::wstring& spec) {
  if (spec.rfind(L"class:", 0) == 0) return ClassOf(window) == spec.substr(6);
  std::wstring text = WindowText(window);
  if (!spec.empty() && spec[0] == L'~') return text.find(spec.substr(1)) != std::wstring::npos;
  return text == spec || StripMnemonic(text) == StripMnemonic(spec);
}

std::optional<HWND> FindTopLevel(const std::wstring& spec) {
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && WindowMatches(window, spec)) return window;
  }
  return std::nullopt;
}

// A control spec is "#id", "@name" (backend name property) or a caption.
bool ControlMatches(HWND control, const std::wstring& spec) {
  if (spec.size() > 1 && spec[0] == L'#') {
    return GetDlgCtrlID(control) == static_cast<int>(std::wcstol(spec.c_str() + 1, nullptr, 10));
  }
  if (spec.size() > 1 && spec[0] == L'@') return ControlName(control) == spec.substr(1);
  return WindowMatches(control, spec);
}

// Several controls may share a caption across hidden pages; a visible one wins.
std::optional<HWND> FindControl(HWND parent, const std::wstring& spec) {
  std::optional<HWND> hidden;
  for (HWND control : ChildWindows(parent)) {
    if (!ControlMatches(control, spec)) continue;
    if (IsWindowVisible(control)) return control;
    if (!hidden) hidden = control;
  }
  return hidden;
}

template <class TFind>
auto WaitFor(TFind find, DWORD timeoutMs) -> decltype(find()) {
  DWORD start = GetTickCount();
  for (;;) {
    auto found = find();
    if (found) return found;
    if (GetTickCount() - start >= timeoutMs) return found;
    Sleep(50);
  }
}

HWND RequireWindow(const std::string& spec) {
  std::wstring wide = FromUtf8(spec);
  auto window = WaitFor([&] { return FindTopLevel(wide); }, Options.TimeoutMs);
  if (!window) throw EAutomation(ExitNotFound, "no window \"" + spec + "\"");
  return *window;
}

HWND RequireControl(const std::string& windowSpec, const std::string& controlSpec) {
  std::wstring wideWindow = FromUtf8(windowSpec);
  std::wstring wideControl = FromUtf8(controlSpec);
  std::optional<HWND> control;
  bool windowSeen = false;
  WaitFor(
      [&]() -> bool {
        auto window = FindTopLevel(wideWindow);
        if (!window) return false;
        windowSeen = true;
        control = FindControl(*window, wideControl);
        return control.has_value();
      },
      Options.TimeoutMs);
  if (!windowSeen) throw EAutomation(ExitNotFound, "no window \"" + windowSpec + "\"");
  if (!control) {
    throw EAutomation(ExitNotFound,
                      "window \"" + windowSpec + "\" has no control \"" + controlSpec + "\"");
  }
  return *control;
}

std::string Hex(HWND window) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  return buffer;
}

std::string RectText(const RECT& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top);
}

std::string CheckState(HWND control) {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
  return state == BST_CHECKED ? "1" : state == BST_INDETERMINATE ? "2" : "0";
}

// One line per control: id, class, name, rect in the parent's client
// coordinates, flags (v visible, e enabled, c checked, d default), caption.
std::string DescribeControl(HWND parent, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  std::wstring cls = ClassOf(control);
  std::string flags;
  flags += IsWindowVisible(control) ? 'v' : '-';
  flags += IsWindowEnabled(control) ? 'e' : '-';
  if (_wcsicmp(cls.c_str(), L"Button") == 0) {
    LONG style = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (style == BS_DEFPUSHBUTTON) flags += 'd';
    if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON && CheckState(control) == "1")
      flags += 'c';
  }
  std::string name = ToUtf8(ControlName(control));
  return std::to_string(GetDlgCtrlID(control)) + "\t" + ToUtf8(cls) + "\t" +
         (name.empty() ? "-" : name) + "\t" + RectText(rect) + "\t" + flags + "\t" +
         ToUtf8(WindowText(control));
}

void PostOrFail(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!PostMessageW(window, message, wParam, lParam)) {
    throw EAutomation(ExitFailed, "PostMessage failed, error " + std::to_string(GetLastError()));
  }
}

// A click as a user makes it: the control must be visible and enabled
// (waits for that up to the timeout). Posted, so a modal dialog opened by
// the click does not block us.
// A window disabled by another one's modal loop takes no clicks either.
void Click(HWND control, const std::string& what) {
  HWND root = GetAncestor(control, GA_ROOT);
  auto usable = [&] {
    return IsWindowVisible(control) && IsWindowEnabled(control) && IsWindowEnabled(root);
  };
  WaitFor(usable, Options.TimeoutMs);
  if (!IsWindowVisible(control)) throw EAutomation(ExitFailed, what + " is hidden");
  if (!IsWindowEnabled(control)) throw EAutomation(ExitFailed, what + " is disabled");
  if (!IsWindowEnabled(root))
    throw EAutomation(ExitFailed, what + " is in a disabled window (a modal window is open)");
  PostOrFail(control, BM_CLICK, 0, 0);
}

// The item index of a list or combo box whose text equals text (or a
// number given as "#n").
int FindListItem(HWND control, bool combo, const std::wstring& text) {
  if (text.size() > 1 && text[0] == L'#')
    return static_cast<int>(std::wcstol(text.c_str() + 1, nullptr, 10));
  UINT countMessage = combo ? CB_GETCOUNT : LB_GETCOUNT;
  UINT lengthMessage = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
  UINT textMessage = combo ? CB_GETLBTEXT : LB_GETTEXT;
  auto count = static_cast<int>(SendMessageW(control, countMessage, 0, 0));
  for (int i = 0; i < count; ++i) {
    auto length = SendMessageW(control, lengthMessage, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(control, textMessage, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length));
    if (item == text || _wcsicmp(item.c_str(), text.c_str()) == 0) return i;
  }
  return -1;
}

std::vector<std::string> ListItems(HWND control, bool combo) {
  std::vector<std::string> items;
  UINT countMessage = combo ? CB_GETCOUNT : LB_GETCOUNT;
  UINT lengthMessage = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
  UINT textMessage = combo ? CB_GETLBTEXT : LB_GETTEXT;
  UINT selMessage = combo ? CB_GETCURSEL : LB_GETCURSEL;
  auto count = static_cast<int>(SendMessageW(control, countMessage, 0, 0));
  auto selected = static_cast<int>(SendMessageW(control, selMessage, 0, 0));
  for (int i = 0; i < count; ++i) {
    auto length = SendMessageW(control, lengthMessage, static_cast<WPARAM>(i), 0);
    std::wstring item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(control, textMessage, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    items.push_back((i == selected ? "* " : "  ") + ToUtf8(item));
  }
  return items;
}

bool IsCombo(HWND control) { return _wcsicmp(ClassOf(control).c_str(), L"ComboBox") == 0; }
bool IsList(HWND control) { return _wcsicmp(ClassOf(control).c_str(), L"ListBox") == 0; }

// Selects an item of a list or combo box and tells the owner as a user's
// choice would (LBN_SELCHANGE / CBN_SELCHANGE); "open" also sends the
// double-click notification of a list box.
void SelectItem(HWND control, const std::wstring& item, bool open) {
  bool combo = IsCombo(control);
  if (!combo && !IsList(control))
    throw EAutomation(ExitUsage, "control is neither a list nor a combo box");
  int index = FindListItem(control, combo, item);
  if (index < 0) throw EAutomation(ExitNotFound, "no item \"" + ToUtf8(item) + "\"");
  SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  HWND parent = GetParent(control);
  int id = GetDlgCtrlID(control);
  WORD code = combo ? CBN_SELCHANGE : LBN_SELCHANGE;
  PostOrFail(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
  if (open && !combo)
    PostOrFail(parent, WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), reinterpret_cast<LPARAM>(control));
}

// Saves the screen area of a window (frame included) as a 24-bit BMP.
void SaveShot(HWND window, const std::string& fileName) {
  RECT rect{};
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) throw EAutomation(ExitFailed, "window has no area");
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::size_t imageSize = stride * static_cast<std::size_t>(height);
  if (ok) {
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = static_cast<DWORD>(header.bfOffBits + imageSize);
    info.bmiHeader.biSizeImage = static_cast<DWORD>(imageSize);
    std::ofstream out(FromUtf8(fileName).c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(imageSize));
    ok = static_cast<bool>(out);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) throw EAutomation(ExitFailed, "could not save " + fileName);
}

void RequireArgs(const std::vector<std::string>& args, std::size_t least, std::size_t most,
                 const char* usage) {
  if (args.size() < least + 1 || args.size() > most + 1) {
    throw EAutomation(ExitUsage, std::string("usage: ") + usage);
  }
}

DWORD ParseTimeout(const std::string& text) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') throw EAutomation(ExitUsage, "bad timeout \"" + text + "\"");
  return static_cast<DWORD>(value);
}

int ExpectBool(bool state) {
  Print(state ? "1" : "0");
  return state ? ExitTrue : ExitFalse;
}

int RunScript(const std::string& fileName);

// Runs one command; args[0] is its name.
int RunCommand(const std::vector<std::string>& args) {
  const std::string& command = args[0];
  if (command == "list-windows") {
    RequireArgs(args, 0, 0, "list-windows");
    for (HWND window : TopLevelWindows()) {
      if (!IsWindowVisible(window)) continue;
      RECT rect{};
      GetWindowRect(window, &rect);
      Print(Hex(window) + "\t" + ToUtf8(ClassOf(window)) + "\t" + RectText(rect) + "\t" +
            ToUtf8(WindowText(window)));
    }
    return ExitTrue;
  }
  if (command == "list") {
    RequireArgs(args, 1, 1, "list <window>");
    HWND window = RequireWindow(args[1]);
    for (HWND control : ChildWindows(window)) Print(DescribeControl(window, control));
    return ExitTrue;
  }
  if (command == "wait-window") {
    RequireArgs(args, 1, 2, "wait-window <window> [timeout-ms]");
    DWORD timeout = args.size() > 2 ? ParseTimeout(args[2]) : Options.TimeoutMs;
    std::wstring spec = FromUtf8(args[1]);
    auto window = WaitFor([&] { return FindTopLevel(spec); }, timeout);
    if (!window) throw EAutomation(ExitNotFound, "no window \"" + args[1] + "\"");
    Print(Hex(*window));
    return ExitTrue;
  }
  if (command == "wait-gone") {
    RequireArgs(args, 1, 2, "wait-gone <window> [timeout-ms]");
    DWORD timeout = args.size() > 2 ? ParseTimeout(args[2]) : Options.TimeoutMs;
    std::wstring spec = FromUtf8(args[1]);
    bool gone = WaitFor([&] { return !FindTopLevel(spec).has_value(); }, timeout);
    if (!gone) throw EAutomation(ExitNotFound, "window \"" + args[1] + "\" is still open");
    return ExitTrue;
  }
  if (command == "click") {
    RequireArgs(args, 2, 2, "click <window> <control>");
    Click(RequireControl(args[1], args[2]), "control \"" + args[2] + "\"");
    return ExitTrue;
  }
  if (command == "answer") {
    // A message dialog: its buttons are found by id (1 OK, 2 Cancel,
    // 3 Abort, 6 Yes, 7 No) or caption, and it must be open already or soon.
    RequireArgs(args, 2, 2, "answer <dialog caption> <button: #id or caption>");
    Click(RequireControl(args[1], args[2]), "button \"" + args[2] + "\"");
    return ExitTrue;
  }
  if (command == "close") {
    RequireArgs(args, 1, 1, "close <window>");
    PostOrFail(RequireWindow(args[1]), WM_CLOSE, 0, 0);
    return ExitTrue;
  }
  if (command == "get-text") {
    RequireArgs(args, 1, 2, "get-text <window> [control]");
    HWND target = args.size() > 2 ? RequireControl(args[1], args[2]) : RequireWindow(args[1]);
    Print(ToUtf8(WindowText(target)));
    return ExitTrue;
  }
  if (command == "expect-text") {
    RequireArgs(args, 3, 3, "expect-text <window> <control> <text>");
    HWND control = RequireControl(args[1], args[2]);
    std::wstring expected = FromUtf8(args[3]);
    bool same = WaitFor([&] { return WindowText(control) == expected; }, Options.TimeoutMs);
    if (!same) {
      PrintError("\"" + args[2] + "\" reads \"" + ToUtf8(WindowText(control)) + "\", expected \"" +
                 args[3] + "\"");
      return ExitFalse;
    }
    return ExitTrue;
  }
  if (command == "set-text") {
    RequireArgs(args, 3, 3, "set-text <window> <control> <text>");
    HWND control = RequireControl(args[1], args[2]);
    std::wstring text = FromUtf8(args[3]);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_ABORTIFHUNG, 5000, &result)) {
      throw EAutomation(ExitFailed, "WM_SETTEXT failed");
    }
    return ExitTrue;
  }
  if (command == "is-checked" || command == "is-enabled" || command == "is-visible") {
    // With a third argument (0 or 1) the answer is whether the state is that.
    RequireArgs(args, 2, 3, "is-checked|is-enabled|is-visible <window> <control> [0|1]");
    HWND control = RequireControl(args[1], args[2]);
    auto state = [&] {
      if (command == "is-checked") return CheckState(control) == "1";
      if (command == "is-enabled") return IsWindowEnabled(control) != 0;
      return IsWindowVisible(control) != 0;
    };
    if (args.size() == 3) return ExpectBool(state());
    if (args[3] != "0" && args[3] != "1")
      throw EAutomation(ExitUsage, "expected state must be 0 or 1");
    bool wanted = args[3] == "1";
    bool same = WaitFor([&] { return state() == wanted; }, Options.TimeoutMs);
    if (!same) {
      PrintError(command + " \"" + args[2] + "\" is " + (wanted ? "0" : "1") + ", expected " +
                 args[3]);
      return ExitFalse;
    }
    return ExitTrue;
  }
  if (command == "expect-client") {
    RequireArgs(args, 3, 3, "expect-client <window> <width> <height>");
    HWND window = RequireWindow(args[1]);
    RECT client{};
    GetClientRect(window, &client);
    std::string actual = std::to_string(client.right) + "x" + std::to_string(client.bottom);
    if (actual != args[2] + "x" + args[3]) {
      PrintError("client area of \"" + args[1] + "\" is " + actual + ", expected " + args[2] + "x" +
                 args[3]);
      return ExitFalse;
    }
    return ExitTrue;
  }
  if (command == "key") {
    // A key press as the keyboard gives it: to the window's focused control
    // (through the program's own message loop, so dialog keys work).
    RequireArgs(args, 2, 2, "key <window> enter|escape|tab|space");
    HWND window = RequireWindow(args[1]);
    WPARAM key = args[2] == "enter"    ? VK_RETURN
                 : args[2] == "escape" ? VK_ESCAPE
                 : args[2] == "tab"    ? VK_TAB
                 : args[2] == "space"  ? VK_SPACE
                                       : 0;
    if (key == 0) throw EAutomation(ExitUsage, "unknown key \"" + args[2] + "\"");
    if (!IsWindowEnabled(window))
      throw EAutomation(ExitFailed, "window is disabled (a modal window is open)");
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus &&
        GetAncestor(info.hwndFocus, GA_ROOT) == window) {
      target = info.hwndFocus;
    }
    UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostOrFail(target, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    if (key == VK_SPACE) PostOrFail(target, WM_CHAR, L' ', 1 | (static_cast<LPARAM>(scan) << 16));
    PostOrFail(target, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (3LL << 30));
    return ExitTrue;
  }
  if (command == "touch") {
    RequireArgs(args, 1, 1, "touch <file>");
    std::ofstream out(FromUtf8(args[1]).c_str(), std::ios::binary | std::ios::app);
    if (!out) throw EAutomation(ExitFailed, "cannot create " + args[1]);
    return ExitTrue;
  }
  if (command == "get-progress") {
    RequireArgs(args, 2, 2, "get-progress <window> <control>");
    HWND control = RequireControl(args[1], args[2]);
    auto position = SendMessageW(control, PBM_GETPOS, 0, 0);
    auto high = SendMessageW(control, PBM_GETRANGE, FALSE, 0);
    Print(std::to_string(position) + " " + std::to_string(high));
    return ExitTrue;
  }
  if (command == "items") {
    RequireArgs(args, 2, 2, "items <window> <control>");
    HWND control = RequireControl(args[1], args[2]);
    if (!IsCombo(control) && !IsList(control))
      throw EAutomation(ExitUsage, "not a list or combo box");
    for (const auto& item : ListItems(control, IsCombo(control))) Print(item);
    return ExitTrue;
  }
  if (command == "select" || command == "open") {
    RequireArgs(args, 3, 3, "select|open <window> <control> <item text or #index>");
    SelectItem(RequireControl(args[1], args[2]), FromUtf8(args[3]), command == "open");
    return ExitTrue;
  }
  if (command == "rect") {
    RequireArgs(args, 1, 1, "rect <window>");
    HWND window = RequireWindow(args[1]);
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    Print(RectText(outer) + "\t" + RectText(client));
    return ExitTrue;
  }
  if (command == "shot") {
    RequireArgs(args, 2, 2, "shot <window> <file.bmp>");
    SaveShot(RequireWindow(args[1]), args[2]);
    return ExitTrue;
  }
  if (command == "sleep") {
    RequireArgs(args, 1, 1, "sleep <ms>");
    Sleep(ParseTimeout(args[1]));
    return ExitTrue;
  }
  if (command == "timeout") {
    RequireArgs(args, 1, 1, "timeout <ms>");
    Options.TimeoutMs = ParseTimeout(args[1]);
    return ExitTrue;
  }
  if (command == "run") {
    RequireArgs(args, 1, 1, "run <script file>");
    return RunScript(args[1]);
  }
  throw EAutomation(ExitUsage, "unknown command \"" + command + "\"");
}

// Splits a script line like a command line: blanks separate, double quotes
// group, \" is a quote; '#' at the start of a line makes it a comment.
std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
      word += '"';
      inWord = true;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) throw EAutomation(ExitUsage, "unterminated quote in \"" + line + "\"");
  if (inWord) words.push_back(word);
  return words;
}

// A script stops at the first command that does not succeed and answers
// that command's exit code; the failing line is named on stderr.
int RunScript(const std::string& fileName) {
  std::ifstream in(FromUtf8(fileName).c_str(), std::ios::binary);
  if (!in) throw EAutomation(ExitUsage, "cannot read script " + fileName);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::vector<std::string> words = SplitLine(line);
    if (words.empty()) continue;
    int code = ExitTrue;
    try {
      code = RunCommand(words);
    } catch (const EAutomation& error) {
      PrintError(fileName + ":" + std::to_string(number) + ": " + error.what());
      return error.Code;
    }
    if (code != ExitTrue) {
      PrintError(fileName + ":" + std::to_string(number) + ": \"" + line + "\" answered " +
                 std::to_string(code));
      return code;
    }
  }
  return ExitTrue;
}

// Windows of a program started on a named Wine desktop ("explorer
// /desktop=name,WxH prog") live on that desktop; this thread must join it
// before it can see them. Must happen before the thread owns any window.
void JoinDesktop(const std::string& name) {
  std::wstring wide = FromUtf8(name);
  // The desktop appears once its explorer process is up; give it time.
  HDESK desktop = WaitFor([&] { return OpenDesktopW(wide.c_str(), 0, FALSE, GENERIC_ALL); },
                          std::max<DWORD>(Options.TimeoutMs, 30000));
  if (!desktop) throw EAutomation(ExitNotFound, "no desktop \"" + name + "\"");
  if (!SetThreadDesktop(desktop)) {
    throw EAutomation(ExitFailed, "cannot switch to desktop \"" + name + "\", error " +
                                      std::to_string(GetLastError()));
  }
}

void Usage() {
  Print(
      "usage: automate [--desktop NAME] [--timeout MS] COMMAND ARGS...\n"
      "  list-windows | list <window> | wait-window <window> [ms] | wait-gone <window> [ms]\n"
      "  click <window> <control> | answer <dialog> <button> | close <window>\n"
      "  get-text <window> [control] | expect-text <window> <control> <text>\n"
      "  set-text <window> <control> <text>\n"
      "  is-checked|is-enabled|is-visible <window> <control> [expected 0|1]\n"
      "  expect-client <window> <width> <height> | touch <file>\n"
      "  key <window> enter|escape|tab|space\n"
      "  get-progress <window> <control> | items <window> <control>\n"
      "  select|open <window> <control> <item|#index> | rect <window> | shot <window> <file.bmp>\n"
      "  sleep <ms> | timeout <ms> | run <script>\n"
      "windows: caption, ~part-of-caption, class:Name; controls: caption, #id, @name");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
  try {
    std::size_t next = 0;
    std::string desktop;
    if (const char* fromEnvironment = std::getenv("MORA_AUTOMATE_DESKTOP"))
      desktop = fromEnvironment;
    while (next < args.size() && args[next].rfind("--", 0) == 0) {
      if (args[next] == "--desktop" && next + 1 < args.size()) {
        desktop = args[next + 1];
        next += 2;
      } else if (args[next] == "--timeout" && next + 1 < args.size()) {
        Options.TimeoutMs = ParseTimeout(args[next + 1]);
        next += 2;
      } else {
        Usage();
        return ExitUsage;
      }
    }
    if (next >= args.size()) {
      Usage();
      return ExitUsage;
    }
    if (!desktop.empty()) JoinDesktop(desktop);
    return RunCommand(
        std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(next), args.end()));
  } catch (const EAutomation& error) {
    PrintError(error.what());
    return error.Code;
  } catch (const std::exception& error) {
    PrintError(error.what());
    return ExitFailed;
  }
}
