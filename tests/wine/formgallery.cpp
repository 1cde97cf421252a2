// formgallery.exe: shows the program's windows with the win32 backend so the
// screenshot test can drive them with automate.exe and photograph them.
//   formgallery widgets            a form with every kind of control
//   formgallery dialogs            each kind of message dialog in turn
//   formgallery launcher           the launcher menu without runtime buttons
//   formgallery launcher-enter     the same, for the keyboard scene
//   formgallery launcher-runtime   ... with both runtime installers present
//   formgallery main               the main window with its picture
//   formgallery wizard             main window and installation wizard
//   formgallery wizard-uninstall   main window and uninstallation wizard
// (settings in memory, medium in the temporary folder, see programwindows.cpp)
// Prints one line per finished window ("result <name> <modal result>") to
// the file named by MORA_GALLERY_LOG (stdout is not reliable on a Wine
// desktop). Exit code 0, or 1 with the failure on stderr and in the log.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "ui/application.h"
#include "ui/backend.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "gallery.h"

namespace mora::gallery {

using base::Sjis;
using namespace mora::ui;

void Log(const std::string& utf8Line) {
  // Opened per line so a crash never loses what was logged before it.
  if (const char* path = std::getenv("MORA_GALLERY_LOG")) {
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << utf8Line << "\n";
  }
}

std::string OwnerCaption(void* window) {
  if (window == nullptr) return "none";
  wchar_t text[256] = {};
  const int length = GetWindowTextW(static_cast<HWND>(window), text, 256);
  const std::u16string wide(text, text + (length > 0 ? length : 0));
  return base::Utf16ToUtf8(wide);
}

namespace {

// A picture for the paint box: diagonal colour bands, so stretching and
// centring can be told apart in a screenshot.
TBitmap SamplePicture(int width, int height) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto band = static_cast<std::uint8_t>(((x + y) / 8) % 2 ? 255 : 160);
      bitmap.SetPixel(x, y,
                      TColor{band, static_cast<std::uint8_t>(x * 255 / width),
                             static_cast<std::uint8_t>(y * 255 / height)});
    }
  }
  return bitmap;
}

// Every control kind of the model on one form, with Japanese texts.
class TWidgetForm : public TForm {
 public:
  explicit TWidgetForm(TApplication& application) : TForm(application, "WidgetForm") {
    SetCaption(Sjis("部品の見本"));
    SetClientSize(420, 330);
    auto& picture = Add<TPaintBox>("PaintBox", {0, 0, 420, 60});
    picture.SetBitmap(SamplePicture(140, 30));
    picture.SetMode(TPictureMode::Stretch);
    auto& over = Add<TLabel>("LabelOver", {12, 8, 200, 12});
    over.SetCaption(Sjis("絵の上の透明なラベル"));
    auto& footer = Add<TLabel>("LabelFooter", {0, 44, 420, 12});
    footer.SetAutoSize(false);
    footer.SetAlignment(TAlignment::RightJustify);
    footer.SetTransparent(false);
    footer.SetColor(clBlack);
    footer.SetFontColor(clWhite);
    footer.SetCaption(Sjis("右寄せの白い文字 "));

    auto& notebook = Add<TNotebook>("Notebook", {0, 64, 420, 220});
    notebook.AddPage("first");
    notebook.AddPage("second");
    auto& check = AddTo<TCheckBox>(notebook, 0, "CheckSound", {16, 8, 141, 17});
    check.SetCaption(Sjis("サウンド"));
    check.SetChecked(true);
    auto& disabledCheck = AddTo<TCheckBox>(notebook, 0, "CheckProg", {16, 32, 141, 17});
    disabledCheck.SetCaption(Sjis("プログラム"));
    disabledCheck.SetChecked(true);
    disabledCheck.SetEnabled(false);
    auto& radioA = AddTo<TRadioButton>(notebook, 0, "RadioDiskAll", {180, 8, 220, 17});
    radioA.SetCaption(Sjis("全てのディスクをインストール"));
    radioA.SetChecked(true);
    auto& radioB = AddTo<TRadioButton>(notebook, 0, "RadioDiskThis", {180, 32, 220, 17});
    radioB.SetCaption(Sjis("このディスクをインストール"));
    auto& edit = AddTo<TEdit>(notebook, 0, "EditDir", {16, 60, 237, 20});
    edit.SetText(Sjis("C:\\Program Files\\モーラ\\見本"));
    auto& echo = AddTo<TLabel>(notebook, 0, "LabelEcho", {16, 86, 380, 12});
    echo.SetCaption(edit.Text());
    edit.OnChange = [&echo, &edit](TControl&) { echo.SetCaption(edit.Text()); };
    auto& progress = AddTo<TProgressBar>(notebook, 0, "Progress", {16, 108, 349, 16});
    progress.SetPosition(40);
    auto& multi = AddTo<TLabel>(notebook, 0, "LabelMulti", {16, 132, 380, 24});
    multi.SetAutoSize(false);
    multi.SetCaption(Sjis("二行のラベル：一行目\r\n二行目 ＭＳ Ｐゴシック 12 ピクセル"));
    auto& count = AddTo<TButton>(notebook, 0, "btnCount", {16, 164, 120, 25});
    count.SetCaption(Sjis("進める(&P)"));
    count.OnClick = [&progress](TControl&) { progress.SetPosition(progress.Position() + 10); };

    auto& folderLabel = AddTo<TLabel>(notebook, 1, "LabelFolder", {16, 8, 300, 12});
    folderLabel.SetCaption(Sjis("フォルダとドライブ"));
    auto& directory = AddTo<TDirectoryList>(notebook, 1, "Directory", {16, 28, 237, 113});
    auto& drive = AddTo<TDriveBox>(notebook, 1, "Drive", {16, 148, 237, 18});
    drive.SetDirList(&directory);
    directory.SetDirectory("C:\\windows");
    auto& chosen = AddTo<TLabel>(notebook, 1, "LabelChosen", {16, 176, 380, 12});
    chosen.SetCaption(directory.Directory());
    directory.OnChange = [&chosen, &directory](TControl&) {
      chosen.SetCaption(directory.Directory());
    };

    Add<TBevel>("Bevel1", {0, 288, 420, 2});
    auto& page = Add<TButton>("btnPage", {132, 296, 90, 25});
    page.SetCaption(Sjis("ページ切替(&S)"));
    page.OnClick = [&notebook](TControl&) { notebook.SetPageIndex(1 - notebook.PageIndex()); };
    auto& ask = Add<TButton>("btnAsk", {228, 296, 75, 25});
    ask.SetCaption(Sjis("質問(&Q)"));
    ask.OnClick = [this](TControl&) {
      int answer =
          Application().MessageDialog(Sjis("続けますか？"), TMsgDlgType::mtConfirmation, mbYesNo);
      Log("answer " + std::to_string(answer));
    };
    auto& close = Add<TButton>("btnClose", {312, 296, 75, 25});
    close.SetCaption(Sjis("閉じる(&C)"));
    close.SetModalResult(mrOk);
    close.SetDefault(true);
    auto& error = Add<TButton>("btnError", {12, 296, 110, 25});
    error.SetCaption(Sjis("エラーを出す(&E)"));
    error.OnClick = [](TControl&) {
      throw base::EFOpenError(base::FormatS(Sjis("%s:ファイルがありません"), "C:\\missing.dat"));
    };
  }
};

