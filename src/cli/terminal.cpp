// Progress, messages and questions of mora install and mora uninstall on a
// terminal.
#include "cli/terminal.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "base/sjis.h"
#include "cli/commands.h"
#include "platform/folders.h"
#include "platform/system.h"

namespace mora::cli {

namespace {

volatile std::sig_atomic_t InterruptFlag = 0;

void OnInterrupt(int) {
  InterruptFlag = 1;
  // The next Ctrl-C ends the process, should a step not reach its poll.
  std::signal(SIGINT, SIG_DFL);
}

// Redraws of the bar at most this often; every file of a large title would
// otherwise be a write to the terminal.
constexpr auto DrawInterval = std::chrono::milliseconds(100);
constexpr int BarCells = 24;

// Columns a UTF-8 text takes: characters from U+1100 on (kana, kanji,
// full-width forms) take two.
int Columns(const std::string& utf8, std::size_t end) {
  int columns = 0;
  for (std::size_t i = 0; i < end && i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    columns += length >= 3 ? 2 : 1;
    i += length;
  }
  return columns;
}

// The text cut to at most `columns` columns, at a character boundary.
std::string Clip(const std::string& utf8, int columns) {
  std::size_t i = 0;
  int used = 0;
  while (i < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    const int width = length >= 3 ? 2 : 1;
    if (used + width > columns) break;
    used += width;
    i += length;
  }
  return utf8.substr(0, i);
}

int TerminalColumns() {
  const char* text = std::getenv("COLUMNS");
  const int columns = text != nullptr ? std::atoi(text) : 0;
  return columns >= 40 ? columns : 80;
}

std::string Megabytes(std::int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
  return text;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::optional<std::string> ReadLine() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  return Trimmed(line);
}

}  // namespace

void CatchInterrupt() { std::signal(SIGINT, OnInterrupt); }

bool Interrupted() { return InterruptFlag != 0; }

bool CanAsk() {
  return platform::IsTerminal(platform::TStandardStream::Input) &&
         platform::IsTerminal(platform::TStandardStream::Error);
}

bool AskYesNo(const std::string& questionUtf8, bool defaultAnswer) {
  for (;;) {
    std::cerr << questionUtf8 << (defaultAnswer ? " [Y/n] " : " [y/N] ") << std::flush;
    const std::optional<std::string> answer = ReadLine();
    if (!answer) {
      std::cerr << "\n";
      return defaultAnswer;
    }
    const std::string lower = base::LowerCase932(*answer);
    if (lower.empty()) return defaultAnswer;
    if (lower == "y" || lower == "yes") return true;
    if (lower == "n" || lower == "no") return false;
  }
}

std::string MessageText(const std::string& text932) {
  std::string text = ToTerminal(text932);
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

// ---- TTerminalObserver ------------------------------------------------------

TTerminalObserver::TTerminalObserver(TTerminalOptions options)
    : FOptions(std::move(options)), FBar(platform::IsTerminal(platform::TStandardStream::Error)) {}

TTerminalObserver::~TTerminalObserver() { Finish(); }

bool TTerminalObserver::Asking() const { return !FOptions.AssumeYes && CanAsk(); }

void TTerminalObserver::ClearBar() {
  if (!FBarShown) return;
  std::cerr << "\r\033[K" << std::flush;
  FBarShown = false;
}

void TTerminalObserver::Finish() { ClearBar(); }

void TTerminalObserver::Line(const std::string& text932) {
  ClearBar();
  std::cerr << MessageText(text932) << "\n" << std::flush;
}

void TTerminalObserver::Draw(bool force) {
  if (!FBar) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && FBarShown && now - FLastDraw < DrawInterval) return;
  FLastDraw = now;
  std::string line = "[";
  std::string figures;
  if (FMax > 0) {
    const double share = std::clamp(static_cast<double>(FPosition) / FMax, 0.0, 1.0);
    const int filled = static_cast<int>(share * BarCells);
    line += std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(BarCells - filled), '-') + "] ";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(share * 100));
    line += percent;
  } else {
    line += std::string(BarCells, '-') + "]     ";
  }
  // The copy phase counts in units of 10 bytes.
  if (FCounting) {
    figures = "  " + Megabytes(std::int64_t{FPosition} * 10);
    if (FMax > 0) figures += " of " + Megabytes(std::int64_t{FMax} * 10);
  }
  line += figures + "  ";
  const std::string status = MessageText(FStatus);
  const int room = TerminalColumns() - 1 - Columns(line, line.size());
  if (room > 0) line += Clip(status, room);
  std::cerr << "\r\033[K" << line << std::flush;
  FBarShown = true;
}

