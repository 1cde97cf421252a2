// The sample background picture of the Windows tests: a landscape drawn at
// run time and written with the Vint writer.
#include "samplepicture.h"

#include <cmath>

#include "pictures/dibsurface.h"
#include "pictures/vintwriter.h"

namespace mora::gallery {

namespace {

// A small landscape: sky gradient, sun, two rows of hills, a lake.
pictures::TDIBSurface Landscape(int width, int height) {
  pictures::TDIBSurface surface(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double sky = static_cast<double>(y) / height;
      auto red = static_cast<std::uint8_t>(255 - 120 * sky);
      auto green = static_cast<std::uint8_t>(170 + 60 * sky);
      auto blue = static_cast<std::uint8_t>(120 + 120 * sky);
      double sunX = x - width * 0.7;
      double sunY = y - height * 0.3;
      if (sunX * sunX + sunY * sunY < 900) {
        red = 255;
        green = 240;
        blue = 160;
      }
      double farHills = height * 0.55 + 25 * std::sin(x / 37.0);
      double nearHills = height * 0.68 + 18 * std::sin(x / 23.0 + 1.0);
      if (y > farHills) {
        red = 90;
        green = 120;
        blue = 150;
      }
      if (y > nearHills) {
        red = 40;
        green = static_cast<std::uint8_t>(110 + (x * 7 + y * 3) % 30);
        blue = 50;
      }
      if (y > height * 0.85) {
        red = 40;
        green = 90;
        blue = static_cast<std::uint8_t>(170 + (x + y) % 40);
      }
      surface.SetColor(x, y, pictures::MakeColor(red, green, blue));
    }
  }
  return surface;
}

}  // namespace

std::string SamplePictureBytes(std::int32_t seed) {
  pictures::TVintLayerSource layer;
  layer.Colour = Landscape(420, 280);
  layer.Name = "landscape";
  pictures::TVintFrameSource frame;
  frame.Name = "frame";
  frame.Width = 420;
  frame.Height = 280;
  frame.BitsPerPixel = 24;
  frame.Layers.push_back(std::move(layer));
  pictures::TVintPictureSource picture;
  picture.Shuffled = true;
  picture.Frames.push_back(std::move(frame));
  return pictures::WriteVint(picture, seed);
}

}  // namespace mora::gallery
