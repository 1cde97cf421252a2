// The stand-in runtime installer's portable part: from the name it was
// started under it tells which runtime a real installer would put on the
// machine. It installs nothing.
#pragma once

#include <string>

namespace mora::standin {

// The message to show, code page 932: names the runtime for the known
// installer names (dxsetup.exe, mp71.exe), else the program's own name.
std::string StandInMessage(const std::string& programFile932);

}  // namespace mora::standin
