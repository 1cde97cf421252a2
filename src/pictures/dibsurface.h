// TDIBSurface: a device-independent bitmap (1, 4, 8, 15, 16, 24 or 32 bits per
// pixel, rows padded to 4 bytes, top row first, palette up to 8 bits, optional
// 8-bit mask) with pixel access, fills, clipped copies and stretching. Sizes
// beyond MaxSurfaceBytes throw ERangeError; out-of-range pixels are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mora::pictures {

// A colour as the pictures store it: red in the low byte, then green, then blue.
using TColor = std::uint32_t;

constexpr TColor MakeColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return TColor(red) | (TColor(green) << 8) | (TColor(blue) << 16);
}
constexpr std::uint8_t RedOf(TColor c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t GreenOf(TColor c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t BlueOf(TColor c) { return static_cast<std::uint8_t>(c >> 16); }

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

// Largest pixel store one surface may hold (and so the largest picture).
constexpr std::size_t MaxSurfaceBytes = std::size_t{256} << 20;
// Largest width or height of a surface.
constexpr int MaxSurfaceSide = 65535;

class TDIBSurface {
 public:
  TDIBSurface() = default;
  TDIBSurface(int width, int height, int bitsPerPixel) { SetSize(width, height, bitsPerPixel); }

  // Sizes the surface; pixels become 0, the palette (8 bits or fewer) gets
  // 1 << bits black entries, a present mask is resized and cleared to 0.
  void SetSize(int width, int height, int bitsPerPixel);
  // True when the bit count is one of 1, 4, 8, 15, 16, 24, 32.
  static bool ValidBits(int bitsPerPixel);
  // Bytes of one padded row, and bytes that carry pixels (ceil(width*bits/8)).
  static std::size_t PaddedRowBytes(int width, int bitsPerPixel);
  static std::size_t PixelRowBytes(int width, int bitsPerPixel);
  // Bits one pixel occupies in memory (15 is stored in 16).
  static int StorageBits(int bitsPerPixel) { return bitsPerPixel == 15 ? 16 : bitsPerPixel; }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int BitsPerPixel() const { return FBits; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  std::size_t Stride() const { return FStride; }
  std::uint8_t* Row(int y) { return FPixels.data() + static_cast<std::size_t>(y) * FStride; }
  const std::uint8_t* Row(int y) const {
    return FPixels.data() + static_cast<std::size_t>(y) * FStride;
  }
  std::vector<std::uint8_t>& Pixels() { return FPixels; }
  const std::vector<std::uint8_t>& Pixels() const { return FPixels; }

  // Channel masks for 15, 16, 24 and 32 bits; 0 otherwise.
  std::uint32_t RedMask() const;
  std::uint32_t GreenMask() const;
  std::uint32_t BlueMask() const;

  // Palette (8 bits or fewer): colours with red in the low byte.
  std::vector<TColor>& Palette() { return FPalette; }
  const std::vector<TColor>& Palette() const { return FPalette; }

  // Raw pixel values as stored (an index, a 5-5-5/5-6-5 word, 0xRRGGBB
  // with blue low for 24 bits, the whole dword for 32 bits).
  std::uint32_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, std::uint32_t value);
  // Pixel colours, converted through the palette or channel masks.
  TColor Color(int x, int y) const;
  void SetColor(int x, int y, TColor color) { SetPixel(x, y, NearestPixelValue(color)); }
  TColor ColorOfValue(std::uint32_t value) const;
  // The pixel value whose colour is nearest to color (palette: least squared
  // distance, the first such entry).
  std::uint32_t NearestPixelValue(TColor color) const;

  void Fill(TColor color) { FillValue(NearestPixelValue(color)); }
  void FillValue(std::uint32_t value);
  void FillRect(const TRect& rect, TColor color);

  // The optional 8-bit mask (255 opaque, 0 transparent), rows padded to 4.
  bool HasMask() const { return FHasMask; }
  void CreateMask(std::uint8_t initial = 255);
  void DropMask();
  std::size_t MaskStride() const { return FMaskStride; }
  std::uint8_t* MaskRow(int y) { return FMask.data() + static_cast<std::size_t>(y) * FMaskStride; }
  const std::uint8_t* MaskRow(int y) const {
    return FMask.data() + static_cast<std::size_t>(y) * FMaskStride;
  }
  std::uint8_t MaskAt(int x, int y) const;
  void SetMaskAt(int x, int y, std::uint8_t value);

  // Converts the pixels to 24 bits per pixel in place (the mask stays).
  void ConvertTo24();
  // Copies the source's rectangle to (destX, destY), clipped on both
  // surfaces; pixels are converted through their colours when the formats
  // differ. Draw copies the whole source.
  void CopyRect(const TDIBSurface& source, const TRect& sourceRect, int destX, int destY);
  void Draw(const TDIBSurface& source, int destX, int destY);
  // Scales the source onto dest (nearest neighbour), clipped to this surface.
  void StretchDraw(const TDIBSurface& source, const TRect& dest);

 private:
  bool SameFormat(const TDIBSurface& other) const;

  int FWidth = 0;
  int FHeight = 0;
  int FBits = 24;
  std::size_t FStride = 0;
  std::vector<std::uint8_t> FPixels;
  std::vector<TColor> FPalette;
  bool FHasMask = false;
  std::size_t FMaskStride = 0;
  std::vector<std::uint8_t> FMask;
};

}  // namespace mora::pictures
