#include "archive/hash.h"

#include <algorithm>

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

void THashCollectionItem::SetName(const std::string& value) {
  if (value == FName) return;
  FName = value;
  Unlink();
  Link();
}

std::string THashCollectionItem::DisplayName() const {
  return FName.empty() ? std::string("THashCollectionItem") : FName;
}

void THashCollectionItem::Link() {
  if (FCollection == nullptr) return;
  FBucket = NameHash(FName);
  THashCollectionItem*& head = FCollection->FBuckets[FBucket];
  if (head != nullptr) {
    head->FPrev = this;
    FNext = head;
  }
  head = this;
}

void THashCollectionItem::Unlink() {
  if (FCollection == nullptr) return;
  if (FPrev != nullptr) {
    FPrev->FNext = FNext;
    if (FNext != nullptr) FNext->FPrev = FPrev;
  } else if (FCollection->FBuckets[FBucket] == this) {
    FCollection->FBuckets[FBucket] = FNext;
    if (FNext != nullptr) FNext->FPrev = nullptr;
  }
  FPrev = nullptr;
  FNext = nullptr;
}

THashCollection::~THashCollection() { Clear(); }

THashCollectionItem& THashCollection::Item(int index) const {
  if (index < 0 || index >= Count()) {
    throw base::ERangeError("THashCollection: index " + std::to_string(index) +
                            " outside 0.." + std::to_string(Count() - 1));
  }
  return *FItems[static_cast<std::size_t>(index)];
}

int THashCollection::IndexOf(std::string_view name) const {
  for (const THashCollectionItem* item = FBuckets[NameHash(name)]; item != nullptr;
       item = item->FNext) {
    if (base::SameText932(item->FName, name)) return item->FCachedIndex;
  }
  return -1;
}

THashCollectionItem& THashCollection::AddItem(std::unique_ptr<THashCollectionItem> item) {
  THashCollectionItem& added = *item;
  added.FCollection = this;
  added.FCachedIndex = Count();
  FItems.push_back(std::move(item));
  added.Link();
  return added;
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
