// Answer files of the scripted backend: any text queues actions or fails
// with EScriptFailure naming the line; every queued action names its line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "fuzz_support.h"
#include "ui/scripted/scripted.h"

using namespace mora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ui::TScriptedBackend backend;
  try {
    backend.LoadScript(fuzz::Bytes(data, size), "answers.txt");
  } catch (const ui::EScriptFailure& failure) {
    fuzz::Check(std::string(failure.what()).rfind("answers.txt:", 0) == 0,
                "a syntax error names the answer file and line");
  }
  return 0;
}
