// The toolkit's command-line split, shared by the Windows layer (which feeds
// it GetCommandLine) and by callers that split parameter texts themselves.
#include <string>
#include <string_view>
#include <vector>

#include "platform/folders.h"

namespace mora::platform {

namespace {

bool IsBlank(char c) { return c > 0 && c <= ' '; }

}  // namespace

// White space (any byte 1..32) separates; a double quote toggles grouping and
// is dropped; a backslash is an ordinary character, so "C:\medium\" keeps its
// trailing "\". 932 trail bytes are never blanks or quotes (they start at
// 0x40), so the split needs no double-byte awareness. As the toolkit's
// argument count did, an empty argument ("") ends the list.
std::vector<std::string> ParseCommandLine(std::string_view commandLine) {
  std::vector<std::string> result;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  while (true) {
    while (i < n && IsBlank(commandLine[i])) ++i;
    if (i >= n || commandLine[i] == '\0') break;
    std::string argument;
    bool quoted = false;
    while (i < n && commandLine[i] != '\0' && (quoted || !IsBlank(commandLine[i]))) {
      if (commandLine[i] == '"') {
        quoted = !quoted;
      } else {
        argument += commandLine[i];
      }
      ++i;
    }
    if (argument.empty()) break;
    result.push_back(std::move(argument));
  }
  return result;
}

}  // namespace mora::platform
