// The launcher menu: the four layouts and their heights, the start button's
// state, the results and LauncherChoice, the runtime installers, and the
// background picture (also when it is missing).
#include "startup/formstart.h"

#include <vector>

#include "startup_fixture.h"

namespace mora::startup::testing {
namespace {

class FormStartTest : public StartupTest {
 protected:
  FormStartTest() {
    SetupFolder = "C:\\Setup\\" + TestName + "\\";
    platform::ForceDirectories(SetupFolder);
  }
  void Offer(const std::string& relative) {
    const std::string path = SetupFolder + relative;
    platform::ForceDirectories(path.substr(0, path.rfind('\\')));
    platform::WriteFileAtomic(path, "MZ");
  }
  std::unique_ptr<TFormStart> Make() {
    TLauncherEnvironment environment;
    environment.SetupFolder = SetupFolder;
    environment.StartProgram = [this](const std::string& file, ui::TForm& owner) {
      Started.push_back(file);
      Owners.push_back(&owner);
    };
    return std::make_unique<TFormStart>(App, Settings, &Archive, environment);
  }
  std::string SetupFolder;
  std::vector<std::string> Started;
  std::vector<ui::TForm*> Owners;
};

struct TLayoutCase {
  bool RuntimeButtons;
  bool DirectX;
  bool WinMedia;
  int ExitTop;
  int WinMediaTop;
  int Height;
};

TEST_F(FormStartTest, TheRuntimeButtonsDecideTheLayoutAndTheHeight) {
  const TLayoutCase cases[] = {
      {true, true, true, 188, 136, 230},  {true, true, false, 152, 136, 194},
      {true, false, true, 152, 100, 194}, {true, false, false, 116, 100, 158},
      {false, true, true, 116, 100, 158},
  };
  for (const TLayoutCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.RuntimeButtons) + std::to_string(c.DirectX) +
                 std::to_string(c.WinMedia));
    platform::DeleteFile(SetupFolder + DirectXInstaller);
    platform::DeleteFile(SetupFolder + WinMediaInstaller);
    if (c.DirectX) Offer(DirectXInstaller);
    if (c.WinMedia) Offer(WinMediaInstaller);
    Settings.ShowRuntimeButtons = c.RuntimeButtons ? 1 : 0;
    auto form = Make();
    EXPECT_EQ(form->ClientWidth(), 265);
    EXPECT_EQ(form->ClientHeight(), c.Height);
    EXPECT_EQ(form->PaintBox->Height(), c.Height);
    EXPECT_EQ(form->btnStart->Top(), 12);
    EXPECT_EQ(form->btnInstall->Top(), 64);
    EXPECT_EQ(form->btnDirectX->Visible(), c.RuntimeButtons && c.DirectX);
    EXPECT_EQ(form->btnDirectX->Top(), 100);
    EXPECT_EQ(form->btnWinMedia->Visible(), c.RuntimeButtons && c.WinMedia);
    if (form->btnWinMedia->Visible()) {
      EXPECT_EQ(form->btnWinMedia->Top(), c.WinMediaTop);
    }
    EXPECT_EQ(form->btnExit->Top(), c.ExitTop);
    EXPECT_TRUE(form->btnExit->Visible());
  }
}

TEST_F(FormStartTest, WithNothingInstalledStartIsDisabledAndInstallChoosesOne) {
  auto form = Make();
  EXPECT_EQ(form->Caption(), Settings.Title);
  EXPECT_EQ(Script->ApplicationTitle(), Settings.Title);
  EXPECT_TRUE(form->btnStart->Visible());
  EXPECT_FALSE(form->btnStart->Enabled());
  EXPECT_EQ(form->DefaultButton(), nullptr);
  EXPECT_EQ(form->CancelButton(), nullptr);
  Script->Click(Sjis("インストール"));
  EXPECT_EQ(form->ShowModal(), ui::mrOk);
  EXPECT_EQ(form->LauncherChoice(), 1);
}

TEST_F(FormStartTest, AnInstalledGameCanBeStarted) {
  Install();
  auto form = Make();
  EXPECT_TRUE(form->btnStart->Enabled());
  Script->Click("btnStart");
  EXPECT_EQ(form->ShowModal(), ui::mrOk);
  EXPECT_EQ(form->LauncherChoice(), 0);
}

