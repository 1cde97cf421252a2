#include "archive/hash.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/errors.h"

namespace mora::archive {
namespace {

THashCollectionItem& AddNamed(THashCollection& collection, const std::string& name) {
  auto& item = collection.AddItem(std::make_unique<THashCollectionItem>());
  item.SetName(name);
  return item;
}

TEST(NameHash, FollowsLengthFirstAndSecondToLastByte) {
  EXPECT_EQ(NameHash("install.dat"), 122);  // (176 + 97 + 105) mod 256
  EXPECT_EQ(NameHash("INSTALL.DAT"), 122);
  EXPECT_EQ(NameHash("game.dat"), 72);  // (128 + 97 + 103) mod 256
  EXPECT_EQ(NameHash("\\EOF\\"), 18);   // (80 + 102 + 92) mod 256
  EXPECT_EQ(NameHash(""), 0);
  EXPECT_EQ(NameHash("x"), 16);
  EXPECT_EQ(NameHash("\xFF"), 16);
}

TEST(NameHash, LeavesDoubleByteCharactersAlone) {
  // 83 41 is one katakana character: its trail byte 0x41 is not the letter A.
  EXPECT_EQ(NameHash("\x83\x41x"), (48 + 0x41 + 0x83) % 256);
  THashCollection collection;
  AddNamed(collection, "\x83\x41x");
  EXPECT_EQ(collection.IndexOf("\x83\x41X"), 0);
  EXPECT_EQ(collection.IndexOf("\x83\x61x"), -1);
}

TEST(HashCollection, FindsNamesWithoutRegardToCase) {
  THashCollection collection;
  AddNamed(collection, "game.dat");
  AddNamed(collection, "install.dat");
  EXPECT_EQ(collection.IndexOf("INSTALL.DAT"), 1);
  EXPECT_EQ(collection.IndexOf("Game.Dat"), 0);
  EXPECT_EQ(collection.IndexOf("missing"), -1);
}

TEST(HashCollection, RenameRelinksTheItem) {
  THashCollection collection;
  for (const char* name : {"a", "b", "c", "a.txt", "e"}) AddNamed(collection, name);
  collection.Item(3).SetName("/a.txt");
  EXPECT_EQ(collection.IndexOf("a.txt"), -1);
  EXPECT_EQ(collection.IndexOf("/a.txt"), 3);
}

TEST(HashCollection, DeleteRenumbersTheItemsBehind) {
  THashCollection collection;
  for (const char* name : {"a", "b", "c", "d", "e"}) AddNamed(collection, name);
  collection.Delete(2);
  ASSERT_EQ(collection.Count(), 4);
  EXPECT_EQ(collection.Item(2).Index(), 2);
  EXPECT_EQ(collection.Item(3).Index(), 3);
  EXPECT_EQ(collection.IndexOf("d"), 2);
  EXPECT_EQ(collection.IndexOf("e"), 3);
  EXPECT_EQ(collection.IndexOf("c"), -1);
  EXPECT_EQ(collection.IndexOf("a"), 0);
}

TEST(HashCollection, EqualNamesFindTheOneNamedLast) {
  THashCollection collection;
  AddNamed(collection, "x");
  AddNamed(collection, "X");
  EXPECT_EQ(collection.IndexOf("x"), 1);
  // Renaming the first one again puts it at the head of its bucket.
  collection.Item(0).SetName("y");
  collection.Item(0).SetName("x");
  EXPECT_EQ(collection.IndexOf("x"), 0);
}

TEST(HashCollection, UnlinkKeepsTheBucketChainIntact) {
  // Two-byte names with the same first byte share a bucket.
  ASSERT_EQ(NameHash("ab"), NameHash("ac"));
  ASSERT_EQ(NameHash("ab"), NameHash("ad"));
  THashCollection collection;
  AddNamed(collection, "ab");
  AddNamed(collection, "ac");
  AddNamed(collection, "ad");
  collection.Delete(1);  // the middle of the chain ad -> ac -> ab
  EXPECT_EQ(collection.IndexOf("ab"), 0);
  EXPECT_EQ(collection.IndexOf("ac"), -1);
  EXPECT_EQ(collection.IndexOf("ad"), 1);
  collection.Delete(1);  // the head
  EXPECT_EQ(collection.IndexOf("ab"), 0);
  collection.Delete(0);  // the last one
  EXPECT_EQ(collection.IndexOf("ab"), -1);
  AddNamed(collection, "ac");
  EXPECT_EQ(collection.IndexOf("AC"), 0);
}

TEST(HashCollection, MoveRenumbersEveryMovedItem) {
  THashCollection collection;
  for (const char* name : {"a", "b", "c", "d"}) AddNamed(collection, name);
  collection.Move(0, 3);
  EXPECT_EQ(collection.IndexOf("a"), 3);
  EXPECT_EQ(collection.IndexOf("b"), 0);
  EXPECT_EQ(collection.IndexOf("d"), 2);
}

TEST(HashCollection, ClearEmptiesEveryBucket) {
  THashCollection collection;
  AddNamed(collection, "a");
  AddNamed(collection, "b");
  collection.Clear();
  EXPECT_EQ(collection.Count(), 0);
  EXPECT_EQ(collection.IndexOf("a"), -1);
  AddNamed(collection, "a");
  EXPECT_EQ(collection.IndexOf("A"), 0);
}

TEST(HashCollection, DisplayNameFallsBackToTheClassName) {
  THashCollection collection;
  auto& item = collection.AddItem(std::make_unique<THashCollectionItem>());
  EXPECT_EQ(item.DisplayName(), "THashCollectionItem");
  item.SetName("n");
  EXPECT_EQ(item.DisplayName(), "n");
  EXPECT_THROW(collection.Item(1), base::ERangeError);
}

}  // namespace
}  // namespace mora::archive
