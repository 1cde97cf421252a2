// Registry keys and string values under HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE. Key paths and names are 932 strings with "\" between
// levels; key and value names compare without regard to ASCII case.
// POSIX keeps one store per user in a JSON file, written atomically under a
// lock. Failures to write throw ERegistryException; reads answer nullopt.
#pragma once

#include <optional>
#include <string>

namespace mora::platform {

enum class TRootKey { CurrentUser, LocalMachine };
enum class TRegValueType { String, ExpandString, Other };

struct TRegValue {
  TRegValueType Type = TRegValueType::String;
  // String types: the text as 932, cut at the first zero character.
  // Other types: the raw bytes.
  std::string Data;
};

bool RegKeyExists(TRootKey root, const std::string& keyPath);
// nullopt when the key or the value does not exist.
std::optional<TRegValue> RegQueryValue(TRootKey root, const std::string& keyPath,
                                       const std::string& valueName);
// Creates the key and its missing levels, then writes a plain string value.
void RegWriteString(TRootKey root, const std::string& keyPath, const std::string& valueName,
                    const std::string& value);
// Writes a value of another type (tests use it to store wrong data types).
void RegWriteBinary(TRootKey root, const std::string& keyPath, const std::string& valueName,
                    const std::string& bytes);
bool RegDeleteValue(TRootKey root, const std::string& keyPath, const std::string& valueName);
// Deletes the key with everything below it; false when it did not exist.
bool RegDeleteKeyTree(TRootKey root, const std::string& keyPath);
bool RegKeyHasSubKeys(TRootKey root, const std::string& keyPath);
bool RegKeyHasValues(TRootKey root, const std::string& keyPath);

}  // namespace mora::platform