void TTerminalObserver::SetCaption(const std::string&) {}

void TTerminalObserver::SetHeading(const std::string& text) {
  // Headings follow the copy phase (the check, the shortcuts, the registry)
  // or open the delete step; either way bytes are no longer counted.
  FCounting = false;
  FStatus.clear();
  Line(text);
  Draw(true);
}

void TTerminalObserver::SetStatus(const std::string& text) {
  FStatus = text;
  if (FBar) {
    Draw(false);
  } else {
    Line(text);
  }
}

void TTerminalObserver::SetExitText(const std::string& text) { FExitText = text; }

void TTerminalObserver::SetProgressMax(std::int32_t max) { FMax = max; }

void TTerminalObserver::SetProgress(std::int32_t position) {
  FPosition = position;
  Draw(false);
}

void TTerminalObserver::HideProgress() {
  ClearBar();
  FBar = false;
  FStatus.clear();
}

bool TTerminalObserver::ProcessMessages() {
  Draw(false);
  return Interrupted();
}

bool TTerminalObserver::StopRequested() const { return Interrupted(); }

int TTerminalObserver::MessageDialog(const std::string& text, ui::TMsgDlgType,
                                     ui::TMsgDlgButtons buttons) {
  ClearBar();
  std::cerr << "mora: " << MessageText(text) << "\n" << std::flush;
  if ((buttons & ui::mbYes) != 0) {
    // The one question of the steps asks whether to stop after a disk was
    // not given: a missing disk, Ctrl-C or --yes answer it at once.
    if (FDiskMissing || Interrupted() || !Asking()) return ui::mrYes;
    return AskYesNo("", true) ? ui::mrYes : ui::mrNo;
  }
  if ((buttons & ui::mbOK) != 0) return ui::mrOk;
  return ui::mrAbort;
}

std::optional<std::string> TTerminalObserver::NextMediaFolder() {
  if (FNextMedia >= FOptions.MediaFolders.size()) return std::nullopt;
  return FOptions.MediaFolders[FNextMedia++];
}

int TTerminalObserver::AskForDisk(int disk, const std::string& prompt, std::string& folder) {
  ClearBar();
  const std::string number = std::to_string(disk + 1);
  // Asked again right after a folder was given: that folder was not the disk.
  if (!FDiskQuestions.empty() && FDiskQuestions.back().Disk == disk &&
      !FDiskQuestions.back().Folder.empty()) {
    std::cerr << "mora: " << platform::PathToNative(FDiskQuestions.back().Folder) << ": no disk "
              << number << " of this title there\n";
  }
  FDiskQuestions.push_back({disk, std::string()});
  if (Interrupted()) return ui::mrAbort;
  if (const std::optional<std::string> next = NextMediaFolder()) {
    folder = *next;
    FDiskQuestions.back().Folder = folder;
    std::cerr << "disk " << number << ": " << platform::PathToNative(folder) << "\n" << std::flush;
    return ui::mrOk;
  }
  std::cerr << "mora: " << MessageText(prompt) << "\n";
  if (Asking()) {
    std::cerr << "Press Enter once disk " << number << " is in " << platform::PathToNative(folder)
              << ", or type the folder that holds it, or \"a\" to abort: " << std::flush;
    if (const std::optional<std::string> answer = ReadLine()) {
      const std::string lower = base::LowerCase932(*answer);
      if (lower == "a" || lower == "abort") {
        FUserStopped = true;
        return ui::mrAbort;
      }
      if (!answer->empty()) folder = PathArgument(*answer);
      FDiskQuestions.back().Folder = folder;
      return ui::mrOk;
    }
    std::cerr << "\n";
  }
  std::cerr << "mora: disk " << number
            << " was not given (--media DIR names the folder of a further disk)\n"
            << std::flush;
  FDiskMissing = true;
  return ui::mrAbort;
}

int TTerminalObserver::OpenDocument(const std::string& file, const std::string&,
                                    const std::string&) {
  FDocument = file;
  return 33;  // the shell's success
}

}  // namespace mora::cli
