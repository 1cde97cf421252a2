// Thousands of damaged pictures of every compression: each loads or fails
// with the program's own exception and leaves the list empty; nothing is
// read or written outside a buffer (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include "base/errors.h"
#include "byte_damage.h"
#include "picture_test_util.h"
#include "pictures/vints.h"

namespace mora::pictures {
namespace {

using testing::FrameOf;
using testing::LayerOf;
using testing::PictureOf;
using testing::SurfaceOf;
using vint::TCompression;

// Two frames of two layers: a masked 24-bit layer under a colour-keyed one,
// tiled where the compression allows, and a palette frame.
std::string SamplePicture(TCompression compression, bool shuffled) {
  TDIBSurface colour = SurfaceOf(4, 3, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  colour.CreateMask(180);
  TVintFrameSource first = FrameOf(4, 3, 24, {LayerOf(colour), LayerOf(colour, 128, 5)});
  TVintFrameSource second = FrameOf(4, 3, 16, {LayerOf(SurfaceOf(4, 3, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}))});
  TVintPictureSource picture = PictureOf({first, second}, 105, compression);
  picture.Shuffled = shuffled;
  picture.TileWidth = compression == TCompression::Jpeg ? 0 : 2;
  picture.TileHeight = picture.TileWidth;
  return WriteVint(picture, 77);
}

TEST(VintDamage, DamagedPicturesLoadOrFailWithOurOwnErrors) {
  test::TByteDamage damage(5101);
  for (const auto compression : {TCompression::Deflate, TCompression::None, TCompression::Jpeg}) {
    for (const bool shuffled : {false, true}) {
      SCOPED_TRACE(static_cast<int>(compression) * 2 + shuffled);
      const std::string good = SamplePicture(compression, shuffled);
      int refused = 0;
      for (int round = 0; round < 600; ++round) {
        TVintFrameList list(77);
        platform::TMemoryStream stream(damage.Damage(good));
        try {
          list.LoadFromStream(stream, round % 5 == 0, "damaged.vnt");
          for (int i = 0; i < list.Count(); ++i) {
            // Palette frames end as 24 bits; others keep their depth.
            EXPECT_GT(list.Frame(i).Bitmap().BitsPerPixel(), 8);
          }
        } catch (const base::Exception& e) {
          ++refused;
          EXPECT_EQ(list.Count(), 0) << e.Message();
        }
      }
      EXPECT_GT(refused, 100);
    }
  }
}

}  // namespace
}  // namespace mora::pictures
