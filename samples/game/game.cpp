// The sample game's portable part.
#include "game.h"

#include <cstdlib>
#include <exception>

#include "archive/vrfiles.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "settings/installset.h"
#include "startup/gamelock.h"

namespace mora::game {

namespace {

// Appends one line to the log named by MORA_GAME_LOG; a log that cannot be
// written is left alone (the game runs all the same).
void Log(const std::string& utf8Line) {
  const char* log = std::getenv("MORA_GAME_LOG");
  if (log == nullptr || *log == '\0') return;
  try {
    const std::string path = platform::PathFromNative(log);
    std::string bytes;
    if (platform::FileExists(path)) bytes = platform::ReadFileBytes(path);
    platform::WriteFileAtomic(path, bytes + utf8Line + "\n");
  } catch (const base::Exception&) {
  }
}

std::string TitleBeside(const std::string& folder) {
  try {
    settings::TMoraInstallSet installed;
    installed.LoadFromFile(folder + "install.dat");
    if (!installed.Title.empty()) return installed.Title;
  } catch (const base::Exception&) {
  }
  return base::Sjis("モーラ見本ゲーム");
}

}  // namespace

int RunGame(const std::function<void(const std::string& title932, const std::string& lockName932)>&
                waitForUser) {
  const std::string program = platform::ModuleFileName();
  const std::string folder = archive::ExtractFilePath(program);
  const std::string lockName = startup::GameLockName(folder);
  Log("started " + base::Cp932ToUtf8Lossy(program));
  auto lock = platform::TNamedMutex::Create(lockName);
  if (!lock) {
    Log("no mutex " + base::Cp932ToUtf8Lossy(lockName));
    return 1;
  }
  Log("holding " + base::Cp932ToUtf8Lossy(lockName));
  waitForUser(TitleBeside(folder), lockName);
  lock.reset();
  Log("ended");
  return 0;
}

}  // namespace mora::game