TEST_F(FormStartTest, ExitEscapeAndTheCloseBoxCancel) {
  auto form = Make();
  Script->Call([](ui::TForm& f) {
    f.UserPressEscape();  // no cancel button: nothing happens
    f.UserPressEnter();
    EXPECT_EQ(f.ModalResult(), ui::mrNone);
  });
  Script->Click(Sjis("終了"));
  EXPECT_EQ(form->ShowModal(), ui::mrCancel);
  Script->Close();
  EXPECT_EQ(form->ShowModal(), ui::mrCancel);
  EXPECT_TRUE(Script->Dialogs().empty());
}

TEST_F(FormStartTest, RuntimeInstallersStartBesideTheSetupProgramAndTheMenuStays) {
  Settings.ShowRuntimeButtons = 1;
  Offer(DirectXInstaller);
  Offer(WinMediaInstaller);
  auto form = Make();
  Script->Click(Sjis("DirectXをインストール")).Click("btnWinMedia").Click("btnDirectX");
  Script->Call([](ui::TForm& f) { EXPECT_TRUE(f.Showing()); });
  Script->Click("btnExit");
  EXPECT_EQ(form->ShowModal(), ui::mrCancel);
  EXPECT_EQ(Started, (std::vector<std::string>{SetupFolder + "directx\\dxsetup.exe",
                                               SetupFolder + "winmedia\\mp71.exe",
                                               SetupFolder + "directx\\dxsetup.exe"}));
  // Each start is owned by the launcher's window.
  EXPECT_EQ(Owners, (std::vector<ui::TForm*>(3, form.get())));
}

TEST_F(FormStartTest, ACentredPictureIsCentredAgainInTheSmallerMenu) {
  WritePicture("bg.vnt", 10, 10, [](int x, int y) {
    return ui::TColor{static_cast<std::uint8_t>(x * 20), static_cast<std::uint8_t>(y * 20), 7};
  });
  Settings.BackgroundLayout = 0;
  auto form = Make();
  ASSERT_EQ(form->PaintBox->Bitmap().Width(), 10);
  ui::TBitmap canvas;
  form->PaintGraphics(canvas);
  // Left (265 - 10) / 2 = 127, top (158 - 10) / 2 = 74.
  EXPECT_EQ(canvas.Pixel(127, 74), (ui::TColor{0, 0, 7}));
  EXPECT_EQ(canvas.Pixel(136, 83), (ui::TColor{180, 180, 7}));
  EXPECT_EQ(canvas.Pixel(126, 74), ui::clBtnFace);
}

TEST_F(FormStartTest, ATiledPictureKeepsItsDesignedSizeAndLosesTheLowerPart) {
  WritePicture("tile.vnt", 1, 1, [](int, int) { return ui::TColor{9, 8, 7}; });
  Settings.BackgroundLayout = 2;
  auto form = Make();
  EXPECT_EQ(form->PaintBox->Bitmap().Width(), 265);
  EXPECT_EQ(form->PaintBox->Bitmap().Height(), 230);
  ui::TBitmap canvas;
  form->PaintGraphics(canvas);
  EXPECT_EQ(canvas.Height(), 158);
  EXPECT_EQ(canvas.Pixel(264, 157), (ui::TColor{9, 8, 7}));
}

TEST_F(FormStartTest, AMissingPictureIsReportedAndTheMenuStillWorks) {
  Settings.BackgroundPicture = "missing.vnt";
  Settings.ShowRuntimeButtons = 1;
  Script->Answer("OK");  // the error box shown while the menu is prepared
  auto form = Make();
  ASSERT_EQ(Script->Dialogs().size(), 1u);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Kind, ui::TMsgDlgType::mtError);
  EXPECT_NE(Script->Dialogs()[0].Dialog.Text.find(Sjis("ファイルがありません")), std::string::npos);
  EXPECT_TRUE(form->PaintBox->Bitmap().Empty());
  EXPECT_EQ(form->ClientHeight(), 158);  // no installers beside the program
  EXPECT_FALSE(form->btnStart->Enabled());
  Script->Click("btnInstall");
  EXPECT_EQ(form->ShowModal(), ui::mrOk);
}

TEST_F(FormStartTest, ADamagedPictureIsReportedAndLeavesTheBoxEmpty) {
  platform::WriteFileAtomic(Medium + "game.dat\\bad.vnt", "Vint105 broken");
  Settings.BackgroundPicture = "bad.vnt";
  Script->Answer("OK");
  auto form = Make();
  ASSERT_EQ(Script->Dialogs().size(), 1u);
  EXPECT_TRUE(form->PaintBox->Bitmap().Empty());
  EXPECT_EQ(Script->PendingActions(), 0u);
}

}  // namespace
}  // namespace mora::startup::testing
