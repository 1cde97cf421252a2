#include "archive/hash.h"

#include <gtest/gtest.h>

#include <string>

#include "base/errors.h"

namespace mora::archive {
namespace {

using TCollection = THashCollection<THashCollectionItem>;

void AddNamed(TCollection& collection, const std::string& name) { collection.Add(name); }

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
  TCollection collection;
  AddNamed(collection, "\x83\x41x");
  EXPECT_EQ(collection.IndexOf("\x83\x41X"), 0);
  EXPECT_EQ(collection.IndexOf("\x83\x61x"), -1);
}

TEST(HashCollection, FindsNamesWithoutRegardToCase) {
  TCollection collection;
  AddNamed(collection, "game.dat");
  AddNamed(collection, "install.dat");
  EXPECT_EQ(collection.IndexOf("INSTALL.DAT"), 1);
  EXPECT_EQ(collection.IndexOf("Game.Dat"), 0);
  EXPECT_EQ(collection.IndexOf("missing"), -1);
}

TEST(HashCollection, RenameRelinksTheItem) {
  TCollection collection;
  for (const char* name : {"a", "b", "c", "a.txt", "e"}) AddNamed(collection, name);
  collection.SetName(3, "/a.txt");
  EXPECT_EQ(collection.IndexOf("a.txt"), -1);
  EXPECT_EQ(collection.IndexOf("/a.txt"), 3);
}

TEST(HashCollection, DeleteRenumbersTheItemsBehind) {
  TCollection collection;
  for (const char* name : {"a", "b", "c", "d", "e"}) AddNamed(collection, name);
  collection.Delete(2);
  ASSERT_EQ(collection.Count(), 4);
  EXPECT_EQ(collection.Item(2).Name(), "d");
  EXPECT_EQ(collection.Item(3).Name(), "e");
  EXPECT_EQ(collection.IndexOf("d"), 2);
  EXPECT_EQ(collection.IndexOf("e"), 3);
  EXPECT_EQ(collection.IndexOf("c"), -1);
  EXPECT_EQ(collection.IndexOf("a"), 0);
}

TEST(HashCollection, EqualNamesFindTheOneNamedLast) {
  TCollection collection;
  AddNamed(collection, "x");
  AddNamed(collection, "X");
  EXPECT_EQ(collection.IndexOf("x"), 1);
  // Renaming the first one again puts it at the head of its bucket.
  collection.SetName(0, "y");
  collection.SetName(0, "x");
  EXPECT_EQ(collection.IndexOf("x"), 0);
}

TEST(HashCollection, UnlinkKeepsTheBucketChainIntact) {
  // Two-byte names with the same first byte share a bucket.
  ASSERT_EQ(NameHash("ab"), NameHash("ac"));
  ASSERT_EQ(NameHash("ab"), NameHash("ad"));
  TCollection collection;
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
  TCollection collection;
  for (const char* name : {"a", "b", "c", "d"}) AddNamed(collection, name);
  collection.Move(0, 3);
  EXPECT_EQ(collection.IndexOf("a"), 3);
  EXPECT_EQ(collection.IndexOf("b"), 0);
  EXPECT_EQ(collection.IndexOf("d"), 2);
  EXPECT_EQ(collection.Item(3).Name(), "a");
  collection.Move(3, 1);
  EXPECT_EQ(collection.IndexOf("a"), 1);
  EXPECT_EQ(collection.IndexOf("b"), 0);
  EXPECT_EQ(collection.IndexOf("c"), 2);
  EXPECT_EQ(collection.IndexOf("d"), 3);
}

TEST(HashCollection, ClearEmptiesEveryBucket) {
  TCollection collection;
  AddNamed(collection, "a");
  AddNamed(collection, "b");
  collection.Clear();
  EXPECT_EQ(collection.Count(), 0);
  EXPECT_EQ(collection.IndexOf("a"), -1);
  AddNamed(collection, "a");
  EXPECT_EQ(collection.IndexOf("A"), 0);
}

TEST(HashCollection, EmptyNamesAndIndicesOutsideTheCollection) {
  TCollection collection;
  collection.Add("");
  EXPECT_EQ(collection.Item(0).Name(), "");
  EXPECT_EQ(collection.IndexOf(""), 0);
  collection.SetName(0, "n");
  EXPECT_EQ(collection.IndexOf(""), -1);
  EXPECT_EQ(collection.IndexOf("N"), 0);
  EXPECT_THROW(collection.Item(1), base::ERangeError);
  EXPECT_THROW(collection.Item(-1), base::ERangeError);
  EXPECT_THROW(collection.SetName(1, "x"), base::ERangeError);
}

TEST(HashCollection, NamesSurviveRenamesAcrossBlocksAndChunks) {
  // Enough items for several chunks of items and, renamed twice over with
  // long names, many blocks of names; a name stored early must still read
  // back after every later one was added.
  TCollection collection;
  const int count = 10000;
  const auto name = [](int i, int round) {
    return "folder" + std::to_string(round) + "\\" +
           std::string(static_cast<std::size_t>(i % 50), 'x') + std::to_string(i);
  };
  for (int i = 0; i < count; ++i) collection.Add(name(i, 0));
  for (int round = 1; round <= 2; ++round) {
    for (int i = 0; i < count; i += 2) collection.SetName(i, name(i, round));
  }
  // A name longer than a quarter block gets a block of its own.
  const std::string longName(40000, 'L');
  collection.SetName(1, longName);
  collection.Add("after");
  for (int i = 0; i < count; ++i) {
    const std::string expected = i == 1 ? longName : name(i, i % 2 == 0 ? 2 : 0);
    ASSERT_EQ(collection.Item(i).Name(), expected) << i;
    ASSERT_EQ(collection.IndexOf(expected), i) << i;
  }
  EXPECT_EQ(collection.IndexOf(name(0, 1)), -1);
  EXPECT_EQ(collection.IndexOf("AFTER"), count);
  collection.Delete(0);
  EXPECT_EQ(collection.IndexOf(name(2, 2)), 1);
  EXPECT_EQ(collection.IndexOf("after"), count - 1);
}

}  // namespace
}  // namespace mora::archive