int RunWidgets(TApplication& application) {
  TWidgetForm form(application);
  int result = form.ShowModal();
  Log("result widgets " + std::to_string(result));
  return 0;
}

// Each kind with a set of buttons that together covers every caption; two
// dialogs in a row never share a caption, so the driver can tell them apart.
int RunDialogs(TApplication& application) {
  struct TCase {
    const char* Name;
    TMsgDlgType Kind;
    TMsgDlgButtons Buttons;
    const char* Text;
  };
  const TCase cases[] = {
      {"warning", TMsgDlgType::mtWarning, mbOK, "正しいインストール先を指定してください"},
      {"error", TMsgDlgType::mtError, mbOK, "C:\\game\\data.dat:ファイルがありません"},
      {"warning-yesno", TMsgDlgType::mtWarning, mbYesNo,
       "ドライブにじゅうぶんな空き容量がありません\r\nこのまま処理を続けますか？"},
      {"information", TMsgDlgType::mtInformation, mbOK | mbAbort, "ディスク2を入れてください"},
      {"confirmation", TMsgDlgType::mtConfirmation, mbYesNo, "インストールを中断しますか？"},
      {"okcancel", TMsgDlgType::mtInformation, mbOKCancel, "キャンセルもできます"},
  };
  for (const TCase& dialog : cases) {
    int result = application.MessageDialog(Sjis(dialog.Text), dialog.Kind, dialog.Buttons);
    Log(std::string("result dialog-") + dialog.Name + " " + std::to_string(result));
  }
  return 0;
}

}  // namespace

}  // namespace mora::gallery

int wmain(int argc, wchar_t** argv) {
  using namespace mora;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::wstring wide(argv[i]);
    args.push_back(base::Utf16ToCp932(std::u16string(wide.begin(), wide.end())));
  }
  if (args.empty()) {
    std::fputs(
        "usage: formgallery widgets|dialogs|launcher|launcher-enter|launcher-runtime|main|wizard|wizard-uninstall\n",
        stderr);
    return 2;
  }
  try {
    ui::TApplication application(ui::CreateWin32Backend());
    const std::string& mode = args[0];
    if (mode == "widgets") return gallery::RunWidgets(application);
    if (mode == "dialogs") return gallery::RunDialogs(application);
    int result = gallery::RunProgramWindows(application, args);
    if (result != -1) return result;
    std::fputs("formgallery: unknown mode\n", stderr);
    return 2;
  } catch (const std::exception& error) {
    std::string text = base::Cp932ToUtf8Lossy(error.what());
    gallery::Log("failure " + text);
    std::fprintf(stderr, "formgallery: %s\n", text.c_str());
    return 1;
  }
}
