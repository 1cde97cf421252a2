// The mark of the running game.
#include "startup/gamelock.h"

#include "base/sjis.h"
#include "platform/mutex.h"

namespace mora::startup {

std::string GameLockName(const std::string& installPath) {
  std::string name = base::UpperCase932(installPath);
  if (!base::EndsWithPathDelimiter(name)) name += '\\';
  // One pass over the characters, so a trail byte is never taken for "\".
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (base::IsLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
      ++i;
    } else if (name[i] == '\\') {
      name[i] = '-';
    }
  }
  return name;
}

bool IsGameRunning(const std::string& gameLockName) {
  return platform::TNamedMutex::Exists(gameLockName);
}

}  // namespace mora::startup
