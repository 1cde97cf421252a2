// TDIBSurface: pixel packing, channel masks, conversion, clipped copies and
// nearest-neighbour stretching.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/errors.h"
#include "pictures/dibsurface.h"

namespace mora::pictures {
namespace {

TEST(DIBSurfaceTest, RowsArePaddedToFourBytes) {
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(1, 1), 4u);
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(33, 1), 8u);
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(3, 4), 4u);
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(5, 8), 8u);
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(3, 15), 8u);
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(5, 24), 16u);
  EXPECT_EQ(TDIBSurface::PaddedRowBytes(3, 32), 12u);
  TDIBSurface s(5, 3, 24);
  EXPECT_EQ(s.Pixels().size(), 48u);
  EXPECT_THROW(TDIBSurface(2, 2, 12), base::ERangeError);
  EXPECT_THROW(TDIBSurface(-1, 2, 24), base::ERangeError);
  EXPECT_THROW(TDIBSurface(60000, 60000, 32), base::ERangeError);
}

TEST(DIBSurfaceTest, PacksSmallPixelsHighBitsFirst) {
  TDIBSurface one(10, 1, 1);
  one.SetPixel(0, 0, 1);
  one.SetPixel(9, 0, 1);
  EXPECT_EQ(one.Row(0)[0], 0x80);
  EXPECT_EQ(one.Row(0)[1], 0x40);
  TDIBSurface four(3, 1, 4);
  four.SetPixel(0, 0, 0xA);
  four.SetPixel(1, 0, 0x5);
  four.SetPixel(2, 0, 0xF);
  EXPECT_EQ(four.Row(0)[0], 0xA5);
  EXPECT_EQ(four.Row(0)[1], 0xF0);
  EXPECT_EQ(four.Pixel(1, 0), 5u);
  // Writes outside are ignored, reads outside give 0.
  four.SetPixel(3, 0, 1);
  four.SetPixel(-1, 0, 1);
  EXPECT_EQ(four.Pixel(5, 0), 0u);
  TDIBSurface rgb(1, 1, 24);
  rgb.SetPixel(0, 0, 0x112233);
  EXPECT_EQ(rgb.Row(0)[0], 0x33);  // blue first
  EXPECT_EQ(rgb.Color(0, 0), MakeColor(0x11, 0x22, 0x33));
}

TEST(DIBSurfaceTest, ChannelMasksAndNearestValues) {
  TDIBSurface fifteen(1, 1, 15);
  TDIBSurface sixteen(1, 1, 16);
  EXPECT_EQ(fifteen.GreenMask(), 0x3E0u);
  EXPECT_EQ(sixteen.GreenMask(), 0x7E0u);
  EXPECT_EQ(fifteen.NearestPixelValue(MakeColor(255, 0, 0)), 0x7C00u);
  EXPECT_EQ(sixteen.NearestPixelValue(MakeColor(0, 255, 0)), 0x07E0u);
  EXPECT_EQ(sixteen.ColorOfValue(0xFFFF), MakeColor(255, 255, 255));
  EXPECT_EQ(fifteen.ColorOfValue(0x0010), MakeColor(0, 0, 0x84));  // 10000b -> 10000100b
  // Each channel takes the value whose widened colour lies nearest, not the
  // truncated one. 16 bits, (7, 3, 4): red 1 widens to 8 (off by 1, where 0
  // is off by 7), green 1 widens to 4 (off by 1), blue 0 and 1 give 0 and 8,
  // equally far from 4, and the lower wins: 0x0820.
  EXPECT_EQ(sixteen.NearestPixelValue(MakeColor(7, 3, 4)), 0x0820u);
  // 15 bits, (248, 130, 255): red 30 widens to 247 (31 gives 255), green 16
  // to 132 (15 gives 123, 17 gives 140), blue 31 to 255: 0x7A1F.
  EXPECT_EQ(fifteen.NearestPixelValue(MakeColor(248, 130, 255)), 0x7A1Fu);
  // Every value maps back to itself through its colour.
  for (std::uint32_t v = 0; v <= 0xFFFF; ++v) {
    ASSERT_EQ(sixteen.NearestPixelValue(sixteen.ColorOfValue(v)), v) << v;
    if (v <= 0x7FFF) {
      ASSERT_EQ(fifteen.NearestPixelValue(fifteen.ColorOfValue(v)), v) << v;
    }
  }
  TDIBSurface indexed(1, 1, 4);
  indexed.Palette()[3] = MakeColor(200, 0, 0);
  indexed.Palette()[5] = MakeColor(0, 0, 200);
  EXPECT_EQ(indexed.NearestPixelValue(MakeColor(180, 10, 10)), 3u);
  EXPECT_EQ(indexed.NearestPixelValue(MakeColor(10, 10, 180)), 5u);
  EXPECT_EQ(indexed.NearestPixelValue(MakeColor(0, 0, 0)), 0u);  // first of the equal blacks
}

