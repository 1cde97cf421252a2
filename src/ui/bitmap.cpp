// 24-bit top-down bitmap with clipped copies.
#include "ui/bitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/errors.h"

namespace mora::ui {

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0) {
    throw base::ERangeError("bitmap size " + std::to_string(width) + " x " +
                            std::to_string(height) + " is negative");
  }
  if (width == 0 || height == 0) {
    width = 0;
    height = 0;
  }
  FWidth = width;
  FHeight = height;
  FStride = (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
  FBits.assign(FStride * static_cast<std::size_t>(height), 0);
}

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) {
    throw base::ERangeError("pixel " + std::to_string(x) + ", " + std::to_string(y) +
                            " lies outside the bitmap of " + std::to_string(FWidth) + " x " +
                            std::to_string(FHeight));
  }
  const std::uint8_t* p = ScanLine(y) + static_cast<std::size_t>(x) * 3;
  return TColor{p[2], p[1], p[0]};
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  std::uint8_t* p = ScanLine(y) + static_cast<std::size_t>(x) * 3;
  p[0] = color.B;
  p[1] = color.G;
  p[2] = color.R;
}

void TBitmap::FillRect(const TRect& rect, TColor color) {
  const int left = std::max(rect.Left, 0);
  const int top = std::max(rect.Top, 0);
  const int right = std::min(rect.Right(), FWidth);
  const int bottom = std::min(rect.Bottom(), FHeight);
  for (int y = top; y < bottom; ++y) {
    std::uint8_t* p = ScanLine(y) + static_cast<std::size_t>(left) * 3;
    for (int x = left; x < right; ++x) {
      *p++ = color.B;
      *p++ = color.G;
      *p++ = color.R;
    }
  }
}

void TBitmap::Draw(int x, int y, const TBitmap& source) {
  Draw(x, y, source, TRect{0, 0, FWidth, FHeight});
}

void TBitmap::Draw(int x, int y, const TBitmap& source, const TRect& clip) {
  const int left = std::max({x, 0, clip.Left});
  const int top = std::max({y, 0, clip.Top});
  const int right = std::min({x + source.Width(), FWidth, clip.Right()});
  const int bottom = std::min({y + source.Height(), FHeight, clip.Bottom()});
  if (left >= right || top >= bottom) return;
  const std::size_t bytes = static_cast<std::size_t>(right - left) * 3;
  for (int row = top; row < bottom; ++row) {
    std::memcpy(ScanLine(row) + static_cast<std::size_t>(left) * 3,
                source.ScanLine(row - y) + static_cast<std::size_t>(left - x) * 3, bytes);
  }
}

void TBitmap::StretchDraw(const TRect& rect, const TBitmap& source) {
  if (source.Empty() || rect.Width <= 0 || rect.Height <= 0) return;
  const int left = std::max(rect.Left, 0);
  const int top = std::max(rect.Top, 0);
  const int right = std::min(rect.Right(), FWidth);
  const int bottom = std::min(rect.Bottom(), FHeight);
  for (int y = top; y < bottom; ++y) {
    const auto sy =
        static_cast<int>(static_cast<std::int64_t>(y - rect.Top) * source.Height() / rect.Height);
    const std::uint8_t* sourceRow = source.ScanLine(sy);
    std::uint8_t* p = ScanLine(y) + static_cast<std::size_t>(left) * 3;
    for (int x = left; x < right; ++x) {
      const auto sx =
          static_cast<int>(static_cast<std::int64_t>(x - rect.Left) * source.Width() / rect.Width);
      const std::uint8_t* s = sourceRow + static_cast<std::size_t>(sx) * 3;
      *p++ = s[0];
      *p++ = s[1];
      *p++ = s[2];
    }
  }
}

}  // namespace mora::ui
