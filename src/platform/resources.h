// Typed, named resources of an executable module. On Windows the module is
// loaded with LoadLibraryExW as a data file; on POSIX (and in mora for a
// Windows program on any system) the file is read and its resources are
// found by reading the PE resource directory, or, for a native executable,
// the ELF section "mora_rsrc" (records: int32 type length, type, int32 name
// length, name, int64 data length, data).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mora::platform {

class TModule {
 public:
  virtual ~TModule() = default;
  // nullptr when the file cannot be loaded as a module.
  static std::unique_ptr<TModule> Load(const std::string& path);
  // The resource's bytes (valid while the module lives); nullopt when absent.
  // Names and types compare without regard to ASCII case, as the system does.
  virtual std::optional<std::string_view> FindResource(const std::string& name,
                                                       const std::string& type) const = 0;
};

// Reads a resource out of PE bytes (an .exe or .dll image as stored in its
// file). Throws EDamagedData naming sourceName when the headers are damaged;
// nullopt when the resource is absent.
std::optional<std::string_view> FindPeResource(std::string_view image, const std::string& name,
                                               const std::string& type,
                                               const std::string& sourceName);

// One record of a native program's resource section: int32 type length,
// type, int32 name length, name, int64 data length, data.
std::string NativeResourceRecord(const std::string& type, const std::string& name,
                                 std::string_view data);

// The bytes of a native (ELF, little-endian, 32 or 64 bits) program whose
// section "mora_rsrc" holds records (a sequence of NativeResourceRecord),
// replacing the section it had. The section and a new section table go to
// the end of the file; of what was there only the header's section-table
// fields change, so the program runs as before (nothing loads the section:
// it is read from the file). So an archive to be
// appended to the program goes on after this. Throws EDamagedData naming
// sourceName for an image that is not such a program or whose section
// table is damaged.
std::string WithNativeResources(std::string image, std::string_view records,
                                const std::string& sourceName);

}  // namespace mora::platform
