// The sample title of the packing tests, made at test time: source files of
// every part on two disks (with a folder, a Shift-JIS name, a stored entry,
// an extra for the disk only and a PNG background picture) and the manifest
// that packs them, with the sizes a reader must find on each disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "authoring/manifest.h"
#include "pictures/dibsurface.h"
#include "test_support.h"

namespace mora::authoring::test {

using archive::test::TTempFolder;

// Writes bytes to a file, creating its folders.
void WriteSource(const std::string& path, const std::string& bytes);
// Bytes that deflate does not shrink.
std::string NoiseBytes(std::size_t count, std::uint32_t seed);

struct TSourceFile {
  std::string Source;  // relative to the sources folder (932 path)
  std::string Name;    // name on the medium (932, "\")
  std::string Bytes;
};

class TSampleTitle {
 public:
  // Writes the sources below folder\src\ and the setup program given.
  TSampleTitle(const TTempFolder& folder, const std::string& setupBytes);

  // The manifest's text (with comments); extra is spliced into "settings",
  // archive into "archive", each a list of JSON members.
  std::string ManifestText(const std::string& placement, const std::string& settingsExtra = "",
                           const std::string& archiveExtra = "") const;
  // Writes it as folder\src\title.json and reads it.
  TManifest Load(const std::string& placement, const std::string& settingsExtra = "",
                 const std::string& archiveExtra = "") const;

  const std::string& Sources() const { return FSources; }
  const std::string& SetupBytes() const { return FSetup; }
  const pictures::TDIBSurface& Picture() const { return FPicture; }

  // Files by disk and part.
  std::vector<TSourceFile> Program;  // disk 1
  std::vector<TSourceFile> Data1;    // disk 1, compressed except voice.raw
  std::vector<TSourceFile> Data2;    // disk 2
  TSourceFile Sound;                 // disk 1
  TSourceFile Movie;                 // disk 2
  TSourceFile Extra;                 // disk 1, not installed
  static constexpr std::int32_t Seed = 12345;
  static const std::string Title;  // 932

 private:
  std::string FSources;
  std::string FSetup;
  pictures::TDIBSurface FPicture;
};

}  // namespace mora::authoring::test
