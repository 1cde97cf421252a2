// THashCollection: an ordered table of named items held by value in chunks
// (adding an item never moves another), found by name through a hash whose
// buckets grow with the table (at least 256, about one item each). Names live
// in blocks the table owns; renaming stores the new name behind the others.
// Names compare without regard to ASCII case (code page 932 rules), and hash
// and comparison agree. Throws ERangeError on an index outside the table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

namespace mora::archive {

// The classic 256-bucket hash of a name: 16 * length plus the first and the
// second-to-last byte of the lower-cased name, modulo 256. It puts names of
// one length and shape in a handful of buckets, so the collection spreads
// its items with a wider hash of the same lower-cased name instead.
std::uint8_t NameHash(std::string_view name);

namespace detail {

// FNV-1a over the name lowered by code page 932 rules (ASCII capitals only,
// trail bytes of double-byte characters untouched).
std::uint32_t FullNameHash(std::string_view name);
// Equality of two names under the same lowering, without building copies.
bool SameName(std::string_view a, std::string_view b);
[[noreturn]] void FailIndex(std::int64_t index, std::int64_t count);
[[noreturn]] void FailTooLarge(std::string_view what);

// The bytes of a table's names, in blocks that stay where they are until
// Clear: a name handed out stays valid however many names follow it.
class TNameArena {
 public:
  std::string_view Add(std::string_view name);
  void Clear();

 private:
  static constexpr std::size_t BlockSize = 65536;

  std::vector<std::unique_ptr<char[]>> FBlocks;
  char* FFree = nullptr;  // the unused rest of the current block
  std::size_t FLeft = 0;
};

}  // namespace detail

// The part of an item the table manages: its name (bytes in the table's
// arena) and its link in the bucket chain. An item made outside a table has
// the empty name.
class THashCollectionItem {
 public:
  std::string_view Name() const { return {FName, FNameLength}; }

 private:
  template <class TItem>
  friend class THashCollection;

  const char* FName = "";
  std::uint32_t FNameLength = 0;
  std::uint32_t FHash = 0;            // of the lowered name
  std::uint32_t FNext = 0xFFFFFFFFu;  // the next item of the bucket, or none
};

template <class TItem>
class THashCollection {
  static_assert(std::is_base_of_v<THashCollectionItem, TItem>);
  static_assert(std::is_trivially_copyable_v<TItem>, "items move by plain copies");

 public:
  THashCollection() = default;
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  int Count() const { return static_cast<int>(FCount); }
  TItem& Item(int index) const {
    if (index < 0 || index >= Count()) detail::FailIndex(index, Count());
    return At(static_cast<std::uint32_t>(index));
  }

