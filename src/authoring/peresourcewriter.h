// Adding a typed, named resource to a Windows program (PE32 or PE32+): the
// resource tree is rebuilt, every existing resource kept (one of the same
// type and name replaced), into a new section at the end of the file, and
// the headers are updated (section count, image size, initialised data,
// resource directory, checksum). The new resource's bytes are written by
// the caller between Begin and Finish, so they can be streamed.
// Damaged images throw EDamagedData naming the file and the field; images
// that cannot take another section (no free room for its header, a
// signature, too many sections) throw ERangeError naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streams.h"

namespace mora::authoring {

class TPeResourceWriter {
 public:
  // Reads the headers and the resource tree of the program's image; throws
  // EDamagedData for a damaged one.
  TPeResourceWriter(std::string image, std::string sourceName);
  // The resources found are views into the image the writer holds.
  TPeResourceWriter(const TPeResourceWriter&) = delete;
  TPeResourceWriter& operator=(const TPeResourceWriter&) = delete;

  // Resources the image carries, one per language ("type/name/language",
  // numbers in decimal, names as they are in ASCII): for reports and tests.
  std::vector<std::string> ResourceList() const;

  // Throws ERangeError when the image cannot take another section: no
  // unused slot in the section table inside the headers, a signature (which
  // covers the whole file), or as many sections as the system takes.
  void CheckRoom() const;

  // Writes the program into out, an empty stream that can be read back: the
  // image, then a new section holding the rebuilt tree and the bytes of the
  // kept resources (CheckRoom first). Returns the position at which the new
  // resource's bytes
  // start; the caller writes them from there, and they end the file. Names
  // and types are 932 text; "#123" stands for the number 123.
  std::int64_t Begin(platform::TStream& out, const std::string& name, const std::string& type);

  // Completes the program once size bytes were written behind the position
  // Begin returned: pads the section, then fills in the resource's size,
  // the section header, the image's sizes and its checksum.
  void Finish(platform::TStream& out, std::int64_t size);

  // The largest resource a program can take (its sizes are 32-bit fields).
  static constexpr std::int64_t MaxResourceSize = 0x7FFF0000;

 private:
  struct TId {
    bool IsNumber = false;
    std::uint32_t Number = 0;
    std::u16string Name;
  };
  struct TLeaf {
    TId Type;
    TId Name;
    std::uint32_t Language = 0;
    std::uint32_t CodePage = 0;
    std::string_view Data;
    bool IsNew = false;
  };
  struct TSection {
    std::uint32_t VirtualSize = 0;
    std::uint32_t VirtualAddress = 0;
    std::uint32_t RawSize = 0;
    std::uint32_t RawOffset = 0;
  };

  static TId MakeId(const std::string& text, const std::string& sourceName);
  static bool SameId(const TId& a, const TId& b);
  static bool IdLess(const TId& a, const TId& b);

  void ReadHeaders();
  void ReadResources(std::uint32_t rva, std::uint32_t size);
  std::size_t RvaToOffset(std::uint32_t rva, std::uint32_t size, std::string_view field) const;
  std::uint32_t DataDirectoryField(std::uint32_t index, int word) const;
  std::size_t DataDirectoryOffset(std::uint32_t index) const;
  std::string BuildTree(std::uint32_t sectionRva);
  std::uint32_t ComputeCheckSum(platform::TStream& out, std::int64_t fileSize) const;

  std::string FImage;
  std::string FSourceName;
  std::size_t FOptionalHeader = 0;
  std::size_t FOptionalSize = 0;
  std::size_t FCoffHeader = 0;
  std::size_t FRvaCountOffset = 0;
  std::uint32_t FRvaCount = 0;
  std::uint32_t FSectionAlignment = 0;
  std::uint32_t FFileAlignment = 0;
  std::uint32_t FSizeOfHeaders = 0;
  std::size_t FSectionTable = 0;
  std::vector<TSection> FSections;
  std::vector<TLeaf> FLeaves;

  // Set by Begin.
  std::int64_t FSectionFileOffset = 0;
  std::uint32_t FSectionRva = 0;
  std::uint32_t FPayloadOffset = 0;  // inside the section
  std::uint32_t FPayloadEntry = 0;   // offset of its data entry, inside the section
  bool FBegun = false;
};

// The program with the resource added, all in memory.
std::string AddPeResource(std::string image, const std::string& name, const std::string& type,
                          std::string_view data, const std::string& sourceName);

}  // namespace mora::authoring
