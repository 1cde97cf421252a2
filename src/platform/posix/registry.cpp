// The registry on POSIX: one JSON file per user (see state.cpp for where)
// holding both roots:
//   {"format": 1,
//    "HKEY_CURRENT_USER":  node, "HKEY_LOCAL_MACHINE": node}
//   node  = {"keys": [{"name": text, "keys": [...], "values": [...]}, ...],
//            "values": [{"name": text, "type": "REG_SZ" | "REG_EXPAND_SZ" |
//                        "REG_BINARY", "data": text}, ...]}
//   text  = a JSON string holding the UTF-8 form of the 932 bytes when they
//           convert there and back unchanged, else {"hex": "<2 digits a byte>"}
// Key and value names keep the case they were created with and compare
// without regard to ASCII case. Readers take the file as it is (it is only
// ever replaced by rename); writers hold an exclusive flock on
// registry.json.lock for the read-modify-write and replace the file
// atomically. A file that is not valid JSON of this shape reads as empty;
// the next write moves it aside as registry.json.damaged and starts afresh.
#include "platform/registry.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/posix/state.h"

namespace mora::platform {

namespace {

using nlohmann::json;

struct TValue {
  std::string Name;
  TRegValueType Type = TRegValueType::String;
  std::string Data;
};

struct TNode {
  std::string Name;
  std::vector<TNode> Keys;
  std::vector<TValue> Values;
};

struct TStore {
  TNode CurrentUser;
  TNode LocalMachine;
  TNode& Root(TRootKey root) { return root == TRootKey::CurrentUser ? CurrentUser : LocalMachine; }
};

json EncodeText(const std::string& bytes) {
  try {
    std::string utf8 = base::Cp932ToUtf8(bytes);
    if (base::Utf8ToCp932(utf8) == bytes) return json(std::move(utf8));
  } catch (const base::EConvertError&) {
  }
  return json{{"hex", posix::HexEncode(bytes)}};
}

bool DecodeText(const json& j, std::string& out) {
  if (j.is_string()) {
    try {
      out = base::Utf8ToCp932(j.get<std::string>());
      return true;
    } catch (const base::EConvertError&) {
      return false;
    }
  }
  if (j.is_object() && j.size() == 1 && j.contains("hex") && j["hex"].is_string()) {
    auto bytes = posix::HexDecode(j["hex"].get<std::string>());
    if (!bytes) return false;
    out = std::move(*bytes);
    return true;
  }
  return false;
}

const char* TypeName(TRegValueType type) {
  switch (type) {
    case TRegValueType::String: return "REG_SZ";
    case TRegValueType::ExpandString: return "REG_EXPAND_SZ";
    case TRegValueType::Other: break;
  }
  return "REG_BINARY";
}

bool NodeFromJson(const json& j, TNode& node, int depth) {
  if (!j.is_object() || depth > 512) return false;
  if (j.contains("keys")) {
    const json& keys = j["keys"];
    if (!keys.is_array()) return false;
    for (const json& key : keys) {
      TNode child;
      if (!key.is_object() || !key.contains("name") || !DecodeText(key["name"], child.Name) ||
          !NodeFromJson(key, child, depth + 1)) {
        return false;
      }
      node.Keys.push_back(std::move(child));
    }
  }
  if (j.contains("values")) {
    const json& values = j["values"];
    if (!values.is_array()) return false;
    for (const json& v : values) {
      TValue value;
      if (!v.is_object() || !v.contains("name") || !v.contains("type") || !v.contains("data") ||
          !v["type"].is_string() || !DecodeText(v["name"], value.Name) ||
          !DecodeText(v["data"], value.Data)) {
        return false;
      }
      const std::string type = v["type"].get<std::string>();
      value.Type = type == "REG_SZ"          ? TRegValueType::String
                   : type == "REG_EXPAND_SZ" ? TRegValueType::ExpandString
                                             : TRegValueType::Other;
      node.Values.push_back(std::move(value));
    }
  }
  return true;
}

json NodeToJson(const TNode& node) {
  json keys = json::array();
  for (const TNode& child : node.Keys) {
    json k = NodeToJson(child);
    k["name"] = EncodeText(child.Name);
    keys.push_back(std::move(k));
  }
  json values = json::array();
  for (const TValue& value : node.Values) {
    values.push_back(json{{"name", EncodeText(value.Name)},
                          {"type", TypeName(value.Type)},
                          {"data", EncodeText(value.Data)}});
  }
  return json{{"keys", std::move(keys)}, {"values", std::move(values)}};
}

constexpr const char* CurrentUserName = "HKEY_CURRENT_USER";
constexpr const char* LocalMachineName = "HKEY_LOCAL_MACHINE";

// Loads the store; false when the file exists but is damaged (store empty).
bool LoadStore(const std::string& file, TStore& store) {
  store = TStore{};
  const auto text = posix::ReadHostFile(file);
  if (!text) return true;
  const json j = json::parse(*text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return false;
  bool ok = true;
  if (j.contains(CurrentUserName)) ok = NodeFromJson(j[CurrentUserName], store.CurrentUser, 0);
  if (ok && j.contains(LocalMachineName)) {
    ok = NodeFromJson(j[LocalMachineName], store.LocalMachine, 0);
  }
  if (!ok) store = TStore{};
  return ok;
}

// Splits "A\B\C" (leading and trailing "\" ignored); nullopt for an empty
// level in the middle ("A\\B"), which the system refuses as well.
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& keyPath) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start < keyPath.size() && keyPath[start] == '\\') ++start;
  std::string current;
  for (std::size_t i = start; i < keyPath.size(); ++i) {
    if (base::IsPathDelimiter(keyPath, i)) {
      if (current.empty()) return std::nullopt;
      levels.push_back(std::move(current));
      current.clear();
    } else {
      current += keyPath[i];
    }
  }
  if (!current.empty()) levels.push_back(std::move(current));
  return levels;
}

