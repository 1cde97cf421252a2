// The base of every native window of the backend: a dialog-class window
// (#32770, so the system's dialog manager gives Tab, Enter and Escape
// handling) created from an empty in-memory template and then sized in
// pixels, so nothing scales with the system font. `this` lives in the
// window's user data; messages go to HandleMessage. No exception leaves a
// window procedure: anything thrown is shown in the error box.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "ui/win32/handles.h"

namespace mora::ui::win32 {

// The program's window font: "ＭＳ Ｐゴシック", 12 pixels, Shift-JIS character
// set (Wine maps the face to its replacement). Created once, never scaled.
HFONT FormFont();

// Shows the error box for an exception caught at the Windows boundary.
// Never throws.
void ShowErrorBox(std::exception_ptr error) noexcept;

// Runs the body and turns any exception into the error box; for callbacks
// that enter C++ from Windows.
template <class TBody>
void Guarded(TBody body) noexcept {
  try {
    body();
  } catch (...) {
    ShowErrorBox(std::current_exception());
  }
}

class TDialogWindow {
 public:
  TDialogWindow() = default;
  virtual ~TDialogWindow();
  TDialogWindow(const TDialogWindow&) = delete;
  TDialogWindow& operator=(const TDialogWindow&) = delete;

  HWND Handle() const { return FWindow.Get(); }

  // Creates the (hidden) window with a dialog frame, the given caption and
  // exactly this client size. Owner may be nullptr.
  void CreateDialogWindow(HWND owner, const std::wstring& caption, int clientWidth,
                          int clientHeight);
  void DestroyDialogWindow();

  // Changes the client size, keeping the frame.
  void SetClientSize(int clientWidth, int clientHeight);
  // Centres the window on the work area of the screen, or on another window.
  void CenterOnScreen();
  void CenterOn(HWND other);

  // Creates a child control with the form font, at client coordinates.
  HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                   int id, int left, int top, int width, int height);

 protected:
  // Return true when the message was handled; result is the dialog procedure's
  // answer (set with SetWindowLongPtr(DWLP_MSGRESULT) where that applies).
  virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) = 0;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  TWindowHandle FWindow;
};

// Disables every other enabled top-level window of this thread while a modal
// window runs, and enables them again (and reactivates the window that was
// active) when it goes.
class TDisabledTaskWindows {
 public:
  explicit TDisabledTaskWindows(HWND except);
  TDisabledTaskWindows(const TDisabledTaskWindows&) = delete;
  TDisabledTaskWindows& operator=(const TDisabledTaskWindows&) = delete;
  ~TDisabledTaskWindows();

 private:
  HWND FActive;
  std::vector<HWND> FWindows;
};

// One turn of the message loop for a modal window: waits for a message and
// dispatches it (dialog keys included). False when WM_QUIT arrived; it is
// posted again so outer loops see it too.
bool PumpOneMessage();

// Dispatches all pending messages without waiting. False after WM_QUIT
// (posted again).
bool PumpPendingMessages();

}  // namespace mora::ui::win32
