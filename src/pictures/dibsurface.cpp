#include "pictures/dibsurface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/errors.h"

namespace mora::pictures {

namespace {

// Widens a channel of n bits to 8 bits by repeating its high bits.
std::uint8_t Widen(std::uint32_t value, int bits) {
  const std::uint32_t v = value << (8 - bits);
  return static_cast<std::uint8_t>(v | (v >> bits));
}

// The n-bit channel value whose widened colour lies nearest to the 8-bit
// channel c (the lower one when two are equally near). Truncating c is not
// enough: widening adds the high bits below, so 7 lies nearer to the 5-bit 1
// (widened 8) than to 0.
std::uint32_t NearestChannel(std::uint32_t c, int bits) {
  const std::uint32_t top = (1u << bits) - 1;
  const std::uint32_t truncated = c >> (8 - bits);
  std::uint32_t best = truncated;
  int bestDistance = 256;
  const std::uint32_t last = std::min(truncated + 1, top);
  for (std::uint32_t v = truncated == 0 ? 0 : truncated - 1; v <= last; ++v) {
    const int distance = std::abs(int(Widen(v, bits)) - int(c));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = v;
    }
  }
  return best;
}

}  // namespace

bool TDIBSurface::ValidBits(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 15:
    case 16:
    case 24:
    case 32: return true;
    default: return false;
  }
}

std::size_t TDIBSurface::PixelRowBytes(int width, int bitsPerPixel) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(StorageBits(bitsPerPixel)) +
          7) /
         8;
}

std::size_t TDIBSurface::PaddedRowBytes(int width, int bitsPerPixel) {
  return (PixelRowBytes(width, bitsPerPixel) + 3) / 4 * 4;
}

void TDIBSurface::SetSize(int width, int height, int bitsPerPixel) {
  if (!ValidBits(bitsPerPixel)) {
    throw base::ERangeError("bitmap: " + std::to_string(bitsPerPixel) +
                            " bits per pixel are not supported");
  }
  if (width < 0 || height < 0 || width > MaxSurfaceSide || height > MaxSurfaceSide) {
    throw base::ERangeError("bitmap: size " + std::to_string(width) + " x " +
                            std::to_string(height) + " is out of range");
  }
  const std::size_t stride = PaddedRowBytes(width, bitsPerPixel);
  if (height != 0 && stride > MaxSurfaceBytes / static_cast<std::size_t>(height)) {
    throw base::ERangeError("bitmap: size " + std::to_string(width) + " x " +
                            std::to_string(height) + " is too large");
  }
  FWidth = width;
  FHeight = height;
  FBits = bitsPerPixel;
  FStride = stride;
  FPixels.assign(stride * static_cast<std::size_t>(height), 0);
  if (bitsPerPixel <= 8) {
    FPalette.assign(std::size_t{1} << bitsPerPixel, 0);
  } else {
    FPalette.clear();
  }
  if (FHasMask) CreateMask(0);
}

std::uint32_t TDIBSurface::RedMask() const {
  switch (FBits) {
    case 15: return 0x7C00;
    case 16: return 0xF800;
    case 24:
    case 32: return 0xFF0000;
    default: return 0;
  }
}

std::uint32_t TDIBSurface::GreenMask() const {
  switch (FBits) {
    case 15: return 0x03E0;
    case 16: return 0x07E0;
    case 24:
    case 32: return 0x00FF00;
    default: return 0;
  }
}

std::uint32_t TDIBSurface::BlueMask() const {
  switch (FBits) {
    case 15:
    case 16: return 0x001F;
    case 24:
    case 32: return 0x0000FF;
    default: return 0;
  }
}

std::uint32_t TDIBSurface::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
  const std::uint8_t* row = Row(y);
  switch (FBits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 15:
    case 16: {
      const std::uint8_t* p = row + 2 * static_cast<std::size_t>(x);
      return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
    }
    case 24: {
      const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
      return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
    }
    default: {
      const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
      return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
             (std::uint32_t(p[3]) << 24);
    }
  }
}

