// Helpers for the picture tests: loading bytes as a picture and building
// small frames and layers from pixel values.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pictures/vints.h"
#include "pictures/vintwriter.h"

namespace mora::pictures::testing {

inline std::unique_ptr<TVintFrameList> LoadPicture(const std::string& bytes, std::int32_t seed,
                                                   bool firstFrameOnly = false) {
  auto list = std::make_unique<TVintFrameList>(seed);
  platform::TMemoryStream stream(bytes);
  list->LoadFromStream(stream, firstFrameOnly);
  return list;
}

// A surface of the given format whose pixel values come row by row from values.
inline TDIBSurface SurfaceOf(int width, int height, int bits,
                             const std::vector<std::uint32_t>& values) {
  TDIBSurface s(width, height, bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      s.SetPixel(x, y, values[static_cast<std::size_t>(y * width + x)]);
    }
  }
  return s;
}

// A surface filled with one pixel value.
inline TDIBSurface SolidSurface(int width, int height, int bits, std::uint32_t value) {
  TDIBSurface s(width, height, bits);
  s.FillValue(value);
  return s;
}

inline TVintLayerSource LayerOf(TDIBSurface colour, std::int32_t opacity = 255,
                                std::int32_t key = -1) {
  TVintLayerSource layer;
  layer.Colour = std::move(colour);
  layer.Opacity = opacity;
  layer.ColourKey = key;
  return layer;
}

inline TVintFrameSource FrameOf(int width, int height, int bits,
                                std::vector<TVintLayerSource> layers) {
  TVintFrameSource frame;
  frame.Width = width;
  frame.Height = height;
  frame.BitsPerPixel = bits;
  frame.Layers = std::move(layers);
  return frame;
}

inline TVintPictureSource PictureOf(std::vector<TVintFrameSource> frames, int version = 105,
                                    vint::TCompression compression = vint::TCompression::None) {
  TVintPictureSource picture;
  picture.Version = version;
  picture.Compression = compression;
  picture.Frames = std::move(frames);
  return picture;
}

}  // namespace mora::pictures::testing
