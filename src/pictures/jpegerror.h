// Private to the pictures layer: libjpeg's error manager as the JPEG
// decoder and encoder use it. libjpeg reports errors through a callback
// that must not return; it formats the message and longjmps to Jump.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace mora::pictures {

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

// Fills in the manager; warnings count as failures, nothing is printed.
void InitJpegError(TJpegError& error);

}  // namespace mora::pictures
