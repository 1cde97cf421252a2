// The terminal side of mora install and mora uninstall: Ctrl-C as the
// wizard's abort button, yes/no questions, and TTerminalObserver, the
// observer through which the copy and delete steps report on a terminal. It
// shows progress on stderr (a bar on a terminal, plain lines otherwise),
// prints the messages the wizard would show in UTF-8, takes further disks
// from the --media folders and answers questions from the terminal or, with
// --yes or without a terminal, on its own. Nothing here throws.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "installer/engine.h"
#include "installer/plan.h"

namespace mora::cli {

// From now on Ctrl-C (SIGINT) only sets the stop request that the steps
// poll; a second Ctrl-C ends the process as usual.
void CatchInterrupt();
bool Interrupted();

// Whether stdin and stderr are terminals, so questions can be asked.
bool CanAsk();
// Asks on stderr and reads the answer from stdin: y/yes or n/no, Enter
// alone for the default; the default too at the end of the input.
bool AskYesNo(const std::string& questionUtf8, bool defaultAnswer);

// 932 text as lines for stderr: UTF-8, "\r\n" turned into "\n".
std::string MessageText(const std::string& text932);

struct TTerminalOptions {
  bool AssumeYes = false;                 // --yes: never ask, answer yes
  std::vector<std::string> MediaFolders;  // --media folders (932 paths), in order
};

class TTerminalObserver : public installer::TStepObserver {
 public:
  explicit TTerminalObserver(TTerminalOptions options);
  ~TTerminalObserver() override;

  void SetCaption(const std::string& text) override;
  void SetHeading(const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void SetExitText(const std::string& text) override;
  void SetProgressMax(std::int32_t max) override;
  void SetProgress(std::int32_t position) override;
  void HideProgress() override;
  void HideBackButton() override {}
  void HideNextButton() override {}
  void ChooseFolder(const std::string&) override {}
  bool ProcessMessages() override;
  bool StopRequested() const override;
  int MessageDialog(const std::string& text, ui::TMsgDlgType kind,
                    ui::TMsgDlgButtons buttons) override;
  int AskForDisk(int disk, const std::string& prompt, std::string& folder) override;
  // A terminal has nothing to wait for: the waits let a window settle.
  void Wait(std::uint32_t) override {}
  void BringToFront() override {}
  // Names the document instead of opening it.
  int OpenDocument(const std::string& file, const std::string& parameters,
                   const std::string& folder) override;

  // Clears the progress bar's line.
  void Finish();

  // A disk was asked for that neither a --media folder nor the terminal gave.
  bool DiskMissing() const { return FDiskMissing; }
  // The user stopped the step: Ctrl-C, or the abort answered on the terminal.
  bool UserStopped() const { return FUserStopped || Interrupted(); }
  const std::vector<installer::TDiskQuestion>& DiskQuestions() const { return FDiskQuestions; }
  // The document the step opened (the read-me), "" when none.
  const std::string& Document() const { return FDocument; }
  const std::string& ExitText() const { return FExitText; }

 private:
  void Line(const std::string& text932);
  void Draw(bool force);
  void ClearBar();
  bool Asking() const;
  std::optional<std::string> NextMediaFolder();

  TTerminalOptions FOptions;
  bool FBar;
  bool FBarShown = false;
  bool FCounting = true;  // the copy phase, whose progress counts bytes
  std::int32_t FMax = 0;
  std::int32_t FPosition = 0;
  std::string FStatus;
  std::string FExitText;
  std::string FDocument;
  std::chrono::steady_clock::time_point FLastDraw{};
  std::size_t FNextMedia = 0;
  std::vector<installer::TDiskQuestion> FDiskQuestions;
  bool FDiskMissing = false;
  bool FUserStopped = false;
};

}  // namespace mora::cli
