// The sample game on POSIX: runs until its standard input ends.
#include <cstdio>

#include "base/sjis.h"
#include "game.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  mora::platform::BeginProcess(argc, argv);
  return mora::game::RunGame([](const std::string& title, const std::string& lockName) {
    std::printf("%s: running (holding %s); end of input ends the game\n",
                mora::base::Cp932ToUtf8Lossy(title).c_str(),
                mora::base::Cp932ToUtf8Lossy(lockName).c_str());
    std::fflush(stdout);
    char buffer[256];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
  });
}
