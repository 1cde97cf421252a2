// Shared pieces of formgallery.exe: the log the screenshot driver reads and
// the modes that show the program's own windows (launcher, main window,
// wizard) over a medium made at run time by our own writers.
#pragma once

#include <string>
#include <vector>

#include "ui/application.h"

namespace mora::gallery {

// Appends one UTF-8 line to the file named by MORA_GALLERY_LOG (if set).
void Log(const std::string& utf8Line);

// The caption of a native window as UTF-8, "none" for nullptr.
std::string OwnerCaption(void* window);

// Runs "launcher", "launcher-runtime", "main", "wizard", "wizard-uninstall"
// (args[0]; args are 932 text). Returns the exit code, or -1 for another mode.
int RunProgramWindows(ui::TApplication& application, const std::vector<std::string>& args);

}  // namespace mora::gallery