TNode* FindChild(TNode& node, const std::string& name) {
  for (TNode& child : node.Keys) {
    if (base::SameText932(child.Name, name)) return &child;
  }
  return nullptr;
}

TNode* FindKey(TStore& store, TRootKey root, const std::string& keyPath) {
  const auto levels = SplitKeyPath(keyPath);
  if (!levels) return nullptr;
  TNode* node = &store.Root(root);
  for (const auto& level : *levels) {
    node = FindChild(*node, level);
    if (!node) return nullptr;
  }
  return node;
}

TValue* FindValue(TNode& node, const std::string& name) {
  for (TValue& value : node.Values) {
    if (base::SameText932(value.Name, name)) return &value;
  }
  return nullptr;
}

std::optional<TNode> ReadKey(TRootKey root, const std::string& keyPath) {
  TStore store;
  LoadStore(posix::StateLayout().RegistryFile, store);
  TNode* node = FindKey(store, root, keyPath);
  if (!node) return std::nullopt;
  return std::move(*node);
}

[[noreturn]] void WriteFailed(const std::string& keyPath) {
  throw base::ERegistryException(
      base::FormatS(base::Sjis("レジストリ キー %s に書き込めません"), keyPath));
}

// Runs change on the store under the writer lock and saves the result when
// change answers true. Returns change's answer.
template <typename TChange>
bool ModifyStore(const std::string& keyPath, TChange change) {
  const std::string file = posix::StateLayout().RegistryFile;
  const std::size_t slash = file.find_last_of('/');
  if (slash != std::string::npos && slash > 0) posix::MakeHostFolders(file.substr(0, slash), 0700);
  posix::THostFileLock lock(file + ".lock", true);
  if (!lock.Locked()) WriteFailed(keyPath);
  TStore store;
  if (!LoadStore(file, store)) {
    // Keep the damaged file for inspection instead of overwriting it.
    std::rename(file.c_str(), (file + ".damaged").c_str());
  }
  if (!change(store)) return false;
  json j{{"format", 1},
         {CurrentUserName, NodeToJson(store.CurrentUser)},
         {LocalMachineName, NodeToJson(store.LocalMachine)}};
  if (!posix::WriteHostFileAtomic(file, j.dump(1))) WriteFailed(keyPath);
  return true;
}