void TDIBSurface::SetPixel(int x, int y, std::uint32_t value) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  std::uint8_t* row = Row(y);
  switch (FBits) {
    case 1: {
      const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
      if (value & 1u) {
        row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] | bit);
      } else {
        row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] & ~bit);
      }
      break;
    }
    case 4: {
      std::uint8_t& b = row[x >> 1];
      if (x & 1) {
        b = static_cast<std::uint8_t>((b & 0xF0u) | (value & 0x0Fu));
      } else {
        b = static_cast<std::uint8_t>((b & 0x0Fu) | ((value & 0x0Fu) << 4));
      }
      break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(value); break;
    case 15:
    case 16: {
      std::uint8_t* p = row + 2 * static_cast<std::size_t>(x);
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      break;
    }
    case 24: {
      std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      p[2] = static_cast<std::uint8_t>(value >> 16);
      break;
    }
    default: {
      std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      p[2] = static_cast<std::uint8_t>(value >> 16);
      p[3] = static_cast<std::uint8_t>(value >> 24);
      break;
    }
  }
}

TColor TDIBSurface::ColorOfValue(std::uint32_t value) const {
  switch (FBits) {
    case 1:
    case 4:
    case 8: return value < FPalette.size() ? FPalette[value] : 0;
    case 15:
      return MakeColor(Widen((value >> 10) & 0x1F, 5), Widen((value >> 5) & 0x1F, 5),
                       Widen(value & 0x1F, 5));
    case 16:
      return MakeColor(Widen((value >> 11) & 0x1F, 5), Widen((value >> 5) & 0x3F, 6),
                       Widen(value & 0x1F, 5));
    default:
      return MakeColor(static_cast<std::uint8_t>(value >> 16),
                       static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value));
  }
}

TColor TDIBSurface::Color(int x, int y) const { return ColorOfValue(Pixel(x, y)); }

std::uint32_t TDIBSurface::NearestPixelValue(TColor color) const {
  const std::uint32_t r = RedOf(color);
  const std::uint32_t g = GreenOf(color);
  const std::uint32_t b = BlueOf(color);
  switch (FBits) {
    case 1:
    case 4:
    case 8: {
      std::uint32_t best = 0;
      std::uint32_t bestDistance = UINT32_MAX;
      for (std::uint32_t i = 0; i < FPalette.size(); ++i) {
        const int dr = int(RedOf(FPalette[i])) - int(r);
        const int dg = int(GreenOf(FPalette[i])) - int(g);
        const int db = int(BlueOf(FPalette[i])) - int(b);
        const auto distance = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
          bestDistance = distance;
          best = i;
        }
      }
      return best;
    }
    case 15:
      return (NearestChannel(r, 5) << 10) | (NearestChannel(g, 5) << 5) | NearestChannel(b, 5);
    case 16:
      return (NearestChannel(r, 5) << 11) | (NearestChannel(g, 6) << 5) | NearestChannel(b, 5);
    default: return (r << 16) | (g << 8) | b;
  }
}

void TDIBSurface::FillValue(std::uint32_t value) {
  if (Empty()) return;
  // The first row pixel by pixel; the others copy its bytes that hold
  // nothing but pixels and set the few pixels of a last shared byte, so a
  // large bitmap fills at the speed of memory and padding stays untouched.
  for (int x = 0; x < FWidth; ++x) SetPixel(x, 0, value);
  const int bits = StorageBits(FBits);
  const std::size_t wholeBytes = static_cast<std::size_t>(FWidth) * bits / 8;
  const int looseFrom = static_cast<int>(wholeBytes * 8 / static_cast<std::size_t>(bits));
  for (int y = 1; y < FHeight; ++y) {
    std::memcpy(Row(y), Row(0), wholeBytes);
    for (int x = looseFrom; x < FWidth; ++x) SetPixel(x, y, value);
  }
}

