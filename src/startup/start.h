// The setup program's entry routine: finds the settings and the archive of
// the medium, ends silently beside the running game or another setup of the
// same title, takes the title's instance lock, and chooses the course
// (launcher menu, wizard, temporary copy of itself, start of the game). On
// every path it releases windows, archive, lock and settings in that order,
// and only then, after a normal course, starts what is due through the
// shell. Failures raised on the way are shown in the application's error
// box after that release; Start itself throws only the scripted backend's
// EScriptFailure (an answer file that does not fit the course).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/mutex.h"
#include "startup/gamelock.h"
#include "ui/application.h"

namespace mora::startup {

// The instance lock named title: nullptr when another process holds it or
// it cannot be created. Releasing is destroying the returned object.
std::unique_ptr<platform::TNamedMutex> AcquireInstanceLock(const std::string& title);

// The names the temporary copy of the setup program takes in the temporary
// folder: "~minstall.exe", then "~minstall0.exe" ... "~minstall98.exe".
constexpr int TempCopyAttempts = 100;
std::string TempCopyName(int attempt);  // attempt 0 .. TempCopyAttempts - 1

// How a run ended.
enum class TStartResult {
  Finished = 0,  // a normal course (silent ends included)
  Failed = 1,    // ended by a message or the error box, or the final start failed
};

// Hooks of a front end around the course.
struct TStartHooks {
  // Called right before the final start through the shell, once everything
  // is released: the program and its parameter text.
  std::function<void(const std::string& file, const std::string& parameters)> BeforeLaunch;
};

// Runs the whole course of the setup program on the process's own file and
// command line (platform::ModuleFileName, CommandLineArguments).
TStartResult Start(ui::TApplication& application, const TStartHooks& hooks = {});

}  // namespace mora::startup
