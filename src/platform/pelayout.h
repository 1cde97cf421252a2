// The layout of a Windows program file (PE32 and PE32+) as far as its
// resources concern: DOS stub pointer, COFF and optional headers, the data
// directories, the section table and the three-level resource directory
// (type -> name -> language -> data entry). Shared by the resource reader
// (platform) and the resource writer (authoring), so the two agree on every
// offset. All fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mora::platform::pe {

constexpr std::size_t PeOffsetField = 0x3C;  // e_lfanew of the DOS header
inline constexpr std::string_view Signature{"PE\0\0", 4};

// COFF file header, right after the signature.
constexpr std::size_t CoffHeaderSize = 20;
constexpr std::size_t CoffNumberOfSections = 2;
constexpr std::size_t CoffSizeOfOptionalHeader = 16;

// Optional header: the fields used here lie at the same offsets in both
// kinds; only the data directories move.
constexpr std::uint16_t MagicPe32 = 0x10B;
constexpr std::uint16_t MagicPe32Plus = 0x20B;
constexpr std::size_t OptSizeOfInitializedData = 8;
constexpr std::size_t OptSectionAlignment = 32;
constexpr std::size_t OptFileAlignment = 36;
constexpr std::size_t OptSizeOfImage = 56;
constexpr std::size_t OptSizeOfHeaders = 60;
constexpr std::size_t OptCheckSum = 64;
constexpr std::size_t OptRvaCountPe32 = 92;       // NumberOfRvaAndSizes
constexpr std::size_t OptRvaCountPe32Plus = 108;  // the data directories follow it

constexpr std::size_t DataDirectorySize = 8;  // RVA (or file offset), size
constexpr std::uint32_t DirectoryResource = 2;
constexpr std::uint32_t DirectorySecurity = 4;      // certificates, by file offset
constexpr std::uint32_t DirectoryBoundImport = 11;  // may lie in the headers

// Section header.
constexpr std::size_t SectionHeaderSize = 40;
constexpr std::size_t SectionNameSize = 8;
constexpr std::size_t SectionVirtualSize = 8;
constexpr std::size_t SectionVirtualAddress = 12;
constexpr std::size_t SectionRawSize = 16;
constexpr std::size_t SectionRawOffset = 20;
constexpr std::size_t SectionCharacteristics = 36;
constexpr std::uint32_t SectionInitializedData = 0x00000040u;
constexpr std::uint32_t SectionMemoryRead = 0x40000000u;
// More sections than this are not read (the system loader's own limit).
constexpr std::size_t MaxSections = 96;

// Resource directory: a 16-byte table whose last two words count the named
// and the numbered entries; then the entries, named ones first.
constexpr std::size_t ResourceTableSize = 16;
constexpr std::size_t ResourceNamedCount = 12;
constexpr std::size_t ResourceIdCount = 14;
constexpr std::size_t ResourceEntrySize = 8;  // name or id, then target
// In an entry's name: a string's offset follows; in its target: a
// subdirectory's offset follows (otherwise a data entry's).
constexpr std::uint32_t ResourceHighBit = 0x80000000u;
// Data entry: RVA of the bytes, their size, code page, reserved.
constexpr std::size_t ResourceDataEntrySize = 16;
// Depth of the tree: type, name, language.
constexpr int ResourceLevels = 3;

}  // namespace mora::platform::pe
