#include "util/ordered_map.h"
#include "util/arena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tesk {

TEST(OrderedMap, KeepsInsertionOrderAndOverwritesInPlace) {
  OrderedMap<int> m;
  m.set("b", 1);
  m.set("a", 2);
  m.set("c", 3);
  m.set("a", 9);
  std::string keys;
  for (auto& [k, v] : m) keys += k + "=" + std::to_string(v) + ";";
  EXPECT_EQ(keys, "b=1;a=9;c=3;");
  EXPECT_TRUE(m.erase("b"));
  ASSERT_NE(m.find("c"), nullptr);
  EXPECT_EQ(*m.find("c"), 3);
  EXPECT_EQ(m.find("b"), nullptr);
  EXPECT_EQ(m.entries().front().first, "a");
}

// A reference the map must agree with at every step: a vector of pairs searched linearly.
struct RefMap {
  std::vector<std::pair<std::string, int>> items;
  int* find(const std::string& k) {
    for (auto& [key, v] : items)
      if (key == k) return &v;
    return nullptr;
  }
};

void expect_same(const OrderedMap<int>& m, const RefMap& ref, const std::string& where) {
  ASSERT_EQ(m.size(), ref.items.size()) << where;
  size_t i = 0;
  for (auto& [k, v] : m) {
    ASSERT_EQ(k, ref.items[i].first) << where << " at " << i;
    ASSERT_EQ(v, ref.items[i].second) << where << " at " << i;
    const int* found = m.find(k);
    ASSERT_NE(found, nullptr) << where << " " << k;
    ASSERT_EQ(*found, v) << where << " " << k;
    i++;
  }
}

// Sizes on both sides of the point where the map starts an index, with overwrites and
// erases at the front, middle and back: order and lookups match the reference.
TEST(OrderedMap, AgreesWithReferenceAcrossSizes) {
  for (int n : {0, 1, 7, 8, 9, 10, 17, 33, 100, 1000}) {
    OrderedMap<int> m;
    RefMap ref;
    std::string where = "n=" + std::to_string(n);
    for (int i = 0; i < n; i++) {
      std::string k = "k" + std::to_string(i * 7919 % 1009);
      m.set(k, i);
      if (int* v = ref.find(k)) *v = i;
      else ref.items.emplace_back(k, i);
    }
    expect_same(m, ref, where + " filled");
    // Overwrites keep positions.
    for (int i = 0; i < n; i += 3) {
      std::string k = ref.items[i].first;
      m.set(k, -i);
      ref.items[i].second = -i;
    }
    expect_same(m, ref, where + " overwritten");
    // Erase the back, the front and the middle, and a missing key.
    EXPECT_FALSE(m.erase("missing"));
    for (int step = 0; step < 3 && !ref.items.empty(); step++) {
      size_t at = step == 0 ? ref.items.size() - 1 : step == 1 ? 0 : ref.items.size() / 2;
      std::string k = ref.items[at].first;
      EXPECT_TRUE(m.erase(k)) << where << " " << k;
      EXPECT_FALSE(m.contains(k)) << where << " " << k;
      ref.items.erase(ref.items.begin() + at);
      expect_same(m, ref, where + " erased " + k);
    }
    // A key erased and set again goes to the end; operator[] inserts a default at the end.
    if (n > 2) {
      std::string k = ref.items[1].first;
      m.erase(k);
      m.set(k, 42);
      ref.items.erase(ref.items.begin() + 1);
      ref.items.emplace_back(k, 42);
      m["fresh"] += 5;
      ref.items.emplace_back("fresh", 5);
      expect_same(m, ref, where + " re-set");
    }
    // Keys that differ only in length or in their last byte are told apart.
    EXPECT_EQ(m.find("k"), nullptr) << where;
    EXPECT_EQ(m.find(""), nullptr) << where;
    EXPECT_EQ(m.find("k0x"), nullptr) << where;
    // A copy is independent and equal.
    OrderedMap<int> copy = m;
    expect_same(copy, ref, where + " copy");
    copy.set("only-in-copy", 1);
    EXPECT_FALSE(m.contains("only-in-copy")) << where;
    m.clear();
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(m.find(ref.items.empty() ? "x" : ref.items[0].first), nullptr) << where;
    m.set("after-clear", 1);
    EXPECT_EQ(*m.find("after-clear"), 1) << where;
  }
}

