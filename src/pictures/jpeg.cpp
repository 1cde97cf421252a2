// JPEG decoding (the encoder lives in jpegencode.cpp, so that a program
// that only reads pictures does not carry libjpeg's compressor).
#include "pictures/jpeg.h"

// libjpeg reports errors through a callback that must not return. The callback
// longjmps back into the small functions below, which hold only plain data;
// the C++ side turns their result into an exception after they returned.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "pictures/jpegerror.h"

namespace mora::pictures {

namespace {

extern "C" void JpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<TJpegError*>(info->err);
  (*info->err->format_message)(info, error->Message);
  std::longjmp(error->Jump, 1);
}

// Warnings (a stream cut short, corrupt entropy data) count as failures:
// libjpeg would otherwise fill in grey and carry on.
extern "C" void JpegEmitMessage(j_common_ptr info, int level) {
  if (level < 0) JpegErrorExit(info);
}

extern "C" void JpegSilentOutput(j_common_ptr) {}

}  // namespace

// The error manager shared by the decoder (here) and the encoder
// (jpegencode.cpp): failures longjmp back with the message.
void InitJpegError(TJpegError& error) {
  std::memset(&error, 0, sizeof error);
  jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JpegErrorExit;
  error.Manager.emit_message = JpegEmitMessage;
  error.Manager.output_message = JpegSilentOutput;
}

namespace {

struct TDecoder {
  jpeg_decompress_struct Info;
  TJpegError Error;
  bool Created = false;
};

// Phase 1: create, attach the data, read the header, start decompressing.
bool BeginDecode(TDecoder* d, const unsigned char* data, unsigned long size) {
  d->Info.err = &d->Error.Manager;
  if (setjmp(d->Error.Jump)) return false;
  jpeg_create_decompress(&d->Info);
  d->Created = true;
  jpeg_mem_src(&d->Info, data, size);
  jpeg_read_header(&d->Info, TRUE);
  d->Info.out_color_space = JCS_RGB;
  jpeg_calc_output_dimensions(&d->Info);
  return true;
}

// Phase 2: decode every scan line into rows of the given stride (RGB order).
bool FinishDecode(TDecoder* d, unsigned char* pixels, std::size_t stride) {
  if (setjmp(d->Error.Jump)) return false;
  jpeg_start_decompress(&d->Info);
  while (d->Info.output_scanline < d->Info.output_height) {
    JSAMPROW row = pixels + stride * d->Info.output_scanline;
    jpeg_read_scanlines(&d->Info, &row, 1);
  }
  jpeg_finish_decompress(&d->Info);
  return true;
}

[[noreturn]] void Fail(const std::string& sourceName, const char* message) {
  throw base::EDamagedData(sourceName + ": JPEG data: " + message);
}

}  // namespace

TDIBSurface DecodeJpeg(std::string_view data, const std::string& sourceName, int expectedWidth,
                       int expectedHeight) {
  auto decoder = std::make_unique<TDecoder>();
  InitJpegError(decoder->Error);
  struct TCleanup {
    TDecoder* D;
    ~TCleanup() {
      if (D->Created) jpeg_destroy_decompress(&D->Info);
    }
  } cleanup{decoder.get()};
  if (data.empty()) Fail(sourceName, "the block is empty");
  if (!BeginDecode(decoder.get(), reinterpret_cast<const unsigned char*>(data.data()),
                   static_cast<unsigned long>(data.size()))) {
    Fail(sourceName, decoder->Error.Message);
  }
  const auto width = decoder->Info.output_width;
  const auto height = decoder->Info.output_height;
  if (decoder->Info.output_components != 3 || width > MaxSurfaceSide || height > MaxSurfaceSide ||
      (height != 0 &&
       TDIBSurface::PaddedRowBytes(static_cast<int>(width), 24) > MaxSurfaceBytes / height)) {
    Fail(sourceName, "unsupported size or colour layout");
  }
  if (expectedWidth >= 0 && (width != static_cast<unsigned>(expectedWidth) ||
                             height != static_cast<unsigned>(expectedHeight))) {
    Fail(sourceName,
         ("the picture is " + std::to_string(width) + " x " + std::to_string(height) + ", not " +
          std::to_string(expectedWidth) + " x " + std::to_string(expectedHeight))
             .c_str());
  }
  const std::size_t stride = std::size_t{width} * 3;
  std::vector<unsigned char> rgb(stride * height);
  if (!FinishDecode(decoder.get(), rgb.data(), stride)) Fail(sourceName, decoder->Error.Message);
  TDIBSurface surface(static_cast<int>(width), static_cast<int>(height), 24);
  for (unsigned y = 0; y < height; ++y) {
    const unsigned char* from = rgb.data() + stride * y;
    std::uint8_t* to = surface.Row(static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      to[3 * x] = from[3 * x + 2];
      to[3 * x + 1] = from[3 * x + 1];
      to[3 * x + 2] = from[3 * x];
    }
  }
  return surface;
}

}  // namespace mora::pictures
