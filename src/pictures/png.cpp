#include "pictures/png.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "base/errors.h"

namespace mora::pictures {

std::string EncodePng(const TDIBSurface& image) {
  if (image.Empty()) throw base::ERangeError("PNG: an empty bitmap cannot be written");
  const std::size_t stride = static_cast<std::size_t>(image.Width()) * 3;
  std::vector<unsigned char> rgb(stride * static_cast<std::size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) {
    unsigned char* p = rgb.data() + stride * static_cast<std::size_t>(y);
    for (int x = 0; x < image.Width(); ++x) {
      const TColor c = image.Color(x, y);
      *p++ = RedOf(c);
      *p++ = GreenOf(c);
      *p++ = BlueOf(c);
    }
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.Width());
  png.height = static_cast<png_uint_32>(image.Height());
  png.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, rgb.data(),
                                 static_cast<png_int_32>(stride), nullptr)) {
    const std::string message = png.message;
    png_image_free(&png);
    throw base::Exception("PNG encoding failed: " + message);
  }
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&png, out.data(), &size, 0, rgb.data(),
                                 static_cast<png_int_32>(stride), nullptr)) {
    const std::string message = png.message;
    png_image_free(&png);
    throw base::Exception("PNG encoding failed: " + message);
  }
  out.resize(size);
  return out;
}

TDIBSurface DecodePng(std::string_view data, const std::string& sourceName) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) {
    const std::string message = png.message;
    png_image_free(&png);
    throw base::EDamagedData(sourceName + ": PNG data: " + message);
  }
  const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  png.format = PNG_FORMAT_RGBA;
  if (png.width > MaxSurfaceSide || png.height > MaxSurfaceSide ||
      (png.height != 0 && std::size_t{png.width} * 4 > MaxSurfaceBytes / png.height)) {
    png_image_free(&png);
    throw base::EDamagedData(sourceName + ": PNG data: the picture is too large");
  }
  const std::size_t stride = std::size_t{png.width} * 4;
  std::vector<unsigned char> rgba(stride * png.height);
  if (!png_image_finish_read(&png, nullptr, rgba.data(), static_cast<png_int_32>(stride),
                             nullptr)) {
    const std::string message = png.message;
    png_image_free(&png);
    throw base::EDamagedData(sourceName + ": PNG data: " + message);
  }
  TDIBSurface surface(static_cast<int>(png.width), static_cast<int>(png.height), 24);
  if (alpha) surface.CreateMask(255);
  for (int y = 0; y < surface.Height(); ++y) {
    const unsigned char* p = rgba.data() + stride * static_cast<std::size_t>(y);
    for (int x = 0; x < surface.Width(); ++x, p += 4) {
      surface.SetColor(x, y, MakeColor(p[0], p[1], p[2]));
      if (alpha) surface.SetMaskAt(x, y, p[3]);
    }
  }
  return surface;
}

}  // namespace mora::pictures
