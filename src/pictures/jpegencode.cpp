// JPEG encoding of surfaces for the picture writer.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "pictures/jpeg.h"
#include "pictures/jpegerror.h"

namespace mora::pictures {

namespace {

struct TEncoder {
  jpeg_compress_struct Info;
  TJpegError Error;
  bool Created = false;
  unsigned char* Output = nullptr;
  unsigned long OutputSize = 0;
};

bool Encode(TEncoder* e, const unsigned char* rgb, std::size_t stride, int width, int height,
            int quality) {
  e->Info.err = &e->Error.Manager;
  if (setjmp(e->Error.Jump)) return false;
  jpeg_create_compress(&e->Info);
  e->Created = true;
  jpeg_mem_dest(&e->Info, &e->Output, &e->OutputSize);
  e->Info.image_width = static_cast<JDIMENSION>(width);
  e->Info.image_height = static_cast<JDIMENSION>(height);
  e->Info.input_components = 3;
  e->Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&e->Info);
  jpeg_set_quality(&e->Info, quality, TRUE);
  jpeg_start_compress(&e->Info, TRUE);
  while (e->Info.next_scanline < e->Info.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(rgb + stride * e->Info.next_scanline);
    jpeg_write_scanlines(&e->Info, &row, 1);
  }
  jpeg_finish_compress(&e->Info);
  return true;
}

}  // namespace

std::string EncodeJpeg(const TDIBSurface& image, int quality) {
  if (image.Empty()) throw base::ERangeError("JPEG: an empty bitmap cannot be encoded");
  const std::size_t stride = static_cast<std::size_t>(image.Width()) * 3;
  std::vector<unsigned char> rgb(stride * static_cast<std::size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const TColor c = image.Color(x, y);
      unsigned char* p = rgb.data() + stride * static_cast<std::size_t>(y) + 3 * std::size_t(x);
      p[0] = RedOf(c);
      p[1] = GreenOf(c);
      p[2] = BlueOf(c);
    }
  }
  auto encoder = std::make_unique<TEncoder>();
  InitJpegError(encoder->Error);
  const bool ok = Encode(encoder.get(), rgb.data(), stride, image.Width(), image.Height(),
                         quality < 1 ? 1 : (quality > 100 ? 100 : quality));
  std::string result;
  if (ok) result.assign(reinterpret_cast<const char*>(encoder->Output), encoder->OutputSize);
  if (encoder->Created) jpeg_destroy_compress(&encoder->Info);
  std::free(encoder->Output);
  if (!ok) throw base::Exception(std::string("JPEG encoding failed: ") + encoder->Error.Message);
  return result;
}

}  // namespace mora::pictures
