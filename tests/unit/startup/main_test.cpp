// The main window: caption rules, the footer strip, the gradient with the
// picture over it in each layout, a missing picture, and showing the wizard.
#include "startup/main.h"

#include "installer/engine.h"
#include "startup_fixture.h"

namespace mora::startup::testing {
namespace {

class NoSteps : public installer::TInstallEngine {
 public:
  installer::TStepOutcome Install(settings::TMoraInstallSet&, archive::TVrFileCollection*,
                                  const installer::TInstallRequest&,
                                  installer::TStepObserver&) override {
    return installer::TStepOutcome::Finished;
  }
  installer::TStepOutcome Uninstall(settings::TMoraInstallSet&, const installer::TUninstallRequest&,
                                    installer::TStepObserver&) override {
    return installer::TStepOutcome::Finished;
  }
};

class FormMainTest : public StartupTest {
 protected:
  ui::TBitmap Canvas(const TFormMain& form) {
    ui::TBitmap canvas;
    form.PaintGraphics(canvas);
    return canvas;
  }
};

TEST_F(FormMainTest, TheCaptionFollowsTheModeAndTheSetupCaption) {
  {
    TFormMain form(App, Settings, &Archive);
    EXPECT_EQ(form.Caption(), Sjis("テストタイトルのセットアップ"));
    EXPECT_EQ(Script->ApplicationTitle(), Settings.Title);
  }
  Settings.SetupCaption = Sjis("特別なセットアップ");
  {
    TFormMain form(App, Settings, &Archive);
    EXPECT_EQ(form.Caption(), Sjis("特別なセットアップ"));
  }
  Settings.UninstallMode = 1;
  TFormMain form(App, Settings, nullptr);
  EXPECT_EQ(form.Caption(), Sjis("テストタイトルの削除"));
}

TEST_F(FormMainTest, TheFooterIsABlackStripEightPixelsAboveTheBottom) {
  Settings.FooterText = Sjis("(C) メーカー");
  TFormMain form(App, Settings, &Archive);
  EXPECT_EQ(form.ClientSize(), (ui::TSize{600, 400}));
  EXPECT_EQ(form.LabelRight->Caption(), Sjis("(C) メーカー "));
  EXPECT_EQ(form.LabelRight->Bounds(), (ui::TRect{0, 380, 600, 12}));
  EXPECT_EQ(form.LabelRight->Alignment(), ui::TAlignment::RightJustify);
  EXPECT_FALSE(form.LabelRight->Transparent());
  EXPECT_FALSE(form.LabelRight->AutoSize());
  EXPECT_EQ(form.LabelRight->Color(), ui::clBlack);
  EXPECT_EQ(form.LabelRight->FontColor(), ui::clWhite);

  Settings.FooterText.clear();
  TFormMain empty(App, Settings, &Archive);
  EXPECT_EQ(empty.LabelRight->Caption(), " ");
}

TEST_F(FormMainTest, WithoutAPictureTheBlueGradientShows) {
  TFormMain form(App, Settings, &Archive);
  const ui::TBitmap c = Canvas(form);
  EXPECT_EQ(c.Pixel(0, 0), ui::clBlue);
  EXPECT_EQ(c.Pixel(10, 3), (ui::TColor{0, 0, 254}));
  EXPECT_EQ(c.Pixel(599, 399), ui::clNavy);
  EXPECT_TRUE(form.PaintBox->Bitmap().Empty());
}

TEST_F(FormMainTest, ACentredPictureSitsInTheMiddleOverTheGradient) {
  WritePicture("bg.vnt", 4, 2, [](int x, int) {
    return ui::TColor{static_cast<std::uint8_t>(100 + x), 1, 1};
  });
  TFormMain form(App, Settings, &Archive);
  const ui::TBitmap c = Canvas(form);
  // Left (600 - 4) / 2 = 298, top (400 - 2) / 2 = 199.
  EXPECT_EQ(c.Pixel(298, 199), (ui::TColor{100, 1, 1}));
  EXPECT_EQ(c.Pixel(301, 200), (ui::TColor{103, 1, 1}));
  EXPECT_EQ(c.Pixel(297, 199).R, 0);  // the gradient around it
  EXPECT_EQ(c.Pixel(298, 201).R, 0);
}

TEST_F(FormMainTest, ALargerCentredPictureIsCutEquallyOnAllSides) {
  WritePicture("big.vnt", 602, 404, [](int x, int y) {
    return ui::TColor{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0};
  });
  TFormMain form(App, Settings, &Archive);
  const ui::TBitmap c = Canvas(form);
  EXPECT_EQ(c.Pixel(0, 0), (ui::TColor{1, 2, 0}));
  EXPECT_EQ(c.Pixel(599, 399),
            (ui::TColor{static_cast<std::uint8_t>(600), static_cast<std::uint8_t>(401), 0}));
}

TEST_F(FormMainTest, AStretchedPictureCoversTheWholeWindow) {
  WritePicture("quad.vnt", 2, 2, [](int x, int y) {
    return ui::TColor{static_cast<std::uint8_t>(x * 200), static_cast<std::uint8_t>(y * 200), 50};
  });
  Settings.BackgroundLayout = 1;
  TFormMain form(App, Settings, &Archive);
  const ui::TBitmap c = Canvas(form);
  EXPECT_EQ(c.Pixel(0, 0), (ui::TColor{0, 0, 50}));
  EXPECT_EQ(c.Pixel(299, 199), (ui::TColor{0, 0, 50}));
  EXPECT_EQ(c.Pixel(300, 199), (ui::TColor{200, 0, 50}));
  EXPECT_EQ(c.Pixel(599, 399), (ui::TColor{200, 200, 50}));
}

TEST_F(FormMainTest, AOnePixelTiledPictureFillsTheWindow) {
  WritePicture("dot.vnt", 1, 1, [](int, int) { return ui::TColor{5, 6, 7}; });
  Settings.BackgroundLayout = 2;
  TFormMain form(App, Settings, &Archive);
  const ui::TBitmap c = Canvas(form);
  EXPECT_EQ(form.PaintBox->Bitmap().Width(), 600);
  EXPECT_EQ(c.Pixel(0, 0), (ui::TColor{5, 6, 7}));
  EXPECT_EQ(c.Pixel(599, 399), (ui::TColor{5, 6, 7}));
}

TEST_F(FormMainTest, AnUnknownLayoutOrUninstallModeShowsNoPicture) {
  WritePicture("bg.vnt", 4, 4, [](int, int) { return ui::TColor{200, 0, 0}; });
  Settings.BackgroundLayout = 3;
  TFormMain unknown(App, Settings, &Archive);
  EXPECT_TRUE(unknown.PaintBox->Bitmap().Empty());
  EXPECT_EQ(Canvas(unknown).Pixel(300, 200).R, 0);

  Settings.BackgroundLayout = 0;
  Settings.UninstallMode = 1;
  TFormMain uninstall(App, Settings, nullptr);
  EXPECT_TRUE(uninstall.PaintBox->Bitmap().Empty());
}

TEST_F(FormMainTest, AMissingPictureIsReportedAndTheFooterKeepsItsDesign) {
  Settings.BackgroundPicture = "missing.vnt";
  Settings.FooterText = "footer";
  Script->Answer("OK");
  TFormMain form(App, Settings, &Archive);
  ASSERT_EQ(Script->Dialogs().size(), 1u);
  EXPECT_EQ(Script->Dialogs()[0].Dialog.Text, Sjis("missing.vnt:ファイルがありません"));
  EXPECT_EQ(form.LabelRight->Caption(), "LabelRight");
  EXPECT_EQ(form.LabelRight->Bounds(), (ui::TRect{536, 380, 60, 12}));
  EXPECT_EQ(form.Caption(), Sjis("テストタイトルのセットアップ"));
  EXPECT_EQ(Canvas(form).Pixel(0, 0), ui::clBlue);
}

TEST_F(FormMainTest, TheWizardIsShownModallyInFrontOfTheMainWindow) {
  TFormMain form(App, Settings, &Archive);
  form.Show();
  form.BringToFront();
  NoSteps engine;
  installer::TWizardEnvironment environment;
  environment.FirstArgument = Medium;
  environment.DiskFreeBytes = [](const std::string&) { return std::int64_t{1} << 40; };
  environment.Sleep = [](std::uint32_t) {};
  Script->Call([&](ui::TForm& active) {
    EXPECT_EQ(active.Name(), "FormType");
    EXPECT_EQ(active.Owner(), &form);
    EXPECT_EQ(active.Position(), ui::TFormPosition::OwnerFormCenter);
  });
  Script->Close().Answer("yes");
  form.ShowWizard(engine, environment);
  EXPECT_TRUE(form.Showing());
  EXPECT_EQ(Script->ActiveForm(), &form);
  form.Hide();
}

}  // namespace
}  // namespace mora::startup::testing
