// TGradBox bands, pixel by pixel: band size rounded half to even, colours
// rounded half to even, the remainder strip, the centre direction and
// GradStep 0.
#include <gtest/gtest.h>

#include <memory>

#include "startup/gradbox.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/scripted/scripted.h"

namespace mora::startup {
namespace {

constexpr ui::TColor Marker{1, 2, 3};

class GradBoxTest : public ::testing::Test {
 protected:
  GradBoxTest() : App(std::make_unique<ui::TScriptedBackend>()), Form(App, "Form") {}

  // A box of the given size at the form's origin, painted over Marker.
  ui::TBitmap Paint(int width, int height, std::uint8_t step, TGradDirection direction,
                    ui::TColor start, ui::TColor end) {
    Form.SetClientSize(width, height);
    if (Box == nullptr) Box = &Form.Add<TGradBox>("GradBox", {});
    Box->SetBounds({0, 0, width, height});
    Box->SetStartColor(start);
    Box->SetEndColor(end);
    Box->SetGradStep(step);
    Box->SetDirection(direction);
    ui::TBitmap canvas;
    Form.PaintGraphics(canvas, Marker);
    return canvas;
  }

  ui::TApplication App;
  ui::TForm Form;
  TGradBox* Box = nullptr;
};

TEST_F(GradBoxTest, ANewBoxIsWhiteToBlackVerticalWith128Steps) {
  TGradBox& box = Form.Add<TGradBox>("Fresh");
  EXPECT_EQ(box.Bounds(), (ui::TRect{0, 0, 128, 128}));
  EXPECT_EQ(box.StartColor(), ui::clWhite);
  EXPECT_EQ(box.EndColor(), ui::clBlack);
  EXPECT_EQ(box.GradStep(), 128);
  EXPECT_EQ(box.Direction(), TGradDirection::gdVertical);
}

TEST_F(GradBoxTest, TheMainWindowGradientHasThreePixelBandsAndANavyRemainder) {
  const ui::TBitmap c = Paint(600, 400, 128, TGradDirection::gdVertical, ui::clBlue, ui::clNavy);
  // Band size round(400 / 129) = 3; blue of band i = 255 + round(-127 / 129 * i).
  EXPECT_EQ(c.Pixel(0, 0), (ui::TColor{0, 0, 255}));
  EXPECT_EQ(c.Pixel(599, 2), (ui::TColor{0, 0, 255}));
  EXPECT_EQ(c.Pixel(0, 3), (ui::TColor{0, 0, 254}));      // -0.98 -> -1
  EXPECT_EQ(c.Pixel(300, 192), (ui::TColor{0, 0, 192}));  // band 64: -63.01 -> -63
  EXPECT_EQ(c.Pixel(0, 389), (ui::TColor{0, 0, 128}));    // band 129: -127
  // 130 bands cover 390 rows; the last 10 take the last colour.
  for (int y = 390; y < 400; ++y) EXPECT_EQ(c.Pixel(599, y), ui::clNavy) << y;
}

TEST_F(GradBoxTest, HalvesRoundToEvenForBandsAndColours) {
  // Height 5, one step: band round(2.5) = 2; red of band 1 = round(127.5) = 128.
  const ui::TBitmap c =
      Paint(3, 5, 1, TGradDirection::gdVertical, ui::TColor{0, 0, 0}, ui::TColor{255, 3, 5});
  EXPECT_EQ(c.Pixel(1, 0), (ui::TColor{0, 0, 0}));
  EXPECT_EQ(c.Pixel(1, 1), (ui::TColor{0, 0, 0}));
  // Green round(1.5) = 2, blue round(2.5) = 2.
  EXPECT_EQ(c.Pixel(1, 2), (ui::TColor{128, 2, 2}));
  EXPECT_EQ(c.Pixel(1, 3), (ui::TColor{128, 2, 2}));
  EXPECT_EQ(c.Pixel(1, 4), (ui::TColor{255, 3, 5}));  // the last band, clipped
}

TEST_F(GradBoxTest, HorizontalBandsRunLeftToRightAndFillTheRemainder) {
  // Width 30, 11 steps: band round(30 / 12) = round(2.5) = 2, colour 20 * i;
  // 13 bands cover 26 columns, columns 26..29 take the last colour.
  const ui::TBitmap c =
      Paint(30, 2, 11, TGradDirection::gdHorizontal, ui::TColor{0, 0, 0}, ui::TColor{240, 0, 0});
  for (int x = 0; x < 26; ++x) EXPECT_EQ(c.Pixel(x, 1).R, 20 * (x / 2)) << x;
  for (int x = 26; x < 30; ++x) EXPECT_EQ(c.Pixel(x, 0).R, 240) << x;
}

TEST_F(GradBoxTest, CentreBandsMirrorAroundTheStartColourAndLeaveTheRemainder) {
  // Width 30, 11 steps: half 5, colour round(60 / 6 * |5 - i|), bands of 2.
  const ui::TBitmap c =
      Paint(30, 2, 11, TGradDirection::gdHorzCenter, ui::TColor{0, 0, 0}, ui::TColor{60, 0, 0});
  const int expected[13] = {50, 40, 30, 20, 10, 0, 10, 20, 30, 40, 50, 60, 70};
  for (int x = 0; x < 26; ++x) EXPECT_EQ(c.Pixel(x, 0).R, expected[x / 2]) << x;
  for (int x = 26; x < 30; ++x) EXPECT_EQ(c.Pixel(x, 0), Marker) << x;  // never filled
}

TEST_F(GradBoxTest, StepZeroPaintsTheStartColourAlone) {
  const ui::TBitmap c =
      Paint(7, 9, 0, TGradDirection::gdVertical, ui::TColor{10, 20, 30}, ui::TColor{200, 0, 0});
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(c.Pixel(x, y), (ui::TColor{10, 20, 30}));
  }
}

TEST_F(GradBoxTest, ASmallBoxPaintsOnePixelBandsAndClipsTheRest) {
  // Height 5 of 129 steps: band 0 becomes 1.
  const ui::TBitmap c = Paint(2, 5, 128, TGradDirection::gdVertical, ui::clBlue, ui::clNavy);
  EXPECT_EQ(c.Pixel(0, 0).B, 255);
  EXPECT_EQ(c.Pixel(0, 1).B, 254);
  EXPECT_EQ(c.Pixel(0, 4).B, 251);  // -127 / 129 * 4 = -3.94 -> -4
}

TEST_F(GradBoxTest, PaintingStaysInsideTheBox) {
  Form.SetClientSize(10, 10);
  TGradBox& box = Form.Add<TGradBox>("Inner", {2, 3, 4, 4});
  box.SetStartColor(ui::clBlue);
  ui::TBitmap c;
  Form.PaintGraphics(c, Marker);
  EXPECT_EQ(c.Pixel(2, 3).B, 255);
  EXPECT_EQ(c.Pixel(1, 3), Marker);
  EXPECT_EQ(c.Pixel(6, 3), Marker);
  EXPECT_EQ(c.Pixel(2, 7), Marker);
}

TEST_F(GradBoxTest, SettersFireOnChangeAsDocumented) {
  TGradBox& box = Form.Add<TGradBox>("Events", {});
  int changes = 0;
  box.OnChange = [&](TGradBox&) { ++changes; };
  box.SetStartColor(box.StartColor());
  box.SetEndColor(box.EndColor());
  box.SetGradStep(box.GradStep());
  EXPECT_EQ(changes, 3);
  box.SetDirection(TGradDirection::gdVertical);
  EXPECT_EQ(changes, 3);
  box.SetDirection(TGradDirection::gdHorizontal);
  EXPECT_EQ(changes, 4);
}

}  // namespace
}  // namespace mora::startup