  // Index of the item with that name (ASCII case ignored), -1 when absent.
  // Among equal names the item named last wins.
  int IndexOf(std::string_view name) const {
    if (FBuckets.empty()) return -1;
    const std::uint32_t hash = detail::FullNameHash(name);
    for (std::uint32_t i = FBuckets[BucketOf(hash)]; i != NoItem; i = At(i).FNext) {
      const TItem& item = At(i);
      if (item.FHash == hash && detail::SameName(item.Name(), name)) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // Appends an item with that name, linked at the head of its bucket, and
  // returns it.
  TItem& Add(std::string_view name) {
    if (FCount >= static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
      detail::FailTooLarge("too many items");
    }
    // About one item per bucket keeps a lookup at a few comparisons however
    // large the directory grows.
    if (FBuckets.empty()) {
      Grow(MinimumBuckets);
    } else if (FCount >= FBuckets.size()) {
      Grow(FBuckets.size() * 2);
    }
    const std::uint32_t index = FCount;
    if (index / ChunkSize == FChunks.size()) {
      FChunks.push_back(std::make_unique<TItem[]>(ChunkSize));
    }
    // Counted only once its name is kept, so a failure adds nothing.
    const std::string_view kept = Keep(name);
    TItem& item = At(index);
    item.FName = kept.data();
    item.FNameLength = static_cast<std::uint32_t>(kept.size());
    FCount += 1;
    Link(index);
    return item;
  }

  // Renames an item and moves it to the head of its new bucket; the same
  // name (bytes compared) leaves it where it is.
  void SetName(int index, std::string_view name) {
    TItem& item = Item(index);
    if (item.Name() == name) return;
    const std::string_view kept = Keep(name);
    Unlink(static_cast<std::uint32_t>(index));
    item.FName = kept.data();
    item.FNameLength = static_cast<std::uint32_t>(kept.size());
    Link(static_cast<std::uint32_t>(index));
  }

  // Spreads the items over buckets enough for count items in all, so that
  // adding that many rehashes nothing.
  void Reserve(int count) {
    if (count <= Count()) return;
    const auto wanted = static_cast<std::size_t>(count);
    FChunks.reserve((wanted + ChunkMask) / ChunkSize);
    std::size_t buckets = std::max(MinimumBuckets, FBuckets.size());
    while (buckets < wanted) buckets *= 2;
    if (buckets != FBuckets.size()) Grow(buckets);
  }

  // Removes one item; the items behind it move up one place.
  void Delete(int index) {
    Item(index);
    const auto removed = static_cast<std::uint32_t>(index);
    Unlink(removed);
    for (std::uint32_t i = removed; i + 1 < FCount; ++i) At(i) = At(i + 1);
    FCount -= 1;
    At(FCount) = TItem();
    FChunks.resize((FCount + ChunkMask) / ChunkSize);
    Renumber([removed](std::uint32_t i) { return i > removed ? i - 1 : i; });
  }

  // Removes every item and every name.
  void Clear() {
    FChunks.clear();
    FCount = 0;
    FBuckets.clear();
    FNames.Clear();
  }

  // Moves an item to another position; the items between shift by one.
  void Move(int from, int to) {
    Item(from);
    Item(to);
    if (from == to) return;
    const auto source = static_cast<std::uint32_t>(from);
    const auto target = static_cast<std::uint32_t>(to);
    const TItem moved = At(source);
    if (source < target) {
      for (std::uint32_t i = source; i < target; ++i) At(i) = At(i + 1);
    } else {
      for (std::uint32_t i = source; i > target; --i) At(i) = At(i - 1);
    }
    At(target) = moved;
    Renumber([source, target](std::uint32_t i) {
      if (i == source) return target;
      if (source < target && i > source && i <= target) return i - 1;
      if (target < source && i >= target && i < source) return i + 1;
      return i;
    });
  }

 private:
  static constexpr std::uint32_t NoItem = 0xFFFFFFFFu;
  static constexpr std::uint32_t ChunkSize = 4096;
  static constexpr std::uint32_t ChunkMask = ChunkSize - 1;
  static constexpr std::size_t MinimumBuckets = 256;

  TItem& At(std::uint32_t index) const { return FChunks[index / ChunkSize][index & ChunkMask]; }

  std::size_t BucketOf(std::uint32_t hash) const { return hash & (FBuckets.size() - 1); }

  // A copy of the name in the arena (the name may lie in the arena itself:
  // its blocks do not move).
  std::string_view Keep(std::string_view name) {
    if (name.size() > std::numeric_limits<std::uint32_t>::max()) {
      detail::FailTooLarge("name too long");
    }
    return FNames.Add(name);
  }

  void Link(std::uint32_t index) {
    TItem& item = At(index);
    item.FHash = detail::FullNameHash(item.Name());
    LinkAtHead(index);
  }

  void LinkAtHead(std::uint32_t index) {
    TItem& item = At(index);
    std::uint32_t& head = FBuckets[BucketOf(item.FHash)];
    item.FNext = head;
    head = index;
  }

  // Chains are a few items long, so the link that points at the item is
  // found by walking its bucket from the head.
  void Unlink(std::uint32_t index) {
    TItem& item = At(index);
    for (std::uint32_t* link = &FBuckets[BucketOf(item.FHash)]; *link != NoItem;
         link = &At(*link).FNext) {
      if (*link == index) {
        *link = item.FNext;
        break;
      }
    }
    item.FNext = NoItem;
  }

  // Spreads the items over a new number of buckets (a power of two).
  void Grow(std::size_t buckets) {
    std::vector<std::uint32_t> old(buckets, NoItem);
    old.swap(FBuckets);
    std::vector<std::uint32_t> chain;
    for (const std::uint32_t head : old) {
      chain.clear();
      for (std::uint32_t i = head; i != NoItem; i = At(i).FNext) chain.push_back(i);
      // From the tail forwards, each to the head of its new bucket: items of
      // one name (always in one bucket) keep their order, the latest first.
      for (auto i = chain.rbegin(); i != chain.rend(); ++i) LinkAtHead(*i);
    }
  }

  // Rewrites every link after items changed places; the chains keep their
  // order, so among equal names the one named last still comes first.
  template <class TMap>
  void Renumber(TMap map) {
    for (std::uint32_t& head : FBuckets) {
      if (head != NoItem) head = map(head);
    }
    for (std::uint32_t i = 0; i < FCount; ++i) {
      std::uint32_t& next = At(i).FNext;
      if (next != NoItem) next = map(next);
    }
  }

  std::vector<std::unique_ptr<TItem[]>> FChunks;
  std::uint32_t FCount = 0;
  std::vector<std::uint32_t> FBuckets;  // empty until the first item
  detail::TNameArena FNames;
};

}  // namespace mora::archive
