// THashCollection: an ordered collection of named items that finds an item by
// name through a hash whose buckets grow with the collection (at least 256,
// about one item each); names compare without regard to ASCII case (code
// page 932 rules), and hash and comparison agree. Throws ERangeError on
// an index outside the collection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mora::archive {

// The classic 256-bucket hash of a name: 16 * length plus the first and the
// second-to-last byte of the lower-cased name, modulo 256. It puts names of
// one length and shape in a handful of buckets, so the collection spreads
// its items with a wider hash of the same lower-cased name instead.
std::uint8_t NameHash(std::string_view name);

class THashCollection;

class THashCollectionItem {
 public:
  THashCollectionItem() = default;
  virtual ~THashCollectionItem() = default;
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  const std::string& Name() const { return FName; }
  // Renames the item and moves it to the head of its new bucket.
  virtual void SetName(const std::string& value);
  // The same, taking the string over (a name read from a directory).
  void SetName(std::string&& value);
  // Copies the name of another item.
  virtual void Assign(const THashCollectionItem& source) { SetName(source.Name()); }
  // The name, or the class's name when the name is empty.
  virtual std::string DisplayName() const;

  int Index() const { return FCachedIndex; }
  THashCollection* Collection() const { return FCollection; }

 private:
  friend class THashCollection;
  void Link();
  void Unlink();

  THashCollection* FCollection = nullptr;
  std::uint32_t FHash = 0;  // of the lowered name
  int FCachedIndex = -1;
  std::string FName;
  THashCollectionItem* FPrev = nullptr;
  THashCollectionItem* FNext = nullptr;
};

class THashCollection {
 public:
  THashCollection() = default;
  virtual ~THashCollection();
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  THashCollectionItem& Item(int index) const;

  // Index of the item with that name (ASCII case ignored), -1 when absent.
  // Among equal names the item named last wins.
  virtual int IndexOf(std::string_view name) const;

  // Appends an item, linked under the name it already has (the empty name
  // for a new item), and returns it.
  THashCollectionItem& AddItem(std::unique_ptr<THashCollectionItem> item);
  // Makes room for count items in all, so that adding them moves nothing.
  void Reserve(int count);
  // Destroys one item; the items behind it move up one place.
  void Delete(int index);
  // Destroys every item, the last first.
  void Clear();
  // Moves an item to another position, renumbering every item that moves.
  void Move(int from, int to);

 private:
  friend class THashCollectionItem;
  std::size_t BucketOf(std::uint32_t hash) const;
  void LinkAtHead(THashCollectionItem& item);
  // Spreads the items over a new number of buckets (a power of two).
  void Grow(std::size_t buckets);

  std::vector<std::unique_ptr<THashCollectionItem>> FItems;
  std::vector<THashCollectionItem*> FBuckets;  // empty until the first item
};

}  // namespace mora::archive
