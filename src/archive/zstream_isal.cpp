// Inflating piece by piece with ISA-L's inflater, several times faster than
// zlib's on this kind of machine. The two header bytes are checked here by
// zlib's rules (and with its words); ISA-L inflates the deflate data behind
// them and checks the Adler-32 at the end.
#include <isa-l/igzip_lib.h>

#include "archive/zfast.h"

namespace mora::archive::detail {

namespace {

const char* ProblemOf(int result) {
  switch (result) {
    case ISAL_INVALID_BLOCK: return "invalid block";
    case ISAL_INVALID_SYMBOL: return "invalid code";
    case ISAL_INVALID_LOOKBACK: return "invalid distance too far back";
    case ISAL_INVALID_WRAPPER: return "incorrect header check";
    case ISAL_UNSUPPORTED_METHOD: return "unknown compression method";
    case ISAL_INCORRECT_CHECKSUM: return "incorrect data check";
    case ISAL_NEED_DICT: return "needs a preset dictionary";
    default: return "damaged deflate data";
  }
}

// What is wrong with a zlib header (CMF, FLG), nullptr when it is sound.
const char* HeaderProblem(std::uint8_t cmf, std::uint8_t flg) {
  if ((cmf * 256u + flg) % 31u != 0) return "incorrect header check";
  if ((cmf & 0x0F) != 8) return "unknown compression method";
  if ((cmf >> 4) > 7) return "invalid window size";
  if ((flg & 0x20) != 0) return "needs a preset dictionary";
  return nullptr;
}

class TIsalInflate : public TStreamInflate {
 public:
  TIsalInflate() {
    isal_inflate_init(&FState);
    FState.crc_flag = ISAL_ZLIB_NO_HDR_VER;
  }

  TStep Step(const char* in, std::size_t inSize, char* out, std::size_t outSize) override {
    std::size_t taken = 0;
    while (FHeaderLength < 2 && taken < inSize) {
      FHeader[FHeaderLength++] = static_cast<std::uint8_t>(in[taken++]);
      if (FHeaderLength < 2) continue;
      if (const char* problem = HeaderProblem(FHeader[0], FHeader[1])) {
        FProblem = problem;
        return {TStatus::Damaged, taken, 0};
      }
    }
    TStep step = Inflate(in + taken, inSize - taken, out, outSize);
    step.Consumed += taken;
    return step;
  }

  std::string Problem() const override { return FProblem; }

 private:
  TStep Inflate(const char* in, std::size_t inSize, char* out, std::size_t outSize) {
    if (FHeaderLength < 2) return {};
    FState.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in));
    FState.avail_in = static_cast<std::uint32_t>(inSize);
    FState.next_out = reinterpret_cast<std::uint8_t*>(out);
    FState.avail_out = static_cast<std::uint32_t>(outSize);
    const int result = isal_inflate(&FState);
    TStep step;
    step.Consumed = inSize - FState.avail_in;
    step.Made = outSize - FState.avail_out;
    // Bytes it still needs are copied into the state; drop the pointer.
    FState.next_in = nullptr;
    FState.avail_in = 0;
    if (result < 0 || result == ISAL_NEED_DICT) {
      step.Status = TStatus::Damaged;
      FProblem = ProblemOf(result);
    } else if (FState.block_state == ISAL_BLOCK_FINISH) {
      step.Status = TStatus::End;
    }
    return step;
  }

  inflate_state FState{};
  std::uint8_t FHeader[2] = {};
  int FHeaderLength = 0;
  std::string FProblem;
};

}  // namespace

std::unique_ptr<TStreamInflate> NewStreamInflate() { return std::make_unique<TIsalInflate>(); }

const char* StreamLibraryName() { return "ISA-L"; }

bool StreamInflateBeatsWhole() { return true; }

}  // namespace mora::archive::detail
