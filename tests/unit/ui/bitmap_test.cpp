// The 24-bit bitmap: layout for the Windows blit, clipping of fills and
// copies, nearest-pixel stretching.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "ui/bitmap.h"

namespace mora::ui {
namespace {

constexpr TColor Red{255, 0, 0};
constexpr TColor Green{0, 255, 0};

TEST(BitmapTest, RowsArePaddedToFourBytesAndStoredBlueGreenRed) {
  TBitmap bitmap(5, 2);
  EXPECT_EQ(bitmap.Stride(), 16u);  // 15 bytes of pixels, padded
  bitmap.SetPixel(1, 1, TColor{1, 2, 3});
  const std::uint8_t* p = bitmap.ScanLine(1) + 3;
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[1], 2);
  EXPECT_EQ(p[2], 1);
  EXPECT_EQ(bitmap.Pixel(1, 1), (TColor{1, 2, 3}));
}

TEST(BitmapTest, OutsidePixelsThrowOnReadAndAreIgnoredOnWrite) {
  TBitmap bitmap(2, 2);
  bitmap.SetPixel(-1, 0, Red);
  bitmap.SetPixel(2, 1, Red);
  EXPECT_THROW(bitmap.Pixel(2, 0), base::ERangeError);
  EXPECT_THROW(bitmap.Pixel(0, -1), base::ERangeError);
  EXPECT_THROW(TBitmap(-1, 3), base::ERangeError);
  EXPECT_TRUE(TBitmap(0, 7).Empty());
}

TEST(BitmapTest, FillAndDrawClipAtEveryEdge) {
  TBitmap bitmap(4, 4);
  bitmap.FillRect({-2, -2, 4, 4}, Red);  // covers 0..1 x 0..1 only
  EXPECT_EQ(bitmap.Pixel(1, 1), Red);
  EXPECT_EQ(bitmap.Pixel(2, 1), clBlack);
  EXPECT_EQ(bitmap.Pixel(1, 2), clBlack);

  TBitmap source(3, 3);
  source.FillRect({0, 0, 3, 3}, Green);
  source.SetPixel(2, 2, Red);
  bitmap.Draw(2, 2, source);  // only source (0..1, 0..1) lands
  EXPECT_EQ(bitmap.Pixel(3, 3), Green);
  bitmap.Draw(-2, -2, source);  // source (2, 2) lands at (0, 0)
  EXPECT_EQ(bitmap.Pixel(0, 0), Red);

  TBitmap clipped(4, 4);
  clipped.Draw(0, 0, source, TRect{1, 1, 1, 1});
  EXPECT_EQ(clipped.Pixel(0, 0), clBlack);
  EXPECT_EQ(clipped.Pixel(1, 1), Green);
  EXPECT_EQ(clipped.Pixel(2, 2), clBlack);
}

TEST(BitmapTest, StretchDrawPicksTheNearestSourcePixel) {
  TBitmap source(2, 1);
  source.SetPixel(0, 0, Red);
  source.SetPixel(1, 0, Green);
  TBitmap target(4, 2);
  target.StretchDraw({0, 0, 4, 2}, source);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(target.Pixel(0, y), Red);
    EXPECT_EQ(target.Pixel(1, y), Red);
    EXPECT_EQ(target.Pixel(2, y), Green);
    EXPECT_EQ(target.Pixel(3, y), Green);
  }
  TBitmap shrunk(1, 1);
  shrunk.StretchDraw({0, 0, 1, 1}, source);
  EXPECT_EQ(shrunk.Pixel(0, 0), Red);
}

}  // namespace
}  // namespace mora::ui
