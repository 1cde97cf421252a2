// Writes an archive of many small entries, for timing and measuring the
// directory's cost with `mora test` (scripts/bench-install):
//   make_archive OUT.dat COUNT
// Entry i is "data\sceneNNN\sNNNNNNN.txt" holding its own number as text,
// stored, so the whole-archive check reads every entry.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrwriter.h"

int main(int argc, char** argv) {
  using namespace mora::archive;
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_archive OUT.dat COUNT\n");
    return 2;
  }
  const long count = std::strtol(argv[2], nullptr, 10);
  if (count <= 0) {
    std::fprintf(stderr, "make_archive: COUNT must be a positive number\n");
    return 2;
  }
  try {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
      char name[48];
      std::snprintf(name, sizeof name, "data\\scene%03d\\s%07ld.txt", static_cast<int>(i % 997), i);
      names.emplace_back(name);
    }
    TQsBigFileStream stream(argv[1], fmBigCreate);
    TVrArchiveStreamWriter writer(stream, std::move(names), true);
    TArchiveEntryOptions options;
    options.Stored = true;
    for (long i = 0; i < count; ++i) writer.WriteBytes(std::to_string(i), options);
    writer.Finish();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_archive: %s\n", e.what());
    return 1;
  }
  return 0;
}
