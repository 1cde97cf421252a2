// The mark of the running game: a named mutex that the installed game holds
// while it runs, named after its installation folder. Start-up only tests
// it; the sample game holds it.
#pragma once

#include <string>

namespace mora::startup {

// The name of the mutex the installed game holds while it runs: the
// installation path upper-cased (ASCII letters only, code page 932), with a
// "\" appended unless it ends in one, and every single-byte "\" replaced by
// "-" (c:\game\abc and c:\game\abc\ give C:-GAME-ABC-). A trail byte 0x5C of
// a double-byte character stays as it is.
std::string GameLockName(const std::string& installPath);

// True when a mutex of that name exists (the game is running).
bool IsGameRunning(const std::string& gameLockName);

}  // namespace mora::startup