// Keys are copied: the string a key was read from may die right after the call, and a
// lookup may come from a temporary buffer.
TEST(OrderedMap, KeysOutliveTheTextTheyWereReadFrom) {
  OrderedMap<int> m;
  for (int i = 0; i < 200; i++) {
    auto text = std::make_unique<std::string>("some-long-name-past-the-small-buffer-" + std::to_string(i));
    m.set(std::string_view(*text), i);
    std::memset(text->data(), '#', text->size());
  }
  ASSERT_EQ(m.size(), 200u);
  for (int i = 0; i < 200; i++) {
    std::vector<char> buf;
    std::string k = "some-long-name-past-the-small-buffer-" + std::to_string(i);
    buf.assign(k.begin(), k.end());
    const int* v = m.find(std::string_view(buf.data(), buf.size()));
    ASSERT_NE(v, nullptr) << k;
    EXPECT_EQ(*v, i);
  }
  // Short keys live in the string's own buffer: moving entries on growth must keep them.
  OrderedMap<int> shorts;
  for (int i = 0; i < 5000; i++) shorts.set(std::to_string(i), i);
  for (int i = 0; i < 5000; i++) ASSERT_EQ(*shorts.find(std::to_string(i)), i);
  int expect = 0;
  for (auto& [k, v] : shorts) ASSERT_EQ(k, std::to_string(expect++));
}

TEST(Arena, RunsDestructorsAndAligns) {
  static int destroyed = 0;
  struct Rec {
    std::string s;
    ~Rec() { ++destroyed; }
  };
  {
    Arena a;
    for (int i = 0; i < 10000; i++) {
      Rec* r = a.make<Rec>(Rec{std::string(40, 'x')});
      ASSERT_EQ(reinterpret_cast<uintptr_t>(r) % alignof(Rec), 0u);
    }
    auto v = a.save("hello");
    EXPECT_EQ(v, "hello");
    EXPECT_EQ(v.data()[5], '\0');
  }
  EXPECT_GE(destroyed, 10000);
}

TEST(Arena, ResetDestroysRecordsAndReusesItsBlocks) {
  static int destroyed = 0;
  struct Rec {
    std::string s;
    ~Rec() { ++destroyed; }
  };
  Arena a;
  // Several standard blocks and one oversized allocation.
  std::vector<Rec*> first;
  for (int i = 0; i < 5000; i++) first.push_back(a.make<Rec>(Rec{std::string(40, 'x')}));
  a.alloc(1 << 20);
  destroyed = 0;
  a.reset();
  EXPECT_EQ(destroyed, 5000);

  // The same number of records lands in the blocks the first round used, in order.
  for (int i = 0; i < 5000; i++) {
    Rec* r = a.make<Rec>(Rec{std::to_string(i)});
    ASSERT_EQ(r, first[i]) << i;
    ASSERT_EQ(r->s, std::to_string(i));
  }
  // A reset arena still hands out oversized and aligned memory.
  void* big = a.alloc(1 << 20, 64);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(big) % 64, 0u);
  std::memset(big, 1, 1 << 20);
  destroyed = 0;
  a.reset();
  a.reset();
  EXPECT_EQ(destroyed, 5000);
}

TEST(Arena, DestroysInReverseOrderAcrossManyRecords) {
  // More records than one chunk of destructor entries holds.
  static std::vector<int> order;
  struct Rec {
    int n;
    ~Rec() { order.push_back(n); }
  };
  order.clear();
  {
    Arena a;
    for (int i = 0; i < 10000; i++) a.make<Rec>(Rec{i});
    order.clear();  // the temporaries of make
    a.reset();
    ASSERT_EQ(order.size(), 10000u);
    for (int i = 0; i < 10000; i++) ASSERT_EQ(order[i], 9999 - i) << i;
    order.clear();
    for (int i = 0; i < 5000; i++) a.make<Rec>(Rec{i});
    order.clear();
  }
  ASSERT_EQ(order.size(), 5000u);
  EXPECT_EQ(order.front(), 4999);
  EXPECT_EQ(order.back(), 0);
}

TEST(Arena, AdoptKeepsRecordsUntilTheAdoptingArenaGoes) {
  static int destroyed = 0;
  struct Rec {
    std::string s;
    ~Rec() { ++destroyed; }
  };
  auto owner = std::make_unique<Arena>();
  Arena region;
  std::vector<Rec*> kept;
  for (int i = 0; i < 5000; i++) kept.push_back(region.make<Rec>(Rec{std::string(40, 'a' + i % 26)}));
  void* big = region.alloc(1 << 20);
  std::memset(big, 7, 1 << 20);
  destroyed = 0;
  owner->adopt(region);
  EXPECT_EQ(destroyed, 0);

  // The region starts over in fresh memory: nothing adopted is destroyed or reused.
  for (int i = 0; i < 5000; i++) {
    Rec* r = region.make<Rec>(Rec{"new"});
    for (Rec* k : {kept.front(), kept.back()}) ASSERT_NE(r, k);
  }
  destroyed = 0;
  region.reset();
  EXPECT_EQ(destroyed, 5000);
  for (int i = 0; i < 5000; i++) ASSERT_EQ(kept[i]->s, std::string(40, 'a' + i % 26)) << i;
  EXPECT_EQ(static_cast<unsigned char*>(big)[(1 << 20) - 1], 7);
  destroyed = 0;
  owner.reset();
  EXPECT_EQ(destroyed, 5000);
}

}  // namespace tesk
