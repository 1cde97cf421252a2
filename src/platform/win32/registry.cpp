// HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE keys and values through advapi32's
// W calls; the system compares key and value names without regard to case.
#include "platform/registry.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/win32/winapi.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;
using win32::ToWide;

namespace {

HKEY RootHandle(TRootKey root) {
  return root == TRootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool OpenKey(TRootKey root, const std::string& keyPath, REGSAM access, win32::TRegKey& key) {
  return ::RegOpenKeyExW(RootHandle(root), ToWide(keyPath).c_str(), 0, access, key.Receive()) ==
         ERROR_SUCCESS;
}

void WriteValue(TRootKey root, const std::string& keyPath, const std::string& valueName, DWORD type,
                const void* data, std::size_t size) {
  const std::wstring wideKey = ToWide(keyPath);
  const std::wstring wideName = ToWide(valueName);
  win32::TRegKey key;
  if (::RegCreateKeyExW(RootHandle(root), wideKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    throw base::ERegistryException(FormatS(Sjis("レジストリキー %s を作成できません"), keyPath));
  }
  if (size > 0xFFFFFFFFu ||
      ::RegSetValueExW(key.Get(), wideName.c_str(), 0, type, static_cast<const BYTE*>(data),
                       static_cast<DWORD>(size)) != ERROR_SUCCESS) {
    throw base::ERegistryException(FormatS(Sjis("レジストリ値 %s を書き込めません"), valueName));
  }
}

std::optional<DWORD> QueryInfoCount(TRootKey root, const std::string& keyPath, bool subKeys) {
  win32::TRegKey key;
  if (!OpenKey(root, keyPath, KEY_QUERY_VALUE, key)) return std::nullopt;
  DWORD keys = 0;
  DWORD values = 0;
  if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return subKeys ? keys : values;
}

}  // namespace

bool RegKeyExists(TRootKey root, const std::string& keyPath) {
  win32::TRegKey key;
  return OpenKey(root, keyPath, KEY_READ, key);
}

std::optional<TRegValue> RegQueryValue(TRootKey root, const std::string& keyPath,
                                       const std::string& valueName) {
  win32::TRegKey key;
  if (!OpenKey(root, keyPath, KEY_QUERY_VALUE, key)) return std::nullopt;
  const std::wstring wideName = ToWide(valueName);
  std::vector<BYTE> data;
  DWORD type = REG_NONE;
  // The value may grow between the size query and the read; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    LSTATUS status =
        ::RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return std::nullopt;
    data.assign(size, 0);
    status = ::RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return std::nullopt;
    data.resize(size);
    TRegValue value;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      value.Type = type == REG_SZ ? TRegValueType::String : TRegValueType::ExpandString;
      std::wstring text(data.size() / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
      text.resize(std::wcslen(text.c_str()));
      auto converted = win32::TryFromWide(text);
      if (!converted) {
        throw base::ERegistryException(
            FormatS(Sjis("レジストリ値 %s は Shift-JIS で表せない文字を含みます"), valueName));
      }
      value.Data = std::move(*converted);
    } else {
      value.Type = TRegValueType::Other;
      value.Data.assign(reinterpret_cast<const char*>(data.data()), data.size());
    }
    return value;
  }
  return std::nullopt;
}

void RegWriteString(TRootKey root, const std::string& keyPath, const std::string& valueName,
                    const std::string& value) {
  const std::wstring text = win32::ToWideText(value);
  WriteValue(root, keyPath, valueName, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void RegWriteBinary(TRootKey root, const std::string& keyPath, const std::string& valueName,
                    const std::string& bytes) {
  WriteValue(root, keyPath, valueName, REG_BINARY, bytes.data(), bytes.size());
}

bool RegDeleteValue(TRootKey root, const std::string& keyPath, const std::string& valueName) {
  win32::TRegKey key;
  if (!OpenKey(root, keyPath, KEY_SET_VALUE, key)) return false;
  return ::RegDeleteValueW(key.Get(), ToWide(valueName).c_str()) == ERROR_SUCCESS;
}

bool RegDeleteKeyTree(TRootKey root, const std::string& keyPath) {
  // An empty path would name the root itself; that is never deleted.
  if (keyPath.empty() || keyPath.find_first_not_of('\\') == std::string::npos) return false;
  if (!RegKeyExists(root, keyPath)) return false;
  return ::RegDeleteTreeW(RootHandle(root), ToWide(keyPath).c_str()) == ERROR_SUCCESS;
}

bool RegKeyHasSubKeys(TRootKey root, const std::string& keyPath) {
  return QueryInfoCount(root, keyPath, true).value_or(0) > 0;
}

bool RegKeyHasValues(TRootKey root, const std::string& keyPath) {
  return QueryInfoCount(root, keyPath, false).value_or(0) > 0;
}

}  // namespace mora::platform
