// Inflating piece by piece with zlib's inflater.
#include <zlib.h>

#include "archive/zfast.h"

namespace mora::archive::detail {

namespace {

class TZlibInflate : public TStreamInflate {
 public:
  TZlibInflate() { FStarted = inflateInit(&FZ) == Z_OK; }
  ~TZlibInflate() override {
    if (FStarted) inflateEnd(&FZ);
  }
  TZlibInflate(const TZlibInflate&) = delete;
  TZlibInflate& operator=(const TZlibInflate&) = delete;

  bool Started() const { return FStarted; }

  TStep Step(const char* in, std::size_t inSize, char* out, std::size_t outSize) override {
    FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    FZ.avail_in = static_cast<uInt>(inSize);
    FZ.next_out = reinterpret_cast<Bytef*>(out);
    FZ.avail_out = static_cast<uInt>(outSize);
    const int status = inflate(&FZ, Z_NO_FLUSH);
    TStep step;
    step.Consumed = inSize - FZ.avail_in;
    step.Made = outSize - FZ.avail_out;
    // The input is handed in pieces; zlib must not keep a pointer into one.
    FZ.next_in = nullptr;
    FZ.avail_in = 0;
    if (status == Z_STREAM_END) {
      step.Status = TStatus::End;
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      step.Status = TStatus::Damaged;
      FProblem = FZ.msg != nullptr ? FZ.msg : "damaged deflate data";
    }
    return step;
  }

  std::string Problem() const override { return FProblem; }

 private:
  z_stream FZ{};
  bool FStarted = false;
  std::string FProblem;
};

}  // namespace

std::unique_ptr<TStreamInflate> NewStreamInflate() {
  auto inflater = std::make_unique<TZlibInflate>();
  if (!inflater->Started()) return nullptr;
  return inflater;
}

const char* StreamLibraryName() { return "zlib"; }

bool StreamInflateBeatsWhole() { return false; }

}  // namespace mora::archive::detail
