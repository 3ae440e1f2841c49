#include "automation/collection.h"

#include <gtest/gtest.h>

#include "automation/component.h"
#include "common/test_files.h"
#include "support/ov_error.h"

namespace automation {
namespace {

using orvanel::testing::ErrorNumberOf;

TEST(CollectionTest, ItemsAreCountedFromOneAndFoundByKeyWithoutCase) {
  auto items = MakeObject<Collection>();
  items->Add(Variant(u"first"), Variant(u"Key"));
  items->Add(Variant(int32_t{2}));
  items->Add(Variant(u"zero"), Missing{}, Variant(int32_t{1}));  // before the first
  items->Add(Variant(u"после"), Variant(u"Ключ"), Missing{}, Variant(u"KEY"));
  ASSERT_EQ(items->Count(), 4);
  EXPECT_EQ(items->Item(Variant(int32_t{1})), Variant(u"zero"));
  EXPECT_EQ(items->Item(Variant(u"kEy")), Variant(u"first"));
  EXPECT_EQ(items->Item(Variant(int32_t{3})), Variant(u"после"));
  EXPECT_EQ(items->Item(Variant(u"КЛЮЧ")), Variant(u"после"));
  EXPECT_EQ(items->Item(Variant(2.0)), Variant(u"first"));  // a Double index is a number

  items->Remove(Variant(u"key"));
  EXPECT_EQ(items->Count(), 3);
  EXPECT_EQ(items->Item(Variant(u"ключ")), Variant(u"после"));  // keys follow their items
  items->Add(Variant(u"again"), Variant(u"KEY"));               // a removed key is free again
  EXPECT_EQ(items->Items().back(), Variant(u"again"));
}

TEST(CollectionTest, BadIndexesAndKeysRaiseVbErrors) {
  auto items = MakeObject<Collection>();
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(int32_t{0})); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(int32_t{1})); }), 5);
  items->Add(Variant(u"a"), Variant(u"k"));
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(int32_t{0})); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(int32_t{2})); }), 5);  // Count + 1
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(int32_t{2147483647})); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(u"none")); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(std::vector<uint8_t>{1})); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { items->Item(Variant(1e12)); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { items->Add(Variant(u"b"), Variant(u"K")); }), 457);
  EXPECT_EQ(ErrorNumberOf([&] {
              items->Add(Variant(u"b"), Missing{}, Variant(int32_t{1}), Variant(int32_t{1}));
            }),
            5);
  EXPECT_EQ(ErrorNumberOf([&] { items->Remove(Variant(int32_t{3})); }), 5);
  EXPECT_EQ(items->Count(), 1);  // failed calls changed nothing
}

TEST(CollectionTest, ZeroBasedItemOfLibraryCollectionsOverflowsAtTheLargestLong) {
  auto items = MakeObject<Collection>();
  EXPECT_EQ(ErrorNumberOf([&] { ZeroBasedItem(*items, 0); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { ZeroBasedItem(*items, 2147483647); }), 6);
  items->Add(Variant(u"x"));
  EXPECT_EQ(ZeroBasedItem(*items, 0), Variant(u"x"));
  EXPECT_EQ(ErrorNumberOf([&] { ZeroBasedItem(*items, 1); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { ZeroBasedItem(*items, -1); }), 5);
}

TEST(CollectionTest, LateBoundCallsUseTheMemberTable) {
  auto items = MakeObject<Collection>();
  CallByName(*items, "add", {Variant(u"one"), Variant(u"k1")});
  CallByName(*items, "Add", {Variant(u"two")});
  EXPECT_EQ(CallByName(*items, "Count"), Variant(int32_t{2}));
  EXPECT_EQ(CallByName(*items, "Item", {Variant(u"K1")}), Variant(u"one"));
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*items, "Add"); }), 449);
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*items, "Count", {Variant(int32_t{1})}); }), 450);
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*items, "Nothing"); }), 438);

  Ref<Object> enumerator = CallByName(*items, "NewEnum").ToObject();
  std::vector<Variant> walked;
  std::vector<Variant> slot(1);
  while (CallByName(*enumerator, "Next", slot).ToBool()) walked.push_back(slot[0]);
  EXPECT_EQ(walked, items->Items());
}

TEST(CollectionTest, AClonedEnumeratorStartsWhereItsOriginalIsAndMovesAlone) {
  auto enumerator =
      MakeObject<Enumerator>(std::vector<Variant>{Variant(u"a"), Variant(u"b"), Variant(u"c")});
  Variant value;
  ASSERT_TRUE(enumerator->Next(&value));
  Ref<Enumerator> clone = enumerator->Clone();
  ASSERT_TRUE(clone->Next(&value));
  EXPECT_EQ(value, Variant(u"b"));
  ASSERT_TRUE(enumerator->Next(&value));
  EXPECT_EQ(value, Variant(u"b"));
  clone->Reset();
  ASSERT_TRUE(enumerator->Next(&value));
  EXPECT_EQ(value, Variant(u"c"));
  EXPECT_FALSE(enumerator->Next(&value));
  ASSERT_TRUE(clone->Next(&value));
  EXPECT_EQ(value, Variant(u"a"));
}

TEST(VariantTest, CoercionsFollowVbRules) {
  EXPECT_EQ(Variant(2.5).ToLong(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant(true).ToLong(), -1);
  EXPECT_EQ(Variant(u" 42 ").ToLong(), 42);
  EXPECT_EQ(Variant(u"true").ToBool(), true);
  EXPECT_EQ(Variant(int32_t{0}).ToBool(), false);
  EXPECT_EQ(Variant(1.5).ToString(), u"1.5");
  EXPECT_EQ(Variant(false).ToString(), u"False");
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"abc").ToLong(); }), 13);
  EXPECT_EQ(ErrorNumberOf([] { Variant(2147483647.5).ToLong(); }), 6);
  EXPECT_EQ(ErrorNumberOf([] { Variant(int32_t{40000}).ToInteger(); }), 6);
  EXPECT_EQ(ErrorNumberOf([] { Variant(Missing{}).ToLong(); }), 13);
  EXPECT_EQ(Variant(u"AB").ToBytes(), (std::vector<uint8_t>{'A', 0, 'B', 0}));
}

TEST(GuidTest, TextFormRoundTrips) {
  Guid guid{0x8A094136, 0xCEE6, 0x49A5, {0x8A, 0x91, 0x06, 0xBC, 0x9F, 0x8B, 0xFB, 0x86}};
  std::string text = GuidToString(guid);
  EXPECT_EQ(text, "{8A094136-CEE6-49A5-8A91-06BC9F8BFB86}");
  EXPECT_EQ(ParseGuid(text), guid);
  EXPECT_EQ(ParseGuid("{8a094136-cee6-49a5-8a91-06bc9f8bfb86}"), guid);
  EXPECT_FALSE(ParseGuid("{8A094136-CEE6-49A5-8A91-06BC9F8BFB8}"));
  EXPECT_FALSE(ParseGuid("8A094136-CEE6-49A5-8A91-06BC9F8BFB86xx"));
}

}  // namespace
}  // namespace automation
