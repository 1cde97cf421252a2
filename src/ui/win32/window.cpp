// Dialog-class windows, the form font, the error box and the message pumps.
#include "ui/win32/window.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "ui/dialogs.h"
#include "ui/types.h"
#include "ui/win32/msgdialog.h"

namespace mora::ui::win32 {

std::wstring Wide(std::string_view text932) {
  // Lenient on purpose: a stray byte in a title read from a settings file
  // shows as U+FFFD instead of failing the window it appears in.
  std::u16string text = base::Utf8ToUtf16(base::Cp932ToUtf8Lossy(text932));
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::wstring_view text) {
  std::u16string utf16(text.begin(), text.end());
  try {
    return base::Utf16ToCp932(utf16);
  } catch (const base::EConvertError&) {
    // Characters the user typed that code page 932 lacks become "?", one by
    // one, as the ANSI conversion of the system does.
    std::string result;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
      std::size_t length =
          (utf16[i] >= 0xD800 && utf16[i] < 0xDC00 && i + 1 < utf16.size()) ? 2 : 1;
      try {
        result += base::Utf16ToCp932(utf16.substr(i, length));
      } catch (const base::EConvertError&) {
        result += '?';
      }
      i += length - 1;
    }
    return result;
  }
}

HFONT FormFont() {
  static TFontHandle font(CreateFontW(-FormFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                      SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                      Wide(FormFontName()).c_str()));
  return font.Get() ? font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void ShowErrorBox(std::exception_ptr error) noexcept {
  try {
    std::string message;
    try {
      std::rethrow_exception(error);
    } catch (const base::Exception& known) {
      message = known.Message();
    } catch (const std::bad_alloc&) {
      message = base::Sjis("メモリが不足しています");
    } catch (const std::exception& other) {
      message = other.what();
    } catch (...) {
      message = base::Sjis("不明なエラーです");
    }
    ShowMessageDialog(MakeMessageDialog(message, TMsgDlgType::mtError, mbOK));
  } catch (...) {
    // The error box itself failed (no memory, no window): nothing sensible is
    // left to show, and nothing may leave this function.
  }
}

namespace {

constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
constexpr DWORD DialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// An empty dialog template: header, no menu, default class, empty title,
// no controls. DLGTEMPLATE must be DWORD aligned; the vector of DWORDs is.
std::vector<DWORD> EmptyTemplate() {
  std::vector<DWORD> buffer(16, 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(buffer.data());
  header->style = DialogStyle;
  header->dwExtendedStyle = DialogExStyle;
  header->cdit = 0;
  header->x = 0;
  header->y = 0;
  header->cx = 10;
  header->cy = 10;
  // The three words after the header (menu, class, title) stay 0.
  return buffer;
}

}  // namespace

TDialogWindow::~TDialogWindow() { DestroyDialogWindow(); }

void TDialogWindow::CreateDialogWindow(HWND owner, const std::wstring& caption, int clientWidth,
                                       int clientHeight) {
  std::vector<DWORD> dialogTemplate = EmptyTemplate();
  HWND window = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), owner,
      &TDialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  if (!window) {
    throw base::EPlatformError("CreateDialogIndirectParam: error " +
                               std::to_string(GetLastError()));
  }
  FWindow.Reset(window);
  SetWindowTextW(window, caption.c_str());
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  SetClientSize(clientWidth, clientHeight);
}

void TDialogWindow::DestroyDialogWindow() {
  HWND window = FWindow.Get();
  if (window && IsWindow(window)) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  FWindow.Reset();
}

void TDialogWindow::SetClientSize(int clientWidth, int clientHeight) {
  RECT rect{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(Handle(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(Handle(), GWL_EXSTYLE)));
  SetWindowPos(Handle(), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDialogWindow::CenterOnScreen() {
  RECT rect{};
  GetWindowRect(Handle(), &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(Handle(), nullptr, std::max(left, 0), std::max(top, 0), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDialogWindow::CenterOn(HWND other) {
  if (!other || !IsWindow(other)) {
    CenterOnScreen();
    return;
  }
  RECT self{};
  RECT around{};
  GetWindowRect(Handle(), &self);
  GetWindowRect(other, &around);
  int left = around.left + ((around.right - around.left) - (self.right - self.left)) / 2;
  int top = around.top + ((around.bottom - around.top) - (self.bottom - self.top)) / 2;
  SetWindowPos(Handle(), nullptr, std::max(left, 0), std::max(top, 0), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TDialogWindow::CreateChild(const wchar_t* className, const std::wstring& text, DWORD style,
                                DWORD exStyle, int id, int left, int top, int width, int height) {
  HWND child = CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | style, left, top, width,
                               height, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
  if (!child) {
    throw base::EPlatformError("CreateWindowEx: error " + std::to_string(GetLastError()));
  }
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  return child;
}

INT_PTR CALLBACK TDialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return FALSE;  // focus is placed by the owner of the window
  }
  auto* self = reinterpret_cast<TDialogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return FALSE;
  INT_PTR result = FALSE;
  bool handled = false;
  try {
    handled = self->HandleMessage(message, wParam, lParam, result);
  } catch (...) {
    ShowErrorBox(std::current_exception());
    return TRUE;
  }
  return handled ? result : FALSE;
}

namespace {

struct TTaskWindowSearch {
  HWND Except;
  std::vector<HWND>* Windows;
};

// Enumeration callbacks are plain functions: a lambda lacks the calling
// convention the 32-bit build needs.
BOOL CALLBACK CollectTaskWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TTaskWindowSearch*>(data);
  if (window != search->Except && IsWindowVisible(window) && IsWindowEnabled(window)) {
    search->Windows->push_back(window);
  }
  return TRUE;
}

}  // namespace

TDisabledTaskWindows::TDisabledTaskWindows(HWND except) : FActive(GetActiveWindow()) {
  TTaskWindowSearch search{except, &FWindows};
  EnumThreadWindows(GetCurrentThreadId(), &CollectTaskWindow, reinterpret_cast<LPARAM>(&search));
  for (HWND window : FWindows) EnableWindow(window, FALSE);
}

TDisabledTaskWindows::~TDisabledTaskWindows() {
  for (HWND window : FWindows) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  if (FActive && IsWindow(FActive)) SetActiveWindow(FActive);
}

namespace {

void Dispatch(MSG& message) {
  HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (root && IsDialogMessageW(root, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace

bool PumpOneMessage() {
  MSG message{};
  BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  Dispatch(message);
  return true;
}

bool PumpPendingMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    Dispatch(message);
  }
  return true;
}

}  // namespace mora::ui::win32
