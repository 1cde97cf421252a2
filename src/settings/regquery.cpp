// The registry, installed-file, plain-file and caption queries of the
// install settings.
#include <string_view>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::settings {

using base::FormatS;
using base::Sjis;
using platform::TRootKey;

namespace {

constexpr std::string_view SoftwareKey = "Software";

// RegistryKey without its one leading delimiter.
std::string RelativeKey(const std::string& registryKey) {
  if (!registryKey.empty() && base::IsPathDelimiter(registryKey, 0)) return registryKey.substr(1);
  return registryKey;
}

std::string TitleKeyPath(const std::string& registryKey) {
  return std::string(SoftwareKey) + "\\" + RelativeKey(registryKey);
}

// True when every level of the relative key names a real key: not empty,
// not "." and not "..". One trailing delimiter is allowed. A key that fails
// this could make a delete reach Software itself or a key beside the title's.
bool IsConfinedKey(const std::string& key) {
  std::string rest = key;
  if (base::EndsWithPathDelimiter(rest)) rest.pop_back();
  if (rest.empty()) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || base::IsPathDelimiter(rest, i)) {
      const std::string_view level(rest.data() + start, i - start);
      if (level.empty() || level == "." || level == "..") return false;
      start = i + 1;
    }
  }
  return true;
}

}  // namespace

std::string TMoraInstallSet::ReadRegString(const std::string& valueName,
                                           const std::string& defaultValue) const {
  if (RegistryKey.empty()) return defaultValue;
  const std::optional<platform::TRegValue> value =
      platform::RegQueryValue(TRootKey::CurrentUser, TitleKeyPath(RegistryKey), valueName);
  if (!value) return defaultValue;
  if (value->Type == platform::TRegValueType::Other) {
    throw base::ERegistryException(FormatS(Sjis("'%s' のデータ型が不正です"), valueName));
  }
  // String data ends at its first zero character, whatever the store keeps.
  return value->Data.substr(0, value->Data.find('\0'));
}

void TMoraInstallSet::WriteRegString(const std::string& valueName, const std::string& value) const {
  if (RegistryKey.empty()) return;
  try {
    platform::RegWriteString(TRootKey::CurrentUser, TitleKeyPath(RegistryKey), valueName, value);
  } catch (const base::Exception&) {
    throw base::ERegistryException(FormatS(Sjis("'%s' の設定に失敗しました"), valueName));
  }
}

void TMoraInstallSet::DeleteRegKey() const {
  if (RegistryKey.empty()) return;
  std::string key = RelativeKey(RegistryKey);
  if (!IsConfinedKey(key)) return;
  if (!platform::RegKeyExists(TRootKey::CurrentUser, std::string(SoftwareKey))) return;
  const std::string software = std::string(SoftwareKey) + "\\";
  platform::RegDeleteKeyTree(TRootKey::CurrentUser, software + key);
  // Remove the levels above that the title leaves empty (a maker's key that
  // held only this title); stop at the first one still in use.
  CutLastPathPart(key);
  while (!key.empty()) {
    const std::string path = software + key;
    if (!platform::RegKeyExists(TRootKey::CurrentUser, path)) return;
    if (platform::RegKeyHasSubKeys(TRootKey::CurrentUser, path)) return;
    if (platform::RegKeyHasValues(TRootKey::CurrentUser, path)) return;
    platform::RegDeleteKeyTree(TRootKey::CurrentUser, path);
    CutLastPathPart(key);
  }
}

bool TMoraInstallSet::IsInstalled() const {
  const std::string folder = ReadRegString("InstallPath", "");
  if (folder.empty()) return false;
  return platform::FileExists(AppendPathDelimiter(folder) + ProgramFile);
}

const std::string& TMoraInstallSet::GetInstalledFile(int index) const {
  if (index < 0 || index >= InstalledFileCount()) {
    throw base::ERangeError("InstalledFiles index " + std::to_string(index) + " out of range");
  }
  return InstalledFiles[static_cast<std::size_t>(index)];
}

int TMoraInstallSet::IndexOfInstalledFile(const std::string& name) const {
  for (std::size_t i = 0; i < InstalledFiles.size(); ++i) {
    if (base::SameText932(InstalledFiles[i], name)) return static_cast<int>(i);
  }
  return -1;
}

void TMoraInstallSet::AddInstalledFile(const std::string& name) {
  if (IndexOfInstalledFile(name) < 0) InstalledFiles.push_back(name);
}

bool TMoraInstallSet::IsPlainFile(const std::string& relativePath) const {
  // Case is mapped by code page 932 rules on every machine, so the choice of
  // files to copy never depends on the user's locale.
  const std::string lower = base::LowerCase932(relativePath);
  for (const std::string& entry : PlainFiles) {
    if (base::SameText932(entry, lower)) return true;
  }
  return false;
}

std::string TMoraInstallSet::GetSetupCaption() const {
  if (!SetupCaption.empty()) return SetupCaption;
  return Title + Sjis("のセットアップ");
}

}  // namespace mora::settings
