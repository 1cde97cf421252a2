// Helpers of the shortcut tests: where a group's links lie, reading them
// back, and the platform's own limit for a link's name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/shelllink.h"

namespace mora::installer::test {

// Programs folder + group + "\".
std::string GroupFolder(const std::string& group);
// Names in a folder, sorted; empty when it does not exist.
std::vector<std::string> EntryNames(const std::string& folder);
// Names of the links in a group without their extension, sorted.
std::vector<std::string> LinkNames(const std::string& group);
std::optional<platform::TShellLinkData> ReadLink(const std::string& group, const std::string& name);
std::vector<std::string> Sorted(std::vector<std::string> names);
// A small file that starts like a Windows program.
void WriteProgram(const std::string& path);
// Waits (a few seconds at most) until the group's folder is gone: the shell
// may carry out a deletion request after it was made.
void WaitForGroupGone(const std::string& group);

// Platform part (links_posix.cpp, links_win32.cpp): the longest ASCII link
// name that the platform's limit allows in this folder, from the limit's
// own rule (Windows: 259 characters for the whole path; POSIX: 255 bytes for
// the file name).
std::size_t LongestFittingName(const std::string& folder);
// What becomes of a request to delete the program group title.
enum class TDeletion {
  Removed,   // the shell removes the group
  NoServer,  // no one takes the request (DeleteProgramGroup answers false)
  Lost,      // the request is made, but the shell cannot read the name
};
// POSIX and Windows itself: Removed. Under Wine its explorer serves
// Program Manager's DDE only with a display (NoServer without one), and its
// server reads a command whose characters lie beyond U+00FF as ANSI text, so
// a name that the ANSI code page cannot spell is Lost.
TDeletion ExpectedDeletion(const std::string& title);

}  // namespace mora::installer::test
