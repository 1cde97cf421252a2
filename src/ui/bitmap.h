// A 24-bit device-independent bitmap: what a paint box holds and what the
// portable painting code (gradients, picture placement) draws on. Rows are
// stored top-down, 3 bytes per pixel in the order blue, green, red, each row
// padded to a multiple of 4 bytes, so a Windows backend can hand Bits() to
// SetDIBitsToDevice / StretchDIBits with a BITMAPINFOHEADER of height -Height.
// Drawing clips at the edges; sizes below 0 throw ERangeError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/types.h"

namespace mora::ui {

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height);  // filled with black

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  int BitsPerPixel() const { return 24; }
  std::size_t Stride() const { return FStride; }  // bytes per row
  const std::uint8_t* Bits() const { return FBits.data(); }
  std::uint8_t* Bits() { return FBits.data(); }
  std::uint8_t* ScanLine(int y) { return FBits.data() + FStride * static_cast<std::size_t>(y); }
  const std::uint8_t* ScanLine(int y) const {
    return FBits.data() + FStride * static_cast<std::size_t>(y);
  }

  // New size; the contents become black.
  void SetSize(int width, int height);

  // Pixel access; positions outside the bitmap throw ERangeError on read and
  // are ignored on write.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // Fills the rectangle (clipped to the bitmap).
  void FillRect(const TRect& rect, TColor color);

  // Plain copy of source with its top-left corner at (x, y), clipped.
  void Draw(int x, int y, const TBitmap& source);
  // The same, drawing only inside clip.
  void Draw(int x, int y, const TBitmap& source, const TRect& clip);

  // Copy of source scaled to rect (nearest pixel, aspect ratio not kept),
  // clipped to this bitmap.
  void StretchDraw(const TRect& rect, const TBitmap& source);

 private:
  int FWidth = 0;
  int FHeight = 0;
  std::size_t FStride = 0;
  std::vector<std::uint8_t> FBits;
};

}  // namespace mora::ui
