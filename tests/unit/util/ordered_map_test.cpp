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
