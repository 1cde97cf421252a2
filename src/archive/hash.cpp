#include "archive/hash.h"

#include <algorithm>

#include "base/errors.h"
#include "base/sjis.h"

namespace mora::archive {

namespace {

// Walks a name's bytes as code page 932's case mapping sees them: single-byte
// ASCII capitals lowered, both bytes of a double-byte character untouched.
class TLoweredBytes {
 public:
  explicit TLoweredBytes(std::string_view name) : FName(name) {}
  bool AtEnd() const { return FIndex >= FName.size(); }
  unsigned char Next() {
    const auto byte = static_cast<unsigned char>(FName[FIndex++]);
    if (FTrail) {
      FTrail = false;
      return byte;
    }
    if (base::IsLeadByte(byte)) {
      FTrail = true;
      return byte;
    }
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
  }

 private:
  std::string_view FName;
  std::size_t FIndex = 0;
  bool FTrail = false;
};

// FNV-1a over the lowered bytes: equal names under SameText932 hash alike.
std::uint32_t FullNameHash(std::string_view name) {
  std::uint32_t h = 2166136261u;
  for (TLoweredBytes bytes(name); !bytes.AtEnd();) h = (h ^ bytes.Next()) * 16777619u;
  return h;
}

// SameText932 without building the two lowered copies.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  TLoweredBytes la(a);
  TLoweredBytes lb(b);
  while (!la.AtEnd()) {
    if (la.Next() != lb.Next()) return false;
  }
  return true;
}

constexpr std::size_t MinimumBuckets = 256;

}  // namespace

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

void THashCollectionItem::SetName(const std::string& value) {
  if (value == FName) return;
  FName = value;
  Unlink();
  Link();
}

void THashCollectionItem::SetName(std::string&& value) {
  if (value == FName) return;
  FName = std::move(value);
  Unlink();
  Link();
}

std::string THashCollectionItem::DisplayName() const {
  return FName.empty() ? std::string("THashCollectionItem") : FName;
}

void THashCollectionItem::Link() {
  if (FCollection == nullptr) return;
  FHash = FullNameHash(FName);
  FCollection->LinkAtHead(*this);
}

void THashCollectionItem::Unlink() {
  if (FCollection == nullptr || FCollection->FBuckets.empty()) return;
  if (FPrev != nullptr) {
    FPrev->FNext = FNext;
    if (FNext != nullptr) FNext->FPrev = FPrev;
  } else {
    THashCollectionItem*& head = FCollection->FBuckets[FCollection->BucketOf(FHash)];
    if (head == this) {
      head = FNext;
      if (FNext != nullptr) FNext->FPrev = nullptr;
    }
  }
  FPrev = nullptr;
  FNext = nullptr;
}

THashCollection::~THashCollection() { Clear(); }

THashCollectionItem& THashCollection::Item(int index) const {
  if (index < 0 || index >= Count()) {
    throw base::ERangeError("THashCollection: index " + std::to_string(index) + " outside 0.." +
                            std::to_string(Count() - 1));
  }
  return *FItems[static_cast<std::size_t>(index)];
}

std::size_t THashCollection::BucketOf(std::uint32_t hash) const {
  return hash & (FBuckets.size() - 1);
}

void THashCollection::LinkAtHead(THashCollectionItem& item) {
  THashCollectionItem*& head = FBuckets[BucketOf(item.FHash)];
  item.FPrev = nullptr;
  item.FNext = head;
  if (head != nullptr) head->FPrev = &item;
  head = &item;
}

void THashCollection::Grow(std::size_t buckets) {
  std::vector<THashCollectionItem*> old(buckets, nullptr);
  old.swap(FBuckets);
  for (THashCollectionItem* head : old) {
    if (head == nullptr) continue;
    // From the tail forwards, each to the head of its new bucket: items of
    // one name (always in one bucket) keep their order, the latest first.
    THashCollectionItem* item = head;
    while (item->FNext != nullptr) item = item->FNext;
    while (item != nullptr) {
      THashCollectionItem* previous = item->FPrev;
      LinkAtHead(*item);
      item = previous;
    }
  }
}

int THashCollection::IndexOf(std::string_view name) const {
  if (FBuckets.empty()) return -1;
  const std::uint32_t hash = FullNameHash(name);
  for (const THashCollectionItem* item = FBuckets[BucketOf(hash)]; item != nullptr;
       item = item->FNext) {
    if (item->FHash == hash && SameName(item->FName, name)) return item->FCachedIndex;
  }
  return -1;
}

THashCollectionItem& THashCollection::AddItem(std::unique_ptr<THashCollectionItem> item) {
  THashCollectionItem& added = *item;
  added.FCollection = this;
  added.FCachedIndex = Count();
  FItems.push_back(std::move(item));
  // About one item per bucket keeps a lookup at a few comparisons however
  // large the directory grows.
  if (FBuckets.empty()) {
    Grow(MinimumBuckets);
  } else if (FItems.size() > FBuckets.size()) {
    Grow(FBuckets.size() * 2);
  }
  added.Link();
  return added;
}

void THashCollection::Reserve(int count) {
  if (count <= Count()) return;
  FItems.reserve(static_cast<std::size_t>(count));
  std::size_t buckets = std::max(MinimumBuckets, FBuckets.size());
  while (buckets < static_cast<std::size_t>(count)) buckets *= 2;
  if (buckets != FBuckets.size()) Grow(buckets);
}

void THashCollection::Delete(int index) {
  THashCollectionItem& item = Item(index);
  for (std::size_t i = static_cast<std::size_t>(index) + 1; i < FItems.size(); ++i) {
    FItems[i]->FCachedIndex -= 1;
  }
  item.Unlink();
  FItems.erase(FItems.begin() + index);
}

void THashCollection::Clear() {
  while (!FItems.empty()) Delete(Count() - 1);
}

void THashCollection::Move(int from, int to) {
  Item(from);
  Item(to);
  auto moved = std::move(FItems[static_cast<std::size_t>(from)]);
  FItems.erase(FItems.begin() + from);
  FItems.insert(FItems.begin() + to, std::move(moved));
  const int low = std::min(from, to);
  const int high = std::max(from, to);
  for (int i = low; i <= high; ++i) FItems[static_cast<std::size_t>(i)]->FCachedIndex = i;
}

}  // namespace mora::archive