TEST(DIBSurfaceTest, ConvertsToTwentyFourBitsKeepingColoursAndMask) {
  TDIBSurface s(3, 2, 8);
  s.Palette()[1] = MakeColor(1, 2, 3);
  s.Palette()[2] = MakeColor(4, 5, 6);
  s.SetPixel(1, 0, 1);
  s.SetPixel(2, 1, 2);
  s.CreateMask(9);
  s.ConvertTo24();
  EXPECT_EQ(s.BitsPerPixel(), 24);
  EXPECT_TRUE(s.Palette().empty());
  EXPECT_EQ(s.Pixel(1, 0), 0x010203u);
  EXPECT_EQ(s.Pixel(2, 1), 0x040506u);
  EXPECT_EQ(s.Pixel(0, 0), 0u);
  EXPECT_EQ(s.MaskAt(2, 1), 9);
}

TEST(DIBSurfaceTest, DrawClipsOnBothSurfaces) {
  TDIBSurface target(4, 3, 24);
  TDIBSurface source(3, 3, 24);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) source.SetPixel(x, y, static_cast<std::uint32_t>(10 * y + x + 1));
  }
  target.Draw(source, 2, -1);
  // Source rows 1 and 2, columns 0 and 1 land at (2..3, 0..1).
  EXPECT_EQ(target.Pixel(2, 0), 11u);
  EXPECT_EQ(target.Pixel(3, 0), 12u);
  EXPECT_EQ(target.Pixel(2, 1), 21u);
  EXPECT_EQ(target.Pixel(1, 0), 0u);
  EXPECT_EQ(target.Pixel(2, 2), 0u);
  target.CopyRect(source, TRect{1, 1, 3, 3}, -1, 2);
  EXPECT_EQ(target.Pixel(0, 2), 13u);  // source (2, 1); row 2 lies outside
  // Different formats go through colours.
  TDIBSurface indexed(1, 1, 8);
  indexed.Palette()[0] = MakeColor(9, 8, 7);
  target.Draw(indexed, 0, 0);
  EXPECT_EQ(target.Color(0, 0), MakeColor(9, 8, 7));
}

TEST(DIBSurfaceTest, StretchDrawPicksNearestSourcePixels) {
  TDIBSurface source(2, 1, 24);
  source.SetPixel(0, 0, 1);
  source.SetPixel(1, 0, 2);
  TDIBSurface target(5, 2, 24);
  target.StretchDraw(source, TRect{0, 0, 4, 2});
  // x * 2 / 4: columns 0,1 from 0; 2,3 from 1; column 4 untouched.
  EXPECT_EQ(target.Pixel(0, 1), 1u);
  EXPECT_EQ(target.Pixel(1, 0), 1u);
  EXPECT_EQ(target.Pixel(2, 0), 2u);
  EXPECT_EQ(target.Pixel(3, 1), 2u);
  EXPECT_EQ(target.Pixel(4, 0), 0u);
  target.StretchDraw(source, TRect{-2, 0, 2, 1});  // clipped on the left
  EXPECT_EQ(target.Pixel(0, 0), 2u);
}

TEST(DIBSurfaceTest, FillUsesTheNearestValueAndMaskFollowsResize) {
  TDIBSurface s(2, 2, 16);
  s.Fill(MakeColor(255, 255, 255));
  EXPECT_EQ(s.Pixel(1, 1), 0xFFFFu);
  s.FillRect(TRect{1, 1, 5, 5}, MakeColor(0, 0, 0));
  EXPECT_EQ(s.Pixel(1, 1), 0u);
  EXPECT_EQ(s.Pixel(0, 1), 0xFFFFu);
  s.CreateMask();
  s.SetSize(5, 4, 16);
  ASSERT_TRUE(s.HasMask());
  EXPECT_EQ(s.MaskStride(), 8u);
  EXPECT_EQ(s.MaskAt(4, 3), 0);
}

TEST(DIBSurfaceTest, FillSetsEveryPixelAndLeavesTheOtherBitsAlone) {
  struct TCase {
    int Width;
    int Bits;
    std::uint32_t Value;
  } cases[] = {{13, 1, 1},      {7, 1, 1},       {5, 4, 0xA},       {3, 8, 0x5C},
               {3, 15, 0x7C1F}, {3, 16, 0xF81F}, {5, 24, 0x123456}, {2, 32, 0x89ABCDEF}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Bits);
    TDIBSurface s(c.Width, 3, c.Bits);
    // Padding and unused bits of a shared last byte hold a pattern that a
    // fill must keep.
    std::fill(s.Pixels().begin(), s.Pixels().end(), std::uint8_t{0xA5});
    TDIBSurface expected = s;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < c.Width; ++x) expected.SetPixel(x, y, c.Value);
    }
    s.FillValue(c.Value);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < c.Width; ++x) EXPECT_EQ(s.Pixel(x, y), c.Value) << x << "," << y;
    }
    EXPECT_EQ(s.Pixels(), expected.Pixels());
  }
}

}  // namespace
}  // namespace mora::pictures
