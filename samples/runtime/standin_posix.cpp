// The stand-in runtime installer on POSIX: prints its message and ends.
#include <cstdio>
#include <string>

#include "base/sjis.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "standin.h"

int main(int argc, char** argv) {
  mora::platform::BeginProcess(argc, argv);
  std::string message =
      mora::base::Cp932ToUtf8Lossy(mora::standin::StandInMessage(mora::platform::ModuleFileName()));
  std::erase(message, '\r');
  std::printf("%s\n", message.c_str());
  return 0;
}