void WriteValue(TRootKey root, const std::string& keyPath, const std::string& valueName,
                TRegValueType type, const std::string& data) {
  const auto levels = SplitKeyPath(keyPath);
  if (!levels) WriteFailed(keyPath);
  ModifyStore(keyPath, [&](TStore& store) {
    TNode* node = &store.Root(root);
    for (const auto& level : *levels) {
      TNode* child = FindChild(*node, level);
      if (!child) {
        node->Keys.push_back(TNode{level, {}, {}});
        child = &node->Keys.back();
      }
      node = child;
    }
    if (TValue* value = FindValue(*node, valueName)) {
      value->Type = type;
      value->Data = data;
    } else {
      node->Values.push_back(TValue{valueName, type, data});
    }
    return true;
  });
}

}  // namespace

bool RegKeyExists(TRootKey root, const std::string& keyPath) {
  return ReadKey(root, keyPath).has_value();
}

std::optional<TRegValue> RegQueryValue(TRootKey root, const std::string& keyPath,
                                       const std::string& valueName) {
  auto node = ReadKey(root, keyPath);
  if (!node) return std::nullopt;
  const TValue* value = FindValue(*node, valueName);
  if (!value) return std::nullopt;
  TRegValue result;
  result.Type = value->Type;
  result.Data = value->Data;
  if (result.Type != TRegValueType::Other) {
    const std::size_t zero = result.Data.find('\0');
    if (zero != std::string::npos) result.Data.resize(zero);
  }
  return result;
}

void RegWriteString(TRootKey root, const std::string& keyPath, const std::string& valueName,
                    const std::string& value) {
  WriteValue(root, keyPath, valueName, TRegValueType::String, value);
}

void RegWriteBinary(TRootKey root, const std::string& keyPath, const std::string& valueName,
                    const std::string& bytes) {
  WriteValue(root, keyPath, valueName, TRegValueType::Other, bytes);
}

bool RegDeleteValue(TRootKey root, const std::string& keyPath, const std::string& valueName) {
  if (!ReadKey(root, keyPath)) return false;
  return ModifyStore(keyPath, [&](TStore& store) {
    TNode* node = FindKey(store, root, keyPath);
    if (!node) return false;
    for (auto it = node->Values.begin(); it != node->Values.end(); ++it) {
      if (base::SameText932(it->Name, valueName)) {
        node->Values.erase(it);
        return true;
      }
    }
    return false;
  });
}

bool RegDeleteKeyTree(TRootKey root, const std::string& keyPath) {
  const auto levels = SplitKeyPath(keyPath);
  if (!levels || levels->empty() || !ReadKey(root, keyPath)) return false;
  return ModifyStore(keyPath, [&](TStore& store) {
    TNode* parent = &store.Root(root);
    for (std::size_t i = 0; i + 1 < levels->size(); ++i) {
      parent = FindChild(*parent, (*levels)[i]);
      if (!parent) return false;
    }
    for (auto it = parent->Keys.begin(); it != parent->Keys.end(); ++it) {
      if (base::SameText932(it->Name, levels->back())) {
        parent->Keys.erase(it);
        return true;
      }
    }
    return false;
  });
}

bool RegKeyHasSubKeys(TRootKey root, const std::string& keyPath) {
  const auto node = ReadKey(root, keyPath);
  return node && !node->Keys.empty();
}

bool RegKeyHasValues(TRootKey root, const std::string& keyPath) {
  const auto node = ReadKey(root, keyPath);
  return node && !node->Values.empty();
}

}  // namespace mora::platform
