#include "archive/hash.h"

#include <cstring>
#include <string>

#include "base/errors.h"
#include "base/sjis.h"

namespace mora::archive {

std::uint8_t NameHash(std::string_view name) {
  // Case mapping touches ASCII letters only and never changes the length,
  // so names that compare equal under CompareText932 share a bucket.
  const std::string lower = base::LowerCase932(name);
  std::uint32_t h = static_cast<std::uint32_t>(lower.size()) * 16u;
  if (lower.size() >= 2) {
    h += static_cast<unsigned char>(lower[lower.size() - 2]);
    h += static_cast<unsigned char>(lower[0]);
  }
  return static_cast<std::uint8_t>(h & 0xFFu);
}

namespace detail {

std::uint32_t FullNameHash(std::string_view name) {
  std::uint32_t h = 2166136261u;
  for (base::TLowerCaseReader bytes(name); !bytes.AtEnd();) h = (h ^ bytes.Next()) * 16777619u;
  return h;
}

bool SameName(std::string_view a, std::string_view b) { return base::SameText932(a, b); }

void FailIndex(std::int64_t index, std::int64_t count) {
  throw base::ERangeError("THashCollection: index " + std::to_string(index) + " outside 0.." +
                          std::to_string(count - 1));
}

void FailTooLarge(std::string_view what) {
  throw base::ERangeError("THashCollection: " + std::string(what));
}

std::string_view TNameArena::Add(std::string_view name) {
  if (name.empty()) return {};
  char* target = nullptr;
  if (name.size() > BlockSize / 4) {
    // A long name gets a block of its own, so the current block's rest is
    // not given up for it.
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(name.size()));
    target = FBlocks.back().get();
  } else {
    if (name.size() > FLeft) {
      FBlocks.push_back(std::make_unique_for_overwrite<char[]>(BlockSize));
      FFree = FBlocks.back().get();
      FLeft = BlockSize;
    }
    target = FFree;
    FFree += name.size();
    FLeft -= name.size();
  }
  std::memcpy(target, name.data(), name.size());
  return {target, name.size()};
}

void TNameArena::Clear() {
  FBlocks.clear();
  FFree = nullptr;
  FLeft = 0;
}

}  // namespace detail

}  // namespace mora::archive
