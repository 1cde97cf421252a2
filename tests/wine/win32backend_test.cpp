// The win32 backend in-process under Wine: native windows built from the
// model (frame, exact client size, font, ids, names, UTF-16 texts), model
// changes reaching the controls, user input reaching the model, modal loops,
// our own message dialog and the error box. Needs a display (Xvfb).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/sjis.h"
#include "ui/application.h"
#include "ui/backend.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/win32/formwindow.h"
#include "ui/win32/msgdialog.h"

namespace mora::ui::win32 {
namespace {

using base::Sjis;

HWND FormHandle(TForm& form) {
  auto* window = dynamic_cast<TFormWindow*>(form.BackendState.get());
  return window ? window->Handle() : nullptr;
}

struct TNameSearch {
  const std::wstring* Name;
  HWND Found;
};

BOOL CALLBACK MatchName(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<TNameSearch*>(data);
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(child, ControlNameProperty)));
  wchar_t text[64] = {};
  if (atom != 0 && GlobalGetAtomNameW(atom, text, 64) > 0 && *search->Name == text) {
    search->Found = child;
    return FALSE;
  }
  return TRUE;
}

// The native window of a control, found by its name property.
HWND ControlHandle(TForm& form, const std::wstring& name) {
  TNameSearch search{&name, nullptr};
  EnumChildWindows(FormHandle(form), &MatchName, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// Steps played by a thread timer while a modal loop runs: each step returns
// true when it is done, false to be tried again at the next tick.
std::deque<std::function<bool()>> Steps;

void CALLBACK PlayStep(HWND, UINT, UINT_PTR, DWORD) {
  if (!Steps.empty() && Steps.front()()) Steps.pop_front();
}

class TTimerScript {
 public:
  explicit TTimerScript(std::deque<std::function<bool()>> steps) {
    Steps = std::move(steps);
    FTimer = SetTimer(nullptr, 0, 30, &PlayStep);
  }
  ~TTimerScript() {
    KillTimer(nullptr, FTimer);
    Steps.clear();
  }
  TTimerScript(const TTimerScript&) = delete;
  TTimerScript& operator=(const TTimerScript&) = delete;

 private:
  UINT_PTR FTimer;
};

// The active message dialog of this thread with the given caption.
HWND FindDialog(const wchar_t* caption) {
  HWND window = FindWindowW(L"#32770", caption);
  return window && IsWindowVisible(window) ? window : nullptr;
}

class Win32BackendTest : public ::testing::Test {
 protected:
  TApplication Application{CreateWin32Backend()};
};

class TSampleForm : public TForm {
 public:
  explicit TSampleForm(TApplication& application) : TForm(application, "Sample") {
    SetCaption(Sjis("見本"));
    SetClientSize(265, 230);
    Picture = &Add<TPaintBox>("PaintBox", {0, 0, 40, 40});
    TBitmap red(40, 40);
    red.FillRect({0, 0, 40, 40}, TColor{255, 0, 0});
    Picture->SetBitmap(std::move(red));
    Label = &Add<TLabel>("LabelCopyCap", {50, 4, 200, 12});
    Label->SetCaption(Sjis("ファイルをコピーしています"));
    Check = &Add<TCheckBox>("CheckSound", {50, 24, 141, 17});
    Check->SetCaption(Sjis("サウンド"));
    Check->OnClick = [this](TControl&) { ++CheckClicks; };
    Edit = &Add<TEdit>("EditDir", {50, 44, 200, 20});
    Notebook = &Add<TNotebook>("Notebook", {0, 70, 265, 100});
    Notebook->AddPage("one");
    Notebook->AddPage("two");
    RadioA = &AddTo<TRadioButton>(*Notebook, 0, "RadioDiskAll", {8, 8, 200, 17});
    RadioA->SetCaption(Sjis("全て"));
    RadioA->SetChecked(true);
    RadioB = &AddTo<TRadioButton>(*Notebook, 0, "RadioDiskThis", {8, 30, 200, 17});
    RadioB->SetCaption(Sjis("この"));
    PageTwoLabel = &AddTo<TLabel>(*Notebook, 1, "LabelTwo", {8, 8, 200, 12});
    PageTwoLabel->SetCaption(Sjis("二ページ目"));
    Progress = &Add<TProgressBar>("Progress", {8, 176, 249, 16});
    Ok = &Add<TButton>("btnOk", {28, 198, 100, 25});
    Ok->SetCaption("OK");
    Ok->SetModalResult(mrOk);
    Fail = &Add<TButton>("btnFail", {140, 198, 100, 25});
    Fail->SetCaption(Sjis("失敗"));
    Fail->OnClick = [](TControl&) {
      throw base::EFOpenError(Sjis("C:\\x.dat:ファイルがありません"));
    };
  }

  TPaintBox* Picture;
  TLabel* Label;
  TCheckBox* Check;
  TEdit* Edit;
  TNotebook* Notebook;
  TRadioButton* RadioA;
  TRadioButton* RadioB;
  TLabel* PageTwoLabel;
  TProgressBar* Progress;
  TButton* Ok;
  TButton* Fail;
  int CheckClicks = 0;
};

TEST_F(Win32BackendTest, BuildsADialogFrameWithTheExactClientSizeCentredOnTheScreen) {
  TSampleForm form(Application);
  form.Show();
  HWND window = FormHandle(form);
  ASSERT_NE(window, nullptr);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 265);
  EXPECT_EQ(client.bottom, 230);
  LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME);  // no resizing
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(TextOf(window), L"見本");
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_NEAR((outer.left + outer.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  form.SetClientHeight(158);
  GetClientRect(window, &client);
  EXPECT_EQ(client.bottom, 158);
}

TEST_F(Win32BackendTest, ControlsCarryTheFixedFontTheirIdsNamesAndUtf16Texts) {
  TSampleForm form(Application);
  form.Show();
  HWND label = ControlHandle(form, L"LabelCopyCap");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(TextOf(label), L"ファイルをコピーしています");
  // Ids follow the creation order: the paint box is control 0 (no window),
  // the label control 1.
  EXPECT_EQ(GetDlgCtrlID(label), FirstControlId + 1);
  auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW logFont{};
  ASSERT_NE(GetObjectW(font, sizeof logFont, &logFont), 0);
  EXPECT_EQ(logFont.lfHeight, -12);
  EXPECT_EQ(logFont.lfCharSet, SHIFTJIS_CHARSET);
  EXPECT_STREQ(logFont.lfFaceName, L"ＭＳ Ｐゴシック");
}

TEST_F(Win32BackendTest, ModelChangesReachTheNativeControls) {
  TSampleForm form(Application);
  form.Show();
  HWND check = ControlHandle(form, L"CheckSound");
  HWND radioA = ControlHandle(form, L"RadioDiskAll");
  HWND pageTwo = ControlHandle(form, L"LabelTwo");
  HWND progress = ControlHandle(form, L"Progress");
  HWND edit = ControlHandle(form, L"EditDir");
  EXPECT_EQ(SendMessageW(radioA, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(IsWindowVisible(radioA));
  EXPECT_FALSE(IsWindowVisible(pageTwo));

  form.Check->SetChecked(true);
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  form.Check->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(check));
  form.Check->SetCaption(Sjis("ムービー"));
  EXPECT_EQ(TextOf(check), L"ムービー");
  form.Edit->SetText(Sjis("C:\\ゲーム"));
  EXPECT_EQ(TextOf(edit), L"C:\\ゲーム");
  form.Progress->SetPosition(40);
  EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 40);
  form.Notebook->SetPageIndex(1);
  EXPECT_FALSE(IsWindowVisible(radioA));
  EXPECT_TRUE(IsWindowVisible(pageTwo));
  form.Notebook->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(pageTwo));
}

TEST_F(Win32BackendTest, UserInputReachesTheModelOnce) {
  TSampleForm form(Application);
  form.Show();
  HWND check = ControlHandle(form, L"CheckSound");
  SendMessageW(check, BM_CLICK, 0, 0);
  EXPECT_TRUE(form.Check->Checked());
  EXPECT_EQ(form.CheckClicks, 1);
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);

  SendMessageW(ControlHandle(form, L"RadioDiskThis"), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.RadioB->Checked());
  EXPECT_FALSE(form.RadioA->Checked());
  EXPECT_EQ(SendMessageW(ControlHandle(form, L"RadioDiskAll"), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // Typing arrives as 932 bytes; a character that code page 932 lacks
  // becomes "?" instead of failing.
  SetWindowTextW(ControlHandle(form, L"EditDir"), L"D:\\新しい\u00e9");
  EXPECT_EQ(form.Edit->Text(), Sjis("D:\\新しい") + "?");
}

TEST_F(Win32BackendTest, ThePaintBoxBitmapIsShownUnderTheControls) {
  TSampleForm form(Application);
  form.Show();
  HWND window = FormHandle(form);
  UpdateWindow(window);
  HDC dc = GetDC(window);
  COLORREF picture = GetPixel(dc, 20, 20);
  COLORREF face = GetPixel(dc, 5, 60);
  ReleaseDC(window, dc);
  EXPECT_EQ(picture, RGB(255, 0, 0));
  EXPECT_EQ(face, GetSysColor(COLOR_BTNFACE));
}

TEST_F(Win32BackendTest, ModalLoopEndsWithTheButtonsModalResultAndDisablesOtherWindows) {
  TForm backdrop(Application, "Backdrop");
  backdrop.SetCaption(Sjis("背景"));
  backdrop.Show();
  TSampleForm form(Application);
  bool backdropDisabled = false;
  TTimerScript script({[&] {
    HWND ok = FormHandle(form) ? ControlHandle(form, L"btnOk") : nullptr;
    if (!ok || !IsWindowVisible(ok)) return false;
    backdropDisabled = !IsWindowEnabled(FormHandle(backdrop));
    PostMessageW(ok, BM_CLICK, 0, 0);
    return true;
  }});
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_TRUE(backdropDisabled);
  EXPECT_TRUE(IsWindowEnabled(FormHandle(backdrop)));
  EXPECT_FALSE(IsWindowVisible(FormHandle(form)));
}

TEST_F(Win32BackendTest, MessageDialogHasOurCaptionsButtonIdsAndIsCentred) {
  std::wstring text;
  std::wstring yes;
  std::wstring no;
  bool centred = false;
  TTimerScript script({[&] {
    HWND dialog = FindDialog(L"確認");
    if (!dialog) return false;
    text = TextOf(GetDlgItem(dialog, MessageTextId));
    yes = TextOf(GetDlgItem(dialog, mrYes));
    no = TextOf(GetDlgItem(dialog, mrNo));
    RECT rect{};
    GetWindowRect(dialog, &rect);
    centred = std::abs((rect.left + rect.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
              std::abs((rect.top + rect.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1;
    PostMessageW(GetDlgItem(dialog, mrNo), BM_CLICK, 0, 0);
    return true;
  }});
  int result = Application.MessageDialog(Sjis("インストールを中断しますか？"),
                                         TMsgDlgType::mtConfirmation, mbYesNo);
  EXPECT_EQ(result, mrNo);
  EXPECT_EQ(text, L"インストールを中断しますか？");
  EXPECT_EQ(yes, L"はい(&Y)");
  EXPECT_EQ(no, L"いいえ(&N)");
  EXPECT_TRUE(centred);
}

TEST_F(Win32BackendTest, ClosingAMessageDialogGivesItsCancelResult) {
  TTimerScript script({[&] {
    HWND dialog = FindDialog(L"警告");
    if (!dialog) return false;
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
  EXPECT_EQ(Application.MessageDialog(Sjis("続けますか？"), TMsgDlgType::mtWarning, mbYesNo), mrNo);
}

TEST_F(Win32BackendTest, AHandlersExceptionIsShownInTheErrorBoxAndTheFormGoesOn) {
  TSampleForm form(Application);
  std::wstring message;
  TTimerScript script({
      [&] {
        HWND fail = FormHandle(form) ? ControlHandle(form, L"btnFail") : nullptr;
        if (!fail || !IsWindowVisible(fail)) return false;
        PostMessageW(fail, BM_CLICK, 0, 0);
        return true;
      },
      [&] {
        HWND dialog = FindDialog(L"エラー");
        if (!dialog) return false;
        message = TextOf(GetDlgItem(dialog, MessageTextId));
        PostMessageW(GetDlgItem(dialog, mrOk), BM_CLICK, 0, 0);
        return true;
      },
      [&] {
        if (FindDialog(L"エラー")) return false;
        PostMessageW(FormHandle(form), WM_CLOSE, 0, 0);
        return true;
      },
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(message, L"C:\\x.dat:ファイルがありません");
}

}  // namespace
}  // namespace mora::ui::win32
