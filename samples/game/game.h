// The sample title's game program. It stands in for a real game: while it
// runs it holds the mutex named after its installation folder (the folder
// it lies in), so the setup program on the medium leaves it alone, and it
// shows that it is running until the user ends it. With MORA_GAME_LOG set
// (a host path) it appends what it did to that file, one UTF-8 line each:
// "started <its own file>" and "holding <mutex name>", then "ended".
#pragma once

#include <functional>
#include <string>

namespace mora::game {

// Runs the game: takes the mutex, calls waitForUser (with the title from
// the install.dat beside the program, or a fixed name without one, and the
// mutex name) and releases the mutex when it returns. Exit code: 0, or 1
// when the mutex cannot be made.
int RunGame(const std::function<void(const std::string& title932, const std::string& lockName932)>&
                waitForUser);

}  // namespace mora::game
