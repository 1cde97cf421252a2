// JPEG and PNG coding: round trips and damaged data.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "pictures/jpeg.h"
#include "pictures/png.h"

namespace mora::pictures {
namespace {

TDIBSurface Gradient() {
  TDIBSurface s(7, 5, 24);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      s.SetColor(x, y,
                 MakeColor(static_cast<std::uint8_t>(x * 30), static_cast<std::uint8_t>(y * 50),
                           static_cast<std::uint8_t>(x + y)));
    }
  }
  return s;
}

TEST(CodecsTest, PngKeepsEveryPixelAndStartsWithTheSignature) {
  const TDIBSurface source = Gradient();
  const std::string png = EncodePng(source);
  ASSERT_GE(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  const TDIBSurface back = DecodePng(png, "test.png");
  ASSERT_EQ(back.Width(), 7);
  ASSERT_EQ(back.Height(), 5);
  EXPECT_FALSE(back.HasMask());
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(back.Color(x, y), source.Color(x, y));
  }
}

TEST(CodecsTest, DamagedPngAndJpegFail) {
  std::string png = EncodePng(Gradient());
  EXPECT_THROW(DecodePng(png.substr(0, png.size() / 2), "half.png"), base::EDamagedData);
  EXPECT_THROW(DecodePng("nothing", "none.png"), base::EDamagedData);
  const std::string jpeg = EncodeJpeg(Gradient(), 80);
  EXPECT_THROW(DecodeJpeg(jpeg.substr(0, jpeg.size() / 2), "half.jpg"), base::EDamagedData);
  EXPECT_THROW(DecodeJpeg("", "empty.jpg"), base::EDamagedData);
  EXPECT_THROW(DecodeJpeg(std::string("\xFF\xD8\xFF\xE0garbage", 11), "bad.jpg"),
               base::EDamagedData);
}

TEST(CodecsTest, JpegRoundTripStaysClose) {
  const TDIBSurface source = Gradient();
  const TDIBSurface back = DecodeJpeg(EncodeJpeg(source, 100), "g.jpg");
  ASSERT_EQ(back.Width(), 7);
  ASSERT_EQ(back.BitsPerPixel(), 24);
  int worst = 0;
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const TColor a = source.Color(x, y);
      const TColor b = back.Color(x, y);
      worst = std::max({worst, std::abs(RedOf(a) - RedOf(b)), std::abs(GreenOf(a) - GreenOf(b)),
                        std::abs(BlueOf(a) - BlueOf(b))});
    }
  }
  EXPECT_LE(worst, 24);
}

}  // namespace
}  // namespace mora::pictures
