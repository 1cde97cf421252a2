// The message dialog window: icon, text and a centred row of buttons.
#include "ui/win32/msgdialog.h"

#include <algorithm>
#include <vector>

#include "ui/win32/window.h"

namespace mora::ui::win32 {

namespace {

constexpr int Margin = 12;
constexpr int IconSize = 32;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ButtonGap = 8;
constexpr int MaxTextWidth = 420;
constexpr int MinClientWidth = 200;

const wchar_t* IconOf(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::mtWarning: return IDI_WARNING;
    case TMsgDlgType::mtError: return IDI_ERROR;
    case TMsgDlgType::mtInformation: return IDI_INFORMATION;
    case TMsgDlgType::mtConfirmation: return IDI_QUESTION;
  }
  return IDI_INFORMATION;
}

class TMessageWindow : public TDialogWindow {
 public:
  explicit TMessageWindow(const TMessageDialog& dialog) : FDialog(dialog) {}

  int Run() {
    std::wstring text = Wide(FDialog.Text);
    SIZE textSize = MeasureText(text);
    int buttonCount = static_cast<int>(FDialog.Buttons.size());
    int buttonsWidth = buttonCount * ButtonWidth + std::max(buttonCount - 1, 0) * ButtonGap;
    int textLeft = Margin + IconSize + Margin;
    int clientWidth = std::max({textLeft + static_cast<int>(textSize.cx) + Margin,
                                buttonsWidth + 2 * Margin, MinClientWidth});
    int bodyHeight = std::max(IconSize, static_cast<int>(textSize.cy));
    int buttonsTop = Margin + bodyHeight + Margin + 4;
    int clientHeight = buttonsTop + ButtonHeight + Margin;

    HWND owner = GetActiveWindow();
    CreateDialogWindow(owner, Wide(FDialog.Caption), clientWidth, clientHeight);

    HWND icon = CreateChild(L"STATIC", L"", SS_ICON | WS_VISIBLE, 0, MessageIconId, Margin, Margin,
                            IconSize, IconSize);
    SendMessageW(icon, STM_SETICON,
                 reinterpret_cast<WPARAM>(LoadIconW(nullptr, IconOf(FDialog.Kind))), 0);
    int textTop = Margin + (bodyHeight - static_cast<int>(textSize.cy)) / 2;
    CreateChild(L"STATIC", text, SS_LEFT | SS_NOPREFIX | WS_VISIBLE, 0, MessageTextId, textLeft,
                textTop, static_cast<int>(textSize.cx), static_cast<int>(textSize.cy));

    int left = (clientWidth - buttonsWidth) / 2;
    HWND focus = nullptr;
    for (const TMessageDialogButton& button : FDialog.Buttons) {
      bool isDefault = button.Result == FDialog.DefaultResult;
      HWND handle =
          CreateChild(L"BUTTON", Wide(button.Caption),
                      WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0,
                      button.Result, left, buttonsTop, ButtonWidth, ButtonHeight);
      if (isDefault || !focus) focus = handle;
      left += ButtonWidth + ButtonGap;
    }
    if (FDialog.DefaultResult != mrNone)
      SendMessageW(Handle(), DM_SETDEFID, static_cast<WPARAM>(FDialog.DefaultResult), 0);

    CenterOnScreen();
    TDisabledTaskWindows disabled(Handle());
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    if (focus) SetFocus(focus);
    MessageBeep(FDialog.Kind == TMsgDlgType::mtError ? MB_ICONHAND : MB_ICONEXCLAMATION);
    while (FResult == mrNone) {
      if (!PumpOneMessage()) {
        FResult = FDialog.CancelResult;
        break;
      }
    }
    // Enable the other windows before this one goes, so the system hands the
    // activation back to one of them and not to some other program.
    return FResult;
  }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) override {
    switch (message) {
      case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (HIWORD(wParam) != BN_CLICKED) return false;
        if (HasButton(id)) {
          FResult = id;
        } else if (id == IDCANCEL) {  // Escape
          FResult = FDialog.CancelResult;
        }
        result = TRUE;
        return true;
      }
      case WM_CLOSE:
        FResult = FDialog.CancelResult;
        result = TRUE;
        return true;
      default: return false;
    }
  }

 private:
  bool HasButton(int id) const {
    return std::any_of(FDialog.Buttons.begin(), FDialog.Buttons.end(),
                       [id](const TMessageDialogButton& button) { return button.Result == id; });
  }

  static SIZE MeasureText(const std::wstring& text) {
    TWindowDC screen(nullptr);
    TSelectObject font(screen.Get(), FormFont());
    RECT rect{0, 0, MaxTextWidth, 0};
    std::wstring measured = text.empty() ? std::wstring(L" ") : text;
    DrawTextW(screen.Get(), measured.c_str(), static_cast<int>(measured.size()), &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    return SIZE{rect.right - rect.left + 2, rect.bottom - rect.top};
  }

  const TMessageDialog& FDialog;
  int FResult = mrNone;
};

}  // namespace

int ShowMessageDialog(const TMessageDialog& dialog) {
  TMessageWindow window(dialog);
  int result = window.Run();
  // The window is destroyed after the other windows are enabled again (the
  // TDisabledTaskWindows scope in Run has ended), so activation returns to
  // the program's own window.
  window.DestroyDialogWindow();
  return result;
}

}  // namespace mora::ui::win32
