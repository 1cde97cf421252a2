// setup (POSIX): the setup program with the scripted user interface, for
// unattended installs and end-to-end tests. The user's part is played from
// an answer file:
//   setup [--answers FILE] [--] [MEDIUM]
// Every window shown, action taken and message dialog met is written to the
// standard output as one UTF-8 line; the final start of a program is written
// as "start <program> <parameters>". When the course ends by starting the
// temporary copy of the program, the answers not used yet are handed to it
// (MORA_SETUP_ANSWERS names the file, MORA_SETUP_ANSWERS_LINE the line it
// goes on from), so one answer file describes the whole installation.
// Exit codes: 0 the course ended normally (silent ends too), 1 it ended by a
// message or a failure, 2 bad command line, 3 the answer file does not fit
// the course (its line and the reason go to the standard error).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "startup/start.h"
#include "ui/application.h"
#include "ui/scripted/scripted.h"

namespace mora::startup {
namespace {

constexpr int ExitUsage = 2;
constexpr int ExitScript = 3;
constexpr const char* AnswersVariable = "MORA_SETUP_ANSWERS";
constexpr const char* AnswersLineVariable = "MORA_SETUP_ANSWERS_LINE";

void Usage(std::FILE* out) {
  std::fputs(
      "usage: setup [--answers FILE] [--] [MEDIUM]\n"
      "  The setup program of a title, run without windows: its course is played\n"
      "  from the answer file (one action a line: click, check, select, set,\n"
      "  drive, answer, close, sleep, wait-file, pump; see the README).\n"
      "  MEDIUM  what the program's first argument would be: the medium's folder\n"
      "          or an archive file (the program's own folder when absent).\n"
      "  --answers FILE  the answer file (UTF-8)\n",
      out);
}

struct TCommandLine {
  std::string Answers;           // host path, empty when none
  std::vector<char*> Arguments;  // argv[0] and the program's own arguments
};

// Splits our options from the program's arguments. False when the program
// is not to run (help shown, or a bad command line), with its exit code.
bool ParseCommandLine(int argc, char** argv, TCommandLine& line, int& exitCode) {
  line.Arguments.push_back(argv[0]);
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--answers") {
      if (i + 1 >= argc) {
        std::fputs("setup: --answers needs a file\n", stderr);
        exitCode = ExitUsage;
        return false;
      }
      line.Answers = argv[++i];
    } else if (options && argument.rfind("--answers=", 0) == 0) {
      line.Answers = argument.substr(10);
    } else if (options && (argument == "--help" || argument == "-h")) {
      Usage(stdout);
      exitCode = 0;
      return false;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "setup: unknown option %s\n", argument.c_str());
      Usage(stderr);
      exitCode = ExitUsage;
      return false;
    } else {
      line.Arguments.push_back(argv[i]);
    }
  }
  return true;
}

void PrintLine(const std::string& utf8Line) {
  std::fwrite(utf8Line.data(), 1, utf8Line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The answers a run was given: from the command line, or handed over by the
// setup program that started this one.
struct TAnswers {
  std::string HostPath;  // absolute, empty when none
  int FirstLine = 1;
};

TAnswers TakeAnswers(const std::string& fromCommandLine) {
  TAnswers answers;
  if (!fromCommandLine.empty()) {
    answers.HostPath = std::filesystem::absolute(fromCommandLine).string();
  } else if (const char* handed = std::getenv(AnswersVariable); handed && *handed) {
    answers.HostPath = handed;
    if (const char* line = std::getenv(AnswersLineVariable)) {
      answers.FirstLine = std::max(1, std::atoi(line));
    }
  }
  // Never passed on as they are: a program this one starts gets only what
  // is left (BeforeLaunch).
  ::unsetenv(AnswersVariable);
  ::unsetenv(AnswersLineVariable);
  return answers;
}

int Run(int argc, char** argv) {
  TCommandLine line;
  int exitCode = 0;
  if (!ParseCommandLine(argc, argv, line, exitCode)) return exitCode;
  platform::BeginProcess(static_cast<int>(line.Arguments.size()), line.Arguments.data());

  const TAnswers answers = TakeAnswers(line.Answers);
  auto owned = std::make_unique<ui::TScriptedBackend>();
  ui::TScriptedBackend& script = *owned;
  script.OnLog = PrintLine;
  try {
    if (!answers.HostPath.empty()) {
      script.LoadAnswerFile(platform::PathFromNative(answers.HostPath), answers.FirstLine);
    }
  } catch (const ui::EScriptFailure& failure) {
    std::fprintf(stderr, "setup: %s\n", failure.what());
    return ExitScript;
  } catch (const base::Exception& failure) {
    std::fprintf(stderr, "setup: %s\n", base::Cp932ToUtf8Lossy(failure.Message()).c_str());
    return ExitUsage;
  }

  TStartHooks hooks;
  hooks.BeforeLaunch = [&](const std::string& file, const std::string& parameters) {
    PrintLine("start " + base::Cp932ToUtf8Lossy(file) + " " + base::Cp932ToUtf8Lossy(parameters));
    if (script.PendingActions() > 0 && script.NextActionLine() > 0) {
      ::setenv(AnswersVariable, answers.HostPath.c_str(), 1);
      ::setenv(AnswersLineVariable, std::to_string(script.NextActionLine()).c_str(), 1);
    }
  };

  ui::TApplication application(std::move(owned));
  try {
    const TStartResult result = Start(application, hooks);
    if (script.PendingActions() > 0 && std::getenv(AnswersVariable) == nullptr) {
      std::fprintf(stderr, "setup: %zu answers were not used, the first: %s\n",
                   script.PendingActions(), script.NextActionSource().c_str());
    }
    return static_cast<int>(result);
  } catch (const ui::EScriptFailure& failure) {
    std::fprintf(stderr, "setup: %s\n", failure.what());
    return ExitScript;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "setup: %s\n", base::Cp932ToUtf8Lossy(failure.what()).c_str());
    return static_cast<int>(TStartResult::Failed);
  }
}

}  // namespace
}  // namespace mora::startup

int main(int argc, char** argv) { return mora::startup::Run(argc, argv); }
