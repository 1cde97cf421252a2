// Which runtime the stand-in stands for, by its file name.
#include "standin.h"

#include "base/sjis.h"

namespace mora::standin {

namespace {

// The file name after the last path delimiter, lower-cased.
std::string LowerFileName(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (base::IsPathDelimiter(path, i) || path[i] == '/') start = i + 1;
  }
  return base::LowerCase932(std::string_view(path).substr(start));
}

}  // namespace

std::string StandInMessage(const std::string& programFile932) {
  const std::string name = LowerFileName(programFile932);
  std::string runtime;
  if (name == "dxsetup.exe" || name == "dxsetup") {
    runtime = "DirectX";
  } else if (name == "mp71.exe" || name == "mp71") {
    runtime = "Windows Media Player";
  } else {
    runtime = name;
  }
  return base::Sjis("見本のランタイムインストーラです。本物なら ") + runtime +
         base::Sjis(" をインストールします。\r\nこの見本は何もインストールしません。");
}

}  // namespace mora::standin