void TDIBSurface::FillRect(const TRect& rect, TColor color) {
  const std::uint32_t value = NearestPixelValue(color);
  const int left = std::max(rect.Left, 0);
  const int top = std::max(rect.Top, 0);
  const int right = std::min(rect.Right, FWidth);
  const int bottom = std::min(rect.Bottom, FHeight);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) SetPixel(x, y, value);
  }
}

void TDIBSurface::CreateMask(std::uint8_t initial) {
  FHasMask = true;
  FMaskStride = PaddedRowBytes(FWidth, 8);
  FMask.assign(FMaskStride * static_cast<std::size_t>(FHeight), initial);
}

void TDIBSurface::DropMask() {
  FHasMask = false;
  FMaskStride = 0;
  FMask.clear();
}

std::uint8_t TDIBSurface::MaskAt(int x, int y) const {
  if (!FHasMask || x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 255;
  return MaskRow(y)[x];
}

void TDIBSurface::SetMaskAt(int x, int y, std::uint8_t value) {
  if (!FHasMask || x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  MaskRow(y)[x] = value;
}

void TDIBSurface::ConvertTo24() {
  if (FBits == 24) return;
  TDIBSurface converted;
  converted.SetSize(FWidth, FHeight, 24);
  for (int y = 0; y < FHeight; ++y) {
    for (int x = 0; x < FWidth; ++x) converted.SetColor(x, y, Color(x, y));
  }
  FBits = 24;
  FStride = converted.FStride;
  FPixels = std::move(converted.FPixels);
  FPalette.clear();
}

bool TDIBSurface::SameFormat(const TDIBSurface& other) const {
  return FBits == other.FBits && (FBits > 8 || FPalette == other.FPalette);
}

void TDIBSurface::CopyRect(const TDIBSurface& source, const TRect& sourceRect, int destX,
                           int destY) {
  // Clip the source rectangle to the source, moving the destination along.
  int left = sourceRect.Left;
  int top = sourceRect.Top;
  int right = std::min(sourceRect.Right, source.FWidth);
  int bottom = std::min(sourceRect.Bottom, source.FHeight);
  if (left < 0) {
    destX -= left;
    left = 0;
  }
  if (top < 0) {
    destY -= top;
    top = 0;
  }
  // Then clip against this surface.
  if (destX < 0) {
    left -= destX;
    destX = 0;
  }
  if (destY < 0) {
    top -= destY;
    destY = 0;
  }
  right = std::min(right, left + (FWidth - destX));
  bottom = std::min(bottom, top + (FHeight - destY));
  if (right <= left || bottom <= top) return;
  const bool same = SameFormat(source);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const int tx = destX + (x - left);
      const int ty = destY + (y - top);
      if (same) {
        SetPixel(tx, ty, source.Pixel(x, y));
      } else {
        SetColor(tx, ty, source.Color(x, y));
      }
    }
  }
}

void TDIBSurface::Draw(const TDIBSurface& source, int destX, int destY) {
  CopyRect(source, TRect{0, 0, source.FWidth, source.FHeight}, destX, destY);
}

void TDIBSurface::StretchDraw(const TDIBSurface& source, const TRect& dest) {
  const int w = dest.Width();
  const int h = dest.Height();
  if (w <= 0 || h <= 0 || source.Empty()) return;
  const bool same = SameFormat(source);
  const int top = std::max(dest.Top, 0);
  const int bottom = std::min(dest.Bottom, FHeight);
  const int left = std::max(dest.Left, 0);
  const int right = std::min(dest.Right, FWidth);
  for (int y = top; y < bottom; ++y) {
    const int sy = static_cast<int>(static_cast<std::int64_t>(y - dest.Top) * source.FHeight / h);
    for (int x = left; x < right; ++x) {
      const int sx = static_cast<int>(static_cast<std::int64_t>(x - dest.Left) * source.FWidth / w);
      if (same) {
        SetPixel(x, y, source.Pixel(sx, sy));
      } else {
        SetColor(x, y, source.Color(sx, sy));
      }
    }
  }
}

}  // namespace mora::pictures
