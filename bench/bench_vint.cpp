// Decoding an 800 x 600 Vint picture (24 bits, rows shuffled) in each
// compression, with and without 64 x 64 tiles, beside the baseline of the
// least any decoder does: inflating the same pixels held as one zlib stream.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "archive/zstream.h"
#include "pictures/vints.h"
#include "pictures/vintwriter.h"
#include "platform/streams.h"

namespace {

using namespace mora;
using namespace mora::pictures;

constexpr int Width = 800;
constexpr int Height = 600;

// A picture with soft gradients and some detail, as a title's background.
TDIBSurface Background() {
  TDIBSurface surface(Width, Height, 24);
  std::uint32_t noise = 12345;
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* row = surface.Row(y);
    for (int x = 0; x < Width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int grain = static_cast<int>((noise >> 16) & 7);
      row[3 * x + 0] = static_cast<std::uint8_t>((x * 255 / Width + grain) & 0xFF);
      row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / Height + grain) & 0xFF);
      row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) / 6 + grain) & 0xFF);
    }
  }
  return surface;
}

std::string Picture(vint::TCompression compression, bool tiled) {
  TVintPictureSource picture;
  picture.Version = 105;
  picture.Shuffled = true;
  picture.Compression = compression;
  if (tiled) picture.TileWidth = picture.TileHeight = 64;
  TVintFrameSource frame;
  frame.Width = Width;
  frame.Height = Height;
  frame.BitsPerPixel = 24;
  TVintLayerSource layer;
  layer.Colour = Background();
  frame.Layers.push_back(std::move(layer));
  picture.Frames.push_back(std::move(frame));
  return WriteVint(picture, 20010401);
}

void BM_Vint_Baseline_InflatePixels(benchmark::State& state) {
  const TDIBSurface surface = Background();
  const std::string compressed = archive::DeflateBytes(
      std::string(reinterpret_cast<const char*>(surface.Pixels().data()), surface.Pixels().size()));
  for (auto _ : state) benchmark::DoNotOptimize(archive::InflateBytes(compressed));
}
BENCHMARK(BM_Vint_Baseline_InflatePixels)->Unit(benchmark::kMillisecond);

void BM_Vint_Decode(benchmark::State& state) {
  const auto compression = static_cast<vint::TCompression>(state.range(0));
  const bool tiled = state.range(1) != 0;
  const std::string bytes = Picture(compression, tiled);
  for (auto _ : state) {
    platform::TMemoryStream stream(bytes);
    TVintFrameList list(20010401);
    list.LoadFromStream(stream);
    if (list.Count() != 1 || list.Frame(0).Bitmap().Width() != Width) {
      state.SkipWithError("decode failed");
    }
  }
  state.SetLabel(std::string(compression == vint::TCompression::Deflate ? "deflate"
                             : compression == vint::TCompression::None  ? "none"
                                                                        : "jpeg") +
                 (tiled ? ", tiles" : ", rows"));
}
BENCHMARK(BM_Vint_Decode)
    ->ArgsProduct({{static_cast<int>(vint::TCompression::Deflate),
                    static_cast<int>(vint::TCompression::None),
                    static_cast<int>(vint::TCompression::Jpeg)},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
